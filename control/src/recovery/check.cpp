// Checks: which recovery slices are intact, which files are damaged.

#include "../crypto.h"
#include "packets.h"
#include "par2.h"
#include "worker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace control::par2 {

namespace {

constexpr std::int64_t kReadBytes = std::int64_t{4} << 20;

// Adds the `count` bytes at `offset` to `hash`, telling `progress` each
// piece; false when a read fails or the file ends first, nothing when the
// progress function stopped.
std::optional<bool> HashRange(int descriptor, std::int64_t offset, std::int64_t count,
                              Md5Hash& hash, std::int64_t& done, std::int64_t total,
                              const Progress& progress) {
  const Buffer buffer = MakeBuffer(std::min(count, kReadBytes));
  while (count > 0) {
    const ssize_t got = pread(descriptor, buffer.get(),
                              static_cast<std::size_t>(std::min(count, kReadBytes)), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    hash.Add(buffer.get(), static_cast<std::size_t>(got));
    offset += got;
    count -= got;
    done += got;
    if (progress && progress(done, total)) return std::nullopt;
  }
  return true;
}

}  // namespace

std::vector<std::uint32_t> IntactBlocks(const std::vector<RecoveryBlock>& blocks,
                                        const Progress& progress) {
  std::vector<std::int64_t> lengths;
  std::int64_t total = 0;
  for (const RecoveryBlock& block : blocks) {
    const OpenFile file(block.path);
    unsigned char length[8];
    const bool read =
        file.descriptor >= 0 && pread(file.descriptor, length, 8, block.packetOffset + 8) == 8;
    lengths.push_back(read ? static_cast<std::int64_t>(GetLittle(length, 8)) : 0);
    total += lengths.back();
  }
  std::vector<std::uint32_t> intact;
  std::int64_t done = 0;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const OpenFile file(blocks[i].path);
    Md5 expected{};
    if (file.descriptor < 0 || lengths[i] < kRecoveryDataOffset ||
        pread(file.descriptor, expected.data(), expected.size(), blocks[i].packetOffset + 16) !=
            16) {
      continue;
    }
    Md5Hash hash;
    const auto hashed = HashRange(file.descriptor, blocks[i].packetOffset + kHashedFrom,
                                  lengths[i] - kHashedFrom, hash, done, total, progress);
    if (!hashed) return intact;
    if (*hashed && hash.Finish() == expected) intact.push_back(blocks[i].exponent);
  }
  return intact;
}

std::optional<std::vector<int>> Damaged(const Description& description,
                                        const std::vector<std::string>& paths,
                                        const Progress& progress) {
  std::int64_t total = 0;
  for (const InputFile& file : description.files) total += file.length;
  std::vector<int> damaged;
  std::int64_t done = 0;
  for (std::size_t i = 0; i < description.files.size(); ++i) {
    const InputFile& file = description.files[i];
    const OpenFile opened(i < paths.size() ? paths[i] : std::string());
    struct stat status {};
    if (opened.descriptor < 0 || fstat(opened.descriptor, &status) != 0 ||
        status.st_size != file.length) {
      damaged.push_back(static_cast<int>(i));
      done += file.length;
      continue;
    }
    Md5Hash hash;
    const auto hashed = HashRange(opened.descriptor, 0, file.length, hash, done, total, progress);
    if (!hashed) return std::nullopt;
    if (!*hashed || hash.Finish() != file.md5) damaged.push_back(static_cast<int>(i));
  }
  return damaged;
}

}  // namespace control::par2
