#include <control/size_presets.h>

#include <platform/runtime_error.h>

#include <algorithm>
#include <array>
#include <limits>

namespace control {
namespace {

// The largest file FAT32 can hold, and the most one ISO 9660 extent records:
// their lengths are 32-bit.
constexpr std::int64_t kLargest32BitFile = 0xFFFFFFFF;
constexpr std::int64_t kNoFileLimit = std::numeric_limits<std::int64_t>::max();

// Discs are written in sectors of 2048 bytes. A single-session disc with a
// set's few files needs far less than 4 MiB for its file system: the system
// area, volume descriptors, path tables and directories of ISO 9660 (with
// Joliet), or the anchors, partition, file set and metadata of UDF.
constexpr std::int64_t kSectorSize = 2048;
constexpr std::int64_t kFileSystemReserve = 4 * 1024 * 1024;

// What a disc of `capacity` bytes holds in one file no longer than
// `largestFile`, in whole sectors.
constexpr std::int64_t DiscLimit(std::int64_t capacity, std::int64_t largestFile) {
  return std::min(capacity - kFileSystemReserve, largestFile) / kSectorSize * kSectorSize;
}

// A part sent by mail travels in base64, 3 bytes as 4 characters, in lines of
// 76 characters each ended by CRLF; the message's own headers, the
// attachment's MIME headers and boundaries get 64 KiB.
constexpr std::int64_t kMessageLimit = 25'000'000;
constexpr std::int64_t kHeaderReserve = 64 * 1024;
constexpr std::int64_t kLineCharacters = 76;
constexpr std::int64_t kLineBytes = kLineCharacters / 4 * 3;
constexpr std::int64_t kEncodedLine = kLineCharacters + 2;

// The bytes `length` bytes of attachment take in the message.
constexpr std::int64_t EncodedLength(std::int64_t length) {
  const std::int64_t characters = (length + 2) / 3 * 4;
  const std::int64_t lines = (characters + kLineCharacters - 1) / kLineCharacters;
  return characters + 2 * lines;
}

// The largest attachment whose encoding fits in `room` bytes. An attachment
// takes at least kEncodedLine / kLineBytes bytes a byte, so none above
// `room` * kLineBytes / kEncodedLine fits; the search starts there.
constexpr std::int64_t LargestAttachment(std::int64_t room) {
  std::int64_t length = room * kLineBytes / kEncodedLine;
  while (EncodedLength(length) > room) --length;
  return length;
}

struct Preset {
  std::string_view name;
  std::int64_t limit;
};

constexpr std::array<Preset, 6> kPresets = {{
    {"FAT32", kLargest32BitFile},
    // 80-minute CD, 360,000 sectors.
    {"CD", DiscLimit(737'280'000, kLargest32BitFile)},
    // ISO 9660 is read by every system; it caps a file at 4 GiB - 1 bytes,
    // so a part also fits on FAT32.
    {"DVD", DiscLimit(4'700'372'992, kLargest32BitFile)},
    {"DVD DL", DiscLimit(8'543'666'176, kNoFileLimit)},
    // A 25 GB single-layer disc, without spare areas.
    {"BD", DiscLimit(25'025'314'816, kNoFileLimit)},
    {"mail", LargestAttachment(kMessageLimit - kHeaderReserve)},
}};

}  // namespace

std::int64_t PresetLimit(std::string_view name) {
  for (const Preset& preset : kPresets) {
    if (preset.name == name) return preset.limit;
  }
  throw platform::RuntimeError(platform::ErrorNumber::InvalidProcedureCall);
}

}  // namespace control
