#include "gf16.h"

#include <platform/runtime_error.h>

#include <gf_complete.h>

#include <dlfcn.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace control::par2 {

namespace {

constexpr std::uint32_t kOrder = 65535;  // of the multiplicative group

// Logarithms and powers of the generator 2.
struct Tables {
  std::array<std::uint16_t, 65536> log{};
  std::array<std::uint16_t, 2 * kOrder> exp{};
  Tables() {
    std::uint32_t value = 1;
    for (std::uint32_t power = 0; power < kOrder; ++power) {
      exp[power] = exp[power + kOrder] = static_cast<std::uint16_t>(value);
      log[value] = static_cast<std::uint16_t>(power);
      value <<= 1;
      if (value & 0x10000) value ^= kFieldPolynomial;
    }
  }
};

const Tables& TheTables() {
  static const auto tables = std::make_unique<Tables>();
  return *tables;
}

// The field library, loaded on first use so that a split without recovery
// data never loads it. The name is the one of the major version the build
// found; it picks the fastest instructions of the processor itself.
constexpr const char* kFieldLibrary = "libgf_complete.so.1";

struct FieldLibrary {
  gf_t field{};
};

// Why the library cannot be used, in words; empty once it is set up.
std::string LoadField(FieldLibrary& library) {
  void* handle = dlopen(kFieldLibrary, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    return std::string(kFieldLibrary) + " does not load (" + (reason != nullptr ? reason : "") +
           ")";
  }
  using InitEasy = int (*)(GFP, int);
  const auto initialise = reinterpret_cast<InitEasy>(dlsym(handle, "gf_init_easy"));
  if (initialise == nullptr) return std::string(kFieldLibrary) + " lacks gf_init_easy";
  if (initialise(&library.field, 16) == 0) {
    return std::string(kFieldLibrary) + " cannot set up the 16-bit field";
  }
  return {};
}

gf_t& TheField() {
  static FieldLibrary library;
  static const std::string failure = LoadField(library);
  if (!failure.empty()) {
    const auto number = static_cast<std::int32_t>(platform::ErrorNumber::CannotCreateObject);
    throw platform::RuntimeError(
        number, std::string(platform::DescribeError(number)) + ": recovery data: " + failure);
  }
  return library.field;
}

// The exponents n >= 1 whose powers of 2 are the input constants: those with
// n % 3, n % 5, n % 17 and n % 257 all non-zero, which keeps every power of
// the generator that a constant gives of full order.
const std::vector<std::uint16_t>& ConstantExponents() {
  static const std::vector<std::uint16_t> exponents = [] {
    std::vector<std::uint16_t> found;
    for (std::uint32_t n = 1; found.size() < 32768; ++n) {
      if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0) {
        found.push_back(static_cast<std::uint16_t>(n));
      }
    }
    return found;
  }();
  return exponents;
}

}  // namespace

std::uint16_t Multiply(std::uint16_t a, std::uint16_t b) {
  if (a == 0 || b == 0) return 0;
  const Tables& tables = TheTables();
  return tables.exp[std::uint32_t{tables.log[a]} + tables.log[b]];
}

std::uint16_t Inverse(std::uint16_t a) {
  const Tables& tables = TheTables();
  return tables.exp[(kOrder - tables.log[a]) % kOrder];
}

std::uint16_t Power(std::uint16_t base, std::uint32_t exponent) {
  if (exponent == 0) return 1;
  if (base == 0) return 0;
  const Tables& tables = TheTables();
  const std::uint64_t product = std::uint64_t{tables.log[base]} * exponent;
  return tables.exp[product % kOrder];
}

std::uint16_t InputConstant(int index) {
  return TheTables().exp[ConstantExponents().at(static_cast<std::size_t>(index))];
}

void MultiplyAdd(const unsigned char* source, unsigned char* target, std::uint16_t factor,
                 std::int64_t bytes) {
  if (factor == 0 || bytes <= 0) return;
  gf_t& field = TheField();
  field.multiply_region.w32(&field, const_cast<unsigned char*>(source), target, factor,
                            static_cast<int>(bytes), 1);
}

std::uint16_t LibraryMultiply(std::uint16_t a, std::uint16_t b) {
  gf_t& field = TheField();
  return static_cast<std::uint16_t>(field.multiply.w32(&field, a, b));
}

}  // namespace control::par2
