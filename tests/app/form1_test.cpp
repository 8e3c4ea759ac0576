// Talhaz's window through the real registry and module: its initial state,
// the six commands with the file dialog answered and the boxes captured, the
// size display and the start-up load.
#include "form1.h"
#include "progress_window.h"
#include "tessik_host.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QtTest>

#include <deque>
#include <optional>

namespace {

using testing_support::TessikHost;

// A chooser that answers each dialog from a queue (nothing = cancel) and
// remembers what each dialog started from.
struct Answers {
  std::deque<std::optional<QString>> queue;
  QStringList startedFrom;

  CommonDialog::Chooser Chooser() {
    return [this](CommonDialog::Kind, const QString& fileName, const QStringList&) {
      startedFrom.append(fileName);
      std::optional<QString> answer;
      if (queue.empty()) {
        startedFrom.append(QStringLiteral("<unexpected dialog>"));
      } else {
        answer = queue.front();
        queue.pop_front();
      }
      return answer;
    };
  }
};

// Runs `tick` every 20 ms while the window system runs, inside long work
// too, for as long as it lives.
class Ticker {
 public:
  explicit Ticker(std::function<void()> tick) {
    QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
    timer_.start(20);
  }

 private:
  QTimer timer_;
};

// The progress window when it is open over the form.
ProgressWindow* OpenProgressWindow() {
  return qobject_cast<ProgressWindow*>(QApplication::activeModalWidget());
}

// Makes every transfer of the files worked on wait 10 ms (the short_io
// library preloaded into the test), for as long as it lives.
class SlowDisk {
 public:
  SlowDisk() { qputenv("SHORT_IO_PACE", "10"); }
  ~SlowDisk() { qunsetenv("SHORT_IO_PACE"); }
};

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase();
  void init();
  void cleanup();
  void initialState_data();
  void initialState();
  void windowAndFocus();
  void chooseInput_data();
  void chooseInput();
  void chooseOutputStartsFromTheRememberedName();
  void enterPressesTheFocusedButtonOrElseChoosesTheInput();
  void splitAndJoinEndToEnd();
  void commandFailures_data();
  void commandFailures();
  void openFileAsksTheDesktop();
  void sizeDisplay_data();
  void sizeDisplay();
  void startUp_data();
  void startUp();
  void startUpFileShrinkingDuringTheCheck();
  void startUpShowsTheWindowBeforeTheCheckAndMayCancelIt();
  void longWork_data();
  void longWork();

 private:
  template <typename T>
  T* Control(const char* name) {
    T* control = form_->findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) qFatal("no control %s", name);
    return control;
  }
  QString Path(const QString& name) const {
    return QString::fromStdString(host_->folder() / name.toStdString());
  }
  QStringList NewBoxes() {
    QStringList lines;
    const auto boxes = host_->Boxes();
    for (std::size_t i = seenBoxes_; i < boxes.size(); ++i) {
      lines.append(QString::fromStdString(boxes[i]));
    }
    seenBoxes_ = boxes.size();
    return lines;
  }
  void Write(const QString& name, const QByteArray& bytes) {
    testing_support::WriteBytes(Path(name).toStdString(), bytes.toStdString());
  }
  QString Property(platform::DispatchId id) {
    return QString::fromStdString(
        platform::InvokeOrRaise(form_->split(), id, platform::InvokeKind::PropertyGet).ToText());
  }

  std::optional<TessikHost> host_;
  std::unique_ptr<Form1> form_;
  Answers answers_;
  std::size_t seenBoxes_ = 0;
  QByteArray path_ = qgetenv("PATH");
};

void Form1Test::initTestCase() { host_.emplace(); }

void Form1Test::init() {
  form_ = std::make_unique<Form1>();
  answers_ = {};
  form_->cd().SetChooser(answers_.Chooser());
  NewBoxes();
}

void Form1Test::cleanup() {
  form_.reset();
  QLocale::setDefault(QLocale::c());
  qputenv("PATH", path_);
}

