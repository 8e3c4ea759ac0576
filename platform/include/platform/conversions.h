#pragma once

#include <platform/export.h>

#include <cstdint>
#include <string>
#include <string_view>

// Number <-> text conversions that never consult the process's C locale: the
// decimal separator the user sees ('.' or ',') is passed in explicitly, and
// where text is read the other of the two groups thousands.
namespace platform {

// `value` rounded to nearest, a tie to even; RuntimeError(Overflow) outside int16 or for NaN.
PLATFORM_EXPORT std::int16_t ToInteger16(double value);

// The same for a signed 32-bit integer.
PLATFORM_EXPORT std::int32_t ToInteger32(double value);

// All of `text` as a number (blanks around, &H/&O, the other separator grouping); else TypeMismatch.
PLATFORM_EXPORT double NumberFromText(std::string_view text, char decimalSeparator);

// NumberFromText through ToInteger16.
PLATFORM_EXPORT std::int16_t PartsFromText(std::string_view text, char decimalSeparator);

// The number `text` starts with ('.' point, blanks ignored), 0 if none; Overflow past a double.
PLATFORM_EXPORT double LeadingNumber(std::string_view text);

// At most 15 significant digits, E form for exponents < -4 or >= 15; Overflow if not finite.
PLATFORM_EXPORT std::string NumberToText(double value, char decimalSeparator);

// A duration of `seconds` (rounded to whole ones) as a clock shows it: "0:42",
// "12:05", "1:02:09".
PLATFORM_EXPORT std::string ClockText(double seconds);

}  // namespace platform
