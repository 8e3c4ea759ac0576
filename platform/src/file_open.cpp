#include <platform/file_rules.h>

#include "path_checks.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace platform {
namespace {

constexpr int kOpenFlags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask

// Checks what was opened and takes the exclusive locks; the open file, or the
// reason it may not be used.
File Hold(File file, bool mustBeWritableByMode) {
  struct stat status {};
  if (fstat(file.descriptor(), &status) != 0) return File::Failed(errno);
  if (!S_ISREG(status.st_mode)) return File::Failed(EINVAL);
  if (mustBeWritableByMode && IsReadOnlyMode(status.st_mode)) return File::Failed(EACCES);
  if (const int error = LockWholeFile(file.descriptor(), true)) return File::Failed(error);
  return file;
}

// True when `path` exists and is something other than a regular file, which
// the open rule refuses without opening it (opening a device or a pipe may
// have effects of its own).
bool IsOtherThanRegularFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

File Open(const std::string& path, bool createMissing) {
  if (!IsUsablePath(path)) return File::Failed(ENOENT);
  if (IsOtherThanRegularFile(path)) return File::Failed(EINVAL);
  // Open an existing file as it is; create a missing one exclusively, so that
  // only a file made here escapes the read-only test (a restrictive umask must
  // not make a new file unusable). A name that appears in between is opened
  // as existing on the second pass.
  for (int attempt = 0; attempt < 2; ++attempt) {
    int descriptor = open(path.c_str(), kOpenFlags);
    if (descriptor >= 0) return Hold(File::Opened(descriptor), true);
    if (errno != ENOENT || !createMissing) return File::Failed(errno);
    descriptor = open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, kNewFileMode);
    if (descriptor >= 0) return Hold(File::Opened(descriptor), false);
    if (errno != EEXIST) return File::Failed(errno);
  }
  // Still missing yet in the way: a dangling symbolic link. It is not
  // followed to create its target.
  return File::Failed(EEXIST);
}

// Takes the shared locks of a reader: a shared flock and a read record lock.
// 0, or the errno of the refusal (EWOULDBLOCK when a writer holds the file).
int LockForReading(int descriptor) {
  if (flock(descriptor, LOCK_SH | LOCK_NB) != 0) return errno;
  struct flock range {};
  range.l_type = F_RDLCK;
  range.l_whence = SEEK_SET;
  if (fcntl(descriptor, F_OFD_SETLK, &range) != 0) return errno == EACCES ? EWOULDBLOCK : errno;
  return 0;
}

}  // namespace

int LockWholeFile(int descriptor, bool forWriting) {
  if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) return errno;
  struct flock range {};
  range.l_type = forWriting ? F_WRLCK : F_RDLCK;
  range.l_whence = SEEK_SET;  // from the start to beyond any end
  if (fcntl(descriptor, F_OFD_SETLK, &range) != 0) return errno == EACCES ? EWOULDBLOCK : errno;
  return 0;
}

File HoldForRemoval(const std::string& path) {
  // A file we may not write can still be deleted from a folder we may write;
  // it is then held with a read lock, which still meets every writer's lock.
  constexpr int kFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
  bool writable = true;
  File file = File::Opened(open(path.c_str(), O_RDWR | kFlags));
  if (!file.IsOpen() && errno == EACCES) {
    writable = false;
    file = File::Opened(open(path.c_str(), O_RDONLY | kFlags));
  }
  if (!file.IsOpen()) return File::Failed(errno);
  struct stat status {};
  if (fstat(file.descriptor(), &status) != 0) return File::Failed(errno);
  if (!S_ISREG(status.st_mode)) return File::Failed(EINVAL);
  if (const int error = LockWholeFile(file.descriptor(), writable)) return File::Failed(error);
  return file;
}

File File::Opened(int descriptor) {
  File file;
  file.descriptor_ = descriptor;
  return file;
}

File File::Failed(int errnoValue) {
  File file;
  file.error_ = errnoValue;
  return file;
}

File::File(File&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), error_(other.error_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    descriptor_ = std::exchange(other.descriptor_, -1);
    error_ = other.error_;
  }
  return *this;
}

File::~File() { Close(); }

bool File::Close() {
  if (descriptor_ < 0) return true;
  // Linux releases the descriptor even when close reports an error, so it is
  // never retried: a retry could close a descriptor another thread just got.
  const int result = close(std::exchange(descriptor_, -1));
  return result == 0 || errno == EINTR;
}

File OpenExclusive(const std::string& path) { return Open(path, true); }

File OpenExistingExclusive(const std::string& path) { return Open(path, false); }

File OpenForReading(const std::string& path) {
  if (!IsUsablePath(path)) return File::Failed(ENOENT);
  if (IsOtherThanRegularFile(path)) return File::Failed(EINVAL);
  File file = File::Opened(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file.IsOpen()) return File::Failed(errno);
  struct stat status {};
  if (fstat(file.descriptor(), &status) != 0) return File::Failed(errno);
  if (!S_ISREG(status.st_mode)) return File::Failed(EINVAL);
  if (const int error = LockForReading(file.descriptor())) return File::Failed(error);
  return file;
}

File CreateNewExclusive(const std::string& path) {
  if (!IsUsablePath(path)) return File::Failed(ENOENT);
  const int descriptor =
      open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL | O_NOFOLLOW, kNewFileMode);
  if (descriptor < 0) return File::Failed(errno);
  return Hold(File::Opened(descriptor), false);
}

}  // namespace platform
