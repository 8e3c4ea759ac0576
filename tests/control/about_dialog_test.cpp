#include "about_dialog.h"
#include "dlg_about.h"

#include <QApplication>
#include <QBitmap>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>

class AboutDialogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase();
  void cleanup();
  void isAFixedCentredDialog();
  void labels_data();
  void labels();
  void linksShareOneHandCursorWithTheFingerTipAtItsHotSpot();
  void linkStartsTheOpenerWithItsTarget_data();
  void linkStartsTheOpenerWithItsTarget();
  void linkWithoutAnOpenerShowsConnectionFailed_data() { linkStartsTheOpenerWithItsTarget_data(); }
  void linkWithoutAnOpenerShowsConnectionFailed();

 private:
  QByteArray Read(const QString& name) {
    QFile file(dir_.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
  QByteArray path_ = qgetenv("PATH");
};

void AboutDialogTest::initTestCase() {
  QVERIFY(QDir(dir_.path()).mkpath("empty") && QDir(dir_.path()).mkpath("bin"));
  // Records its one argument, then fails as an opener without a browser
  // would: a failure after starting must show nothing.
  QFile opener(dir_.filePath("bin/xdg-open"));
  QVERIFY(opener.open(QIODevice::WriteOnly));
  opener.write("#!/bin/sh\ncd '" + QFile::encodeName(dir_.path()) +
               "' && printf '%s' \"$1\" > tmp && /bin/mv tmp record\nexit 4\n");
  opener.close();
  QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
  qputenv("MESSAGE_BOX_LOG", QFile::encodeName(dir_.filePath("boxes.log")));
}

void AboutDialogTest::cleanup() {
  qputenv("PATH", path_);
  QFile::remove(dir_.filePath("boxes.log"));
  QFile::remove(dir_.filePath("record"));
}

void AboutDialogTest::isAFixedCentredDialog() {
  dlgAbout dialog;
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QCOMPARE(dialog.windowTitle(), QString(" About this ActiveX control..."));
  QCOMPARE(dialog.size(), QSize(250, 118));
  QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
  QCOMPARE(dialog.windowType(), Qt::Dialog);
  const Qt::WindowFlags flags = dialog.windowFlags();
  QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) && !flags.testFlag(Qt::WindowMaximizeButtonHint));
  const QPoint offCentre =
      dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center();
  QVERIFY2(offCentre.manhattanLength() <= 2, "not centred on the screen");
}

void AboutDialogTest::labels_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QRect>("geometry");  // as laid out, at 15 twips a pixel
  QTest::addColumn<qreal>("pointSize");
  QTest::addColumn<QColor>("colour");  // invalid: the palette's button text
  const QColor blue(0, 0, 255);
  QTest::newRow("Label1") << "Vellumark" << QRect(24, 8, 83, 19) << 12.0 << QColor();
  QTest::newRow("Label3") << "visit our website" << QRect(24, 80, 75, 13) << 7.8 << blue;
  QTest::newRow("Label4") << "e-mail us" << QRect(160, 80, 43, 13) << 7.8 << blue;
}

void AboutDialogTest::labels() {
  QFETCH(QString, text);
  QFETCH(QRect, geometry);
  QFETCH(qreal, pointSize);
  QFETCH(QColor, colour);
  const bool link = colour.isValid();
  dlgAbout dialog;
  auto* label = dialog.findChild<QLabel*>(QTest::currentDataTag());
  QVERIFY(label != nullptr);
  QCOMPARE(label->text(), text);
  // Placed as laid out; a wider stand-in face may widen it, never clip it.
  QCOMPARE(label->pos(), geometry.topLeft());
  QCOMPARE(label->width(), std::max(geometry.width(), label->sizeHint().width()));
  QCOMPARE(label->height(), std::max(geometry.height(), label->sizeHint().height()));
  QCOMPARE(label->font().pointSizeF(), pointSize);
  QCOMPARE(label->font().weight(), link ? QFont::Normal : QFont::Bold);
  QCOMPARE(label->font().underline(), link);
  const QPalette& palette = label->palette();
  QCOMPARE(palette.color(label->foregroundRole()),
           link ? colour : dialog.palette().color(QPalette::ButtonText));
  QVERIFY(label->autoFillBackground());
  QCOMPARE(palette.color(label->backgroundRole()), dialog.palette().color(QPalette::Button));
  QCOMPARE(label->cursor().shape(), link ? Qt::BitmapCursor : Qt::ArrowCursor);
}

void AboutDialogTest::linksShareOneHandCursorWithTheFingerTipAtItsHotSpot() {
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
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 32; ++x) QCOMPARE(mask.pixel(x, y), qRgb(255, 255, 255));
  }
}

void AboutDialogTest::linkStartsTheOpenerWithItsTarget_data() {
  QTest::addColumn<QByteArray>("target");
  QTest::newRow("Label3") << QByteArray("https://vellumark.example/");
  QTest::newRow("Label4") << QByteArray("mailto:info@vellumark.example");
}

void AboutDialogTest::linkStartsTheOpenerWithItsTarget() {
  QFETCH(QByteArray, target);
  qputenv("PATH", QFile::encodeName(dir_.filePath("bin")));
  dlgAbout dialog;
  dialog.show();
  QTest::mouseClick(dialog.findChild<QLabel*>(QTest::currentDataTag()), Qt::LeftButton);
  QTRY_COMPARE(Read("record"), target);
  QCOMPARE(Read("boxes.log"), QByteArray());
  QVERIFY(dialog.isVisible());
}

void AboutDialogTest::linkWithoutAnOpenerShowsConnectionFailed() {
  const QByteArray box =
      "Connection failed\t16\tUnable to establish Internet connection.\\n"
      "Please make sure that your modem is switched on\\n"
      "and your browser and email software properly configured.\n";
  qputenv("PATH", QFile::encodeName(dir_.filePath("empty")));
  dlgAbout dialog;
  dialog.show();
  auto* link = dialog.findChild<QLabel*>(QTest::currentDataTag());
  QTest::mouseClick(link, Qt::LeftButton);
  QTest::mouseClick(link, Qt::LeftButton);  // each click is a request of its own
  QCOMPARE(Read("boxes.log"), box + box);
  QVERIFY(dialog.isVisible());
}

QTEST_MAIN(AboutDialogTest)
#include "about_dialog_test.moc"
