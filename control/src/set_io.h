#pragma once

// What the split and the join share beyond the naming rules: the hashes that
// run beside the copy, and the words that tell a person why a step failed.
#include "background_hash.h"

#include <control/split_join.h>
#include <platform/file_rules.h>

#include <cstdint>
#include <optional>
#include <string>

namespace control {

// The outcome of a step that was done, or that failed for `reason`.
inline Outcome Done(std::string checksumFile = {}) { return {true, {}, std::move(checksumFile)}; }
inline Outcome NotDone(std::string reason) { return {false, std::move(reason), {}}; }

// Why a call on the file `path` failed (an open, a create, a flush or a
// close), in words for the person, from its errno.
std::string FileFailure(const std::string& path, int error);

// Why reading `from` or writing `to` failed, from the errno left behind.
std::string CopyFailure(const std::string& from, const std::string& to, int error);

// The fragment among 1 to `last` of the set based on `basePath` that is the
// file `target`, however reached; nothing when none is.
std::optional<std::string> FragmentThatIs(const std::string& basePath, int last,
                                          const platform::FileIdentity& target);

// The hashes of a set being written: the current fragment's and the whole
// file's, each on a thread of its own, either of them possibly off. They hash
// what the copy wrote, read back from the file it wrote to.
class SetHashes {
 public:
  SetHashes(bool fragments, bool whole);

  bool HashesFragments() const { return fragment_.has_value(); }
  bool HashesWhole() const { return whole_.has_value(); }

  // Copies `count` bytes of `source`, from `sourceOffset` on, to the file
  // position of `destination`, which is `destinationOffset`, and queues each
  // piece written to the hashes. The count copied, or -1 (as CopyBytes).
  std::int64_t Copy(const platform::File& source, std::int64_t& sourceOffset,
                    const platform::File& destination, std::int64_t destinationOffset,
                    std::int64_t count);

  // The digest of what was copied since the last take; nothing when that
  // hash is off or a read failed.
  std::optional<Digest> TakeFragment();
  std::optional<Digest> TakeWhole();
  // Waits until both have read all they were given; false when a read failed.
  bool Wait();

  // Waits for the hashes when it goes. Declared after a file whose ranges
  // they read, it closes that file only after them, whichever way a step ends.
  class Readers {
   public:
    explicit Readers(SetHashes& hashes) : hashes_(hashes) {}
    ~Readers() { hashes_.Wait(); }
    Readers(const Readers&) = delete;
    Readers& operator=(const Readers&) = delete;

   private:
    SetHashes& hashes_;
  };

 private:
  std::optional<BackgroundHash> fragment_;
  std::optional<BackgroundHash> whole_;
};

}  // namespace control
