// The window's saved layout reader on fuzzed layout files, read as the window
// reads its own: the values the program looks up, the file dialog's filter,
// and the hosted control created from the "split" record through the real
// registry and Tessik module (loaded once per process) and loaded from the
// record's property bag. A layout that cannot give the control raises a
// RuntimeError; nothing crashes and nothing else escapes.
#include "common_dialog.h"
#include "hosted_control.h"
#include "tessik_fuzz_host.h"

#include <platform/runtime_error.h>

#include <unistd.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const testing_support::TessikHost& host = FuzzHost();
  // A new name for every input: the settings reader caches files by name.
  static unsigned long inputs = 0;
  const std::string path = host.folder() / ("layout-" + std::to_string(++inputs) + ".ini");
  testing_support::WriteBytes(path, std::string(reinterpret_cast<const char*>(data), size));
  const QString layout = QString::fromStdString(path);

  LayoutValue(layout, "split", "Module");
  LayoutValue(layout, "split", "ProgID");
  const CommonDialog dialog(LayoutValue(layout, "cd", "Filter"));
  try {
    CreateHostedControl(layout, "split");
  } catch (const platform::RuntimeError&) {
  }
  unlink(path.c_str());
  return 0;
}
