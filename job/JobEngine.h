#pragma once
// The batch job: one engine that the window and the command-line program both drive.
//
// A front end owns one JobEngine for its lifetime, together with the ReplaceOptions it is given. The
// engine runs on the caller's thread (the command line's main thread; a thread of its own for the
// window, see EngineRelay), and reads its options only there; long work calls JobObserver::yield,
// where a front end may hand it changed options. Pause, Stop and close only set flags (atomics, so a
// signal handler or another thread may set them too) that the file loop reads between files.
//
// One file, one whole read, one write: a file is first looked at chunk by chunk, and only one the
// rules may change is then read whole; the encoding is detected on those bytes and the text decoded
// from them; a changed text is encoded once and written once, atomically.
//
// Workers side by side: N threads prepare the files of the work list (read, detect, judge, decode,
// replace, encode; see OrderedPool) and this thread, in work-list order, makes the backups, writes and
// renames, and calls the observer. Results, error lines and the summary are the same for any number of
// workers. A file prepared before the run wrote something, before a pause ended or before the mode or
// case option changed, is looked at again when its turn comes, so the meaning of those stays.
//
// Durable commits: changed files are staged (backup made, new text in its temporary) in small
// batches; one sync per batch takes the backups and temporaries to the disk, then the renames replace
// the originals and their folders are synced. A power cut never leaves an original replaced while its
// backup or its new text is not on disk.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "filedeal/FileOps.h"
#include "job/FileSearch.h"
#include "job/JobObserver.h"
#include "job/JobTypes.h"
#include "job/LoadedFile.h"
#include "job/RuleListBuilder.h"
#include "job/RunHistory.h"
#include "job/RunJournal.h"
#include "settings/ReplaceOptions.h"

namespace norvik::job {

/// What a run works on.
struct JobRequest {
    /// The target list; its ticked entries are collected. Given also with useSearchHits, for the
    /// preflight: the output folder is checked against the ticked target folders on every route.
    std::vector<TargetEntry> targets;
    bool useSearchHits = false;          ///< ticked search hits (or a preview's files) are the files
    std::vector<TargetEntry> searchHits; ///< those files, used when useSearchHits is set
    RuleSource rules;                    ///< where BuildRuleList takes the rules of the mode from
    /// Writes, copies and changes nothing: every file is read and the rules applied, and the paths
    /// that would be written become result lines. Error lines are the failures the real run would
    /// meet before it writes: a Unicode text the code page cannot hold, a binary file, a read-only
    /// target without forcing, a backup name taken by something that is no file or in a folder where
    /// no file can be made, an output folder that could not be made (it is no folder, or the folder
    /// that would hold it is missing or closed to this process), a target in a closed folder.
    bool dryRun = false;
    /// Files the run writes on its own account (the command line's result list and report): never
    /// taken as sources, even when a target folder and the masks reach them, and never written over
    /// by a copy (an error line instead).
    std::vector<std::string> ownFiles;
    /// Where the run records what each file held before it was written (the run history); none: no
    /// record. Not used by a dry run.
    RunJournal* journal = nullptr;
};

enum class RunStatus {
    Finished, ///< every file was handled; summary and elapsed time were reported
    /// A stop ended the run early, during the file loop or while the targets were collected (then
    /// nothing was written); summary and elapsed time were reported.
    Stopped,
    RuleFileFailed, ///< the rule set could not be read: no file touched, no summary, no elapsed time
    /// The output folder is, or lies inside, a ticked target folder or the folder of a ticked hit
    /// (links followed): its copies would overwrite sources. Nothing collected or touched, no
    /// summary; `message` says why.
    OutputInsideTarget,
    Busy, ///< a run or a search was already under way: nothing happened
    /// The run history cannot be written (its folder cannot be made or written to): the run would
    /// have no undo, so nothing was collected or touched; `message` says why.
    HistoryUnavailable,
};

struct RunResult {
    RunStatus status = RunStatus::Finished;
    RunCounters counters;
    std::size_t ruleCount = 0; ///< the lines of the list the summary counts
    std::string message;       ///< RuleFileFailed, OutputInsideTarget, HistoryUnavailable: the message (UTF-8)
};

class JobEngine {
public:
    /// The bytes of prepared files a run holds ahead of the one it commits, by default.
    static constexpr std::size_t kDefaultPrepareBudget = std::size_t{16} << 20;

