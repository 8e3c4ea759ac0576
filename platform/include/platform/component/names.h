#pragma once

#include <platform/export.h>

#include <string_view>

namespace platform {

// Names of members, property keys and registry keys compare without regard
// to ASCII letter case, as hosts expect.
PLATFORM_EXPORT bool SameName(std::string_view left, std::string_view right);

}  // namespace platform
