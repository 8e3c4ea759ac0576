#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>

namespace control {
namespace {

using platform::File;

// Appends the whole fragment `name` to `joined` and flushes `joined`; false
// when the fragment could not be opened or delivered fewer bytes than its
// length, or a write or the flush failed. A vanished fragment raises 53.
bool AppendFragment(const File& joined, const std::string& name) {
  const std::int64_t length = platform::FileLength(name);
  File fragment = platform::OpenExclusive(name);
  if (!fragment.IsOpen()) return false;
  std::int64_t offset = 0;
  if (platform::CopyBytes(fragment, offset, joined, length) != length) return false;
  return platform::Flush(joined) && fragment.Close();
}

}  // namespace

bool JoinFiles(const std::string& inputFilename) {
  const int count = CountFragments(inputFilename);
  if (count == 0) return false;
  if (platform::FileExists(inputFilename)) platform::DeleteFile(inputFilename);
  File joined = platform::CreateNewExclusive(inputFilename);
  if (!joined.IsOpen()) return false;
  for (int number = 1; number <= count; ++number) {
    if (!AppendFragment(joined, FragmentName(inputFilename, number))) return false;
  }
  return joined.Close() && platform::FlushDirectoryOf(inputFilename);
}

}  // namespace control
