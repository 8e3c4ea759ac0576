#include <platform/conversions.h>
#include <platform/runtime_error.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>
#include <utility>

namespace platform {
namespace {

// A number as read from text, before it becomes a double: its decimal digits,
// how many of them stand before the decimal point, its sign and its exponent.
struct DecimalText {
  bool negative = false;
  std::string digits;
  std::size_t integerDigits = 0;
  std::int64_t exponent = 0;
};

// What a scan read and how many characters it took.
template <typename T>
struct Scanned {
  T value;
  std::size_t length;
};

// Exponents are clamped here: far outside any double, yet safe to add to a
// digit count without overflowing.
constexpr std::int64_t kExponentLimit = 1'000'000'000;

// Radix values are clamped just above 32 bits, which is already too large.
constexpr std::uint64_t kRadixLimit = 0x1'0000'0000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSign(char c) { return c == '+' || c == '-'; }

// The value of a hexadecimal digit in either case; -1 for any other character.
int DigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "E" or "e", an optional sign and at least one digit at `pos`. nullopt when
// they are not all there: then the E is not part of the number.
std::optional<Scanned<std::int64_t>> ScanExponent(std::string_view text, std::size_t pos) {
  std::size_t at = pos;
  if (at >= text.size() || (text[at] != 'E' && text[at] != 'e')) return std::nullopt;
  ++at;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && IsSign(text[at])) ++at;
  const std::size_t firstDigit = at;
  std::int64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    magnitude = std::min(magnitude * 10 + (text[at] - '0'), kExponentLimit);
  }
  if (at == firstDigit) return std::nullopt;
  return Scanned<std::int64_t>{negative ? -magnitude : magnitude, at - pos};
}

// An optional sign, digits with at most one `decimalSeparator`, and an optional
// exponent at the start of `text`, taken as far as they go. A `groupSeparator`
// standing between two digits of the integer part is skipped. nullopt when
// there is no digit.
std::optional<Scanned<DecimalText>> ScanDecimal(std::string_view text, char decimalSeparator,
                                                std::optional<char> groupSeparator) {
  DecimalText number;
  std::size_t at = 0;
  if (at < text.size() && IsSign(text[at])) number.negative = text[at++] == '-';
  for (; at < text.size(); ++at) {
    const bool grouping = text[at] == groupSeparator && !number.digits.empty() &&
                          at + 1 < text.size() && IsDigit(text[at + 1]);
    if (IsDigit(text[at])) {
      number.digits += text[at];
    } else if (!grouping) {
      break;
    }
  }
  number.integerDigits = number.digits.size();
  if (at < text.size() && text[at] == decimalSeparator) {
    for (++at; at < text.size() && IsDigit(text[at]); ++at) number.digits += text[at];
  }
  if (number.digits.empty()) return std::nullopt;
  if (const auto exponent = ScanExponent(text, at)) {
    number.exponent = exponent->value;
    at += exponent->length;
  }
  return Scanned<DecimalText>{std::move(number), at};
}

// The decimal exponent of the leading significant digit of a non-zero number.
std::int64_t Magnitude(const DecimalText& number) {
  const auto first = static_cast<std::int64_t>(number.digits.find_first_not_of('0'));
  return number.exponent + static_cast<std::int64_t>(number.integerDigits) - 1 - first;
}

// The double nearest to `number`, never negative zero; 0 when it is too small
// for a double, RuntimeError(Overflow) when it is too large.
double ToDouble(const DecimalText& number) {
  if (number.digits.find_first_not_of('0') == std::string::npos) return 0.0;
  std::string text = number.digits;
  text.insert(number.integerDigits, 1, '.');
  text += 'e';
  std::array<char, 24> exponent{};
  const auto written = std::to_chars(exponent.begin(), exponent.end(), number.exponent);
  text.append(exponent.begin(), written.ptr);
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (Magnitude(number) > 0) throw RuntimeError(ErrorNumber::Overflow);
    return 0.0;
  }
  if (value == 0.0) return 0.0;
  return number.negative ? -value : value;
}

