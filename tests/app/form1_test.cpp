// Talhaz's window: its initial state, and scenarios of the six commands,
// the size display, the start-up load, drops and the parts field's sizes.
#include "form1_scenarios.h"
#include "window_text.h"

class Form1Test : public Form1Scenarios {
  Q_OBJECT

 private Q_SLOTS:
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

  // The question before a replace, shown for real: its buttons Portuguese in
  // any language, No the default and what Enter gives.
  void replaceQuestion() {
    InstallButtonTexts();
    const QByteArray log = qgetenv("MESSAGE_BOX_LOG");
    qunsetenv("MESSAGE_BOX_LOG");
    QStringList seen;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      seen << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text()
           << box->defaultButton()->text();
      QTest::keyClick(box, Qt::Key_Return);
    });
    const platform::MessageBoxAnswer answer = ShowBox("f já existe. Substituir?", platform::MessageBoxStyle::YesNoQuestion, "Talhaz");
    qputenv("MESSAGE_BOX_LOG", log);
    QCOMPARE(seen, (QStringList{"&Sim", "&Não", "&Não"}));
    QCOMPARE(answer, platform::MessageBoxAnswer::No);
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
    QTest::newRow("an output in another folder: the set written there under the input's name, joined from there")
        << "file:film avi=300001|pick:$/film avi|click:Command1|file:stick/x=0|pick:$/stick/copy|click:Command2|"
           "click:Command5|box=Talhaz\t0\tDivisão Completa!\\n2 partes em $/stick, verificáveis com film avi.sha256|"
           "Text2=$/stick/film avi|has:stick/film avi.2|no:film avi.1|click:Command4|box=Talhaz\t0\tJunção Completa!\\nVerificado com "
           "film avi.sha256|same:stick/film avi=300001|pick:$/film avi|click:Command1|click:Command5|"
           "box=Talhaz\t0\tDivisão Completa!\\n2 partes em $, verificáveis com film avi.sha256|has:film avi.1";
    QTest::newRow("recovery data from the parts field's menu: written with the set, a lost part rebuilt by Juntar")
        << "file:film avi=300001|pick:$/film avi|click:Command1|set:Text3=3|preset:1 parte|click:Command5|"
           "box=Talhaz\t0\tDivisão Completa!\\n3 partes em $, verificáveis com film avi.sha256, recuperáveis com film avi.par2|"
           "has:film avi.vol0+1.par2|rm:film avi.2|rm:film avi|click:Command4|box=Talhaz\t0\tJunção Completa!\\n"
           "film avi.2 reconstruído com film avi.par2\\nVerificado com film avi.sha256|same:film avi=300001|"
           "preset:Nenhuns|click:Command5|box=Talhaz\t0\tDivisão Completa!\\n3 partes em $, verificáveis com film avi.sha256|"
           "no:film avi.par2";
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
        << "file:f=2500000|pick:$/f|click:Command1|set:Text3=1 MB|Label6=3 partes de 813.8 kb|Label3=por parte.|click:Command5|"
           "box=Talhaz\t0\tDivisão Completa!\\n3 partes em $, verificáveis com f.sha256|has:f.3|no:f.4|same:f.1=833334|"
           "rm:f|pick:$/f.1|click:Command1|click:Command4|box=Talhaz\t0\tJunção Completa!\\nVerificado com f.sha256|set:Text3=1,5 M|Label6=813.802734375 kb|"
           "file:m=20000000|pick:$/m|click:Command1|preset:Correio (25 MB)|Text3=Correio|Label6=2 partes de 9765.63 kb|"
           "click:Command5|box=Talhaz\t0\tDivisão Completa!\\n2 partes em $, verificáveis com m.sha256|no:m.3|same:m.1=10000000|"
           "locale:pt_PT|set:Text3=1,5 M|Label6=13 partes de 1502,4 kb|set:Text3=19532.0 k|Label6=1 parte de 19531,25 kb|set:Text3=19532 kB|Label6=2 partes de 9765,63 kb|"
           "set:Text3=25 MB|Label6=1 parte de 19531,25 kb|set:Text3=1,5|Label6=19531,25 kb|Label3=partes.|set:Text3=4g|Label6=1 parte de 19531,25 kb|set:Text3=mail|Label6=2 partes de 9765,63 kb";
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
           "|Label5=0 kb|set:Text1=$/d|Label5=0.0009765625 kb|Label6=1 parte de 0.0009765625 kb|file:e=0|set:Text1=$/e|"
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
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
