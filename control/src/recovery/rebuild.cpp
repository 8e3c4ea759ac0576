// Rebuild: lost files from the others and the recovery slices.

#include "../crypto.h"
#include "gf16.h"
#include "packets.h"
#include "par2.h"
#include "worker.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace control::par2 {

namespace {

// An input slice: file `file` (in description order) at `index` slices in.
struct Slice {
  int file = 0;
  std::int64_t index = 0;
  std::uint16_t constant = 0;
};

// A recovery block being read, with the hash of its packet so far.
struct Source {
  RecoveryBlock block;
  int descriptor = -1;
  Md5 expected{};
  Md5Hash hash;
  bool shortRead = false;
  Source() = default;
  Source(Source&& other) noexcept
      : block(std::move(other.block)),
        descriptor(std::exchange(other.descriptor, -1)),
        expected(other.expected),
        hash(std::move(other.hash)),
        shortRead(other.shortRead) {}
  ~Source() {
    if (descriptor >= 0) close(descriptor);
  }
};


std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// Opens a recovery block and hashes its packet up to its data; false when
// it cannot be read that far.
bool OpenSource(Source& source) {
  const RecoveryBlock& block = source.block;
  source.descriptor = open(block.path.c_str(), O_RDONLY | O_CLOEXEC);
  Bytes head(static_cast<std::size_t>(block.dataOffset - block.packetOffset));
  if (source.descriptor < 0 || head.size() < static_cast<std::size_t>(kHashedFrom) ||
      ReadAt(source.descriptor, head.data(), static_cast<std::int64_t>(head.size()),
             block.packetOffset) != static_cast<std::int64_t>(head.size())) {
    return false;
  }
  std::memcpy(source.expected.data(), head.data() + 16, source.expected.size());
  source.hash.Add(head.data() + kHashedFrom, head.size() - kHashedFrom);
  return true;
}

// Inverts the n-by-n `matrix` (rows one after the other); false when it
// has no inverse.
bool Invert(std::vector<std::uint16_t>& matrix, std::size_t n) {
  std::vector<std::uint16_t> inverse(n * n, 0);
  for (std::size_t i = 0; i < n; ++i) inverse[i * n + i] = 1;
  for (std::size_t column = 0; column < n; ++column) {
    std::size_t pivot = column;
    while (pivot < n && matrix[pivot * n + column] == 0) ++pivot;
    if (pivot == n) return false;
    for (std::size_t k = 0; k < n; ++k) {
      std::swap(matrix[pivot * n + k], matrix[column * n + k]);
      std::swap(inverse[pivot * n + k], inverse[column * n + k]);
    }
    const std::uint16_t scale = Inverse(matrix[column * n + column]);
    for (std::size_t k = 0; k < n; ++k) {
      matrix[column * n + k] = Multiply(matrix[column * n + k], scale);
      inverse[column * n + k] = Multiply(inverse[column * n + k], scale);
    }
    for (std::size_t row = 0; row < n; ++row) {
      const std::uint16_t factor = matrix[row * n + column];
      if (row == column || factor == 0) continue;
      for (std::size_t k = 0; k < n; ++k) {
        matrix[row * n + k] ^= Multiply(factor, matrix[column * n + k]);
        inverse[row * n + k] ^= Multiply(factor, inverse[column * n + k]);
      }
    }
  }
  matrix = std::move(inverse);
  return true;
}

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// One try at the rebuild with the recovery blocks `chosen`, as many as
// `lost`. The exponents of the blocks found damaged go to `damaged`.
class Attempt {
 public:
  Attempt(const Description& description, const std::vector<Slice>& present,
          const std::vector<Slice>& lost, const Reader& read, const Writer& write,
          const Progress& progress)
      : description_(description),
        present_(present),
        lost_(lost),
        read_(read),
        write_(write),
        progress_(progress) {}

  Result Run(const std::vector<RecoveryBlock>& chosen, std::vector<std::uint32_t>& damaged);

 private:
  bool Coefficients(const std::vector<RecoveryBlock>& chosen);
  std::string ReadSlice(const Slice& slice, std::int64_t start, std::int64_t count,
                        unsigned char* bytes);

