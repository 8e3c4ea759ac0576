#pragma once

#include <platform/component/dispatch.h>
#include <platform/message_box.h>

#include <QString>

#include <string>

// Text helpers shared by the window's handlers.

// The program's title, which boxes without a title of their own carry.
inline constexpr char kProgramTitle[] = "Talhaz";

// The decimal separator of the user's locale: ',' or '.'.
char DecimalSeparator();

// A path as the file system and the component take it: the bytes the field's
// text stands for.
std::string PathBytes(const QString& text);

// The output path for an input path: the file any member of a set rebuilds,
// as the component `control` (FileSplit's SetNameOf) says. A final ".N" (N
// from 1 to 32766, no leading zeros) is removed when the result's ".1" is a
// file (a final ".1" always is), and a final ".sha256", the set's checksum
// file, always; anything else is kept whole.
QString OutputName(platform::Dispatch& control, const QString& inputPath);

// A size in the window's units of 1024 bytes, with the locale's decimal
// separator: "1234,5 kb".
QString Kilobytes(double value);

// Shows a box and returns the button that closed it.
platform::MessageBoxAnswer ShowBox(const QString& text, platform::MessageBoxStyle style,
                                   const QString& title);

// Makes the question boxes' buttons read "Sim" and "Não", as every other text
// of the window is Portuguese, whatever the user's language.
void InstallButtonTexts();
