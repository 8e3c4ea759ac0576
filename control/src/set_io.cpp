#include "set_io.h"

#include "checksum_file.h"

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

std::int64_t CopyHashed(const platform::File& source, std::int64_t& sourceOffset,
                        const platform::File& destination, std::int64_t destinationOffset,
                        std::int64_t count, std::initializer_list<BackgroundHash*> hashes) {
  platform::CopiedPiece queue;
  for (BackgroundHash* hash : hashes) {
    if (hash == nullptr) continue;
    queue = [&](std::int64_t written) {
      for (BackgroundHash* each : hashes) {
        if (each != nullptr) each->Add(destination.descriptor(), destinationOffset, written);
      }
      destinationOffset += written;
    };
    break;
  }
  return platform::CopyBytes(source, sourceOffset, destination, count, queue);
}

}  // namespace control