  const Description& description_;
  const std::vector<Slice>& present_;
  const std::vector<Slice>& lost_;
  const Reader& read_;
  const Writer& write_;
  const Progress& progress_;
  // For each source (present slices, then recovery blocks), the factor of
  // its bytes in each lost slice.
  std::vector<std::vector<std::uint16_t>> factors_;
};

bool Attempt::Coefficients(const std::vector<RecoveryBlock>& chosen) {
  const std::size_t n = lost_.size();
  std::vector<std::uint16_t> matrix(n * n);
  for (std::size_t r = 0; r < n; ++r) {
    for (std::size_t j = 0; j < n; ++j)
      matrix[r * n + j] = Power(lost_[j].constant, chosen[r].exponent);
  }
  if (!Invert(matrix, n)) return false;
  factors_.assign(present_.size() + n, std::vector<std::uint16_t>(n, 0));
  for (std::size_t i = 0; i < present_.size(); ++i) {
    for (std::size_t r = 0; r < n; ++r) {
      const std::uint16_t power = Power(present_[i].constant, chosen[r].exponent);
      for (std::size_t j = 0; j < n; ++j) factors_[i][j] ^= Multiply(matrix[j * n + r], power);
    }
  }
  for (std::size_t r = 0; r < n; ++r) {
    for (std::size_t j = 0; j < n; ++j) factors_[present_.size() + r][j] = matrix[j * n + r];
  }
  return true;
}

std::string Attempt::ReadSlice(const Slice& slice, std::int64_t start, std::int64_t count,
                               unsigned char* bytes) {
  const InputFile& file = description_.files[static_cast<std::size_t>(slice.file)];
  const std::int64_t offset = slice.index * description_.sliceSize + start;
  const std::int64_t have = std::clamp<std::int64_t>(file.length - offset, 0, count);
  errno = 0;
  if (have > 0 && !read_(slice.file, offset, bytes, have)) {
    return file.name + " could not be read (" + ErrorText(errno, "it ends early") + ")";
  }
  std::memset(bytes + have, 0, static_cast<std::size_t>(count - have));
  return {};
}

Result Attempt::Run(const std::vector<RecoveryBlock>& chosen, std::vector<std::uint32_t>& damaged) {
  if (!Coefficients(chosen)) {
    return {false, false, "the recovery slices at hand cannot rebuild these fragments", {}};
  }
  const std::size_t n = lost_.size();
  std::vector<Source> sources(n);
  for (std::size_t r = 0; r < n; ++r) {
    sources[r].block = chosen[r];
    if (!OpenSource(sources[r])) damaged.push_back(chosen[r].exponent);
  }
  if (!damaged.empty()) return {};
  const std::int64_t sliceSize = description_.sliceSize;
  const std::int64_t stripe = StripeBytes(sliceSize, static_cast<std::int64_t>(n) + 2);
  std::vector<Buffer> outputs;
  std::vector<Md5Hash> hashes(n);  // of each lost slice
  std::vector<std::optional<Md5>> fileHashes(n);
  for (std::size_t j = 0; j < n; ++j) outputs.push_back(MakeBuffer(stripe));
  std::array<Buffer, 2> buffers{MakeBuffer(stripe), MakeBuffer(stripe)};
  std::array<std::uint64_t, 2> posted{0, 0};
  const std::int64_t total = sliceSize * static_cast<std::int64_t>(present_.size() + n);
  std::int64_t done = 0;
  int next = 0;
  Worker worker;  // destroyed first: its jobs use the buffers and sources above
  for (std::int64_t start = 0; start < sliceSize; start += stripe) {
    const std::int64_t count = std::min(stripe, sliceSize - start);
    for (Buffer& output : outputs) std::memset(output.get(), 0, static_cast<std::size_t>(count));
    for (std::size_t s = 0; s < present_.size() + n; ++s) {
      worker.WaitFor(posted[next]);
      unsigned char* bytes = buffers[next].get();
      if (s < present_.size()) {
        if (std::string failure = ReadSlice(present_[s], start, count, bytes); !failure.empty()) {
          return {false, false, std::move(failure), {}};
        }
      } else {
        Source& source = sources[s - present_.size()];
        const std::int64_t got =
            ReadAt(source.descriptor, bytes, count, source.block.dataOffset + start);
        source.shortRead = source.shortRead || got != count;
        posted[next] = worker.Post(&source, [&source, bytes, count] {
          source.hash.Add(bytes, static_cast<std::size_t>(count));
        });
      }
      for (std::size_t j = 0; j < n; ++j)
        MultiplyAdd(bytes, outputs[j].get(), factors_[s][j], count);
      next = 1 - next;
      done += count;
      if (progress_ && progress_(done, total)) return {false, true, {}, {}};
    }
    for (std::size_t j = 0; j < n; ++j) {
      const InputFile& file = description_.files[static_cast<std::size_t>(lost_[j].file)];
      const std::int64_t offset = lost_[j].index * sliceSize + start;
      const std::int64_t have = std::clamp<std::int64_t>(file.length - offset, 0, count);
      // A file of one slice is checked whole too: its MD5 is that of the
      // slice's bytes before the padding.
      const bool ends = file.slices.size() == 1 && have > 0 && offset + have == file.length;
      worker.Post(&hashes[j], [&hashes, &fileHashes, &outputs, j, have, count, ends] {
        hashes[j].Add(outputs[j].get(), static_cast<std::size_t>(have));
        if (ends) fileHashes[j] = hashes[j].Peek();
        hashes[j].Add(outputs[j].get() + have, static_cast<std::size_t>(count - have));
      });
      errno = 0;
      if (have > 0 && !write_(lost_[j].file, offset, outputs[j].get(), have)) {
        return {false,
                false,
                file.name + " could not be written (" + ErrorText(errno, "the disk is full") + ")",
                {}};
      }
    }
    worker.WaitForAll();  // before the sums are cleared for the next stripe
  }
  worker.WaitForAll();
  for (Source& source : sources) {
    if (source.shortRead || source.hash.Finish() != source.expected)
      damaged.push_back(source.block.exponent);
  }
  if (!damaged.empty()) return {};
  for (std::size_t j = 0; j < n; ++j) {
    const InputFile& file = description_.files[static_cast<std::size_t>(lost_[j].file)];
    if (hashes[j].Finish() != file.slices[static_cast<std::size_t>(lost_[j].index)].first ||
        (fileHashes[j] && *fileHashes[j] != file.md5)) {
      return {false, false, "the rebuilt " + file.name + " does not match its checksum", {}};
    }
  }
  return {true, false, {}, {}};
}

}  // namespace

