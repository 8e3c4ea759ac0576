#include <control/fragment_set.h>
#include <control/split_join.h>

#include "join_plan.h"
#include "set_io.h"

#include <platform/file_rules.h>
#include <platform/pending_file.h>
#include <platform/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <map>
#include <sys/stat.h>
#include <optional>
#include <variant>
#include <vector>

namespace control {
namespace {

using platform::File;

// Refused when something other than a file or a link is at the output's
// name; raises as a delete would (error 70 or 75) when the older file there
// is held by another program or read-only. The older file is not changed;
// it is held in `older` until that is closed. Without `replace`, anything at
// the name is refused.
std::optional<Outcome> CheckOlderOutput(const std::string& path, File& older, bool replace) {
  struct stat entry {};
  if (lstat(path.c_str(), &entry) != 0) return std::nullopt;
  if (!replace) return NotDone(FileNameOf(path) + " already exists");
  if (S_ISLNK(entry.st_mode)) return std::nullopt;  // the link is replaced, never its target
  if (!S_ISREG(entry.st_mode)) return NotDone(FileFailure(path, EEXIST));
  older = platform::TakeForDeletion(path);
  return std::nullopt;
}

// One join in progress: the joined file, written under a temporary name
// until it is complete, checked and flushed, and the hashes beside it.
class Joiner {
 public:
  Joiner(const std::string& basePath, const std::string& outputPath, bool replace, JoinPlan plan,
         ProgressMeter& meter)
      : basePath_(basePath),
        outputPath_(outputPath),
        replace_(replace),
        plan_(std::move(plan)),
        meter_(meter),
        hashes_(plan_.checksums.has_value(), plan_.checksums && plan_.checksums->whole, meter) {}

  // Creates the joined file under a temporary name of its own.
  Outcome Create() {
    joined_ = platform::PendingFile::Create(TemporaryNamesOf(outputPath_).Path("jXXXXXX"));
    if (!joined_.IsOpen()) return NotDone(FileFailure(outputPath_, joined_.error()));
    return Done();
  }

  // Waits until the hashes have read all that was written; the bytes written.
  std::int64_t Settled() {
    hashes_.Wait();
    return written_;
  }

  // Removes the file a join that did not end was writing; says why when it
  // could not. An older output was never touched.
  std::string Undo() {
    hashes_.Abandon();  // they read the joined file
    if (joined_.Discard()) return {};
    return FileNameOf(joined_.path()) + " could not be removed (" + std::strerror(errno) + ")";
  }

  // Appends fragment `number`, read through the one descriptor `fragment`
  // and as long as that descriptor says, and checks it against its checksum.
  Outcome Append(int number, const File& fragment) {
    const std::string name = FragmentName(basePath_, number);
    const std::int64_t length = platform::LengthOf(fragment);
    std::int64_t offset = 0;
    if (!pace_) pace_.emplace(joined_.file().descriptor());
    const std::int64_t copied =
        hashes_.Copy(fragment, offset, joined_.file(), written_, length, &*pace_);
    if (copied < 0) return NotDone(CopyFailure(name, outputPath_, errno));
    if (copied != length) return NotDone(FileNameOf(name) + " became shorter while it was joined");
    written_ += copied;
    if (hashes_.HashesFragments()) {
      const std::optional<Digest> digest = hashes_.TakeFragment();
      if (!digest) return NotDone("reading back " + FileNameOf(outputPath_) + " failed");
      if (*digest != plan_.checksums->fragments[static_cast<std::size_t>(number - 1)]) {
        if (!plan_.recovery) return Mismatch(name);
        plan_.lost.push_back(number);  // rebuilt at the end, with the others lost
        if (auto refused = Unrebuildable(plan_.lost, *plan_.recovery)) return *refused;
      }
    }
    return Done();
  }

  // Leaves room for fragment `number`, lost, which is rebuilt at the end.
  Outcome Skip(int number) {
    written_ += plan_.lengths[static_cast<std::size_t>(number - 1)];
    if (lseek(joined_.file().descriptor(), written_, SEEK_SET) < 0) {
      return NotDone(FileFailure(outputPath_, errno));
    }
    return Done();
  }

