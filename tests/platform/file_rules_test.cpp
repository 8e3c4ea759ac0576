#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

namespace {

using namespace testing_support;

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

// What each kind of entry is to the file rules. Only a regular file exists;
// only a name the system says is not there is missing (a name too long is an
// error, not "missing"); lengths are 64-bit. In `length` and `deleted`, a
// negative value is the runtime error expected; kNotTried skips the column.
TEST_F(FileRules, EachKindOfEntryExistsMeasuresAndDeletesAsItShould) {
  constexpr std::int64_t kNotTried = 1;
  constexpr std::int64_t kFiveGiB = std::int64_t{5} << 30;
  std::unique_ptr<LockHolder> lock;
  const auto file = [&](const std::string& path) { WriteBytes(path, "x"); };
  const struct {
    std::string name;
    std::function<void(const std::string&)> make;
    int exists;  // 1, 0, or minus the error number
    std::int64_t length, deleted;
  } cases[] = {
      {"plain", file, 1, 1, 0},
      {".hidden", file, 1, 1, 0},
      {"readonly", [&](auto& p) { file(p), SetMode(p, 0444); }, 1, 1, -75},
      {"locked", [&](auto& p) { file(p), lock = std::make_unique<LockHolder>(p); }, 1, 1, -70},
      {"sparse", [&](auto& p) { file(p), (void)truncate(p.c_str(), kFiveGiB); }, 1, kFiveGiB, kNotTried},
      {"link", [&](auto& p) { file(p + "-to"), (void)symlink((p + "-to").c_str(), p.c_str()); }, 1, 1, kNotTried},
      {"folder", [](auto& p) { mkdir(p.c_str(), 0755); }, 0, -53, -53},
      {"pipe", [](auto& p) { mkfifo(p.c_str(), 0644); }, 0, kNotTried, kNotTried},
      {"dangling", [](auto& p) { (void)symlink((p + "-absent").c_str(), p.c_str()); }, 0, kNotTried, kNotTried},
      {"absent", [](auto&) {}, 0, -53, -53},
      {"", [](auto&) {}, -52, -53, kNotTried},
      {"in-a-file/x", [&](auto&) { file(dir / "in-a-file"); }, 0, kNotTried, kNotTried},
      {"absent-folder/x", [](auto&) {}, 0, -76, kNotTried},
      {std::string(256, 'n'), [](auto&) {}, -52, kNotTried, kNotTried},
      {std::string(4096, 'd'), [](auto&) {}, -52, kNotTried, kNotTried},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 20));
    const std::string path = c.name.empty() ? "" : dir / c.name;
    c.make(path);
    EXPECT_EQ(ErrorNumberOf([&] { EXPECT_EQ(platform::FileExists(path), c.exists == 1); }), std::max(0, -c.exists));
    if (c.length != kNotTried) {
      const std::int64_t length = c.length;
      EXPECT_EQ(-ErrorNumberOf([&] { EXPECT_EQ(platform::FileLength(path), length); }),
                std::min<std::int64_t>(0, length));
    }
    if (c.deleted != kNotTried) {
      EXPECT_EQ(-ErrorNumberOf([&] { platform::DeleteFile(path); }), c.deleted);
      EXPECT_EQ(platform::FileExists(path), c.exists == 1 && c.deleted != 0) << "removed only when it may be";
    }
  }
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

}  // namespace
