#pragma once

#include <cstdint>
#include <string_view>

namespace control {

// The part size limit, in bytes, that fits one part whole on a common medium
// or through a common service, by its name:
//   "FAT32"   the largest file FAT32 holds;
//   "CD", "DVD"  what an ISO 9660 disc holds in one file, no file past
//            4 GiB - 1 bytes;
//   "DVD DL", "BD"  what a UDF disc holds in one file;
//   "mail"   the largest attachment a 25,000,000-byte message carries.
// Raises error 5 for any other name.
std::int64_t PresetLimit(std::string_view name);

}  // namespace control
