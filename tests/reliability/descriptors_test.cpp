// A thousand operations through the real module, a third of them failing in
// every way a host sees (false, runtime errors, a locked file, a set its
// checksum file refuses), splits beside a longer older set whose stale
// fragments go, with objects created and released and the module loaded and
// unloaded between rounds: afterwards the process holds exactly the
// descriptors it held before.
#include "tessik_host.h"

#include <gtest/gtest.h>

#include <platform/component/activation.h>
#include <platform/runtime_error.h>

#include <iterator>
#include <string>

namespace {

using platform::Variant;
using namespace testing_support;
using namespace testing_support::file_split;

TEST(Descriptors, NoneLeakOverAThousandOperationsWithFailures) {
  TessikHost host;
  const std::string file = host.folder() / "film";
  const std::string locked = host.folder() / "locked";
  const std::string readOnly = host.folder() / "read-only";
  const std::string damaged = host.folder() / "damaged";
  WriteBytes(damaged + ".1", "ab");
  WriteBytes(damaged + ".sha256", std::string(64, '0') + "  damaged.1\n");
  WriteBytes(file, PatternBytes(70001));
  WriteBytes(locked, "held by another program");
  WriteBytes(readOnly, "no write permission");
  SetMode(readOnly, 0444);
  LockHolder holder(locked);
  const std::string original = ReadBytes(file);

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
      {kInputFile, readOnly, kSplit, true},  // reading needs no write permission
      {kOutputFile, file + ".absent", kJoin, false},
      {kInputFile, host.folder() / "no/such/folder", kSplit, false},  // error 53
      {kOutputFile, damaged, kJoin, false},
  };

  const int before = OpenDescriptorCount();
  int failures = 0;
  for (int round = 0; round < 100; ++round) {
    {
      platform::Ref<platform::Dispatch> object = host.Create();
      for (int number = 0; number < 10; ++number) {
        // The round's second split makes four fragments, the next one three.
        Put(*object, kSubFilesNumber, Variant(static_cast<std::int16_t>(3 + number % 2)));
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
  EXPECT_GE(failures, 300);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_EQ(ReadBytes(file), original);
}

}  // namespace
