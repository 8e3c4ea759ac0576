// Write: the recovery slices of a set and the packets describing it.

#include "../crypto.h"
#include "gf16.h"
#include "packets.h"
#include "par2.h"
#include "worker.h"

#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

namespace control::par2 {

namespace {

// A file of the set while its slice is hashed.
struct FileWork {
  InputFile file;
  int index = 0;  // in the set's order
  std::uint16_t constant = 0;
  Md5Hash hash;  // its bytes, then the zeros that pad its slice
  std::uint32_t crc = 0;
};

// Writes all `count` bytes at `offset`; false with errno set when that fails.
bool WriteAt(int descriptor, const unsigned char* bytes, std::int64_t count, std::int64_t offset) {
  while (count > 0) {
    const ssize_t wrote = pwrite(descriptor, bytes, static_cast<std::size_t>(count), offset);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      if (wrote == 0) errno = ENOSPC;
      return false;
    }
    bytes += wrote;
    count -= wrote;
    offset += wrote;
  }
  return true;
}

Result Failed(std::string reason) { return Result{false, false, std::move(reason), {}}; }

std::string ReadFailure(const std::string& name) {
  return name + " could not be read (" + ErrorText(errno, "it ends early") + ")";
}

std::string WriteFailure() {
  return std::string("the recovery data could not be written (") +
         ErrorText(errno, "the disk is full") + ")";
}

// Why `set` cannot be protected as given; empty when it can.
std::string Refusal(const SetToProtect& set, std::size_t volumes) {
  const auto files = static_cast<int>(set.names.size());
  if (files == 0 || set.lengths.size() != set.names.size()) return "the set has no fragments";
  if (files > kLargestSliceCount) return "the set has more fragments than recovery data covers";
  if (set.recoveryCount < 1 || set.recoveryCount > std::min(files, kLargestSliceCount)) {
    return "the count of recovery slices must be 1 to the count of fragments";
  }
  const std::int64_t longest = *std::max_element(set.lengths.begin(), set.lengths.end());
  if (longest <= 0) return "the fragments hold no bytes to protect";
  if (set.sliceSize < longest || set.sliceSize % 4 != 0 || set.sliceSize <= 0) {
    return "the slice size must be a multiple of 4 no shorter than the longest fragment";
  }
  if (volumes != FileNames("", set.recoveryCount).size() - 1) {
    return "the recovery files given are not as many as the recovery data needs";
  }
  return {};
}

// Hashes the head of every file and gives the files in main-packet order,
// each with its ID and constant; false, with `reason`, when a read failed.
// Files of no bytes are left out, as other tools leave them out: they take
// an empty file that a set describes for a damaged one.
bool DescribeHeads(const SetToProtect& set, const Reader& read, std::vector<FileWork>& files,
                   std::string& reason) {
  std::vector<unsigned char> head(kHeadBytes);
  for (std::size_t i = 0; i < set.names.size(); ++i) {
    if (set.lengths[i] == 0) continue;
    FileWork work;
    work.file.name = set.names[i];
    work.file.length = set.lengths[i];
    work.index = static_cast<int>(i);
    const std::int64_t count = std::min(work.file.length, kHeadBytes);
    errno = 0;
    if (count > 0 && !read(work.index, 0, head.data(), count)) {
      reason = ReadFailure(work.file.name);
      return false;
    }
    work.file.md5Head = Md5Of(head.data(), static_cast<std::size_t>(count));
    work.file.id = FileIdOf(work.file.md5Head, work.file.length, work.file.name);
    files.push_back(std::move(work));
  }
  std::stable_sort(files.begin(), files.end(), [](const FileWork& a, const FileWork& b) {
    return ComesBefore(a.file.id, b.file.id);
  });
  for (std::size_t slice = 0; slice < files.size(); ++slice) {
    files[slice].constant = InputConstant(static_cast<int>(slice));
  }
  return true;
}

// Fragment stripes read ahead: the reading and the field arithmetic go on
// while the hashes of earlier stripes run on both cores.
constexpr int kRing = 4;
// Stripes this small keep every buffer of a pass in the processor's cache
// from the read through the hashes and the field arithmetic: measured, a
// split with recovery data takes a fifth less time than with 8 MiB stripes.
constexpr std::int64_t kWriteStripeBytes = std::int64_t{1} << 20;

// The recovery slices being computed: where each goes and its packet hash.
struct Output {
  int descriptor = -1;
  std::int64_t packetOffset = 0;
  std::uint32_t exponent = 0;
  Md5Hash hash;  // of the packet from its set ID on
  Buffer sum;
};

std::vector<Output> PlaceOutputs(const SetToProtect& set, const std::vector<int>& volumes,
                                 const Md5& setId, std::int64_t stripe) {
  std::vector<Output> outputs;
  const auto names = FileNames("", set.recoveryCount);
  for (std::size_t v = 1; v < names.size(); ++v) {
    for (std::uint32_t j = 0; j < names[v].count; ++j) {
      Output output;
      output.descriptor = volumes[v - 1];
      output.packetOffset = j * (kRecoveryDataOffset + set.sliceSize);
      output.exponent = names[v].firstExponent + j;
      const Bytes header = RecoveryHeader(setId, output.exponent, set.sliceSize, Md5{});
      output.hash.Add(header.data() + kHashedFrom, header.size() - kHashedFrom);
      output.sum = MakeBuffer(stripe);
      outputs.push_back(std::move(output));
    }
  }
  return outputs;
}

// Hashes one stripe of a file's slice: `have` bytes of the file, then zeros
// to `count`, where the file ends when `ends`.
void HashPiece(FileWork& work, const unsigned char* bytes, std::int64_t have, std::int64_t count,
               bool ends) {
  work.hash.Add(bytes, static_cast<std::size_t>(have));
  if (ends) work.file.md5 = work.hash.Peek();
  work.hash.Add(bytes + have, static_cast<std::size_t>(count - have));
  work.crc = static_cast<std::uint32_t>(crc32_z(work.crc, bytes, static_cast<std::size_t>(count)));
}

// Writes the packets that describe the set after the recovery slices of
// each volume and into the index, then each recovery slice's header.
bool WritePackets(const SetToProtect& set, const Description& description,
                  const std::string& creator, int index, const std::vector<int>& volumes,
                  std::vector<Output>& outputs) {
  const Bytes packets = CriticalPackets(description, creator);
  if (!WriteAt(index, packets.data(), static_cast<std::int64_t>(packets.size()), 0)) return false;
  const auto names = FileNames("", set.recoveryCount);
  for (std::size_t v = 1; v < names.size(); ++v) {
    const std::int64_t after = names[v].count * (kRecoveryDataOffset + set.sliceSize);
    if (!WriteAt(volumes[v - 1], packets.data(), static_cast<std::int64_t>(packets.size()),
                 after)) {
      return false;
    }
  }
  for (Output& output : outputs) {
    const Bytes header =
        RecoveryHeader(description.setId, output.exponent, set.sliceSize, output.hash.Finish());
    if (!WriteAt(output.descriptor, header.data(), static_cast<std::int64_t>(header.size()),
                 output.packetOffset)) {
      return false;
    }
  }
  return true;
}

}  // namespace

