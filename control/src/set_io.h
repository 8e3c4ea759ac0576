#pragma once

// What the split and the join share beyond the naming rules: the hashes that
// run beside the copy, and the words that tell a person why a step failed.
#include "background_hash.h"

#include <control/split_join.h>
#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace control {

// Where operations on the set based on `basePath` keep their temporary
// files: in the set's folder, under names that start with ".tessik-" and a
// hash of the base file name, so that the temporary files of one name are
// found without looking at anyone else's and none is taken for a fragment.
struct TemporaryNames {
  std::string folder;
  std::string prefix;
  std::string Path(const std::string& tag) const { return folder + "/" + prefix + tag; }
};
TemporaryNames TemporaryNamesOf(const std::string& basePath);

// The outcome of a step that was done, or that failed for `reason`.
inline Outcome Done(std::string checksumFile = {}) {
  Outcome outcome;
  outcome.done = true;
  outcome.checksumFile = std::move(checksumFile);
  return outcome;
}
inline Outcome NotDone(std::string reason) {
  Outcome outcome;
  outcome.reason = std::move(reason);
  return outcome;
}

// What a file was opened for, which says what a refused permission means.
enum class Access { Read, Write };

// Why a call on the file `path` failed (an open, a create, a flush or a
// close), in words for the person, from its errno.
std::string FileFailure(const std::string& path, int error, Access access = Access::Write);

// Why reading `from` or writing `to` failed, from the errno left behind.
std::string CopyFailure(const std::string& from, const std::string& to, int error);

// The fragment among 1 to `last` of the set based on `basePath` that is the
// file `target`, however reached; nothing when none is.
std::optional<std::string> FragmentThatIs(const std::string& basePath, int last,
                                          const platform::FileIdentity& target);

// Removes `path` if it is still the file `identity` this operation wrote;
// empty when that went well, else why it could not be removed.
std::string RemoveWritten(const std::string& path, const platform::FileIdentity& identity);
// Removes `path` if it is there; empty when that went well, else why not.
std::string RemoveIfThere(const std::string& path);
// Removes the file `path` that `file`, still open, holds; as above.
std::string RemoveHeld(platform::File& file, const std::string& path);

// Runs `work`, the steps of an operation that change files. When it ends in
// any other way than done (not done, or a raised error, error 18 included),
// `undo` removes what it wrote and says what it could not remove, which then
// goes with the failure: after the reason, or after the error's description.
template <typename Work, typename Undo>
Outcome Settle(Work work, Undo undo) {
  Outcome outcome;
  try {
    outcome = work();
  } catch (const platform::RuntimeError& error) {
    const std::string left = undo();
    if (left.empty()) throw;
    throw platform::RuntimeError(error.number(), error.description() + "; " + left, error.path());
  } catch (...) {
    undo();
    throw;
  }
  if (!outcome) {
    const std::string left = undo();
    if (!left.empty()) outcome.reason += (outcome.reason.empty() ? "" : "; ") + left;
  }
  return outcome;
}

// Reports an operation's progress to SetOptions::progress and passes on a
// request to stop as error 18. Without a report function it does nothing.
class ProgressMeter {
 public:
  ProgressMeter(const SetOptions& options, std::int64_t total);

  // Reports `done` when 64 MiB or 100 ms have passed since the last report;
  // raises error 18 when the report asks to stop.
  void Update(std::int64_t done);
  // Reports `done` now, with the same answer.
  void Report(std::int64_t done);
  // Raises error 18 when SetOptions::stop asks to stop; reports nothing.
  void Check() const;
  // Counts `bytes` more work that comes before what Update and Report are
  // told from now on, which is then reported after it.
  void AddWorkBefore(std::int64_t bytes);
  // Counts `bytes` of it as done.
  void Settle(std::int64_t bytes);

 private:
  void Tell(std::int64_t done);

  const SetOptions& options_;
  std::int64_t total_;
  std::int64_t before_ = 0;  // work settled before the current step
  std::int64_t lastDone_ = 0;
  std::chrono::steady_clock::time_point lastTime_;
};

// The copy of a set's bytes and their hashes: the current fragment's and
// the whole file's, each on a thread of its own, either of them possibly off.
// They hash what the copy wrote, read back from the file it wrote to. The
// bytes done, copied and hashed, go to `meter` as the work goes on.
class SetHashes {
 public:
  SetHashes(bool fragments, bool whole, ProgressMeter& meter);

  bool HashesFragments() const { return fragment_.has_value(); }
  bool HashesWhole() const { return whole_.has_value(); }

  // Copies `count` bytes of `source`, from `sourceOffset` on, to the file
  // position of `destination`, which is `destinationOffset`, and queues each
  // piece written to the hashes. The count copied, or -1 (as CopyBytes).
  std::int64_t Copy(const platform::File& source, std::int64_t& sourceOffset,
                    const platform::File& destination, std::int64_t destinationOffset,
                    std::int64_t count, platform::CopyPace* pace = nullptr);

  // The digest of what was copied since the last take; nothing when that
  // hash is off or a read failed.
  std::optional<Digest> TakeFragment();
  std::optional<Digest> TakeWhole();
  // Waits until both have read all they were given, reporting progress
  // meanwhile; false when a read failed.
  bool Wait();
  // Stops both hashes reading, at once; what they had not read yet is lost.
  void Abandon();
  // The bytes copied so far that every hash has read too.
  std::int64_t Done() const;

  // Stops the hashes when it goes, after they read all they were given or
  // not. Declared after a file whose ranges they read, it closes that file
  // only after them, whichever way a step ends.
  class Readers {
   public:
    explicit Readers(SetHashes& hashes) : hashes_(hashes) {}
    ~Readers() { hashes_.Abandon(); }
    Readers(const Readers&) = delete;
    Readers& operator=(const Readers&) = delete;

   private:
    SetHashes& hashes_;
  };

 private:
  std::optional<BackgroundHash> fragment_;
  std::optional<BackgroundHash> whole_;
  ProgressMeter& meter_;
  std::int64_t copied_ = 0;
};

}  // namespace control
