// Talhaz's window through the real registry and module: its initial state,
// scenarios of the six commands with the file dialog answered and the boxes
// captured, the size display, the start-up load and long work.
#include "close_on_signals.h"
#include "form1.h"
#include "progress_window.h"
#include "tessik_host.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <deque>
#include <dlfcn.h>
#include <list>
#include <optional>

namespace {

using namespace testing_support;

// The progress window when it is open over the form.
ProgressWindow* OpenProgressWindow() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* progress = qobject_cast<ProgressWindow*>(window); progress && progress->isVisible()) return progress;
  }
  return nullptr;
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

  QWidget* Control(const QString& name) {
    if (QWidget* control = form_->findChild<QWidget*>(name)) return control;
    qFatal("no control %s", qPrintable(name));
  }
  QString Folder() const { return QString::fromStdString(host_->folder() / "work"); }
  QString Path(const QString& name) const { return Folder() + '/' + name; }

  // Runs `steps`, separated by '|', in order; "$" stands for the test's folder.
  // Actions: file:NAME=N (N bytes of a pattern, sparse from 1 GiB), rm:NAME,
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
      const bool made = file.open(QIODevice::WriteOnly) &&
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

  void initialState() {
    // Name, text, enabled (the buttons that need a file wait for one), what a
    // screen reader says when not the text.
    const struct { const char *name, *text; bool enabled; const char* spoken = nullptr; } controls[] = {
        {"Label1", "Input:", true},   {"Label2", "Output:", true},  {"Text1", "", true, "Input"},
        {"Command1", "...", true, "Escolher o ficheiro de entrada"}, {"Text2", "", true, "Output"},
        {"Command2", "...", true, "Escolher o ficheiro de saída"}, {"Text3", "2", true, "Número de partes"},
        {"Label3", "partes.", true},  {"Label4", "Dividir ficheiro em", true},
        {"Command5", "Dividir", false}, {"Command4", "Juntar", false}, {"Command6", "Abrir Ficheiro", false},
        {"Command3", "Fechar", true}, {"Label5", "", true},         {"Label6", "", true},
        {"Label7", "Tamanho do ficheiro:", true}, {"Label8", "Tamanho a obter:", true}};
    const auto children = form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), qsizetype(std::size(controls)));  // nothing of split shows
    for (const auto& [name, text, enabled, spoken] : controls) {
      QWidget* control = Control(name);
      QCOMPARE(control->property("text").toString(), QString::fromUtf8(text));
      QCOMPARE(control->isEnabled(), enabled);
      QCOMPARE(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name),
               QString::fromUtf8(spoken ? spoken : text));
      // Inside the window, its text whole, over no other control (the
      // layout's rounding may let two share an edge's pixel); a label lets
      // the window's picture show through.
      QVERIFY2(form_->rect().contains(control->geometry()), name);
      QVERIFY2(control->width() >= control->fontMetrics().horizontalAdvance(QString::fromUtf8(text)), name);
      for (const QWidget* other : children) {
        const QRect both = control->geometry() & other->geometry();
        QVERIFY2(other == control || both.width() <= 1 || both.height() <= 1, name);
      }
      if (auto* label = qobject_cast<QLabel*>(control)) QVERIFY2(!label->autoFillBackground(), name);
    }
    QCOMPARE(form_->windowTitle(), QStringLiteral("Talhaz"));
    QCOMPARE(form_->minimumSize(), form_->maximumSize());
    QVERIFY(!(form_->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form_->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(Control("Text2")->property("readOnly").toBool());
    QVERIFY(file_split::Get(form_->split(), file_split::kInputFile).ToText().empty());
    QVERIFY(file_split::Get(form_->split(), file_split::kSubFilesNumber).ToText() == "2");

    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QStringList order;
    for (int step = 0; step < 6; ++step) {
      order.append(QApplication::focusWidget()->objectName());
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // The disabled buttons are passed over.
    QCOMPARE(order, (QStringList{"Text2", "Text1", "Command1", "Command2", "Text3", "Command3"}));
  }

  void scenario_data() {
    QTest::addColumn<QString>("steps");
    const QString longName = '/' + QString(150, u'd') + '/' + QString(150, u'f') + ".1";
    QTest::newRow("the input typed or picked names the output and the caption")  // a pick again, a typed change
        << "set:Text1=/d/b.1|Text2=/d/b|title=Talhaz - /d/b.1|buttons=|pick:/data/copias.1/film.avi.1|click:Command1|"
           "Text1=/data/copias.1/film.avi.1|Text2=/data/copias.1/film.avi|buttons=45|pick:/data/film.avi.11|"
           "click:Command1|Text2=/data/film.avi.11|pick:/data/film.avi|click:Command1|Text2=/data/film.avi|pick:/x/out|"
           "click:Command2|pick:/data/film.avi|click:Command1|Text2=/data/film.avi|title=Talhaz - /data/film.avi|"
           "pick:/x/out|click:Command2|Text2=/x/out|set:Text1=|Text2=|title=Talhaz|Label5=0 kb";
    QTest::newRow("one name for both dialogs, kept when cancelled")
        << "cancel|click:Command1|Text1=|Text2=|buttons=45|cancel|click:Command2|Text2=|"
           "pick:/data/film.avi.1|click:Command1|cancel|click:Command2|Text2=/data/film.avi.1|"
           "pick:/x/out|click:Command2|Text2=/x/out|Text1=/data/film.avi.1|cancel|click:Command1|Text1=/x/out|"
           "dialogs=O:,S:,O:,S:/data/film.avi.1,S:/data/film.avi.1,O:/x/out";
    QTest::newRow("a file dropped")
        << "drop:file://$/film.1|Text1=$/film.1|Text2=$/film|buttons=45|drop:file://$/a,file://$/b|box=Talhaz\t48\t"
           "Largue um só ficheiro.|drop:file://$|box=Talhaz\t48\twork é uma pasta.|drop:https://example.org/a|"
           "box=Talhaz\t48\tLargue um ficheiro deste computador.|Text1=$/film.1";
    QTest::newRow("a name over 260 characters")
        << "pick:" + longName + "|click:Command1|cancel|click:Command2|Text2=" + longName + "|dialogs=O:,S:" + longName;
    QTest::newRow("Enter presses the focused button, or else the first ...")
        << "pick:/data/film.avi.1|key:Text3|Text1=/data/film.avi.1|set:Text1=|key:Command5|"
           "box=Talhaz\t48\tIndique o ficheiro a dividir.|dialogs=O:";
    QTest::newRow("split, join from any member and open")
        << "file:film avi=300001|pick:$/film avi|click:Command1|set:Text3=3|click:Command5|"
           "box=Talhaz\t0\tDivisão Completa!\\n3 partes em $, verificáveis com film avi.sha256|has:film avi.3|no:film avi.4|buttons=45|rm:film avi|"
           "pick:$/film avi.3|click:Command1|Text2=$/film avi|set:Text1=$/film avi.sha256|Text2=$/film avi|click:Command4|"
           "box=Talhaz\t0\tJunção Completa!\\nVerificado com film avi.sha256|buttons=456|same:film avi=300001|"
           "set:Text1=$/film avi.07|Text2=$/film avi.07|set:Text1=$/film avi.32767|Text2=$/film avi.32767|"
           "set:Text1=$/film avi.32766|Text2=$/film avi|"
           "opener:0|click:Command6|opened=$/film avi|box=|opener:held|click:Command6|file:release=0|"
           "box=Talhaz\t48\tNenhuma aplicação conseguiu abrir film avi.|opener:none|click:Command6|"
           "box=Talhaz\t48\tNão foi possível abrir film avi: File not found|"
           "file:film avi=5|rm:film avi.sha256|click:Command4|box=Talhaz\t292\tfilm avi já existe. Substituir?|"
           "same:film avi=5|buttons=456|answer:6|click:Command4|"  // a set made elsewhere
           "box=Talhaz\t292\tfilm avi já existe. Substituir? + Talhaz\t0\tJunção Completa!|same:film avi=300001|"
           "pick:$/film|click:Command2|buttons=45|pick:$/film avi|click:Command2|buttons=456|rm:film avi|click:Command6|"
           "box=Talhaz\t48\tO ficheiro film avi já não existe.|buttons=45|file:film avi=1|activate|buttons=456|"
           "rm:film avi|buttons=45|file:film avi=1|activate|lock:film avi.2|click:Command4|"
           "box=Talhaz\t292\tfilm avi já existe. Substituir? + Tessik\t16\tError joining files!\\n"
           "film avi.2 is in use by another program|buttons=45";
    QTest::newRow("a set with a hole: the join refused, Abrir as it was")
        << "file:film avi=300001|pick:$/film avi|click:Command1|set:Text3=3|click:Command5|"
           "box=Talhaz\t0\tDivisão Completa!\\n3 partes em $, verificáveis com film avi.sha256|rm:film avi.2|rm:film avi.sha256|pick:$/film avi.1|click:Command1|"
           "answer:6|click:Command4|box=Talhaz\t292\tfilm avi já existe. Substituir? + Tessik\t16\t"
           "Error joining files!\\nfilm avi.2 is missing; film avi.3 exists|buttons=45|same:film avi=300001";
    QTest::newRow("join refused: its box alone, nothing made")
        << "file:present=10|pick:$/present|click:Command1|set:Text3=|click:Command4|box=Erro n: 13\t16\tType mismatch|"
           "set:Text3=40000|click:Command4|box=Erro n: 6\t16\tOverflow|set:Text3=2|set:Text2=$/absent|click:Command4|"
           "box=Tessik\t16\tError joining files!\\nthere is no absent.1|set:Text2=|click:Command4|"
           "box=Talhaz\t48\tIndique o ficheiro a criar.|buttons=45|no:present.1";
    QTest::newRow("split refused: its box alone, nothing made")
        << "file:present=10|pick:$/present|click:Command1|set:Text3=|click:Command5|box=Erro n: 13\t16\tType mismatch|"
           "set:Text3=1|click:Command5|box=Talhaz\t48\tIndique pelo menos 2 partes.|set:Text3=-40000|click:Command5|"
           "box=Talhaz\t48\tIndique pelo menos 2 partes.|set:Text3=2|lock:present|"
           "click:Command5|box=Tessik\t16\tError splitting file!\\npresent is in use by another program|"
           "set:Text1=$/absent|click:Command5|box=Erro n: 53\t16\tFile not found|set:Text3=1e400|click:Command5|"
           "box=Talhaz\t48\tSão demasiadas partes para absent: indique no máximo 32767.|set:Text1=|click:Command5|"
           "box=Talhaz\t48\tIndique o ficheiro a dividir.|buttons=45|no:present.1";
    QTest::newRow("too many parts: 32767 would cut 3 GiB into 32767 fragments, one past a set")
        << "file:big=3221225472|pick:$/big|click:Command1|set:Text3=32767|click:Command5|"
           "box=Talhaz\t48\tSão demasiadas partes para big: indique no máximo 32766.|set:Text3=40000|click:Command5|"
           "box=Talhaz\t48\tSão demasiadas partes para big: indique no máximo 32766.|no:big.1";
    QTest::newRow("a size or a medium for each part: split to fit, joined whatever the field holds")
        << "file:f=2500000|pick:$/f|click:Command1|set:Text3=1 MB|Label6=3 partes de 813.8 kb|click:Command5|"
           "box=Talhaz\t0\tDivisão Completa!\\n3 partes em $, verificáveis com f.sha256|has:f.3|no:f.4|same:f.1=833334|"
           "rm:f|pick:$/f.1|click:Command1|click:Command4|box=Talhaz\t0\tJunção Completa!\\nVerificado com f.sha256|set:Text3=1,5 M|Label6=813.802734375 kb|"
           "file:m=20000000|pick:$/m|click:Command1|preset:Correio (25 MB)|Text3=Correio (25 MB)|Label6=2 partes de 9765.63 kb|"
           "click:Command5|box=Talhaz\t0\tDivisão Completa!\\n2 partes em $, verificáveis com m.sha256|no:m.3|same:m.1=10000000|"
           "locale:pt_PT|set:Text3=1,5 M|Label6=13 partes de 1502,4 kb|set:Text3=19532.0 k|Label6=1 parte de 19531,25 kb|set:Text3=19532 kB|Label6=2 partes de 9765,63 kb|"
           "set:Text3=25 MB|Label6=1 parte de 19531,25 kb|set:Text3=1,5|Label6=19531,25 kb|set:Text3=4g|Label6=1 parte de 19531,25 kb|set:Text3=mail|Label6=2 partes de 9765,63 kb";
    QTest::newRow("a size too small for the file")
        << "file:big=1073741824|pick:$/big|click:Command1|set:Text3=32 K|Label6=mais de 32766 partes|click:Command5|"
           "box=Talhaz\t48\tbig precisa de mais de 32766 partes de 32 K: indique um tamanho maior.|set:Text3=0 KB|"
           "click:Command5|box=Talhaz\t48\tIndique um tamanho de pelo menos 1 byte.|no:big.1";
    QTest::newRow("size display")
        << "file:a=1536|set:Text1=$/a|Text1=$/a|Label5=1.5 kb|Label6=0.75 kb|set:Text3=3 partes|Label6=0.5 kb|"
           "set:Text3=0|Label6=0.5 kb|set:Text3=|Label6=0.5 kb|set:Text3=1 0|Label6=0.15 kb|"
           "set:Text3=-2|Label6=-0.75 kb|set:Text3=0.5|Label6=3 kb|set:Text3=2,5|Label6=0.75 kb|"
           "file:b=3000|set:Text1=$/b|Label5=2.9296875 kb|Label6=1.46484375 kb|file:c=2048|set:Text1=$/c|"
           "Label5=2 kb|Label6=1 kb|set:Text1=$/absent|Label5=o ficheiro não existe|Label6=|set:Text1=$/none/x|"
           "Label5=o ficheiro não existe|file:d=1|set:Text3=32767|Label6=|set:Text1=$/" + QString(256, u'n') +
           "|Label5=0 kb|set:Text1=$/d|Label5=0.0009765625 kb|Label6=2.98032319101535E-08 kb|file:e=0|set:Text1=$/e|"
           "Label5=0 kb|Label6=0 kb|file:f=5368709120|set:Text3=2|set:Text1=$/f|Label5=5242880 kb|Label6=2621440 kb";
    QTest::newRow("size display, decimal comma")  // reads "1,5" back as 1
        << "locale:pt_PT|file:a=1536|set:Text1=$/a|Label5=1,5 kb|Label6=0,5 kb";
    QTest::newRow("start-up argument")  // a file that shrinks while it is checked is refused
        << "file:shrinking=3145728|shrink:shrinking|pace:5|load:$/shrinking|pace:|"
           "box=Erro 62\t0\tImpossivel abrir ficheiro especificado!|Text1=|"
           "file:film avi.1=20|file:empty=0|load:|load:\"|load:\"\"|box=Erro 53\t48\tFile not found|"
           "load:\"$/film avi.1|box=Erro 53\t48\tFile not found|load:$/|box=Erro 75\t48\tPath/File access error|"
           "title=Talhaz|Text1=|buttons=|load:$/film avi.1|title=Talhaz - $/film avi.1|Text1=$/film avi.1|"
           "Text2=$/film avi|buttons=45|load:\"$/empty\"|Text1=$/empty|Text2=$/empty|title=Talhaz - $/empty|"
           "pick:$/film avi.1|click:Command1|title=Talhaz - $/film avi.1";
  }
  void scenario() { QFETCH(QString, steps); Run(steps); }

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

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