  // Rebuilds the lost fragments in place from the others, read back from
  // the joined file, and the recovery data; then hashes the whole file
  // afresh, since the hash that ran beside the copy missed their bytes.
  Outcome Rebuild() {
    hashes_.Abandon();
    std::ranges::sort(plan_.lost);
    std::vector<std::int64_t> offsets{0};
    for (const std::int64_t length : plan_.lengths) offsets.push_back(offsets.back() + length);
    const int descriptor = joined_.file().descriptor();
    int writeError = 0;
    meter_.AddWorkBefore(2 * written_);
    meter_.Settle(written_);
    Outcome rebuilt = RebuildFragments(
        *plan_.recovery, plan_.lost,
        [&](int number, std::int64_t offset, unsigned char* buffer, std::int64_t count) {
          return platform::ReadAt(joined_.file(), buffer, static_cast<std::size_t>(count),
                                  offsets[static_cast<std::size_t>(number - 1)] + offset) == count;
        },
        [&](int number, std::int64_t offset, const unsigned char* buffer, std::int64_t count) {
          const ssize_t wrote = pwrite(descriptor, buffer, static_cast<std::size_t>(count),
                                       offsets[static_cast<std::size_t>(number - 1)] + offset);
          if (wrote == count) return true;
          writeError = wrote < 0 ? errno : ENOSPC;  // a short write: the disk is full
          return false;
        },
        meter_);
    // What failed to be written is the joined file, not the fragment.
    if (!rebuilt && writeError != 0) return NotDone(FileFailure(outputPath_, writeError));
    if (!rebuilt) return rebuilt;
    meter_.Settle(written_);
    if (plan_.checksums && plan_.checksums->whole) {
      BackgroundHash whole;
      whole.Add(descriptor, 0, written_);
      while (!whole.WaitFor(std::chrono::milliseconds(20))) meter_.Update(whole.Hashed());
      const std::optional<Digest> digest = whole.Take();
      if (!digest) return NotDone("reading back " + FileNameOf(outputPath_) + " failed");
      if (*digest != *plan_.checksums->whole) return Mismatch(basePath_);
    }
    return Done();
  }

  // Checks the whole file when its checksum is listed, then puts it in
  // place of the older output: flushed, renamed over it, the folder flushed.
  // A stop asked for while the flush took its time is still honoured: the
  // older output is replaced only after it.
  Outcome Finish() {
    const bool repairing = !plan_.lost.empty();
    if (repairing) {
      if (Outcome rebuilt = Rebuild(); !rebuilt) return rebuilt;
    } else if (hashes_.HashesWhole()) {
      const std::optional<Digest> digest = hashes_.TakeWhole();
      if (!digest) return NotDone("reading back " + FileNameOf(outputPath_) + " failed");
      if (*digest != *plan_.checksums->whole) return Mismatch(basePath_);
    }
    hashes_.Abandon();  // all read: they let go of the file
    if (!platform::Flush(joined_.file())) return NotDone(FileFailure(outputPath_, errno));
    meter_.Check();
    File older;  // held over the rename, so that no other program is writing it then
    if (auto refused = CheckOlderOutput(outputPath_, older, replace_)) return *refused;
    if (!joined_.RenameTo(outputPath_, replace_)) {
      // A file that came to the name after the check above is kept.
      if (!replace_ && errno == EEXIST) return NotDone(FileNameOf(outputPath_) + " already exists");
      return NotDone(FileFailure(outputPath_, errno));
    }
    if (!joined_.file().Close() || !platform::FlushDirectoryOf(outputPath_)) {
      return NotDone(FileFailure(outputPath_, errno));
    }
    Outcome done = Done(plan_.checksumPath);
    if (repairing) {
      for (const int number : plan_.lost) done.rebuilt.push_back(FileNameOf(FragmentName(basePath_, number)));
      done.recoveryFile = plan_.recovery->index;
    }
    return done;
  }

  bool Lost(int number) const { return std::ranges::find(plan_.lost, number) != plan_.lost.end(); }

