// The registry on disk: where the user's file lies, how a file is read,
// locked and replaced, and the layers hosts read (the user's file, then the
// drop-ins of the system data folders, each only when trusted).

#include <platform/component/registry.h>

#include <platform/file_rules.h>
#include <platform/pending_file.h>
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

constexpr std::string_view kRegistryUnderDataFolder = "/components/registry.reg";
constexpr std::string_view kDataFolderUnderHome = "/.local/share";
constexpr std::string_view kDropInsUnderDataFolder = "/components/registry.d";
constexpr std::string_view kDropInSuffix = ".reg";
constexpr std::string_view kDefaultDataFolders = "/usr/local/share:/usr/share";
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kRegistryMode = 0644;
constexpr mode_t kLockMode = 0600;
// The start of the names under which a new registry file is written.
constexpr char kTemporaryPrefix[] = ".registry-";
constexpr std::size_t kReadChunkBytes = std::size_t{64} << 10;

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

// Replaces the registry file with `text` so that a reader or a crash sees
// the old file or the new one and never a mix: written beside it, flushed,
// renamed over it, and the folder flushed so that the new name lasts. A
// leftover of a process killed meanwhile is removed by the next update.
void ReplaceFile(const std::string& path, const std::string& text) {
  const std::string folder = FolderOf(path);
  RemoveLeftovers(folder, kTemporaryPrefix);
  PendingFile file = PendingFile::Create(folder + "/" + std::string(kTemporaryPrefix) + "XXXXXX");
  if (!file.IsOpen()) throw FileError(file.error(), path);
  if (fchmod(file.file().descriptor(), kRegistryMode) != 0) throw FileError(errno, path);
  errno = 0;
  if (!WriteAll(file.file(), text.data(), text.size())) throw FileError(ErrnoOr(EIO), path);
  if (!file.CommitAs(path, true)) throw FileError(ErrnoOr(EIO), path);
  if (!file.file().Close()) throw FileError(ErrnoOr(EIO), path);
  if (!FlushDirectoryOf(path)) throw FileError(ErrnoOr(EIO), folder);
}

}  // namespace

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

// ---- The layers hosts read -----------------------------------------------

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
