#pragma once

#include <string>

namespace platform {

// A path the file calls may be given: not empty, and free of NUL bytes, which
// would silently cut the name short and name another file.
inline bool IsUsablePath(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

}  // namespace platform
