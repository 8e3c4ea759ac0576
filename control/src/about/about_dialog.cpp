#include "about_dialog.h"

#include "dlg_about.h"

#include <platform/desktop_shell.h>
#include <platform/message_box.h>
#include <platform/runtime_error.h>

#include <QBitmap>
#include <QCursor>
#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include <algorithm>

namespace {

// The hand cursor's picture and mask (32 by 32, one bit a pixel, hot spot at
// the tip of the raised index finger).
#include "hand_cursor.xbm"
#include "hand_cursor_mask.xbm"

constexpr const char* kCaption = " About this ActiveX control...";
constexpr const char* kWebSite = "https://vellumark.example/";
constexpr const char* kMailAddress = "mailto:info@vellumark.example";
constexpr const char* kConnectionFailedTitle = "Connection failed";
constexpr const char* kConnectionFailedText =
    "Unable to establish Internet connection.\n"
    "Please make sure that your modem is switched on\n"
    "and your browser and email software properly configured.";
const QColor kLinkColour(0, 0, 255);

// Positions and sizes are laid out in twips; the screen has 15 twips to a
// pixel at 96 dots per inch. Rounds to the nearest pixel.
constexpr int TwipsToPixels(int twips) { return (twips + 7) / 15; }

constexpr int kClientWidthTwips = 3756;
constexpr int kClientHeightTwips = 1764;

struct LabelLayout {
  const char* name;
  const char* text;
  int left, top, width, height;  // twips
};

constexpr LabelLayout kMakerName{"Label1", "Vellumark", 360, 120, 1248, 288};
constexpr LabelLayout kWebSiteLink{"Label3", "visit our website", 360, 1200, 1128, 192};
constexpr LabelLayout kMailLink{"Label4", "e-mail us", 2400, 1200, 648, 192};

QCursor HandCursor() {
  const QSize size(hand_cursor_width, hand_cursor_height);
  return QCursor(QBitmap::fromData(size, hand_cursor_bits, QImage::Format_MonoLSB),
                 QBitmap::fromData(size, hand_cursor_mask_bits, QImage::Format_MonoLSB),
                 hand_cursor_x_hot, hand_cursor_y_hot);
}

QFont MakerNameFont() {
  QFont font(QStringLiteral("Arial"));  // the font system substitutes a metric twin
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(12);
  font.setWeight(QFont::Bold);
  return font;
}

QFont LinkFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(7.8);
  font.setWeight(QFont::Normal);
  font.setUnderline(true);
  return font;
}

// Places `label` as one opaque, left-aligned line on the button-face colour.
// A face standing in for the intended one may be wider; the label then grows
// to the right and down rather than clip its text.
void Lay(QLabel* label, const LabelLayout& layout, const QFont& font) {
  label->setObjectName(QString::fromLatin1(layout.name));
  label->setTextFormat(Qt::PlainText);
  label->setText(QString::fromLatin1(layout.text));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setFont(font);
  const QSize needed = label->sizeHint();
  label->setGeometry(TwipsToPixels(layout.left), TwipsToPixels(layout.top),
                     std::max(TwipsToPixels(layout.width), needed.width()),
                     std::max(TwipsToPixels(layout.height), needed.height()));
  label->setBackgroundRole(QPalette::Button);
  label->setForegroundRole(QPalette::ButtonText);
  label->setAutoFillBackground(true);
}

void ColourAsLink(QLabel* label, const QCursor& hand) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::ButtonText, kLinkColour);
  label->setPalette(palette);
  label->setCursor(hand);
}

}  // namespace

namespace control {

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click) Q_EMIT clicked();
}

void ShowAboutDialog() {
  if (!platform::HasWindowSystem()) {
    throw platform::RuntimeError(static_cast<int>(platform::ErrorNumber::InvalidProcedureCall),
                                 kNoWindowSystemText);
  }
  dlgAbout dialog;  // fresh on every call and gone when the call returns
  dialog.exec();
}

}  // namespace control

dlgAbout::dlgAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("dlgAbout"));
  setWindowTitle(QString::fromLatin1(kCaption));
  setFixedSize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);

  Lay(new QLabel(this), kMakerName, MakerNameFont());

  const QCursor hand = HandCursor();  // one cursor, shared by both links
  auto* webSite = new control::LinkLabel(this);
  Lay(webSite, kWebSiteLink, LinkFont());
  ColourAsLink(webSite, hand);
  connect(webSite, &control::LinkLabel::clicked, this, [this] { OpenLink(kWebSite); });

  auto* mail = new control::LinkLabel(this);
  Lay(mail, kMailLink, LinkFont());
  ColourAsLink(mail, hand);
  connect(mail, &control::LinkLabel::clicked, this, [this] { OpenLink(kMailAddress); });
}

// Escape would reject the dialog; it has no Cancel button, so the key does
// nothing. The close button still closes it (closeEvent rejects as usual).
void dlgAbout::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

// Asks the desktop to open `target`. Only an opener that cannot be started is
// reported; what a started one then does is its own business.
void dlgAbout::OpenLink(const char* target) {
  try {
    platform::OpenWithDesktop(target);
  } catch (...) {
    platform::ShowMessageBox(kConnectionFailedText, platform::MessageBoxStyle::Critical,
                             kConnectionFailedTitle);
  }
}

#include "moc_dlg_about.cpp"
