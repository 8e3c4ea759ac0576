#include <control/fragment_set.h>
#include <control/split_join.h>

#include "checksum_file.h"
#include "recovery_files.h"
#include "set_io.h"

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <vector>

namespace control {
namespace {

using platform::File;

// One check of a set against the checksums listed for it: each fragment's
// hash, and the whole file's while it can still match, each on a thread of
// its own reading the fragments, and a line for each problem found.
class SetCheck {
 public:
  SetCheck(const std::string& basePath, const SetChecksums& listed, ProgressMeter& meter)
      : basePath_(basePath), listed_(listed), meter_(meter) {
    if (listed_.whole) whole_.emplace();
  }

  // Checks fragment `number` (1 and up), whose length was `length` when
  // measured, or -1 when it was missing then. Fragment 1 stays held in
  // `first` until the check ends.
  void CheckFragment(int number, std::int64_t length, File& first) {
    const std::string name = FragmentName(basePath_, number);
    if (length < 0) return Problem(FileNameOf(name) + " is missing", number);
    File opened = platform::OpenForReading(name);
    if (!opened.IsOpen()) {
      if (opened.error() == ENOENT) return Problem(FileNameOf(name) + " is missing", number);
      throw platform::FileError(opened.error(), name);
    }
    if (number == 1) first = std::move(opened);
    const File& fragment = number == 1 ? first : opened;
    const Digest digest = Hash(fragment, name);
    if (digest != listed_.fragments[static_cast<std::size_t>(number - 1)]) {
      Problem(Mismatch(name), number);
    }
  }

  // Checks the whole file when its checksum is listed and every fragment
  // matched (otherwise it cannot match, and is not named again).
  void CheckWhole() {
    if (!whole_) return;
    const std::optional<Digest> digest = whole_->Take();
    if (!digest) throw platform::RuntimeError(platform::ErrorNumber::DeviceIoError, basePath_);
    if (*digest != *listed_.whole) Problem(Mismatch(basePath_));
  }

  // The bytes every hash has read.
  std::int64_t Done() const {
    return whole_ ? std::min(fragment_.Hashed(), whole_->Hashed()) : fragment_.Hashed();
  }

  // The problems found, a line each; empty when there is none.
  const std::string& Report() const { return report_; }
  // The fragments missing or damaged, in set order.
  const std::vector<int>& Lost() const { return lost_; }

 private:
  // The digest of `fragment`, whose bytes go to the whole file's hash too;
  // error 57 naming `name` when a read failed.
  Digest Hash(const File& fragment, const std::string& name) {
    const std::int64_t length = platform::LengthOf(fragment);
    if (length < 0) throw platform::FileError(errno, name);
    // However this ends, no hash reads the fragment once it is closed.
    const Readers readers(*this);
    fragment_.Add(fragment.descriptor(), 0, length);
    if (whole_) whole_->Add(fragment.descriptor(), 0, length);
    bool read = true;
    for (BackgroundHash* hash : {&fragment_, whole_ ? &*whole_ : nullptr}) {
      if (hash == nullptr) continue;
      std::optional<bool> waited;
      while (!(waited = hash->WaitFor(kPoll))) meter_.Update(Done());
      read = *waited && read;
    }
    meter_.Update(Done());  // a stop is heeded between any two fragments, however small
    const std::optional<Digest> digest = fragment_.Take();
    if (!read || !digest) throw platform::RuntimeError(platform::ErrorNumber::DeviceIoError, name);
    return *digest;
  }

  // Notes a problem; the whole file cannot match after one.
  void Problem(const std::string& line, int number = 0) {
    report_ += (report_.empty() ? "" : "\n") + line;
    whole_.reset();
    if (number > 0) lost_.push_back(number);
  }

  std::string Mismatch(const std::string& name) const {
    return FileNameOf(name) + " does not match " + FileNameOf(ChecksumFileName(basePath_));
  }

  // Stops the hashes reading when it goes, whether they read all or not.
  class Readers {
   public:
    explicit Readers(SetCheck& check) : check_(check) {}
    ~Readers() {
      check_.fragment_.Abandon();
      if (check_.whole_) check_.whole_->Abandon();
    }
    Readers(const Readers&) = delete;
    Readers& operator=(const Readers&) = delete;

   private:
    SetCheck& check_;
  };

  static constexpr std::chrono::milliseconds kPoll{20};

  const std::string& basePath_;
  const SetChecksums& listed_;
  ProgressMeter& meter_;
  BackgroundHash fragment_;
  std::optional<BackgroundHash> whole_;
  std::string report_;
  std::vector<int> lost_;
};

}  // namespace

Outcome VerifySet(const std::string& inputFilename, const SetOptions& options) {
  const ChecksumFile listed = ReadChecksumFile(inputFilename);
  const std::string checksumPath = ChecksumFileName(inputFilename);
  if (listed.state == ChecksumFile::State::Missing) {
    if (auto recovery = ReadRecovery(inputFilename)) return VerifyByRecovery(inputFilename, *recovery, options);
    return NotDone(FileNameOf(checksumPath) + " is missing");
  }
  if (listed.state == ChecksumFile::State::Damaged) return NotDone(listed.damage);

  // Measured first, so that progress knows the total; -1 for a missing one.
  std::vector<std::int64_t> lengths;
  std::int64_t total = 0;
  for (std::size_t number = 1; number <= listed.checksums.fragments.size(); ++number) {
    const std::string name = FragmentName(inputFilename, static_cast<int>(number));
    lengths.push_back(platform::FileExists(name) ? platform::FileLength(name) : -1);
    total += std::max<std::int64_t>(lengths.back(), 0);
  }

  ProgressMeter meter(options, total);
  meter.Report(0);
  File first;  // held against writers to the end: no split replaces the set meanwhile
  SetCheck check(inputFilename, listed.checksums, meter);
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    check.CheckFragment(static_cast<int>(i + 1), lengths[i], first);
  }
  check.CheckWhole();
  meter.Report(check.Done());
  Outcome outcome = check.Report().empty() ? Done(checksumPath) : NotDone(check.Report());
  outcome.checksumFile = checksumPath;
  if (!check.Lost().empty()) {
    if (auto recovery = ReadRecovery(inputFilename)) {
      outcome.reason += "\n" + RepairVerdict(inputFilename, *recovery, check.Lost(), meter);
    }
  }
  return outcome;
}

}  // namespace control
