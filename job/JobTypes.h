#pragma once
// The plain records a job and a search share with the front ends that drive them.
#include <cstdint>
#include <string>
#include <string_view>

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

/// Why a file (or a folder) could not be handled. Every failure of a run, a dry run, a preview or a
/// search carries one, so the front ends show the reason without working it out again.
enum class FailureReason : std::uint8_t {
    Unreadable,             ///< the file exists but could not be opened or read
    Undecodable,            ///< UTF-8 (marked, or taken for UTF-8) that does not decode
    FolderUnreadable,       ///< a folder that can be listed but not entered, or entered but not listed
    OutOfMemory,            ///< the file is too large for the memory left
    Binary,                 ///< a binary file: a rewrite as text would destroy it
    Unrepresentable,        ///< the new text holds characters the file's encoding cannot keep
    RuleNotWholeCharacters, ///< the file holds characters beyond the code page and a rule is not whole characters
    ReadOnly,               ///< the file to be written is read-only (and forcing does not apply)
    BackupFailed,           ///< the backup could not be made, and none exists
    BackupNameTaken,        ///< the backup's name is taken by something that is no file
    OutputFolderMissing,    ///< the output folder is no folder, or could not be made
    DestinationIsSource,    ///< the copy would land on a file of this run's work list
    DestinationIsOwnFile,   ///< the copy would land on a file the run writes itself (its result list)
    NameHasLineBreak,       ///< the path holds CR or LF, so it cannot be one line of the result list
    ChangedSinceRead,       ///< the file changed after it was read; the change is kept
    NotAFile,               ///< a folder, a special file or a dangling link is where the file would go
    WriteFailed,            ///< the write itself failed (disk full, no permission in the folder, ...)
    HistoryFailed,          ///< what the file held could not be recorded in the run history: not written
    ChangedSinceRun,        ///< restoring a run: the file no longer holds what that run wrote
    MissingSinceRun,        ///< restoring a run: the file that run wrote is gone
    HistoryDamaged,         ///< restoring a run: the text the file had before it cannot be read back
};

/// One failure: the path on the error line ("<path> is Error!!!"), the file the run was handling
/// (the same path, except for an output copy or an extraction file), and why.
struct FileFailure {
    std::string path;
    std::string source;
    FailureReason reason = FailureReason::Unreadable;
};

} // namespace norvik::job
