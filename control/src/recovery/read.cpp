// Read: the packets found in a set's PAR2 files.

#include "../crypto.h"
#include "packets.h"
#include "par2.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>

namespace control::par2 {

namespace {

// Packets other than recovery slices larger than this are taken for damage.
constexpr std::int64_t kLargestPacket = std::int64_t{64} << 20;
constexpr std::int64_t kScanBytes = std::int64_t{1} << 20;


// The packets of every file, by set.
struct Packets {
  std::vector<Bytes> mains;               // whole packets, in the order found
  std::map<Md5, Bytes> files, checksums;  // by set ID and file ID: the first found
  struct Block {
    Md5 setId;
    std::int64_t length;
    RecoveryBlock block;
  };
  std::vector<Block> blocks;
};

Md5 Field(const unsigned char* bytes) {
  Md5 value{};
  std::memcpy(value.data(), bytes, value.size());
  return value;
}

// The key of a packet about one file: its set ID and its file ID.
Md5 FileKey(const Md5& setId, const unsigned char* fileId) {
  Md5 key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = setId[i] ^ fileId[i];
  return key;
}

// Takes in the packet at `offset` when its hash matches; its length, or 0
// when it is no packet there.
std::int64_t TakePacket(int descriptor, const std::string& path, std::int64_t offset,
                        std::int64_t size, Packets& packets) {
  unsigned char header[kHeaderBytes];
  if (ReadAt(descriptor, header, kHeaderBytes, offset) != kHeaderBytes) return 0;
  const auto length = static_cast<std::int64_t>(GetLittle(header + 8, 8));
  if (length < kHeaderBytes || length % 4 != 0 || length > size - offset) return 0;
  const Md5 setId = Field(header + kHashedFrom);
  const PacketType type = Field(header + 48);
  if (type == kRecoveryType) {
    if (length < kRecoveryDataOffset) return 0;
    unsigned char exponent[4];
    if (ReadAt(descriptor, exponent, 4, offset + kHeaderBytes) != 4) return 0;
    packets.blocks.push_back({setId,
                              length,
                              {path, static_cast<std::uint32_t>(GetLittle(exponent, 4)), offset,
                               offset + kRecoveryDataOffset}});
    return length;  // its hash is checked as its data is read
  }
  if (length > kLargestPacket) return 0;
  Bytes packet(static_cast<std::size_t>(length));
  if (ReadAt(descriptor, packet.data(), length, offset) != length) return 0;
  if (Md5Of(packet.data() + kHashedFrom, packet.size() - kHashedFrom) != Field(header + 16))
    return 0;
  const unsigned char* body = packet.data() + kHeaderBytes;
  const std::int64_t bodyBytes = length - kHeaderBytes;
  if (type == kMainType && bodyBytes >= 12) {
    packets.mains.push_back(std::move(packet));
  } else if (type == kFileType && bodyBytes >= 56) {
    packets.files.emplace(FileKey(setId, body), std::move(packet));
  } else if (type == kChecksumsType && bodyBytes >= 16) {
    packets.checksums.emplace(FileKey(setId, body), std::move(packet));
  }
  return length;
}

// Finds the packets of one file, looking for the next packet's magic
// wherever damage left bytes that are none.
void Scan(const std::string& path, Packets& packets, std::vector<std::string>& unreadable) {
  const OpenFile file(path);
  struct stat status {};
  if (file.descriptor < 0 || fstat(file.descriptor, &status) != 0) {
    unreadable.push_back(path + " could not be read (" + std::strerror(errno) + ")");
    return;
  }
  const std::int64_t size = status.st_size;
  Bytes window(static_cast<std::size_t>(kScanBytes));
  std::int64_t offset = 0;
  while (offset + kHeaderBytes <= size) {
    const std::int64_t got = ReadAt(file.descriptor, window.data(), kScanBytes, offset);
    if (got < 0) {
      unreadable.push_back(path + " could not be read (" + std::strerror(errno) + ")");
      return;
    }
    const auto end = window.begin() + got;
    const auto found = std::search(window.begin(), end, kMagic.begin(), kMagic.end());
    if (found == end) {
      offset += std::max<std::int64_t>(got - static_cast<std::int64_t>(kMagic.size()) + 1, 1);
      continue;
    }
    const std::int64_t at = offset + (found - window.begin());
    const std::int64_t length = TakePacket(file.descriptor, path, at, size, packets);
    offset = length > 0 ? at + length : at + 1;
  }
}

// The description of the set of `main` (a whole packet), when a
// description and slice checksums of each of its files were found.
std::optional<Description> Describe(const Bytes& main, const Packets& packets) {
  Description description;
  description.setId = Field(main.data() + kHashedFrom);
  const unsigned char* body = main.data() + kHeaderBytes;
  description.sliceSize = static_cast<std::int64_t>(GetLittle(body, 8));
  const auto count = GetLittle(body + 8, 4);
  // Slices no longer than lets the whole set's bytes be counted in 64 bits.
  constexpr std::int64_t kLargestSliceSize = INT64_MAX / kLargestSliceCount;
  if (description.sliceSize <= 0 || description.sliceSize % 4 != 0 ||
      description.sliceSize > kLargestSliceSize || count > static_cast<std::uint64_t>(kLargestSliceCount) ||
      12 + count * 16 > main.size() - kHeaderBytes) {
    return std::nullopt;
  }
  std::int64_t totalSlices = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    const unsigned char* id = body + 12 + i * 16;
    const auto file = packets.files.find(FileKey(description.setId, id));
    const auto sums = packets.checksums.find(FileKey(description.setId, id));
    if (file == packets.files.end() || sums == packets.checksums.end()) return std::nullopt;
    InputFile input;
    const unsigned char* fields = file->second.data() + kHeaderBytes;
    input.id = Field(id);
    input.md5 = Field(fields + 16);
    input.md5Head = Field(fields + 32);
    input.length = static_cast<std::int64_t>(GetLittle(fields + 48, 8));
    const auto nameEnd = file->second.end();
    const auto nameStart = file->second.begin() + kHeaderBytes + 56;
    input.name.assign(nameStart, std::find(nameStart, nameEnd, '\0'));
    if (input.length < 0) return std::nullopt;
    const std::int64_t slices = SliceCount(input.length, description.sliceSize);
    // A set has at most kLargestSliceCount input slices in all.
    totalSlices += slices;
    if (totalSlices > kLargestSliceCount ||
        static_cast<std::int64_t>(sums->second.size()) < kHeaderBytes + 16 + slices * 20) {
      return std::nullopt;
    }
    for (std::int64_t s = 0; s < slices; ++s) {
      const unsigned char* entry = sums->second.data() + kHeaderBytes + 16 + s * 20;
      input.slices.push_back({Field(entry), static_cast<std::uint32_t>(GetLittle(entry + 16, 4))});
    }
    description.files.push_back(std::move(input));
  }
  return description;
}

}  // namespace

Found Read(const std::vector<std::string>& paths) {
  Found found;
  Packets packets;
  for (const std::string& path : paths) Scan(path, packets, found.unreadable);
  for (const Bytes& main : packets.mains) {
    const Md5 setId = Field(main.data() + kHashedFrom);
    if (Md5Of(main.data() + kHeaderBytes, main.size() - kHeaderBytes) != setId) continue;
    found.description = Describe(main, packets);
    if (!found.description) continue;
    std::set<std::uint32_t> exponents;
    const std::int64_t length = kRecoveryDataOffset + found.description->sliceSize;
    for (const Packets::Block& block : packets.blocks) {
      if (block.setId == setId && block.length == length &&
          exponents.insert(block.block.exponent).second) {
        found.blocks.push_back(block.block);
      }
    }
    break;
  }
  return found;
}

}  // namespace control::par2
