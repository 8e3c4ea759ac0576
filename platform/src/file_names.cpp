#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "path_checks.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// True when a failed look-up's `errnoValue` means that nothing is there.
bool MeansMissing(int errnoValue) { return errnoValue == ENOENT || errnoValue == ENOTDIR; }

// The status of what `path` names (following links, or not); false when
// nothing is there. Any other failure raises the matching file error.
bool StatusOf(const std::string& path, struct stat& status, bool followLinks) {
  if (!IsUsablePath(path)) throw RuntimeError(ErrorNumber::BadFileNameOrNumber, path);
  if ((followLinks ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) == 0) return true;
  if (MeansMissing(errno)) return false;
  throw FileError(errno, path);
}

FileIdentity IdentityOfStatus(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat status {};
  return StatusOf(path, status, true) && S_ISREG(status.st_mode);
}

std::int64_t FileLength(const std::string& path) {
  if (!IsUsablePath(path)) throw RuntimeError(ErrorNumber::FileNotFound, path);
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) throw FileError(errno, path);
  if (!S_ISREG(status.st_mode)) throw RuntimeError(ErrorNumber::FileNotFound, path);
  return status.st_size;
}

std::int64_t LengthOf(const File& file) {
  struct stat status {};
  return fstat(file.descriptor(), &status) == 0 ? status.st_size : -1;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat status {};
  if (!StatusOf(path, status, true)) return std::nullopt;
  return IdentityOfStatus(status);
}

FileIdentity IdentityOf(const File& file) {
  struct stat status {};
  if (fstat(file.descriptor(), &status) != 0) throw FileError(errno, {});
  return IdentityOfStatus(status);
}

File TakeForDeletion(const std::string& path) {
  struct stat status {};
  if (!IsUsablePath(path) || !StatusOf(path, status, false) || S_ISDIR(status.st_mode)) {
    throw RuntimeError(ErrorNumber::FileNotFound, path);
  }
  if (!S_ISREG(status.st_mode)) {
    // A link or another entry without data of ours: held by name only.
    File entry = File::Opened(open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!entry.IsOpen()) throw FileError(errno, path);
    return entry;
  }
  if (IsReadOnlyMode(status.st_mode)) throw RuntimeError(ErrorNumber::PathFileAccessError, path);
  File file = HoldForRemoval(path);
  if (!file.IsOpen()) throw FileError(file.error(), path);
  return file;
}

void DeleteTaken(File& taken, const std::string& path) {
  struct stat now {};
  if (!StatusOf(path, now, false)) throw RuntimeError(ErrorNumber::FileNotFound, path);
  if (IdentityOfStatus(now) != IdentityOf(taken)) {
    throw RuntimeError(ErrorNumber::PathFileAccessError, path);
  }
  if (unlink(path.c_str()) != 0) throw FileError(errno, path);
  taken.Close();
}

void DeleteFile(const std::string& path) {
  File taken = TakeForDeletion(path);
  DeleteTaken(taken, path);
}

bool DeleteIfStill(const std::string& path, const FileIdentity& identity) {
  struct stat status {};
  if (!StatusOf(path, status, false) || IdentityOfStatus(status) != identity) return false;
  File taken = TakeForDeletion(path);
  if (IdentityOf(taken) != identity) return false;  // replaced since the look
  DeleteTaken(taken, path);
  return true;
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

namespace {

bool TrustedOwner(uid_t owner) { return owner == 0 || owner == geteuid(); }

bool WritableByOthers(const struct stat& status) {
  return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Walks `path` (absolute) from the root, one entry at a time: each entry
// must belong to root or us, and the folder holding it must not let others
// replace it. Links are checked as entries here; where they lead is checked
// by the walk of the resolved path.
std::optional<std::string> WhyUntrustedWalk(const std::string& path) {
  std::string reached;
  struct stat folder {};
  if (stat("/", &folder) != 0) return "/ cannot be looked up";
  std::size_t start = 1;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (end > start) {
      reached += "/" + path.substr(start, end - start);
      struct stat entry {};
      if (lstat(reached.c_str(), &entry) != 0) {
        return reached + " cannot be looked up (" + std::strerror(errno) + ")";
      }
      if (!TrustedOwner(entry.st_uid)) return reached + " belongs to another user";
      if (WritableByOthers(folder) && (folder.st_mode & S_ISVTX) == 0) {
        return FolderOf(reached) + " may be written by other users";
      }
      const bool last = end == path.size();
      if (!S_ISLNK(entry.st_mode) && (last || !S_ISDIR(entry.st_mode)) && WritableByOthers(entry)) {
        return reached + " may be written by other users";
      }
      if (!last && stat(reached.c_str(), &folder) != 0) {
        return reached + " cannot be looked up (" + std::strerror(errno) + ")";
      }
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WhyUntrusted(const std::string& path) {
  if (!IsUsablePath(path) || path.front() != '/') return path + " is not an absolute path";
  if (auto why = WhyUntrustedWalk(path)) return why;
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path + " cannot be looked up (" + std::strerror(errno) + ")";
  const std::string target = resolved;
  std::free(resolved);
  return target == path ? std::nullopt : WhyUntrustedWalk(target);
}

}  // namespace platform