Result Write(const SetToProtect& set, const std::string& creator, int index,
             const std::vector<int>& volumes, const Reader& read, const Progress& progress) {
  if (std::string refusal = Refusal(set, volumes.size()); !refusal.empty()) {
    return Failed(std::move(refusal));
  }
  std::vector<FileWork> files;
  std::string reason;
  if (!DescribeHeads(set, read, files, reason)) return Failed(std::move(reason));
  Description description;
  description.sliceSize = set.sliceSize;
  for (const FileWork& work : files) description.files.push_back(work.file);
  const Bytes mainBody = MainBody(set.sliceSize, description.files);
  description.setId = Md5Of(mainBody.data(), mainBody.size());

  const std::int64_t stripe = StripeBytes(set.sliceSize, set.recoveryCount + kRing, kWriteStripeBytes);
  std::vector<Output> outputs = PlaceOutputs(set, volumes, description.setId, stripe);
  std::array<Buffer, kRing> buffers;
  for (Buffer& buffer : buffers) buffer = MakeBuffer(stripe);
  std::array<std::uint64_t, kRing> posted{};
  const std::int64_t total = set.sliceSize * static_cast<std::int64_t>(files.size());
  std::int64_t done = 0;
  int next = 0;
  Worker worker;  // destroyed first: its jobs use the buffers and files above
  for (std::int64_t start = 0; start < set.sliceSize; start += stripe) {
    const std::int64_t count = std::min(stripe, set.sliceSize - start);
    for (Output& output : outputs)
      std::memset(output.sum.get(), 0, static_cast<std::size_t>(count));
    for (FileWork& work : files) {
      worker.WaitFor(posted[next]);
      unsigned char* bytes = buffers[next].get();
      const std::int64_t have = std::clamp<std::int64_t>(work.file.length - start, 0, count);
      errno = 0;
      if (have > 0 && !read(work.index, start, bytes, have))
        return Failed(ReadFailure(work.file.name));
      std::memset(bytes + have, 0, static_cast<std::size_t>(count - have));
      const bool ends = have > 0 && start + have == work.file.length;
      posted[next] = worker.Post(
          &work, [&work, bytes, have, count, ends] { HashPiece(work, bytes, have, count, ends); });
      const std::int64_t used = (have + 3) / 4 * 4;
      for (Output& output : outputs) {
        MultiplyAdd(bytes, output.sum.get(), Power(work.constant, output.exponent), used);
      }
      next = (next + 1) % kRing;
      done += count;
      if (progress && progress(done, total)) return Result{false, true, {}, {}};
    }
    for (Output& output : outputs) {
      worker.Post(&output, [&output, count] {
        output.hash.Add(output.sum.get(), static_cast<std::size_t>(count));
      });
    }
    for (Output& output : outputs) {
      if (!WriteAt(output.descriptor, output.sum.get(), count,
                   output.packetOffset + kRecoveryDataOffset + start)) {
        return Failed(WriteFailure());
      }
    }
    worker.WaitForAll();  // before the sums are cleared for the next stripe
  }
  worker.WaitForAll();
  for (std::size_t i = 0; i < files.size(); ++i) {
    InputFile& file = description.files[i];
    file.md5 = files[i].file.md5;
    file.slices = {{files[i].hash.Finish(), files[i].crc}};
  }
  if (!WritePackets(set, description, creator, index, volumes, outputs))
    return Failed(WriteFailure());
  return Result{true, false, {}, {}};
}

}  // namespace control::par2