    /// `options` is read, never copied, each field when it is needed, so a change made from a yield
    /// (a mode command, the configuration dialog) applies to the files that follow. It must outlive
    /// the engine.
    explicit JobEngine(const settings::ReplaceOptions& options) noexcept : m_options(options) {}
    JobEngine(const JobEngine&) = delete;
    JobEngine& operator=(const JobEngine&) = delete;

    /// Runs a whole job: collects the files, reports filesCollected, builds the rule list of the
    /// mode, handles every file, then reports the summary and the elapsed time. Runs never nest:
    /// while a run or a search is under way it returns Busy at once. A file that cannot be handled
    /// for any reason (memory exhausted by one huge file included) is an error line and the run goes
    /// on; a binary file (see LoadedFile::binary) that the rules would change is one too, untouched.
    /// Each written path is reported (resultLine) as soon as it is written.
    RunResult run(const JobRequest& request, JobObserver& observer);

    /// Runs FindFiles over the ticked targets (see FileSearch.h). Busy while a run or a search is
    /// under way; an empty text does nothing. A stop request (a close) ends it between files; Pause
    /// has no effect on it.
    SearchResult search(const std::vector<TargetEntry>& targets, const std::string& text, JobObserver& observer);

    /// Undoes the run `id` of `history` (see RunHistory::restore): each file put back is reported as a
    /// result line, each refused one as a failure with its reason. Busy while a run or a search is
    /// under way. A restore is not a run: it records nothing.
    [[nodiscard]] RestoreRunResult restoreRun(const RunHistory& history, std::string_view id, JobObserver& observer);

    /// Pause: flips paused while the file loop is running; otherwise does nothing.
    void togglePause() noexcept;
    /// A confirmed Stop, or a close: the file in hand is finished, no further file is touched, and a
    /// pause ends. During file collection the run then ends before its first file. Ignored when idle.
    void requestStop() noexcept;

    /// True while the file loop is at work (a Stop or close then asks the user first).
    [[nodiscard]] bool isRunning() const noexcept { return m_running; }
    /// True while a run (collection included) or a search is under way.
    [[nodiscard]] bool isBusy() const noexcept { return m_busy; }
    [[nodiscard]] RunFlags flags() const noexcept;

    /// How many bytes of prepared files runs and searches may hold ahead of the one committed; 0 holds
    /// none beyond the file in hand. Results are the same either way.
    void setPrepareBudget(std::size_t bytes) noexcept { m_prepareBudget = bytes; }

    /// The rule lists; they persist between runs (each run rebuilds the list of its mode).
    [[nodiscard]] const RuleLists& ruleLists() const noexcept { return m_lists; }
    /// The rule lists as the last run decoded them, for previews of its files.
    [[nodiscard]] const ParsedRuleLists& parsedRuleLists() const noexcept { return m_parsed; }

private:
    struct Destination; // where a changed text goes
    struct Prepared;    // a file made ready by a worker
    struct PrepareKey;  // the options a file was prepared under
    class Batch;        // staged writes and the observer calls waiting for them
    class BusyScope;

