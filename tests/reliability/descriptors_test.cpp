// A thousand operations through the real module, a third of them failing in
// every way a host sees (false, runtime errors, a locked file), with objects
// created and released and the module loaded and unloaded between rounds:
// afterwards the process holds exactly the descriptors it held before.
#include "tessik_host.h"

#include <gtest/gtest.h>

#include <platform/component/activation.h>
#include <platform/runtime_error.h>

#include <iterator>
#include <string>

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

  // What each step puts, then calls, and whether it must succeed.
  struct Step {
    platform::DispatchId property;
    std::string path;
    platform::DispatchId operation;
    bool succeeds;
  };
  const Step steps[] = {
      {kInputFile, file, kSplit, true},
      {kOutputFile, file, kJoin, true},
      {kInputFile, locked, kSplit, false},
      {kInputFile, readOnly, kSplit, false},
      {kOutputFile, file + ".absent", kJoin, false},
      {kInputFile, host.folder() / "no/such/folder", kSplit, false},  // error 53
  };

  const int before = OpenDescriptorCount();
  int operations = 0;
  int failures = 0;
  for (int round = 0; round < 100; ++round) {
    {
      platform::Ref<platform::Dispatch> object = host.Create();
      Put(*object, kSubFilesNumber, Variant(static_cast<std::int16_t>(3 + round % 5)));
      for (int number = 0; number < 10; ++number, ++operations) {
        const Step& step = steps[number % std::size(steps)];
        try {
          Put(*object, step.property, Variant(step.path));
          const bool done = Call(*object, step.operation).ToBoolean();
          ASSERT_EQ(done, step.succeeds) << step.path;
          failures += !done;
        } catch (const platform::RuntimeError& error) {
          ASSERT_FALSE(step.succeeds) << error.what();
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
