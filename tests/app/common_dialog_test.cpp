#include "common_dialog.h"

#include <platform/translations.h>

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

using Kind = CommonDialog::Kind;
const QString kWindowFilter = "Dividir Ficheiros (*.*)|*.*|Juntar Ficheiro (*.1)|*.1|";
const QStringList kWindowNameFilters = {"Dividir Ficheiros (*.*)", "Juntar Ficheiro (*.1)"};
// Folders first, then files in natural name order.
const QStringList kEveryName = {"sub", "film.avi", "film.avi.1", "film.avi.12", "README"};

// The names the dialog lists, visible and enabled, in its order.
QStringList Listed(QFileDialog* dialog) {
  auto* view = dialog->findChild<QListView*>("listView");
  QStringList names;
  for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
    const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
    if (!view->isRowHidden(row) && index.flags().testFlag(Qt::ItemIsEnabled)) names << index.data().toString();
  }
  return names;
}

QLineEdit* NameField(QWidget* dialog) { return dialog->findChild<QLineEdit*>("fileNameEdit"); }

// True when every column of the detail view is as wide as its widest entry
// and all of them fit in the view.
bool ColumnsWhole(QFileDialog* dialog) {
  const auto* details = dialog->findChild<QTreeView*>("treeView");
  const QAbstractItemView* entries = details;  // where measuring them is public
  bool whole = details->header()->length() <= details->viewport()->width();
  for (int column = 0; column < details->header()->count(); ++column)
    whole = whole && details->header()->sectionSize(column) >= entries->sizeHintForColumn(column);
  return whole;
}

}  // namespace

class CommonDialogTest : public QObject {
  Q_OBJECT

  QString Path(const QString& name) const { return dir_.filePath(name); }
  QTemporaryDir dir_;
  QTemporaryDir settings_;

