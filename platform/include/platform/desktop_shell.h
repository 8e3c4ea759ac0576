#pragma once

#include <platform/export.h>

#include <optional>
#include <string>

namespace platform {

// Asks the desktop to open `target` (a file path, a web or a mail address)
// with its default application: starts the desktop's opener with the target
// as its one argument, never through a command shell, detached from this
// process, and returns without waiting for it. What the opener then does is
// not reported. Raises a RuntimeError when the opener cannot be started at
// all (not installed, not executable).
PLATFORM_EXPORT void OpenWithDesktop(const std::string& target);

// Opens `target` as OpenWithDesktop does, with a small watcher process
// between the caller and the opener that waits for the opener to end, and
// returns the read end of a close-on-exec pipe (the caller closes it) on
// which that end is told: readable once the opener has ended, or its watcher
// has gone. An opener may stay until the application it started closes, so
// the answer may come late or never. Raises as OpenWithDesktop.
PLATFORM_EXPORT int OpenWithDesktopWatched(const std::string& target);

// What the watcher of OpenWithDesktopWatched told on `descriptor`, once it
// is readable: the opener's exit status (0 when it opened the target), or
// nothing when that is not known (the opener was killed by a signal, or the
// watcher could not learn how it ended).
PLATFORM_EXPORT std::optional<int> OpenerExitStatus(int descriptor);

}  // namespace platform
