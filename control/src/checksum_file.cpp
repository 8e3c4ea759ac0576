#include "checksum_file.h"

#include <control/fragment_set.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>

namespace control {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::size_t kHexLength = 64;
// Far more than a checksum file of the largest set can need: a hostile file
// is not read into memory whole.
constexpr std::int64_t kLargestChecksumFile = std::int64_t{32} << 20;

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

bool NeedsEscape(std::string_view name) { return name.find_first_of("\\\n\r") != name.npos; }

std::string Escaped(std::string_view name) {
  std::string text;
  for (const char c : name) {
    if (c == '\\') text += "\\\\";
    else if (c == '\n') text += "\\n";
    else if (c == '\r') text += "\\r";
    else text += c;
  }
  return text;
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      name += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    if (text[i] == '\\') name += '\\';
    else if (text[i] == 'n') name += '\n';
    else if (text[i] == 'r') name += '\r';
    else return std::nullopt;
  }
  return name;
}

// One line "<hex>  <name>" (or " *<name>", as sha256sum writes in binary
// mode); nothing when it is not one, with `damage` saying why.
std::optional<std::pair<Digest, std::string>> ParseLine(std::string_view line,
                                                         std::string& damage) {
  const bool escaped = !line.empty() && line.front() == '\\';
  if (escaped) line.remove_prefix(1);
  if (line.size() < kHexLength + 3 || line[kHexLength] != ' ' ||
      (line[kHexLength + 1] != ' ' && line[kHexLength + 1] != '*')) {
    damage = "not a checksum line";
    return std::nullopt;
  }
  const std::optional<Digest> digest = DigestOfHex(line.substr(0, kHexLength));
  if (!digest) {
    damage = "not a SHA-256 in hexadecimal";
    return std::nullopt;
  }
  std::optional<std::string> name{std::string(line.substr(kHexLength + 2))};
  if (escaped) name = Unescaped(*name);
  if (!name) {
    damage = "a name with a bad escape";
    return std::nullopt;
  }
  return std::pair{*digest, std::move(*name)};
}

}  // namespace

std::string Hex(const Digest& digest) {
  std::string text;
  for (const unsigned char byte : digest) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0xF];
  }
  return text;
}

std::optional<Digest> DigestOfHex(std::string_view hex) {
  if (hex.size() != 2 * Digest().size()) return std::nullopt;
  Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = HexValue(hex[2 * i]);
    const int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<unsigned char>(high << 4 | low);
  }
  return digest;
}

std::string ChecksumFileName(const std::string& basePath) { return basePath + ".sha256"; }

bool CanHaveChecksumFile(const std::string& basePath) {
  const std::string path = ChecksumFileName(basePath);
  return FileNameOf(path).size() <= NAME_MAX && path.size() < PATH_MAX;
}

std::string FileNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FormatChecksums(const std::string& baseName, const SetChecksums& checksums) {
  std::string text;
  const auto addLine = [&](const Digest& digest, const std::string& name) {
    if (NeedsEscape(name)) text += '\\';
    text += Hex(digest) + "  " + Escaped(name) + '\n';
  };
  for (std::size_t i = 0; i < checksums.fragments.size(); ++i) {
    addLine(checksums.fragments[i], FragmentName(baseName, static_cast<int>(i + 1)));
  }
  if (checksums.whole) addLine(*checksums.whole, baseName);
  return text;
}

std::optional<SetChecksums> ParseChecksums(std::string_view text, const std::string& baseName,
                                           std::string& damage) {
  SetChecksums checksums;
  int lineNumber = 0;
  const auto fail = [&](const std::string& what) {
    damage = "line " + std::to_string(lineNumber) + ": " + what;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == text.npos ? text.size() : end + 1);
    if (!line.empty() && line.front() == '#') continue;
    std::string what;
    auto entry = ParseLine(line, what);
    if (!entry) return fail(what);
    if (checksums.whole) return fail("a line after the whole file's");
    const int number = static_cast<int>(checksums.fragments.size()) + 1;
    if (entry->second == baseName && number > 1) {
      checksums.whole = entry->first;
    } else if (number == kLargestFragmentNumber) {
      return fail("more fragments than a set can have");
    } else if (entry->second == FragmentName(baseName, number)) {
      checksums.fragments.push_back(entry->first);
    } else {
      return fail("expected " + Escaped(FragmentName(baseName, number)));
    }
  }
  if (checksums.fragments.empty()) return fail("no fragment listed");
  return checksums;
}

ChecksumFile ReadChecksumFile(const std::string& basePath) {
  const std::string path = ChecksumFileName(basePath);
  ChecksumFile result;
  if (!CanHaveChecksumFile(basePath) || !platform::FileExists(path)) return result;
  // Opened without waiting, so that a pipe put in its place cannot hang us.
  platform::File file =
      platform::File::Opened(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file.IsOpen()) {
    if (errno == ENOENT) return result;
    throw platform::FileError(errno, path);
  }
  struct stat status {};
  if (fstat(file.descriptor(), &status) != 0) throw platform::FileError(errno, path);
  if (!S_ISREG(status.st_mode)) return result;
  result.state = ChecksumFile::State::Damaged;
  const std::string name = FileNameOf(path);
  if (status.st_size > kLargestChecksumFile) {
    result.damage = name + " is too large to be a checksum file";
    return result;
  }
  std::string text(static_cast<std::size_t>(status.st_size), '\0');
  const std::int64_t got = platform::ReadAt(file, text.data(), text.size(), 0);
  if (got < 0) throw platform::FileError(errno, path);
  text.resize(static_cast<std::size_t>(got));
  std::string damage;
  if (auto checksums = ParseChecksums(text, FileNameOf(basePath), damage)) {
    result.state = ChecksumFile::State::Valid;
    result.checksums = std::move(*checksums);
  } else {
    result.damage = name + ", " + damage;
  }
  return result;
}

}  // namespace control
