#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

namespace control {
namespace {

using platform::File;

enum class Remaining { Data, End, ReadFailed };

// Whether `input` holds another byte at `offset`, without consuming it.
Remaining Peek(const File& input, std::int64_t offset) {
  char byte = 0;
  const std::int64_t got = platform::ReadAt(input, &byte, 1, offset);
  if (got < 0) return Remaining::ReadFailed;
  return got == 0 ? Remaining::End : Remaining::Data;
}

// Replaces the fragment `name` with the next `partSize` bytes of `input`
// (fewer at its end), flushed and closed; false when it could not be created,
// a read or a write failed, or the flush or close failed.
bool WriteFragment(const File& input, std::int64_t& offset, const std::string& name,
                   std::int64_t partSize) {
  if (platform::FileExists(name)) platform::DeleteFile(name);
  File fragment = platform::CreateNewExclusive(name);
  if (!fragment.IsOpen()) return false;
  if (platform::CopyBytes(input, offset, fragment, partSize) < 0) return false;
  return platform::Flush(fragment) && fragment.Close();
}

}  // namespace

bool SplitFiles(const std::string& inputFilename, std::int64_t newFileSizeBytes) {
  if (newFileSizeBytes < 0) {
    throw platform::RuntimeError(platform::ErrorNumber::InvalidProcedureCall, inputFilename);
  }
  File input = platform::OpenExclusive(inputFilename);
  if (!input.IsOpen()) return false;
  if (newFileSizeBytes == 0) return input.Close();

  std::int64_t offset = 0;
  int number = 1;
  Remaining remaining = Peek(input, offset);
  while (remaining == Remaining::Data) {
    if (!WriteFragment(input, offset, FragmentName(inputFilename, number), newFileSizeBytes)) {
      return false;
    }
    remaining = Peek(input, offset);
    number = NextFragmentNumber(number);
  }
  if (remaining == Remaining::ReadFailed) return false;
  RemoveFragmentsFrom(inputFilename, number);
  return input.Close() && platform::FlushDirectoryOf(inputFilename);
}

}  // namespace control
