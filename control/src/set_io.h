#pragma once

// What the split and the join share beyond the naming rules: copying with
// hashing alongside, and the words that tell a person why a step failed.
#include "background_hash.h"

#include <control/split_join.h>
#include <platform/file_rules.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace control {

// The outcome of a step that failed for `reason`.
inline Outcome NotDone(std::string reason) { return Outcome{false, std::move(reason), {}}; }

// Why a call on the file `path` failed (an open, a create, a flush or a
// close), in words for the person, from its errno.
std::string FileFailure(const std::string& path, int error);

// Why reading `from` or writing `to` failed, from the errno left behind.
std::string CopyFailure(const std::string& from, const std::string& to, int error);

// Waits, when it goes, until each hash given (null ones are passed over)
// has read all it was given.
// Declared after a file whose ranges the hashes read, it makes sure the file
// closes only after them, whichever way the step ends.
class HashReadersDone {
 public:
  HashReadersDone(BackgroundHash* first, BackgroundHash* second) : hashes_{first, second} {}
  ~HashReadersDone() {
    for (BackgroundHash* hash : hashes_) {
      if (hash != nullptr) hash->Wait();
    }
  }
  HashReadersDone(const HashReadersDone&) = delete;
  HashReadersDone& operator=(const HashReadersDone&) = delete;

 private:
  std::array<BackgroundHash*, 2> hashes_;
};

// Copies `count` bytes of `source`, from `sourceOffset` on, to the file
// position of `destination`, which is `destinationOffset`; each piece written
// is queued to every hash in `hashes` (null ones are passed over), to be read back from
// `destination` and hashed beside the copy. The count copied, or -1.
std::int64_t CopyHashed(const platform::File& source, std::int64_t& sourceOffset,
                        const platform::File& destination, std::int64_t destinationOffset,
                        std::int64_t count, std::initializer_list<BackgroundHash*> hashes);

}  // namespace control
