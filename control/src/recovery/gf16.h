#pragma once

// Arithmetic in GF(2^16) with the polynomial x^16 + x^12 + x^3 + x + 1
// (0x1100B), on which the recovery slices are computed.

#include <cstdint>

namespace control::par2 {

inline constexpr std::uint32_t kFieldPolynomial = 0x1100B;

std::uint16_t Multiply(std::uint16_t a, std::uint16_t b);
// The inverse of a non-zero element.
std::uint16_t Inverse(std::uint16_t a);
std::uint16_t Power(std::uint16_t base, std::uint32_t exponent);

// The constant of input slice `index` (0-based, in the order the main
// packet gives the files, then slice by slice within a file).
std::uint16_t InputConstant(int index);

// Adds `factor` times the `bytes` bytes at `source` to those at `target`,
// both read as little-endian 16-bit words; `bytes` is even and at most
// 2^30. Raises error 429 saying why when the field library cannot be loaded.
void MultiplyAdd(const unsigned char* source, unsigned char* target, std::uint16_t factor,
                 std::int64_t bytes);

// The field library's own multiplication of one element, to check that it
// computes in the same field as this code; raises error 429 as above.
std::uint16_t LibraryMultiply(std::uint16_t a, std::uint16_t b);

}  // namespace control::par2
