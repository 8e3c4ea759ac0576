#include "packets.h"

#include "../crypto.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace control::par2 {

PacketType TypeOf(const char (&name)[17]) {
  PacketType type{};
  std::memcpy(type.data(), name, type.size());
  return type;
}

void PutLittle(Bytes& bytes, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::uint64_t GetLittle(const unsigned char* bytes, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

bool ComesBefore(const Md5& a, const Md5& b) {
  return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
}

Md5 FileIdOf(const Md5& md5Head, std::int64_t length, const std::string& name) {
  Bytes bytes(md5Head.begin(), md5Head.end());
  PutLittle(bytes, static_cast<std::uint64_t>(length), 8);
  bytes.insert(bytes.end(), name.begin(), name.end());
  return Md5Of(bytes.data(), bytes.size());
}

Bytes MainBody(std::int64_t sliceSize, const std::vector<InputFile>& files) {
  Bytes body;
  PutLittle(body, static_cast<std::uint64_t>(sliceSize), 8);
  PutLittle(body, files.size(), 4);
  for (const InputFile& file : files) body.insert(body.end(), file.id.begin(), file.id.end());
  return body;
}

Bytes MakePacket(const Md5& setId, const PacketType& type, const Bytes& body) {
  const std::size_t padded = (body.size() + 3) / 4 * 4;
  Bytes packet(kMagic.begin(), kMagic.end());
  PutLittle(packet, static_cast<std::uint64_t>(kHeaderBytes) + padded, 8);
  packet.resize(kHashedFrom);
  packet.insert(packet.end(), setId.begin(), setId.end());
  packet.insert(packet.end(), type.begin(), type.end());
  packet.insert(packet.end(), body.begin(), body.end());
  packet.resize(static_cast<std::size_t>(kHeaderBytes) + padded, 0);
  const Md5 hash = Md5Of(packet.data() + kHashedFrom, packet.size() - kHashedFrom);
  std::copy(hash.begin(), hash.end(), packet.begin() + 16);
  return packet;
}

Bytes RecoveryHeader(const Md5& setId, std::uint32_t exponent, std::int64_t sliceSize,
                     const Md5& hash) {
  Bytes header(kMagic.begin(), kMagic.end());
  PutLittle(header, static_cast<std::uint64_t>(kRecoveryDataOffset + sliceSize), 8);
  header.insert(header.end(), hash.begin(), hash.end());
  header.insert(header.end(), setId.begin(), setId.end());
  header.insert(header.end(), kRecoveryType.begin(), kRecoveryType.end());
  PutLittle(header, exponent, 4);
  return header;
}

Bytes CriticalPackets(const Description& description, const std::string& creator) {
  const Md5& setId = description.setId;
  Bytes all = MakePacket(setId, kMainType, MainBody(description.sliceSize, description.files));
  const auto append = [&all](const Bytes& packet) {
    all.insert(all.end(), packet.begin(), packet.end());
  };
  for (const InputFile& file : description.files) {
    Bytes body(file.id.begin(), file.id.end());
    body.insert(body.end(), file.md5.begin(), file.md5.end());
    body.insert(body.end(), file.md5Head.begin(), file.md5Head.end());
    PutLittle(body, static_cast<std::uint64_t>(file.length), 8);
    body.insert(body.end(), file.name.begin(), file.name.end());
    append(MakePacket(setId, kFileType, body));
  }
  for (const InputFile& file : description.files) {
    Bytes body(file.id.begin(), file.id.end());
    for (const auto& [md5, crc] : file.slices) {
      body.insert(body.end(), md5.begin(), md5.end());
      PutLittle(body, crc, 4);
    }
    append(MakePacket(setId, kChecksumsType, body));
  }
  append(MakePacket(setId, kCreatorType, Bytes(creator.begin(), creator.end())));
  return all;
}

std::int64_t SliceCount(std::int64_t length, std::int64_t sliceSize) {
  if (sliceSize <= 0 || length <= 0) return 0;
  return length / sliceSize + (length % sliceSize != 0 ? 1 : 0);  // no overflow near the top
}

OpenFile::OpenFile(const std::string& path) : descriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

OpenFile::~OpenFile() {
  if (descriptor >= 0) close(descriptor);
}

std::int64_t ReadAt(int descriptor, unsigned char* bytes, std::int64_t count, std::int64_t offset) {
  std::int64_t got = 0;
  while (got < count) {
    const ssize_t part =
        pread(descriptor, bytes + got, static_cast<std::size_t>(count - got), offset + got);
    if (part < 0 && errno == EINTR) continue;
    if (part < 0) return -1;
    if (part == 0) break;
    got += part;
  }
  return got;
}

std::string ErrorText(int error, const char* otherwise) {
  return error != 0 ? std::strerror(error) : otherwise;
}

std::int64_t SliceSizeFor(std::int64_t partSize) {
  return std::max<std::int64_t>(4, (partSize + 3) / 4 * 4);
}

std::vector<VolumeName> FileNames(const std::string& baseName, int recoveryCount) {
  std::vector<VolumeName> names{{baseName + ".par2", 0, 0}};
  std::uint32_t largest = 0;
  const auto total = static_cast<std::uint32_t>(std::max(recoveryCount, 0));
  for (std::uint32_t first = 0, count = 1; first < total; first += count, count *= 2) {
    const std::uint32_t held = std::min(count, total - first);
    names.push_back({{}, first, held});
    largest = std::max(largest, held);
  }
  // Numbers as wide as the largest of their kind: the exponents as the
  // count of all, the counts as the largest volume's.
  const auto padded = [](std::uint32_t value, std::uint32_t widest) {
    std::string text = std::to_string(value);
    const std::size_t width = std::to_string(widest).size();
    return std::string(width > text.size() ? width - text.size() : 0, '0') + text;
  };
  for (std::size_t i = 1; i < names.size(); ++i) {
    names[i].name = baseName + ".vol" + padded(names[i].firstExponent, total) + "+" +
                    padded(names[i].count, largest) + ".par2";
  }
  return names;
}

bool IsFileNameOf(const std::string& baseName, const std::string& name) {
  if (name == baseName + ".par2") return true;
  const std::string head = baseName + ".vol";
  const std::string tail = ".par2";
  if (name.size() < head.size() + tail.size() + 3 || name.compare(0, head.size(), head) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  const std::string middle = name.substr(head.size(), name.size() - head.size() - tail.size());
  const std::size_t plus = middle.find('+');
  const auto digits = [](const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return plus != std::string::npos && digits(middle.substr(0, plus)) &&
         digits(middle.substr(plus + 1));
}

}  // namespace control::par2
