// The six buttons. Success is reported only after the component says the work
// was done; a failure it detects itself has already been shown in its own box.
#include "form1.h"

#include "window_text.h"

#include <platform/conversions.h>
#include <platform/desktop_shell.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The dispatch identifiers of FileSplit's members, fixed by the component.
constexpr platform::DispatchId kDispidInputFile = 0x68030002;
constexpr platform::DispatchId kDispidOutputFile = 0x68030001;
constexpr platform::DispatchId kDispidSubFilesNumber = 0x68030000;
constexpr platform::DispatchId kDispidSplit = 0x60030003;
constexpr platform::DispatchId kDispidJoin = 0x60030004;
constexpr platform::DispatchId kDispidVerifiedWith = 0x6803000B;

using platform::MessageBoxStyle;

// The failure box of a command: the error's description, titled with its number.
void ShowFailure(const platform::RuntimeError& error) {
  ShowBox(QString::fromStdString(error.description()), MessageBoxStyle::Critical,
          QStringLiteral("Erro n: %1").arg(error.number()));
}

// Tells the user what is missing before anything runs.
void ShowMissing(const char* text) {
  ShowBox(QString::fromUtf8(text), MessageBoxStyle::Exclamation, kProgramTitle);
}

void Put(platform::Dispatch& control, platform::DispatchId id, platform::Variant value) {
  platform::Variant arguments[] = {std::move(value)};
  platform::InvokeOrRaise(control, id, platform::InvokeKind::PropertyPut, arguments);
}

// Shows the busy cursor for as long as it lives.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

std::int16_t PartsOf(const QLineEdit* field) {
  return platform::PartsFromText(field->text().toStdString(), DecimalSeparator());
}

}  // namespace

void Form1::PutProperties(std::int16_t parts) {
  Put(*split_, kDispidInputFile, PathBytes(Text1->text()));
  Put(*split_, kDispidOutputFile, PathBytes(Text2->text()));
  Put(*split_, kDispidSubFilesNumber, parts);
}

QString Form1::VerificationLine() {
  const std::string checksumFile =
      platform::InvokeOrRaise(*split_, kDispidVerifiedWith, platform::InvokeKind::PropertyGet)
          .ToText();
  if (checksumFile.empty()) return {};
  const QString name = QFile::decodeName(QByteArray::fromStdString(checksumFile));
  return QStringLiteral("\nVerificado com ") + QFileInfo(name).fileName();
}

bool Form1::CallOperation(platform::DispatchId id) {
  const BusyCursor busy;
  return platform::InvokeOrRaise(*split_, id, platform::InvokeKind::Method).ToBoolean();
}

// "...": choose the input file; the output is derived from it.
void Form1::Command1_Click() {
  cd_.ShowOpen(this);
  Text1->setText(cd_.FileName());
  Text2->setText(OutputName(Text1->text()));
  Command4->setEnabled(true);
  Command5->setEnabled(true);
}

// "...": choose the output file.
void Form1::Command2_Click() {
  cd_.ShowSave(this);
  Text2->setText(cd_.FileName());
}

// "Fechar".
void Form1::Command3_Click() { close(); }

// "Juntar": rebuilds the output file from its fragments.
void Form1::Command4_Click() {
  try {
    if (Text2->text().isEmpty()) return ShowMissing("Indique o ficheiro a criar.");
    PutProperties(PartsOf(Text3));
    if (!CallOperation(kDispidJoin)) return;
    ShowBox(QStringLiteral("Junção Completa!") + VerificationLine(), MessageBoxStyle::Ok,
            kProgramTitle);
    Command6->setEnabled(true);
  } catch (const platform::RuntimeError& error) {
    ShowFailure(error);
  }
}

// "Dividir": cuts the input file into the number of parts typed.
void Form1::Command5_Click() {
  try {
    const std::int16_t parts = PartsOf(Text3);
    if (Text1->text().isEmpty()) return ShowMissing("Indique o ficheiro a dividir.");
    if (parts < 2) return ShowMissing("Indique pelo menos 2 partes.");
    PutProperties(parts);
    if (!CallOperation(kDispidSplit)) return;
    ShowBox(QStringLiteral("Divisão Completa!"), MessageBoxStyle::Ok, kProgramTitle);
  } catch (const platform::RuntimeError& error) {
    ShowFailure(error);
  }
}

// "Abrir Ficheiro": the desktop opens the output file; whether it can is
// the desktop's business.
void Form1::Command6_Click() {
  try {
    platform::OpenWithDesktop(PathBytes(Text2->text()));
  } catch (const platform::RuntimeError&) {
  }
}
