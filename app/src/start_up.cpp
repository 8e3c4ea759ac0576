// Start-up with a file argument: the window shows, then the file named on
// the command line is read through as a check and, when that succeeds,
// loaded into the window ready for a join or a split.
#include "form1.h"

#include "progress_window.h"
#include "window_text.h"

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kCheckChunkBytes = std::size_t{1} << 20;

// Reads the file at `path` from its start to its end and keeps nothing,
// showing the progress in `window` after each chunk. False when the user
// cancelled. Raises the file's runtime error when it cannot be opened or
// read, error 75 for anything but a regular file (a FIFO, a device, a
// folder: none has an end to read to) and error 62 when it ends before the
// length it had when opened.
bool ReadThrough(const std::string& path, ProgressWindow& window) {
  // Opened without waiting: a FIFO with no writer would hold the open for ever.
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) throw platform::FileError(errno, path);
  const platform::File file = platform::File::Opened(descriptor);
  struct stat status {};
  if (fstat(file.descriptor(), &status) != 0) throw platform::FileError(errno, path);
  if (!S_ISREG(status.st_mode)) {
    throw platform::RuntimeError(platform::ErrorNumber::PathFileAccessError, path);
  }
  const auto length = static_cast<double>(status.st_size);
  std::vector<char> chunk(kCheckChunkBytes);
  std::int64_t total = 0;
  for (;;) {
    const ssize_t count = read(file.descriptor(), chunk.data(), chunk.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw platform::FileError(errno, path);
    if (count == 0) break;
    total += count;
    if (window.Update(static_cast<double>(total), std::max(length, static_cast<double>(total)))) {
      return false;
    }
  }
  if (total < status.st_size) {
    throw platform::RuntimeError(platform::ErrorNumber::InputPastEndOfFile, path);
  }
  return true;
}

}  // namespace

void Form1::Start(const std::vector<QByteArray>& arguments) {
  show();
  QTimer::singleShot(0, this, [this, arguments] {
    // An argument that is not valid text would come back from the window's
    // text as another name, and so load another file: it is refused instead.
    QStringList texts;
    for (const QByteArray& argument : arguments) {
      if (QFile::encodeName(QFile::decodeName(argument)) != argument) {
        return ReportLoadFailure(platform::RuntimeError(
            platform::ErrorNumber::BadFileNameOrNumber, argument.toStdString()));
      }
      texts.append(QFile::decodeName(argument));
    }
    Form_Load(texts.join(QLatin1Char(' ')));
  });
}

void Form1::Form_Load(const QString& argumentText) {
  if (argumentText.isEmpty()) return;
  QString path = argumentText;
  if (argumentText.startsWith(QLatin1Char('"'))) {
    // Both ends go, whatever the last character is; a lone quote names nothing.
    const qsizetype length = argumentText.size() - 2;
    if (length < 0) return;
    path = argumentText.mid(1, length);
  }
  LoadFileArgument(path);
}

void Form1::ReportLoadFailure(const platform::RuntimeError& error) {
  if (error.number() == static_cast<std::int32_t>(platform::ErrorNumber::InputPastEndOfFile)) {
    ShowBox(QStringLiteral("Impossivel abrir ficheiro especificado!"),
            platform::MessageBoxStyle::Ok, QStringLiteral("Erro 62"));
  } else {
    ShowBox(QString::fromStdString(error.description()), platform::MessageBoxStyle::Exclamation,
            QStringLiteral("Erro %1").arg(error.number()));
  }
}

void Form1::LoadFileArgument(const QString& path) {
  bool read = false;
  try {
    WithProgress(QStringLiteral("A ler - ") + QFileInfo(path).fileName(),
                 [&] { read = ReadThrough(PathBytes(path), *progress_); });
  } catch (const platform::RuntimeError& error) {
    ReportLoadFailure(error);
    return;
  }
  if (!read) return;
  Text1->setText(path);  // which names the output and the caption
  Command4->setEnabled(true);
  Command5->setEnabled(true);
}
