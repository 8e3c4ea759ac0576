#include <control/fragment_set.h>
#include <control/split_join.h>

#include "background_flush.h"
#include "checksum_file.h"
#include "older_set.h"
#include "recovery_files.h"
#include "set_io.h"

#include <platform/file_rules.h>
#include <platform/pending_file.h>
#include <platform/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace control {
namespace {

using platform::File;
using platform::FileIdentity;
using platform::PendingFile;

// How many fragments a file of `length` bytes gives with `partSize`; error 6
// when that passes the largest set that can be joined.
int FragmentCount(std::int64_t length, std::int64_t partSize) {
  const std::int64_t count = FragmentsOf(length, partSize);
  if (count > kLargestSetSize) throw platform::RuntimeError(platform::ErrorNumber::Overflow);
  return static_cast<int>(count);
}

// The name among fragments 1 to `last` and the checksum file that leads to
// the input itself, however reached; nothing when none does.
std::optional<std::string> NameOfInput(const std::string& basePath, int last,
                                       const FileIdentity& input) {
  if (CanHaveChecksumFile(basePath) && platform::IdentityOf(ChecksumFileName(basePath)) == input) {
    return ChecksumFileName(basePath);
  }
  return FragmentThatIs(basePath, last, input);
}

// Refused, in words, when `setFolder` is there but is not a folder. Raises
// error 76 when it is missing, the file error of a look-up that fails for
// another reason.
std::optional<Outcome> CheckSetFolder(const std::string& setFolder) {
  struct stat entry {};
  if (stat(setFolder.c_str(), &entry) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      throw platform::RuntimeError(platform::ErrorNumber::PathNotFound, setFolder);
    }
    throw platform::FileError(errno, setFolder);
  }
  if (!S_ISDIR(entry.st_mode)) return NotDone(setFolder + " is not a folder");
  return std::nullopt;
}

// The base path of the set a split of `inputFilename` writes: the input's
// own path, or its file name in `setFolder` when one is given.
std::string BasePathOfSet(const std::string& inputFilename, const std::string& setFolder) {
  if (setFolder.empty()) return inputFilename;
  const bool endsInSlash = setFolder.back() == '/';
  return setFolder + (endsInSlash ? "" : "/") + FileNameOf(inputFilename);
}

// What a split settles before its first change.
struct SplitPlan {
  int count = 0;
  bool writesChecksumFile = false;
  int recovery = 0;  // recovery fragments to write
  OlderSet older;
  std::vector<Seen> olderRecovery;  // to be deleted
  std::optional<FileIdentity> olderChecksumFile;  // to be deleted
};

// Reads the older checksum file into `claims` and finds the older set;
// refused when something at a name the split writes may not be replaced.
std::optional<Outcome> Prepare(const std::string& basePath, const FileIdentity& input,
                               SplitPlan& plan, Claims& claims, ProgressMeter& meter) {
  int olderCount = 0;
  if (CanHaveChecksumFile(basePath)) {
    const std::string path = ChecksumFileName(basePath);
    struct stat entry {};
    if (lstat(path.c_str(), &entry) == 0) {
      if (!S_ISREG(entry.st_mode)) return NotDone(FileFailure(path, EEXIST));
      const ChecksumFile older = ReadChecksumFile(basePath);
      if (older.state == ChecksumFile::State::Damaged) {
        return NotDone(older.damage + "; it is not replaced");
      }
      claims.Add(older.checksums);
      olderCount = static_cast<int>(older.checksums.fragments.size());
      auto taken = TakeOlder(path);
      if (auto* refused = std::get_if<Outcome>(&taken)) return *refused;
      plan.olderChecksumFile = platform::IdentityOf(std::get<File>(taken));
    }
  }
  if (const auto name = NameOfInput(basePath, std::max(plan.count, claims.Largest()), input)) {
    return NotDone(FileNameOf(*name) + " is the input file itself");
  }
  auto older = FindOlderSet(basePath, plan.count, plan.writesChecksumFile, claims, meter);
  if (auto* refused = std::get_if<Outcome>(&older)) return *refused;
  plan.older = std::move(std::get<OlderSet>(older));
  auto recovery = FindOlderRecovery(basePath, olderCount, claims, plan.recovery);
  if (auto* refused = std::get_if<Outcome>(&recovery)) return *refused;
  plan.olderRecovery = std::move(std::get<std::vector<Seen>>(recovery));
  return std::nullopt;
}

