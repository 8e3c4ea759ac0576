#include "checksum_file.h"
#include "older_set.h"
#include "recovery_files.h"

#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>
#include <platform/pending_file.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <map>

namespace control {

using platform::File;
using platform::PendingFile;

std::vector<int> LostFragments(const std::string& basePath, const SetRecovery& recovery,
                               ProgressMeter& meter) {
  std::vector<std::string> paths(recovery.description.files.size());
  for (int number = 1; number <= recovery.FragmentCount(); ++number) {
    paths[static_cast<std::size_t>(recovery.positions[static_cast<std::size_t>(number - 1)])] =
        FragmentName(basePath, number);
  }
  std::int64_t total = 0;
  for (const auto& file : recovery.description.files) total += file.length;
  Reports reports(meter, total);
  const auto damaged = par2::Damaged(recovery.description, paths, reports.Function());
  reports.RaiseAny();
  std::vector<int> lost;
  for (const int position : damaged.value_or(std::vector<int>{})) {
    const auto at = std::ranges::find(recovery.positions, position);
    lost.push_back(static_cast<int>(at - recovery.positions.begin()) + 1);
  }
  std::ranges::sort(lost);
  return lost;
}

std::string RepairVerdict(const std::string& basePath, const SetRecovery& recovery,
                          const std::vector<int>& lost, ProgressMeter& meter) {
  const auto total = static_cast<std::int64_t>(recovery.blocks.size()) * recovery.description.sliceSize;
  Reports reports(meter, total);
  const std::vector<std::uint32_t> intact = par2::IntactBlocks(recovery.blocks, reports.Function());
  reports.RaiseAny();
  std::size_t slices = 0;
  for (const int number : lost) slices += recovery.Fragment(number).slices.size();
  if (slices <= intact.size()) return recovery.index + " can rebuild " + NamesOf(basePath, lost);
  return recovery.index + " rebuilds at most " + std::to_string(intact.size()) + " of the " +
         std::to_string(lost.size()) + " fragments damaged or missing";
}

Outcome VerifyByRecovery(const std::string& basePath, const SetRecovery& recovery,
                         const SetOptions& options) {
  std::int64_t total = 0;
  for (const auto& file : recovery.description.files) total += file.length;
  ProgressMeter meter(options, total);
  meter.Report(0);
  const std::vector<int> lost = LostFragments(basePath, recovery, meter);
  meter.Report(total);
  Outcome outcome = lost.empty() ? Done() : NotDone({});
  for (const int number : lost) {
    const std::string name = FragmentName(basePath, number);
    outcome.reason += FileNameOf(name) +
                      (platform::FileExists(name) ? " does not match " + recovery.index : " is missing") +
                      "\n";
  }
  if (!lost.empty()) outcome.reason += RepairVerdict(basePath, recovery, lost, meter);
  return outcome;
}

Outcome RepairSet(const std::string& inputFilename, const SetOptions& options) {
  const std::string& basePath = inputFilename;
  const std::optional<SetRecovery> recovery = ReadRecovery(basePath);
  if (!recovery) return NotDone("there is no recovery data for " + FileNameOf(basePath));
  // A checksum file beside it checks what is rebuilt once more: recovery
  // data of another set never puts its content back.
  auto beside = ChecksumFileBeside(basePath, *recovery);
  if (auto* refused = std::get_if<Outcome>(&beside)) return *refused;
  const ChecksumFile& listed = std::get<ChecksumFile>(beside);
  const bool checked = listed.state == ChecksumFile::State::Valid;
  // Held to the end: no split of this name runs meanwhile.
  const TemporaryNames temporary = TemporaryNamesOf(basePath);
  SplitJournal journal = SplitJournal::Take(temporary);
  if (!journal.IsOpen()) return NotDone(FileFailure(FragmentName(basePath, 1), journal.error()));
  if (journal.claims().Largest() > 0) {
    journal.Finish(false);
    return NotDone("a split of " + FileNameOf(basePath) + " was stopped; split it again");
  }
  platform::RemoveLeftovers(temporary.folder, temporary.prefix + "f");
  std::int64_t total = 0;
  for (const auto& file : recovery->description.files) total += file.length;
  ProgressMeter meter(options, 2 * total);
  meter.Report(0);
  std::map<int, File> present;
  std::map<int, PendingFile> rebuilt;
  const auto settle = [&](Outcome outcome) {
    for (auto& [number, file] : rebuilt) file.Discard();
    journal.Finish(true);
    return outcome;
  };
  try {
    const std::vector<int> lost = LostFragments(basePath, *recovery, meter);
    meter.Settle(total);
    if (lost.empty()) return settle(Done());
    for (int number = 1; number <= recovery->FragmentCount(); ++number) {
      const std::string name = FragmentName(basePath, number);
      if (std::ranges::find(lost, number) == lost.end()) {
        File file = platform::OpenForReading(name);
        if (!file.IsOpen()) return settle(NotDone(FileFailure(name, file.error(), Access::Read)));
        present.emplace(number, std::move(file));
        continue;
      }
      PendingFile file = PendingFile::Create(temporary.Path("fXXXXXX"));
      if (!file.IsOpen()) return settle(NotDone(FileFailure(name, file.error())));
      rebuilt.emplace(number, std::move(file));
    }
    Outcome outcome = RebuildFragments(
        *recovery, lost,
        [&](int number, std::int64_t offset, unsigned char* buffer, std::int64_t count) {
          return platform::ReadAt(present.at(number), buffer, static_cast<std::size_t>(count),
                                  offset) == count;
        },
        [&](int number, std::int64_t offset, const unsigned char* buffer, std::int64_t count) {
          return pwrite(rebuilt.at(number).file().descriptor(), buffer,
                        static_cast<std::size_t>(count), offset) == count;
        },
        meter);
    if (!outcome) return settle(outcome);
    for (auto& [number, file] : rebuilt) {
      if (!checked) break;
      BackgroundHash hash;
      hash.Add(file.file().descriptor(), 0, recovery->Fragment(number).length);
      const std::optional<Digest> digest = hash.Take();
      if (digest != listed.checksums.fragments[static_cast<std::size_t>(number - 1)]) {
        return settle(NotDone(FileNameOf(FragmentName(basePath, number)) + " as rebuilt does not match " +
                              FileNameOf(ChecksumFileName(basePath)) + "; nothing was changed"));
      }
    }
    // The damaged fragments are taken before any is replaced, and held over
    // the renames: one that another program holds refuses the repair with
    // nothing changed.
    std::vector<File> damaged;
    for (const int number : lost) {
      const std::string name = FragmentName(basePath, number);
      struct stat entry {};
      if (lstat(name.c_str(), &entry) != 0) continue;  // missing: nothing to take
      auto taken = TakeOlder(name);
      if (auto* refused = std::get_if<Outcome>(&taken)) return settle(*refused);
      damaged.push_back(std::move(std::get<File>(taken)));
    }
    // Each rebuilt fragment is whole and checked: flushed, then put in place
    // of the damaged one, which leaves no copy behind.
    for (auto& [number, file] : rebuilt) {
      const std::string name = FragmentName(basePath, number);
      if (!file.CommitAs(name, true)) return settle(NotDone(FileFailure(name, errno)));
      outcome.rebuilt.push_back(FileNameOf(name));
    }
    if (!platform::FlushDirectoryOf(basePath)) return settle(NotDone(FileFailure(basePath, errno)));
    outcome.recoveryFile = recovery->index;
    return settle(outcome);
  } catch (...) {
    settle(Done());
    throw;
  }
}

}  // namespace control
