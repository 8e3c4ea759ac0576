#include <platform/message_box.h>

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QThread>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kLogVariable = "MESSAGE_BOX_LOG";
constexpr const char* kAnswerVariable = "MESSAGE_BOX_ANSWER";

// What a box closed without a choice answers: No for a question, so that
// nothing is done that the user did not agree to.
MessageBoxAnswer DefaultAnswer(MessageBoxStyle style) {
  return style == MessageBoxStyle::YesNoQuestion ? MessageBoxAnswer::No : MessageBoxAnswer::Ok;
}

// A logged box's answer: Yes to a question only when MESSAGE_BOX_ANSWER holds
// Yes's number.
MessageBoxAnswer LoggedAnswer(MessageBoxStyle style) {
  const char* answer = std::getenv(kAnswerVariable);
  const bool yes = answer != nullptr &&
                   answer == std::to_string(static_cast<int>(MessageBoxAnswer::Yes));
  return style == MessageBoxStyle::YesNoQuestion && yes ? MessageBoxAnswer::Yes
                                                        : DefaultAnswer(style);
}

// The log file named by MESSAGE_BOX_LOG; null when boxes are not logged.
const char* MessageBoxLogPath() {
  const char* path = std::getenv(kLogVariable);
  return path != nullptr && *path != '\0' ? path : nullptr;
}

// `text` with each line break (CR LF or LF) written as the two characters
// "\n", so that one box stays one line of the log.
std::string EscapeLineBreaks(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') {
      escaped += "\\n";
    } else {
      escaped += text[i];
    }
  }
  return escaped;
}

// Writes all of `bytes` to `fd`; false when the descriptor refused some.
bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Appends the box to the log as one line in a single write, so that boxes
// from concurrent writers never interleave; false when that failed.
bool AppendToLog(const char* logPath, std::string_view text, MessageBoxStyle style,
                 std::string_view title) {
  const std::string line = EscapeLineBreaks(title) + '\t' +
                           std::to_string(static_cast<int>(style)) + '\t' +
                           EscapeLineBreaks(text) + '\n';
  const int fd = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return false;
  ssize_t written;
  do {
    written = write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  const bool closed = close(fd) == 0;
  return closed && written == static_cast<ssize_t>(line.size());
}

void WriteToStandardError(std::string_view text, std::string_view title) {
  std::string line;
  line.append(title).append(": ").append(text).append("\n");
  WriteAll(STDERR_FILENO, line);  // nowhere left to report a failure to
}

QMessageBox::Icon IconOf(MessageBoxStyle style) {
  switch (style) {
    case MessageBoxStyle::Critical: return QMessageBox::Critical;
    case MessageBoxStyle::Exclamation: return QMessageBox::Warning;
    case MessageBoxStyle::YesNoQuestion: return QMessageBox::Question;
    case MessageBoxStyle::Ok: break;
  }
  return QMessageBox::NoIcon;
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A question's buttons are named in the user's language, as every Qt text.
MessageBoxAnswer ShowModalBox(std::string_view text, MessageBoxStyle style, std::string_view title) {
  const bool question = style == MessageBoxStyle::YesNoQuestion;
  QMessageBox box(IconOf(style), ToQString(title),
                  ToQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);  // a file name never turns into markup
  if (question) box.setDefaultButton(QMessageBox::No);
  box.exec();
  if (!question) return MessageBoxAnswer::Ok;
  return box.clickedButton() == box.button(QMessageBox::Yes) ? MessageBoxAnswer::Yes
                                                              : MessageBoxAnswer::No;
}

// Widgets live on the application's thread only; a box asked for elsewhere
// goes to standard error rather than crash the window system.
bool CanShowWidgetsHere() {
  return HasWindowSystem() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

bool HasWindowSystem() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

MessageBoxAnswer ShowMessageBox(std::string_view text, MessageBoxStyle style,
                                std::string_view title) {
  if (const char* logPath = MessageBoxLogPath()) {
    if (AppendToLog(logPath, text, style, title)) return LoggedAnswer(style);
    WriteToStandardError(text, title);  // a box is never lost silently
    return DefaultAnswer(style);
  }
  if (CanShowWidgetsHere()) return ShowModalBox(text, style, title);
  WriteToStandardError(text, title);
  return DefaultAnswer(style);
}

}  // namespace platform
