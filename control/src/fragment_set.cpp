#include <control/fragment_set.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <algorithm>
#include <regex>
#include <string_view>
#include <sys/stat.h>

namespace control {

using platform::ErrorNumber;
using platform::RuntimeError;

std::string FragmentName(const std::string& basePath, int number) {
  return basePath + "." + std::to_string(number);
}

namespace {

// The number a fragment name ends in, "1" to "32766" with no leading zeros;
// 0 for any other ending.
int FragmentNumberOf(std::string_view ending) {
  constexpr std::size_t kMostDigits = 5;
  if (ending.empty() || ending.size() > kMostDigits || ending.front() == '0') return 0;
  int number = 0;
  for (const char digit : ending) {
    if (digit < '0' || digit > '9') return 0;
    number = number * 10 + (digit - '0');
  }
  return number <= kLargestSetSize ? number : 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat entry {};
  return stat(path.c_str(), &entry) == 0 && S_ISREG(entry.st_mode);
}

}  // namespace

std::string SetNameOf(const std::string& memberPath) {
  constexpr std::string_view kChecksumEnding = ".sha256";
  if (memberPath.ends_with(kChecksumEnding)) {
    return memberPath.substr(0, memberPath.size() - kChecksumEnding.size());
  }
  // The recovery data: "film.avi.par2" and "film.avi.volA+B.par2".
  static const std::regex kRecoveryFile(R"((.+?)(\.vol[0-9]+\+[0-9]+)?\.par2)");
  std::smatch recovery;
  if (std::regex_match(memberPath, recovery, kRecoveryFile)) return recovery[1].str();
  const std::size_t dot = memberPath.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return memberPath;
  const int number = FragmentNumberOf(std::string_view(memberPath).substr(dot + 1));
  if (number == 0) return memberPath;
  std::string base = memberPath.substr(0, dot);
  // A set that lost fragment 1 is still known by its checksum or recovery data.
  const bool member = number == 1 || IsRegularFile(FragmentName(base, 1)) ||
                      IsRegularFile(base + std::string(kChecksumEnding)) || IsRegularFile(base + ".par2");
  return member ? base : memberPath;
}

int NextFragmentNumber(int number) {
  if (number >= kLargestFragmentNumber) throw RuntimeError(ErrorNumber::Overflow);
  return number + 1;
}

int CountFragments(const std::string& basePath) {
  if (!platform::FileExists(FragmentName(basePath, 1))) return 0;
  int number = 1;
  for (;;) {
    number = NextFragmentNumber(number);
    if (!platform::FileExists(FragmentName(basePath, number))) return number - 1;
  }
}

std::int64_t PartSize(std::int64_t fileLength, int parts) {
  if (parts < 1) throw RuntimeError(ErrorNumber::InvalidProcedureCall);
  const std::int64_t quotient = fileLength / parts;
  const std::int64_t twiceRemainder = 2 * (fileLength % parts);
  if (twiceRemainder < parts) return quotient + 1;
  if (twiceRemainder > parts) return quotient + 2;
  return (quotient + 1) % 2 == 0 ? quotient + 1 : quotient + 2;
}

std::int64_t FragmentsOf(std::int64_t fileLength, std::int64_t partSize) {
  if (fileLength == 0 || partSize == 0) return 0;
  return (fileLength - 1) / partSize + 1;
}

int LargestPartsNumber(std::int64_t fileLength) {
  // Fewer parts never make more fragments, and n parts never more than n:
  // the part size is above fileLength / n. So this stops by kLargestSetSize.
  int parts = kLargestFragmentNumber;
  while (FragmentsOf(fileLength, PartSize(fileLength, parts)) > kLargestSetSize) --parts;
  return parts;
}

FitPlan FitToLimit(std::int64_t fileLength, std::int64_t sizeLimit) {
  if (sizeLimit < 1) throw RuntimeError(ErrorNumber::InvalidProcedureCall);
  const std::int64_t parts = FragmentsOf(fileLength, sizeLimit);
  if (parts > kLargestSetSize) throw RuntimeError(ErrorNumber::Overflow);
  if (parts == 0) return {};
  // fileLength / parts, rounded up: no more than the limit, and it cuts
  // exactly `parts` fragments, the last one no longer than the others.
  return {static_cast<int>(parts), (fileLength - 1) / parts + 1};
}

FitPlan SplitInParts(std::int64_t fileLength, int parts) {
  if (parts < 2) return {};
  const std::int64_t partSize = PartSize(fileLength, parts);
  const std::int64_t fragments = FragmentsOf(fileLength, partSize);
  if (fragments > kLargestSetSize) throw RuntimeError(ErrorNumber::Overflow);
  // A single fragment is the whole file, however large the part size.
  return {static_cast<int>(fragments), std::min(partSize, fileLength)};
}

}  // namespace control