 private:
  // The joined file is known to be wrong: `name` is the file that does not
  // match. Undo removes it.
  Outcome Mismatch(const std::string& name) const {
    return NotDone(FileNameOf(name) + " does not match " + FileNameOf(plan_.checksumPath));
  }

  const std::string& basePath_;
  const std::string& outputPath_;
  bool replace_;
  JoinPlan plan_;
  ProgressMeter& meter_;
  // Declared before the hashes, which read it, so it closes after them.
  platform::PendingFile joined_;
  std::optional<platform::CopyPace> pace_;  // one for all the fragments copied in
  std::int64_t written_ = 0;
  SetHashes hashes_;
};

}  // namespace

Outcome JoinFiles(const std::string& inputFilename, const SetOptions& options,
                  const std::string& setBase) {
  const std::string& outputPath = inputFilename;
  const std::string& basePath = setBase.empty() ? inputFilename : setBase;
  const std::string firstName = FragmentName(basePath, 1);
  const std::string noSet = "there is no " + FileNameOf(firstName);
  // A checked join of a set with recovery data rebuilds what is lost, even
  // fragment 1, from the fragments that match it.
  std::optional<SetRecovery> recovery;
  if (options.checksums) recovery = ReadRecovery(basePath);
  if (!recovery && !platform::FileExists(firstName)) return NotDone(noSet);
  // Fragment 1 is held against writers from here to the end: no split can
  // replace the set under this join.
  File first = platform::OpenForReading(firstName);
  if (!first.IsOpen() && !recovery) {
    if (first.error() == ENOENT) return NotDone(noSet);
    return NotDone(FileFailure(firstName, first.error(), Access::Read));
  }
  ProgressMeter meter(options, 0);
  auto planned = recovery ? PlanWithRecovery(basePath, std::move(*recovery), meter)
                          : Plan(basePath, first, options);
  if (auto* refused = std::get_if<Outcome>(&planned)) return *refused;
  JoinPlan& plan = std::get<JoinPlan>(planned);
  if (const auto output = platform::IdentityOf(outputPath)) {
    if (const auto name = FragmentThatIs(basePath, plan.count, *output)) {
      return NotDone(FileNameOf(*name) + " is the output file itself");
    }
    std::vector<std::string> described = RecoveryFilesOf(basePath);
    described.push_back(ChecksumFileName(basePath));
    for (const std::string& path : described) {
      if (platform::IdentityOf(path) == output) {
        return NotDone(FileNameOf(path) + " is the output file itself");
      }
    }
  }
  if (File older; auto refused = CheckOlderOutput(outputPath, older, options.replace)) return *refused;

  meter.AddWorkBefore(plan.total);
  meter.Report(0);
  const TemporaryNames temporary = TemporaryNamesOf(outputPath);
  platform::RemoveLeftovers(temporary.folder, temporary.prefix + "j");

  const int count = plan.count;
  Joiner joiner(basePath, outputPath, options.replace, std::move(plan), meter);
  return Settle(
      [&] {
        if (Outcome created = joiner.Create(); !created) return created;
        for (int number = 1; number <= count; ++number) {
          if (joiner.Lost(number)) {
            if (Outcome skipped = joiner.Skip(number); !skipped) return skipped;
            continue;
          }
          const std::string name = FragmentName(basePath, number);
          File opened = number == 1 ? File() : platform::OpenForReading(name);
          const File& fragment = number == 1 ? first : opened;
          if (!fragment.IsOpen()) {
            if (fragment.error() == ENOENT) {
              throw platform::RuntimeError(platform::ErrorNumber::FileNotFound, name);
            }
            return NotDone(FileFailure(name, fragment.error(), Access::Read));
          }
          if (Outcome appended = joiner.Append(number, fragment); !appended) return appended;
        }
        meter.Report(joiner.Settled());
        Outcome finished = joiner.Finish();
        if (finished && first.IsOpen() && !first.Close()) {
          return NotDone(FileFailure(firstName, errno));
        }
        return finished;
      },
      [&] { return joiner.Undo(); });
}

}  // namespace control
