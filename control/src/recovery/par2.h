#pragma once

// Recovery data for a fragment set in the PAR 2.0 format, so that any PAR2
// tool can check and repair the set and the set can heal from it here.
//
// The set protected is a list of input files (the fragments). The files
// this code writes hold one slice per fragment: the slice size is the part
// size rounded up to a multiple of 4, so k recovery slices rebuild any k
// fragments. Files written by other tools may cut a fragment into several
// slices; reading and rebuilding handle any slice size.
//
// Memory stays bounded whatever the sizes: the work goes in stripes, a range
// of offsets within every slice at a time, each stripe at most kStripeBytes
// per buffer held.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace control::par2 {

using Md5 = std::array<unsigned char, 16>;

// The bytes one buffer of a stripe holds at most. A pass holds about
// (recovery slices in use + 2) such buffers.
inline constexpr std::int64_t kStripeBytes = std::int64_t{8} << 20;

// The largest number of input slices and of recovery slices a set can have.
inline constexpr int kLargestSliceCount = 32768;

// One input file of a recovery set, as its description packets give it.
struct InputFile {
  std::string name;  // the bytes stored: the fragment's file name, no folder
  std::int64_t length = 0;
  Md5 id{};      // its File ID
  Md5 md5{};     // of the whole file
  Md5 md5Head{}; // of its first 16 KiB
  // The MD5 and CRC32 of each of its slices, the last padded with zeros.
  std::vector<std::pair<Md5, std::uint32_t>> slices;
};

// What the packets of one recovery set describe.
struct Description {
  Md5 setId{};
  std::int64_t sliceSize = 0;
  // In the order of the main packet, which gives the slices their constants.
  std::vector<InputFile> files;
};

// A recovery slice found in a file, not yet checked: its packet's hash is
// checked as its data is read.
struct RecoveryBlock {
  std::string path;             // the file that holds it
  std::uint32_t exponent = 0;
  std::int64_t packetOffset = 0;  // where its packet starts in that file
  std::int64_t dataOffset = 0;    // where its recovery data starts
};

// The packets found in a set of PAR2 files. Packets whose hash does not
// match, of an unknown type or of another set than the main packet's are
// skipped. `description` is there when a main packet, and a description and
// slice checksums for each file it names, were found.
struct Found {
  std::optional<Description> description;
  std::vector<RecoveryBlock> blocks;  // one per exponent, the first found
  std::vector<std::string> unreadable;  // files that could not be read, with why
};
Found Read(const std::vector<std::string>& paths);

// The names of the PAR2 files of a set called `baseName` ("film.avi") with
// `recoveryCount` recovery slices, as par2cmdline names them: the index
// "film.avi.par2" first, then "film.avi.vol0+1.par2", "film.avi.vol1+2.par2",
// ... (counts 1, 2, 4, ..., the last holding what is left; numbers written
// with the same count of digits). Each volume with the exponents it holds.
struct VolumeName {
  std::string name;
  std::uint32_t firstExponent = 0;
  std::uint32_t count = 0;  // 0 for the index
};
std::vector<VolumeName> FileNames(const std::string& baseName, int recoveryCount);

// Whether `name` in a folder could be one of the PAR2 files of the set
// called `baseName`: the index or any "baseName.volA+B.par2".
bool IsFileNameOf(const std::string& baseName, const std::string& name);

// Reads `count` bytes of file `index` (in the order of the list given, not
// of the main packet) from `offset` into `buffer`. Returns false, with errno
// set, when that fails or the file ends first.
using Reader = std::function<bool(int index, std::int64_t offset, unsigned char* buffer,
                                  std::int64_t count)>;
// Writes `count` bytes at `offset` of file `index`; false with errno set.
using Writer = std::function<bool(int index, std::int64_t offset, const unsigned char* buffer,
                                  std::int64_t count)>;
// Told the bytes done of the pass under way and its total, between any two
// stripes; returning true stops the pass, which then returns at once.
using Progress = std::function<bool(std::int64_t done, std::int64_t total)>;

// How a pass ended: done, or why not in words for the person.
struct Result {
  bool done = false;
  bool stopped = false;  // the progress function asked to stop
  std::string reason;
  // The exponents of recovery slices found damaged while rebuilding; the
  // rebuild left them out and tried again when enough others remained.
  std::vector<std::uint32_t> damagedBlocks;
};

// The files of a set to protect, in the set's order, with their lengths, and
// the slice size: a multiple of 4 no shorter than the longest file. Files of
// no bytes are left out of the recovery set written (other PAR2 tools take
// an empty file that a set names for a damaged one).
struct SetToProtect {
  std::vector<std::string> names;  // file names as stored, no folder
  std::vector<std::int64_t> lengths;
  std::int64_t sliceSize = 0;
  int recoveryCount = 0;  // 1 to the number of files, at most kLargestSliceCount
};

// The slice size for a set whose largest fragment has `partSize` bytes.
std::int64_t SliceSizeFor(std::int64_t partSize);

// Reads the files through `read` and writes the index to `index` and each
// volume of FileNames(...) after the index to `volumes[i]` (descriptors open
// for writing, empty, in that order). Nothing is flushed or renamed: that is
// the caller's. `creator` names this program in the creator packet.
Result Write(const SetToProtect& set, const std::string& creator, int index,
             const std::vector<int>& volumes, const Reader& read, const Progress& progress);

// Rebuilds the files `lost` (indices in description.files) from the others,
// read through `read` (index in description.files), and the recovery slices
// `blocks`, writing their bytes through `write` (index in description.files,
// exactly `length` bytes each, unpadded). Each rebuilt file is checked
// before this returns done: each of its slices against the slice's MD5, and
// a file of one slice against its own MD5. The bytes are written as they
// are rebuilt: when this does not return done, what it wrote is to be thrown
// away. Refused, saying how many slices are lost and how many recovery
// slices are usable, when there are fewer recovery slices than lost slices.
Result Rebuild(const Description& description, const std::vector<RecoveryBlock>& blocks,
               const std::vector<int>& lost, const Reader& read, const Writer& write,
               const Progress& progress);

// Checks each recovery slice's packet hash by reading it whole; the
// exponents of those that are intact.
std::vector<std::uint32_t> IntactBlocks(const std::vector<RecoveryBlock>& blocks,
                                        const Progress& progress);

// The files of `description` that are not as it says, in its order: those
// missing at paths[i] (in description.files order), of another length, or
// with another MD5. Each file is read once. Nothing when the progress
// function stopped the pass.
std::optional<std::vector<int>> Damaged(const Description& description,
                                        const std::vector<std::string>& paths,
                                        const Progress& progress);

}  // namespace control::par2