// The identity of fragment `number` in `fragments`; nothing when absent.
std::optional<FileIdentity> Find(const std::vector<std::pair<int, FileIdentity>>& fragments,
                                 int number) {
  const auto found = std::ranges::find(fragments, number, &std::pair<int, FileIdentity>::first);
  if (found == fragments.end()) return std::nullopt;
  return found->second;
}

// One split in progress. Fragment 1 is written under a temporary name and
// renamed in last, once every other fragment and the checksum file are in
// place and flushed: until then no join finds the set, and after a crash
// at any moment the name shows the older set's absence or the whole new set.
class Splitter {
 public:
  Splitter(const std::string& inputPath, const std::string& basePath, File& input,
           std::int64_t length, std::int64_t partSize, SplitPlan plan, SplitJournal& journal,
           bool journalHadClaims, ProgressMeter& meter)
      : inputPath_(inputPath),
        basePath_(basePath),
        meter_(meter),
        temporary_(TemporaryNamesOf(basePath)),
        input_(input),
        length_(length),
        partSize_(partSize),
        plan_(std::move(plan)),
        journal_(journal),
        journalHadClaims_(journalHadClaims),
        flushes_([&meter] { meter.Check(); }),
        hashes_(plan_.writesChecksumFile, plan_.writesChecksumFile, meter) {}

  Outcome Run() {
    first_ = PendingFile::Create(temporary_.Path("1"));
    const std::string firstName = FragmentName(basePath_, 1);
    if (!first_.IsOpen()) return NotDone(FileFailure(firstName, first_.error()));
    if (!journal_.RecordMade(1, first_.identity())) return JournalFailure();
    // The first change: the older set can no longer be joined.
    RemoveOlder(firstName, Find(plan_.older.within, 1));
    changed_ = true;
    if (plan_.olderChecksumFile) {
      platform::DeleteIfStill(ChecksumFileName(basePath_), *plan_.olderChecksumFile);
    }
    // Left beside new fragments, they would rebuild older content.
    for (const auto& [path, identity] : plan_.olderRecovery) platform::DeleteIfStill(path, identity);
    // Their removal lasts before any new fragment does.
    const bool removed =
        Find(plan_.older.within, 1) || plan_.olderChecksumFile || !plan_.olderRecovery.empty();
    if (removed && !platform::FlushDirectoryOf(basePath_)) {
      return NotDone(FileFailure(basePath_, errno));
    }
    if (Outcome filled = Fill(first_.file(), firstName); !filled) return filled;
    for (int number = 2; number <= plan_.count; ++number) {
      if (Outcome written = WriteFragment(number); !written) return written;
    }
    // Computed from the input while the fragments are flushed, and in place
    // before fragment 1 is: a complete set always has its recovery data.
    if (plan_.recovery > 0) {
      meter_.Settle(length_);
      Outcome written = WriteRecovery(basePath_, input_, length_, partSize_, plan_.count,
                                      plan_.recovery, journal_, meter_, recoveryFiles_);
      if (!written) return written;
    }
    if (!platform::Flush(first_.file())) return NotDone(CopyFailure(inputPath_, firstName, errno));
    if (const auto failed = flushes_.Wait()) {
      return NotDone(CopyFailure(inputPath_, failed->first, failed->second));
    }
    meter_.Report(length_);
    if (!input_.Close()) return NotDone(FileFailure(inputPath_, errno, Access::Read));
    if (!plan_.writesChecksumFile) {  // else a join could take them into the set
      if (std::string left = RemoveBeyond(); !left.empty()) return NotDone(left);
      plan_.older.beyond.clear();
    }
    if (Outcome written = WriteChecksumFile(); !written) return written;
    if (!platform::FlushDirectoryOf(basePath_)) return NotDone(FileFailure(firstName, errno));
    // Fragment 1 was flushed above. A stop asked for during the flushes,
    // however long they took, is honoured up to this commit.
    meter_.Check();
    if (!first_.RenameTo(firstName, false) || !platform::FlushDirectoryOf(basePath_)) {
      return NotDone(FileFailure(firstName, errno));
    }
    // The older fragments beyond the new set go once it is in place.
    if (std::string left = RemoveBeyond(); !left.empty()) return NotDone(left);
    return Done();
  }

  // Lets go of the set and of the journal, whose claims are all settled.
  void Finish() {
    first_.file().Close();
    journal_.Finish(true);
  }

