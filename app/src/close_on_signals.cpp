#include "close_on_signals.h"

#include <platform/runtime_error.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <cstddef>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe from the signal handler to the event loop: read end, write end.
int signalPipe[2] = {-1, -1};

// Only async-signal-safe calls: one byte into a pipe that never blocks (a
// full pipe already holds a close to come).
extern "C" void WriteSignalToPipe(int signal) {
  const int saved = errno;
  const auto number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &number, 1);
  errno = saved;
}

// Caught and dropped: a request to end that came while the program ends.
extern "C" void HearNothing(int) {}

}  // namespace

CloseOnSignals::CloseOnSignals(QWidget& window) : window_(window) {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw platform::FileError(errno, "pipe");
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &CloseOnSignals::Serve);
  window_.installEventFilter(this);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], nullptr, &previous_[i]);
    if (previous_[i].sa_handler == SIG_IGN) continue;
    struct sigaction closing {};
    closing.sa_handler = WriteSignalToPipe;
    closing.sa_flags = SA_RESTART;
    sigemptyset(&closing.sa_mask);
    sigaction(kSignals[i], &closing, nullptr);
  }
}

CloseOnSignals::~CloseOnSignals() {
  // Once a signal has closed the window, the program is ending as asked: the
  // same request again (a logout's SIGTERM to every process of the session,
  // a terminal's SIGHUP as it goes) does not kill it half-way through.
  struct sigaction ending {};
  ending.sa_handler = HearNothing;
  ending.sa_flags = SA_RESTART;
  sigemptyset(&ending.sa_mask);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    const bool caught = previous_[i].sa_handler != SIG_IGN;
    sigaction(kSignals[i], signalled_ && caught ? &ending : &previous_[i], nullptr);
  }
  delete notifier_;
  for (int& end : signalPipe) {
    close(end);
    end = -1;
  }
}

void CloseOnSignals::Serve() {
  unsigned char numbers[16];
  bool received = false;
  while (read(signalPipe[0], numbers, sizeof numbers) > 0) received = true;
  // While work runs, the window cancels it and closes once it has cleaned
  // up; a second signal meanwhile changes nothing.
  if (!received) return;
  signalled_ = true;
  window_.close();
}

bool CloseOnSignals::eventFilter(QObject* watched, QEvent* event) {
  // Once closed, the program ends, even with a box or a dialog still open.
  if (signalled_ && watched == &window_ && event->type() == QEvent::Hide) QCoreApplication::quit();
  return false;
}
