#pragma once

// What a join settles before anything is touched: the fragments it takes,
// their lengths and checksums, and what of them is lost and rebuilt from the
// set's recovery data.
#include "checksum_file.h"
#include "recovery_files.h"
#include "set_io.h"

#include <platform/file_rules.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace control {

// The set a join takes: how many fragments, and what they must hash to when
// a checksum file lists them.
struct JoinPlan {
  int count = 0;
  std::int64_t total = 0;  // bytes, as the fragments are long when planned
  std::optional<SetChecksums> checksums;
  std::string checksumPath;
  // With recovery data: each fragment's length as it describes it, and the
  // fragments known lost before the copy (missing, of another length, or
  // without a checksum file, another MD5).
  std::optional<SetRecovery> recovery;
  std::vector<std::int64_t> lengths;
  std::vector<int> lost;
};


// Refused, saying how many fragments are lost and how many the recovery
// data rebuilds, when that is fewer; nothing when it is enough.
std::optional<Outcome> Unrebuildable(const std::vector<int>& lost, const SetRecovery& recovery);

// Settles which fragments the join takes, before anything is touched. With
// a checksum file, exactly the fragments it lists, each there and of a
// plausible length; without one (or when checksums are off), the fragments
// up to the first missing number. Fragment 1 is `first`, held already.
std::variant<JoinPlan, Outcome> Plan(const std::string& basePath, const platform::File& first,
                                     const SetOptions& options);

// Settles the join of a set that has recovery data: the fragments it
// describes, each expected as long as it says. Fragments missing or of
// another length are lost from the start; without a checksum file, so are
// those whose MD5 differs. Refused before anything is touched when more
// are lost than the data rebuilds, or when the checksum file lists another
// count of fragments.
std::variant<JoinPlan, Outcome> PlanWithRecovery(const std::string& basePath, SetRecovery recovery,
                                                 ProgressMeter& meter);

}  // namespace control
