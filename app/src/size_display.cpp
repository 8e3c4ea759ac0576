// The two read-outs: the input file's size and what a split makes of it (the
// size of one part, or how many parts of what size when that differs or the
// parts field holds a size), in units of 1024 bytes, kept current as the
// fields change; the path fields' tooltips, which show their full text; the
// words after the parts field; and what follows the input field however it
// changed (typed, picked or loaded at start-up): the output field and the
// window's caption.
#include "file_split_ids.h"
#include "form1.h"

#include "part_size.h"
#include "window_text.h"

#include <platform/conversions.h>
#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <QLabel>
#include <QLineEdit>

#include <cmath>

namespace {

constexpr double kUnitBytes = 1024.0;
// Label5 for a name that names nothing; Label6 then stays empty.
constexpr QStringView kNoSuchFile = u"o ficheiro não existe";

// True for a failed length query that says nothing is at the name.
bool MeansMissing(const platform::RuntimeError& error) {
  return error.number() == static_cast<std::int32_t>(platform::ErrorNumber::FileNotFound) ||
         error.number() == static_cast<std::int32_t>(platform::ErrorNumber::PathNotFound);
}

// A part size for Label6, in the window's units to two decimals: enough to
// tell it and short enough for the label; a few bytes are not shown as 0.
QString RoundedKilobytes(double bytes) {
  const double rounded = std::round(bytes / kUnitBytes * 100) / 100;
  return Kilobytes(rounded == 0 ? bytes / kUnitBytes : rounded);
}

// "1 parte de 0,5 kb", "3 partes de 813,8 kb".
QString PlanText(std::int32_t parts, double partBytes) {
  return (parts == 1 ? QStringLiteral("1 parte") : QStringLiteral("%1 partes").arg(parts)) +
         QStringLiteral(" de ") + RoundedKilobytes(partBytes);
}

}  // namespace

// Each step runs even when the one before failed.
void Form1::Text1_Change() {
  const QString path = Text1->text();
  std::int64_t length = 0;
  bool missing = false;
  try {
    length = platform::FileLength(PathBytes(path));
  } catch (const platform::RuntimeError& error) {
    // Any other failure, or an empty field, shows 0.
    missing = !path.isEmpty() && MeansMissing(error);
  }
  Label5->setText(missing ? kNoSuchFile.toString()
                          : Kilobytes(static_cast<double>(length) / kUnitBytes));
  if (missing) Label6->clear();
  Text1->setToolTip(path);
  Text2->setText(OutputName(*split_, path));
  const QString title = QString::fromLatin1(kProgramTitle);
  setWindowTitle(path.isEmpty() ? title : title + QStringLiteral(" - ") + path);
  RecomputeSizePerPart();
}

void Form1::Text2_Change() { Text2->setToolTip(Text2->text()); }

// The words after the parts field read on from what it holds: "em 4 partes.",
// "em 700 MB por parte.".
void Form1::Text3_Change() {
  const bool size = PartSizeFromText(Text3->text(), DecimalSeparator()).has_value();
  Label3->setText(size ? QStringLiteral("por parte.") : QStringLiteral("partes."));
  RecomputeSizePerPart();
}

// The size shown in Label5 divided by the number that Text3 starts with.
// Leaves Label6 as it was when there is nothing sensible to show: no file,
// no parts, or numbers beyond what a double holds.
void Form1::RecomputeSizePerPart() {
  if (Label5->text() == kNoSuchFile) return;
  try {
    if (const std::optional<double> limit = PartSizeLimitOf()) return ShowFitOfInput(*limit);
    const double parts = platform::LeadingNumber(Text3->text().toStdString());
    const double dividend = platform::LeadingNumber(Label5->text().toStdString());
    if (parts == 0.0) return;
    Label6->setText(Kilobytes(dividend / parts));
    ShowSplitOfInput();
  } catch (const platform::RuntimeError&) {
  }
}

// When a split into the parts typed makes another number of fragments (a
// short file makes fewer), Label6 says what it makes instead: "3 partes de
// 0 kb". Left as it is when the component has no answer.
void Form1::ShowSplitOfInput() {
  try {
    const std::int16_t parts = platform::PartsFromText(Text3->text().toStdString(), DecimalSeparator());
    Put(*split_, kDispidInputFile, platform::Variant(PathBytes(Text1->text())));
    Put(*split_, kDispidSubFilesNumber, platform::Variant(parts));
    const std::int32_t fragments = Get(*split_, kDispidSplitPartsCount).ToInteger32();
    if (fragments == 0 || fragments == parts) return;
    Label6->setText(PlanText(fragments, Get(*split_, kDispidSplitPartSize).ToDouble()));
  } catch (const platform::RuntimeError&) {
  }
}

// "3 partes de 813,8 kb"; "mais de 32766 partes" when the size is too small
// for the input; empty when the input cannot be measured or the size is 0.
void Form1::ShowFitOfInput(double limit) {
  try {
    Put(*split_, kDispidInputFile, platform::Variant(PathBytes(Text1->text())));
    Put(*split_, kDispidPartSizeLimit, platform::Variant(limit));
    const std::int32_t parts = Get(*split_, kDispidFitPartsCount).ToInteger32();
    Label6->setText(PlanText(parts, Get(*split_, kDispidFitPartSize).ToDouble()));
  } catch (const platform::RuntimeError& error) {
    const bool tooSmall = error.number() == static_cast<std::int32_t>(platform::ErrorNumber::Overflow);
    Label6->setText(tooSmall ? QStringLiteral("mais de 32766 partes") : QString());
  }
}
