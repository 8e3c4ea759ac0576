#pragma once

#include <platform/export.h>

#include <string_view>

namespace platform {

// The kinds of box the system shows: an OK button alone, with the stop icon,
// or with the exclamation icon; or a question with Yes and No, No the
// default. The numbers are part of the log format.
enum class MessageBoxStyle : int {
  Ok = 0,
  Critical = 16,
  Exclamation = 48,
  YesNoQuestion = 292,
};

// The button that closed a box.
enum class MessageBoxAnswer : int {
  Ok = 1,
  Yes = 6,
  No = 7,
};

// True when this process runs a window system (a Qt application object
// exists), so that boxes and dialogs can be shown.
PLATFORM_EXPORT bool HasWindowSystem();

// Shows a modal box and returns, once the user has closed it, the button
// that closed it (a question closed otherwise is answered No). When
// MESSAGE_BOX_LOG names a file, no box is shown: one line
// "title<TAB>style<TAB>text" is appended there instead, line breaks in the
// text written as the two characters "\n", and a question takes its answer
// from MESSAGE_BOX_ANSWER ("6" Yes, "7" No), else No. Without a window system
// the box goes to standard error as "title: text" and a question is answered
// No.
PLATFORM_EXPORT MessageBoxAnswer ShowMessageBox(std::string_view text, MessageBoxStyle style,
                                                std::string_view title);

}  // namespace platform
