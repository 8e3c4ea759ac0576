#pragma once

namespace control {

// What ShowAboutDialog raises, as error 5, in a process without a window system.
constexpr const char* kNoWindowSystemText =
    "Invalid procedure call or argument: there is no window system to show the About box on";

// Shows the About dialog modally and returns when the user has closed it; a
// fresh dialog on every call, nothing of it left afterwards. Raises a
// RuntimeError when the process has no window system to show it on.
void ShowAboutDialog();

}  // namespace control
