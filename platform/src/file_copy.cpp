#include <platform/file_rules.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace platform {
namespace {

// Starts writing the `length` bytes just written before the file position of
// `descriptor` to the disk, without waiting. Only a head start: a failure
// shows in the later flush.
void StartWritebackOfLast(int descriptor, std::int64_t length) {
  const off_t end = lseek(descriptor, 0, SEEK_CUR);
  if (end >= length) sync_file_range(descriptor, end - length, length, SYNC_FILE_RANGE_WRITE);
}

enum class KernelCopy { Done, Refused, Failed };

// Copies with copy_file_range for as long as the kernel agrees, at most
// kCopyPieceBytes at a time. After each piece the disk is set to work on it
// while the next is copied, so the flush that ends a fragment waits for the
// last piece only instead of the whole fragment. Refused means
// this pair of files needs the ordinary copy for what is left; a zero count is
// treated the same way, since some file systems report it before their end
// and only a plain read can tell the end of the file apart.
KernelCopy CopyInKernel(int source, std::int64_t& sourceOffset, int destination,
                        std::int64_t& remaining, const CopiedPiece& piece) {
  while (remaining > 0) {
    loff_t offset = sourceOffset;
    const auto wanted = static_cast<std::size_t>(std::min(remaining, kCopyPieceBytes));
    const ssize_t copied = copy_file_range(source, &offset, destination, nullptr, wanted, 0);
    if (copied > 0) {
      StartWritebackOfLast(destination, copied);
      sourceOffset += copied;
      remaining -= copied;
      if (piece) piece(copied);
      continue;
    }
    if (copied == 0) return KernelCopy::Refused;
    switch (errno) {
      case EINTR: continue;
      case ENOSYS: case EXDEV: case EINVAL: case EOPNOTSUPP: case EBADF: case EPERM:
        return KernelCopy::Refused;
      default: return KernelCopy::Failed;
    }
  }
  return KernelCopy::Done;
}

// Copies through a buffer of kCopyBufferBytes, which lives for this call.
bool CopyThroughBuffer(const File& source, std::int64_t& sourceOffset, const File& destination,
                       std::int64_t& remaining, const CopiedPiece& piece) {
  const auto buffer = std::make_unique<char[]>(kCopyBufferBytes);
  while (remaining > 0) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining, static_cast<std::int64_t>(kCopyBufferBytes)));
    const std::int64_t got = ReadAt(source, buffer.get(), wanted, sourceOffset);
    if (got < 0) return false;
    if (got == 0) return true;  // the end of the source
    if (!WriteAll(destination, buffer.get(), static_cast<std::size_t>(got))) return false;
    StartWritebackOfLast(destination.descriptor(), got);
    sourceOffset += got;
    remaining -= got;
    if (piece) piece(got);
  }
  return true;
}

}  // namespace

std::int64_t ReadAt(const File& file, void* buffer, std::size_t count, std::int64_t offset) {
  auto* bytes = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = pread(file.descriptor(), bytes + done, count - done,
                              static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      return -1;
    }
  }
  return static_cast<std::int64_t>(done);
}

bool WriteAll(const File& file, const void* data, std::size_t count) {
  const auto* bytes = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t written = write(file.descriptor(), bytes, count);
    if (written > 0) {
      bytes += written;
      count -= static_cast<std::size_t>(written);
    } else if (written == 0 || errno != EINTR) {
      return false;  // a write that makes no progress would never finish
    }
  }
  return true;
}

std::int64_t CopyBytes(const File& source, std::int64_t& sourceOffset, const File& destination,
                       std::int64_t count, const CopiedPiece& piece) {
  if (count <= 0) return 0;
  std::int64_t remaining = count;
  switch (CopyInKernel(source.descriptor(), sourceOffset, destination.descriptor(), remaining,
                       piece)) {
    case KernelCopy::Done: return count;
    case KernelCopy::Failed: return -1;
    case KernelCopy::Refused: break;
  }
  if (!CopyThroughBuffer(source, sourceOffset, destination, remaining, piece)) return -1;
  return count - remaining;
}

}  // namespace platform
