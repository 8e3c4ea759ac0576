#include "window_text.h"

#include <platform/conversions.h>

#include <QFile>
#include <QLocale>

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
