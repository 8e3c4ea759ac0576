#include <control/fragment_set.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <algorithm>

namespace control {

using platform::ErrorNumber;
using platform::RuntimeError;

std::string FragmentName(const std::string& basePath, int number) {
  return basePath + "." + std::to_string(number);
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
