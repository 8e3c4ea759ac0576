// The buttons but "Abrir Ficheiro" (open_file.cpp). Success is reported only
// after the component says the work was done; a failure it detects itself has
// already been shown in its own box, and a cancel the user asked for needs no
// box at all.
#include "file_split_ids.h"
#include "form1.h"

#include "part_size.h"
#include "progress_window.h"
#include "window_text.h"

#include <platform/conversions.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

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

// Shows the busy cursor for as long as it lives: the pointer of a program
// that works but still answers.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

std::int16_t PartsOf(const QLineEdit* field) {
  return platform::PartsFromText(field->text().toStdString(), DecimalSeparator());
}

constexpr auto kOverflow = static_cast<std::int32_t>(platform::ErrorNumber::Overflow);
constexpr std::int32_t kMostParts = std::numeric_limits<std::int16_t>::max();
// The most fragments a set holds.
constexpr std::int32_t kMostFragments = kMostParts - 1;
constexpr std::int32_t kBelowLeastParts = std::numeric_limits<std::int16_t>::min() - 1;

// True when the field holds a negative number, however large.
bool HoldsNegative(const QLineEdit* field) {
  try {
    return platform::NumberFromText(field->text().toStdString(), DecimalSeparator()) < 0;
  } catch (const platform::RuntimeError&) {
    return field->text().trimmed().startsWith('-');  // beyond even a double
  }
}

// The parts typed for a split, read as PartsOf reads them; a number past
// what they hold comes back just beyond it, on its own side, so that too
// few and too many stay apart.
std::int32_t SplitPartsOf(const QLineEdit* field) {
  try {
    return PartsOf(field);
  } catch (const platform::RuntimeError& error) {
    if (error.number() != kOverflow) throw;
    return HoldsNegative(field) ? kBelowLeastParts : kMostParts + 1;
  }
}

// True for the error of work the user cancelled, when nothing more is to
// be said (a clean-up that failed adds its words to the description).
bool IsPlainCancel(const platform::RuntimeError& error) {
  const auto cancelled = static_cast<std::int32_t>(platform::ErrorNumber::UserInterrupt);
  return error.number() == cancelled && error.description() == platform::DescribeError(cancelled);
}

QString FileNameOf(const QLineEdit* field) { return QFileInfo(field->text()).fileName(); }

// True when the user agrees to replace the file at the output's name.
bool AgreesToReplace(const QLineEdit* output) {
  return ShowBox(QStringLiteral("%1 já existe. Substituir?").arg(FileNameOf(output)),
                 MessageBoxStyle::YesNoQuestion,
                 kProgramTitle) == platform::MessageBoxAnswer::Yes;
}

// Tells the user that the input cannot be cut into that many parts, and the
// most it can be cut into: the component's answer for the input, or the most
// any split takes when it has none.
void ShowTooManyParts(platform::Dispatch& split, const QLineEdit* input) {
  std::int32_t largest = kMostParts;
  try {
    Put(split, kDispidInputFile, PathBytes(input->text()));
    largest = Get(split, kDispidLargestSubFilesNumber)
                  .ToInteger16();
  } catch (const platform::RuntimeError&) {
  }
  ShowBox(QStringLiteral("São demasiadas partes para %1: indique no máximo %2.")
              .arg(FileNameOf(input), QString::number(largest)),
          MessageBoxStyle::Exclamation, kProgramTitle);
}

}  // namespace

void Form1::PutProperties(std::optional<std::int16_t> parts) {
  Put(*split_, kDispidInputFile, PathBytes(Text1->text()));
  Put(*split_, kDispidOutputFile, PathBytes(Text2->text()));
  if (parts) Put(*split_, kDispidSubFilesNumber, *parts);
  const QString folder = SetFolder();
  Put(*split_, kDispidSetFolder, folder == QFileInfo(Text1->text()).absolutePath() ? "" : PathBytes(folder));
}

QString Form1::SetFolder() const {
  const QString input = QFileInfo(Text1->text()).absolutePath();
  return Text2->text().isEmpty() ? input : QFileInfo(Text2->text()).absolutePath();
}

