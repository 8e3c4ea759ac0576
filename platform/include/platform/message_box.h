#pragma once

#include <platform/export.h>

#include <string_view>

namespace platform {

// The three kinds of box the system shows: an OK button alone, with the stop
// icon, or with the exclamation icon. The numbers are part of the log format.
enum class MessageBoxStyle : int {
  Ok = 0,
  Critical = 16,
  Exclamation = 48,
};

// True when this process runs a window system (a Qt application object
// exists), so that boxes and dialogs can be shown.
PLATFORM_EXPORT bool HasWindowSystem();

// Shows a modal box and returns when the user has closed it (every box has
// only an OK button). When MESSAGE_BOX_LOG names a file, no box is shown: one
// line "title<TAB>style<TAB>text" is appended there instead, line breaks in
// the text written as the two characters "\n". Without a window system the
// box goes to standard error as "title: text".
PLATFORM_EXPORT void ShowMessageBox(std::string_view text, MessageBoxStyle style,
                                    std::string_view title);

}  // namespace platform
