// Long work in Talhaz's window on a slow disk: the window served, and a
// cancel, a close or a signal that leaves the files as they were.
#include "form1_scenarios.h"

#include "close_on_signals.h"
#include "progress_window.h"

#include <csignal>
#include <dlfcn.h>

namespace {

// The progress window when it is open over the form.
ProgressWindow* OpenProgressWindow() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* progress = qobject_cast<ProgressWindow*>(window); progress && progress->isVisible()) return progress;
  }
  return nullptr;
}

}  // namespace

class LongWorkTest : public Form1Scenarios {
  Q_OBJECT

 private Q_SLOTS:
  void longWork_data() {
    QTest::addColumn<QString>("action");  // the button pressed, or load: the start-up check
    QTest::addColumn<QString>("cancel");  // Cancelar, Escape, Escape:form, close (the form), or a signal
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("flushes");  // every flush takes 3 s, else every transfer 150 ms
    QTest::newRow("split, Cancelar") << "Command5" << "Cancelar" << "A dividir - film avi" << false;
    QTest::newRow("join, Cancelar") << "Command4" << "Cancelar" << "A juntar - film avi" << false;
    QTest::newRow("split, the form closed") << "Command5" << "close" << "A dividir - film avi" << false;
    QTest::newRow("start-up check, Escape") << "load" << "Escape" << "A ler - film avi" << false;
    QTest::newRow("split, SIGTERM") << "Command5" << "SIGTERM" << "A dividir - film avi" << false;
    QTest::newRow("join, SIGHUP") << "Command4" << "SIGHUP" << "A juntar - film avi" << false;
    QTest::newRow("split, SIGINT") << "Command5" << "SIGINT" << "A dividir - film avi" << false;
    QTest::newRow("start-up check, SIGTERM") << "load" << "SIGTERM" << "A ler - film avi" << false;
    QTest::newRow("slow flushes: split, Cancelar") << "Command5" << "Cancelar" << "A dividir - film avi" << true;
    QTest::newRow("slow flushes: split, Escape on the form") << "Command5" << "Escape:form" << "A dividir - film avi" << true;
    QTest::newRow("slow flushes: join, the form closed") << "Command4" << "close" << "A juntar - film avi" << true;
  }
  // Long work on a slow disk opens the progress window whole at its time
  // over the shown form, which is served all the while: its timers fire at
  // least every 100 ms, it repaints (with slow flushes: while a flush is
  // under way) and takes no clicks. A cancel leaves the form and the files as
  // they were, with no box; one given during a flush ends the work within
  // 100 ms of the time the disk takes to end its flushes. The start-up check
  // shows the form first.
  void longWork() {
    QFETCH(QString, action);
    QFETCH(QString, cancel);
    QFETCH(QString, title);
    QFETCH(bool, flushes);
    const bool join = action == "Command4", load = action == "load";
    Run(QString("file:film avi=6000000|") + (load ? "" : "pick:$/film avi|click:Command1|") +
        (join ? "click:Command5|box=Talhaz\t0\tDivisão Completa!\\n2 partes em $, verificáveis com film avi.sha256|rm:film avi"
              : ""));
    if (QTest::currentTestFailed()) return;
    if (!load) form_->show();
    const int signal = cancel == "SIGTERM" ? SIGTERM : cancel == "SIGHUP" ? SIGHUP : cancel == "SIGINT" ? SIGINT : 0;
    const CloseOnSignals closeOnSignals(*form_);
    const auto flushTime = reinterpret_cast<double (*)()>(dlsym(RTLD_DEFAULT, "short_io_flush_time"));
    const auto flushing = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "short_io_flushing"));
    QVERIFY(flushTime != nullptr && flushing != nullptr);
    struct PaintCounter : QObject {  // with slow flushes, the paints during one
      std::function<bool()> counts;
      int paints = 0;
      bool eventFilter(QObject*, QEvent* event) override { return paints += event->type() == QEvent::Paint && counts(), false; }
    } painted;
    painted.counts = [&] { return !flushes || flushing() > 0; };
    form_->installEventFilter(&painted);
    QString seen;
    bool shown = false;
    int ticks = 0;
    QElapsedTimer clock;
    qint64 lastTick = 0, longestGap = 0, opened = -1, cancelledAt = -1;
    double flushedBefore = 0;
    QTimer ticker;  // fires every 20 ms inside the work too
    connect(&ticker, &QTimer::timeout, [&] {
      longestGap = std::max(longestGap, clock.elapsed() - lastTick);
      lastTick = clock.elapsed();
      form_->update();
      // "Fechar" takes no click while the work runs.
      if (++ticks == 1) QTest::mouseClick(Control("Command3"), Qt::LeftButton);
      ProgressWindow* window = OpenProgressWindow();
      auto* button = window != nullptr ? window->findChild<QPushButton*>() : nullptr;
      if (button == nullptr || !button->isVisible() || !button->isEnabled() || !seen.isEmpty()) return;
      if (opened < 0) opened = clock.elapsed();
      if (flushes && (flushing() == 0 || painted.paints == 0)) return;
      seen = window->windowTitle();
      shown = form_->isVisible();
      cancelledAt = clock.elapsed();
      flushedBefore = flushTime();
      cancel == "close"         ? (void)form_->close()
      : signal != 0             ? (void)raise(signal)
      : cancel == "Escape"      ? QTest::keyClick(window, Qt::Key_Escape)
      : cancel == "Escape:form" ? QTest::keyClick(form_.get(), Qt::Key_Escape)
                                : QTest::mouseClick(button, Qt::LeftButton);
    });
    {
      const ScopedEnvironment slowDisk(flushes ? "SHORT_IO_FLUSH" : "SHORT_IO_PACE", flushes ? "3000" : "150");
      ticker.start(20);
      clock.start();
      if (load) {
        form_->Start({Path("film avi").toLocal8Bit()});
        QTRY_VERIFY(!seen.isEmpty());
        QTRY_VERIFY(OpenProgressWindow() == nullptr);
      } else {
        QTest::mouseClick(Control(action), Qt::LeftButton);
      }
    }
    const double workAfterCancel = static_cast<double>(clock.elapsed() - cancelledAt) - (flushTime() - flushedBefore);
    QCOMPARE(seen, title);
    QVERIFY(shown && painted.paints > 0);
    QVERIFY2(opened >= 400 && opened < 1000, qPrintable(QString::number(opened)));
    QVERIFY2(longestGap < 100, qPrintable(QString::number(longestGap)));
    QVERIFY2(!flushes || workAfterCancel < 100, qPrintable(QString::number(workAfterCancel)));
    Run(QString("Text1=%1|buttons=%2|%3:film avi|%4:film avi.1")
            .arg(load ? "" : "$/film avi", load ? "" : "45", join ? "no" : "has", join ? "has" : "no"));
    QCOMPARE(QDir(Folder()).entryList(QDir::Hidden | QDir::Files).filter(".tessik"), QStringList());
    QTRY_COMPARE(form_->isVisible(), cancel != "close" && signal == 0);
  }
};

QTEST_MAIN(LongWorkTest)
#include "long_work_test.moc"
