// component: registers component modules and uses registered classes from
// the command line, through the same registry and dispatch path as any host.
#include "interruptions.h"
#include "progress.h"
#include "steps.h"

#include <platform/component/activation.h>
#include <platform/component/connection.h>
#include <platform/component/names.h>
#include <platform/component/persistence.h>
#include <platform/component/registry.h>
#include <platform/file_rules.h>
#include <platform/runtime_error.h>
#include <platform/translations.h>

#include <QApplication>
#include <QLocale>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

enum ExitStatus { kSuccess = 0, kReturnedFalse = 1, kRuntimeError = 2, kUsage = 3 };

constexpr char kUsageText[] =
    "usage: component register LIBRARY\n"
    "       component unregister LIBRARY\n"
    "       component list\n"
    "       component members PROGID\n"
    "       component call [--progress] [--] PROGID STEP...\n"
    "       component --help | --version\n"
    "A step is Name=Value (put a property), Name (get a property or call a\n"
    "method without arguments) or Name(arg,...) (call a method). A member may\n"
    "be named by its dispatch identifier: #0x68030002, #-552.\n"
    "Quoting: the Value of Name=Value is everything after the first '=', as\n"
    "written; quotes, commas and blanks in it are plain characters. In\n"
    "Name(arg,...) a comma separates arguments; an argument that is wholly in\n"
    "double quotes may hold commas and parentheses, and \"\" in it stands for\n"
    "one quote: JoinFiles(\"a,b\") names a,b and JoinFiles(\"a\"\"b\") names a\"b.\n"
    "Any other quote in an argument list is bad usage; blanks are kept.\n"
    "A malformed step stops the call before any step runs.\n"
    "--progress shows the progress of long operations on standard error.\n"
    "SIGINT, SIGTERM or SIGHUP cancels the operation running: it cleans up\n"
    "and the call exits 130, 143 or 129. Progress that cannot be written stops\n"
    "the reports, not the work; the call then exits 2.\n"
    "Exit status: 0 done, 1 a method returned false, 2 runtime error, 3 usage.\n"
    "See component(1).\n";

int Usage(const std::string& problem = {}) {
  if (!problem.empty()) std::cerr << "component: " << problem << '\n';
  std::cerr << kUsageText;
  return kUsage;
}

std::string HexIdentifier(platform::DispatchId id) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0')
       << static_cast<std::uint32_t>(id);
  return text.str();
}

std::string Parameters(const platform::MemberInfo& member) {
  std::string text;
  for (const platform::ParameterInfo& parameter : member.parameters) {
    if (!text.empty()) text += ", ";
    if (parameter.byReference) text += "ByRef ";
    text += std::string(parameter.name) + " As " +
            std::string(platform::DeclaredTypeName(parameter.type));
  }
  return text;
}

// One line per class: programmatic identifier, class identifier, module,
// the registration file it comes from, and why it is refused when it is.
// Registration files passed over are named on standard error.
int ListClasses() {
  for (const platform::RegistryLayer& layer : platform::ReadRegistryLayers()) {
    if (!layer.problem.empty()) {
      std::cerr << "component: skipped " << layer.path << ": " << layer.problem << '\n';
    }
  }
  for (const platform::RegisteredClass& entry : platform::RegisteredClasses()) {
    std::cout << entry.progId << '\t' << platform::ToText(entry.clsid) << '\t' << entry.modulePath
              << '\t' << entry.layer;
    if (!entry.refusal.empty()) std::cout << "\trefused: " << entry.refusal;
    std::cout << '\n';
  }
  return kSuccess;
}

// Removes the module's classes from the user's registry. Classes of that
// module registered for every user, and not by the user, are the package's
// to remove: that is said, and nothing is changed.
int Unregister(const std::string& modulePath) {
  const auto module = platform::IdentityOf(modulePath);
  const std::string userLayer = platform::RegistryLocation();
  bool mine = false;
  std::vector<platform::RegisteredClass> systemWide;
  // Another class's module that is not there, or cannot be looked up (no
  // path at all, a name too long), is not this one.
  const auto isModule = [&](const std::string& path) {
    try {
      return module && platform::IdentityOf(path) == module;
    } catch (const platform::RuntimeError&) {
      return false;
    }
  };
  for (platform::RegisteredClass& entry : platform::RegisteredClasses()) {
    if (!isModule(entry.modulePath)) continue;
    if (entry.layer == userLayer) {
      mine = true;
    } else {
      systemWide.push_back(std::move(entry));
    }
  }
  if (!mine && !systemWide.empty()) {
    for (const platform::RegisteredClass& entry : systemWide) {
      std::cerr << "component: " << entry.progId << " is registered for every user in "
                << entry.layer << "; only the package that installed it can remove it\n";
    }
    return kReturnedFalse;
  }
  platform::UnregisterModule(modulePath);
  std::cout << "unregistered " << modulePath << " in " << userLayer << '\n';
  return kSuccess;
}

// One line per member: identifier, kind, name with parameters, result,
// hidden or visible, help string.
int ListMembers(const std::string& progId) {
  const platform::Ref<platform::Dispatch> object = platform::CreateObject(progId);
  const platform::InterfaceInfo& info = object->TypeInfo();
  for (const platform::MemberInfo& member : info.members) {
    const std::string_view result = platform::DeclaredTypeName(member.result);
    std::cout << HexIdentifier(member.id) << '\t' << platform::MemberKindName(member.kind) << '\t'
              << member.name << '(' << Parameters(member) << ")\t"
              << (result.empty() ? "-" : result) << '\t' << (member.hidden ? "hidden" : "visible")
              << '\t' << member.helpString << '\n';
  }
  return kSuccess;
}

