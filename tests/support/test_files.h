#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <sys/types.h>

namespace testing_support {

// A fresh folder under `parent` (the system's temporary folder when empty),
// removed with everything in it when the object goes away.
class TempDir {
 public:
  explicit TempDir(const std::string& parent = {});
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// `length` bytes that differ from run to run of `seed` but are the same for
// the same seed, so a misplaced slice never compares equal by chance.
std::string PatternBytes(std::size_t length, std::uint32_t seed = 1);

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
void SetMode(const std::string& path, mode_t mode);

// True when the two files hold the same bytes (by cmp, for files of any
// size); the paths must not contain a single quote.
bool SameContent(const std::string& left, const std::string& right);

// The number of the runtime error `action` raises; 0 when it raises none.
int ErrorNumberOf(const std::function<void()>& action);

// The number of descriptors this process has open, to prove none leaks.
int OpenDescriptorCount();

// Sets an environment variable (removes it, for null) for as long as the
// object lives, then puts back what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Makes `dir`/bin/xdg-open (returned, to put alone on PATH), a desktop opener
// that runs `body` with D set to `dir` and only the system's tools on its
// PATH. The default body records "$#" and "$1" in `dir`/opened, then exits
// with `status`: by default 4, as an opener without a browser fails.
std::string WriteFakeOpener(const std::string& dir, const std::string& body = {}, mode_t mode = 0755, int status = 4);
// Waits up to five seconds for `path` to exist; false if it does not.
bool WaitForFile(const std::string& path);

// The kinds of lock Linux programs take on a whole file.
enum class LockKind { Flock, Lockf, OpenFileDescription, SharedRecord };

// Another process that holds `path` locked, as a second program would, for
// as long as the object lives.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path, LockKind kind = LockKind::Flock);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

 private:
  pid_t child_ = -1;
};

}  // namespace testing_support
