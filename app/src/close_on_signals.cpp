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
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], &previous_[i], nullptr);
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
