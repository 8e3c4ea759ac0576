// ShowAboutBox as a design-time host calls it: by the about-box identifier,
// on an instance created through the registry, in a program with a window
// system. Each call shows a fresh modal dialog and returns once it is closed.
#include "tessik_host.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest>

class AboutBoxTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // A host that runs a window system but links the platform alone still
  // sees the component's boxes as windows (first, before anything of the
  // desktop part is loaded).
  void aFailedSplitShowsItsBoxAsAWindow() {
    using namespace testing_support::file_split;
    testing_support::TessikHost host;
    const testing_support::ScopedEnvironment shown("MESSAGE_BOX_LOG", nullptr);
    const std::string file = host.folder() / "F";
    testing_support::WriteBytes(file, "0123456789");
    testing_support::WriteBytes(file + ".2", "not a fragment of F");  // in the way
    const auto object = host.Create();
    Put(*object, kInputFile, file);
    QString text;
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        text = box->text();
        box->accept();
      }
    });
    QVERIFY(!Call(*object, kSplit).ToBoolean());
    QVERIFY2(text.startsWith("Error splitting file!"), qPrintable(text));
  }

  void eachCallShowsAFreshDialogUntilItIsClosed() {
    testing_support::TessikHost host;
    const auto object = host.Create();
    QList<QPointer<QWidget>> shown;
    QList<bool> openAfterEscape;
    for (int call = 0; call < 2; ++call) {
      QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        shown.append(dialog);
        if (dialog == nullptr) return;
        QTest::keyClick(dialog, Qt::Key_Escape);
        openAfterEscape.append(dialog->isVisible());
        QTimer::singleShot(0, dialog, &QWidget::close);
      });
      // A runtime error raised here fails the test as an unhandled exception.
      platform::InvokeOrRaise(*object, platform::kDispidAboutBox, platform::InvokeKind::Method);
    }
    QCOMPARE(openAfterEscape, (QList<bool>{true, true}));  // two dialogs shown
    QCOMPARE(shown, (QList<QPointer<QWidget>>{nullptr, nullptr}));  // each gone when its call returned
    QVERIFY(host.Boxes().empty());
  }
};

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
