#include <control/fragment_set.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

namespace {

using namespace testing_support;

TEST(FragmentSet, PartSizeRoundsHalfToEven) {
  const struct { std::int64_t length; int parts; std::int64_t size; } cases[] = {
      {10, 2, 6}, {10, 3, 4}, {10, 4, 4}, {7, 2, 4}, {5, 2, 4}, {100, 10, 11},
      {1, 2, 2}, {0, 2, 1}, {0, 32767, 1},
      {1, 4, 1},   // 0.25 + 1 rounds down
      {6, 4, 2},   // 1.5 + 1 = 2.5: the tie goes to 2
      {10, 4, 4},  // 2.5 + 1 = 3.5: the tie goes to 4
      {1536, 2, 769},
      {std::int64_t{5} << 30, 2, (std::int64_t{5} << 29) + 1},
      {std::int64_t{5} << 30, 3, 1789569708},  // 1789569707.67 rounds up
      {INT64_MAX - 1, 32767, (INT64_MAX - 1) / 32767 + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " / " + std::to_string(c.parts));
    EXPECT_EQ(control::PartSize(c.length, c.parts), c.size);
  }
}

TEST(FragmentSet, DiscoveryStopsAtTheFirstGap) {
  const struct { const char* label; std::vector<int> present; int count; } cases[] = {
      {"none", {}, 0},
      {"no first fragment", {2, 3}, 0},
      {"gap", {1, 2, 4}, 2},
      {"past nine", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 11},
      {"one", {1}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir set;
    for (int number : c.present) WriteBytes(control::FragmentName(set / "x", number), "x");
    EXPECT_EQ(control::CountFragments(set / "x"), c.count);
  }
}

TEST(FragmentSet, DiscoveryCountsEmptyFragmentsButNotFolders) {
  TempDir dir;
  WriteBytes(dir / "x.1", "a");
  WriteBytes(dir / "x.2", "");
  WriteBytes(dir / "x.3", "b");
  mkdir((dir / "x.4").c_str(), 0755);
  WriteBytes(dir / "x.5", "c");
  EXPECT_EQ(control::CountFragments(dir / "x"), 3);
}

}  // namespace
