#pragma once

// What a split may replace or remove of what lies at the names it writes:
// only files it can show are older fragments of the same file.
#include "background_hash.h"
#include "checksum_file.h"
#include "set_io.h"

#include <platform/file_rules.h>

#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace control {

// What shows that a file at a fragment's name is an older fragment of the
// same file: its content, as an older checksum file gives it, or its
// identity, when a split of the same file made it and was stopped before it
// finished.
struct Claims {
  std::map<int, std::vector<Digest>> contents;
  std::map<int, std::vector<platform::FileIdentity>> made;

  void Add(const SetChecksums& listed);
  // The largest fragment number claimed; 0 when none is.
  int Largest() const;
};

// The journal of a split, a temporary file beside the set that holds the
// claims while the split runs, so that a split run again after one that was
// killed can still tell the files of its own from anyone else's. Held while
// the split runs, it also keeps two splits of one name apart.
class SplitJournal {
 public:
  // Takes the journal of the set: made anew, or the leftover of a killed
  // split, whose claims are kept. Unopened, with error() EWOULDBLOCK, when
  // another split holds it.
  static SplitJournal Take(const TemporaryNames& names);

  bool IsOpen() const { return file_.IsOpen(); }
  int error() const { return file_.error(); }
  Claims& claims() { return claims_; }
  // Writes all the claims; false, with errno set, when that failed.
  bool Write();
  // Adds, and writes, the claim that fragment `number` was made as `file`.
  bool RecordMade(int number, const platform::FileIdentity& file);
  // Removes the journal once no file it claims is left; a journal that was
  // there before this split and still claims files is kept for the next.
  void Finish(bool claimsSettled);

 private:
  platform::File file_;
  std::string path_;
  Claims claims_;
};

// Takes the older file `name` for deletion (as platform::TakeForDeletion);
// refused, in words, when another program holds it. Raises the delete's
// error for any other reason (a read-only file).
std::variant<platform::File, Outcome> TakeOlder(const std::string& name);

// The older fragments a split found, by number, with the identity each had
// when it was shown to be one: within the new set, and beyond it.
struct OlderSet {
  std::vector<std::pair<int, platform::FileIdentity>> within;
  std::vector<std::pair<int, platform::FileIdentity>> beyond;
};

// Looks at every name that the split of `basePath` into `count` fragments
// writes, and at the claimed ones beyond, before anything changes. Refused
// (the Outcome) when a name is in the way (anything but a regular file, a
// link included), a file within the set is not shown to be an older
// fragment, or one is in use by another program; when `checksumFile` is
// false, also when anything at one of the kHoleLookAhead numbers after the
// set is not an older fragment, since a join would take it into the set or
// refuse the set for it. Raises a file's error
// when an older fragment cannot be taken (a read-only one). Hashing older
// fragments is reported to `meter`.
std::variant<OlderSet, Outcome> FindOlderSet(const std::string& basePath, int count,
                                             bool checksumFile, const Claims& claims,
                                             ProgressMeter& meter);

}  // namespace control
