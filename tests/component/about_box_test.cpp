// ShowAboutBox as a design-time host calls it: by the about-box identifier,
// on an instance created through the registry, in a program with a window
// system. Each call shows a fresh modal dialog and returns once it is closed.
#include "tessik_host.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest>

class AboutBoxTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
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
