#pragma once

#include <platform/export.h>

#include <string>

namespace platform {

// Asks the desktop to open `target` (a file path, a web or a mail address)
// with its default application: starts the desktop's opener with the target
// as its one argument, never through a command shell, detached from this
// process, and returns without waiting for it. What the opener then does is
// not reported. Raises a RuntimeError when the opener cannot be started at
// all (not installed, not executable).
PLATFORM_EXPORT void OpenWithDesktop(const std::string& target);

}  // namespace platform
