#pragma once

namespace tessik {

// Shows the About dialog from the module beside this one, loading it (and
// with it the window system) on first use; it stays loaded. Raises what the
// dialog raises, and error 5 saying why when the module cannot be loaded.
void ShowAboutDialogFromModule();

}  // namespace tessik
