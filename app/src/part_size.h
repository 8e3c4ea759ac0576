#pragma once

#include <QString>

class QLineEdit;

#include <functional>
#include <optional>
#include <span>

// The parts field also takes a size each part must fit: a number with a unit
// ("700 MB", "1,5 GB", "4G") or a medium from the field's menu ("CD").

// A medium the field's menu offers: the menu's text, the short text it
// writes into the narrow field, and the name the component knows its limit by.
struct PartSizePreset {
  const char* label;
  const char* field;
  const char* name;
};

// The media in the order the menu lists them.
std::span<const PartSizePreset> PartSizePresets();

// A size asked for in the parts field: a medium's name for the component's
// PresetLimit, or else a number of bytes.
struct PartSizeRequest {
  QString preset;
  double bytes = 0;
};

// What `text` asks for when it is a size: a medium's menu text, field text or
// name, or
// a number (with `decimalSeparator` or '.') and a unit, blanks allowed between:
// K, M, G, T (also KiB...) are powers of 1024, KB, MB, GB, TB powers of 1000,
// in any letter case. Whole bytes, rounded down. Nothing for any other text,
// which is a number of parts.
std::optional<PartSizeRequest> PartSizeFromText(const QString& text, char decimalSeparator);

// Gives the parts field its menu of media: an arrow at its right, shown while
// the pointer is over the field or the field has the focus (so that a size or
// a medium's name has the whole narrow field the rest of the time), and
// Alt+Down or F4 in the field, as in a drop-down list. Each medium writes its
// short text into the field. Below the media, "Dados de recuperação" offers
// none or 1 to 3 parts' worth of recovery data; `recoveryChosen` is told the
// count picked.
void AttachPresetMenu(QLineEdit* field, const std::function<void(int)>& recoveryChosen);
