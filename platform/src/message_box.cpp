#include <platform/message_box.h>

#include <platform/component/activation.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kLogVariable = "MESSAGE_BOX_LOG";
constexpr const char* kAnswerVariable = "MESSAGE_BOX_ANSWER";
// A process can show windows only when it has the widget toolkit loaded; the
// desktop part of the platform, which shows the boxes there, is then loaded
// from the folder of this library, by its path (the loader's search path
// would be the one of whoever intercepts dlopen, such as a sanitizer).
constexpr const char* kWidgetToolkit = "libQt6Widgets.so.6";
constexpr const char* kDesktopLibrary = "libtalhaz-desktop.so";

std::atomic<MessageBoxPresenter> presenter{nullptr};

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

// The presenter of the desktop part, loading that part when the process
// has the widget toolkit but not it yet (a host of its own making that
// runs a Qt application); null in a process that cannot show windows.
MessageBoxPresenter DesktopPresenter() {
  if (const MessageBoxPresenter installed = presenter.load()) return installed;
  if (!WidgetToolkitLoaded()) return nullptr;
  const std::string self = ModulePathOf(reinterpret_cast<const void*>(&SetMessageBoxPresenter));
  const std::string desktop = self.substr(0, self.find_last_of('/') + 1) + kDesktopLibrary;
  // Loading it installs its presenter; it stays loaded, as the toolkit does.
  if (dlopen(desktop.c_str(), RTLD_NOW | RTLD_GLOBAL) == nullptr) return nullptr;
  return presenter.load();
}

}  // namespace

bool WidgetToolkitLoaded() { return dlopen(kWidgetToolkit, RTLD_LAZY | RTLD_NOLOAD) != nullptr; }

void SetMessageBoxPresenter(MessageBoxPresenter show) { presenter.store(show); }

MessageBoxAnswer ShowMessageBox(std::string_view text, MessageBoxStyle style,
                                std::string_view title) {
  if (const char* logPath = MessageBoxLogPath()) {
    if (AppendToLog(logPath, text, style, title)) return LoggedAnswer(style);
    WriteToStandardError(text, title);  // a box is never lost silently
    return DefaultAnswer(style);
  }
  if (const MessageBoxPresenter show = DesktopPresenter()) {
    if (const std::optional<MessageBoxAnswer> answer = show(text, style, title)) return *answer;
  }
  WriteToStandardError(text, title);
  return DefaultAnswer(style);
}

}  // namespace platform
