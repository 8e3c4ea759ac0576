// A thousand operations through the real module, a third of them failing in
// every way a host sees (false, runtime errors, a locked file), with objects
// created and released and the module loaded and unloaded between rounds:
// afterwards the process holds exactly the descriptors it held before.
#include "tessik_host.h"

#include <gtest/gtest.h>

#include <platform/component/activation.h>
#include <platform/runtime_error.h>

namespace {

using platform::Variant;
using testing_support::OpenDescriptorCount;
using namespace testing_support::file_split;

TEST(Descriptors, NoneLeakOverAThousandOperationsWithFailures) {
  testing_support::TessikHost host;
  const std::string file = host.folder() / "film";
  const std::string locked = host.folder() / "locked";
  const std::string readOnly = host.folder() / "read-only";
  testing_support::WriteBytes(file, testing_support::PatternBytes(70001));
  testing_support::WriteBytes(locked, "held by another program");
  testing_support::WriteBytes(readOnly, "no write permission");
  testing_support::SetMode(readOnly, 0444);
  testing_support::LockHolder holder(locked);
  const std::string original = testing_support::ReadBytes(file);

  const int before = OpenDescriptorCount();
  int operations = 0;
  int failures = 0;
  for (int round = 0; round < 100; ++round) {
    {
      platform::Ref<platform::Dispatch> object = host.Create();
      Put(*object, kSubFilesNumber, Variant(static_cast<std::int16_t>(3 + round % 5)));
      for (int step = 0; step < 10; ++step, ++operations) {
        try {
          switch (step % 6) {
            case 0: Put(*object, kInputFile, Variant(file)); ASSERT_TRUE(Call(*object, kSplit).ToBoolean()); break;
            case 1: Put(*object, kOutputFile, Variant(file)); ASSERT_TRUE(Call(*object, kJoin).ToBoolean()); break;
            case 2: Put(*object, kInputFile, Variant(locked)); failures += !Call(*object, kSplit).ToBoolean(); break;
            case 3: Put(*object, kInputFile, Variant(readOnly)); failures += !Call(*object, kSplit).ToBoolean(); break;
            case 4: Put(*object, kOutputFile, Variant(file + ".absent")); failures += !Call(*object, kJoin).ToBoolean(); break;
            case 5: Put(*object, kInputFile, Variant(host.folder() / "no/such/folder")); Call(*object, kSplit).ToBoolean(); break;
          }
        } catch (const platform::RuntimeError&) {
          ++failures;
        }
      }
    }
    platform::FreeUnusedModules();
  }
  EXPECT_EQ(operations, 1000);
  EXPECT_GE(failures, 300);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_EQ(testing_support::ReadBytes(file), original);
}

}  // namespace
