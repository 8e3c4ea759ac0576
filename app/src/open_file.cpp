// "Abrir Ficheiro": the file the last join made, offered while it is there
// and opened with the desktop's default application; the user hears when it
// is gone or when no application could open it.
#include "form1.h"

#include "window_text.h"

#include <platform/desktop_shell.h>

#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>

#include <unistd.h>

namespace {

void ShowExclamation(const QString& text) {
  ShowBox(text, platform::MessageBoxStyle::Exclamation, kProgramTitle);
}

}  // namespace

void Form1::RememberJoinedFile(const QString& path) {
  if (!joinedWatch_.files().isEmpty()) joinedWatch_.removePaths(joinedWatch_.files());
  joinedFile_ = path;
  UpdateCommand6();
}

// A file that was replaced or came back is watched again from here.
void Form1::UpdateCommand6() {
  const bool there = !joinedFile_.isEmpty() && QFileInfo(joinedFile_).isFile();
  if (there && !joinedWatch_.files().contains(joinedFile_)) joinedWatch_.addPath(joinedFile_);
  Command6->setEnabled(there && Text2->text() == joinedFile_);
}

bool Form1::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) UpdateCommand6();
  return QWidget::event(event);
}

// The file may have gone since the button was last checked.
void Form1::Command6_Click() {
  const QString name = QFileInfo(Text2->text()).fileName();
  UpdateCommand6();
  if (!Command6->isEnabled()) {
    return ShowExclamation(QStringLiteral("O ficheiro %1 já não existe.").arg(name));
  }
  try {
    WatchOpener(platform::OpenWithDesktopWatched(PathBytes(Text2->text())), name);
  } catch (const platform::RuntimeError& error) {
    ShowExclamation(QStringLiteral("Não foi possível abrir %1: %2")
                        .arg(name, QString::fromStdString(error.description())));
  }
}

// An opener that ended without a status (killed) says nothing either way.
void Form1::WatchOpener(int descriptor, const QString& name) {
  auto* answer = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
  connect(answer, &QObject::destroyed, [descriptor] { ::close(descriptor); });
  connect(answer, &QSocketNotifier::activated, this, [answer, descriptor, name] {
    answer->setEnabled(false);
    answer->deleteLater();
    if (platform::OpenerExitStatus(descriptor).value_or(0) != 0) {
      ShowExclamation(QStringLiteral("Nenhuma aplicação conseguiu abrir %1.").arg(name));
    }
  });
}
