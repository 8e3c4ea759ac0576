// Talhaz: splits a file into fragments and joins them back, through the
// Tessik component found in the component registry.
#include "form1.h"
#include "hosted_control.h"
#include "window_text.h"

#include <platform/file_rules.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>

#include <memory>
#include <vector>

namespace {

// Where the component module lies beside this program, in the build tree
// and in an installation alike; its bare file name when it is not there.
QString ModuleBesideProgram() {
  const QString module = LayoutValue(QString::fromLatin1(kWindowLayout), "split", "Module");
  const QFileInfo beside(QCoreApplication::applicationDirPath() + "/../lib/talhaz/" + module);
  return beside.exists() ? beside.canonicalFilePath() : module;
}

void ReportMissingComponent(const platform::RuntimeError& error) {
  const QString progId = LayoutValue(QString::fromLatin1(kWindowLayout), "split", "ProgID");
  ShowBox(QStringLiteral("O Talhaz não pode começar sem o componente %1.\n%2\n"
                         "Registe-o com:\ncomponent register %3")
              .arg(progId, QString::fromStdString(error.what()), ModuleBesideProgram()),
          platform::MessageBoxStyle::Critical, kProgramTitle);
}

}  // namespace

int main(int argc, char** argv) {
  platform::ReportFileSizeLimitAsFailure();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kProgramTitle));
  QIcon icon;
  icon.addFile(QStringLiteral(":/talhaz/talhaz-32.png"));
  icon.addFile(QStringLiteral(":/talhaz/talhaz-16.png"));
  QApplication::setWindowIcon(icon);

  std::unique_ptr<Form1> form;
  try {
    form = std::make_unique<Form1>();
  } catch (const platform::RuntimeError& error) {
    ReportMissingComponent(error);
    return 1;
  }
  form->Start(std::vector<QByteArray>(argv + 1, argv + argc));
  return QApplication::exec();
}
