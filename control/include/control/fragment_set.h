#pragma once

#include <cstdint>
#include <string>

namespace control {

// Fragment numbers are signed 16-bit: the largest that can be written.
inline constexpr int kLargestFragmentNumber = 32767;
// The most fragments a split writes: a join counts a set only while the next
// number still fits, so fragment 32767 would end it with error 6.
inline constexpr int kLargestSetSize = kLargestFragmentNumber - 1;

// How many numbers past a missing one a join without a checksum file looks
// for more fragments: a set with one of them has a hole and is refused, one
// without any ends at the gap. A split that writes no checksum file keeps the
// same numbers after its last fragment clear.
inline constexpr int kHoleLookAhead = 10;

// The name of fragment `number` of the set based on `basePath`: the base path,
// a full stop, the number in decimal ("film.avi.10").
std::string FragmentName(const std::string& basePath, int number);

// The file that the set member `memberPath` rebuilds: the path without a
// final ".sha256" (the set's checksum file), ".par2" or ".volA+B.par2" (its
// recovery data), or without a final ".N" (N from 1 to kLargestSetSize, no
// leading zeros) when N is 1 or the result's ".1", ".sha256" or ".par2" is a
// regular file; otherwise the path itself. Only the last name of the path
// counts ("copias.1/filme.avi.1" gives "copias.1/filme.avi"); a look-up that
// fails is taken for no file, so this never raises.
std::string SetNameOf(const std::string& memberPath);

// The fragment number after `number`; moving past kLargestFragmentNumber
// raises error 6 (overflow).
int NextFragmentNumber(int number);

// How many fragments the set based on `basePath` has: the fragments from 1 up
// to the first missing number. 0 when there is no fragment 1; error 6 when
// fragments 1 to 32767 all exist.
int CountFragments(const std::string& basePath);

// The part size that cuts a file of `fileLength` bytes into at most `parts`
// fragments: fileLength / parts + 1, rounded to the nearest whole number and a
// tie to the even one, computed exactly in integers. `parts` is at least 1.
std::int64_t PartSize(std::int64_t fileLength, int parts);

// How many fragments of `partSize` bytes (the last one shorter) a file of
// `fileLength` bytes is cut into; 0 when either is 0.
std::int64_t FragmentsOf(std::int64_t fileLength, std::int64_t partSize);

// The largest number of parts, at most kLargestFragmentNumber, that cuts a
// file of `fileLength` bytes into no more than kLargestSetSize fragments of
// PartSize: 32767, or 32766 where the part size's rounding down would make
// 32767 fragments.
int LargestPartsNumber(std::int64_t fileLength);

// A split to fit: how many fragments, and of what size (the last one no longer).
struct FitPlan {
  int parts = 0;
  std::int64_t partSize = 0;
};

// The split that cuts a file of `fileLength` bytes into the fewest fragments
// of at most `sizeLimit` bytes, all of one size but the last:
// ceil(fileLength / sizeLimit) parts of ceil(fileLength / parts) bytes, the
// last one no longer. One fragment for a file that fits already, none (and a
// part size of 0) for an empty file. Raises error 5 for a limit below 1 and
// error 6 for more than kLargestSetSize fragments.
FitPlan FitToLimit(std::int64_t fileLength, std::int64_t sizeLimit);

// What a split into `parts` parts makes of a file of `fileLength` bytes:
// fragments of PartSize, which can be fewer than `parts` for a short file
// (10 bytes in 4 parts are fragments of 4, 4 and 2 bytes).
// Nothing for fewer than 2 parts, which a split refuses; error 6 for more
// fragments than a set holds.
FitPlan SplitInParts(std::int64_t fileLength, int parts);

}  // namespace control