    [[nodiscard]] Destination destinationOf(const std::string& path, std::string_view suffix) const;
    /// Reads a file and applies the rules: everything up to the write, without touching the disk or
    /// the observer, so any thread may call it. `yield` is called inside long feature rules.
    [[nodiscard]] Prepared prepare(const std::string& path, PrepareKey key, const LoadPolicy& policy,
                                   const std::function<void()>& yield) const;
    /// The rules applied to a Unicode file's own bytes where that is provably what decoding, replacing
    /// and encoding would give (see filedeal::RawRuleReplacer): true with `out` complete, false when
    /// the file must be decoded instead.
    [[nodiscard]] bool replaceInBytes(LoadedFile& file, Prepared& out) const;
    /// The prepared file is still what a preparation now would give: same options, no pause since,
    /// and nothing the run wrote has touched it.
    [[nodiscard]] bool stillCurrent(const std::string& path, const Prepared& file) const;
    /// A changed file made ready for its commit on the worker: the history's record from `old` (the
    /// bytes read, when the run records them) and, for a write in place, the temporary.
    void readyForCommit(const std::string& path, Prepared& out, std::string* old) const;
    /// The options a preparation depends on, as they are now.
    [[nodiscard]] PrepareKey keyOfOptions() const noexcept;
    void handleFile(const std::string& path, Prepared file, Batch& batch);
    /// Writes a changed text to `dest` (with its backup first), each step judged from what is on disk
    /// before it is taken; with `read` null (a dry run, the preview) only judged, so the run and its
    /// forecast decide through the same code. A failure gives its reason and leaves the file as it is
    /// (a backup made before a refused write stays). A write is staged in `staged`, to be placed
    /// when the batch is made durable. A temporary a worker already staged in `staged` is taken as it is
    /// for a write in place. With `before`, the worker made the history's record of the source ready;
    /// with `oldBytes`, it kept the source's bytes as read, for its backup.
    [[nodiscard]] std::optional<FailureReason> commit(const std::string& path, const Destination& dest,
                                                      bool replacesSource, std::string_view encoded,
                                                      const filedeal::FileStamp* read, filedeal::StagedFile& staged,
                                                      const PreparedBefore* before = nullptr,
                                                      const std::string* oldBytes = nullptr);
    /// Why a staged write to `target` (replacing `path` when they are the same) failed.
    [[nodiscard]] FailureReason writeFailure(const std::string& path, const std::string& target,
                                             const filedeal::FileStamp* read) const;
    /// With `backupThere`, says whether something is at the backup's name (when a backup is made).
    [[nodiscard]] std::optional<FailureReason> judgeBackup(const std::string& path, bool replacesSource,
                                                           bool* backupThere = nullptr) const;
    /// Why `dest` cannot be written, or nothing. With `lookedAt`, a regular file found there leaves
    /// its lstat there and sets `*looked`, for the writer.
    [[nodiscard]] std::optional<FailureReason> judgeDestination(const Destination& dest, bool replacesSource,
                                                                std::string_view encoded,
                                                                struct stat* lookedAt = nullptr,
                                                                bool* looked = nullptr) const;
    [[nodiscard]] bool canCreateIn(const std::string& folder) const;
    [[nodiscard]] bool isWorkFile(const std::string& path) const;
    [[nodiscard]] bool isOwnFile(const std::string& path) const;
    void fail(const FileFailure& failure, RunCounters& counters, JobObserver& observer);
    [[nodiscard]] bool waitWhilePaused(JobObserver& observer);

    const settings::ReplaceOptions& m_options;
    RuleLists m_lists;
    ParsedRuleLists m_parsed;        ///< m_lists decoded, once per run
    bool m_extractApplies = false;   ///< the extraction list holds a rule that can apply (set per run)
    bool m_dryRun = false;           ///< the run writes nothing (set per run)
    RunJournal* m_journal = nullptr; ///< the run's record, or none (set per run)
    /// Workers make the history's records of the files they change ready (set per run, as the run
    /// starts: a change of the options meanwhile only sends a file down the slower way).
    bool m_prepareRecords = false;
    bool m_keepOldBytes = false;            ///< workers keep a changed file's old bytes for its backup (set per run)
    settings::ReplaceMode m_filteredMode{}; ///< the mode whose rules judged the files' bytes (set per run)
    /// Device and inode of every file of the run's work list: no destination may be one of them.
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_workFiles;
    /// Device and inode of the run's own files, and their names (for one not there yet).
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_ownFiles;
    std::vector<std::string> m_ownPaths;
    mutable std::unordered_map<std::string, bool> m_canCreate; ///< folders judged in this run
    std::size_t m_prepareBudget = kDefaultPrepareBudget;
    /// Counts what the run has created or replaced (read by workers): a file prepared before the count
    /// moved may have been written meanwhile and is looked at again.
    std::atomic<std::uint64_t> m_writes{0};
    /// Counts the pauses that ended: a file prepared before may have been edited during the pause.
    std::atomic<std::uint64_t> m_pauses{0};

    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_stopRequested{false};
};

} // namespace norvik::job
