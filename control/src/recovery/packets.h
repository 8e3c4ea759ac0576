#pragma once

// The packets of a PAR 2.0 file: a 64-byte header (magic, length, the MD5
// of everything after the hash, set ID, type) and a body, all in
// little-endian integers and 4-byte units.

#include "par2.h"

#include <cstdint>
#include <string>
#include <vector>

namespace control::par2 {

using Bytes = std::vector<unsigned char>;
using PacketType = std::array<unsigned char, 16>;

inline constexpr std::int64_t kHeaderBytes = 64;
inline constexpr std::int64_t kHashedFrom = 32;  // the packet hash covers the bytes from here
inline constexpr std::array<unsigned char, 8> kMagic = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
// The bytes of a file that its head MD5 covers.
inline constexpr std::int64_t kHeadBytes = 16 * 1024;

PacketType TypeOf(const char (&name)[17]);
inline const PacketType kMainType = TypeOf("PAR 2.0\0Main\0\0\0\0");
inline const PacketType kFileType = TypeOf("PAR 2.0\0FileDesc");
inline const PacketType kChecksumsType = TypeOf("PAR 2.0\0IFSC\0\0\0\0");
inline const PacketType kRecoveryType = TypeOf("PAR 2.0\0RecvSlic");
inline const PacketType kCreatorType = TypeOf("PAR 2.0\0Creator\0");

// The recovery slice packet's bytes before its data: header and exponent.
inline constexpr std::int64_t kRecoveryDataOffset = kHeaderBytes + 4;

void PutLittle(Bytes& bytes, std::uint64_t value, int width);
std::uint64_t GetLittle(const unsigned char* bytes, int width);

// Whether File ID `a` comes before `b` in the main packet: IDs compared as
// 16-byte little-endian unsigned integers.
bool ComesBefore(const Md5& a, const Md5& b);

// The File ID of a file with that head MD5, length and stored name.
Md5 FileIdOf(const Md5& md5Head, std::int64_t length, const std::string& name);

// The main packet's body for `files` (in main-packet order) and its set ID.
Bytes MainBody(std::int64_t sliceSize, const std::vector<InputFile>& files);

// A whole packet: header, then `body` padded with zeros to 4 bytes.
Bytes MakePacket(const Md5& setId, const PacketType& type, const Bytes& body);

// The header of a recovery slice packet of `sliceSize` bytes whose bytes
// after its exponent hash, from byte 32 on, to `hash`.
Bytes RecoveryHeader(const Md5& setId, std::uint32_t exponent, std::int64_t sliceSize,
                     const Md5& hash);

// The packets every file of a set holds: main, a description and slice
// checksums per file, then a creator packet naming `creator`.
Bytes CriticalPackets(const Description& description, const std::string& creator);

// The slices of a file of `length` bytes.
std::int64_t SliceCount(std::int64_t length, std::int64_t sliceSize);

// A file open for reading, closed when this goes; descriptor -1 when it
// could not be opened (errno tells why).
struct OpenFile {
  int descriptor = -1;
  explicit OpenFile(const std::string& path);
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
};

// Reads up to `count` bytes at `offset`: how many, fewer only where the
// file ends, or -1 with errno set.
std::int64_t ReadAt(int descriptor, unsigned char* bytes, std::int64_t count, std::int64_t offset);

// A system error message for `error` (errno), or `otherwise` when it is 0.
std::string ErrorText(int error, const char* otherwise);

}  // namespace control::par2
