// The registry file reader on fuzzed text. A damaged file raises
// RuntimeError 75 naming the file, nothing else escapes; a file that reads is
// written out to text that reads back to the same tree and is written out
// again unchanged.
#include "fuzz_check.h"

#include <platform/component/registry.h>
#include <platform/runtime_error.h>

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fileName = "fuzzed.reg";
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::RegistryTree tree;
  try {
    tree = platform::RegistryTree::FromText(text, fileName);
  } catch (const platform::RuntimeError& error) {
    Require(error.number() == 75 && error.path() == fileName,
            "a damaged registry raised something other than error 75 on its file");
    return 0;
  }
  const std::string written = tree.ToText();
  const platform::RegistryTree again = platform::RegistryTree::FromText(written, fileName);
  Require(again == tree, "a written registry reads back to another tree");
  Require(again.ToText() == written, "a registry read back is written out differently");
  return 0;
}
