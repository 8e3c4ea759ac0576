#pragma once

#include <cstdint>
#include <string>

namespace control {

// Fragment numbers are signed 16-bit: the largest that can be written.
inline constexpr int kLargestFragmentNumber = 32767;

// How many numbers past a missing one a join without a checksum file looks
// for more fragments: a set with one of them has a hole and is refused, one
// without any ends at the gap. A split that writes no checksum file keeps the
// same numbers after its last fragment clear.
inline constexpr int kHoleLookAhead = 10;

// The name of fragment `number` of the set based on `basePath`: the base path,
// a full stop, the number in decimal ("film.avi.10").
std::string FragmentName(const std::string& basePath, int number);

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

}  // namespace control
