// Start-up with a file argument: the file named on the command line is read
// through as a check and, when that succeeds, loaded into the window ready
// for a join or a split.
#include "form1.h"

#include "window_text.h"

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <vector>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kCheckChunkBytes = std::size_t{1} << 20;

// Reads the file at `path` from its start to its end and keeps nothing,
// servicing the window messages between chunks. Raises the file's runtime
// error when it cannot be opened or read, and error 62 when it ends before
// the length it had when opened.
void ReadThrough(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) throw platform::FileError(errno, path);
  const platform::File file = platform::File::Opened(descriptor);
  struct stat status {};
  if (fstat(file.descriptor(), &status) != 0) throw platform::FileError(errno, path);
  std::vector<char> chunk(kCheckChunkBytes);
  std::int64_t total = 0;
  for (;;) {
    const ssize_t count = read(file.descriptor(), chunk.data(), chunk.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw platform::FileError(errno, path);
    if (count == 0) break;
    total += count;
    QCoreApplication::processEvents();
  }
  if (S_ISREG(status.st_mode) && total < status.st_size) {
    throw platform::RuntimeError(platform::ErrorNumber::InputPastEndOfFile, path);
  }
}

}  // namespace

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
  try {
    ReadThrough(PathBytes(path));
  } catch (const platform::RuntimeError& error) {
    ReportLoadFailure(error);
    return;
  }
  setWindowTitle(QStringLiteral("Talhaz - ") + path);
  Text1->setText(path);
  Text2->setText(OutputName(Text1->text()));
  Command4->setEnabled(true);
  Command5->setEnabled(true);
}
