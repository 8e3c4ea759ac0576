#pragma once

#include "progress.h"

#include <platform/component/connection.h>

namespace cli {

// The first SIGINT, SIGTERM or SIGHUP received since NoteInterruptions; 0
// while none came.
int Interruption();

// From here on SIGINT, SIGTERM and SIGHUP (a closed terminal) are only
// noted, to be passed on as a cancel at the component's next report; one
// ignored by whoever started us stays ignored. A second signal while the
// component cleans up is noted too and changes nothing. SIGPIPE is ignored:
// output that cannot be written fails as a write, and never ends the
// process in the middle of the work or its clean-up.
void NoteInterruptions();

// Answers an object's events: a by-reference Cancel asks it to stop once a
// signal came, and Progress(Done, Total, ...) goes to `printer` when given.
platform::EventConnection::Handler EventHandler(ProgressPrinter* printer);

}  // namespace cli
