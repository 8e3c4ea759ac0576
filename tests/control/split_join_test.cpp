#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
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
    EXPECT_EQ(JoinFiles(joined).done, !bytes.empty());
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

TEST_F(SplitJoin, SplitRemovesOnlyTheStaleFragmentsItsChecksumFileClaims) {
  const struct {
    const char* what;
    std::string content;      // the input split in two
    std::vector<int> older;   // numbered files beside it before
    bool olderChecksumFile;   // made by an earlier split of ten, listing them
    std::vector<int> after;   // the numbered files after
  } cases[] = {
      {"an earlier set of ten", "abcdefghij", {}, true, {1, 2, 12}},
      {"rotated logs", "abcdefghij", {1, 2, 3, 4, 5, 6}, false, {1, 2, 3, 4, 5, 6, 12}},
      {"an empty input beside a set", "", {}, true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directories(dir.path());
    WriteBytes(input, "0123456789");
    if (c.olderChecksumFile) {
      ASSERT_TRUE(SplitFiles(input, 1));
    }
    for (int number : c.older) WriteBytes(FragmentName(input, number), "log");
    WriteBytes(FragmentName(input, 12), "beyond a gap, claimed by nothing");
    WriteBytes(input, c.content);
    ASSERT_TRUE(SplitFiles(input, 5));
    std::vector<int> after;
    for (int number = 1; number <= 12; ++number) {
      if (platform::FileExists(FragmentName(input, number))) after.push_back(number);
    }
    EXPECT_EQ(after, c.after);
  }
}

// A file's bytes with the one at `offset` changed.
void DamageByte(const std::string& path, std::size_t offset) {
  std::string bytes = ReadBytes(path);
  bytes[offset] = static_cast<char>(bytes[offset] ^ 0x20);
  WriteBytes(path, bytes);
}

TEST_F(SplitJoin, AChecksumFileStopsAJoinOfAWrongSet) {
  const std::string base = dir / "x";
  const std::string list = base + ".sha256";
  const auto replaceLine = [&](int line, const std::string& text) {
    std::string lines = ReadBytes(list);
    std::size_t start = 0;
    for (int i = 1; i < line; ++i) start = lines.find('\n', start) + 1;
    lines.replace(start, lines.find('\n', start) - start, text);
    WriteBytes(list, lines);
  };
  const std::string zeros(64, '0');
  const struct {
    const char* what;
    std::function<void()> damage;
    std::string reason;
    bool outputRemoved;  // known to be wrong; otherwise nothing was touched
  } cases[] = {
      {"a missing fragment", [&] { std::filesystem::remove(base + ".2"); }, "x.2 is missing", false},
      {"a fragment too long", [&] { WriteBytes(base + ".2", ReadBytes(base + ".2") + "z"); },
       "x.2 has a length that cannot match x.sha256", false},
      {"the last fragment too long", [&] { WriteBytes(base + ".3", ReadBytes(base + ".1") + "z"); },
       "x.3 has a length that cannot match x.sha256", false},
      {"a damaged first fragment", [&] { DamageByte(base + ".1", 0); }, "x.1 does not match x.sha256", true},
      {"a damaged middle fragment", [&] { DamageByte(base + ".2", 500); }, "x.2 does not match x.sha256", true},
      {"a damaged last fragment", [&] { DamageByte(base + ".3", 1); }, "x.3 does not match x.sha256", true},
      {"a wrong whole file", [&] { replaceLine(4, zeros + "  x"); }, "x does not match x.sha256", true},
      {"bad hex", [&] { replaceLine(2, "g" + zeros.substr(1) + "  x.2"); },
       "x.sha256, line 2: not a SHA-256 in hexadecimal", false},
      {"not a checksum line", [&] { replaceLine(1, "x.1"); }, "x.sha256, line 1: not a checksum line", false},
      {"another file", [&] { replaceLine(2, zeros + "  ../x.2"); }, "x.sha256, line 2: expected x.2", false},
      {"a folder", [&] { replaceLine(3, zeros + "  sub/x.3"); }, "x.sha256, line 3: expected x.3", false},
      {"out of order", [&] { replaceLine(2, zeros + "  x.3"); }, "x.sha256, line 2: expected x.2", false},
      {"a bad escape", [&] { replaceLine(2, "\\" + zeros + "  x\\q2"); },
       "x.sha256, line 2: a name with a bad escape", false},
      {"a line after the whole", [&] { WriteBytes(list, ReadBytes(list) + zeros + "  x.4\n"); },
       "x.sha256, line 5: a line after the whole file's", false},
  };
  const std::string bytes = PatternBytes(2000, 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directories(dir.path());
    WriteBytes(base, bytes);
    ASSERT_TRUE(SplitFiles(base, 999));  // 999, 999 and 2 bytes
    WriteBytes(base, "older");
    c.damage();
    std::vector<std::string> fragments;
    for (int number = 1; number <= 3; ++number) {
      const std::string name = FragmentName(base, number);
      fragments.push_back(platform::FileExists(name) ? ReadBytes(name) : "");
    }
    const control::Outcome outcome = JoinFiles(base);
    EXPECT_FALSE(outcome.done);
    EXPECT_EQ(outcome.reason, c.reason);
    if (c.outputRemoved) {
      EXPECT_FALSE(platform::FileExists(base));
    } else {
      EXPECT_EQ(ReadBytes(base), "older");
    }
    for (int number = 1; number <= 3; ++number) {
      const std::string name = FragmentName(base, number);
      EXPECT_EQ(platform::FileExists(name) ? ReadBytes(name) : "", fragments[number - 1]);
    }
  }
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

// What a failure leaves: "N: description" of the error `action` raises ("" for
// none, "false" when it returns not done), then the content of each file named
// ("-" for a missing one).
std::string Left(const std::function<control::Outcome()>& action, const std::string& folder,
                 std::initializer_list<const char*> names) {
  std::string left;
  try {
    left = action() ? "" : "false";
  } catch (const platform::RuntimeError& error) {
    left = std::to_string(error.number()) + ": " + error.description();
  }
  for (const char* name : names) {
    const std::string path = folder + "/" + name;
    left += std::string(" | ") + (platform::FileExists(path) ? ReadBytes(path) : "-");
  }
  return left;
}

// A split or a join that fails leaves nothing half-made: a split's own
// fragments go, fragment 1 first, with the rest of the older set its checksum
// file listed; a join's output goes. What cannot be removed is named.
TEST_F(SplitJoin, AFailureLeavesNothingHalfMade) {
  const struct { const char* blocked; bool locked; const char* left; } cases[] = {
      {"film.avi.2", false, "75: Path/File access error; film.avi.2 could not be removed "
                            "(Path/File access error) | - | bb | - | -"},
      {"film.avi.3", true, "70: Permission denied; film.avi.3 could not be removed "
                           "(Permission denied) | - | - | cc | -"},
      {"x", false, "75: Path/File access error | old"},  // the older output stays
      {"x.3", true, "false | -"},
  };
  WriteBytes(dir / "x.1", "ab");
  WriteBytes(dir / "x.2", "cd");
  WriteBytes(dir / "x.3", "ef");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blocked);
    const bool split = c.blocked[0] == 'f';
    WriteBytes(input, "aabbcc");
    ASSERT_TRUE(SplitFiles(input, 2));
    WriteBytes(input, "xxyyzz");
    WriteBytes(dir / "x", "old");
    const std::string blocked = dir / c.blocked;
    if (!c.locked) SetMode(blocked, 0444);
    std::optional<LockHolder> other;
    if (c.locked) other.emplace(blocked);
    if (split) {
      EXPECT_EQ(Left([&] { return SplitFiles(input, 2); }, dir.path(),
                     {"film.avi.1", "film.avi.2", "film.avi.3", "film.avi.sha256"}),
                c.left);
    } else {
      EXPECT_EQ(Left([&] { return JoinFiles(dir / "x"); }, dir.path(), {"x"}), c.left);
    }
    other.reset();
    SetMode(blocked, 0644);
  }
  EXPECT_EQ(ReadBytes(input), "xxyyzz");
  for (const char* name : {"x.1", "x.2", "x.3"}) EXPECT_EQ(platform::FileLength(dir / name), 2);
  std::filesystem::create_directory(dir / "blocked");
  WriteBytes(dir / "blocked.1", "ab");  // the output name is taken by a folder
  EXPECT_FALSE(JoinFiles(dir / "blocked"));
  EXPECT_TRUE(JoinFiles(dir / "x"));
  EXPECT_EQ(ReadBytes(dir / "x"), "abcdef");
}

}  // namespace
