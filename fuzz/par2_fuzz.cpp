// The PAR2 reader on recovery files that anyone may have made: packets
// with valid hashes (so that fuzzing reaches past the hash check) but any
// bodies, among raw bytes. What the reader accepts must be a description the
// rebuild can trust: slices of the stated size, each file's slice count what
// its length needs, recovery slices inside the file. A rebuild from it, with
// every file lost or with fragments of zeros, ends done or with a reason;
// nothing crashes, nothing reads or writes outside the lengths given.
#include "fuzz_check.h"

#include "crypto.h"
#include "recovery/packets.h"
#include "recovery/par2.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace control::par2;
using control::Md5Of;

// Records of the input: a type byte, a 2-byte body length, the body. Type
// 0 to 4 are made into packets of that kind (main, file description, slice
// checksums, recovery slice, creator) under the set ID of the first main
// body; anything else is written as raw bytes.
Bytes PacketsOf(const std::uint8_t* data, std::size_t size) {
  const PacketType types[] = {kMainType, kFileType, kChecksumsType, kRecoveryType, kCreatorType};
  Bytes file;
  Md5 setId{};
  bool haveSet = false;
  while (size >= 3) {
    const unsigned kind = data[0];
    const std::size_t length = std::min<std::size_t>(data[1] | (std::size_t{data[2]} << 8), size - 3);
    const Bytes body(data + 3, data + 3 + length);
    data += 3 + length;
    size -= 3 + length;
    if (kind >= std::size(types)) {
      file.insert(file.end(), body.begin(), body.end());
      continue;
    }
    if (kind == 0 && !haveSet) {
      setId = Md5Of(body.data(), body.size());
      haveSet = true;
    }
    const Bytes packet = MakePacket(setId, types[kind], body);
    file.insert(file.end(), packet.begin(), packet.end());
  }
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    char name[] = "/tmp/par2_fuzz.XXXXXX";
    Require(mkdtemp(name) != nullptr, "a folder for the files");
    return std::string(name);
  }();
  const std::string path = folder + "/set.par2";
  const Bytes bytes = PacketsOf(data, size);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  const Found found = Read({path});
  if (!found.description) return 0;
  const Description& description = *found.description;
  Require(description.sliceSize > 0 && description.sliceSize % 4 == 0, "slices of a multiple of 4 bytes");
  for (const RecoveryBlock& block : found.blocks) {
    Require(block.packetOffset >= 0 && block.dataOffset > block.packetOffset &&
                block.dataOffset + description.sliceSize <= static_cast<std::int64_t>(bytes.size()),
            "recovery slices inside their file");
  }
  std::int64_t total = 0, slices = 0;
  for (const InputFile& file : description.files) {
    slices += static_cast<std::int64_t>(file.slices.size());
    Require(slices <= kLargestSliceCount, "at most the slices a set can have");
    Require(file.length >= 0 && static_cast<std::int64_t>(file.slices.size()) ==
                                    SliceCount(file.length, description.sliceSize),
            "each file's slice count what its length needs");
    total += file.length;
  }
  // Rebuilding reads every slice: only sets small enough to go through fast.
  if (total > (1 << 20) || description.sliceSize > (1 << 20) || description.files.empty()) return 0;
  IntactBlocks(found.blocks, {});
  std::vector<int> lost(description.files.size());
  for (std::size_t i = 0; i < lost.size(); ++i) lost[i] = static_cast<int>(i);
  for (const bool everyFile : {true, false}) {
    const std::vector<int> rebuilt = everyFile ? lost : std::vector<int>{0};
    const Result result = Rebuild(
        description, found.blocks, rebuilt,
        [&](int index, std::int64_t offset, unsigned char* buffer, std::int64_t count) {
          const InputFile& file = description.files.at(static_cast<std::size_t>(index));
          Require(offset >= 0 && count >= 0 && offset + count <= file.length, "reads within the file");
          std::memset(buffer, 0, static_cast<std::size_t>(count));
          return true;
        },
        [&](int index, std::int64_t offset, const unsigned char*, std::int64_t count) {
          const InputFile& file = description.files.at(static_cast<std::size_t>(index));
          Require(offset >= 0 && count >= 0 && offset + count <= file.length, "writes within the file");
          return true;
        },
        {});
    Require(result.done || !result.reason.empty(), "a rebuild that fails says why");
  }
  return 0;
}
