#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace control {

// What a split or a join does beyond the fragments themselves.
struct SetOptions {
  // A split writes the set's checksum file; a join beside one is verified
  // against it. When false, a split still deletes an older checksum file (it
  // would no longer describe the set) and a join ignores one.
  bool checksums = true;
  // Told the bytes done (copied, and hashed when checksums are on) and the
  // total: once before anything is touched, about every 64 MiB or 100 ms of
  // work, and once when all is copied and checked, before the work is
  // settled. Returning true asks the operation to stop: it removes what it
  // wrote, as after a failure, and raises error 18.
  std::function<bool(std::int64_t done, std::int64_t total)> progress;
  // Set from any thread to stop the work as a report answered true does. It
  // is looked at between every two pieces of the work and while the work
  // waits for its helpers, so a stop takes effect within a piece's time
  // (about a tenth of a second), or once a flush under way has ended.
  const std::atomic<bool>* stop = nullptr;
  // A join replaces an older file at its output's name. When false it
  // refuses one, before anything is written and also one that comes to the
  // name while it works: nothing there is ever replaced.
  bool replace = true;
  // A split writes recovery data for this many recovery fragments beside the
  // set (PAR2 files that rebuild any that many lost fragments); 0 for none.
  // From 0 to the number of fragments the split makes, else error 5.
  int recovery = 0;
};

// How a split or a join ended, when it did not raise a runtime error.
struct Outcome {
  bool done = false;
  // Why it was not done, in words for the person; empty when there is no
  // more to say than that it failed.
  std::string reason;
  // The checksum file a join was verified against; empty otherwise.
  std::string checksumFile;
  // The fragments a join or a repair rebuilt from the set's recovery data,
  // by file name in set order, and that data's index file's name.
  std::vector<std::string> rebuilt;
  std::string recoveryFile;

  explicit operator bool() const { return done; }
};

// Writes the file `inputFilename` out as fragments of `newFileSizeBytes`
// bytes (the last one shorter) and, when asked, the checksum file after the
// last fragment is flushed. The set is named after the input: beside it, or
// with `setFolder` given, under the input's file name in that folder, where
// all that is said here of the set's names then holds (its temporary files
// included); the input's own folder is then left as it is. Each fragment replaces an older file of its name,
// deleted while held; beyond the last fragment written, only the fragments
// that the older checksum file listed are deleted, and a split that writes no
// fragment touches none. Not done when the input could not be opened (it is
// created empty when missing), a fragment name leads to the input itself, a
// fragment or the checksum file could not be created or written, or a read, a
// flush or a close failed. A split that ends in any other way than done
// removes what it wrote, fragment 1 first, and the rest of the older set
// that the older checksum file listed, so that no set half new and half old
// is left to be joined; one that touched no fragment removes nothing. What
// could not be removed is named after the reason or the error's
// description. Not done either, before anything is touched, when `setFolder`
// is not a folder. Raises: error 5 for a negative part size, error 6 when the
// set would pass fragment 32766, error 76 when `setFolder` is missing (all
// before anything is touched), the
// delete's error for a fragment that cannot be deleted, the file error of a
// look-up that fails for another reason than a missing file, and error 18
// when the progress report asked to stop.
Outcome SplitFiles(const std::string& inputFilename, std::int64_t newFileSizeBytes,
                   const SetOptions& options = {}, const std::string& setFolder = {});

// Rebuilds the file `inputFilename` from its fragment set, replacing an older
// file of that name (deleted while held). Fragment 1 is held from the start
// to the end, so no split can replace the set meanwhile. With a checksum file
// the set is exactly the fragments it lists, each checked while it is copied
// and the whole file at the end; without one, fragments 1, 2, ... up to the
// first missing number. Not done, with nothing touched, when there is no
// fragment 1, the checksum file is damaged, a listed fragment is missing or of
// a length that cannot match, or the output is one of the fragments; not done
// when the file could not be created, a fragment could not be opened or
// delivered fewer bytes than its length, or a write, a flush or a close
// failed. A fragment or whole file that does not match its checksum stops the
// join. A join that ends in any other way than done removes the file it was
// writing, naming it when it could not; the fragments are never changed.
// Raises: error 6 when
// fragments 1 to 32767 all exist (before anything is touched), error 53 when a
// fragment vanished while joining, the delete's error when the older file
// cannot be deleted, the file error of a failed look-up, and error 18 when
// the progress report asked to stop. With `setBase`, the set based there is
// joined into `inputFilename` instead of the set based on it (a set on a
// stick rebuilt on the disk); the fragments' own set is never the output.
Outcome JoinFiles(const std::string& inputFilename, const SetOptions& options = {},
                  const std::string& setBase = {});

// Checks the set of `inputFilename` against its checksum file, read and
// validated as a join reads it, without joining: every fragment listed is
// hashed, and the whole file's checksum, when listed, is checked by hashing
// the fragments in order once every fragment matched. Nothing is written;
// fragments are read with a join's shared locks, fragment 1 held to the end.
// Done when all matches. Otherwise `reason` names each problem on a line of
// its own, in set order: "film.avi.3 is missing", "film.avi.2 does not match
// film.avi.sha256", then "film.avi does not match film.avi.sha256" for the
// whole file; or "film.avi.sha256 is missing", or the damage of the checksum
// file. `checksumFile` names the checksum file read. `options.checksums` is
// not looked at. Progress counts the bytes hashed of the fragments' total.
// Raises: the file error of a failed look-up or of an open that fails
// otherwise than for a missing fragment, error 57 for a failed read, and
// error 18 when the progress report asked to stop.
Outcome VerifySet(const std::string& inputFilename, const SetOptions& options = {});

// Restores on disk the fragments of the set of `inputFilename` that are
// missing or damaged (another length or content than its recovery data
// says), rebuilt from the others and the recovery data. Each is written
// under a temporary name, checked and flushed, then renamed over the
// damaged one, so that no copy of it is left; nothing changes unless all of
// them were rebuilt. Done, with `rebuilt` naming them and `recoveryFile`
// the index, or with nothing rebuilt when all are sound. Not done when
// there is no recovery data, more fragments are lost than it rebuilds, or a
// split of the name was stopped. Raises error 18 when asked to stop.
Outcome RepairSet(const std::string& inputFilename, const SetOptions& options = {});

}  // namespace control
