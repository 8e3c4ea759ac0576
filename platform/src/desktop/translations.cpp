#include <platform/translations.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace platform {

void InstallQtTranslations(const std::string& localeName) {
  const QLocale locale =
      localeName.empty() ? QLocale::system() : QLocale(QString::fromStdString(localeName));
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  const auto install = [&folder](const QLocale& where, const char* catalog) {
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(where, QString::fromLatin1(catalog), QStringLiteral("_"), folder)) {
      return false;
    }
    return QCoreApplication::installTranslator(translator.release());
  };
  if (install(locale, "qtbase")) return;
  install(QLocale(locale.language(), locale.script(), QLocale::AnyTerritory), "qtbase");
  install(locale, "qt");  // the last installed is asked first
}

}  // namespace platform
