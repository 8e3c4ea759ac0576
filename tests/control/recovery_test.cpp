// Recovery data: the field it is computed in, its round trip, and that it
// is the PAR 2.0 format other tools read and write (the `par2` program).
#include "recovery/gf16.h"
#include "recovery/par2.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

namespace {

using namespace control::par2;
using namespace testing_support;

// A set of fragments "f.1", "f.2", ... in a folder, and its PAR2 files.
struct Set {
  TempDir dir;
  std::vector<std::string> names;
  std::vector<std::string> contents;

  explicit Set(const std::vector<std::int64_t>& lengths) {
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      names.push_back("f." + std::to_string(i + 1));
      const auto seed = static_cast<std::uint32_t>(i + 7);
      contents.push_back(PatternBytes(static_cast<std::size_t>(lengths[i]), seed));
      WriteBytes(dir / names[i], contents[i]);
    }
  }
  Reader ReadFiles(const std::vector<std::string>& order) const {
    return [this, order](int index, std::int64_t offset, unsigned char* bytes, std::int64_t count) {
      const int fd = open((dir / order[static_cast<std::size_t>(index)]).c_str(), O_RDONLY);
      const bool read = fd >= 0 && pread(fd, bytes, static_cast<std::size_t>(count), offset) ==
                                       static_cast<ssize_t>(count);
      if (fd >= 0) close(fd);
      return read;
    };
  }
  Result Write(int k, std::int64_t sliceSize) const {
    std::vector<std::int64_t> lengths;
    for (const std::string& c : contents) lengths.push_back(static_cast<std::int64_t>(c.size()));
    std::vector<int> fds;
    for (const VolumeName& v : FileNames("f", k)) {
      fds.push_back(open((dir / v.name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    }
    const std::vector<int> volumes(fds.begin() + 1, fds.end());
    Result result = control::par2::Write({names, lengths, sliceSize, k}, "recovery_test", fds[0],
                                         volumes, ReadFiles(names), {});
    for (const int fd : fds) close(fd);
    return result;
  }
  std::vector<std::string> Par2Files() const {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (entry.path().extension() == ".par2") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());  // the index first
    return paths;
  }
  // Rebuilds the files `lost` (by name) from what Read finds; the result and
  // whether every file rebuilt is as it was.
  std::pair<Result, bool> Rebuild(const std::vector<std::string>& lost) const {
    const Found found = Read(Par2Files());
    if (!found.description) return {{false, false, "no description", {}}, false};
    std::vector<std::string> order;
    std::vector<int> lostIndices;
    for (const InputFile& file : found.description->files) {
      if (std::find(lost.begin(), lost.end(), file.name) != lost.end()) {
        lostIndices.push_back(static_cast<int>(order.size()));
      }
      order.push_back(file.name);
    }
    std::map<int, std::string> rebuilt;
    const Writer write = [&](int index, std::int64_t offset, const unsigned char* bytes,
                             std::int64_t count) {
      std::string& file = rebuilt[index];
      file.resize(std::max(file.size(), static_cast<std::size_t>(offset + count)));
      std::memcpy(file.data() + offset, bytes, static_cast<std::size_t>(count));
      return true;
    };
    const Result result = control::par2::Rebuild(*found.description, found.blocks, lostIndices,
                                                 ReadFiles(order), write, {});
    bool same = rebuilt.size() == lost.size();
    for (const auto& [index, bytes] : rebuilt) {
      const std::string& name = order[static_cast<std::size_t>(index)];
      const auto at = std::find(names.begin(), names.end(), name) - names.begin();
      same = same && bytes == contents[static_cast<std::size_t>(at)];
    }
    return {result, same};
  }
  int Par2(const std::string& arguments) const {
    const std::string command = "cd '" + dir.path() + "' && par2 " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str());
  }
  void Damage(const std::string& name, std::int64_t offset) const {
    std::string bytes = ReadBytes(dir / name);
    bytes[static_cast<std::size_t>(offset)] ^= 0x5A;
    WriteBytes(dir / name, bytes);
  }
  bool Intact() const {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (ReadBytes(dir / names[i]) != contents[i]) return false;
    }
    return true;
  }
};

