#include <platform/component/registry.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "../path_checks.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace platform {
namespace {

constexpr char kSeparator = '\\';
constexpr std::string_view kHeader =
    "; Component registry. Written by the component tools; edit with care.\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kRegistryUnderDataFolder = "/components/registry.reg";
constexpr std::string_view kDataFolderUnderHome = "/.local/share";
constexpr std::string_view kDropInsUnderDataFolder = "/components/registry.d";
constexpr std::string_view kDropInSuffix = ".reg";
constexpr std::string_view kDefaultDataFolders = "/usr/local/share:/usr/share";
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kRegistryMode = 0644;
constexpr mode_t kLockMode = 0600;
constexpr std::size_t kReadChunkBytes = std::size_t{64} << 10;
// Keys nest at most this deep. A tree is written out, compared and destroyed
// recursively, so a deeper path read from a damaged file would exhaust the
// stack.
constexpr std::size_t kMaxKeyDepth = 512;

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// The parts of a key path between its '\' separators; empty parts included,
// so that a caller can refuse them.
std::vector<std::string_view> SplitKeyPath(std::string_view keyPath) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t end = keyPath.find(kSeparator);
    parts.push_back(keyPath.substr(0, end));
    if (end == std::string_view::npos) return parts;
    keyPath.remove_prefix(end + 1);
  }
}

// True when every part names a key: a path like "A\\B" or "\A" names none.
bool NamesAKey(const std::vector<std::string_view>& parts) {
  return std::none_of(parts.begin(), parts.end(),
                      [](std::string_view part) { return part.empty(); });
}

// ---- The file form ------------------------------------------------------

void AppendQuoted(std::string& text, std::string_view raw) {
  text += '"';
  for (const char c : raw) {
    if (c == '\\' || c == '"') text += '\\';
    text += c;
  }
  text += '"';
}

// What is wrong with a line of a damaged file; the caller adds where.
struct LineDamage {
  const char* what;
};

std::string_view TrimLine(std::string_view line) {
  constexpr std::string_view kBlank = " \t\r";
  const std::size_t first = line.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(kBlank) - first + 1);
}

// The path of a "[key\path]" line. Everything between the first '[' and the
// last ']' belongs to the path, so a key name may itself contain ']'.
std::vector<std::string_view> ParseSectionLine(std::string_view line) {
  if (line.back() != ']') {
    throw LineDamage{line.find(']') == std::string_view::npos
                         ? "a [key] line without its closing ']'"
                         : "text after the closing ']' of a [key] line"};
  }
  const std::string_view keyPath = line.substr(1, line.size() - 2);
  if (keyPath.empty()) throw LineDamage{"an empty key name"};
  std::vector<std::string_view> parts = SplitKeyPath(keyPath);
  if (!NamesAKey(parts)) throw LineDamage{"a key name with an empty part between its '\\'"};
  if (parts.size() > kMaxKeyDepth) throw LineDamage{"a key path more than 512 keys deep"};
  return parts;
}

void SkipBlanks(std::string_view line, std::size_t& position) {
  while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
}

// Reads the quoted text that starts at `position` and moves past its closing
// quote. Only \\ and \" are escapes.
std::string ReadQuoted(std::string_view line, std::size_t& position) {
  std::string text;
  for (++position; position < line.size(); ++position) {
    char c = line[position];
    if (c == '"') {
      ++position;
      return text;
    }
    if (c == '\\') {
      if (++position == line.size()) break;
      c = line[position];
      if (c != '\\' && c != '"') {
        throw LineDamage{"an escape other than \\\\ or \\\" in quoted text"};
      }
    }
    text += c;
  }
  throw LineDamage{"a quote that is not closed"};
}

// The name and text of an `@="text"` or `"name"="text"` line.
std::pair<std::string, std::string> ParseValueLine(std::string_view line) {
  std::size_t position = 0;
  std::string name;
  if (line.front() == '@') {
    position = 1;
  } else {
    name = ReadQuoted(line, position);
  }
  SkipBlanks(line, position);
  if (position == line.size() || line[position] != '=') {
    throw LineDamage{"a value name without '=' after it"};
  }
  SkipBlanks(line, ++position);
  if (position == line.size() || line[position] != '"') {
    throw LineDamage{"a value whose text is not in quotes"};
  }
  std::string text = ReadQuoted(line, position);
  SkipBlanks(line, position);
  if (position != line.size()) throw LineDamage{"text after the closing quote of a value"};
  return {std::move(name), std::move(text)};
}

