#pragma once

#include <control/split_join.h>

#include <cstdint>
#include <functional>

namespace tessik {

// One call of the engine, given the options it is to run with.
using EngineWork = std::function<control::Outcome(const control::SetOptions&)>;
// Fires the Progress event on the host's thread; true when the host asked
// to cancel.
using ProgressEvent = std::function<bool(std::int64_t done, std::int64_t total)>;

// How often at least the host hears from work that runs on a worker thread.
inline constexpr int kHostBeatMilliseconds = 25;

// Runs `work` on a worker thread while the calling thread, the host's,
// fires `progress`: for every report of the engine, which waits for the
// host's answer as it would on one thread, and every kHostBeatMilliseconds
// in between with the latest figures (0 and 0 before the engine's first
// report, while it still measures the work), however long one step of the
// engine takes (a flush on a slow disk can take seconds). A host that serves its
// window in the event so never freezes, and a cancel it gives between two
// reports stops the engine at its next piece of work. The events go on
// while the engine cleans up after a cancel; the call ends when it has.
// Returns what `work` returned, or raises what it raised.
control::Outcome RunOnWorkerThread(bool checksums, const EngineWork& work,
                                   const ProgressEvent& progress);

}  // namespace tessik