void Form1Test::initialState_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<bool>("enabled");
  const struct {
    const char* name;
    const char* text;
    QRect geometry;
    bool enabled;
  } controls[] = {
      {"Label1", "Input:", {8, 8, 89, 17}, true},
      {"Label2", "Output:", {296, 8, 65, 17}, true},
      {"Text1", "", {8, 24, 249, 19}, true},
      {"Command1", "...", {264, 24, 25, 17}, true},
      {"Text2", "", {296, 24, 249, 19}, true},
      {"Command2", "...", {552, 24, 25, 17}, true},
      {"Label4", "Dividir ficheiro em", {8, 72, 113, 17}, true},
      {"Text3", "2", {120, 72, 49, 19}, true},
      {"Label3", "partes.", {176, 72, 65, 17}, true},
      {"Command5", "Dividir", {360, 72, 105, 25}, false},
      {"Command4", "Juntar", {472, 72, 105, 25}, false},
      {"Label7", "Tamanho do ficheiro:", {8, 104, 129, 17}, true},
      {"Label5", "", {136, 104, 161, 17}, true},
      {"Command6", "Abrir Ficheiro", {360, 104, 105, 25}, false},
      {"Command3", "Fechar", {472, 104, 105, 25}, true},
      {"Label8", "Tamanho a obter:", {8, 120, 121, 17}, true},
      {"Label6", "", {136, 120, 161, 17}, true},
  };
  for (const auto& c : controls) {
    QTest::newRow(c.name) << QString::fromUtf8(c.text) << c.geometry << c.enabled;
  }
}

void Form1Test::initialState() {
  const QString name = QString::fromLatin1(QTest::currentDataTag());
  QFETCH(QString, text);
  QFETCH(QRect, geometry);
  QFETCH(bool, enabled);
  QWidget* control = form_->findChild<QWidget*>(name);
  QVERIFY(control != nullptr);
  QCOMPARE(control->geometry(), geometry);
  QCOMPARE(control->isEnabled(), enabled);
  QCOMPARE(control->property("text").toString(), text);
  if (auto* label = qobject_cast<QLabel*>(control)) {
    QVERIFY(!label->autoFillBackground());  // the picture shows through
    const int grey = name == "Label1" ? 224 : 255;
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(grey, grey, grey));
    QCOMPARE(label->font().bold(), geometry.top() >= 72);
  }
}

