#include "part_size.h"

#include <QRegularExpression>

#include <array>
#include <cmath>

namespace {

constexpr std::array<PartSizePreset, 6> kPresets = {{
    {"Pen FAT32 (4 GiB)", "FAT32"},
    {"CD (700 MB)", "CD"},
    {"DVD (4,7 GB)", "DVD"},
    {"DVD DL (8,5 GB)", "DVD DL"},
    {"Blu-ray (25 GB)", "BD"},
    {"Correio (25 MB)", "mail"},
}};

// The power of a unit's letter: K 1, M 2, G 3, T 4.
int PowerOf(QChar letter) { return int(QStringLiteral("KMGT").indexOf(letter.toUpper())) + 1; }

}  // namespace

std::span<const PartSizePreset> PartSizePresets() { return kPresets; }

std::optional<PartSizeRequest> PartSizeFromText(const QString& text, char decimalSeparator) {
  const QString trimmed = text.trimmed();
  for (const PartSizePreset& preset : kPresets) {
    if (trimmed == QString::fromUtf8(preset.label) || trimmed == QString::fromUtf8(preset.name)) {
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
