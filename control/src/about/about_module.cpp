// TessikAbout: the About dialog as a module of its own, so that the window
// system is loaded into a process only when the dialog is shown. Its one
// entry point raises what ShowAboutDialog raises.
#include "about_dialog.h"

extern "C" __attribute__((visibility("default"))) void TessikShowAboutDialog() {
  control::ShowAboutDialog();
}
