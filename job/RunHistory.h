#pragma once
// The run history: every run that writes a file leaves an entry in a folder of its own, from which
// that run can be undone later, whatever ran after it.
//
// Layout of the folder: "<id>.entry", a text file of one record a line, created whole (a temporary
// renamed into place) and then appended to; "<id>.pack", zstd frames of the texts the files had
// before the run, each kept as the way back from what the run wrote (see ByteDelta.h; entries of
// earlier versions hold whole texts), each distinct pair of texts once (by their SHA-256); "lock", which a run holds
// shared while it records and the retention takes exclusively (so it never removes a pack a run is writing).
//
// Order of writes for one file: its old text is in the pack and its record ("B", with the digest of
// what will be written) in the entry before the file is replaced; a "W" record follows the write.
// The texts and records of a batch of writes go out together, texts first, before the batch replaces
// anything; a copy's record (a backup, made at once) goes out before the copy is made, possibly
// ahead of texts still kept back: such a record names a file that is not replaced yet.
// "<id>.undone" marks a run a restore has put back whole (written once that restore is over; a run
// without it may still have been undone in part).
// A record without "W" (a write that failed, or a run that was killed) is harmless: a restore finds
// the file as it was, or as the run wrote it, and acts by what it finds.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "job/JobObserver.h"
#include "job/JobTypes.h"
#include "job/RunJournal.h"

namespace norvik::job {

/// How much history is kept: the newest `maxRuns` runs, and no more than `maxBytes` on disk (the
/// newest run is always kept). Older entries are removed when a run ends.
struct HistoryLimits {
    unsigned maxRuns = 50;
    std::uint64_t maxBytes = std::uint64_t{1} << 30;
};

/// One run as its entry tells it.
struct HistoryRun {
    std::string id;
    std::int64_t time = 0; ///< seconds since 1970 (UTC)
    RunDescription description;
    RunCounters counters;    ///< as the run reported them; zero for an incomplete entry
    bool complete = false;   ///< the entry was closed (a killed run leaves it open)
    bool stopped = false;    ///< the run was stopped before its end
    std::size_t written = 0; ///< files the entry records as written (copies and backups included)
    std::uint64_t bytes = 0; ///< the entry's size on disk, its pack included
    bool undone = false;     ///< a restore put back every file of the run (none was refused)
};

/// The runs of a history, newest first, and one text for each entry that could not be read.
struct HistoryListing {
    std::vector<HistoryRun> runs;
    std::vector<std::string> problems;
};

enum class RestoreRunStatus {
    Done,       ///< every file was judged; the failures went to the observer
    UnknownRun, ///< no entry has that id: nothing touched
    Damaged,    ///< the entry cannot be read: nothing touched
    Busy,       ///< a run or a search was under way: nothing touched
};

struct RestoreRunResult {
    RestoreRunStatus status = RestoreRunStatus::Done;
    std::size_t restored = 0;  ///< files put back (or removed, when the run had created them)
    std::size_t unchanged = 0; ///< files that already held what they had before the run
    std::size_t failed = 0;    ///< files refused, each reported with its reason
    /// UnknownRun, Damaged: why (UTF-8). Done: empty, or why the run could not be marked undone.
    std::string message;
};

class RunHistory {
public:
    /// `folder` ends with '/' or not; it need not exist yet.
    explicit RunHistory(std::string folder, HistoryLimits limits = {});

    [[nodiscard]] const std::string& folder() const noexcept { return m_folder; }
    [[nodiscard]] const HistoryLimits& limits() const noexcept { return m_limits; }

    /// The runs, newest first. A missing folder is an empty history; an entry that cannot be read is
    /// left out and named in `problems`.
    [[nodiscard]] HistoryListing list() const;

    /// Puts back every file the run `id` wrote, each to the bytes it had before that run, when it still
    /// holds exactly what the run wrote (by digest): a file the run created is removed, any other is
    /// rewritten atomically (its permission bits kept; through a symbolic link, the file it leads to).
    /// A file that already holds its old bytes is left alone. A file changed since the run, missing,
    /// read-only or whose old text cannot be read back is reported to `observer.failure` and stays as
    /// it is; each restored path goes to `observer.resultLine`. A restore records no entry; one that
    /// refused no file marks the run undone (see HistoryRun::undone).
    [[nodiscard]] RestoreRunResult restore(std::string_view id, JobObserver& observer) const;