void Form1Test::windowAndFocus() {
  QCOMPARE(form_->windowTitle(), QStringLiteral("Talhaz"));
  QCOMPARE(form_->size(), QSize(586, 138));
  QCOMPARE(form_->minimumSize(), form_->maximumSize());
  QVERIFY(!(form_->windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(form_->windowFlags() & Qt::WindowMinimizeButtonHint);
  QCOMPARE(form_->findChildren<QWidget*>().size(), 17);  // nothing of split is seen
  QVERIFY(Control<QLineEdit>("Text2")->isReadOnly());
  QCOMPARE(Property(0x68030002), QString());
  QCOMPARE(Property(0x68030000), QStringLiteral("2"));

  form_->show();
  QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  QCOMPARE(QApplication::focusWidget(), Control<QWidget>("Text2"));
  QStringList order;
  for (int step = 0; step < 5; ++step) {
    order.append(QApplication::focusWidget()->objectName());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  QCOMPARE(order, (QStringList{"Text2", "Text1", "Command1", "Command2", "Text3"}));
  // The disabled buttons are passed over.
  QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command3"));
}

void Form1Test::chooseInput_data() {
  QTest::addColumn<QString>("picked");
  QTest::addColumn<QString>("input");
  QTest::addColumn<QString>("output");
  QTest::newRow("first fragment") << "/data/copias.1/film.avi.1" << "/data/copias.1/film.avi.1"
                                  << "/data/copias.1/film.avi";
  QTest::newRow("plain file") << "/data/film.avi" << "/data/film.avi" << "/data/film.avi";
  QTest::newRow("fragment 11") << "/data/film.avi.11" << "/data/film.avi.11"
                               << "/data/film.avi.11";
  QTest::newRow("cancelled") << QString() << QString() << QString();
}

void Form1Test::chooseInput() {
  QFETCH(QString, picked);
  QFETCH(QString, input);
  QFETCH(QString, output);
  answers_.queue.push_back(picked.isNull() ? std::nullopt : std::optional(picked));
  QTest::mouseClick(Control<QPushButton>("Command1"), Qt::LeftButton);
  QCOMPARE(Control<QLineEdit>("Text1")->text(), input);
  QCOMPARE(Control<QLineEdit>("Text2")->text(), output);
  QCOMPARE(Control<QLineEdit>("Text2")->toolTip(), output);
  QVERIFY(Control<QPushButton>("Command4")->isEnabled());
  QVERIFY(Control<QPushButton>("Command5")->isEnabled());
  QVERIFY(!Control<QPushButton>("Command6")->isEnabled());
}

void Form1Test::chooseOutputStartsFromTheRememberedName() {
  answers_.queue = {QStringLiteral("/data/film.avi.1"), std::nullopt, QStringLiteral("/x/out")};
  QTest::mouseClick(Control<QPushButton>("Command1"), Qt::LeftButton);
  QTest::mouseClick(Control<QPushButton>("Command2"), Qt::LeftButton);
  QCOMPARE(Control<QLineEdit>("Text2")->text(), QStringLiteral("/data/film.avi.1"));
  QTest::mouseClick(Control<QPushButton>("Command2"), Qt::LeftButton);
  QCOMPARE(Control<QLineEdit>("Text2")->text(), QStringLiteral("/x/out"));
  QCOMPARE(Control<QLineEdit>("Text1")->text(), QStringLiteral("/data/film.avi.1"));
  QCOMPARE(answers_.startedFrom,
           (QStringList{"", "/data/film.avi.1", "/data/film.avi.1"}));
}

void Form1Test::enterPressesTheFocusedButtonOrElseChoosesTheInput() {
  answers_.queue = {QStringLiteral("/data/film.avi.1")};
  QTest::keyClick(Control<QLineEdit>("Text3"), Qt::Key_Return);
  QCOMPARE(Control<QLineEdit>("Text1")->text(), QStringLiteral("/data/film.avi.1"));
  Control<QLineEdit>("Text1")->setText(QString());
  QTest::keyClick(Control<QPushButton>("Command5"), Qt::Key_Return);
  QCOMPARE(NewBoxes(), QStringList{"Talhaz\t48\tIndique o ficheiro a dividir."});
  QCOMPARE(answers_.startedFrom.size(), 1);
}

void Form1Test::splitAndJoinEndToEnd() {
  const QByteArray content = QByteArray::fromStdString(testing_support::PatternBytes(300'001));
  Write("film avi", content);
  answers_.queue = {Path("film avi"), Path("film avi.1")};
  QTest::mouseClick(Control<QPushButton>("Command1"), Qt::LeftButton);
  Control<QLineEdit>("Text3")->setText(QStringLiteral("3"));
  QTest::mouseClick(Control<QPushButton>("Command5"), Qt::LeftButton);
  QCOMPARE(NewBoxes(), QStringList{"Talhaz\t0\tDivisão Completa!"});
  QVERIFY(QFile::exists(Path("film avi.3")) && !QFile::exists(Path("film avi.4")));
  QVERIFY(!Control<QPushButton>("Command6")->isEnabled());

  QFile::remove(Path("film avi"));
  QTest::mouseClick(Control<QPushButton>("Command1"), Qt::LeftButton);
  QCOMPARE(Control<QLineEdit>("Text2")->text(), Path("film avi"));
  QTest::mouseClick(Control<QPushButton>("Command4"), Qt::LeftButton);
  QCOMPARE(NewBoxes(), QStringList{"Talhaz\t0\tJunção Completa!\\nVerificado com film avi.sha256"});
  QVERIFY(Control<QPushButton>("Command6")->isEnabled());
  QCOMPARE(QByteArray::fromStdString(testing_support::ReadBytes(Path("film avi").toStdString())),
           content);
  QFile::remove(Path("film avi.sha256"));  // a set made elsewhere joins unverified
  QTest::mouseClick(Control<QPushButton>("Command4"), Qt::LeftButton);
  QCOMPARE(NewBoxes(), QStringList{"Talhaz\t0\tJunção Completa!"});
}

void Form1Test::commandFailures_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("input");
  QTest::addColumn<QString>("output");
  QTest::addColumn<QString>("parts");
  QTest::addColumn<bool>("locked");
  QTest::addColumn<QString>("box");
  const QString file = QStringLiteral("present");
  QTest::newRow("join, empty parts") << "Command4" << "" << file << "" << false
                                     << "Erro n: 13\t16\tType mismatch";
  QTest::newRow("join, 40000 parts") << "Command4" << "" << file << "40000" << false
                                     << "Erro n: 6\t16\tOverflow";
  QTest::newRow("join, no output") << "Command4" << file << "" << "2" << false
                                   << "Talhaz\t48\tIndique o ficheiro a criar.";
  QTest::newRow("join, no fragments") << "Command4" << "" << file << "2" << false
                                      << "Tessik\t16\tError joining files!\\nthere is no present.1";
  QTest::newRow("split, empty parts") << "Command5" << file << "" << "" << false
                                      << "Erro n: 13\t16\tType mismatch";
  QTest::newRow("split, no input") << "Command5" << "" << "" << "2" << false
                                   << "Talhaz\t48\tIndique o ficheiro a dividir.";
  QTest::newRow("split, one part") << "Command5" << file << "" << "1" << false
                                   << "Talhaz\t48\tIndique pelo menos 2 partes.";
  QTest::newRow("split, missing file") << "Command5" << "absent" << "" << "2" << false
                                       << "Erro n: 53\t16\tFile not found";
  QTest::newRow("split, locked file") << "Command5" << file << "" << "2" << true
                                      << "Tessik\t16\tError splitting file!\\npresent is in use by another program";
}

void Form1Test::commandFailures() {
  QFETCH(QString, button);
  QFETCH(QString, input);
  QFETCH(QString, output);
  QFETCH(QString, parts);
  QFETCH(bool, locked);
  QFETCH(QString, box);
  Write("present", "0123456789");
  std::optional<testing_support::LockHolder> lock;
  if (locked) lock.emplace(Path("present").toStdString());
  Control<QLineEdit>("Text1")->setText(input.isEmpty() ? input : Path(input));
  Control<QLineEdit>("Text2")->setText(output.isEmpty() ? output : Path(output));
  Control<QLineEdit>("Text3")->setText(parts);
  auto* command = Control<QPushButton>(button.toLatin1().constData());
  command->setEnabled(true);
  QTest::mouseClick(command, Qt::LeftButton);
  QCOMPARE(NewBoxes(), QStringList{box});  // and no completion box after it
  QVERIFY(!Control<QPushButton>("Command6")->isEnabled());
  QVERIFY(!QFile::exists(Path("present.1")));
}

void Form1Test::openFileAsksTheDesktop() {
  const QString bin = Path("bin");
  QVERIFY(QDir().mkpath(bin));
  Write("bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.tmp\" && /bin/mv \"$0.tmp\" \"$0.record\"\n");
  QFile::setPermissions(bin + "/xdg-open", QFile::ReadOwner | QFile::ExeOwner);
  qputenv("PATH", QFile::encodeName(bin));
  Control<QLineEdit>("Text2")->setText(QStringLiteral("/data/a film.avi"));
  auto* open = Control<QPushButton>("Command6");
  open->setEnabled(true);
  QTest::mouseClick(open, Qt::LeftButton);
  QTRY_VERIFY(QFile::exists(bin + "/xdg-open.record"));
  QCOMPARE(QByteArray::fromStdString(testing_support::ReadBytes(Path("bin/xdg-open.record").toStdString())),
           QByteArray("/data/a film.avi"));
  qputenv("PATH", QFile::encodeName(Path("nowhere")));
  QTest::mouseClick(open, Qt::LeftButton);
  QVERIFY(NewBoxes().isEmpty());  // the window shows nothing of its own
}

void Form1Test::sizeDisplay_data() {
  QTest::addColumn<QString>("locale");
  QTest::addColumn<qint64>("bytes");  // -1: no such file
  QTest::addColumn<QString>("parts");
  QTest::addColumn<QString>("size");
  QTest::addColumn<QString>("perPart");
  QTest::newRow("1536/2") << "C" << 1536LL << "2" << "1.5 kb" << "0.75 kb";
  QTest::newRow("1536/2, comma") << "pt_PT" << 1536LL << "2" << "1,5 kb" << "0,5 kb";
  QTest::newRow("3000/2") << "C" << 3000LL << "2" << "2.9296875 kb" << "1.46484375 kb";
  QTest::newRow("2048/2") << "C" << 2048LL << "2" << "2 kb" << "1 kb";
  QTest::newRow("empty") << "C" << 0LL << "2" << "0 kb" << "0 kb";
  QTest::newRow("no file") << "C" << -1LL << "2" << "0 kb" << "0 kb";
  QTest::newRow("3 partes") << "C" << 1536LL << "3 partes" << "1.5 kb" << "0.5 kb";
  QTest::newRow("1 0") << "C" << 1536LL << "1 0" << "1.5 kb" << "0.15 kb";
  QTest::newRow("-2") << "C" << 1536LL << "-2" << "1.5 kb" << "-0.75 kb";
  QTest::newRow("0.5") << "C" << 1536LL << "0.5" << "1.5 kb" << "3 kb";
  QTest::newRow("2,5") << "C" << 1536LL << "2,5" << "1.5 kb" << "0.75 kb";
  QTest::newRow("empty parts keep") << "C" << 1536LL << "" << "1.5 kb" << "0.75 kb";
  QTest::newRow("0 parts keep") << "C" << 1536LL << "0" << "1.5 kb" << "0.75 kb";
  QTest::newRow("scientific") << "C" << 1LL << "32767" << "0.0009765625 kb"
                              << "2.98032319101535E-08 kb";
  QTest::newRow("5 GiB") << "C" << (5LL << 30) << "2" << "5242880 kb" << "2621440 kb";
}

void Form1Test::sizeDisplay() {
  QFETCH(QString, locale);
  QFETCH(qint64, bytes);
  QFETCH(QString, parts);
  QFETCH(QString, size);
  QFETCH(QString, perPart);
  QLocale::setDefault(QLocale(locale));
  const QString path = Path("sized");
  QFile::remove(path);
  if (bytes >= 0) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(bytes));  // sparse
  }
  auto* input = Control<QLineEdit>("Text1");
  input->setText(path);  // with 2 parts, then the row's parts
  Control<QLineEdit>("Text3")->setText(parts);
  QCOMPARE(Control<QLabel>("Label5")->text(), size);
  QCOMPARE(Control<QLabel>("Label6")->text(), perPart);
  QCOMPARE(input->toolTip(), path);
  QFile::remove(path);
}

void Form1Test::startUp_data() {
  QTest::addColumn<QString>("argument");
  QTest::addColumn<QString>("input");  // empty: the window stays as it was made
  QTest::addColumn<QString>("output");
  QTest::addColumn<QString>("box");
  const QString fragment = Path("film avi.1");
  QTest::newRow("none") << "" << "" << "" << "";
  QTest::newRow("quoted") << "\"" + fragment + "\"" << fragment << Path("film avi") << "";
  QTest::newRow("unquoted with blanks") << fragment << fragment << Path("film avi") << "";
  QTest::newRow("empty file") << Path("empty") << Path("empty") << Path("empty") << "";
  QTest::newRow("missing") << Path("absent") << "" << "" << "Erro 53\t48\tFile not found";
  QTest::newRow("lone quote") << "\"" << "" << "" << "";
  QTest::newRow("two quotes") << "\"\"" << "" << "" << "Erro 53\t48\tFile not found";
  QTest::newRow("open quote loses the last character")
      << "\"" + fragment << "" << "" << "Erro 53\t48\tFile not found";
  QTest::newRow("a folder") << Path("") << "" << "" << "Erro 75\t48\tPath/File access error";
}

void Form1Test::startUp() {
  QFETCH(QString, argument);
  QFETCH(QString, input);
  QFETCH(QString, output);
  QFETCH(QString, box);
  Write("film avi.1", "fragment\nwith lines\n");
  Write("empty", "");
  form_->Form_Load(argument);
  QCOMPARE(form_->windowTitle(), input.isEmpty() ? QStringLiteral("Talhaz") : "Talhaz - " + input);
  QCOMPARE(Control<QLineEdit>("Text1")->text(), input);
  QCOMPARE(Control<QLineEdit>("Text2")->text(), output);
  QCOMPARE(Control<QPushButton>("Command4")->isEnabled(), !input.isEmpty());
  QCOMPARE(Control<QPushButton>("Command5")->isEnabled(), !input.isEmpty());
  QVERIFY(!Control<QPushButton>("Command6")->isEnabled());
  QCOMPARE(NewBoxes(), box.isEmpty() ? QStringList() : QStringList{box});
}

void Form1Test::startUpFileShrinkingDuringTheCheck() {
  const QString path = Path("shrinking");
  Write("shrinking", QByteArray(3 << 20, 'x'));
  // Runs while the check services the window between its reads.
  QTimer::singleShot(0, [&] { QFile::resize(path, 1 << 20); });
  form_->Form_Load(path);
  QCOMPARE(NewBoxes(), QStringList{"Erro 62\t0\tImpossivel abrir ficheiro especificado!"});
  QCOMPARE(Control<QLineEdit>("Text1")->text(), QString());
}

void Form1Test::startUpShowsTheWindowBeforeTheCheckAndMayCancelIt() {
  Write("film avi.1", QByteArray(6'000'000, 'x'));
  QString title;
  bool formShown = false;
  const Ticker ticker([&] {
    if (ProgressWindow* window = OpenProgressWindow(); window != nullptr && title.isEmpty()) {
      title = window->windowTitle();
      formShown = form_->isVisible();
      QTest::keyClick(window, Qt::Key_Escape);
    }
  });
  const SlowDisk slow;
  form_->Start({Path("film avi.1").toLocal8Bit()});
  QTRY_VERIFY(!title.isEmpty());
  QTRY_VERIFY(OpenProgressWindow() == nullptr);
  QCOMPARE(title, QStringLiteral("A ler - film avi.1"));
  QVERIFY(formShown);
  QCOMPARE(Control<QLineEdit>("Text1")->text(), QString());  // a cancel loads nothing
  QCOMPARE(NewBoxes(), QStringList());
}

void Form1Test::longWork_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("title");
  QTest::addColumn<bool>("closeForm");  // instead of pressing Cancelar
  QTest::newRow("split, Cancelar") << "Command5" << "A dividir - film avi" << false;
  QTest::newRow("join, Cancelar") << "Command4" << "A juntar - film avi" << false;
  QTest::newRow("split, the form closed") << "Command5" << "A dividir - film avi" << true;
}

// Long work opens the progress window over a form whose timers keep firing
// and that takes no clicks; a cancel leaves the form as it was, with no box.
void Form1Test::longWork() {
  QFETCH(QString, button);
  QFETCH(QString, title);
  QFETCH(bool, closeForm);
  const QByteArray content = QByteArray::fromStdString(testing_support::PatternBytes(6'000'000));
  Write("film avi", content);
  answers_.queue = {Path("film avi")};
  QTest::mouseClick(Control<QPushButton>("Command1"), Qt::LeftButton);
  const bool join = button == "Command4";
  if (join) {
    QTest::mouseClick(Control<QPushButton>("Command5"), Qt::LeftButton);
    QFile::remove(Path("film avi"));
    NewBoxes();
  }
  form_->show();
  QString seen;
  int ticks = 0;
  const Ticker ticker([&] {
    // Before the window opens "Fechar" takes no click; after, it is modal.
    if (++ticks == 1) QTest::mouseClick(Control<QPushButton>("Command3"), Qt::LeftButton);
    ProgressWindow* window = OpenProgressWindow();
    if (window == nullptr || !seen.isEmpty()) return;
    seen = window->windowTitle();
    if (closeForm) {
      form_->close();
    } else {
      QTest::mouseClick(window->findChild<QPushButton*>(), Qt::LeftButton);
    }
  });
  {
    const SlowDisk slow;
    QTest::mouseClick(Control<QPushButton>(button.toLatin1().constData()), Qt::LeftButton);
  }
  QCOMPARE(seen, title);
  QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
  QCOMPARE(NewBoxes(), QStringList());
  QCOMPARE(QFile::exists(Path("film avi")), !join);
  QCOMPARE(QFile::exists(Path("film avi.1")), join);
  QVERIFY(!Control<QPushButton>("Command6")->isEnabled());
  QCOMPARE(Control<QLineEdit>("Text1")->text(), Path("film avi"));
  QTRY_COMPARE(form_->isVisible(), !closeForm);
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
