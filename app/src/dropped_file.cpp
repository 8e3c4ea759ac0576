// Files dropped on the window. One local file is taken as if picked with the
// first "..."; the file dialog keeps the name it had, since it remembers only
// what was chosen in it. Anything else is refused in a short box and changes
// nothing.
#include "form1.h"

#include "window_text.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace {

// Why a drop of `urls` is refused; empty when they name one local file.
QString RefusalOf(const QList<QUrl>& urls) {
  if (urls.size() != 1) return QStringLiteral("Largue um só ficheiro.");
  if (!urls.front().isLocalFile()) return QStringLiteral("Largue um ficheiro deste computador.");
  const QFileInfo dropped(QDir::cleanPath(urls.front().toLocalFile()));
  if (dropped.isDir()) return QStringLiteral("%1 é uma pasta.").arg(dropped.fileName());
  return {};
}

}  // namespace

// Nothing is taken while work runs.
void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (progress_ == nullptr && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

// The file is taken, or the box shown, once the drop has ended, so the
// program the file came from is never kept waiting.
void Form1::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  QTimer::singleShot(0, this, [this, urls] {
    const QString refusal = RefusalOf(urls);
    if (refusal.isEmpty()) return TakeInputFile(urls.front().toLocalFile());
    ShowBox(refusal, platform::MessageBoxStyle::Exclamation, kProgramTitle);
  });
}
