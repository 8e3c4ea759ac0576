#include "about_module.h"

#include "about_dialog.h"

#include <platform/component/activation.h>
#include <platform/file_rules.h>
#include <platform/message_box.h>
#include <platform/runtime_error.h>

#include <dlfcn.h>

#include <string>

namespace tessik {
namespace {

constexpr char kAboutModule[] = "TessikAbout.so";
constexpr char kAboutEntry[] = "TessikShowAboutDialog";
using AboutEntry = void (*)();

platform::RuntimeError CannotShow(const std::string& why, const std::string& path) {
  const auto number = static_cast<std::int32_t>(platform::ErrorNumber::InvalidProcedureCall);
  return platform::RuntimeError(number,
                                std::string(platform::DescribeError(number)) +
                                    ": the About box cannot be shown: " + why,
                                path);
}

// The About module's path: beside the file of this module.
std::string AboutModulePath() {
  const std::string self = platform::ModulePathOf(reinterpret_cast<const void*>(&AboutModulePath));
  const auto slash = self.find_last_of('/');
  return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + kAboutModule;
}

// Loads the About module as hosts load this one: never one that others than
// root and the user could have changed.
AboutEntry LoadAboutEntry() {
  const std::string path = AboutModulePath();
  if (const auto why = platform::WhyUntrusted(path)) throw CannotShow(*why, path);
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    throw CannotShow(reason != nullptr ? reason : "it does not load", path);
  }
  void* entry = dlsym(handle, kAboutEntry);
  if (entry == nullptr) throw CannotShow(std::string("it has no entry point ") + kAboutEntry, path);
  return reinterpret_cast<AboutEntry>(entry);
}

}  // namespace

void ShowAboutDialogFromModule() {
  // A host without the widget toolkit runs no window system: the dialog
  // would refuse, and the toolkit is not loaded only to hear that.
  if (!platform::WidgetToolkitLoaded()) {
    throw platform::RuntimeError(static_cast<int>(platform::ErrorNumber::InvalidProcedureCall),
                                 control::kNoWindowSystemText);
  }
  // Apartment-threaded: only the host's thread gets here.
  static AboutEntry entry = nullptr;
  if (entry == nullptr) entry = LoadAboutEntry();
  entry();
}

}  // namespace tessik
