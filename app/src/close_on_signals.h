#pragma once

#include <QObject>

#include <csignal>
#include <iterator>

class QSocketNotifier;
class QWidget;

// Closes `window` when the program receives SIGTERM (what a logout sends),
// SIGHUP (its terminal went away) or SIGINT, as its close button would: work
// running is cancelled first and cleans up, then the window closes. The
// signal handler only writes the signal's number into a pipe; the window
// hears of it in the event loop, which running work serves at each of its
// progress reports. A signal that whoever started the program ignored stays
// ignored. Once the window has closed so, the program ends, even with a box
// or a dialog still open. One at a time; the handlers found are restored
// when it goes, unless a signal closed the window: then these signals are
// caught and dropped from there on, as the program is ending.
class CloseOnSignals : public QObject {
 public:
  explicit CloseOnSignals(QWidget& window);
  ~CloseOnSignals() override;
  CloseOnSignals(const CloseOnSignals&) = delete;
  CloseOnSignals& operator=(const CloseOnSignals&) = delete;

 private:
  static constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

  // Empties the pipe and closes the window when a signal came.
  void Serve();
  bool eventFilter(QObject* watched, QEvent* event) override;

  QWidget& window_;
  QSocketNotifier* notifier_ = nullptr;
  bool signalled_ = false;
  struct sigaction previous_[std::size(kSignals)] {};
};
