// Talhaz: splits a file into fragments and joins them back, through the
// Tessik component found in the component registry.
#include "close_on_signals.h"
#include "form1.h"
#include "hosted_control.h"
#include "window_text.h"

#include <platform/file_rules.h>
#include <platform/translations.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace {

constexpr char kHelpText[] =
    "Utilização: Talhaz [--] [FICHEIRO]\n"
    "            Talhaz --help | --version\n"
    "Divide um ficheiro em fragmentos numerados (FICHEIRO.1, FICHEIRO.2, ...) e\n"
    "junta-os de novo, byte a byte. Os argumentos, unidos por um espaço, dão o\n"
    "nome do ficheiro que a janela carrega ao abrir; depois de \"--\" nenhum é\n"
    "uma opção.\n"
    "  --help     mostra esta ajuda e sai\n"
    "  --version  mostra a versão e sai\n"
    "Mais em: man Talhaz\n";

// Writes `text` to standard output: the exit status, 0 when all of it got
// there.
int Print(const char* text) {
  if (std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0) return 0;
  std::perror("Talhaz: standard output");
  return 1;
}

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
  // Only a first argument of exactly "--help" or "--version" is an option,
  // answered before Qt starts, so without a display. After "--" every
  // argument is part of the file name, and Qt is not shown them either.
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (first == "--help") return Print(kHelpText);
  if (first == "--version") return Print("Talhaz " PROGRAM_VERSION "\n");
  const bool endOfOptions = first == "--";
  std::vector<QByteArray> fileArguments;
  if (endOfOptions) fileArguments.assign(argv + 2, argv + argc);
  int qtArgc = endOfOptions ? 1 : argc;

  platform::ReportFileSizeLimitAsFailure();
  QApplication application(qtArgc, argv);
  if (!endOfOptions) fileArguments.assign(argv + 1, argv + qtArgc);  // Qt's own options taken out
  platform::InstallQtTranslations();
  InstallButtonTexts();
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
  const CloseOnSignals closeOnSignals(*form);
  form->Start(fileArguments);
  return QApplication::exec();
}
