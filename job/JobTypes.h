#pragma once
// The plain records a job and a search share with the front ends that drive them.
#include <cstdint>
#include <string>

#include "settings/TargetEntry.h"

namespace norvik::job {

using settings::TargetEntry;

/// A snapshot of the run state a window shows and asks about.
struct RunFlags {
    bool running = false;       ///< the file loop is at work (false while files are collected)
    bool paused = false;        ///< Pause flipped it while running
    bool stopRequested = false; ///< a confirmed Stop or close; cleared when a run starts
};

/// The tallies of one run, in the order the summary line names them.
struct RunCounters {
    std::uint32_t collected = 0; ///< files in the work list, also those a stop left untouched
    std::uint32_t changed = 0;   ///< files whose text the rules changed
    std::uint32_t missing = 0;   ///< paths that were no regular file when their turn came
    std::uint32_t successes = 0; ///< result lines (files written)
    std::uint32_t failures = 0;  ///< error lines
    bool operator==(const RunCounters&) const = default;
};

} // namespace norvik::job