// "&H" and hexadecimal digits or "&O" and octal digits (either case) at the
// start of `text`, as an unsigned value clamped to kRadixLimit. nullopt when
// `text` does not start that way.
std::optional<Scanned<std::uint64_t>> ScanRadix(std::string_view text) {
  if (text.size() < 2 || text[0] != '&') return std::nullopt;
  const char kind = text[1];
  const int base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
  if (base == 0) return std::nullopt;
  std::uint64_t value = 0;
  std::size_t at = 2;
  for (; at < text.size(); ++at) {
    const int digit = DigitValue(text[at]);
    if (digit < 0 || digit >= base) break;
    value = std::min(value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit),
                     kRadixLimit);
  }
  if (at == 2) return std::nullopt;
  return Scanned<std::uint64_t>{value, at};
}

// A radix value as the signed bit pattern of the narrowest width holding it:
// up to 16 bits (&HFFFF is -1), else up to 32 bits; RuntimeError(Overflow) beyond.
double RadixValue(std::uint64_t value) {
  if (value <= 0xFFFF) return static_cast<std::int16_t>(value);
  if (value <= 0xFFFF'FFFF) return static_cast<std::int32_t>(value);
  throw RuntimeError(ErrorNumber::Overflow);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

namespace {

// `value` rounded to the nearest whole number, a tie to the even one;
// RuntimeError(Overflow) outside [lowest, highest] or for NaN.
double RoundHalfEven(double value, double lowest, double highest) {
  if (!std::isfinite(value)) throw RuntimeError(ErrorNumber::Overflow);
  const double below = std::floor(value);
  const double fraction = value - below;  // exact for every double
  double rounded = fraction < 0.5 ? below : below + 1.0;
  if (fraction == 0.5 && std::fmod(below, 2.0) == 0.0) rounded = below;
  if (rounded < lowest || rounded > highest) throw RuntimeError(ErrorNumber::Overflow);
  return rounded;
}

}  // namespace

std::int16_t ToInteger16(double value) {
  return static_cast<std::int16_t>(RoundHalfEven(value, -32768.0, 32767.0));
}

std::int32_t ToInteger32(double value) {
  return static_cast<std::int32_t>(RoundHalfEven(value, -2147483648.0, 2147483647.0));
}

double NumberFromText(std::string_view text, char decimalSeparator) {
  const std::string_view number = TrimBlanks(text);
  if (const auto radix = ScanRadix(number); radix && radix->length == number.size()) {
    return RadixValue(radix->value);
  }
  const char groupSeparator = decimalSeparator == '.' ? ',' : '.';
  const auto decimal = ScanDecimal(number, decimalSeparator, groupSeparator);
  if (!decimal || decimal->length != number.size()) throw RuntimeError(ErrorNumber::TypeMismatch);
  return ToDouble(decimal->value);
}

std::int16_t PartsFromText(std::string_view text, char decimalSeparator) {
  return ToInteger16(NumberFromText(text, decimalSeparator));
}

double LeadingNumber(std::string_view text) {
  std::string compact;
  std::copy_if(text.begin(), text.end(), std::back_inserter(compact),
               [](char c) { return !IsBlank(c) && c != '\n'; });
  if (const auto radix = ScanRadix(compact)) return RadixValue(radix->value);
  if (const auto decimal = ScanDecimal(compact, '.', std::nullopt)) return ToDouble(decimal->value);
  return 0.0;
}

std::string NumberToText(double value, char decimalSeparator) {
  if (!std::isfinite(value)) throw RuntimeError(ErrorNumber::Overflow);
  if (value == 0.0) return "0";
  // Longest result: sign, 15 digits, point, "e-308" -- 22 characters.
  std::array<char, 32> buffer{};
  const auto result =
      std::to_chars(buffer.begin(), buffer.end(), value, std::chars_format::general, 15);
  std::string text(buffer.begin(), result.ptr);
  for (char& c : text) {
    if (c == '.') c = decimalSeparator;
    if (c == 'e') c = 'E';
  }
  return text;
}

std::string ClockText(double seconds) {
  const long whole = std::lround(seconds);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace platform
