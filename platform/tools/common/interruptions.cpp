#include "interruptions.h"

#include <platform/component/names.h>

#include <csignal>

namespace cli {
namespace {

volatile std::sig_atomic_t interruption = 0;

extern "C" void NoteInterruption(int signal) {
  if (interruption == 0) interruption = signal;
}

}  // namespace

int Interruption() { return interruption; }

void NoteInterruptions() {
  std::signal(SIGPIPE, SIG_IGN);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    struct sigaction noting {};
    noting.sa_handler = NoteInterruption;
    noting.sa_flags = SA_RESTART;
    sigemptyset(&noting.sa_mask);
    sigaction(signal, &noting, nullptr);
  }
}

platform::EventConnection::Handler EventHandler(ProgressPrinter* printer) {
  return [printer](const platform::MemberInfo& event, std::span<platform::Variant> arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      const platform::ParameterInfo& parameter = event.parameters[i];
      if (parameter.byReference && platform::SameName(parameter.name, "Cancel")) {
        arguments[i] = platform::Variant(interruption != 0);
      }
    }
    if (printer != nullptr && platform::SameName(event.name, "Progress") && arguments.size() >= 2) {
      printer->Report(arguments[0].ToDouble(), arguments[1].ToDouble());
    }
  };
}

}  // namespace cli
