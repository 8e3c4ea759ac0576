#include "about_dialog.h"
#include "dlg_about.h"
#include "test_files.h"

#include <QtTest>
#include <QtWidgets>

class AboutDialogTest : public QObject {
  Q_OBJECT

  QByteArray Read(const QString& name) {
    QFile file(dir_.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
  QByteArray path_ = qgetenv("PATH");

 private Q_SLOTS:
  void initTestCase() {
    testing_support::WriteFakeOpener(dir_.path().toStdString());
    qputenv("MESSAGE_BOX_LOG", QFile::encodeName(dir_.filePath("boxes.log")));
  }

  void cleanup() {
    qputenv("PATH", path_);
    QFile::remove(dir_.filePath("boxes.log"));
    QFile::remove(dir_.filePath("opened"));
  }

  void isAFixedCentredDialog() {
    dlgAbout dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QString(" About this ActiveX control..."));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.windowType(), Qt::Dialog);
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) && !flags.testFlag(Qt::WindowMaximizeButtonHint));
    const QPoint offCentre = dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 2, "not centred on the screen");
  }

  // The maker's name in bold, the links in blue, underlined, with the hand;
  // each an opaque line of the button face, inside the dialog and unclipped.
  void labels() {
    for (const auto& [name, text, link] : {std::tuple("Label1", "Vellumark", false),
                                           {"Label3", "visit our website", true}, {"Label4", "e-mail us", true}}) {
      dlgAbout dialog;
      auto* label = dialog.findChild<QLabel*>(name);
      QVERIFY(label != nullptr);
      QCOMPARE(label->text(), text);
      QVERIFY(dialog.rect().contains(label->geometry()));
      QVERIFY(label->width() >= label->sizeHint().width() && label->height() >= label->sizeHint().height());
      QCOMPARE(label->font().weight(), link ? QFont::Normal : QFont::Bold);
      QCOMPARE(label->font().underline(), link);
      const QPalette& palette = label->palette();
      QCOMPARE(palette.color(label->foregroundRole()),
               link ? QColor(0, 0, 255) : dialog.palette().color(QPalette::ButtonText));
      QVERIFY(label->autoFillBackground());
      QCOMPARE(palette.color(label->backgroundRole()), dialog.palette().color(QPalette::Button));
      QCOMPARE(label->cursor().shape(), link ? Qt::BitmapCursor : Qt::ArrowCursor);
    }
  }

  void linksShareOneHandCursorWithTheFingerTipAtItsHotSpot() {
    dlgAbout dialog;
    const QCursor web = dialog.findChild<QLabel*>("Label3")->cursor();
    QCOMPARE(web.hotSpot(), QPoint(13, 5));
    QCOMPARE(web.bitmap().size(), QSize(32, 32));
    QCOMPARE(web.bitmap().cacheKey(), dialog.findChild<QLabel*>("Label4")->cursor().bitmap().cacheKey());
    // The tip is black and opaque at the hot spot, and nothing is drawn above it.
    const QImage picture = web.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage mask = web.mask().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(picture.pixel(13, 5), qRgb(0, 0, 0));
    QCOMPARE(mask.pixel(13, 5), qRgb(0, 0, 0));
    for (int at = 0; at < 5 * 32; ++at) QCOMPARE(mask.pixel(at % 32, at / 32), qRgb(255, 255, 255));
  }

  // The opener gets the link's target; one that starts and then fails (as
  // without a browser) is the desktop's business: no box. With no opener at
  // all, each click shows "Connection failed".
  void linkStartsTheOpenerWithItsTarget_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("Label3") << QByteArray("https://vellumark.example/");
    QTest::newRow("Label4") << QByteArray("mailto:info@vellumark.example");
  }
  void linkStartsTheOpenerWithItsTarget() {
    QFETCH(QByteArray, target);
    qputenv("PATH", QFile::encodeName(dir_.filePath("bin")));
    dlgAbout dialog;
    dialog.show();
    auto* link = dialog.findChild<QLabel*>(QTest::currentDataTag());
    QTest::mouseClick(link, Qt::LeftButton);
    QTRY_COMPARE(Read("opened"), "1\n" + target);
    QCOMPARE(Read("boxes.log"), QByteArray());

    qputenv("PATH", QFile::encodeName(dir_.filePath("nowhere")));
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    const QByteArray box =
        "Connection failed\t16\tUnable to establish Internet connection.\\n"
        "Please make sure that your modem is switched on\\n"
        "and your browser and email software properly configured.\n";
    QCOMPARE(Read("boxes.log"), box + box);
    QVERIFY(dialog.isVisible());
  }
};

QTEST_MAIN(AboutDialogTest)
#include "about_dialog_test.moc"
