#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "path_checks.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// True when another holder has the regular file `path` locked. Our own test
// lock is released again when the descriptor closes.
bool IsLockedByAnotherHolder(const std::string& path) {
  File probe = File::Opened(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
  if (!probe.IsOpen()) return false;  // cannot tell; the unlink will say
  return flock(probe.descriptor(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat status {};
  return IsUsablePath(path) && stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::int64_t FileLength(const std::string& path) {
  if (!IsUsablePath(path)) throw RuntimeError(ErrorNumber::FileNotFound, path);
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) throw FileError(errno, path);
  if (!S_ISREG(status.st_mode)) throw RuntimeError(ErrorNumber::FileNotFound, path);
  return status.st_size;
}

void DeleteFile(const std::string& path) {
  if (!IsUsablePath(path)) throw RuntimeError(ErrorNumber::FileNotFound, path);
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) throw FileError(errno, path);
  if (S_ISDIR(status.st_mode)) throw RuntimeError(ErrorNumber::FileNotFound, path);
  if (S_ISREG(status.st_mode)) {
    if (IsReadOnlyMode(status.st_mode)) throw RuntimeError(ErrorNumber::PathFileAccessError, path);
    if (IsLockedByAnotherHolder(path)) throw RuntimeError(ErrorNumber::PermissionDenied, path);
  }
  if (unlink(path.c_str()) != 0) throw FileError(errno, path);
}

void ReportFileSizeLimitAsFailure() { std::signal(SIGXFSZ, SIG_IGN); }

bool Flush(const File& file) { return file.IsOpen() && fsync(file.descriptor()) == 0; }

bool FlushDirectoryOf(const std::string& path) {
  File folder = File::Opened(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.IsOpen()) return errno == EACCES;
  // Some file systems cannot flush a folder (EINVAL); their names are as
  // durable as they will ever be.
  const bool flushed = fsync(folder.descriptor()) == 0 || errno == EINVAL;
  return folder.Close() && flushed;
}

}  // namespace platform