std::optional<double> Form1::PartSizeLimitOf() {
  const std::optional<PartSizeRequest> request = PartSizeFromText(Text3->text(), DecimalSeparator());
  if (!request) return std::nullopt;
  if (request->preset.isEmpty()) return request->bytes;
  platform::Variant name[] = {platform::Variant(request->preset.toStdString())};
  return platform::InvokeOrRaise(*split_, kDispidPresetLimit, platform::InvokeKind::Method, name).ToDouble();
}

void Form1::SplitToFit(double limit) {
  PutProperties(std::nullopt);
  Put(*split_, kDispidPartSizeLimit, limit);
  try {
    const std::int32_t parts =
        Get(*split_, kDispidFitPartsCount).ToInteger32();
    PutRecovery(parts);
    if (!CallOperation(kDispidSplitToFit, QStringLiteral("A dividir - ") + FileNameOf(Text1))) return;
    SplitDone(parts);
  } catch (const platform::RuntimeError& error) {
    if (error.number() != kOverflow) throw;
    ShowBox(QStringLiteral("%1 precisa de mais de %2 partes de %3: indique um tamanho maior.")
                .arg(FileNameOf(Text1), QString::number(kMostFragments), Text3->text().trimmed()),
            MessageBoxStyle::Exclamation, kProgramTitle);
  }
}

// A set written into another folder keeps the input's name there; the output
// field is made to name it, so that "Juntar" finds the set just written.
void Form1::SplitDone(std::int32_t parts) {
  const QString folder = SetFolder();
  if (folder != QFileInfo(Text1->text()).absolutePath()) Text2->setText(folder + '/' + FileNameOf(Text1));
  ShowBox(QStringLiteral("Divisão Completa!") + SplitLine(parts), MessageBoxStyle::Ok, kProgramTitle);
}

QString Form1::SplitLine(std::int32_t parts) {
  const QString folder = SetFolder();
  const QString checksumFile = QFileInfo(Text1->text()).fileName() + QStringLiteral(".sha256");
  QString line = parts == 1 ? QStringLiteral("\n1 parte") : QStringLiteral("\n%1 partes").arg(parts);
  line += QStringLiteral(" em ") + folder;
  if (QFileInfo(QDir(folder), checksumFile).isFile()) line += QStringLiteral(", verificáveis com ") + checksumFile;
  const QString index = QFileInfo(Text1->text()).fileName() + QStringLiteral(".par2");
  if (recovery_ > 0 && QFileInfo(QDir(folder), index).isFile()) {
    line += QStringLiteral(", recuperáveis com ") + index;
  }
  return line;
}

void Form1::PutRecovery(std::int32_t parts) {
  Put(*split_, kDispidRecovery, static_cast<std::int16_t>(std::clamp(recovery_, 0, std::max(parts, 0))));
}

QString Form1::RebuiltLines() {
  const QString rebuilt = QFile::decodeName(QByteArray::fromStdString(Get(*split_, kDispidRebuilt).ToText()));
  if (rebuilt.isEmpty()) return {};
  const QString index = FileNameOf(Text2) + QStringLiteral(".par2");
  QString lines;
  for (const QString& name : rebuilt.split('\n')) lines += QStringLiteral("\n%1 reconstruído com %2").arg(name, index);
  return lines;
}

QString Form1::VerificationLine() {
  const std::string checksumFile =
Get(*split_, kDispidVerifiedWith).ToText();
  if (checksumFile.empty()) return {};
  const QString name = QFile::decodeName(QByteArray::fromStdString(checksumFile));
  return QStringLiteral("\nVerificado com ") + QFileInfo(name).fileName();
}

void Form1::ConnectEvents() {
  events_ = std::make_unique<platform::EventConnection>(
      *split_, [this](const platform::MemberInfo& event, std::span<platform::Variant> arguments) {
        if (event.id == kDispidProgress && arguments.size() == 3) Progress(arguments);
      });
}

