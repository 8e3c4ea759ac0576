#include "progress_window.h"

#include "window_text.h"

#include <platform/conversions.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>


namespace {

constexpr qint64 kOpenAfterMilliseconds = 500;
// Before this long, the speed says more about start-up than about the disk.
constexpr double kSecondsBeforeEstimate = 1.0;
constexpr int kBarSteps = 1000;

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress: case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: case QEvent::KeyPress: case QEvent::KeyRelease:
    case QEvent::Shortcut: case QEvent::ShortcutOverride: case QEvent::Wheel:
    case QEvent::TouchBegin: case QEvent::TouchUpdate: case QEvent::TouchEnd:
      return true;
    default: return false;
  }
}

}  // namespace

ProgressWindow::ProgressWindow(QWidget* form, const QString& title)
    : QDialog(form),
      form_(form),
      bar_(new QProgressBar(this)),
      amount_(new QLabel(this)),
      timeLeft_(new QLabel(this)) {
  setWindowTitle(title);
  bar_->setRange(0, kBarSteps);
  bar_->setValue(0);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::rejected, this, &ProgressWindow::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(amount_);
  layout->addWidget(bar_);
  layout->addWidget(timeLeft_);
  layout->addWidget(buttons);
  setMinimumWidth(360);
  // Clicks and keys meant for the form are dropped here for as long as the
  // work runs, before the window opens and after.
  qApp->installEventFilter(this);
  clock_.start();
}

ProgressWindow::~ProgressWindow() { qApp->removeEventFilter(this); }

bool ProgressWindow::Update(double done, double total) {
  bar_->setValue(total > 0 ? static_cast<int>(done / total * kBarSteps) : 0);
  // Whole kb: the fraction of one would only flicker.
  if (total > 0) {  // else the work has yet to measure itself
    amount_->setText(Kilobytes(std::round(done / 1024)) + QStringLiteral(" de ") +
                     Kilobytes(std::round(total / 1024)));
  }
  const double seconds = static_cast<double>(clock_.elapsed()) / 1000;
  if (!cancelled_ && seconds >= kSecondsBeforeEstimate && done > 0 && done < total) {
    timeLeft_->setText(QStringLiteral("Tempo restante: ") +
                       QString::fromStdString(platform::ClockText((total - done) / (done / seconds))));
  }
  if (!isVisible() && clock_.elapsed() >= kOpenAfterMilliseconds) show();
  QCoreApplication::processEvents();
  return cancelled_;
}

void ProgressWindow::reject() {
  cancelled_ = true;
  if (auto* cancel = findChild<QPushButton*>()) cancel->setEnabled(false);
  timeLeft_->setText(QStringLiteral("A cancelar..."));
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != form_ || !IsUserInput(event->type())) return false;
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    reject();
  }
  return true;
}
