#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace testing_support;
using platform::File;

class FileRules : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(FileRules, OpenRefusesWhatIsNotAWritableRegularFile) {
  WriteBytes(dir / "readonly", "x");
  SetMode(dir / "readonly", 0444);  // refused by its mode bits, for root too
  mkdir((dir / "folder").c_str(), 0755);
  mkfifo((dir / "pipe").c_str(), 0644);  // must not hang waiting for a writer
  symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str());
  for (const char* name : {"readonly", "folder", "pipe", "dangling"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(platform::OpenExclusive(dir / name).IsOpen());
  }
  EXPECT_FALSE(platform::FileExists(dir / "nowhere")) << "a dangling link's target was created";
  EXPECT_FALSE(platform::OpenExclusive("").IsOpen());
  EXPECT_FALSE(platform::OpenExclusive(std::string("a\0b", 3)).IsOpen());
}

TEST_F(FileRules, ExistenceSeesRegularFilesOnly) {
  WriteBytes(dir / "plain", "x");
  WriteBytes(dir / ".hidden", "x");
  WriteBytes(dir / "readonly", "x");
  SetMode(dir / "readonly", 0444);
  mkdir((dir / "folder").c_str(), 0755);
  mkfifo((dir / "pipe").c_str(), 0644);
  symlink((dir / "plain").c_str(), (dir / "link").c_str());
  symlink((dir / "absent").c_str(), (dir / "dangling").c_str());
  const struct { const char* name; bool exists; } cases[] = {
      {"plain", true}, {".hidden", true}, {"readonly", true}, {"link", true},
      {"folder", false}, {"pipe", false}, {"dangling", false}, {"absent", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::FileExists(dir / c.name), c.exists);
  }
}

TEST_F(FileRules, LengthIsSixtyFourBitAndMissingIs53OrAFolder76) {
  const std::string sparse = dir / "sparse";
  WriteBytes(sparse, "");
  constexpr std::int64_t kFiveGiB = std::int64_t{5} << 30;
  ASSERT_EQ(truncate(sparse.c_str(), kFiveGiB), 0);
  EXPECT_EQ(platform::FileLength(sparse), kFiveGiB);
  mkdir((dir / "folder").c_str(), 0755);
  EXPECT_EQ(ErrorNumberOf([&] { platform::FileLength(dir / "absent"); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { platform::FileLength(dir / "folder"); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { platform::FileLength(""); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { platform::FileLength(dir / "absent/x"); }), 76);
}

TEST_F(FileRules, EveryKindOfLockHoldsAFileAgainstOpenAndDelete) {
  const struct { const char* what; LockKind kind; } locks[] = {
      {"flock", LockKind::Flock},
      {"lockf", LockKind::Lockf},
      {"an open-file-description lock", LockKind::OpenFileDescription},
      {"a shared record lock", LockKind::SharedRecord},
  };
  for (const auto& lock : locks) {
    SCOPED_TRACE(lock.what);
    WriteBytes(dir / "held", "x");
    {
      LockHolder other(dir / "held", lock.kind);
      EXPECT_FALSE(platform::OpenExclusive(dir / "held").IsOpen());
      EXPECT_EQ(ErrorNumberOf([&] { platform::DeleteFile(dir / "held"); }), 70);
    }
    EXPECT_TRUE(platform::OpenExclusive(dir / "held").IsOpen()) << "free again";
  }
}

TEST_F(FileRules, OnlyANameThatIsNotThereIsMissing) {
  WriteBytes(dir / "file", "x");
  const struct { std::string path; int number; } cases[] = {
      {dir / "absent", 0},
      {dir / "file/x", 0},                 // a file where a folder should be
      {dir / "absent/x", 0},
      {dir / std::string(4096, 'd'), 52},  // too long for the system: not known to be missing
      {dir / std::string(256, 'n'), 52},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 80));
    EXPECT_EQ(ErrorNumberOf([&] { EXPECT_FALSE(platform::FileExists(c.path)); }), c.number);
  }
}

TEST_F(FileRules, DeleteRaisesTheRuntimeErrors) {
  WriteBytes(dir / "readonly", "x");
  SetMode(dir / "readonly", 0444);
  WriteBytes(dir / "locked", "x");
  LockHolder other(dir / "locked");
  mkdir((dir / "folder").c_str(), 0755);
  const struct { const char* name; int number; } cases[] = {
      {"absent", 53}, {"folder", 53}, {"readonly", 75}, {"locked", 70},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ErrorNumberOf([&] { platform::DeleteFile(dir / c.name); }), c.number);
  }
  EXPECT_TRUE(platform::FileExists(dir / "readonly"));
  EXPECT_TRUE(platform::FileExists(dir / "locked"));
}

}  // namespace
