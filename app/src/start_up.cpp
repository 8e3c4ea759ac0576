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
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Small enough that a stop is seen soon on the slowest disk.
constexpr std::size_t kCheckChunkBytes = std::size_t{64} << 10;
constexpr std::chrono::milliseconds kWindowBeat{25};

// What the reading thread shares with the window's.
struct Reading {
  std::atomic<std::int64_t> length{0};
  std::atomic<std::int64_t> read{0};
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = false;
  bool wholeRead = false;  // else stopped
  std::exception_ptr failure;
};

// Reads the file at `path` from its start to its end and keeps nothing,
// counting in `reading` what it read, until `stop` is asked. Raises the
// file's runtime error when it cannot be opened or read, error 75 for
// anything but a regular file (a FIFO, a device, a folder: none has an end
// to read to) and error 62 when it ends before the length it had when opened.
bool ReadAll(const std::string& path, Reading& reading, const std::stop_token& stop) {
  // Opened without waiting: a FIFO with no writer would hold the open for ever.
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) throw platform::FileError(errno, path);
  const platform::File file = platform::File::Opened(descriptor);
  struct stat status {};
  if (fstat(file.descriptor(), &status) != 0) throw platform::FileError(errno, path);
  if (!S_ISREG(status.st_mode)) {
    throw platform::RuntimeError(platform::ErrorNumber::PathFileAccessError, path);
  }
  reading.length = status.st_size;
  std::vector<char> chunk(kCheckChunkBytes);
  for (;;) {
    if (stop.stop_requested()) return false;
    const ssize_t count = read(file.descriptor(), chunk.data(), chunk.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw platform::FileError(errno, path);
    if (count == 0) break;
    reading.read += count;
  }
  if (reading.read < status.st_size) {
    throw platform::RuntimeError(platform::ErrorNumber::InputPastEndOfFile, path);
  }
  return true;
}

// Reads the file at `path` through on a thread of its own, while this
// thread shows the progress in `window` and so keeps the window served,
// however slow the disk. False when the user cancelled; raises what the
// reading raised.
bool ReadThrough(const std::string& path, ProgressWindow& window) {
  Reading reading;
  std::jthread reader([&](const std::stop_token& stop) {
    bool whole = false;
    std::exception_ptr failure;
    try {
      whole = ReadAll(path, reading, stop);
    } catch (...) {
      failure = std::current_exception();
    }
    const std::lock_guard lock(reading.mutex);
    reading.wholeRead = whole;
    reading.failure = failure;
    reading.finished = true;
    reading.ended.notify_all();
  });
  std::unique_lock lock(reading.mutex);
  while (!reading.ended.wait_for(lock, kWindowBeat, [&] { return reading.finished; })) {
    lock.unlock();
    const auto read = static_cast<double>(reading.read.load());
    if (window.Update(read, std::max(static_cast<double>(reading.length.load()), read))) {
      reader.request_stop();
    }
    lock.lock();
  }
  if (reading.failure) std::rethrow_exception(reading.failure);
  return reading.wholeRead;
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
