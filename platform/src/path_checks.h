#pragma once

#include <string>

#include <sys/stat.h>

namespace platform {

// A path the file calls may be given: not empty, and free of NUL bytes, which
// would silently cut the name short and name another file.
inline bool IsUsablePath(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

// The folder that holds `path`: its part before the last '/', "." for a bare
// name.
inline std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// True when a file's mode grants nobody write permission. The open rule and
// delete both treat such a file as read-only, also for root, who could
// otherwise write it anyway.
inline bool IsReadOnlyMode(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// Locks the whole open file `descriptor` against every other holder: flock,
// and an open-file-description record lock (a write lock when the file is
// open for writing, else a read lock), which conflicts with the POSIX record
// locks of lockf and fcntl too. 0, or the errno of the refusal (EWOULDBLOCK
// when another holder has it); never waits.
int LockWholeFile(int descriptor, bool forWriting);

// Opens the regular file `path`, never through a link, and locks it against
// every other holder: for writing when it may be written, else for reading,
// which meets every writer's lock too. Failed, with the errno, when it is
// held, not a regular file (EINVAL) or cannot be opened.
class File;
File HoldForRemoval(const std::string& path);

}  // namespace platform
