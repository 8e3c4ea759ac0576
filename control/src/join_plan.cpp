#include "join_plan.h"

#include <control/fragment_set.h>

#include <platform/runtime_error.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace control {
namespace {

using platform::File;

// Why the lengths of the fragments listed cannot be those of one split, or
// nothing when they can: every fragment but the last as long as the others,
// the last no longer. The odd one out is named.
std::optional<std::string> ImplausibleLength(const std::string& basePath,
                                             const std::vector<std::int64_t>& lengths) {
  if (lengths.size() < 2) return std::nullopt;
  std::map<std::int64_t, int> seen;  // the length most fragments share is the part size
  for (std::size_t i = 0; i + 1 < lengths.size(); ++i) ++seen[lengths[i]];
  std::int64_t partSize = lengths.front();
  for (const auto& [length, times] : seen) {
    if (times > seen[partSize]) partSize = length;
  }
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    const bool last = i + 1 == lengths.size();
    if (last ? lengths[i] > partSize : lengths[i] != partSize) {
      return FragmentName(FileNameOf(basePath), static_cast<int>(i + 1)) +
             " has a length that cannot match " + FileNameOf(ChecksumFileName(basePath));
    }
  }
  return std::nullopt;
}

// How many fragments the set based on `basePath` has without a checksum
// file, adding their lengths to `total`: fragment 1 is there, and the set
// ends before the first number at which nothing is, unless something is at
// one of the kHoleLookAhead numbers after it: a set with a hole is refused.
// Something at a number that is not a regular file (a folder, a pipe, a
// dangling link) is not the end of the set but a refusal too. Error 6 when fragments 1 to 32767 all exist;
// a look-up that fails for another reason raises its file error.
std::variant<int, Outcome> CountSet(const std::string& basePath, std::int64_t& total) {
  for (int number = 2;; number = NextFragmentNumber(number)) {
    const std::string name = FragmentName(basePath, number);
    struct stat entry {};
    if (stat(name.c_str(), &entry) == 0 && S_ISREG(entry.st_mode)) {
      total += entry.st_size;
      continue;
    }
    if (lstat(name.c_str(), &entry) == 0) return NotDone(FileNameOf(name) + " is not a regular file");
    if (errno != ENOENT && errno != ENOTDIR) throw platform::FileError(errno, name);
    const int last = std::min(number + kHoleLookAhead, kLargestFragmentNumber);
    for (int later = number + 1; later <= last; ++later) {
      const std::string laterName = FragmentName(basePath, later);
      if (lstat(laterName.c_str(), &entry) == 0) {
        return NotDone(FileNameOf(name) + " is missing; " + FileNameOf(laterName) + " exists");
      }
    }
    return number - 1;
  }
}

}  // namespace

std::optional<Outcome> Unrebuildable(const std::vector<int>& lost, const SetRecovery& recovery) {
  std::size_t slices = 0;
  for (const int number : lost) slices += recovery.Fragment(number).slices.size();
  if (slices <= recovery.blocks.size()) return std::nullopt;
  return NotDone(std::to_string(lost.size()) + " fragments are damaged or missing; " + recovery.index +
                 " rebuilds at most " + std::to_string(recovery.blocks.size()));
}

std::variant<JoinPlan, Outcome> Plan(const std::string& basePath, const File& first,
                                     const SetOptions& options) {
  JoinPlan plan;
  ChecksumFile listed;
  if (options.checksums) listed = ReadChecksumFile(basePath);
  if (listed.state == ChecksumFile::State::Damaged) return NotDone(listed.damage);
  if (listed.state == ChecksumFile::State::Missing) {
    plan.total = platform::LengthOf(first);
    auto counted = CountSet(basePath, plan.total);
    if (auto* refused = std::get_if<Outcome>(&counted)) return *refused;
    plan.count = std::get<int>(counted);
    return plan;
  }
  plan.count = static_cast<int>(listed.checksums.fragments.size());
  std::vector<std::int64_t> lengths{platform::LengthOf(first)};
  for (int number = 2; number <= plan.count; ++number) {
    const std::string name = FragmentName(basePath, number);
    if (!platform::FileExists(name)) return NotDone(FileNameOf(name) + " is missing");
    lengths.push_back(platform::FileLength(name));
  }
  if (auto problem = ImplausibleLength(basePath, lengths)) return NotDone(*problem);
  for (const std::int64_t length : lengths) plan.total += length;
  plan.checksums = std::move(listed.checksums);
  plan.checksumPath = ChecksumFileName(basePath);
  return plan;
}

std::variant<JoinPlan, Outcome> PlanWithRecovery(const std::string& basePath, SetRecovery recovery,
                                                 ProgressMeter& meter) {
  JoinPlan plan;
  auto beside = ChecksumFileBeside(basePath, recovery);
  if (auto* refused = std::get_if<Outcome>(&beside)) return *refused;
  const ChecksumFile& listed = std::get<ChecksumFile>(beside);
  plan.count = recovery.FragmentCount();
  if (listed.state == ChecksumFile::State::Valid) {
    plan.checksums = listed.checksums;
    plan.checksumPath = ChecksumFileName(basePath);
  }
  for (int number = 1; number <= plan.count; ++number) {
    const std::string name = FragmentName(basePath, number);
    const std::int64_t length = recovery.Fragment(number).length;
    plan.lengths.push_back(length);
    plan.total += length;
    struct stat entry {};
    if (stat(name.c_str(), &entry) != 0 || !S_ISREG(entry.st_mode) || entry.st_size != length) {
      plan.lost.push_back(number);
    }
  }
  if (!plan.checksums) {
    meter.AddWorkBefore(plan.total);
    plan.lost = LostFragments(basePath, recovery, meter);
    meter.Settle(plan.total);
  }
  if (auto refused = Unrebuildable(plan.lost, recovery)) return *refused;
  plan.recovery = std::move(recovery);
  return plan;
}

}  // namespace control
