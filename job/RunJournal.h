#pragma once
// What the engine tells the record of a run (the run history) while it writes: before a file is
// replaced or created, what it holds; after, that it was written. A journal that cannot record a
// file's old bytes refuses it, so no file is written without its undo.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filedeal/FileOps.h"
#include "job/JobTypes.h"
#include "settings/ReplaceOptions.h"

namespace norvik::job {

/// What a run is, for the list of runs.
struct RunDescription {
    settings::ReplaceMode mode = settings::ReplaceMode::Normal;
    bool toFolder = false;            ///< output-folder mode
    std::vector<std::string> targets; ///< the ticked targets (or files) the run was given
    std::size_t ruleCount = 0;
    std::string rules; ///< the rule file, or the first rule line (its hex fields)
};

/// What a worker makes ready, beside the new bytes, of a file about to be replaced in place: its old
/// bytes in the form the journal keeps them, so that recording the write costs the committer no read,
/// digest or compression (see PrepareBefore in RunHistory.h).
struct PreparedBefore {
    std::string digest;      ///< of the old bytes (ContentDigest)
    std::string compressed;  ///< how to make the old bytes from the new ones, compressed as the journal stores it
    std::uint64_t size = 0;  ///< of the old bytes
    std::string afterDigest; ///< of the bytes that will be written
};

class RunJournal {
public:
    virtual ~RunJournal() = default;

    /// Before the run touches anything: empty when its record can be kept, otherwise why not (UTF-8).
    [[nodiscard]] virtual std::string prepare() = 0;
    /// What the run is; given once its rules are known, before its first file.
    virtual void describe(const RunDescription& description) = 0;
    /// Right before `path` is replaced or created with `bytes`: keeps what the file holds now (or that
    /// there is none). With `read`, the file must still be the one the run read (same stamp), or the
    /// reason is ChangedSinceRead. Any reason means: do not write the file.
    [[nodiscard]] virtual std::optional<FailureReason>
    recordBefore(const std::string& path, const filedeal::FileStamp* read, std::string_view bytes) = 0;
    /// The same for a file a worker read with the stamp `read` and whose old bytes it made ready:
    /// the file must still be the one read (same stamp), or the reason is ChangedSinceRead.
    [[nodiscard]] virtual std::optional<FailureReason>
    recordBefore(const std::string& path, const filedeal::FileStamp& read, const PreparedBefore& before) = 0;
    /// Right before `copy` is made as a copy of `original` where no file is: the run creates it.
    [[nodiscard]] virtual std::optional<FailureReason> recordCopy(const std::string& copy,
                                                                  const std::string& original) = 0;
    /// `path` was written as recorded.
    virtual void recordWritten(const std::string& path) = 0;
    /// Writes out what was recorded so far (a journal may keep records back until a batch of writes
    /// is placed); called before the renames of each batch that is not made durable. False when that
    /// failed (the batch then replaces nothing).
    [[nodiscard]] virtual bool writeRecorded() { return true; }
    /// Writes out and makes durable what was recorded so far; called once for each batch of writes,
    /// before their renames. False when that failed (the batch then replaces nothing).
    [[nodiscard]] virtual bool syncRecorded() { return writeRecorded(); }
    /// The run is over (also when stopped); `counters` are its tallies.
    virtual void finish(const RunCounters& counters, bool stopped) = 0;
};

} // namespace norvik::job
