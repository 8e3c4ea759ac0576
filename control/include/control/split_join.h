#pragma once

#include <cstdint>
#include <string>

namespace control {

// Writes the file `inputFilename` out as fragments of `newFileSizeBytes` bytes
// (the last one shorter), each replacing an older fragment of its name, and
// removes the stale fragments that follow the last one written. True when the
// whole file was written out and flushed; false when the input could not be
// opened (it is created empty when missing), a fragment could not be created
// or written, or a read, a flush or a close failed. A fragment that cannot be
// deleted raises the delete's error; passing fragment 32767 raises error 6; a
// negative part size raises error 5 before anything is touched. A part size of
// 0 writes nothing.
bool SplitFiles(const std::string& inputFilename, std::int64_t newFileSizeBytes);

// Rebuilds the file `inputFilename` from its fragment set, replacing an older
// file of that name. True when every fragment was written into it and it was
// flushed; false when there is no fragment 1 (nothing is touched then), the
// file could not be created, a fragment could not be opened or delivered fewer
// bytes than its length, or a write, a flush or a close failed. Error 6 when
// fragments 1 to 32767 all exist (before anything is touched), error 53 when
// a fragment vanished while joining, and the delete's error when the older
// file cannot be deleted.
bool JoinFiles(const std::string& inputFilename);

}  // namespace control