RuntimeError Damaged(std::size_t lineNumber, const LineDamage& damage,
                     const std::string& fileName) {
  return RuntimeError(static_cast<std::int32_t>(ErrorNumber::PathFileAccessError),
                      "The component registry is damaged at line " + std::to_string(lineNumber) +
                          ": " + damage.what,
                      fileName);
}

RuntimeError InvalidArgument(std::string description) {
  return RuntimeError(static_cast<std::int32_t>(ErrorNumber::InvalidProcedureCall),
                      std::move(description));
}

// ---- The file on disk ---------------------------------------------------

// The errno of the call that just failed; `fallback` when that call failed
// without setting one (a write that made no progress).
int ErrnoOr(int fallback) { return errno != 0 ? errno : fallback; }

std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

// $HOME when set, else the home folder in the user database.
std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  const long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && *found->pw_dir != '\0') {
    return found->pw_dir;
  }
  throw RuntimeError(static_cast<std::int32_t>(ErrorNumber::PathNotFound),
                     "The component registry has no location: HOME is not set and the user "
                     "database names no home folder");
}

bool IsFolder(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Creates `folder` and every missing folder above it, open to the user only:
// the registry names code that programs load, so nobody else may add to it.
void CreateFolders(const std::string& folder) {
  if (IsFolder(folder)) return;
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string prefix = folder.substr(0, slash);
    if (!IsFolder(prefix) && mkdir(prefix.c_str(), kFolderMode) != 0 && errno != EEXIST) {
      throw FileError(errno, prefix);
    }
    if (slash == std::string::npos) return;
  }
}

// The registry file `path` holds; an empty tree when there is none.
RegistryTree ReadTreeFrom(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) {
    if (errno == ENOENT) return {};
    throw FileError(errno, path);
  }
  const File file = File::Opened(descriptor);
  struct stat status {};
  if (fstat(descriptor, &status) != 0) throw FileError(errno, path);
  if (!S_ISREG(status.st_mode)) throw FileError(S_ISDIR(status.st_mode) ? EISDIR : EINVAL, path);
  std::string text;
  for (;;) {
    const std::size_t size = text.size();
    text.resize(size + kReadChunkBytes);
    const std::int64_t got =
        ReadAt(file, text.data() + size, kReadChunkBytes, static_cast<std::int64_t>(size));
    if (got < 0) throw FileError(errno, path);
    text.resize(size + static_cast<std::size_t>(got));
    if (got == 0) break;
  }
  return RegistryTree::FromText(text, path);
}

// Holds the exclusive lock on "<registry>.lock" until destroyed. The
// registry itself is replaced by rename on every update, so a lock on it
// would guard a file that is no longer the registry.
File LockRegistry(const std::string& registryPath) {
  const std::string lockPath = registryPath + ".lock";
  const int descriptor = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, kLockMode);
  if (descriptor < 0) throw FileError(errno, lockPath);
  File lock = File::Opened(descriptor);
  while (flock(descriptor, LOCK_EX) != 0) {
    if (errno != EINTR) throw FileError(errno, lockPath);
  }
  return lock;
}

// A temporary file that is removed unless it has been renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  void Kept() { path_.clear(); }

 private:
  std::string path_;
};

// Replaces the registry file with `text` so that a reader or a crash sees
// the old file or the new one and never a mix: written beside it, flushed,
// renamed over it, and the folder flushed so that the new name lasts.
void ReplaceFile(const std::string& path, const std::string& text) {
  const std::string folder = FolderOf(path);
  std::string temporaryName = folder + "/.registry-XXXXXX";
  const int descriptor = mkostemp(temporaryName.data(), O_CLOEXEC);
  if (descriptor < 0) throw FileError(errno, path);
  File file = File::Opened(descriptor);
  TemporaryFile temporary(temporaryName);
  if (fchmod(descriptor, kRegistryMode) != 0) throw FileError(errno, path);
  errno = 0;
  if (!WriteAll(file, text.data(), text.size())) throw FileError(ErrnoOr(EIO), path);
  if (!Flush(file) || !file.Close()) throw FileError(ErrnoOr(EIO), path);
  if (rename(temporaryName.c_str(), path.c_str()) != 0) throw FileError(errno, path);
  temporary.Kept();
  if (!FlushDirectoryOf(path)) throw FileError(ErrnoOr(EIO), folder);
}

}  // namespace

// ---- RegistryTree -------------------------------------------------------

