#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <vector>

namespace {

using namespace testing_support;
using control::FragmentName;
using control::JoinFiles;
using control::SplitFiles;

// The lengths of the fragments of `base`'s set, in order.
std::vector<std::int64_t> FragmentLengths(const std::string& base) {
  std::vector<std::int64_t> lengths;
  const int count = control::CountFragments(base);
  for (int number = 1; number <= count; ++number) {
    lengths.push_back(platform::FileLength(FragmentName(base, number)));
  }
  return lengths;
}

class SplitJoin : public ::testing::Test {
 protected:
  TempDir dir;
  std::string input = dir / "film.avi";
  std::string joined = dir / "copy/film.avi";
  int descriptorsBefore = OpenDescriptorCount();

  void TearDown() override {
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "a file was left open";
  }

  // Splits `bytes` with `partSize`, moves the set next to `joined`, joins it
  // there and expects the exact bytes back; the fragment lengths.
  std::vector<std::int64_t> RoundTrip(const std::string& bytes, std::int64_t partSize) {
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directories(dir / "copy");
    WriteBytes(input, bytes);
    EXPECT_TRUE(SplitFiles(input, partSize));
    EXPECT_EQ(ReadBytes(input), bytes) << "the split changed its input";
    const std::vector<std::int64_t> lengths = FragmentLengths(input);
    for (std::size_t number = 1; number <= lengths.size(); ++number) {
      std::filesystem::rename(FragmentName(input, static_cast<int>(number)),
                              FragmentName(joined, static_cast<int>(number)));
    }
    EXPECT_EQ(JoinFiles(joined), !bytes.empty());
    if (!bytes.empty()) {
      EXPECT_EQ(ReadBytes(joined), bytes);
    }
    return lengths;
  }
};

TEST_F(SplitJoin, RoundTripsAreExactWithTheExpectedFragments) {
  using Lengths = std::vector<std::int64_t>;
  const struct { std::size_t length; int parts; Lengths fragments; } cases[] = {
      {10, 2, {6, 4}}, {10, 3, {4, 4, 2}}, {10, 4, {4, 4, 2}}, {7, 2, {4, 3}}, {5, 2, {4, 1}},
      {100, 10, {11, 11, 11, 11, 11, 11, 11, 11, 11, 1}}, {1, 2, {1}}, {0, 2, {}},
      {768, 2, {385, 383}}, {769, 2, {386, 383}}, {770, 2, {386, 384}},  // ties to even
      {3 << 20, 3, {(1 << 20) + 1, (1 << 20) + 1, (1 << 20) - 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " bytes in " + std::to_string(c.parts));
    const std::int64_t partSize = control::PartSize(static_cast<std::int64_t>(c.length), c.parts);
    EXPECT_EQ(RoundTrip(PatternBytes(c.length), partSize), c.fragments);
  }
}

TEST_F(SplitJoin, PartSizeAroundTheFileLength) {
  const std::string bytes = PatternBytes(1000, 7);
  const struct { std::int64_t partSize; std::size_t fragments; } cases[] = {
      {1, 1000}, {999, 2}, {1000, 1}, {1001, 1}, {std::int64_t{1} << 40, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.partSize);
    EXPECT_EQ(RoundTrip(bytes, c.partSize).size(), c.fragments);
  }
}

TEST_F(SplitJoin, DegenerateSplitsWriteNothing) {
  // A part size of 0 reads and writes nothing; a missing input is created
  // empty and gives no fragment.
  WriteBytes(input, "abc");
  EXPECT_TRUE(SplitFiles(input, 0));
  EXPECT_FALSE(platform::FileExists(FragmentName(input, 1)));
  const std::string missing = dir / "missing";
  EXPECT_TRUE(SplitFiles(missing, 4));
  EXPECT_EQ(platform::FileLength(missing), 0);
  EXPECT_FALSE(platform::FileExists(FragmentName(missing, 1)));
  EXPECT_EQ(ErrorNumberOf([&] { SplitFiles(input, -1); }), 5);
}

TEST_F(SplitJoin, JoinTakesTheSetAsFound) {
  WriteBytes(dir / "x.1", "ab");
  WriteBytes(dir / "x.2", "");
  WriteBytes(dir / "x.3", "cd");
  WriteBytes(dir / "x.5", "ignored");             // beyond the gap at x.4
  WriteBytes(dir / "x", std::string(100, 'z'));  // an older, longer file is replaced
  EXPECT_TRUE(JoinFiles(dir / "x"));
  EXPECT_EQ(ReadBytes(dir / "x"), "abcd");
  EXPECT_EQ(ReadBytes(dir / "x.5"), "ignored");
}

TEST_F(SplitJoin, JoinWithoutFirstFragmentTouchesNothing) {
  WriteBytes(dir / "x.2", "b");
  EXPECT_FALSE(JoinFiles(dir / "x"));
  EXPECT_FALSE(platform::FileExists(dir / "x"));
}

TEST_F(SplitJoin, SplitRemovesTheTailOfAnEarlierSet) {
  const std::string bytes = PatternBytes(100);
  WriteBytes(input, bytes);
  ASSERT_TRUE(SplitFiles(input, 10));  // ten fragments
  WriteBytes(FragmentName(input, 12), "beyond a gap");
  ASSERT_TRUE(SplitFiles(input, 40));  // three fragments
  EXPECT_EQ(FragmentLengths(input), (std::vector<std::int64_t>{40, 40, 20}));
  EXPECT_EQ(ReadBytes(FragmentName(input, 12)), "beyond a gap");
  std::filesystem::rename(input, dir / "original");
  ASSERT_TRUE(JoinFiles(input));
  EXPECT_EQ(ReadBytes(input), bytes);

  WriteBytes(input, "");  // an empty file has an empty set
  ASSERT_TRUE(SplitFiles(input, 40));
  EXPECT_EQ(control::CountFragments(input), 0);
}

TEST_F(SplitJoin, UnopenableInputTouchesNoFragment) {
  WriteBytes(input, "abcdef");
  WriteBytes(FragmentName(input, 1), "old");
  SetMode(input, 0444);
  EXPECT_FALSE(SplitFiles(input, 2));
  SetMode(input, 0644);
  {
    LockHolder other(input);
    EXPECT_FALSE(SplitFiles(input, 2));
  }
  EXPECT_EQ(ReadBytes(FragmentName(input, 1)), "old");
  EXPECT_TRUE(SplitFiles(input, 2));  // nothing was left holding it
  EXPECT_EQ(ReadBytes(FragmentName(input, 1)), "ab");
}

TEST_F(SplitJoin, UndeletableFragmentStopsTheSplitWithTheDeleteError) {
  WriteBytes(input, "aabbcc");
  ASSERT_TRUE(SplitFiles(input, 2));
  WriteBytes(input, "xxyyzz");
  SetMode(FragmentName(input, 2), 0444);
  EXPECT_EQ(ErrorNumberOf([&] { SplitFiles(input, 2); }), 75);
  EXPECT_EQ(ReadBytes(FragmentName(input, 1)), "xx");
  EXPECT_EQ(ReadBytes(FragmentName(input, 2)), "bb");
  {
    SetMode(FragmentName(input, 2), 0644);
    LockHolder other(FragmentName(input, 3));
    EXPECT_EQ(ErrorNumberOf([&] { SplitFiles(input, 2); }), 70);
  }
  EXPECT_TRUE(SplitFiles(input, 2));
  EXPECT_EQ(ReadBytes(FragmentName(input, 3)), "zz");
}

TEST_F(SplitJoin, JoinFailuresKeepWhatWasThere) {
  WriteBytes(dir / "x.1", "ab");
  WriteBytes(dir / "x.2", "cd");
  WriteBytes(dir / "x.3", "ef");
  WriteBytes(dir / "x", "old");
  SetMode(dir / "x", 0444);  // the older output cannot be deleted
  EXPECT_EQ(ErrorNumberOf([&] { JoinFiles(dir / "x"); }), 75);
  EXPECT_EQ(ReadBytes(dir / "x"), "old");
  SetMode(dir / "x", 0644);

  SetMode(dir / "x.2", 0444);  // a read-only fragment cannot be opened
  EXPECT_FALSE(JoinFiles(dir / "x"));
  EXPECT_EQ(ReadBytes(dir / "x"), "ab");
  SetMode(dir / "x.2", 0644);
  {
    LockHolder other(dir / "x.3");
    EXPECT_FALSE(JoinFiles(dir / "x"));
    EXPECT_EQ(ReadBytes(dir / "x"), "abcd");
  }
  std::filesystem::create_directory(dir / "blocked");
  WriteBytes(dir / "blocked.1", "ab");  // the output name is taken by a folder
  EXPECT_FALSE(JoinFiles(dir / "blocked"));

  EXPECT_TRUE(JoinFiles(dir / "x"));
  EXPECT_EQ(ReadBytes(dir / "x"), "abcdef");
  for (const char* name : {"x.1", "x.2", "x.3"}) EXPECT_EQ(platform::FileLength(dir / name), 2);
}

}  // namespace
