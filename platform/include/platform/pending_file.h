#pragma once

#include <platform/export.h>
#include <platform/file_rules.h>

#include <string>

namespace platform {

// A file written under a temporary name in the folder of the file it is
// meant to become, and renamed over that name only once it is complete and
// flushed: whoever looks at that name sees the older file or the new one,
// never part of the new one. While pending it is held with the open rule's
// exclusive locks, so that the leftover of a killed process can be told
// from a file in use: only the former can be locked by someone else.
class PLATFORM_EXPORT PendingFile {
 public:
  PendingFile() = default;
  // Creates `temporaryPath` anew, never through a link, and holds it. A
  // name ending in "XXXXXX" gets random letters there, drawn again while
  // the name is taken. When it fails, IsOpen() is false and error() says why.
  static PendingFile Create(const std::string& temporaryPath);
  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&& other) noexcept;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  // Removes the temporary file unless it was committed.
  ~PendingFile();

  bool IsOpen() const noexcept { return file_.IsOpen(); }
  int error() const noexcept { return file_.error(); }
  const File& file() const noexcept { return file_; }
  File& file() noexcept { return file_; }
  // The name it has now: the temporary one until committed.
  const std::string& path() const noexcept { return path_; }
  const FileIdentity& identity() const noexcept { return identity_; }

  // Flushes the file and renames it to `target`, over an older file there
  // when `replace`, else only where nothing is (EEXIST otherwise); false,
  // with errno set, when either failed. It stays open and held under its
  // new name. The folder is not flushed: a caller flushes it
  // (FlushDirectoryOf) once all it renames is in place.
  bool CommitAs(const std::string& target, bool replace);
  // As CommitAs, without the flush: for a file that is flushed later,
  // before anything that depends on it is committed.
  bool RenameTo(const std::string& target, bool replace);
  // Closes the file and removes it if it is still pending and still the
  // file made here; false, with errno set, when the removal failed.
  bool Discard();

 private:
  File file_;
  std::string path_;
  FileIdentity identity_;
  bool committed_ = false;
};

// Holds the temporary file `path` (a regular file, never reached through a
// link) with exclusive locks; a file whose mode forbids writing, as a
// restrictive umask makes it, is held for reading, which meets every lock
// too. Fails with EWOULDBLOCK when another holder has it, EINVAL when it is
// not a regular file (ELOOP for a link), ENOENT when it is not there.
PLATFORM_EXPORT File HoldTemporary(const std::string& path);

// Removes the regular files in `folder` whose names start with `prefix` and
// that no process holds: leftovers of a process that was killed while they
// were pending. Files still held are left alone, and so is anything that
// cannot be removed; a leftover is only ever a temporary file.
PLATFORM_EXPORT void RemoveLeftovers(const std::string& folder, const std::string& prefix);

}  // namespace platform
