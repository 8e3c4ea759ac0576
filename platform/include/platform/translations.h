#pragma once

#include <platform/export.h>

#include <string>

namespace platform {

// Installs on the running Qt application Qt's translations of its own texts
// (buttons, the standard dialogs) for the locale `localeName` ("pt_PT"; the
// system's when empty): the locale's "qtbase" catalog; failing that, the
// locale's older whole catalog ("qt_pt_PT"), asked first, and the "qtbase"
// catalog of the language's main variant ("qtbase_pt_BR") for what that one
// lacks. The program's own texts are not touched.
PLATFORM_EXPORT void InstallQtTranslations(const std::string& localeName = {});

}  // namespace platform