TEST(Recovery, FieldLibraryComputesInTheSameFieldOnLittleEndianWords) {
  std::srand(3);
  std::vector<unsigned char> source(4096 + 2);
  for (unsigned char& byte : source) byte = static_cast<unsigned char>(std::rand());
  for (const std::uint16_t factor : {1, 2, 0x8000, 0x1234, 0xFFFF}) {
    std::vector<unsigned char> target(source.size(), 0);
    MultiplyAdd(source.data(), target.data(), factor, static_cast<std::int64_t>(source.size()));
    for (std::size_t i = 0; i < source.size(); i += 2) {
      const auto word = static_cast<std::uint16_t>(source[i] | source[i + 1] << 8);
      ASSERT_EQ(target[i] | target[i + 1] << 8, Multiply(word, factor)) << factor << " at " << i;
      ASSERT_EQ(LibraryMultiply(word, factor), Multiply(word, factor));
    }
  }
  EXPECT_EQ(Multiply(0x8000, 2), 0x100B);  // x^16 = x^12 + x^3 + x + 1
  const std::uint16_t constants[] = {2, 4, 16, 128, 256, 2048, 8192, 16384, 4107, 32856, 17132};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(InputConstant(i), constants[i]) << i;
}

TEST(Recovery, NamesAsPar2NamesThem) {
  const struct { int k; std::vector<std::string> volumes; } cases[] = {
      {1, {"vol0+1"}}, {2, {"vol0+1", "vol1+1"}}, {3, {"vol0+1", "vol1+2"}},
      {7, {"vol0+1", "vol1+2", "vol3+4"}}, {15, {"vol00+1", "vol01+2", "vol03+4", "vol07+8"}},
      {100,
       {"vol000+01", "vol001+02", "vol003+04", "vol007+08", "vol015+16", "vol031+32", "vol063+37"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> expected{"film.avi.par2"};
    for (const std::string& v : c.volumes) expected.push_back("film.avi." + v + ".par2");
    std::vector<std::string> names;
    for (const VolumeName& v : FileNames("film.avi", c.k)) names.push_back(v.name);
    EXPECT_EQ(names, expected) << c.k;
    for (const std::string& name : names) EXPECT_TRUE(IsFileNameOf("film.avi", name)) << name;
  }
  for (const char* other :
       {"film.avi.1", "film.avi.vol+1.par2", "film.avi.vol1-2.par2", "film.par2"}) {
    EXPECT_FALSE(IsFileNameOf("film.avi", other)) << other;
  }
}

// Write, then Rebuild k lost fragments out of k recovery slices.
TEST(Recovery, RebuildInvertsWrite) {
  const struct {
    std::vector<std::int64_t> lengths;
    int k;
    std::vector<std::string> lost;
  } cases[] = {
      {{1}, 1, {"f.1"}},
      {{4, 4, 3}, 2, {"f.1", "f.3"}},
      {{70001, 70001, 70001, 5}, 3, {"f.1", "f.2", "f.4"}},
      {{9000000, 9000000, 123457}, 3, {"f.1", "f.2", "f.3"}},  // stripes; the last short
      {{1000, 999, 998, 997, 996, 995, 994, 10},
       8,
       {"f.1", "f.2", "f.3", "f.4", "f.5", "f.6", "f.7", "f.8"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lengths.size());
    Set set(c.lengths);
    ASSERT_TRUE(set.Write(c.k, SliceSizeFor(c.lengths[0])).done);
    const auto [result, same] = set.Rebuild(c.lost);
    EXPECT_TRUE(result.done) << result.reason;
    EXPECT_TRUE(same);
  }
}

// What Write makes, par2 verifies, and repairs from, byte for byte.
TEST(Recovery, Par2VerifiesAndRepairsWhatWriteMade) {
  const struct {
    std::vector<std::int64_t> lengths;
    int k;
    std::vector<std::string> removed, damaged;
  } cases[] = {
      {{20000, 20000, 20000, 1234}, 2, {"f.2"}, {"f.4"}},
      {{5, 5, 5, 5, 5, 5, 3}, 3, {"f.1", "f.7"}, {"f.3"}},
      {{100003, 100003, 100003}, 1, {}, {"f.2"}},
      {{7, 0, 7}, 1, {"f.1"}, {}},  // an empty fragment stays out of the set
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lengths.size());
    Set set(c.lengths);
    ASSERT_TRUE(set.Write(c.k, SliceSizeFor(c.lengths[0])).done);
    EXPECT_EQ(set.Par2("verify -q f.par2"), 0);
    // par2's own set of the same files: the same main packet, so the same set ID
    const std::string slice = std::to_string(SliceSizeFor(c.lengths[0]));
    ASSERT_EQ(set.Par2("create -q -s" + slice + " -c1 p.par2 f.[0-9]*"), 0);
    EXPECT_EQ(Read({set.dir / "p.par2"}).description->setId,
              Read({set.dir / "f.par2"}).description->setId);
    for (const char* name : {"p.par2", "p.vol0+1.par2"}) std::filesystem::remove(set.dir / name);
    for (const std::string& name : c.removed) std::filesystem::remove(set.dir / name);
    for (const std::string& name : c.damaged) set.Damage(name, 2);
    const Description description = *Read(set.Par2Files()).description;
    std::vector<std::string> paths;
    for (const InputFile& file : description.files) paths.push_back(set.dir / file.name);
    const auto damaged = Damaged(description, paths, {});
    EXPECT_EQ(damaged->size(), c.removed.size() + c.damaged.size());
    EXPECT_EQ(set.Par2("repair -q f.par2"), 0);
    EXPECT_TRUE(set.Intact());
  }
}

// What par2 makes, Read and Rebuild use: one slice a file or several.
TEST(Recovery, RebuildsFromWhatPar2Made) {
  const struct {
    std::vector<std::int64_t> lengths;
    int slice, k;
    std::vector<std::string> lost;
  } cases[] = {
      {{30000, 30000, 30000, 17}, 30000, 2, {"f.2", "f.4"}},
      {{10001, 10001, 7}, 10004, 1, {"f.1"}},
      {{30000, 29999, 123}, 4000, 9, {"f.2", "f.3"}},  // 8 slices and 1 slice lost
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.slice);
    Set set(c.lengths);
    const std::string sizes = "-s" + std::to_string(c.slice) + " -c" + std::to_string(c.k);
    ASSERT_EQ(set.Par2("create -q " + sizes + " f.par2 f.*"), 0);
    const auto [result, same] = set.Rebuild(c.lost);
    EXPECT_TRUE(result.done) << result.reason;
    EXPECT_TRUE(same);
  }
}

// Damaged packets are skipped; a damaged recovery slice is left out, and
// the rebuild refuses when too few remain, never claiming a wrong file.
TEST(Recovery, DamageIsSkippedOrRefusedWithTheReason) {
  const struct {
    int k;
    std::vector<std::string> lost;
    const char* file;
    std::int64_t damagedAt;
    bool done;
    std::vector<std::uint32_t> damagedBlocks;
    const char* reason;
  } cases[] = {
      {3, {"f.1"}, "f.vol0+1.par2", 100, true, {0}, ""},  // in the recovery data
      {3, {"f.1", "f.2", "f.3"}, "f.vol0+1.par2", 100, false, {0},
       "3 fragments are lost and the recovery data rebuilds at most 2: f.vol0+1.par2 is damaged"},
      {2, {"f.1", "f.2", "f.3"}, "", -1, false, {},
       "3 fragments are lost and the recovery data rebuilds at most 2"},
      {1, {"f.3"}, "f.par2", 140 + 64 + 48, true, {}, ""},  // the length a file description gives
      {3, {"f.1"}, "f.2", 100, false, {}, "the rebuilt f.1 does not match its checksum"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    Set set({3000, 3000, 2999, 30});
    ASSERT_TRUE(set.Write(c.k, 3000).done);
    if (c.damagedAt >= 0) set.Damage(c.file, c.damagedAt);
    const std::vector<RecoveryBlock> blocks = Read(set.Par2Files()).blocks;
    EXPECT_EQ(IntactBlocks(blocks, {}).size(), blocks.size() - c.damagedBlocks.size());
    const auto [result, same] = set.Rebuild(c.lost);
    EXPECT_EQ(result.done, c.done);
    EXPECT_EQ(same, c.done);
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_EQ(result.damagedBlocks, c.damagedBlocks);
  }
}

}  // namespace
