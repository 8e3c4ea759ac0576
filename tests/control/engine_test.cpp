// What only a caller inside the process can ask of the engine: the part size
// for any 64-bit length, part sizes no tool passes, and the limits of the
// 16-bit fragment counter. The engine's rules on files are checked through
// fragment-tool (tests/e2e/fragment_tool_test.sh).
#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace {

using namespace testing_support;

TEST(Engine, FragmentSizeIsTheLengthOverTheCountPlusOneRoundedHalfToEven) {
  const struct { std::int64_t length; int parts; std::int64_t size; } cases[] = {
      {0, 32767, 1}, {1, 4, 1}, {6, 4, 2}, {10, 4, 4}, {1536, 2, 769},
      {5LL << 30, 2, (5LL << 29) + 1}, {5LL << 30, 3, 1789569708},  // 1789569707.67 up
      {INT64_MAX - 1, 32767, (INT64_MAX - 1) / 32767 + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " / " + std::to_string(c.parts));
    EXPECT_EQ(control::PartSize(c.length, c.parts), c.size);
  }
}

// One byte a fragment; more than 32 bits (one fragment, the stale two go);
// none (nothing is written); a negative size is error 5. A missing input is
// error 53, and never made.
TEST(Engine, FragmentSizesOnlyACallerCanAskFor) {
  TempDir dir;
  const std::string x = dir / "x";
  WriteBytes(x, "abc");
  ASSERT_TRUE(control::SplitFiles(x, 1));
  EXPECT_EQ(control::CountFragments(x), 3);
  EXPECT_EQ(ReadBytes(x + ".3"), "c");
  ASSERT_TRUE(control::SplitFiles(x, std::int64_t{1} << 40));
  EXPECT_EQ(control::CountFragments(x), 1);
  EXPECT_EQ(ReadBytes(x + ".1"), "abc");
  std::filesystem::remove(x + ".1");
  EXPECT_TRUE(control::SplitFiles(x, 0));
  EXPECT_FALSE(platform::FileExists(x + ".1"));
  EXPECT_EQ(ErrorNumberOf([&] { control::SplitFiles(x, -1); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { control::SplitFiles(dir / "missing", 4); }), 53);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

// A set of 32766 joins; one of 32767 is error 6 before the older output is
// touched; a split that would pass 32766 is refused before it writes, and
// holds nothing open. On tmpfs where there is one: each fragment is flushed.
TEST(Engine, FragmentLimits) {
  TempDir dir(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "");
  const std::string x = dir / "x";
  std::string bytes;
  for (int number = 1; number <= 32767; ++number) {
    bytes += static_cast<char>('a' + number % 26);
    WriteBytes(x + "." + std::to_string(number), bytes.substr(bytes.size() - 1));
  }
  WriteBytes(x, "older");
  EXPECT_EQ(ErrorNumberOf([&] { control::JoinFiles(x); }), 6);
  EXPECT_EQ(ReadBytes(x), "older");
  std::filesystem::remove(x + ".32767");
  bytes.pop_back();
  ASSERT_TRUE(control::JoinFiles(x));
  EXPECT_EQ(ReadBytes(x), bytes);

  WriteBytes(x, PatternBytes(32767));
  const int descriptors = OpenDescriptorCount();
  EXPECT_EQ(ErrorNumberOf([&] { control::SplitFiles(x, 1); }), 6);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_EQ(ReadBytes(x + ".1"), "b");
  for (int number = 1; number <= 32766; ++number) std::filesystem::remove(x + "." + std::to_string(number));
  EXPECT_TRUE(control::SplitFiles(x, 2));  // 16384 fragments, listed with the whole file
  EXPECT_EQ(std::ranges::count(ReadBytes(x + ".sha256"), '\n'), 16385);
}

}  // namespace
