#include "window_text.h"

#include "file_split_ids.h"

#include <platform/conversions.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTranslator>

char DecimalSeparator() { return QLocale().decimalPoint() == QStringLiteral(",") ? ',' : '.'; }

std::string PathBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

QString OutputName(platform::Dispatch& control, const QString& inputPath) {
  platform::Variant name[] = {platform::Variant(PathBytes(inputPath))};
  const std::string setName =
      platform::InvokeOrRaise(control, kDispidSetNameOf, platform::InvokeKind::Method, name).ToText();
  return QFile::decodeName(QByteArray::fromStdString(setName));
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
