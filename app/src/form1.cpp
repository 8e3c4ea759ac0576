// Form1's layout: every control with its name, text, place, look and tab
// position, built once here; the handlers live in the files named after
// what they do.
#include "form1.h"

#include "hosted_control.h"
#include "part_size.h"
#include "progress_window.h"
#include "window_text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace {

constexpr char kPicture[] = ":/talhaz/window.jpg";

// Places are laid out in twips; 15 twips make one pixel at 96 dots per inch.
constexpr int TwipsToPixels(int twips) { return (twips + 7) / 15; }

struct Place {
  int left, top, width, height;  // twips

  QRect InPixels() const {
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
  }
};

constexpr int kClientWidth = 8790;
constexpr int kClientHeight = 2070;
constexpr double kDefaultPointSize = 8.25;

struct LabelLayout {
  QLabel* Form1::*control;
  const char* name;
  const char* text;
  Place place;
  int grey;  // the text colour's red, green and blue
  bool bold;
};

// A field's or a button's accessible name is what a screen reader says for
// it: a field's label, what a "..." button chooses, another button's caption.
struct FieldLayout {
  QLineEdit* Form1::*control;
  const char* name;
  const char* text;
  Place place;
  const char* accessibleName;
};

struct ButtonLayout {
  QPushButton* Form1::*control;
  const char* name;
  const char* text;
  Place place;
  bool enabled;
  const char* accessibleName;
};

}  // namespace

// The layout tables need the private control members, so they are built in
// a member function's scope.
void Form1::BuildControls() {
  const LabelLayout labels[] = {
      {&Form1::Label1, "Label1", "Input:", {120, 120, 1335, 255}, 224, false},
      {&Form1::Label2, "Label2", "Output:", {4440, 120, 975, 255}, 255, false},
      {&Form1::Label4, "Label4", "Dividir ficheiro em", {120, 1080, 1695, 255}, 255, true},
      {&Form1::Label3, "Label3", "partes.", {2640, 1080, 975, 255}, 255, true},
      {&Form1::Label7, "Label7", "Tamanho do ficheiro:", {120, 1560, 1935, 255}, 255, true},
      {&Form1::Label5, "Label5", "", {2040, 1560, 2415, 255}, 255, true},
      {&Form1::Label8, "Label8", "Tamanho a obter:", {120, 1800, 1815, 255}, 255, true},
      {&Form1::Label6, "Label6", "", {2040, 1800, 2415, 255}, 255, true},
  };
  const FieldLayout fields[] = {
      {&Form1::Text1, "Text1", "", {120, 360, 3735, 285}, "Input"},
      {&Form1::Text2, "Text2", "", {4440, 360, 3735, 285}, "Output"},
      {&Form1::Text3, "Text3", "2", {1800, 1080, 735, 285}, "Número de partes"},
  };
  const ButtonLayout buttons[] = {
      {&Form1::Command1, "Command1", "...", {3960, 360, 375, 255}, true, "Escolher o ficheiro de entrada"},
      {&Form1::Command2, "Command2", "...", {8280, 360, 375, 255}, true, "Escolher o ficheiro de saída"},
      {&Form1::Command5, "Command5", "Dividir", {5400, 1080, 1575, 375}, false, "Dividir"},
      {&Form1::Command4, "Command4", "Juntar", {7080, 1080, 1575, 375}, false, "Juntar"},
      {&Form1::Command6, "Command6", "Abrir Ficheiro", {5400, 1560, 1575, 375}, false, "Abrir Ficheiro"},
      {&Form1::Command3, "Command3", "Fechar", {7080, 1560, 1575, 375}, true, "Fechar"},
  };

  for (const LabelLayout& layout : labels) {
    auto* label = new QLabel(QString::fromUtf8(layout.text), this);
    label->setObjectName(QString::fromLatin1(layout.name));
    label->setGeometry(layout.place.InPixels());
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(layout.grey, layout.grey, layout.grey));
    label->setPalette(palette);
    QFont font = label->font();
    font.setBold(layout.bold);
    label->setFont(font);
    this->*layout.control = label;
  }
  for (const FieldLayout& layout : fields) {
    auto* field = new QLineEdit(QString::fromUtf8(layout.text), this);
    field->setObjectName(QString::fromLatin1(layout.name));
    field->setGeometry(layout.place.InPixels());
    field->setAccessibleName(QString::fromUtf8(layout.accessibleName));
    this->*layout.control = field;
  }
  for (const ButtonLayout& layout : buttons) {
    auto* button = new QPushButton(QString::fromUtf8(layout.text), this);
    button->setObjectName(QString::fromLatin1(layout.name));
    button->setGeometry(layout.place.InPixels());
    button->setEnabled(layout.enabled);
    button->setAccessibleName(QString::fromUtf8(layout.accessibleName));
    button->setAutoDefault(true);  // Enter presses the button that has the focus
    this->*layout.control = button;
  }

  // The output field follows the input field and the save dialog; it looks
  // and acts read-only (it still takes the focus and lets the user select
  // and copy).
  QPalette outputPalette = Text2->palette();
  outputPalette.setColor(QPalette::Base, outputPalette.color(QPalette::Button));
  Text2->setPalette(outputPalette);
  Text2->setReadOnly(true);
  // A file dropped on a field is the window's to take.
  Text1->setAcceptDrops(false);
  Text3->setAcceptDrops(false);
  setAcceptDrops(true);
  AttachPresetMenu(Text3, [this](int count) { recovery_ = count; });
  // Enter in a text field presses "..." for the input file.
  Command1->setDefault(true);

  QWidget* const focusOrder[] = {Text2,    Text1,    Command1, Command2, Text3,
                                 Command6, Command5, Command4, Command3};
  for (std::size_t i = 1; i < std::size(focusOrder); ++i) {
    setTabOrder(focusOrder[i - 1], focusOrder[i]);
  }
  Text2->setFocus();
}

Form1::Form1()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      picture_(QString::fromLatin1(kPicture)),
      cd_(LayoutValue(QString::fromLatin1(kWindowLayout), "cd", "Filter")),
      split_(CreateHostedControl(QString::fromLatin1(kWindowLayout), "split")) {
  setObjectName("Form1");
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));
  // Arial's metric twins (Liberation Sans, Nimbus Sans) come closest in width to
  // the classic dialog face the layout was made for; any sans-serif will do.
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(kDefaultPointSize);
  setFont(font);
  BuildControls();
  ConnectHandlers();
  ConnectEvents();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

Form1::~Form1() = default;

// The picture once, at its natural size, from the top-left corner; the
// button-face colour wherever it does not reach.
void Form1::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Button));
  painter.drawPixmap(0, 0, picture_);
}

void Form1::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && Command1->isEnabled()) {
    Command1->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void Form1::closeEvent(QCloseEvent* event) {
  if (progress_ == nullptr) return QWidget::closeEvent(event);
  closeWanted_ = true;
  progress_->reject();
  event->ignore();
}

void Form1::ConnectHandlers() {
  connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
  connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
  connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
  connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
  connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
  connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
  connect(Text3, &QLineEdit::textChanged, this, &Form1::Text3_Change);
  connect(Text2, &QLineEdit::textChanged, this, &Form1::UpdateCommand6);
  connect(&joinedWatch_, &QFileSystemWatcher::fileChanged, this, &Form1::UpdateCommand6);
}