void Form1::Progress(std::span<platform::Variant> arguments) {
  if (progress_ == nullptr) return;
  const bool cancel = progress_->Update(arguments[0].ToDouble(), arguments[1].ToDouble());
  arguments[2] = platform::Variant(cancel);
}

void Form1::WithProgress(const QString& title, const std::function<void()>& work) {
  // Ends the work's time whichever way it ends: the window goes and a close
  // asked for meanwhile happens.
  struct Ending {
    Form1& form;
    ~Ending() {
      form.progress_ = nullptr;
      if (form.closeWanted_) QTimer::singleShot(0, &form, &QWidget::close);
    }
  };
  ProgressWindow window(this, title);
  progress_ = &window;
  const Ending ending{*this};
  work();
}

bool Form1::CallOperation(platform::DispatchId id, const QString& title) {
  const BusyCursor busy;
  bool done = false;
  try {
    WithProgress(title, [&] {
      done = platform::InvokeOrRaise(*split_, id, platform::InvokeKind::Method).ToBoolean();
    });
  } catch (const platform::RuntimeError& error) {
    if (!IsPlainCancel(error)) throw;
  }
  return done;
}

// "...": choose the input file; the output is derived from it.
void Form1::Command1_Click() {
  cd_.ShowOpen(this);
  TakeInputFile(cd_.FileName());
}

// The output is set even when the input was already there, since the save
// dialog may have changed it since.
void Form1::TakeInputFile(const QString& path) {
  Text1->setText(path);
  Text2->setText(OutputName(*split_, Text1->text()));
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

// "Juntar": rebuilds the output file from its fragments; a file already at
// the output's name is replaced only when the user says so.
void Form1::Command4_Click() {
  try {
    if (Text2->text().isEmpty()) return ShowMissing("Indique o ficheiro a criar.");
    std::optional<std::int16_t> parts;  // a size in the field leaves the component's parts
    if (!PartSizeLimitOf()) parts = PartsOf(Text3);
    // Only a file the user agreed to is replaced: one that comes to the name
    // while the join works is kept, and the join fails.
    const bool replace = QFileInfo(Text2->text()).isFile();
    if (replace && !AgreesToReplace(Text2)) return;
    PutProperties(parts);
    Put(*split_, kDispidReplace, replace);
    RememberJoinedFile({});  // however this join ends, an earlier one's file is not offered
    if (!CallOperation(kDispidJoin, QStringLiteral("A juntar - ") + FileNameOf(Text2))) return;
    RememberJoinedFile(Text2->text());
    ShowBox(QStringLiteral("Junção Completa!") + RebuiltLines() + VerificationLine(), MessageBoxStyle::Ok,
            kProgramTitle);
  } catch (const platform::RuntimeError& error) {
    ShowFailure(error);
  }
}

// "Dividir": cuts the input file into the number of parts typed. More parts
// than the input can be cut into (error 6 from the split, where the part
// size's rounding would pass the largest set) are told with the most it can.
void Form1::Command5_Click() {
  try {
    if (const std::optional<double> limit = PartSizeLimitOf()) {
      if (Text1->text().isEmpty()) return ShowMissing("Indique o ficheiro a dividir.");
      if (*limit < 1) return ShowMissing("Indique um tamanho de pelo menos 1 byte.");
      return SplitToFit(*limit);
    }
    const std::int32_t parts = SplitPartsOf(Text3);
    if (Text1->text().isEmpty()) return ShowMissing("Indique o ficheiro a dividir.");
    if (parts < 2) return ShowMissing("Indique pelo menos 2 partes.");
    if (parts > kMostParts) return ShowTooManyParts(*split_, Text1);
    PutProperties(static_cast<std::int16_t>(parts));
    const std::int32_t fragments = Get(*split_, kDispidSplitPartsCount).ToInteger32();
    PutRecovery(fragments);
    if (!CallOperation(kDispidSplit, QStringLiteral("A dividir - ") + FileNameOf(Text1))) return;
    SplitDone(fragments);
  } catch (const platform::RuntimeError& error) {
    if (error.number() == kOverflow) return ShowTooManyParts(*split_, Text1);
    ShowFailure(error);
  }
}
