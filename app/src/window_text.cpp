#include "window_text.h"

#include <platform/conversions.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

char DecimalSeparator() { return QLocale().decimalPoint() == QStringLiteral(",") ? ',' : '.'; }

std::string PathBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

namespace {

// The most fragments a set holds.
constexpr int kMostFragments = 32766;

}  // namespace

QString OutputName(const QString& inputPath) {
  static const QRegularExpression fragmentEnding(QStringLiteral("^(.+)\\.([1-9][0-9]{0,4})$"));
  const QString checksumEnding = QStringLiteral(".sha256");
  if (inputPath.endsWith(checksumEnding)) return inputPath.chopped(checksumEnding.size());
  const QRegularExpressionMatch match = fragmentEnding.match(inputPath);
  if (!match.hasMatch() || match.captured(2).toInt() > kMostFragments) return inputPath;
  const QString base = match.captured(1);
  const QString first = base + QStringLiteral(".1");
  return first == inputPath || QFileInfo(first).isFile() ? base : inputPath;
}

QString Kilobytes(double value) {
  return QString::fromStdString(platform::NumberToText(value, DecimalSeparator())) +
         QStringLiteral(" kb");
}

platform::MessageBoxAnswer ShowBox(const QString& text, platform::MessageBoxStyle style,
                                   const QString& title) {
  return platform::ShowMessageBox(text.toStdString(), style, title.toStdString());
}

namespace {

// Answers for the texts that name the standard buttons, and for nothing else,
// so the catalogs of the user's language still serve the rest.
class ButtonTexts : public QTranslator {
 public:
  using QTranslator::QTranslator;

  bool isEmpty() const override { return false; }

  QString translate(const char* context, const char* sourceText, const char*, int) const override {
    if (qstrcmp(context, "QPlatformTheme") != 0) return {};
    if (qstrcmp(sourceText, "&Yes") == 0) return QStringLiteral("&Sim");
    if (qstrcmp(sourceText, "&No") == 0) return QStringLiteral("&Não");
    return {};
  }
};

}  // namespace

void InstallButtonTexts() {
  // The last installed is asked first.
  QCoreApplication::installTranslator(new ButtonTexts(QCoreApplication::instance()));
}
