#include "older_set.h"

#include <control/fragment_set.h>

#include <platform/pending_file.h>
#include <platform/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace control {
namespace {

using platform::File;
using platform::FileIdentity;

constexpr std::int64_t kLargestJournal = std::int64_t{16} << 20;
constexpr mode_t kJournalMode = 0600;  // only its owner's claims are believed

std::string MadeLine(int number, const FileIdentity& file) {
  return "made " + std::to_string(number) + " " + std::to_string(file.device) + " " +
         std::to_string(file.inode) + "\n";
}

// The claims a journal's text holds. A line that does not read is passed
// over: the journal is only ever written here, and a claim lost makes a
// split refuse, never remove more.
Claims ParseJournal(const std::string& text) {
  Claims claims;
  std::istringstream lines(text);
  std::string kind;
  int number = 0;
  while (lines >> kind >> number) {
    if (kind == "older") {
      std::string hex;
      lines >> hex;
      if (const auto digest = DigestOfHex(hex)) claims.contents[number].push_back(*digest);
    } else if (kind == "made") {
      FileIdentity file;
      if (lines >> file.device >> file.inode) claims.made[number].push_back(file);
    }
    lines.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  return claims;
}

// The entry at `path` as it is, links not followed; nothing when none is.
std::optional<struct stat> EntryAt(const std::string& path) {
  struct stat status {};
  if (lstat(path.c_str(), &status) == 0) return status;
  if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
  throw platform::FileError(errno, path);
}

FileIdentity IdentityOfEntry(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// True when only this user (and root) could have written the open file: a
// journal left in a shared folder by someone else claims nothing.
bool OursAlone(const File& file) {
  struct stat status {};
  return fstat(file.descriptor(), &status) == 0 && status.st_uid == geteuid() &&
         (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string InTheWay(const std::string& name, const std::string& basePath) {
  return FileNameOf(name) + " is in the way: no checksum file shows it is an older fragment of " +
         FileNameOf(basePath);
}

// Whether the regular file `name` (its entry `entry`), fragment `number`,
// is an older fragment by its claims: the identity it has, or, when no split
// made it, its content. Taken as for deletion while its content is read, so
// that a file in use is told apart; `mustTake` says whether a failure to
// take it refuses the split (a file within the set) or only leaves it alone.
std::variant<bool, Outcome> Shown(const std::string& name, const struct stat& entry, int number,
                                  const Claims& claims, bool mustTake, ProgressMeter& meter) {
  const auto made = claims.made.find(number);
  if (made != claims.made.end() &&
      std::ranges::find(made->second, IdentityOfEntry(entry)) != made->second.end()) {
    return true;
  }
  const auto contents = claims.contents.find(number);
  if (contents == claims.contents.end()) return false;
  auto taken = TakeOlder(name);
  if (auto* refused = std::get_if<Outcome>(&taken)) {
    if (!mustTake) return false;
    return *refused;
  }
  BackgroundHash hash;
  hash.Add(std::get<File>(taken).descriptor(), 0, entry.st_size);
  while (!hash.WaitFor(std::chrono::milliseconds(20))) meter.Update(hash.Hashed());
  const std::optional<Digest> digest = hash.Take();
  if (!digest) return NotDone("reading " + FileNameOf(name) + " failed");
  return std::ranges::find(contents->second, *digest) != contents->second.end();
}

}  // namespace

std::variant<File, Outcome> TakeOlder(const std::string& name) {
  try {
    return platform::TakeForDeletion(name);
  } catch (const platform::RuntimeError&) {
    if (platform::OpenExistingExclusive(name).error() == EWOULDBLOCK) {
      return NotDone(FileFailure(name, EWOULDBLOCK));
    }
    throw;
  }
}

void Claims::Add(const SetChecksums& listed) {
  for (std::size_t i = 0; i < listed.fragments.size(); ++i) {
    contents[static_cast<int>(i + 1)].push_back(listed.fragments[i]);
  }
}

int Claims::Largest() const {
  int largest = 0;
  if (!contents.empty()) largest = contents.rbegin()->first;
  if (!made.empty()) largest = std::max(largest, made.rbegin()->first);
  return std::min(largest, kLargestFragmentNumber);
}

SplitJournal SplitJournal::Take(const TemporaryNames& names) {
  SplitJournal journal;
  journal.path_ = names.Path("split");
  for (int attempt = 0; attempt < 3; ++attempt) {
    journal.file_ = platform::CreateNewExclusive(journal.path_);
    if (journal.file_.IsOpen()) fchmod(journal.file_.descriptor(), kJournalMode);
    if (journal.file_.IsOpen() || journal.file_.error() != EEXIST) return journal;
    journal.file_ = platform::HoldTemporary(journal.path_);
    if (journal.file_.IsOpen() && !OursAlone(journal.file_)) {
      journal.file_ = File::Failed(EEXIST);  // planted: its claims are not to be believed
      return journal;
    }
    if (journal.file_.IsOpen()) {
      const std::int64_t length = platform::LengthOf(journal.file_);
      std::string text(static_cast<std::size_t>(std::clamp<std::int64_t>(length, 0, kLargestJournal)), '\0');
      const std::int64_t got = platform::ReadAt(journal.file_, text.data(), text.size(), 0);
      text.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
      journal.claims_ = ParseJournal(text);
      return journal;
    }
    if (journal.file_.error() != ENOENT) return journal;  // held, or in the way
  }
  return journal;
}

bool SplitJournal::Write() {
  std::string text;
  for (const auto& [number, digests] : claims_.contents) {
    for (const Digest& digest : digests) {
      text += "older " + std::to_string(number) + " " + Hex(digest) + "\n";
    }
  }
  for (const auto& [number, files] : claims_.made) {
    for (const FileIdentity& file : files) text += MadeLine(number, file);
  }
  return ftruncate(file_.descriptor(), 0) == 0 && lseek(file_.descriptor(), 0, SEEK_SET) == 0 &&
         platform::WriteAll(file_, text.data(), text.size());
}

bool SplitJournal::RecordMade(int number, const FileIdentity& file) {
  claims_.made[number].push_back(file);
  const std::string line = MadeLine(number, file);
  return platform::WriteAll(file_, line.data(), line.size());
}

void SplitJournal::Finish(bool claimsSettled) {
  if (!file_.IsOpen()) return;
  if (claimsSettled) {
    try {
      platform::DeleteTaken(file_, path_);
    } catch (const platform::RuntimeError&) {
      // A journal left behind is read by the next split, and removed then.
    }
  }
  file_.Close();
}

std::variant<OlderSet, Outcome> FindOlderSet(const std::string& basePath, int count,
                                             bool checksumFile, const Claims& claims,
                                             ProgressMeter& meter) {
  OlderSet older;
  // Only claimed files are read; their lengths are work before the split's.
  for (int number = 1; number <= claims.Largest(); ++number) {
    if (!claims.contents.contains(number)) continue;
    const auto entry = EntryAt(FragmentName(basePath, number));
    if (entry && S_ISREG(entry->st_mode)) meter.AddWorkBefore(entry->st_size);
  }
  const int last = std::min(std::max(count + kHoleLookAhead, claims.Largest()), kLargestFragmentNumber);
  for (int number = 1; number <= last; ++number) {
    const std::string name = FragmentName(basePath, number);
    const auto entry = EntryAt(name);
    if (!entry) continue;
    const bool within = number <= count;
    // A join of a set without a checksum file would take this one in, or
    // refuse the set as one with a hole.
    const bool joinedWith = !checksumFile && number > count && number <= count + kHoleLookAhead;
    if (!S_ISREG(entry->st_mode)) {
      if (within || joinedWith) return NotDone(FileFailure(name, EEXIST));
      continue;
    }
    std::variant<bool, Outcome> shown;
    try {
      shown = Shown(name, *entry, number, claims, within, meter);
    } catch (const platform::RuntimeError&) {
      if (within) throw;  // the older fragment cannot be replaced: a read-only one
      shown = false;
    }
    if (claims.contents.contains(number)) meter.Settle(entry->st_size);
    if (auto* refused = std::get_if<Outcome>(&shown)) return *refused;
    if (std::get<bool>(shown)) {
      (within ? older.within : older.beyond).emplace_back(number, IdentityOfEntry(*entry));
    } else if (within || joinedWith) {
      return NotDone(InTheWay(name, basePath));
    }
  }
  return older;
}

}  // namespace control
