#pragma once

namespace control {

// Shows the About dialog modally and returns when the user has closed it; a
// fresh dialog on every call, nothing of it left afterwards. Raises a
// RuntimeError when the process has no window system to show it on.
void ShowAboutDialog();

}  // namespace control
