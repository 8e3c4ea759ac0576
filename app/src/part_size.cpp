#include "part_size.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QStyle>

#include <array>
#include <cmath>

namespace {

constexpr std::array<PartSizePreset, 6> kPresets = {{
    {"Pen FAT32 (4 GiB)", "FAT32", "FAT32"},
    {"CD (700 MB)", "CD", "CD"},
    {"DVD (4,7 GB)", "DVD", "DVD"},
    {"DVD DL (8,5 GB)", "DVD DL", "DVD DL"},
    {"Blu-ray (25 GB)", "Blu-ray", "BD"},
    {"Correio (25 MB)", "Correio", "mail"},
}};

// The power of a unit's letter: K 1, M 2, G 3, T 4.
int PowerOf(QChar letter) { return int(QStringLiteral("KMGT").indexOf(letter.toUpper())) + 1; }

// Shows the field's arrow while the field is attended, and opens the menu
// from the keyboard.
class PresetArrow : public QObject {
 public:
  PresetArrow(QLineEdit* field, QMenu* menu, QAction* arrow) : QObject(field), field_(field), menu_(menu), arrow_(arrow) {
    arrow_->setVisible(false);
    field_->installEventFilter(this);
    connect(arrow_, &QAction::triggered, this, &PresetArrow::Open);
  }

  void Open() { menu_->popup(field_->mapToGlobal(field_->rect().bottomLeft())); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Enter:
      case QEvent::FocusIn: arrow_->setVisible(true); break;
      case QEvent::Leave: arrow_->setVisible(field_->hasFocus()); break;
      case QEvent::FocusOut:
        arrow_->setVisible(field_->underMouse());
        field_->setCursorPosition(0);  // the start of the text in view
        field_->update();
        break;
      case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F4 || (key->key() == Qt::Key_Down && key->modifiers() & Qt::AltModifier)) {
          Open();
          return true;
        }
        break;
      }
      default: break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QLineEdit* field_;
  QMenu* menu_;
  QAction* arrow_;
};

}  // namespace

void AttachPresetMenu(QLineEdit* field, const std::function<void(int)>& recoveryChosen) {
  auto* menu = new QMenu(field);
  for (const PartSizePreset& preset : kPresets) {
    QObject::connect(menu->addAction(QString::fromUtf8(preset.label)), &QAction::triggered, field,
            [field, text = QString::fromUtf8(preset.field)] { field->setText(text); });
  }
  // Recovery data rebuilds that many lost parts of the set.
  menu->addSeparator();
  QMenu* recovery = menu->addMenu(QStringLiteral("Dados de recuperação"));
  auto* choices = new QActionGroup(recovery);
  for (int count = 0; count <= 3; ++count) {
    const QString label = count == 0   ? QStringLiteral("Nenhuns")
                          : count == 1 ? QStringLiteral("1 parte")
                                       : QStringLiteral("%1 partes").arg(count);
    QAction* choice = choices->addAction(label);
    choice->setCheckable(true);
    choice->setChecked(count == 0);
    recovery->addAction(choice);
    QObject::connect(choice, &QAction::triggered, field, [recoveryChosen, count] { recoveryChosen(count); });
  }
  QAction* arrow = field->addAction(field->style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
  arrow->setToolTip(QStringLiteral("Tamanho de cada parte para um suporte; dados de recuperação"));
  new PresetArrow(field, menu, arrow);
}

std::span<const PartSizePreset> PartSizePresets() { return kPresets; }

std::optional<PartSizeRequest> PartSizeFromText(const QString& text, char decimalSeparator) {
  const QString trimmed = text.trimmed();
  for (const PartSizePreset& preset : kPresets) {
    if (trimmed == QString::fromUtf8(preset.label) || trimmed == QString::fromUtf8(preset.field) ||
        trimmed == QString::fromUtf8(preset.name)) {
      return PartSizeRequest{QString::fromUtf8(preset.name)};
    }
  }
  static const QRegularExpression size(QStringLiteral("^([0-9]+(?:[.,][0-9]+)?)\\s*([KMGT])(I?B)?$"),
                                       QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = size.match(trimmed);
  if (!match.hasMatch()) return std::nullopt;
  QString number = match.captured(1);
  if (number.contains(',') && decimalSeparator != ',') return std::nullopt;
  number.replace(',', '.');
  const QString suffix = match.captured(3).toUpper();
  const double base = suffix == QStringLiteral("B") ? 1000.0 : 1024.0;
  const double bytes = std::floor(number.toDouble() * std::pow(base, PowerOf(match.captured(2)[0])));
  return PartSizeRequest{{}, bytes};
}
