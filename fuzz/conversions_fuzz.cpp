// The number <-> text conversions on fuzzed text and numbers. The first byte
// picks the decimal separator (',' for a comma, else '.'); the rest is the
// text, and its first 8 bytes are also taken as a double's bits.
//
// Every failure is RuntimeError 13 or 6 and nothing else escapes. A number
// rendered to text reads back to a number that renders to the same text
// (15 digits survive a double both ways), and the leading-number rule reads
// that text as the full-text rule does. Rounding to an integer moves a value
// by at most one half, and a half goes to the even neighbour.
#include "fuzz_check.h"

#include <platform/conversions.h>
#include <platform/runtime_error.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

using platform::ErrorNumber;
using platform::RuntimeError;

bool Is(const RuntimeError& error, ErrorNumber number) {
  return error.number() == static_cast<std::int32_t>(number);
}

// `read()`, or nothing when it raised one of the errors a conversion may raise.
template <typename Read>
auto Try(Read read, bool mayMismatch) -> std::optional<decltype(read())> {
  try {
    return read();
  } catch (const RuntimeError& error) {
    Require(Is(error, ErrorNumber::Overflow) || (mayMismatch && Is(error, ErrorNumber::TypeMismatch)),
            "a conversion raised a runtime error other than 6 or 13");
    return std::nullopt;
  }
}

template <typename Integer>
void CheckRounding(double value, Integer (*toInteger)(double)) {
  const auto rounded = Try([&] { return static_cast<double>(toInteger(value)); }, false);
  if (!rounded) return;
  const double moved = std::fabs(*rounded - value);
  Require(moved <= 0.5, "rounding moved a value by more than one half");
  Require(moved < 0.5 || std::fmod(*rounded, 2.0) == 0.0, "a half rounded to the odd neighbour");
}

void CheckNumber(double value, char separator) {
  CheckRounding(value, platform::ToInteger16);
  CheckRounding(value, platform::ToInteger32);
  const auto text = Try([&] { return platform::NumberToText(value, separator); }, false);
  Require(text.has_value() == std::isfinite(value), "only a finite number has a text");
  if (!text) return;
  const auto back = Try([&] { return platform::NumberFromText(*text, separator); }, false);
  if (!back) {
    // The largest magnitudes round to 15 digits past the largest double.
    std::string_view magnitude = *text;
    if (magnitude.front() == '-') magnitude.remove_prefix(1);
    Require(magnitude == platform::NumberToText(DBL_MAX, separator),
            "a rendered number does not read back");
    return;
  }
  Require(platform::NumberToText(*back, separator) == *text,
          "a rendered number reads back to a number with another text");
  if (separator == '.') {
    Require(platform::LeadingNumber(*text) == *back, "the leading number of a rendered number differs");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const char separator = data[0] == ',' ? ',' : '.';
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const auto number = Try([&] { return platform::NumberFromText(text, separator); }, true);
  Try([&] { return platform::PartsFromText(text, separator); }, true);
  Try([&] { return platform::LeadingNumber(text); }, false);
  if (number) CheckNumber(*number, separator);

  if (text.size() >= sizeof(double)) {
    double bits = 0;
    std::memcpy(&bits, text.data(), sizeof bits);
    CheckNumber(bits, separator);
  }
  return 0;
}
