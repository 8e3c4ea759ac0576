#include <control/fragment_set.h>
#include <control/split_join.h>

#include "checksum_file.h"
#include "set_io.h"

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace control {
namespace {

using platform::File;

// How many fragments a file of `length` bytes gives with `partSize`; error 6
// when that passes the largest set that can be joined.
int FragmentCount(std::int64_t length, std::int64_t partSize) {
  if (length == 0 || partSize == 0) return 0;
  const std::int64_t count = (length - 1) / partSize + 1;
  if (count >= kLargestFragmentNumber) {
    throw platform::RuntimeError(platform::ErrorNumber::Overflow);
  }
  return static_cast<int>(count);
}

// How many fragments the older checksum file of the set claims as ours;
// none when it is missing or damaged.
int ClaimedFragments(const std::string& basePath) {
  const ChecksumFile older = ReadChecksumFile(basePath);
  if (older.state != ChecksumFile::State::Valid) return 0;
  return static_cast<int>(older.checksums.fragments.size());
}

// The name among fragments 1 to `last` and the checksum file that leads to
// the input itself, however reached; nothing when none does.
std::optional<std::string> NameOfInput(const std::string& basePath, int last,
                                       const platform::FileIdentity& input) {
  if (CanHaveChecksumFile(basePath) && platform::IdentityOf(ChecksumFileName(basePath)) == input) {
    return ChecksumFileName(basePath);
  }
  return FragmentThatIs(basePath, last, input);
}

// The older file of the name `path`, taken for deletion; an unopened file
// when there is none.
File TakeIfThere(const std::string& path) {
  return platform::FileExists(path) ? platform::TakeForDeletion(path) : File();
}

// One split in progress: the input, the fragments written so far and the
// hashes that run beside the copy.
class Splitter {
 public:
  Splitter(const std::string& basePath, File& input, std::int64_t length, std::int64_t partSize,
           bool checksums, int claimed, ProgressMeter& meter)
      : basePath_(basePath),
        input_(input),
        length_(length),
        partSize_(partSize),
        claimed_(claimed),
        hashes_(checksums, checksums, meter) {}

  // Replaces fragment `number` (whose older file `older` may hold) with the
  // next part of the input, flushed; fragment 1 stays open and held until
  // Finish, so that no join takes the set while it is being written.
  Outcome WriteFragment(int number, File older) {
    const std::string name = FragmentName(basePath_, number);
    if (older.IsOpen()) {
      platform::DeleteTaken(older, name);
    } else if (platform::FileExists(name)) {
      platform::DeleteFile(name);
    }
    touched_ = true;
    File fragment = platform::CreateNewExclusive(name);
    if (!fragment.IsOpen()) return NotDone(FileFailure(name, fragment.error()));
    written_.push_back(platform::IdentityOf(fragment));
    const SetHashes::Readers readers(hashes_);
    const std::int64_t wanted = std::min(partSize_, length_ - offset_);
    const std::int64_t copied = hashes_.Copy(input_, offset_, fragment, 0, wanted);
    if (copied < 0) return NotDone(CopyFailure(basePath_, name, errno));
    if (copied != wanted) {
      return NotDone(FileNameOf(basePath_) + " became shorter while it was split");
    }
    if (!platform::Flush(fragment)) return NotDone(CopyFailure(basePath_, name, errno));
    if (hashes_.HashesFragments()) {
      const std::optional<Digest> digest = hashes_.TakeFragment();
      // The whole file's hash reads this fragment too: done before it closes.
      if (!digest || !hashes_.Wait()) {
        return NotDone("reading back " + FileNameOf(name) + " failed");
      }
      checksums_.fragments.push_back(*digest);
    }
    if (number == 1) {
      first_ = std::move(fragment);
    } else if (!fragment.Close()) {
      return NotDone(CopyFailure(basePath_, name, errno));
    }
    return Done();
  }

  // Writes the checksum file, created anew and never through a link, then
  // lets go of fragment 1.
  Outcome Finish() {
    if (hashes_.HashesWhole()) {
      checksums_.whole = hashes_.TakeWhole();
      if (!checksums_.whole) return NotDone("reading back the fragments failed");
      const std::string path = ChecksumFileName(basePath_);
      File file = platform::CreateNewExclusive(path);
      if (!file.IsOpen()) return NotDone(FileFailure(path, file.error()));
      checksumFile_ = platform::IdentityOf(file);
      const std::string text = FormatChecksums(FileNameOf(basePath_), checksums_);
      if (!platform::WriteAll(file, text.data(), text.size()) || !platform::Flush(file) ||
          !file.Close()) {
        return NotDone(FileFailure(path, errno));
      }
    }
    if (!first_.Close()) return NotDone(FileFailure(FragmentName(basePath_, 1), errno));
    return Done();
  }

  // Removes what a split that did not end wrote: its fragment 1 first, so
  // that no join can take what is left, then its checksum file and its other
  // fragments, then the rest of the older set that the older checksum file
  // listed. A split that touched no fragment removes nothing. Says what
  // could not be removed.
  std::string Undo() {
    hashes_.Abandon();  // they may be reading a fragment
    if (!touched_) return {};
    std::vector<std::string> left;
    const std::string first = FragmentName(basePath_, 1);
    if (first_.IsOpen()) {
      left.push_back(RemoveHeld(first_, first));
    } else if (!written_.empty()) {
      left.push_back(RemoveWritten(first, written_.front()));
    }
    if (checksumFile_) left.push_back(RemoveWritten(ChecksumFileName(basePath_), *checksumFile_));
    const int ours = static_cast<int>(written_.size());
    for (int number = 2; number <= ours; ++number) {
      left.push_back(RemoveWritten(FragmentName(basePath_, number), written_[number - 1]));
    }
    for (int number = std::max(ours + 1, 2); number <= claimed_; ++number) {
      left.push_back(RemoveIfThere(FragmentName(basePath_, number)));
    }
    std::erase(left, std::string());
    std::string said;
    for (const std::string& line : left) said += (said.empty() ? "" : "; ") + line;
    return said;
  }

 private:
  const std::string& basePath_;
  File& input_;
  std::int64_t length_;
  std::int64_t partSize_;
  int claimed_;
  std::int64_t offset_ = 0;
  bool touched_ = false;  // an older fragment was deleted or a new one created
  std::vector<platform::FileIdentity> written_;
  std::optional<platform::FileIdentity> checksumFile_;
  File first_;  // declared before the hashes, which may read it, so it closes after them
  SetHashes hashes_;
  SetChecksums checksums_;
};

}  // namespace

Outcome SplitFiles(const std::string& inputFilename, std::int64_t newFileSizeBytes,
                   const SetOptions& options) {
  if (newFileSizeBytes < 0) {
    throw platform::RuntimeError(platform::ErrorNumber::InvalidProcedureCall, inputFilename);
  }
  File input = platform::OpenExclusive(inputFilename);
  if (!input.IsOpen()) return NotDone(FileFailure(inputFilename, input.error()));
  const std::int64_t length = platform::LengthOf(input);
  if (length < 0) return NotDone(FileFailure(inputFilename, errno));
  const int count = FragmentCount(length, newFileSizeBytes);
  if (count == 0) return {input.Close(), {}, {}};  // no fragment: none is touched

  // Everything that could refuse the split is settled before the first
  // change: the older fragment 1 is held (a join holding it stops us here),
  // the older checksum file says which fragments beyond ours are stale.
  const int claimed = ClaimedFragments(inputFilename);
  const platform::FileIdentity inputIdentity = platform::IdentityOf(input);
  if (const auto name = NameOfInput(inputFilename, std::max(count, claimed), inputIdentity)) {
    return NotDone(FileNameOf(*name) + " is the input file itself");
  }
  File olderFirst = TakeIfThere(FragmentName(inputFilename, 1));
  const bool checksumFile = CanHaveChecksumFile(inputFilename);
  const std::string checksumPath = ChecksumFileName(inputFilename);
  ProgressMeter meter(options, length);
  meter.Report(0);

  Splitter splitter(inputFilename, input, length, newFileSizeBytes,
                    options.checksums && checksumFile, claimed, meter);
  return Settle(
      [&] {
        if (checksumFile && platform::FileExists(checksumPath)) platform::DeleteFile(checksumPath);
        for (int number = 1; number <= count; ++number) {
          Outcome written =
              splitter.WriteFragment(number, number == 1 ? std::move(olderFirst) : File());
          if (!written) return written;
        }
        meter.Report(length);
        for (int number = count + 1; number <= claimed; ++number) {
          const std::string stale = FragmentName(inputFilename, number);
          if (platform::FileExists(stale)) platform::DeleteFile(stale);
        }
        Outcome finished = splitter.Finish();
        if (finished && (!input.Close() || !platform::FlushDirectoryOf(inputFilename))) {
          return NotDone(FileFailure(inputFilename, errno));
        }
        return finished;
      },
      [&] { return splitter.Undo(); });
}

}  // namespace control
