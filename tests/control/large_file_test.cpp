// Files past 4 GiB split and join exactly. The input is sparse, so it costs
// no disk; its fragments and the joined file are real.
#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>

namespace {

using namespace testing_support;

constexpr std::int64_t kFileBytes = std::int64_t{5} << 30;

// Marks placed around the 31- and 32-bit boundaries, so a slice taken from
// the wrong offset cannot compare equal.
void WriteMarks(const std::string& path) {
  const int descriptor = open(path.c_str(), O_WRONLY);
  ASSERT_GE(descriptor, 0);
  const std::int64_t offsets[] = {0, (std::int64_t{1} << 31) - 3, std::int64_t{1} << 32,
                                  kFileBytes / 3, kFileBytes - 8};
  for (const std::int64_t offset : offsets) {
    const std::string mark = "@" + std::to_string(offset) + "@";
    const std::int64_t at = std::min(offset, kFileBytes - static_cast<std::int64_t>(mark.size()));
    ASSERT_EQ(pwrite(descriptor, mark.data(), mark.size(), at), static_cast<ssize_t>(mark.size()));
  }
  ASSERT_EQ(ftruncate(descriptor, kFileBytes), 0);
  close(descriptor);
}

TEST(LargeFile, FiveGiBRoundTripsExactly) {
  TempDir dir;
  struct statvfs disk {};
  ASSERT_EQ(statvfs(dir.path().c_str(), &disk), 0);
  const auto freeBytes = static_cast<std::int64_t>(disk.f_bavail) * static_cast<std::int64_t>(disk.f_frsize);
  if (freeBytes < 3 * kFileBytes) GTEST_SKIP() << "needs 15 GiB free in " << dir.path();

  const std::string input = dir / "big";
  WriteBytes(input, "");
  WriteMarks(input);
  for (const int parts : {2, 3}) {
    SCOPED_TRACE(parts);
    const std::int64_t partSize = control::PartSize(kFileBytes, parts);
    ASSERT_TRUE(control::SplitFiles(input, partSize));
    ASSERT_EQ(control::CountFragments(input), parts);
    EXPECT_EQ(platform::FileLength(control::FragmentName(input, 1)), partSize);

    const std::string joined = dir / "joined";
    for (int number = 1; number <= parts; ++number) {
      std::filesystem::rename(control::FragmentName(input, number), control::FragmentName(joined, number));
    }
    ASSERT_TRUE(control::JoinFiles(joined));
    EXPECT_EQ(platform::FileLength(joined), kFileBytes);
    EXPECT_TRUE(SameContent(input, joined));
    for (int number = 1; number <= parts; ++number) std::filesystem::remove(control::FragmentName(joined, number));
    std::filesystem::remove(joined);
  }
}

}  // namespace
