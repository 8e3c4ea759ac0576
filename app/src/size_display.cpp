// The two read-outs: the input file's size and the size of one part, in
// units of 1024 bytes, kept current as the fields change; the path fields'
// tooltips, which show their full text; and what follows the input field
// however it changed (typed, picked or loaded at start-up): the output
// field and the window's caption.
#include "form1.h"

#include "window_text.h"

#include <platform/conversions.h>
#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <QLabel>
#include <QLineEdit>

namespace {

constexpr double kUnitBytes = 1024.0;
// Label5 for a name that names nothing; Label6 then stays empty.
constexpr QStringView kNoSuchFile = u"o ficheiro não existe";

// True for a failed length query that says nothing is at the name.
bool MeansMissing(const platform::RuntimeError& error) {
  return error.number() == static_cast<std::int32_t>(platform::ErrorNumber::FileNotFound) ||
         error.number() == static_cast<std::int32_t>(platform::ErrorNumber::PathNotFound);
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
  Text2->setText(OutputName(path));
  const QString title = QString::fromLatin1(kProgramTitle);
  setWindowTitle(path.isEmpty() ? title : title + QStringLiteral(" - ") + path);
  RecomputeSizePerPart();
}

void Form1::Text2_Change() { Text2->setToolTip(Text2->text()); }

void Form1::Text3_Change() { RecomputeSizePerPart(); }

// The size shown in Label5 divided by the number that Text3 starts with.
// Leaves Label6 as it was when there is nothing sensible to show: no file,
// no parts, or numbers beyond what a double holds.
void Form1::RecomputeSizePerPart() {
  if (Label5->text() == kNoSuchFile) return;
  try {
    const double parts = platform::LeadingNumber(Text3->text().toStdString());
    const double dividend = platform::LeadingNumber(Label5->text().toStdString());
    if (parts == 0.0) return;
    Label6->setText(Kilobytes(dividend / parts));
  } catch (const platform::RuntimeError&) {
  }
}
