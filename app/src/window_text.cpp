#include "window_text.h"

#include <platform/conversions.h>

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

char DecimalSeparator() { return QLocale().decimalPoint() == QStringLiteral(",") ? ',' : '.'; }

std::string PathBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

QString OutputName(const QString& inputPath) {
  return inputPath.endsWith(QStringLiteral(".1")) ? inputPath.chopped(2) : inputPath;
}

QString Kilobytes(double value) {
  return QString::fromStdString(platform::NumberToText(value, DecimalSeparator())) +
         QStringLiteral(" kb");
}

void ShowBox(const QString& text, platform::MessageBoxStyle style, const QString& title) {
  platform::ShowMessageBox(text.toStdString(), style, title.toStdString());
}

void InstallQtTranslations(const QLocale& locale) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  const auto install = [&folder](const QLocale& where, const char* catalog) {
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(where, QString::fromLatin1(catalog), QStringLiteral("_"), folder))
      return false;
    return QCoreApplication::installTranslator(translator.release());
  };
  if (install(locale, "qtbase")) return;
  install(QLocale(locale.language(), locale.script(), QLocale::AnyTerritory), "qtbase");
  install(locale, "qt");  // the last installed is asked first
}
