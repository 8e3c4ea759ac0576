// tessik: cuts a file into a numbered set of fragments, puts such a set back
// together and checks one, through the Tessik component found in the
// component registry.
#include "command_line.h"
#include "file_split_ids.h"
#include "interruptions.h"
#include "progress.h"

#include <platform/component/activation.h>
#include <platform/component/persistence.h>
#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using tessik::Command;

enum ExitStatus { kSuccess = 0, kFailure = 1, kUsage = 2 };

constexpr char kUsageText[] =
    "Usage: tessik split FILE [-n PARTS | --max-size SIZE | --fit MEDIUM] [-C DIR]\n"
    "                         [-r K] [--no-checksums] [--dry-run]\n"
    "       tessik join NAME [-o OUTPUT] [-f]\n"
    "       tessik check NAME\n"
    "       tessik repair NAME\n"
    "       tessik --help | --version\n"
    "Cuts FILE into FILE.1, FILE.2, ... with a checksum file FILE.sha256, and puts\n"
    "such a set back together byte for byte. NAME is the file to rebuild or any\n"
    "member of its set (film.avi, film.avi.1, film.avi.7, film.avi.sha256).\n"
    "\n"
    "  -n, --parts=PARTS     cut into PARTS equal parts (2 by default)\n"
    "      --max-size=SIZE   the fewest equal parts of at most SIZE each: K, M, G, T\n"
    "                        count in 1024s, KB, MB, GB, TB in 1000s (700M, 4.7GB)\n"
    "      --fit=MEDIUM      parts that fit fat32, cd, dvd, dvd-dl, bd or mail\n"
    "  -C, --directory=DIR   write the set into DIR\n"
    "  -r, --recovery=K      write recovery data (FILE.par2, FILE.vol*.par2, PAR2 that\n"
    "                        any PAR2 tool reads) that rebuilds any K lost parts;\n"
    "                        join and repair use it\n"
    "      --no-checksums    write no checksum file\n"
    "      --dry-run         say what the split would make, and write nothing\n"
    "  -o, --output=OUTPUT   rebuild the file as OUTPUT\n"
    "  -f, --force           replace a file that is there already\n"
    "  -q, --quiet           show no progress\n"
    "Ctrl-C (SIGINT), SIGTERM and SIGHUP cancel cleanly: nothing is left changed.\n"
    "Exit status: 0 done, 1 failed (or a set that does not check), 2 bad usage;\n"
    "128 + the signal after a cancel. See tessik(1).\n";

