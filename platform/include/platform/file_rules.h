#pragma once

#include <platform/export.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
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
// exclusively until it is closed: a whole-file lock of every kind a Linux
// program takes (flock, and a write record lock, which POSIX record locks and
// open-file-description locks both respect). A missing file is created empty;
// an existing one keeps its content. Fails for anything but a regular file,
// for a file whose mode grants no write permission (also for root), on a
// read-only file system, and for a file that another holder has locked of
// either kind: it never waits.
PLATFORM_EXPORT File OpenExclusive(const std::string& path);

// As OpenExclusive, but never creates: a missing file fails with ENOENT.
PLATFORM_EXPORT File OpenExistingExclusive(const std::string& path);

// Opens `path` for reading only and holds it against writers: a shared
// flock and a read record lock, which every exclusive holder's locks meet.
// Only read permission is needed, so a file with mode 0444 or on a
// read-only medium opens. Fails for anything but a regular file and for a
// file that another holder has locked for writing; never waits.
PLATFORM_EXPORT File OpenForReading(const std::string& path);

// Creates `path` as a new empty regular file and holds it as OpenExclusive
// does. Fails when anything at all is in the way, a symbolic link included,
// so nothing is ever written through a link planted there.
PLATFORM_EXPORT File CreateNewExclusive(const std::string& path);

// True when `path` names a regular file (following links). Only a missing
// entry (ENOENT, ENOTDIR), a directory or another kind of entry counts as
// missing; any other failed look-up (a name too long, an I/O error, a folder
// that may not be searched) raises the matching file error, since it says
// nothing about whether the file is there.
PLATFORM_EXPORT bool FileExists(const std::string& path);

// The length in bytes of the file `path` names. A missing file (or a
// directory) raises error 53; other failures raise the matching file error.
PLATFORM_EXPORT std::int64_t FileLength(const std::string& path);

// The length of an open file; -1 when it cannot be taken.
PLATFORM_EXPORT std::int64_t LengthOf(const File& file);

// What tells two names of one file apart from two files: the device and the
// inode, however the file was reached (a symbolic link, a hard link).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file `path` leads to, following links; nothing when
// nothing is there (ENOENT, ENOTDIR). Any other failed look-up raises the
// matching file error.
PLATFORM_EXPORT std::optional<FileIdentity> IdentityOf(const std::string& path);
PLATFORM_EXPORT FileIdentity IdentityOf(const File& file);

// Takes the entry `path` names for deletion, so that nothing can take it
// between the checks and the removal: a regular file is opened without
// following links and locked as the open rule locks; a symbolic link is held
// as itself, its target never touched. A missing file (or a folder) raises
// 53, a read-only file 75, a file that another holder has locked 70.
PLATFORM_EXPORT File TakeForDeletion(const std::string& path);

// Removes `path`, which must still name the entry `taken` holds (from
// TakeForDeletion, or a file this process created): an entry put there in the
// meantime is left alone and raises 75. `taken` is closed afterwards.
PLATFORM_EXPORT void DeleteTaken(File& taken, const std::string& path);

// Removes the file `path` names while holding it: TakeForDeletion, then
// DeleteTaken, with their errors.
PLATFORM_EXPORT void DeleteFile(const std::string& path);

// Removes `path` if it still names the file `identity` (one this process
// wrote and has let go of), held while it is removed; nothing there, or
// anything else there, is left alone. True when it was removed; raises the
// delete's errors.
PLATFORM_EXPORT bool DeleteIfStill(const std::string& path, const FileIdentity& identity);

// Why the file `path` may have been changed by someone other than root and
// the user running this process, so that what it holds (code, or a list of
// code to run) is not to be trusted; nothing when only they could change it.
// Untrusted are: the file, a folder above it, or a link on the way, owned by
// another user; the file or a folder above it writable by group or others
// (a sticky folder such as /tmp only when the entry in it belongs to someone
// else); anything that cannot be looked up. Both the path as written and the
// path its links lead to are checked.
PLATFORM_EXPORT std::optional<std::string> WhyUntrusted(const std::string& path);

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

// Called after each piece of a copy with the count of bytes it has just
// written, which lie right before the destination's file position.
using CopiedPiece = std::function<void(std::int64_t count)>;

inline constexpr std::size_t kCopyBufferBytes = std::size_t{1} << 20;
inline constexpr std::int64_t kCopyPieceBytes = std::int64_t{8} << 20;

// Paces copies with the disk that receives them. The bytes written are set
// going to the disk a piece at a time, and the piece before is waited for,
// so a copy runs at most one piece ahead of the disk: the bytes reported as
// copied are on their way to the disk, and the flush that ends a file waits
// for one piece, never for the gigabytes a fast copy could leave in memory
// for a slow disk (minutes in which nothing could be reported or stopped).
// A piece follows the disk's speed, between 1 MiB and kCopyPieceBytes, so
// that it takes about a tenth of a second. Only a help: a failure of its
// calls shows in the flush that follows. One pace may serve many copies
// into one file, so that small copies go to the disk together.
class PLATFORM_EXPORT CopyPace {
 public:
  explicit CopyPace(int destination);
  std::int64_t PieceBytes() const { return piece_; }
  // The `count` bytes right before the destination's file position were
  // just written.
  void Written(std::int64_t count);

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kPieceTime{100};
  static constexpr std::int64_t kSmallestPiece = std::int64_t{1} << 20;

  int destination_;
  std::int64_t unsent_ = 0;
  std::int64_t previous_ = 0;
  std::int64_t piece_ = kCopyPieceBytes;
  Clock::time_point start_;
};

// Copies up to `count` bytes of `source`, starting at `sourceOffset`, to the
// file position of `destination`, and advances `sourceOffset` past them. The
// kernel copies directly where it can; elsewhere a fixed buffer of
// kCopyBufferBytes does, so memory stays bounded whatever `count` is. The
// copy keeps pace with the destination's disk through `pace`, or a pace of
// its own. Each piece written, at most kCopyPieceBytes, is reported to
// `piece` when given.
// Returns the count copied (less than `count` only at the end of the source),
// or -1 when a read or a write failed (errno tells why).
PLATFORM_EXPORT std::int64_t CopyBytes(const File& source, std::int64_t& sourceOffset,
                                       const File& destination, std::int64_t count,
                                       const CopiedPiece& piece = {},
                                       CopyPace* pace = nullptr);

// Makes a write beyond the process's file-size limit (RLIMIT_FSIZE) fail like
// a full disk instead of ending the whole program with SIGXFSZ. Programs call
// it once at start-up.
PLATFORM_EXPORT void ReportFileSizeLimitAsFailure();


}  // namespace platform
