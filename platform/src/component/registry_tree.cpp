// The registry tree and its text form: keys, values and the lines that hold
// them in a registry file. Nothing here touches the disk.

#include <platform/component/registry.h>

#include <platform/runtime_error.h>

#include <algorithm>
#include <utility>

namespace platform {
namespace {

constexpr char kSeparator = '\\';
constexpr std::string_view kHeader =
    "; Component registry. Written by the component tools; edit with care.\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
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

}  // namespace platform