bool RegistryTree::CaseInsensitiveLess::operator()(std::string_view left,
                                                   std::string_view right) const {
  return std::lexicographical_compare(
      left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return static_cast<unsigned char>(FoldCase(a)) < static_cast<unsigned char>(FoldCase(b));
      });
}

bool RegistryTree::Key::operator==(const Key& other) const {
  return values == other.values && subKeys == other.subKeys;
}

bool RegistryTree::operator==(const RegistryTree& other) const { return root_ == other.root_; }

const RegistryTree::Key* RegistryTree::FindKey(std::string_view keyPath) const {
  const std::vector<std::string_view> parts = SplitKeyPath(keyPath);
  if (!NamesAKey(parts)) return nullptr;
  const Key* key = &root_;
  for (const std::string_view part : parts) {
    const auto found = key->subKeys.find(part);
    if (found == key->subKeys.end()) return nullptr;
    key = &found->second;
  }
  return key;
}

RegistryTree::Key& RegistryTree::CreateKey(const std::vector<std::string_view>& parts) {
  Key* key = &root_;
  for (const std::string_view part : parts) {
    auto found = key->subKeys.find(part);
    if (found == key->subKeys.end()) found = key->subKeys.emplace(std::string(part), Key{}).first;
    key = &found->second;
  }
  return *key;
}

std::optional<std::string> RegistryTree::Value(std::string_view keyPath,
                                               std::string_view name) const {
  const Key* key = FindKey(keyPath);
  if (key == nullptr) return std::nullopt;
  const auto found = key->values.find(name);
  if (found == key->values.end()) return std::nullopt;
  return found->second;
}

void RegistryTree::SetValue(std::string_view keyPath, std::string_view name,
                            std::string_view value) {
  const std::vector<std::string_view> parts = SplitKeyPath(keyPath);
  if (!NamesAKey(parts)) {
    throw InvalidArgument("The registry key path \"" + std::string(keyPath) +
                          "\" is empty or has an empty part between its '\\'");
  }
  if (parts.size() > kMaxKeyDepth) {
    throw InvalidArgument("A registry key path cannot be more than 512 keys deep");
  }
  // The file form keeps one entry to a line, so a line break could not be
  // read back.
  if (HasLineBreak(keyPath) || HasLineBreak(name) || HasLineBreak(value)) {
    throw InvalidArgument("A registry key, value name or value cannot hold a line break (key \"" +
                          std::string(keyPath) + "\")");
  }
  Key& key = CreateKey(parts);
  const auto found = key.values.find(name);
  if (found != key.values.end()) {
    found->second = value;  // keeps the name as first written
  } else {
    key.values.emplace(std::string(name), std::string(value));
  }
}

bool RegistryTree::HasKey(std::string_view keyPath) const { return FindKey(keyPath) != nullptr; }

std::vector<std::string> RegistryTree::SubKeys(std::string_view keyPath) const {
  const Key* key = keyPath.empty() ? &root_ : FindKey(keyPath);
  std::vector<std::string> names;
  if (key == nullptr) return names;
  for (const auto& entry : key->subKeys) names.push_back(entry.first);
  return names;
}

void RegistryTree::RemoveKey(std::string_view keyPath) {
  const std::vector<std::string_view> parts = SplitKeyPath(keyPath);
  if (!NamesAKey(parts)) return;
  // Walks down recording the way, then prunes upwards. Ancestors are pruned
  // only when something was removed, so removing a missing key never drops
  // an empty key that was there before.
  std::vector<Key*> way{&root_};
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const auto found = way.back()->subKeys.find(parts[i]);
    if (found == way.back()->subKeys.end()) return;
    way.push_back(&found->second);
  }
  const auto target = way.back()->subKeys.find(parts.back());
  if (target == way.back()->subKeys.end()) return;
  way.back()->subKeys.erase(target);
  for (std::size_t depth = way.size() - 1; depth > 0; --depth) {
    const Key& key = *way[depth];
    if (!key.values.empty() || !key.subKeys.empty()) return;
    Key& parent = *way[depth - 1];
    parent.subKeys.erase(parent.subKeys.find(parts[depth - 1]));
  }
}

namespace {

// Appends the section of `key` and those of its sub-keys. A key gets a
// section when it has values, and also when it has neither values nor
// sub-keys, so that an empty key survives the file form; other keys are
// implied by the paths below them.
template <typename KeyType>
void AppendSections(std::string& text, const std::string& path, const KeyType& key) {
  if (!key.values.empty() || key.subKeys.empty()) {
    text += "\n[" + path + "]\n";
    for (const auto& [name, value] : key.values) {
      if (name.empty()) {
        text += '@';
      } else {
        AppendQuoted(text, name);
      }
      text += '=';
      AppendQuoted(text, value);
      text += '\n';
    }
  }
  for (const auto& [name, subKey] : key.subKeys) {
    AppendSections(text, path + kSeparator + name, subKey);
  }
}

}  // namespace

