#include "recovery_files.h"

#include "checksum_file.h"

#include <control/fragment_set.h>

#include <platform/pending_file.h>
#include <platform/runtime_error.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <memory>

namespace control {
namespace {

using platform::FileIdentity;

constexpr char kCreator[] = "Tessik, a file splitter and joiner (tessik(1))";

std::string FolderOf(const std::string& basePath) {
  const std::size_t slash = basePath.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : basePath.substr(0, slash);
}

std::string PathIn(const std::string& basePath, const std::string& name) {
  const std::size_t slash = basePath.rfind('/');
  return slash == std::string::npos ? name : basePath.substr(0, slash + 1) + name;
}

// The fragment number `name` has in the set called `baseName`; 0 when it
// is not a fragment's name of that set.
int NumberIn(const std::string& baseName, const std::string& name) {
  if (name.size() <= baseName.size() + 1 || name.compare(0, baseName.size(), baseName) != 0 ||
      name[baseName.size()] != '.') {
    return 0;
  }
  const std::string digits = name.substr(baseName.size() + 1);
  if (digits.size() > 5 || digits[0] == '0' ||
      !std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  const int number = std::stoi(digits);
  return number <= kLargestFragmentNumber ? number : 0;
}

// For each fragment number 1 to N, the position of its file in `files`;
// nothing unless the files are exactly fragments 1 to N of `baseName`.
std::optional<std::vector<int>> PositionsOf(const std::vector<par2::InputFile>& files,
                                            const std::string& baseName) {
  std::vector<int> positions(files.size(), -1);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const int number = NumberIn(baseName, files[i].name);
    if (number == 0 || static_cast<std::size_t>(number) > files.size()) return std::nullopt;
    int& position = positions[static_cast<std::size_t>(number - 1)];
    if (position >= 0) return std::nullopt;
    position = static_cast<int>(i);
  }
  return positions;
}

}  // namespace

par2::Progress Reports::Function() {
  return [this](std::int64_t done, std::int64_t total) {
    try {
      const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1;
      meter_.Update(static_cast<std::int64_t>(share * static_cast<double>(scale_)));
      return false;
    } catch (...) {
      failure_ = std::current_exception();
      return true;
    }
  };
}

void Reports::RaiseAny() const {
  if (failure_) std::rethrow_exception(failure_);
}

std::vector<std::string> RecoveryFilesOf(const std::string& basePath) {
  const std::string baseName = FileNameOf(basePath);
  std::vector<std::string> found;
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(FolderOf(basePath).c_str()), closedir);
  if (!folder) return found;
  while (const dirent* entry = readdir(folder.get())) {
    if (par2::IsFileNameOf(baseName, entry->d_name)) found.push_back(PathIn(basePath, entry->d_name));
  }
  std::ranges::sort(found);
  return found;
}

std::optional<SetRecovery> ReadRecovery(const std::string& basePath) {
  std::vector<std::string> paths = RecoveryFilesOf(basePath);
  std::erase_if(paths, [](const std::string& path) {
    struct stat entry {};
    return stat(path.c_str(), &entry) != 0 || !S_ISREG(entry.st_mode);
  });
  if (paths.empty()) return std::nullopt;
  par2::Found found = par2::Read(paths);
  if (!found.description) return std::nullopt;
  auto positions = PositionsOf(found.description->files, FileNameOf(basePath));
  if (!positions) return std::nullopt;
  return SetRecovery{std::move(*found.description), std::move(found.blocks), std::move(*positions),
                     FileNameOf(basePath) + ".par2"};
}

std::variant<ChecksumFile, Outcome> ChecksumFileBeside(const std::string& basePath,
                                                      const SetRecovery& recovery) {
  ChecksumFile listed = ReadChecksumFile(basePath);
  if (listed.state == ChecksumFile::State::Damaged) return NotDone(listed.damage);
  if (listed.state == ChecksumFile::State::Valid &&
      static_cast<int>(listed.checksums.fragments.size()) != recovery.FragmentCount()) {
    return NotDone(recovery.index + " and " + FileNameOf(ChecksumFileName(basePath)) +
                   " describe different sets");
  }
  return listed;
}