  // Removes what a split that did not end wrote, fragment 1 first so that
  // no join can take what is left, then its checksum file and its other
  // fragments, then what is left of the older set it had begun to replace. A
  // split that changed nothing removes only its temporary file. Says what
  // could not be removed.
  std::string Undo() {
    hashes_.Abandon();  // they may be reading a fragment
    flushes_.Abandon();
    std::vector<std::string> left;
    const std::string firstName = FragmentName(basePath_, 1);
    if (!first_.Discard()) left.push_back(FileNameOf(firstName) + " could not be removed");
    if (first_.path() == firstName) left.push_back(RemoveHeld(first_.file(), firstName));
    if (checksumFile_) {
      left.push_back(RemoveWritten(ChecksumFileName(basePath_), *checksumFile_));
    }
    for (const auto& [path, identity] : recoveryFiles_) left.push_back(RemoveWritten(path, identity));
    for (const auto& [number, identity] : written_) {
      left.push_back(RemoveWritten(FragmentName(basePath_, number), identity));
    }
    if (changed_) {
      if (plan_.olderChecksumFile) {
        left.push_back(RemoveWritten(ChecksumFileName(basePath_), *plan_.olderChecksumFile));
      }
      for (const auto* older : {&plan_.older.within, &plan_.older.beyond}) {
        for (const auto& [number, identity] : *older) {
          left.push_back(RemoveWritten(FragmentName(basePath_, number), identity));
        }
      }
    }
    std::erase(left, std::string());
    // Claims of an earlier split stay while their files may: this one may
    // have stopped before it removed them.
    journal_.Finish(left.empty() && (changed_ || !journalHadClaims_));
    std::string said;
    for (const std::string& line : left) said += (said.empty() ? "" : "; ") + line;
    return said;
  }

 private:
  Outcome JournalFailure() const {
    return NotDone(FileFailure(temporary_.Path("split"), errno));
  }

  // Deletes the older fragment `name` if it is still the one shown to be so.
  static void RemoveOlder(const std::string& name, const std::optional<FileIdentity>& older) {
    if (older) platform::DeleteIfStill(name, *older);
  }

  // Removes the older fragments beyond the new set; what could not be
  // removed, in words.
  std::string RemoveBeyond() {
    std::string left;
    for (const auto& [number, identity] : plan_.older.beyond) {
      const std::string why = RemoveWritten(FragmentName(basePath_, number), identity);
      if (!why.empty()) left += (left.empty() ? "" : "; ") + why;
    }
    return left;
  }

  // Writes fragment `number` (2 and on) in place of an older one, flushed
  // in the background. It is written under a temporary name and renamed in
  // once the journal holds it, so that no file of its name is ever one of
  // ours that the journal does not know.
  Outcome WriteFragment(int number) {
    const std::string name = FragmentName(basePath_, number);
    PendingFile fragment = PendingFile::Create(temporary_.Path("part"));
    if (!fragment.IsOpen()) return NotDone(FileFailure(name, fragment.error()));
    if (!journal_.RecordMade(number, fragment.identity())) return JournalFailure();
    if (Outcome filled = Fill(fragment.file(), name); !filled) return filled;
    RemoveOlder(name, Find(plan_.older.within, number));
    if (!fragment.RenameTo(name, false)) return NotDone(FileFailure(name, errno));
    written_.emplace_back(number, fragment.identity());
    flushes_.Add(std::move(fragment.file()), name);
    return Done();
  }

  // Copies the next part of the input into `fragment`, named `name`, and
  // hashes it.
  Outcome Fill(const File& fragment, const std::string& name) {
    const SetHashes::Readers readers(hashes_);
    const std::int64_t wanted = std::min(partSize_, length_ - offset_);
    const std::int64_t copied = hashes_.Copy(input_, offset_, fragment, 0, wanted);
    if (copied < 0) return NotDone(CopyFailure(inputPath_, name, errno));
    if (copied != wanted) {
      return NotDone(FileNameOf(inputPath_) + " became shorter while it was split");
    }
    if (hashes_.HashesFragments()) {
      const std::optional<Digest> digest = hashes_.TakeFragment();
      // The whole file's hash reads this fragment too: done before it closes.
      if (!digest || !hashes_.Wait()) {
        return NotDone("reading back " + FileNameOf(name) + " failed");
      }
      checksums_.fragments.push_back(*digest);
    }
    return Done();
  }