std::string RegistryTree::ToText() const {
  std::string text(kHeader);
  for (const auto& [name, key] : root_.subKeys) AppendSections(text, name, key);
  return text;
}

RegistryTree RegistryTree::FromText(std::string_view text, const std::string& fileName) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  RegistryTree tree;
  Key* section = nullptr;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = text.find('\n');
    const std::string_view line = TrimLine(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';') continue;
    try {
      if (line.front() == '[') {
        section = &tree.CreateKey(ParseSectionLine(line));
      } else if (line.front() == '@' || line.front() == '"') {
        if (section == nullptr) throw LineDamage{"a value outside any [key] section"};
        auto [name, value] = ParseValueLine(line);
        section->values.insert_or_assign(std::move(name), std::move(value));
      } else {
        throw LineDamage{"text that is neither a [key], a value nor a comment"};
      }
    } catch (const LineDamage& damage) {
      throw Damaged(lineNumber, damage, fileName);
    }
  }
  return tree;
}

// ---- The per-user registry file ------------------------------------------

std::string RegistryLocation() {
  if (const char* path = std::getenv("COMPONENT_REGISTRY"); path != nullptr && *path != '\0') {
    return path;
  }
  // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules ask.
  if (const char* dataHome = std::getenv("XDG_DATA_HOME");
      dataHome != nullptr && *dataHome == '/') {
    return WithoutTrailingSlashes(dataHome) + std::string(kRegistryUnderDataFolder);
  }
  return WithoutTrailingSlashes(HomeFolder()) + std::string(kDataFolderUnderHome) +
         std::string(kRegistryUnderDataFolder);
}

RegistryTree ReadRegistry() { return ReadTreeFrom(RegistryLocation()); }

namespace {

// The system data folders in the order of $XDG_DATA_DIRS; relative entries
// are invalid and passed over, as the XDG rules ask.
std::vector<std::string> SystemDataFolders() {
  const char* value = std::getenv("XDG_DATA_DIRS");
  std::string_view list = value != nullptr && *value != '\0' ? value : kDefaultDataFolders;
  std::vector<std::string> folders;
  while (!list.empty()) {
    const std::size_t end = list.find(':');
    const std::string_view entry = list.substr(0, end);
    if (!entry.empty() && entry.front() == '/') {
      folders.push_back(WithoutTrailingSlashes(std::string(entry)));
    }
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
  }
  return folders;
}

// The drop-in files of `folder`, in name order; none when it cannot be read.
std::vector<std::string> DropIns(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > kDropInSuffix.size() && name.ends_with(kDropInSuffix) && name[0] != '.') {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Reads `layer.path` into `layer.tree` unless it is untrusted; a damaged
// file raises.
void ReadLayer(RegistryLayer& layer) {
  struct stat status {};
  if (lstat(layer.path.c_str(), &status) != 0 && errno == ENOENT) return;
  if (auto why = WhyUntrusted(layer.path)) {
    layer.problem = "not read: " + *why;
    return;
  }
  layer.tree = ReadTreeFrom(layer.path);
}

}  // namespace

std::vector<RegistryLayer> ReadRegistryLayers() {
  std::vector<RegistryLayer> layers(1);
  layers[0].path = RegistryLocation();
  layers[0].user = true;
  ReadLayer(layers[0]);
  for (const std::string& dataFolder : SystemDataFolders()) {
    for (std::string& path : DropIns(dataFolder + std::string(kDropInsUnderDataFolder))) {
      RegistryLayer& layer = layers.emplace_back();
      layer.path = std::move(path);
      layer.prefix = FolderOf(dataFolder);
      try {
        ReadLayer(layer);
      } catch (const RuntimeError& error) {
        layer.tree = {};
        layer.problem = error.description();
      }
    }
  }
  return layers;
}

void UpdateRegistry(const std::function<void(RegistryTree&)>& change) {
  const std::string path = RegistryLocation();
  CreateFolders(FolderOf(path));
  const File lock = LockRegistry(path);
  RegistryTree tree = ReadTreeFrom(path);
  change(tree);
  ReplaceFile(path, tree.ToText());
}

}  // namespace platform