    /// Removes the oldest entries beyond the limits (the newest always stays). Does nothing while a run
    /// is recording. Gives the number of entries removed.
    std::size_t applyLimits() const;

private:
    std::string m_folder; ///< ends with '/'
    HistoryLimits m_limits;
};

/// Records one run into a history: the journal the engine writes to (see RunJournal). One recorder
/// a run; the entry is created at the first file the run writes, so a run that writes nothing leaves
/// no entry.
class RunRecorder final : public RunJournal {
public:
    explicit RunRecorder(const RunHistory& history);
    ~RunRecorder() override;
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    [[nodiscard]] std::string prepare() override;
    void describe(const RunDescription& description) override;
    [[nodiscard]] std::optional<FailureReason> recordBefore(const std::string& path, const filedeal::FileStamp* read,
                                                            std::string_view bytes) override;
    [[nodiscard]] std::optional<FailureReason> recordBefore(const std::string& path, const filedeal::FileStamp& read,
                                                            const PreparedBefore& before) override;
    [[nodiscard]] std::optional<FailureReason> recordCopy(const std::string& copy,
                                                          const std::string& original) override;
    void recordWritten(const std::string& path) override;
    [[nodiscard]] bool writeRecorded() override { return writeOut(); }
    [[nodiscard]] bool syncRecorded() override { return writeOut() && syncPending(); }
    void finish(const RunCounters& counters, bool stopped) override;

    /// The id of the run's entry; empty until the run wrote its first file.
    [[nodiscard]] const std::string& id() const noexcept { return m_id; }
    /// The files of the history this run has written so far (its entry and pack), for a batched sync.
    [[nodiscard]] std::vector<std::string> historyFiles() const;
    /// Makes what was recorded so far durable (entry, pack and the folder); false when a sync failed.
    /// Never called per file: the caller batches it.
    [[nodiscard]] bool syncPending() const;

private:
    struct StoredText; // where a before-text lies in the pack
    [[nodiscard]] bool openEntry();
    [[nodiscard]] bool append(int fd, std::uint64_t& end, std::string_view bytes);
    /// Writes the records kept so far to the entry.
    [[nodiscard]] bool flush();
    /// Writes the texts and then the records kept so far to the pack and the entry.
    [[nodiscard]] bool writeOut();
    /// Writes out what is kept once it grows large; false when that failed.
    [[nodiscard]] bool bound();
    /// Appends the compressed way back to a text of `size` bytes (digest `digest`) from the text
    /// `afterDigest`, unless that pair is stored already.
    [[nodiscard]] std::optional<StoredText> storeCompressed(std::string_view compressed, std::uint64_t size,
                                                            const std::string& digest, const std::string& afterDigest);
    /// Keeps the "B" record of `path` (its old text at `ref`, the digest of what will be written).
    [[nodiscard]] bool recordFile(const std::string& path, const std::string& ref, std::string_view afterDigest,
                                  std::string beforeDigest);
    void close() noexcept;

    const RunHistory& m_history;
    RunDescription m_description;
    std::string m_id;
    std::string m_cwd;         ///< the working folder, for the absolute names of relative paths
    std::string m_pending;     ///< records not yet in the entry (written with each batch of writes)
    std::string m_packPending; ///< compressed texts not yet in the pack (written before their records)
    int m_lockFd = -1;
    int m_entryFd = -1;
    int m_packFd = -1;
    std::uint64_t m_entryEnd = 0;
    std::uint64_t m_packEnd = 0;
    bool m_broken = false; ///< a write of the history failed: no further file may be written
    std::unordered_map<std::string, std::string> m_stored; ///< "<old digest>><new digest>" -> its reference in the pack
    /// The absolute name of the last file recorded, its name in hex and the digest of its old text
    /// (the backup made next is a copy of it).
    std::string m_lastName, m_lastHex, m_lastBefore;
};

/// Makes ready, on any thread, what RunRecorder keeps of a file replaced in place: the digest and the
/// compressed form of its old bytes `before`, and the digest of the bytes `after` that replace them.
/// Throws std::bad_alloc when memory runs out.
[[nodiscard]] PreparedBefore PrepareBefore(std::string_view before, std::string_view after);

/// The line of a run in `norvik-cli history`: the id and a space, then the local time, the mode, the
/// counts and the first target.
[[nodiscard]] std::string HistoryLineText(const HistoryRun& run);

/// The word for a mode in the history's lines ("replace", "feature", "extract").
[[nodiscard]] std::string_view HistoryModeWord(settings::ReplaceMode mode) noexcept;

} // namespace norvik::job