Result Rebuild(const Description& description, const std::vector<RecoveryBlock>& blocks,
               const std::vector<int>& lost, const Reader& read, const Writer& write,
               const Progress& progress) {
  std::vector<Slice> present;
  std::vector<Slice> lostSlices;
  int index = 0;
  for (std::size_t f = 0; f < description.files.size(); ++f) {
    const bool isLost = std::find(lost.begin(), lost.end(), static_cast<int>(f)) != lost.end();
    const std::int64_t slices = static_cast<std::int64_t>(description.files[f].slices.size());
    for (std::int64_t s = 0; s < slices; ++s) {
      (isLost ? lostSlices : present).push_back({static_cast<int>(f), s, InputConstant(index++)});
    }
  }
  Result result;
  std::vector<RecoveryBlock> usable = blocks;
  std::vector<std::string> damagedNames;
  while (!lostSlices.empty()) {
    if (usable.size() < lostSlices.size()) {
      result.reason = Counted(lost.size(), "fragment is", "fragments are") + " lost";
      if (lostSlices.size() != lost.size())
        result.reason += " (" + Counted(lostSlices.size(), "slice", "slices") + ")";
      result.reason += " and the recovery data rebuilds at most " + std::to_string(usable.size());
      if (lostSlices.size() != lost.size()) result.reason += " slices";
      for (const std::string& name : damagedNames) result.reason += ": " + name + " is damaged";
      return result;
    }
    const std::vector<RecoveryBlock> chosen(
        usable.begin(), usable.begin() + static_cast<std::ptrdiff_t>(lostSlices.size()));
    std::vector<std::uint32_t> damaged;
    Result attempt =
        Attempt(description, present, lostSlices, read, write, progress).Run(chosen, damaged);
    if (damaged.empty()) {
      attempt.damagedBlocks = result.damagedBlocks;
      return attempt;
    }
    for (const std::uint32_t exponent : damaged) {
      const auto it =
          std::find_if(usable.begin(), usable.end(),
                       [exponent](const RecoveryBlock& b) { return b.exponent == exponent; });
      const std::string name = BaseName(it->path);
      if (std::find(damagedNames.begin(), damagedNames.end(), name) == damagedNames.end())
        damagedNames.push_back(name);
      usable.erase(it);
      result.damagedBlocks.push_back(exponent);
    }
  }
  result.done = true;
  return result;
}

}  // namespace control::par2