// The call's end after a signal: what was cut short, and the shell's status
// for a program ended by that signal.
int Interrupted(const std::string& report) {
  std::cout.flush();
  std::cerr << report << '\n';
  return 128 + cli::Interruption();
}

// True when the session has a display to show windows on.
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// A window system for the length of one step that shows a window: a Qt
// application speaking the user's language, whose windows close when a
// signal asks the call to stop, so that the call then ends as interrupted.
class WindowedHost {
 public:
  WindowedHost() {
    platform::InstallQtTranslations();
    QObject::connect(&watch_, &QTimer::timeout, [] {
      if (cli::Interruption() != 0) QApplication::closeAllWindows();
    });
    watch_.start(50);
  }

 private:
  // Qt's command-line options are never taken from the tool's arguments.
  static inline int argc_ = 1;
  static inline char name_[] = "component";
  static inline char* argv_[] = {name_, nullptr};
  QApplication application_{argc_, argv_};
  QTimer watch_;
};

// Runs the steps on `object` in order, stopping at the first that fails or
// returns false; the call's exit status.
int RunSteps(platform::Dispatch& object, const std::vector<component_tool::Step>& steps,
             cli::ProgressPrinter& printer) {
  for (const component_tool::Step& step : steps) {
    component_tool::Outcome outcome;
    try {
      // The About box alone needs a window system, and only it gets one:
      // the component's message boxes in other steps stay on standard error.
      std::optional<WindowedHost> windows;
      if (HasDisplay() && component_tool::MemberId(object, step) == platform::kDispidAboutBox) {
        windows.emplace();
      }
      outcome = component_tool::RunStep(object, step, std::cout);
    } catch (const platform::RuntimeError& error) {
      printer.End();
      if (cli::Interruption() != 0) return Interrupted(error.what());
      throw;
    }
    printer.End();
    if (cli::Interruption() != 0) {
      return Interrupted(platform::RuntimeError(platform::ErrorNumber::UserInterrupt).what());
    }
    if (outcome == component_tool::Outcome::ReturnedFalse) return kReturnedFalse;
  }
  return kSuccess;
}

// Creates one instance, initialises it as a newly placed control and runs
// the steps. With `progress`, the object's progress is shown on standard
// error; when that cannot be written the work goes on unreported, and the
// call then fails as for any output that did not arrive.
int Call(const std::string& progId, const std::vector<std::string>& texts, bool progress) {
  std::vector<component_tool::Step> steps;
  for (const std::string& text : texts) {
    try {
      steps.push_back(component_tool::ParseStep(text));
    } catch (const std::invalid_argument& problem) {
      return Usage(problem.what());
    }
  }
  const platform::Ref<platform::Dispatch> object = platform::CreateObject(progId);
  if (const auto persist = platform::Query<platform::PersistProperties>(object.get())) {
    const platform::Status status = persist->InitDefaults();
    if (platform::Failed(status)) throw platform::ErrorOfStatus(status, {});
  }
  cli::ProgressPrinter printer(stderr, isatty(STDERR_FILENO) == 1);
  const platform::EventConnection events(*object, cli::EventHandler(progress ? &printer : nullptr));
  cli::NoteInterruptions();
  const int status = RunSteps(*object, steps, printer);
  if (printer.writeError() != 0) throw platform::FileError(printer.writeError(), "standard error");
  return status;
}

int Run(std::vector<std::string> words) {
  // Options come first only; "--" ends them, so that what follows is never one.
  if (!words.empty() && words[0] == "--help") {
    std::cout << kUsageText;
    return kSuccess;
  }
  if (!words.empty() && words[0] == "--version") {
    std::cout << "component " PROGRAM_VERSION "\n";
    return kSuccess;
  }
  if (!words.empty() && words[0] == "--") words.erase(words.begin());
  if (words.empty()) return Usage();
  const std::string& command = words[0];
  if (command == "register" && words.size() == 2) {
    platform::RegisterModule(words[1]);
    std::cout << "registered " << words[1] << " in " << platform::RegistryLocation() << '\n';
    return kSuccess;
  }
  if (command == "unregister" && words.size() == 2) return Unregister(words[1]);
  if (command == "list" && words.size() == 1) return ListClasses();
  if (command == "members" && words.size() == 2) return ListMembers(words[1]);
  if (command == "call") {
    const bool progress = words.size() > 1 && words[1] == "--progress";
    std::size_t first = progress ? 2 : 1;
    if (words.size() > first && words[first] == "--") ++first;
    if (words.size() >= first + 2) {
      return Call(words[first], std::vector<std::string>(words.begin() + first + 1, words.end()),
                  progress);
    }
  }
  return Usage("unknown command or wrong number of arguments");
}

}  // namespace

int main(int argc, char** argv) {
  platform::ReportFileSizeLimitAsFailure();
  try {
    const int status = Run(std::vector<std::string>(argv + 1, argv + argc));
    // What was printed is part of the result: output that never reached its
    // destination (a failing device, a full disk) makes the call a failure.
    if (!std::cout.flush()) throw platform::FileError(errno, "standard output");
    return status;
  } catch (const platform::RuntimeError& error) {
    std::cout.flush();
    std::cerr << error.what() << '\n';
    return kRuntimeError;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "error: " << error.what() << '\n';
    return kRuntimeError;
  }
}
