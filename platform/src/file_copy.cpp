#include <platform/file_rules.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>

namespace platform {
namespace {

enum class KernelCopy { Done, Refused, Failed };

// Copies with copy_file_range for as long as the kernel agrees, a piece at
// a time, paced with the disk. Refused means
// this pair of files needs the ordinary copy for what is left; a zero count is
// treated the same way, since some file systems report it before their end
// and only a plain read can tell the end of the file apart.
KernelCopy CopyInKernel(int source, std::int64_t& sourceOffset, int destination,
                        std::int64_t& remaining, CopyPace& pace, const CopiedPiece& piece) {
  while (remaining > 0) {
    loff_t offset = sourceOffset;
    const auto wanted = static_cast<std::size_t>(std::min(remaining, pace.PieceBytes()));
    const ssize_t copied = copy_file_range(source, &offset, destination, nullptr, wanted, 0);
    if (copied > 0) {
      pace.Written(copied);
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
                       std::int64_t& remaining, CopyPace& pace, const CopiedPiece& piece) {
  const auto buffer = std::make_unique<char[]>(kCopyBufferBytes);
  while (remaining > 0) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining, static_cast<std::int64_t>(kCopyBufferBytes)));
    const std::int64_t got = ReadAt(source, buffer.get(), wanted, sourceOffset);
    if (got < 0) return false;
    if (got == 0) return true;  // the end of the source
    if (!WriteAll(destination, buffer.get(), static_cast<std::size_t>(got))) return false;
    pace.Written(got);
    sourceOffset += got;
    remaining -= got;
    if (piece) piece(got);
  }
  return true;
}

}  // namespace

CopyPace::CopyPace(int destination) : destination_(destination), start_(Clock::now()) {}

void CopyPace::Written(std::int64_t count) {
  unsent_ += count;
  if (unsent_ < piece_) return;  // small copies go to the disk a piece at a time too
  const off_t end = lseek(destination_, 0, SEEK_CUR);
  const std::int64_t sent = std::exchange(unsent_, 0);
  if (end >= sent) {
    sync_file_range(destination_, end - sent, sent, SYNC_FILE_RANGE_WRITE);
    if (end - sent >= previous_ && previous_ > 0) {
      sync_file_range(destination_, end - sent - previous_, previous_, SYNC_FILE_RANGE_WAIT_BEFORE);
    }
  }
  previous_ = sent;
  const Clock::time_point now = Clock::now();
  const Clock::duration took = now - std::exchange(start_, now);
  if (took > kPieceTime) {
    piece_ = std::max(piece_ / 2, kSmallestPiece);
  } else if (took < kPieceTime / 4) {
    piece_ = std::min(piece_ * 2, kCopyPieceBytes);
  }
}

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
                       std::int64_t count, const CopiedPiece& piece, CopyPace* runningPace) {
  if (count <= 0) return 0;
  std::int64_t remaining = count;
  std::optional<CopyPace> ownPace;
  CopyPace& pace = runningPace != nullptr ? *runningPace : ownPace.emplace(destination.descriptor());
  switch (CopyInKernel(source.descriptor(), sourceOffset, destination.descriptor(), remaining,
                       pace, piece)) {
    case KernelCopy::Done: return count;
    case KernelCopy::Failed: return -1;
    case KernelCopy::Refused: break;
  }
  if (!CopyThroughBuffer(source, sourceOffset, destination, remaining, pace, piece)) return -1;
  return count - remaining;
}

}  // namespace platform
