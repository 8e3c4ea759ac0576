#pragma once

#include <platform/export.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A 128-bit identifier of an interface, a class or a type library. Written as
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hexadecimal, the form
// the registry and the command-line tool use.
struct Guid {
  std::array<std::uint8_t, 16> bytes{};

  // The identifier in its written form, braces included; no check is made here
  // (a malformed literal is caught by the tests that use it).
  static constexpr Guid FromLiteral(std::string_view text) {
    Guid guid;
    std::size_t byte = 0;
    int high = -1;
    for (char c : text) {
      int value = -1;
      if (c >= '0' && c <= '9') value = c - '0';
      if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
      if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
      if (value < 0 || byte >= guid.bytes.size()) continue;
      if (high < 0) {
        high = value;
      } else {
        guid.bytes[byte++] = static_cast<std::uint8_t>(high * 16 + value);
        high = -1;
      }
    }
    return guid;
  }

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
PLATFORM_EXPORT std::string ToText(const Guid& guid);

// The identifier written in `text` (braces required, either letter case);
// nothing when `text` is not exactly such an identifier.
PLATFORM_EXPORT std::optional<Guid> GuidFromText(std::string_view text);

}  // namespace platform
