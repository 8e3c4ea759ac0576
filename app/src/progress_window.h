#pragma once

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;

// The window over the form while a split, a join or the start-up check
// runs: its title names the work and the file ("A dividir - filme.avi"), a
// bar, the amount done of the total in kb, the time left once it can be
// estimated, and "Cancelar" (Escape and the close button do the same). It
// opens only once the work has run for half a second. While it lives, no
// click or key reaches the form, which still repaints; Escape pressed there
// cancels too. It is not modal, so that a request to close the form still
// reaches the form, which then cancels the work first.
class ProgressWindow : public QDialog {
  Q_OBJECT

 public:
  ProgressWindow(QWidget* form, const QString& title);
  ~ProgressWindow() override;

  // Shows `done` bytes of `total`, opens the window when it is due, and lets
  // the window system run: the form repaints, its timers fire and the user
  // may cancel. True once the user has asked to cancel.
  bool Update(double done, double total);
  bool cancelled() const { return cancelled_; }

 public Q_SLOTS:
  // Cancelar, Escape or the close button: asks the work to stop. The window
  // stays until the work has cleaned up and ends.
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* form_;
  QProgressBar* bar_;
  QLabel* amount_;
  QLabel* timeLeft_;
  QElapsedTimer clock_;
  bool cancelled_ = false;
};
