#pragma once

#include <platform/export.h>

#include <optional>
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
// exists), so that boxes and dialogs can be shown. In the desktop part of
// the platform, as everything that needs the window system.
PLATFORM_EXPORT bool HasWindowSystem();

// True when the widget toolkit is loaded into this process. Without it no
// window system runs here, and nothing of it needs to be loaded to know so.
PLATFORM_EXPORT bool WidgetToolkitLoaded();

// Shows a box as a window and returns the button that closed it; nothing
// when no window can be shown here (no window system, or not its thread).
using MessageBoxPresenter = std::optional<MessageBoxAnswer> (*)(std::string_view text,
                                                                MessageBoxStyle style,
                                                                std::string_view title);
// Installs how boxes are shown as windows: the desktop part of the platform
// does so when it is loaded, null takes it back. Without one, boxes go to
// the log or to standard error, and nothing of the window system is loaded.
PLATFORM_EXPORT void SetMessageBoxPresenter(MessageBoxPresenter show);

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
