#pragma once

#include <platform/export.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The component registry: a tree of keys, each with an optional default value,
// named text values and sub-keys. Key paths are written with '\' between the
// parts ("CLSID\{...}\InprocServer32"); key and value names compare without
// regard to ASCII letter case and keep the case they were first written in.
class PLATFORM_EXPORT RegistryTree {
 public:
  // The value `name` of the key (the default value when `name` is empty);
  // nothing when the key or the value does not exist.
  std::optional<std::string> Value(std::string_view keyPath, std::string_view name = {}) const;
  // Stores a value, creating the key and its ancestors as needed. A key path
  // has at most 512 parts.
  void SetValue(std::string_view keyPath, std::string_view name, std::string_view value);
  bool HasKey(std::string_view keyPath) const;
  // The names of the key's direct sub-keys, in order; empty for a missing key.
  // An empty path lists the top-level keys.
  std::vector<std::string> SubKeys(std::string_view keyPath) const;
  // Removes the key with everything under it, then every ancestor that is
  // left with no values and no sub-keys. A missing key is not an error.
  void RemoveKey(std::string_view keyPath);

  // The file form: "[key\path]" lines, each followed by its values as
  // `@="text"` (the default value) or `"name"="text"`, with '\' and '"'
  // escaped by a '\'; blank lines and lines starting with ';' are ignored.
  std::string ToText() const;
  // Reads the file form. A damaged text raises RuntimeError 75 whose
  // description names the line and what is wrong with it, and whose path is
  // `fileName`.
  static RegistryTree FromText(std::string_view text, const std::string& fileName);

  bool operator==(const RegistryTree& other) const;

 private:
  // Orders names as the registry compares them: bytes with ASCII letters
  // folded to lower case. Transparent, so lookups need no copy of the name.
  struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view left, std::string_view right) const;
  };
  // A key's map entries keep each name as it was first written; equality
  // compares those spellings exactly, so equal trees have the same file form.
  struct Key {
    std::map<std::string, std::string, CaseInsensitiveLess> values;
    std::map<std::string, Key, CaseInsensitiveLess> subKeys;
    bool operator==(const Key& other) const;
  };
  // The key `keyPath` names; nothing for a missing key or a path
  // that names none.
  const Key* FindKey(std::string_view keyPath) const;
  // The key at the end of the valid key path `parts`, created with its
  // ancestors as needed.
  Key& CreateKey(const std::vector<std::string_view>& parts);
  Key root_;
};

// The per-user registry file: $COMPONENT_REGISTRY when set and not empty,
// otherwise "components/registry.reg" under the XDG data folder
// ($XDG_DATA_HOME, or ~/.local/share).
PLATFORM_EXPORT std::string RegistryLocation();

// The registry as it is on disk; an empty tree when the file does not exist.
PLATFORM_EXPORT RegistryTree ReadRegistry();

// One file of registrations as hosts read it: the user's registry file, or
// one that a package installed as a drop-in, "components/registry.d/*.reg"
// under a system data folder, beside the drop-ins of other packages.
struct RegistryLayer {
  std::string path;
  bool user = false;
  // For a drop-in: the installation prefix (the data folder's parent) that a
  // relative module path in it must stay inside.
  std::string prefix;
  RegistryTree tree;
  // Why the file was passed over (damaged, with its line; or one that others
  // than root and the user could have changed); its tree is then empty.
  std::string problem;
};

// The registry as hosts see it, in the order they read it: the user's file
// first, so that it overrides, then for each folder D of $XDG_DATA_DIRS (by
// default /usr/local/share, then /usr/share) the files
// D/components/registry.d/*.reg in name order. A drop-in that is damaged or
// untrusted is kept with its problem and read as empty; a damaged user file
// raises as ReadRegistry does, and an untrusted one is passed over likewise.
PLATFORM_EXPORT std::vector<RegistryLayer> ReadRegistryLayers();

// Reads the registry, lets `change` modify it and writes it back, holding an
// exclusive lock throughout so that two updates at once never lose each
// other's entries. The new file replaces the old one atomically (written
// beside it, flushed, renamed), so a reader or a crash sees either the old or
// the new registry, never a mix. Missing folders are created. When `change`
// throws, nothing is written and the exception travels on.
PLATFORM_EXPORT void UpdateRegistry(const std::function<void(RegistryTree&)>& change);

}  // namespace platform
