#pragma once

#include "background_hash.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace control {

// What a checksum file says of a set: each fragment's SHA-256 in order, and
// the whole file's when it is given.
struct SetChecksums {
  std::vector<Digest> fragments;
  std::optional<Digest> whole;
};

// A digest in lower-case hexadecimal, and back (either case; nothing when
// `hex` is not 64 hexadecimal digits).
std::string Hex(const Digest& digest);
std::optional<Digest> DigestOfHex(std::string_view hex);

// The checksum file of the set based on `basePath`: "<basePath>.sha256".
std::string ChecksumFileName(const std::string& basePath);

// False when the checksum file's name is longer than a file system can hold
// (a name of 249 bytes and more, or a path at the system's limit): such a set
// has no checksum file, as one made by another program has none.
bool CanHaveChecksumFile(const std::string& basePath);

// The file name of `path`, without its folder.
std::string FileNameOf(const std::string& path);

// The checksum file's text, in the GNU sha256sum format: a line per fragment
// in order, then one for the whole file, each "<hex>  <file name>", with a
// name holding a backslash or a line break escaped as sha256sum escapes it.
std::string FormatChecksums(const std::string& baseName, const SetChecksums& checksums);

// Reads checksum text for the set whose base path has the file name
// `baseName`. Every line must name the next fragment ("<baseName>.1", then
// ".2", ...) except an optional last one naming the whole file; lines that
// start with '#' are comments. Anything else leaves `damage` saying which
// line is wrong and how, and gives nothing.
std::optional<SetChecksums> ParseChecksums(std::string_view text, const std::string& baseName,
                                           std::string& damage);

// What the checksum file beside a set holds.
struct ChecksumFile {
  enum class State { Missing, Valid, Damaged };
  State state = State::Missing;
  SetChecksums checksums;  // when Valid
  std::string damage;      // when Damaged: the file, the line and what is wrong
};

// Reads the checksum file of the set based on `basePath`. Missing when no
// regular file of that name is there, or none can be; a failed read raises
// its file error.
ChecksumFile ReadChecksumFile(const std::string& basePath);

}  // namespace control
