#include <platform/pending_file.h>

#include <platform/runtime_error.h>

#include "path_checks.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr std::string_view kRandomMark = "XXXXXX";
constexpr std::string_view kLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// Enough for any folder that is not flooded with our own names on purpose.
constexpr int kAttempts = 100;

// `pattern` with its trailing "XXXXXX" replaced by random letters.
std::string RandomName(const std::string& pattern) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  std::string name = pattern;
  std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
  for (std::size_t i = name.size() - kRandomMark.size(); i < name.size(); ++i) {
    name[i] = kLetters[pick(random)];
  }
  return name;
}

bool EndsWithRandomMark(const std::string& path) {
  return path.size() >= kRandomMark.size() &&
         std::string_view(path).substr(path.size() - kRandomMark.size()) == kRandomMark;
}

// Renames `from` to `to` only where nothing is at `to`. File systems that
// cannot rename so are served by a hard link and an unlink, and those
// without hard links by a look and a rename.
bool RenameNew(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());  // a name left behind is a leftover, removed later
    return true;
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return false;
  struct stat status {};
  if (lstat(to.c_str(), &status) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

File HoldTemporary(const std::string& path) { return HoldForRemoval(path); }

PendingFile PendingFile::Create(const std::string& temporaryPath) {
  PendingFile pending;
  const bool random = EndsWithRandomMark(temporaryPath);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string path = random ? RandomName(temporaryPath) : temporaryPath;
    File file = CreateNewExclusive(path);
    if (!file.IsOpen()) {
      if (file.error() == EEXIST && random) continue;
      pending.file_ = std::move(file);
      return pending;
    }
    // Someone clearing leftovers may have taken the name before it was
    // held: only a name that still leads here is ours.
    const FileIdentity identity = IdentityOf(file);
    if (IdentityOf(path) != identity) continue;
    pending.file_ = std::move(file);
    pending.path_ = path;
    pending.identity_ = identity;
    return pending;
  }
  pending.file_ = File::Failed(EEXIST);
  return pending;
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : file_(std::move(other.file_)),
      path_(std::move(other.path_)),
      identity_(other.identity_),
      committed_(std::exchange(other.committed_, true)) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    Discard();
    file_ = std::move(other.file_);
    path_ = std::move(other.path_);
    identity_ = other.identity_;
    committed_ = std::exchange(other.committed_, true);
  }
  return *this;
}

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::CommitAs(const std::string& target, bool replace) {
  return Flush(file_) && RenameTo(target, replace);
}

bool PendingFile::RenameTo(const std::string& target, bool replace) {
  if (!(replace ? rename(path_.c_str(), target.c_str()) == 0 : RenameNew(path_, target))) {
    return false;
  }
  path_ = target;
  committed_ = true;
  return true;
}

bool PendingFile::Discard() {
  if (committed_ || path_.empty()) {
    return true;
  }
  const std::string path = std::exchange(path_, {});
  struct stat status {};
  const bool ours = lstat(path.c_str(), &status) == 0 &&
                    FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                                 static_cast<std::uint64_t>(status.st_ino)} == identity_;
  // Removed while still held, so that no one takes it for a leftover of
  // theirs in between.
  const bool removed = !ours || unlink(path.c_str()) == 0 || errno == ENOENT;
  const int error = errno;
  file_.Close();
  errno = error;
  return removed;
}

void RemoveLeftovers(const std::string& folder, const std::string& prefix) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix) {
      names.emplace_back(name);
    }
  }
  closedir(listing);
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    File held = HoldTemporary(path);
    if (!held.IsOpen()) continue;
    try {
      DeleteTaken(held, path);  // only if the name still leads to what is held
    } catch (const RuntimeError&) {
      // Left for the next operation, or for the person.
    }
  }
}

}  // namespace platform