int Usage(const std::string& problem) {
  std::cerr << "tessik: " << problem << "\nTry 'tessik --help' for more.\n";
  return kUsage;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "3 parts", "1 part".
std::string Parts(std::int32_t count) { return std::to_string(count) + (count == 1 ? " part" : " parts"); }

std::string Bytes(double bytes) {
  return std::to_string(static_cast<std::int64_t>(bytes)) + " bytes (" + cli::Amount(bytes) + ")";
}

// One FileSplit, loaded as a newly placed control, its progress shown on a
// terminal unless asked not to, and signals turned into a cancel.
class Host {
 public:
  explicit Host(bool quiet)
      : object_(Create()),
        printer_(stderr, true),
        events_(*object_, cli::EventHandler(!quiet && isatty(STDERR_FILENO) == 1 ? &printer_ : nullptr)) {
    if (const auto persist = platform::Query<platform::PersistProperties>(object_.get())) {
      const platform::Status status = persist->InitDefaults();
      if (platform::Failed(status)) throw platform::ErrorOfStatus(status, {});
    }
    cli::NoteInterruptions();
  }

  platform::Dispatch& object() { return *object_; }

  // Without the component, nothing is done: its failure is said as such.
  class Missing : public std::runtime_error {
    using std::runtime_error::runtime_error;
  };

  // Calls the method `id` with `arguments`; true when it returned True.
  bool Call(platform::DispatchId id, std::span<platform::Variant> arguments = {}) {
    struct EndLine {
      cli::ProgressPrinter& printer;
      ~EndLine() { printer.End(); }
    } const endLine{printer_};
    return platform::InvokeOrRaise(*object_, id, platform::InvokeKind::Method, arguments).ToBoolean();
  }

  std::string SetNameOf(const std::string& name) {
    platform::Variant arguments[] = {platform::Variant(name)};
    return platform::InvokeOrRaise(*object_, kDispidSetNameOf, platform::InvokeKind::Method, arguments).ToText();
  }

 private:
  static platform::Ref<platform::Dispatch> Create() {
    try {
      return platform::CreateObject("Tessik.FileSplit");
    } catch (const platform::RuntimeError& error) {
      throw Missing(error.description() + "\nRegister it with: component register .../lib/talhaz/Tessik.so");
    }
  }

  platform::Ref<platform::Dispatch> object_;
  cli::ProgressPrinter printer_;
  platform::EventConnection events_;
};

int Split(const Command& command) {
  Host host(command.quiet);
  platform::Dispatch& split = host.object();
  Put(split, kDispidInputFile, platform::Variant(command.name));
  Put(split, kDispidChecksums, platform::Variant(command.checksums));
  Put(split, kDispidSetFolder, platform::Variant(command.folder));
  Put(split, kDispidRecovery, platform::Variant(static_cast<std::int16_t>(command.recovery)));
  const bool fit = command.maxSize || !command.fit.empty();
  if (fit) {
    double limit = command.maxSize.value_or(0);
    if (!command.fit.empty()) {
      platform::Variant name[] = {platform::Variant(command.fit)};
      limit = platform::InvokeOrRaise(split, kDispidPresetLimit, platform::InvokeKind::Method, name).ToDouble();
    }
    Put(split, kDispidPartSizeLimit, platform::Variant(limit));
  } else {
    Put(split, kDispidSubFilesNumber, platform::Variant(static_cast<std::int16_t>(command.parts.value_or(2))));
  }
  const std::int32_t count = Get(split, fit ? kDispidFitPartsCount : kDispidSplitPartsCount).ToInteger32();
  const double size = Get(split, fit ? kDispidFitPartSize : kDispidSplitPartSize).ToDouble();
  if (count > 0 && command.recovery > count) {
    std::cerr << "tessik: " << Parts(command.recovery) << " of recovery data for a set of " << Parts(count)
              << ": give at most " << count << '\n';
    return kFailure;
  }
  if (command.dryRun) {
    const double length = static_cast<double>(platform::FileLength(command.name));
    const std::string base = command.folder.empty() ? command.name : command.folder + '/' + FileNameOf(command.name);
    if (count == 0) return std::cout << command.name << ": empty, no parts to write\n", kSuccess;
    std::cout << command.name << ": " << Parts(count) << " of " << Bytes(size);
    if (count > 1) std::cout << ", the last " << Bytes(length - size * (count - 1));
    std::cout << "\nwould write " << base << ".1";
    if (count > 1) std::cout << " to " << base << '.' << count;
    if (command.checksums) std::cout << " and " << base << ".sha256";
    if (command.recovery > 0) {
      std::cout << ",\nwith " << base << ".par2 and recovery data that rebuilds any "
                << Parts(command.recovery);
    }
    std::cout << '\n';
    return kSuccess;
  }
  if (count == 0) return std::cerr << "tessik: " << command.name << " is empty: no parts to write\n", kFailure;
  return host.Call(fit ? kDispidSplitToFit : kDispidSplit) ? kSuccess : kFailure;
}

// True when something is at `path`, a link included.
bool Taken(const std::string& path) {
  struct stat entry {};
  return lstat(path.c_str(), &entry) == 0;
}

// Says, a line each, the fragments the last join or repair rebuilt; false
// when there were none.
bool SayRebuilt(platform::Dispatch& control, const std::string& base) {
  const std::string rebuilt = Get(control, kDispidRebuilt).ToText();
  std::size_t start = 0;
  while (start < rebuilt.size()) {
    const std::size_t end = rebuilt.find('\n', start);
    std::cout << rebuilt.substr(start, end - start) << " rebuilt with " << FileNameOf(base) << ".par2\n";
    start = end == std::string::npos ? rebuilt.size() : end + 1;
  }
  return !rebuilt.empty();
}

// Says VerifyReport a line each, or `otherwise` when it is empty; a failure.
int SayReport(platform::Dispatch& control, const std::string& otherwise) {
  std::string report = Get(control, kDispidVerifyReport).ToText();
  if (report.empty()) report = otherwise;
  std::size_t start = 0;
  while (start < report.size()) {
    const std::size_t end = report.find('\n', start);
    std::cerr << "tessik: " << report.substr(start, end - start) << '\n';
    start = end == std::string::npos ? report.size() : end + 1;
  }
  return kFailure;
}

int Join(const Command& command) {
  Host host(command.quiet);
  const std::string base = host.SetNameOf(command.name);
  const std::string output = command.output.empty() ? base : command.output;
  if (!command.force && Taken(output)) {
    std::cerr << "tessik: " << output << " already exists; -f replaces it\n";
    return kFailure;
  }
  platform::Dispatch& join = host.object();
  Put(join, kDispidOutputFile, platform::Variant(output));
  if (output != base) Put(join, kDispidSetBase, platform::Variant(base));
  Put(join, kDispidReplace, platform::Variant(command.force));  // one that comes meanwhile is kept too
  if (!host.Call(kDispidJoin)) return kFailure;
  SayRebuilt(join, base);
  return kSuccess;
}

int Repair(const Command& command) {
  Host host(command.quiet);
  const std::string base = host.SetNameOf(command.name);
  Put(host.object(), kDispidOutputFile, platform::Variant(base));
  if (!host.Call(kDispidRepair)) return SayReport(host.object(), base + " could not be repaired");
  if (!SayRebuilt(host.object(), base)) std::cout << base << ": every part is sound\n";
  return kSuccess;
}

int Check(const Command& command) {
  Host host(command.quiet);
  const std::string base = host.SetNameOf(command.name);
  Put(host.object(), kDispidOutputFile, platform::Variant(base));
  if (host.Call(kDispidVerify)) return std::cout << base << ": OK\n", kSuccess;
  SayReport(host.object(), base + " could not be checked");
  if (Get(host.object(), kDispidVerifyReport).ToText().find(".par2 can rebuild ") != std::string::npos) {
    std::cerr << "tessik: repair it with: tessik repair " << base << '\n';
  }
  return kFailure;
}

int Run(const Command& command) {
  switch (command.verb) {
    case Command::Verb::Help: return std::cout << kUsageText, kSuccess;
    case Command::Verb::Version: return std::cout << "tessik " PROGRAM_VERSION "\n", kSuccess;
    case Command::Verb::Split: return Split(command);
    case Command::Verb::Join: return Join(command);
    case Command::Verb::Check: return Check(command);
    case Command::Verb::Repair: return Repair(command);
  }
  return kUsage;
}

// The end of a run that a signal cut short: the shell's status for a program
// ended by that signal.
int Interrupted(const std::string& what) {
  std::cerr << "tessik: " << what << '\n';
  return 128 + cli::Interruption();
}

}  // namespace

int main(int argc, char** argv) {
  platform::ReportFileSizeLimitAsFailure();
  Command command;
  try {
    command = tessik::ParseCommand(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const tessik::UsageError& problem) {
    return Usage(problem.what());
  }
  try {
    const int status = Run(command);
    if (cli::Interruption() != 0) return Interrupted("interrupted after the work was done");
    if (!std::cout.flush()) throw platform::FileError(errno, "standard output");
    return status;
  } catch (const Host::Missing& missing) {
    std::cerr << "tessik: " << missing.what() << '\n';
    return kFailure;
  } catch (const platform::RuntimeError& error) {
    std::cout.flush();
    if (cli::Interruption() != 0) return Interrupted("cancelled; nothing was changed");
    std::cerr << "tessik: " << command.name << ": " << error.description() << '\n';
    return kFailure;
  }
}
