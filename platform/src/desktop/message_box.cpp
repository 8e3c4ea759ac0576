// Message boxes as windows, for the processes that run a window system.
// What every process does with a box (the log, standard error) is in the
// platform library; this part installs itself there when it is loaded.
#include <platform/message_box.h>

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QThread>

namespace platform {
namespace {

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
// is not shown here, and goes to standard error rather than crash the
// window system.
std::optional<MessageBoxAnswer> PresentBox(std::string_view text, MessageBoxStyle style,
                                           std::string_view title) {
  if (!HasWindowSystem() || QThread::currentThread() != QCoreApplication::instance()->thread()) {
    return std::nullopt;
  }
  return ShowModalBox(text, style, title);
}

// Installs PresentBox while this library is loaded.
struct PresenterInstallation {
  PresenterInstallation() { SetMessageBoxPresenter(PresentBox); }
  ~PresenterInstallation() { SetMessageBoxPresenter(nullptr); }
} installation;

}  // namespace

bool HasWindowSystem() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace platform