 private Q_SLOTS:
  void initTestCase() {
    // Qt's dialog keeps its column widths in the user's settings: these
    // dialogs start from none and leave the user's alone.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    for (const char* name : {"README", "film.avi", "film.avi.1", "film.avi.12"}) {
      QFile file(Path(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir().mkpath(Path("sub")));
  }

  // The window's own filter is checked through the window (form1_test).
  void parsesTheFilterText() {
    const std::pair<QString, QStringList> cases[] = {
        {"Juntar Ficheiro (*.1)|*.1", {"Juntar Ficheiro (*.1)"}},  // no final bar
        {"Fragmentos|*.1|", {"Fragmentos (*.1)"}},                  // the pattern is shown
        {"A (*.a)|*.a|B", {"A (*.a)"}},                             // an unpaired last part
        {"A (*.a)|*.a||*.b|", {"A (*.a)"}}};                        // an empty description ends
    for (const auto& [filter, nameFilters] : cases) QCOMPARE(CommonDialog(filter).NameFilters(), nameFilters);
  }

  void realDialogListsWhatTheFilterPromises_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<QList<int>>("keys");  // pressed on the filter list
    QTest::addColumn<QStringList>("listed");
    for (const bool save : {false, true}) {
      const char* kind = save ? "save" : "open";
      QTest::addRow("%s, every file", kind) << save << QList<int>{} << kEveryName;
      QTest::addRow("%s, fragments", kind) << save << QList<int>{Qt::Key_Down} << QStringList{"sub", "film.avi.1"};
      QTest::addRow("%s, back to every file", kind) << save << QList<int>{Qt::Key_Down, Qt::Key_Up} << kEveryName;
    }
  }
  void realDialogListsWhatTheFilterPromises() {
    QFETCH(bool, save);
    QFETCH(QList<int>, keys);
    QFETCH(QStringList, listed);
    const std::unique_ptr<QFileDialog> dialog(
        MakeFileDialog(save ? Kind::Save : Kind::Open, Path("film.avi"), kWindowNameFilters, nullptr));
    // What it does with a missing name and an existing one: realDialogAnswersShow.
    QCOMPARE(dialog->acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(dialog->nameFilters(), kWindowNameFilters);
    QCOMPARE(dialog->selectedNameFilter(), kWindowNameFilters.first());
    QCOMPARE(dialog->directory().path(), dir_.path());
    dialog->show();
    QTRY_COMPARE(Listed(dialog.get()), kEveryName);
    for (const int key : keys) QTest::keyClick(dialog->findChild<QComboBox*>("fileTypeCombo"), Qt::Key(key));
    QTRY_COMPARE(Listed(dialog.get()), listed);
    QCOMPARE(NameField(dialog.get())->text(), QString("film.avi"));  // never "film.*" after a switch
    QTRY_VERIFY(ColumnsWhole(dialog.get()));
  }

  // Qt's texts in the dialog (accept, cancel, the name's label), with the
  // translations installed as Talhaz installs them at its start.
  void qtTextsFollowTheLocale() {
    const std::pair<QLocale, QStringList> cases[] = {
        {QLocale("de_DE"), {"&Öffnen", "Abbrechen", "Datei&name:"}},         // a qtbase catalog
        {QLocale("pt_PT"), {"&Abrir", "Cancelar", "&Nome do Ficheiro:"}}};  // qt_pt_PT, qtbase_pt_BR
    for (const auto& [locale, texts] : cases) {
      platform::InstallQtTranslations(locale.name().toStdString());
      const std::unique_ptr<QFileDialog> dialog(MakeFileDialog(Kind::Open, "", {}, nullptr));
      const auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
      const QStringList shown = {buttons->button(QDialogButtonBox::Open)->text(),
                                 buttons->button(QDialogButtonBox::Cancel)->text(),
                                 dialog->findChild<QLabel*>("fileNameLabel")->text()};
      qDeleteAll(qApp->findChildren<QTranslator*>());  // each removes itself
      QCOMPARE(shown, texts);
    }
  }

  void realDialogAnswersShow_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("typed");  // empty: cancel
    QTest::addColumn<QString>("fileName");
    QTest::newRow("open, missing file") << false << "new.avi.1" << Path("new.avi.1");
    QTest::newRow("save, existing, no question") << true << "film.avi.1" << Path("film.avi.1");
    QTest::newRow("save, cancel") << true << "" << Path("film.avi");
    // A name with a double quote is that one name, never a list of quoted
    // names; a folder is entered, and the name typed again there.
    QTest::newRow("open, quotes") << false << "relatório \"final\" d'água" << Path("relatório \"final\" d'água");
    QTest::newRow("open, a folder") << false << "o \"sub\"" << Path("o \"sub\"/o \"sub\"");
    QTest::newRow("save, absolute, exists") << true << Path("\"film.avi\" cópia") << Path("\"film.avi\" cópia");
    QTest::newRow("save, a last quote, a first blank") << true << " cassete 8\"" << Path(" cassete 8\"");
  }
  void realDialogAnswersShow() {
    QFETCH(bool, save);
    QFETCH(QString, typed);
    QVERIFY(QFile(Path("\"film.avi\" cópia")).open(QIODevice::WriteOnly));  // beside film.avi
    QVERIFY(QDir().mkpath(Path("o \"sub\"/film.avi")));  // listed there as film.avi is here
    CommonDialog dialog(kWindowFilter);
    dialog.SetChooser([this](Kind, const QString&, const QStringList&) { return Path("film.avi"); });
    dialog.ShowOpen(nullptr);
    dialog.SetChooser(nullptr);  // the real dialog from here on
    // Types into the file dialog's focused name field, as a user does, once
    // the start name is listed (Qt keeps the start name's selection over a
    // name typed without focus), and clicks the accept button; gives up
    // after ten clicks (Enter in the field accepts even while the button is
    // disabled). Any other modal dialog is a question, closed.
    int ticks = 0, accepts = 0, questions = 0;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      auto* files = qobject_cast<QFileDialog*>(modal);
      if (files != nullptr) NameField(files)->setFocus();
      if (files != nullptr &&
          ((NameField(files)->hasFocus() && Listed(files).contains("film.avi")) || ++ticks > 100)) {
        NameField(files)->setText(typed);
        const auto answer = typed.isEmpty() || ++accepts > 10 ? QDialogButtonBox::Cancel
                            : save ? QDialogButtonBox::Save : QDialogButtonBox::Open;
        QTest::mouseClick(files->findChild<QDialogButtonBox*>()->button(answer), Qt::LeftButton);
      } else if (modal != nullptr && files == nullptr) {
        ++questions;
        modal->close();
      }
    });
    answerer.start(20);
    save ? dialog.ShowSave(nullptr) : dialog.ShowOpen(nullptr);
    QCOMPARE(questions, 0);
    QTEST(dialog.FileName(), "fileName");
  }
};

QTEST_MAIN(CommonDialogTest)
#include "common_dialog_test.moc"
