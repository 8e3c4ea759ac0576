#pragma once

// The recovery data of a fragment set: the PAR2 files beside it, named after
// the set ("film.avi.par2", "film.avi.vol0+1.par2", ...), which describe its
// fragments and rebuild lost ones.
#include "checksum_file.h"
#include "older_set.h"
#include "recovery/par2.h"
#include "set_io.h"

#include <platform/file_rules.h>

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace control {

// The paths of the regular files and links in the set's folder named as
// the recovery files of the set based on `basePath`, in name order.
std::vector<std::string> RecoveryFilesOf(const std::string& basePath);

// The recovery data beside a set, as it describes the set's fragments.
struct SetRecovery {
  par2::Description description;
  std::vector<par2::RecoveryBlock> blocks;
  // For fragment number n, the position of its file in description.files.
  std::vector<int> positions;
  std::string index;  // the file name people are told: "film.avi.par2"

  int FragmentCount() const { return static_cast<int>(positions.size()); }
  const par2::InputFile& Fragment(int number) const {
    return description.files[static_cast<std::size_t>(positions[static_cast<std::size_t>(number - 1)])];
  }
};

// Reads the recovery data of the set based on `basePath`. Nothing when none
// is there, or when what is there describes other files than fragments 1 to
// N of that set, with N its files' count (such files are not this set's).
std::optional<SetRecovery> ReadRecovery(const std::string& basePath);

// The checksum file beside a set with recovery data (Missing when there is
// none); refused when it is damaged or lists another count of fragments than
// the recovery data describes.
std::variant<ChecksumFile, Outcome> ChecksumFileBeside(const std::string& basePath,
                                                      const SetRecovery& recovery);

// Passes the progress of a pass over recovery data to `meter`, as a share of
// `scale` bytes. A stop or an error raised by the meter ends the pass (its
// function answers true) and is raised by RaiseAny once the pass let go.
class Reports {
 public:
  Reports(ProgressMeter& meter, std::int64_t scale) : meter_(meter), scale_(scale) {}
  par2::Progress Function();
  void RaiseAny() const;

 private:
  ProgressMeter& meter_;
  std::int64_t scale_;
  std::exception_ptr failure_;
};

// A file of the set's folder with the identity it had when it was looked at.
using Seen = std::pair<std::string, platform::FileIdentity>;

// Finds the recovery files a split of the set based on `basePath` removes
// before its first change: those shown to be the older set's (they describe
// fragments 1 to `olderCount`, the older checksum file's count, each as long
// as the older fragment is) or made by a split of the same file that was
// stopped (`claims`). Refused, before anything changes, when another file
// is at a name the split writes with `recoveryCount`, or describes
// fragments of this set without being shown to be ours: left beside the new
// fragments, it would make a repair put older content back.
std::variant<std::vector<Seen>, Outcome> FindOlderRecovery(const std::string& basePath,
                                                          int olderCount, const Claims& claims,
                                                          int recoveryCount);

// Writes the recovery files of the new set based on `basePath`: `count`
// fragments of `partSize` bytes (the last shorter) read from `input`, of
// `length` bytes, with `recoveryCount` recovery fragments. Each is written
// under a temporary name claimed in `journal` first, flushed, then renamed
// in where nothing is; `written` gets each one as it is. Progress goes to
// `meter` as bytes of the input read. The folder is not flushed.
Outcome WriteRecovery(const std::string& basePath, const platform::File& input, std::int64_t length,
                      std::int64_t partSize, int count, int recoveryCount, SplitJournal& journal,
                      ProgressMeter& meter, std::vector<Seen>& written);

// Rebuilds the fragments `lost` (numbers) of the set that `recovery`
// describes, reading the others through `read` and writing the rebuilt
// bytes through `write` (both by fragment number). Progress goes to `meter`;
// a stop it asks for is raised once the rebuild has let go of its work.
Outcome RebuildFragments(const SetRecovery& recovery, const std::vector<int>& lost,
                         const par2::Reader& read, const par2::Writer& write, ProgressMeter& meter);

// "film.avi.2, film.avi.3": the names of fragments `numbers` of the set.
std::string NamesOf(const std::string& basePath, const std::vector<int>& numbers);

}  // namespace control

namespace control {

// The line a check adds about the recovery data when fragments `lost` are
// missing or damaged: whether its intact recovery fragments rebuild them.
std::string RepairVerdict(const std::string& basePath, const SetRecovery& recovery,
                          const std::vector<int>& lost, ProgressMeter& meter);

// A check of a set that has no checksum file by its recovery data: each
// fragment's length and MD5, a line per problem, and the verdict above.
Outcome VerifyByRecovery(const std::string& basePath, const SetRecovery& recovery,
                         const SetOptions& options);

// The fragments of the set that `recovery` describes that are missing, of
// another length or of another MD5, in set order. Progress to `meter`.
std::vector<int> LostFragments(const std::string& basePath, const SetRecovery& recovery,
                               ProgressMeter& meter);

}  // namespace control
