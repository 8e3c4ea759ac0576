// The window's scenario fixture: Talhaz's Form1 through the real registry
// and module, with the file dialog answered and the boxes captured, driven by
// rows of steps. The window's tests derive from it.
#pragma once

#include "form1.h"
#include "tessik_host.h"

#include <QtTest>
#include <QtWidgets>

#include <deque>
#include <list>
#include <optional>

namespace {

using namespace testing_support;

}  // namespace

class Form1Scenarios : public QObject {
  Q_OBJECT

 protected:

  QWidget* Control(const QString& name) {
    if (QWidget* control = form_->findChild<QWidget*>(name)) return control;
    qFatal("no control %s", qPrintable(name));
  }
  QString Folder() const { return QString::fromStdString(host_->folder() / "work"); }
  QString Path(const QString& name) const { return Folder() + '/' + name; }

  // Runs `steps`, separated by '|', in order; "$" stands for the test's folder.
  // Actions: file:NAME=N (N bytes of a pattern, sparse from 1 GiB; its folder made), rm:NAME,
  // lock:NAME (held by another process), pick:PATH or cancel (the next file
  // dialog's answer), click:BUTTON, key:CONTROL (Return pressed on it),
  // set:FIELD=TEXT, load:ARGUMENT (the start-up load), shrink:NAME (to 1 MiB
  // once a check has begun), pace:MS (each read and write of a file waits MS
  // ms; none when empty), locale:NAME, opener (a fake desktop opener alone on
  // PATH, failing with 4), opener:STATUS, opener:held (one that waits up to 3 s
  // for a file "release", then fails with 3), opener:none, activate (the
  // window comes to the front), drop:URL,... (dropped on Text1, as a file
  // manager offers them), answer:N (the questions' answer: 6 Yes, else No),
  // preset:LABEL (chosen from the parts field's menu).
  // Checks: CONTROL=TEXT (and a path field's tooltip; a label's text fits it), buttons=DIGITS (which of
  // Command4, 5 and 6 are enabled, once pending events are served), box=LINE
  // (the boxes since the last check, once every opener started has answered:
  // that line, or none), title=TEXT, has:NAME, no:NAME, same:NAME=N (holds the
  // N bytes file: wrote), opened=TARGET (the one argument the opener got),
  // dialogs=LIST (each dialog's kind O or S and the name it started from).
  // Every run ends with box= : no box goes unchecked.
  void Run(const QString& steps) {
    for (QString step : (steps + "|box=").split('|', Qt::SkipEmptyParts)) {
      step.replace('$', Folder());
      const std::optional<QString> seen = Step(step);
      QVERIFY2(!seen, qPrintable(QStringLiteral("step \"%1\" saw \"%2\"").arg(step, seen.value_or(""))));
    }
  }
  // What a failed check saw; nothing when the step went as it says.
  std::optional<QString> Step(const QString& step) {
    const qsizetype cut = step.indexOf(QRegularExpression("[:=]"));
    const QString verb = step.left(cut), rest = cut < 0 ? QString() : step.mid(cut + 1);
    const QString name = rest.section('=', 0, 0), value = rest.section('=', 1);
    if (verb == "file") {
      QFile file(Path(name));
      const qint64 length = value.toLongLong();
      const bool made = QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly) &&
                        (length >= (1 << 30) ? file.resize(length)
                                             : file.write(QByteArray::fromStdString(PatternBytes(length))) == length);
      return made ? std::nullopt : std::optional<QString>("no file");
    }
    if (verb == "rm") return QFile::remove(Path(rest)), std::nullopt;
    if (verb == "lock") return locks_.emplace_back(Path(rest).toStdString()), std::nullopt;
    if (verb == "pick") return answers_.push_back(rest), std::nullopt;
    if (verb == "cancel") return answers_.push_back(std::nullopt), std::nullopt;
    if (verb == "click") return QTest::mouseClick(Control(rest), Qt::LeftButton), std::nullopt;
    if (verb == "key") return QTest::keyClick(Control(rest), Qt::Key_Return), std::nullopt;
    if (verb == "set") return Control(name)->setProperty("text", value), std::nullopt;
    if (verb == "load") return form_->Form_Load(rest), std::nullopt;
    if (verb == "pace") {
      return (rest.isEmpty() ? qunsetenv("SHORT_IO_PACE") : qputenv("SHORT_IO_PACE", rest.toLatin1())), std::nullopt;
    }
    if (verb == "preset") {
      for (QAction* action : Control("Text3")->findChildren<QAction*>()) action->text() == rest ? action->trigger() : void();
      return std::nullopt;
    }
    if (verb == "answer") return qputenv("MESSAGE_BOX_ANSWER", rest.toLatin1()), std::nullopt;
    if (verb == "locale") return QLocale::setDefault(QLocale(rest)), std::nullopt;
    if (verb == "shrink") {
      return QTimer::singleShot(0, [path = Path(rest)] { QFile::resize(path, 1 << 20); }), std::nullopt;
    }
    if (verb == "opener") {  // opener:none leaves none on PATH
      const std::string held = "for i in $(seq 150); do [ -e \"$D/release\" ] && exit 3; sleep 0.02; done";
      const std::string bin = rest == "none" ? "/" : WriteFakeOpener(Folder().toStdString(), rest == "held" ? held : "",
                                                                     0755, rest.isEmpty() ? 4 : rest.toInt());
      return qputenv("PATH", bin.c_str()), std::nullopt;
    }
    if (verb == "drop") {
      QMimeData data;
      data.setUrls(QUrl::fromStringList(rest.split(','))), data.setText(rest);
      QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
      QDropEvent drop({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
      if (!QApplication::sendEvent(Control("Text1"), &enter) || !enter.isAccepted()) return "a drop not taken";
      return QApplication::sendEvent(Control("Text1"), &drop), QCoreApplication::processEvents(), std::nullopt;
    }
    if (verb == "activate") return QCoreApplication::postEvent(form_.get(), new QEvent(QEvent::WindowActivate)), std::nullopt;
    QString seen, expected = rest;
    if (verb == "box") {
      if (!QTest::qWaitFor([&] { return form_->findChildren<QSocketNotifier*>().isEmpty(); })) return "an opener unanswered";
      const auto boxes = host_->Boxes();
      for (; seenBoxes_ < boxes.size(); ++seenBoxes_)
        seen += (seen.isEmpty() ? "" : " + ") + QString::fromStdString(boxes[seenBoxes_]);
    } else if (verb == "title") {
      seen = form_->windowTitle();
    } else if (verb == "buttons") {
      QCoreApplication::processEvents();  // a file watcher's news
      for (const QString digit : {"4", "5", "6"}) seen += Control("Command" + digit)->isEnabled() ? digit : "";
    } else if (verb == "has" || verb == "no") {
      seen = QFile::exists(Path(rest)) ? "has" : "no", expected = verb;
    } else if (verb == "same") {
      seen = ReadBytes(Path(name).toStdString()) == PatternBytes(value.toULongLong()) ? "same" : "other bytes";
      expected = "same";
    } else if (verb == "opened") {
      const std::string record = Path("opened").toStdString();
      seen = WaitForFile(record) ? QString::fromStdString(ReadBytes(record)) : "nothing", expected = "1\n" + rest;
      QFile::remove(QString::fromStdString(record));
    } else if (verb == "dialogs") {
      seen = dialogs_.join(',');
    } else {
      seen = Control(verb)->property("text").toString();
      if ((verb == "Text1" || verb == "Text2") && Control(verb)->toolTip() != seen) seen += " with another tooltip";
      if (Control(verb)->inherits("QLabel") && Control(verb)->fontMetrics().horizontalAdvance(seen) > Control(verb)->width()) seen += " too wide";
    }
    return seen == expected ? std::nullopt : std::optional(seen);
  }

  std::optional<TessikHost> host_;
  std::unique_ptr<Form1> form_;
  std::deque<std::optional<QString>> answers_;
  QStringList dialogs_;
  std::list<LockHolder> locks_;
  std::size_t seenBoxes_ = 0;
  QByteArray path_ = qgetenv("PATH");

 private Q_SLOTS:
  void initTestCase() { host_.emplace(); }

  void init() {
    QVERIFY(QDir().mkpath(Folder()));
    form_ = std::make_unique<Form1>();
    answers_.clear();
    dialogs_.clear();
    form_->cd().SetChooser([this](CommonDialog::Kind kind, const QString& fileName, const QStringList& filters) {
      const QStringList windowFilters = {"Dividir Ficheiros (*.*)", "Juntar Ficheiro (*.1)"};
      dialogs_ << (kind == CommonDialog::Kind::Open ? "O:" : "S:") +
                      (filters == windowFilters ? fileName : "other filters");
      std::optional<QString> answer;
      if (answers_.empty()) dialogs_ << "unexpected dialog";
      if (!answers_.empty()) answer = answers_.front(), answers_.pop_front();
      return answer;
    });
    seenBoxes_ = host_->Boxes().size();
  }

  void cleanup() {
    form_.reset();
    locks_.clear();
    QLocale::setDefault(QLocale::c());
    qputenv("PATH", path_);
    qunsetenv("MESSAGE_BOX_ANSWER");
    QDir(Folder()).removeRecursively();
  }
};