std::variant<std::vector<Seen>, Outcome> FindOlderRecovery(const std::string& basePath,
                                                          int olderCount, const Claims& claims,
                                                          int recoveryCount) {
  const std::string baseName = FileNameOf(basePath);
  std::vector<std::string> written;
  for (const auto& volume : par2::FileNames(baseName, recoveryCount)) written.push_back(volume.name);
  if (recoveryCount == 0) written.clear();
  std::vector<Seen> older;
  for (const std::string& path : RecoveryFilesOf(basePath)) {
    struct stat entry {};
    if (lstat(path.c_str(), &entry) != 0) continue;  // gone meanwhile
    const FileIdentity identity{static_cast<std::uint64_t>(entry.st_dev),
                                static_cast<std::uint64_t>(entry.st_ino)};
    const auto made = claims.made.find(0);
    if (S_ISREG(entry.st_mode) && made != claims.made.end() &&
        std::ranges::find(made->second, identity) != made->second.end()) {
      older.emplace_back(path, identity);
      continue;
    }
    const bool inTheWay = std::ranges::find(written, FileNameOf(path)) != written.end();
    const std::string refusal =
        FileNameOf(path) + " is in the way: it is not shown to be recovery data of the older set";
    if (!S_ISREG(entry.st_mode)) {
      if (inTheWay) return NotDone(refusal);
      continue;
    }
    const par2::Found found = par2::Read({path});
    std::optional<std::vector<int>> positions;
    if (found.description) positions = PositionsOf(found.description->files, baseName);
    if (!positions) {  // another program's data about other files
      if (inTheWay) return NotDone(refusal);
      continue;
    }
    bool shown = olderCount > 0 && static_cast<int>(positions->size()) == olderCount;
    for (int number = 1; shown && number <= olderCount; ++number) {
      const auto& file =
          found.description->files[static_cast<std::size_t>((*positions)[static_cast<std::size_t>(number - 1)])];
      struct stat fragment {};
      const std::string name = FragmentName(basePath, number);
      // A fragment already gone was the older set's when its checksum file listed it.
      if (lstat(name.c_str(), &fragment) == 0) shown = fragment.st_size == file.length;
    }
    if (!shown) return NotDone(refusal);
    older.emplace_back(path, identity);
  }
  return older;
}

Outcome WriteRecovery(const std::string& basePath, const platform::File& input, std::int64_t length,
                      std::int64_t partSize, int count, int recoveryCount, SplitJournal& journal,
                      ProgressMeter& meter, std::vector<Seen>& written) {
  const TemporaryNames temporary = TemporaryNamesOf(basePath);
  par2::SetToProtect set;
  for (int number = 1; number <= count; ++number) {
    set.names.push_back(FileNameOf(FragmentName(basePath, number)));
    set.lengths.push_back(std::min(partSize, length - partSize * (number - 1)));
  }
  set.sliceSize = par2::SliceSizeFor(partSize);
  set.recoveryCount = recoveryCount;
  const std::vector<par2::VolumeName> names = par2::FileNames(FileNameOf(basePath), recoveryCount);
  std::vector<platform::PendingFile> files;
  for (const auto& volume : names) {
    files.push_back(platform::PendingFile::Create(temporary.Path("rXXXXXX")));
    const std::string path = PathIn(basePath, volume.name);
    if (!files.back().IsOpen()) return NotDone(FileFailure(path, files.back().error()));
    if (!journal.RecordMade(0, files.back().identity())) {
      return NotDone(FileFailure(temporary.Path("split"), errno));
    }
  }
  std::vector<int> volumes;
  for (std::size_t i = 1; i < files.size(); ++i) volumes.push_back(files[i].file().descriptor());
  const par2::Reader read = [&](int index, std::int64_t offset, unsigned char* buffer,
                                std::int64_t bytes) {
    return platform::ReadAt(input, buffer, bytes, partSize * index + offset) == bytes;
  };
  Reports reports(meter, length);
  const par2::Result result = par2::Write(set, kCreator, files[0].file().descriptor(), volumes,
                                          read, reports.Function());
  reports.RaiseAny();
  if (!result.done) return NotDone(result.reason);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string path = PathIn(basePath, names[i].name);
    if (!files[i].CommitAs(path, false)) return NotDone(FileFailure(path, errno));
    written.emplace_back(path, files[i].identity());
    if (!files[i].file().Close()) return NotDone(FileFailure(path, errno));
  }
  return Done();
}

Outcome RebuildFragments(const SetRecovery& recovery, const std::vector<int>& lost,
                         const par2::Reader& read, const par2::Writer& write, ProgressMeter& meter) {
  std::vector<int> positions;
  for (const int number : lost) positions.push_back(recovery.positions[static_cast<std::size_t>(number - 1)]);
  std::vector<int> numbers(recovery.positions.size());
  for (std::size_t n = 0; n < numbers.size(); ++n) {
    numbers[static_cast<std::size_t>(recovery.positions[n])] = static_cast<int>(n + 1);
  }
  std::int64_t total = 0;
  for (const auto& file : recovery.description.files) total += file.length;
  Reports reports(meter, total);
  const par2::Result result = par2::Rebuild(
      recovery.description, recovery.blocks, positions,
      [&](int index, std::int64_t offset, unsigned char* buffer, std::int64_t bytes) {
        return read(numbers[static_cast<std::size_t>(index)], offset, buffer, bytes);
      },
      [&](int index, std::int64_t offset, const unsigned char* buffer, std::int64_t bytes) {
        return write(numbers[static_cast<std::size_t>(index)], offset, buffer, bytes);
      },
      reports.Function());
  reports.RaiseAny();
  if (!result.done) return NotDone(result.reason);
  return Done();
}

std::string NamesOf(const std::string& basePath, const std::vector<int>& numbers) {
  std::string names;
  for (const int number : numbers) {
    names += (names.empty() ? "" : ", ") + FileNameOf(FragmentName(basePath, number));
  }
  return names;
}

}  // namespace control
