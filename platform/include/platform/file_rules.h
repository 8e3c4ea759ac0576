#pragma once

#include <platform/export.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// An open file descriptor, closed exactly once. A file that failed to open
// keeps the reason (an errno value) for diagnostics.
class PLATFORM_EXPORT File {
 public:
  File() = default;
  static File Opened(int descriptor);
  static File Failed(int errnoValue);
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  // Closes a file still open; a failure there is lost, so callers that care
  // call Close() themselves.
  ~File();

  bool IsOpen() const noexcept { return descriptor_ >= 0; }
  int descriptor() const noexcept { return descriptor_; }
  // Why the open failed (an errno value); 0 for a file that opened.
  int error() const noexcept { return error_; }
  // Closes the file; false when the close reported a failure, which may mean
  // written data never reached the disk.
  bool Close();

 private:
  int descriptor_ = -1;
  int error_ = 0;
};

// The open rule: opens `path` for reading and writing and holds it
// exclusively (an advisory lock that every locking program respects) until it
// is closed. A missing file is created empty; an existing one keeps its
// content. Fails for anything but a regular file, for a file whose mode grants
// no write permission (also for root), on a read-only file system, and for a
// file that another holder has locked: it never waits.
PLATFORM_EXPORT File OpenExclusive(const std::string& path);

// Creates `path` as a new empty regular file and holds it as OpenExclusive
// does. Fails when anything at all is in the way, a symbolic link included,
// so nothing is ever written through a link planted there.
PLATFORM_EXPORT File CreateNewExclusive(const std::string& path);

// True when `path` names a regular file (following links). A directory or any
// other kind of entry counts as missing; a name starting with a dot is an
// ordinary file.
PLATFORM_EXPORT bool FileExists(const std::string& path);

// The length in bytes of the file `path` names. A missing file (or a
// directory) raises error 53; other failures raise the matching file error.
PLATFORM_EXPORT std::int64_t FileLength(const std::string& path);

// Removes the file `path` names. A missing file raises 53, a read-only file
// 75, a file that another holder has locked 70. A symbolic link is removed
// itself; its target is never touched.
PLATFORM_EXPORT void DeleteFile(const std::string& path);

// Makes what was written to `file` durable; false when the flush failed.
PLATFORM_EXPORT bool Flush(const File& file);

// Makes the names created in the folder holding `path` durable; false when
// the folder's flush failed. A folder that may not be opened for reading is
// passed over: the files themselves are flushed already.
PLATFORM_EXPORT bool FlushDirectoryOf(const std::string& path);

// Reads up to `count` bytes at `offset` without moving the file position,
// continuing after short reads; the count read (less only at the end of the
// file), or -1 when a read failed.
PLATFORM_EXPORT std::int64_t ReadAt(const File& file, void* buffer, std::size_t count,
                                    std::int64_t offset);

// Writes all `count` bytes at the file position, continuing after short
// writes; false when a write failed.
PLATFORM_EXPORT bool WriteAll(const File& file, const void* data, std::size_t count);

// Copies up to `count` bytes of `source`, starting at `sourceOffset`, to the
// file position of `destination`, and advances `sourceOffset` past them. The
// kernel copies directly where it can; elsewhere a fixed buffer of
// kCopyBufferBytes does, so memory stays bounded whatever `count` is. Returns
// the count copied (less than `count` only at the end of the source), or -1
// when a read or a write failed.
PLATFORM_EXPORT std::int64_t CopyBytes(const File& source, std::int64_t& sourceOffset,
                                       const File& destination, std::int64_t count);

// Makes a write beyond the process's file-size limit (RLIMIT_FSIZE) fail like
// a full disk instead of ending the whole program with SIGXFSZ. Programs call
// it once at start-up.
PLATFORM_EXPORT void ReportFileSizeLimitAsFailure();

inline constexpr std::size_t kCopyBufferBytes = std::size_t{1} << 20;

}  // namespace platform
