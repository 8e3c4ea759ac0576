#include "set_io.h"

#include "checksum_file.h"

#include <control/fragment_set.h>

#include <cerrno>
#include <cstring>

namespace control {

std::string FileFailure(const std::string& path, int error) {
  const std::string name = FileNameOf(path);
  switch (error) {
    case EWOULDBLOCK: return name + " is in use by another program";
    case EACCES: case EPERM: case EROFS: return name + " is read-only or may not be written";
    case EEXIST: return name + " is in the way and is not a file that may be replaced";
    case EINVAL: return name + " is not a regular file";
    default: return name + ": " + std::strerror(error);
  }
}

std::string CopyFailure(const std::string& from, const std::string& to, int error) {
  return "copying " + FileNameOf(from) + " to " + FileNameOf(to) + ": " + std::strerror(error);
}

std::optional<std::string> FragmentThatIs(const std::string& basePath, int last,
                                          const platform::FileIdentity& target) {
  for (int number = 1; number <= last; ++number) {
    const std::string name = FragmentName(basePath, number);
    if (platform::IdentityOf(name) == target) return name;
  }
  return std::nullopt;
}

SetHashes::SetHashes(bool fragments, bool whole) {
  if (fragments) fragment_.emplace();
  if (whole) whole_.emplace();
}

std::int64_t SetHashes::Copy(const platform::File& source, std::int64_t& sourceOffset,
                             const platform::File& destination, std::int64_t destinationOffset,
                             std::int64_t count) {
  platform::CopiedPiece queue;
  if (fragment_ || whole_) {
    queue = [&](std::int64_t written) {
      if (fragment_) fragment_->Add(destination.descriptor(), destinationOffset, written);
      if (whole_) whole_->Add(destination.descriptor(), destinationOffset, written);
      destinationOffset += written;
    };
  }
  return platform::CopyBytes(source, sourceOffset, destination, count, queue);
}

std::optional<Digest> SetHashes::TakeFragment() {
  return fragment_ ? fragment_->Take() : std::nullopt;
}

std::optional<Digest> SetHashes::TakeWhole() { return whole_ ? whole_->Take() : std::nullopt; }

bool SetHashes::Wait() {
  const bool fragmentRead = !fragment_ || fragment_->Wait();
  return (!whole_ || whole_->Wait()) && fragmentRead;
}

}  // namespace control