  // Writes the checksum file under a temporary name and renames it in.
  Outcome WriteChecksumFile() {
    if (!hashes_.HashesWhole()) return Done();
    checksums_.whole = hashes_.TakeWhole();
    if (!checksums_.whole) return NotDone("reading back the fragments failed");
    const std::string path = ChecksumFileName(basePath_);
    PendingFile file = PendingFile::Create(temporary_.Path("sha256"));
    if (!file.IsOpen()) return NotDone(FileFailure(path, file.error()));
    const std::string text = FormatChecksums(FileNameOf(basePath_), checksums_);
    if (!platform::WriteAll(file.file(), text.data(), text.size()) || !file.CommitAs(path, false)) {
      return NotDone(FileFailure(path, errno));
    }
    checksumFile_ = file.identity();
    if (!file.file().Close()) return NotDone(FileFailure(path, errno));
    return Done();
  }

  const std::string& inputPath_;
  const std::string& basePath_;  // names the set, in its folder
  ProgressMeter& meter_;
  const TemporaryNames temporary_;
  File& input_;
  std::int64_t length_;
  std::int64_t partSize_;
  SplitPlan plan_;
  SplitJournal& journal_;
  bool journalHadClaims_;
  std::int64_t offset_ = 0;
  bool changed_ = false;  // the older set was touched
  std::vector<std::pair<int, FileIdentity>> written_;  // fragments 2 and on
  std::optional<FileIdentity> checksumFile_;
  std::vector<Seen> recoveryFiles_;
  // Declared before the hashes, which may read them, so they close after.
  PendingFile first_;
  BackgroundFlush flushes_;
  SetHashes hashes_;
  SetChecksums checksums_;
};

}  // namespace

Outcome SplitFiles(const std::string& inputFilename, std::int64_t newFileSizeBytes,
                   const SetOptions& options, const std::string& setFolder) {
  if (newFileSizeBytes < 0) {
    throw platform::RuntimeError(platform::ErrorNumber::InvalidProcedureCall, inputFilename);
  }
  File input = platform::OpenForReading(inputFilename);
  if (!input.IsOpen()) {
    if (input.error() == ENOENT) throw platform::FileError(ENOENT, inputFilename);
    return NotDone(FileFailure(inputFilename, input.error(), Access::Read));
  }
  if (!setFolder.empty()) {
    if (std::optional<Outcome> refused = CheckSetFolder(setFolder)) return *refused;
  }
  // The set is named after the input, beside it or in the set's folder;
  // everything that names the set, its temporary files included, uses basePath.
  const std::string basePath = BasePathOfSet(inputFilename, setFolder);
  const std::int64_t length = platform::LengthOf(input);
  if (length < 0) return NotDone(FileFailure(inputFilename, errno, Access::Read));
  SplitPlan plan;
  plan.count = FragmentCount(length, newFileSizeBytes);
  if (plan.count == 0) {  // no fragment: none is touched
    if (!input.Close()) return NotDone({});
    return Done();
  }
  plan.writesChecksumFile = options.checksums && CanHaveChecksumFile(basePath);
  if (options.recovery < 0 || options.recovery > plan.count) {
    throw platform::RuntimeError(platform::ErrorNumber::InvalidProcedureCall, inputFilename);
  }
  plan.recovery = options.recovery;

  // Everything that could refuse the split is settled before the first
  // change. The journal, held to the end, keeps a second split of this name
  // out; a join holding the older fragment 1 stops this split here.
  const TemporaryNames temporary = TemporaryNamesOf(basePath);
  SplitJournal journal = SplitJournal::Take(temporary);
  if (!journal.IsOpen()) {
    return NotDone(FileFailure(FragmentName(basePath, 1), journal.error()));
  }
  const bool leftover = journal.claims().Largest() > 0;
  platform::RemoveLeftovers(temporary.folder, temporary.prefix);
  // With recovery data, the input is read a second time to compute it.
  ProgressMeter meter(options, plan.recovery > 0 ? 2 * length : length);
  meter.Report(0);
  std::optional<Outcome> refused;
  try {
    refused = Prepare(basePath, platform::IdentityOf(input), plan, journal.claims(), meter);
    if (!refused && !journal.Write()) refused = NotDone(FileFailure(temporary.Path("split"), errno));
  } catch (...) {
    journal.Finish(!leftover);
    throw;
  }
  if (refused) {
    journal.Finish(!leftover);
    return *refused;
  }

  Splitter splitter(inputFilename, basePath, input, length, newFileSizeBytes, std::move(plan),
                    journal, leftover, meter);
  Outcome outcome = Settle([&] { return splitter.Run(); }, [&] { return splitter.Undo(); });
  if (outcome) splitter.Finish();
  return outcome;
}

}  // namespace control
