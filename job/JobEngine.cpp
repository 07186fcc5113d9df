#include "job/JobEngine.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "filedeal/Replace.h"
#include "job/JobTexts.h"
#include "job/OrderedPool.h"
#include "job/WorkList.h"
#include "rules/RuleApply.h"

namespace norvik::job {

using filedeal::PathIsThere;
using settings::ReplaceMode;

namespace {

constexpr auto kPauseNap = std::chrono::milliseconds(10);
/// The most files prepared ahead of the one committed, per worker: wide, so that the other workers go
/// on while one is in a large file (a file the rules leave alone holds next to nothing).
constexpr std::size_t kPreparedPerWorker = 2048;
/// The most prepared files holding their temporary open.
constexpr std::size_t kMaxStaged = 256;

/// The folder is there, or one level of it could be made now.
bool EnsureFolder(const std::string& folder) {
    return filedeal::FolderExists(folder) || filedeal::CreateFolder(folder);
}

/// This process may create a file in the folder (the test the kernel makes, so a folder of another
/// user or a read-only file system says no, and the administrator's override says yes).
bool CanCreateIn(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

/// The absolute, lexically normal spelling of a path, for comparing names of files that may not exist.
std::string LexicalPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

/// The folder among `folders` that the output folder is, or lies inside, once links are followed on
/// both sides; empty when there is none. The output folder need not exist yet.
std::string FolderHolding(const std::string& outputFolder, const std::vector<std::string>& folders) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path output = fs::weakly_canonical(fs::absolute(outputFolder, ec), ec);
    if (ec || outputFolder.empty()) {
        return {};
    }
    for (const std::string& folder : folders) {
        const fs::path target = fs::canonical(folder, ec);
        if (ec) {
            continue; // a folder that is not there has no files to overwrite
        }
        const fs::path inner = output.lexically_relative(target);
        if (!inner.empty() && *inner.begin() != "..") {
            return folder;
        }
    }
    return {};
}

/// Why the run must not start, or empty. The output folder may not be, or lie inside, a ticked target
/// folder, nor the folder of a ticked hit or previewed file (its copies would overwrite sources not yet
/// read, or, being the folder itself, rewrite every source without a backup). The same check for
/// every route, whatever list of files the run then works on.
std::string PreflightProblem(const JobRequest& request, const settings::ReplaceOptions& options) {
    if (!options.outputToFolder) {
        return {};
    }
    std::vector<std::string> folders;
    for (const TargetEntry& entry : request.targets) {
        if (entry.checked && filedeal::IsFolderPath(entry.path)) {
            folders.push_back(entry.path);
        }
    }
    if (request.useSearchHits) {
        for (const TargetEntry& entry : request.searchHits) {
            if (entry.checked) {
                folders.push_back(filedeal::WithTrailingSlash(filedeal::ParentFolderOf(entry.path)));
            }
        }
    }
    const std::string holder = FolderHolding(options.outputFolder, folders);
    return holder.empty() ? std::string() : OutputInsideTargetText(options.outputFolder, holder);
}

/// What the run history says of a run: its mode, what it was given and its rules.
RunDescription DescriptionOf(const JobRequest& request, const settings::ReplaceOptions& options,
                             const RuleLists& lists) {
    RunDescription description;
    description.mode = options.mode;
    description.toFolder = options.outputToFolder;
    for (const TargetEntry& entry : request.useSearchHits ? request.searchHits : request.targets) {
        if (entry.checked) {
            description.targets.push_back(entry.path);
        }
    }
    const auto& rules = lists.forMode(options.mode);
    description.ruleCount = rules.size();
    if (!request.rules.ruleFile.empty()) {
        description.rules = request.rules.ruleFile;
    } else if (!rules.empty()) {
        description.rules = rules.front();
    }
    return description;
}

} // namespace

struct JobEngine::Destination {
    bool toFolder = false; ///< output-folder mode, as read for this file
    std::string folder;    ///< the output folder ending with '/', in output-folder mode
    std::string target;    ///< the path written (and named in the lists)
};

struct JobEngine::PrepareKey {
    ReplaceMode mode = ReplaceMode::Normal;
    bool ignoreCase = false;
    bool inPlace = false; ///< changed files are written over themselves (no output folder)
    friend bool operator==(const PrepareKey&, const PrepareKey&) = default;
};

struct JobEngine::Prepared {
    LoadedFile::State state = LoadedFile::State::Missing;
    bool changed = false; ///< the rules changed the text (or extracted spans)
    /// Why the changed text cannot be written, found from the file alone (reported after the checks
    /// of its destination, as a run on one thread reports it).
    std::optional<FailureReason> problem;
    std::string encoded; ///< the new bytes, when changed and without a problem
    /// A file written in place: its new bytes already in their temporary beside it, when the worker
    /// could make it (the commit makes it otherwise). Dropped with the preparation, it leaves nothing.
    filedeal::StagedFile staged;
    /// The history's record of the old bytes, made ready for the committer (when the run records).
    std::optional<PreparedBefore> before;
    std::string oldBytes; ///< the bytes read, for the backup (when the run records and backs up)
    filedeal::FileStamp stamp;
    PrepareKey key;
    std::uint64_t writes = 0; ///< the run's write count when the preparation began
    std::uint64_t pauses = 0; ///< the pause count then
};

/// The writes of a run wait here, staged, with every observer call from the first of them on, so that
/// the calls keep the order of the work list. Flushing makes the staged files durable (one sync for the
/// batch), places them in order, reports, and syncs the folders of the renames.
class JobEngine::Batch {
public:
    Batch(JobEngine& engine, RunCounters& counters, JobObserver& observer, bool durable) noexcept
        : m_engine(engine), m_counters(counters), m_observer(observer), m_durable(durable) {}
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    ~Batch() { settle(); }

    [[nodiscard]] RunCounters& counters() noexcept { return m_counters; }

    void changed(const std::string& path) {
        ++m_counters.changed;
        if (m_events.empty()) {
            m_observer.changedFile(path);
        } else {
            m_events.push_back({Event::Changed, path, {}, {}, {}, {}, false});
        }
    }
    void failed(const FileFailure& failure) {
        if (m_events.empty()) {
            m_engine.fail(failure, m_counters, m_observer);
        } else {
            m_events.push_back({Event::Failed, failure.path, failure.source, failure.reason, {}, {}, false});
        }
    }
    /// A write judged sound and staged (or, in a dry run, only judged).
    void written(const std::string& target, const std::string& source, filedeal::StagedFile staged,
                 const filedeal::FileStamp* read) {
        if (staged.descriptor() < 0) {
            if (m_events.empty()) {
                ++m_counters.successes;
                m_observer.resultLine(target);
            } else {
                m_events.push_back({Event::Judged, target, source, {}, {}, {}, false});
            }
            return;
        }
        Event event{Event::Staged, target, source, {}, std::move(staged), {}, read != nullptr};
        if (read != nullptr) {
            event.read = *read;
        }
        if (m_events.empty()) {
            m_started = Clock::now();
        }
        m_events.push_back(std::move(event));
        ++m_staged;
        if (!m_durable || m_staged >= kMaxFiles) {
            flush();
        }
    }
    /// Long enough since the first staged write: flushed, so progress shows and Stop and Pause answer.
    void flushIfDue() {
        if (!m_events.empty() && Clock::now() - m_started >= kMaxWait) {
            flush();
        }
    }
    void flush() {
        if (m_events.empty()) {
            return;
        }
        std::vector<Event> events;
        events.swap(m_events);
        m_staged = 0;
        bool synced = true;
        bool recorded = true; // the history's records of the batch are out
        if (m_durable) {
            std::vector<const filedeal::StagedFile*> staged;
            for (const Event& event : events) {
                if (event.kind == Event::Staged) {
                    staged.push_back(&event.staged);
                }
            }
            synced = filedeal::SyncWrittenData(staged);
            // The history's records of the batch (the old texts) reach the disk with it.
            if (m_engine.m_journal != nullptr) {
                recorded = m_engine.m_journal->syncRecorded();
            }
        } else if (m_engine.m_journal != nullptr) {
            recorded = m_engine.m_journal->writeRecorded();
        }
        synced = synced && recorded;
        std::vector<std::string> folders;
        for (Event& event : events) {
            switch (event.kind) {
            case Event::Changed:
                m_observer.changedFile(event.path);
                break;
            case Event::Failed:
                m_engine.fail({event.path, event.source, event.reason}, m_counters, m_observer);
                break;
            case Event::Judged:
                ++m_counters.successes;
                m_observer.resultLine(event.path);
                break;
            case Event::Staged: {
                // A batch that did not reach the disk replaces nothing: its temporaries go.
                const std::string folder = event.staged.folder();
                if (synced && event.staged.place()) {
                    ++m_engine.m_writes;
                    if (m_engine.m_journal != nullptr) {
                        m_engine.m_journal->recordWritten(event.path);
                    }
                    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
                        folders.push_back(folder);
                    }
                    ++m_counters.successes;
                    m_observer.resultLine(event.path);
                } else {
                    const FailureReason why = !recorded ? FailureReason::HistoryFailed
                                              : synced  ? m_engine.writeFailure(event.source, event.path,
                                                                               event.hasRead ? &event.read : nullptr)
                                                        : FailureReason::WriteFailed;
                    event.staged = {};
                    m_engine.fail({event.path, event.source, why}, m_counters, m_observer);
                }
                break;
            }
            }
        }
        for (std::string& folder : folders) {
            if (std::find(m_renamedIn.begin(), m_renamedIn.end(), folder) == m_renamedIn.end()) {
                m_renamedIn.push_back(std::move(folder));
            }
        }
    }
    /// Flushes, then makes the renames durable: the folders they were made in are synced (the sync
    /// of the next batch covers them too, so this is needed once, at the end or at a pause).
    void settle() {
        flush();
        if (m_durable) {
            for (const std::string& folder : m_renamedIn) {
                static_cast<void>(filedeal::SyncFolder(folder)); // the renames are done either way
            }
        }
        m_renamedIn.clear();
    }

private:
    // A batch holds an open temporary per file, and its sync costs about the same for one file as for
    // hundreds; the wait bounds how long rows take to show.
    static constexpr std::size_t kMaxFiles = 128;
    static constexpr auto kMaxWait = std::chrono::milliseconds(200);

    struct Event {
        enum Kind : std::uint8_t { Changed, Failed, Judged, Staged } kind;
        std::string path; ///< the changed source; the failure's or the result's line
        std::string source;
        FailureReason reason{};
        filedeal::StagedFile staged;
        filedeal::FileStamp read;
        bool hasRead = false;
    };

    JobEngine& m_engine;
    RunCounters& m_counters;
    JobObserver& m_observer;
    const bool m_durable;
    std::vector<Event> m_events;
    std::size_t m_staged = 0;
    Clock::time_point m_started;
    std::vector<std::string> m_renamedIn; ///< folders of renames not synced yet
};

/// Marks the engine busy for one run or search; clears every run flag on the way out, also when an
/// unexpected failure leaves the command, so the next Start works.
class JobEngine::BusyScope {
public:
    explicit BusyScope(JobEngine& engine) noexcept : m_engine(engine) {
        m_engine.m_busy = true;
        m_engine.m_running = false;
        m_engine.m_paused = false;
        m_engine.m_stopRequested = false;
    }
    ~BusyScope() {
        m_engine.m_running = false;
        m_engine.m_paused = false;
        m_engine.m_busy = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    JobEngine& m_engine;
};

void JobEngine::togglePause() noexcept {
    if (m_running) {
        m_paused = !m_paused;
    }
}

void JobEngine::requestStop() noexcept {
    if (m_busy) {
        m_stopRequested = true;
    }
}

RunFlags JobEngine::flags() const noexcept {
    return {m_running, m_paused, m_stopRequested};
}

RunResult JobEngine::run(const JobRequest& request, JobObserver& observer) {
    RunResult result;
    if (m_busy.exchange(true)) {
        result.status = RunStatus::Busy;
        return result;
    }
    BusyScope busy(*this);
    const Clock::time_point start = Clock::now();
    auto yield = [&observer] {
        observer.yield();
    };

    // One preflight for every route (collected targets, ticked search hits, a preview's files): a run
    // that would take copies over sources does not start.
    if (std::string message = PreflightProblem(request, m_options); !message.empty()) {
        result.status = RunStatus::OutputInsideTarget;
        result.message = std::move(message);
        return result;
    }
    // A run that cannot keep its undo does not start.
    m_journal = request.dryRun ? nullptr : request.journal;
    m_prepareRecords = m_journal != nullptr && !m_options.outputToFolder;
    m_keepOldBytes = m_prepareRecords && m_options.backup;
    if (m_journal != nullptr) {
        if (std::string message = m_journal->prepare(); !message.empty()) {
            m_journal->finish(result.counters, false);
            result.status = RunStatus::HistoryUnavailable;
            result.message = std::move(message);
            return result;
        }
    }

    std::vector<std::string> unreadableFolders;
    std::vector<filedeal::FileIdentity> identities; // of each file, as the collection saw it
    // Only a run that writes sweeps up leftover temporaries; a dry run reads, like a search.
    std::vector<std::string> files =
        request.useSearchHits ? TickedPaths(request.searchHits)
                              : CollectWorkList(
                                    request.targets, m_options, yield, [this] { return m_stopRequested.load(); },
                                    &unreadableFolders, !request.dryRun, &identities);
    if (request.useSearchHits) {
        KeepFirstOfEachFile(files, &identities);
    }
    // The run's own files (its result list) are neither sources nor destinations: a list inside a
    // target folder would otherwise be rewritten by the run it records.
    m_ownFiles.clear();
    m_ownPaths.clear();
    for (const std::string& path : request.ownFiles) {
        filedeal::FileStamp stamp;
        if (filedeal::StampOf(path, stamp)) {
            m_ownFiles.emplace(stamp.device, stamp.inode);
        }
        m_ownPaths.push_back(LexicalPath(path));
    }
    m_workFiles.clear();
    // One pass over the files and their identities together, so that the two stay parallel.
    const bool extract = m_options.mode == ReplaceMode::Extract;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const filedeal::FileIdentity& identity = identities[i];
        // Extraction files are results, not sources: one taken as a source would spawn
        // "<name>.extract.txt.extract.txt".
        if ((extract && files[i].ends_with(filedeal::kExtractSuffix)) ||
            (identity.known && m_ownFiles.contains({identity.device, identity.inode}))) {
            continue;
        }
        if (identity.known) {
            m_workFiles.emplace(identity.device, identity.inode);
        }
        if (kept != i) {
            files[kept] = std::move(files[i]);
        }
        ++kept;
    }
    files.resize(kept);
    RunCounters& counters = result.counters;
    counters.collected = static_cast<std::uint32_t>(files.size());
    if (m_stopRequested) {
        // Stopped while the targets were collected (a Stop, a close, a signal): the list may be
        // partial, and the loop below ends before its first file.
        result.status = RunStatus::Stopped;
    }
    observer.filesCollected(files.size());

    const RuleBuildResult built = BuildRuleList(m_lists, m_options.mode, m_options.multiple, request.rules);
    m_parsed = ParseRuleLists(m_lists);
    if (!built.ok) {
        result.status = RunStatus::RuleFileFailed;
        result.message = built.message;
        if (m_journal != nullptr) {
            m_journal->finish(counters, false);
        }
        return result;
    }
    if (m_journal != nullptr) {
        m_journal->describe(DescriptionOf(request, m_options, m_lists));
    }
    m_extractApplies = !m_parsed.extract.empty();
    m_dryRun = request.dryRun;
    // A folder that could not be listed hides files the run never saw: it is a failure, not a success.
    for (const std::string& folder : unreadableFolders) {
        fail({folder, folder, FailureReason::FolderUnreadable}, counters, observer);
    }

    // Workers prepare the next files while this thread commits the one in hand (see OrderedPool), far
    // enough ahead that a large file in one worker's hands does not stop the others: the budget bounds
    // the bytes held, kMaxStaged the temporaries they hold open. Each is looked at again when its
    // turn comes if anything it depends on moved meanwhile.
    LoadPolicy policy;
    policy.keepUnicodeBytes = true; // for the round-trip check of a changed Unicode file
    policy.keepBytes = m_prepareRecords;
    // Files the rules cannot change are told from their bytes, without decoding. Letter case is
    // ignored in that look whatever the option says, since the option may change during the run.
    m_filteredMode = m_options.mode;
    const filedeal::RawTextFilter filter =
        m_filteredMode == ReplaceMode::Normal
            ? rules::FilterForRules(m_parsed.normal, true)
            : rules::FilterForRules(m_filteredMode == ReplaceMode::Feature ? m_parsed.feature : m_parsed.extract);
    policy.filter = &filter;
    m_writes = 0;
    m_pauses = 0;
    m_canCreate.clear();
    // The options as the workers may read them; this thread publishes a change made from a yield.
    std::atomic<std::uint8_t> published{0};
    auto keyNow = [this] {
        return keyOfOptions();
    };
    auto publish = [&published](PrepareKey key) {
        published = static_cast<std::uint8_t>(static_cast<unsigned>(key.mode) << 2 | (key.inPlace ? 2U : 0U) |
                                              (key.ignoreCase ? 1U : 0U));
    };
    publish(keyNow());
    // One job asked for runs everything on this thread, a plain loop.
    const unsigned workers = m_options.jobs == 1 ? 0 : WorkerCount(m_options.jobs);
    const std::function<void()> noYield = [] {
    };
    const std::function<void()> yieldHere = [&observer] {
        observer.yield();
    };
    // Without workers the preparation runs here, between the files, where a long feature rule may let
    // the front end breathe.
    const std::function<void()>& workerYield = workers == 0 ? yieldHere : noYield;
    OrderedPool<Prepared> pool(
        files.size(), workers, kPreparedPerWorker * std::max(workers, 1U), m_prepareBudget,
        [&](std::size_t i) {
            const std::uint8_t key = published.load();
            return prepare(files[i], {static_cast<ReplaceMode>(key >> 2), (key & 1U) != 0, (key & 2U) != 0}, policy,
                           workerYield);
        },
        [](const Prepared& file) {
            return file.encoded.size() + file.oldBytes.size() + (file.before ? file.before->compressed.size() : 0) +
                   256;
        },
        [](const Prepared& file) { return file.staged.descriptor() >= 0; }, kMaxStaged);
    Batch batch(*this, counters, observer, m_options.durableWrites && !request.dryRun);
    auto stopped = [&] {
        batch.settle(); // what is staged is in hand: it is placed, and nothing after it
        result.status = RunStatus::Stopped;
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        m_running = true;
        // A pause shows every file handled so far as written.
        if (m_paused) {
            batch.settle();
        }
        observer.yield();
        if (m_paused) {
            batch.settle();
        }
        if (m_stopRequested || !waitWhilePaused(observer)) {
            stopped();
            break;
        }
        publish(keyNow());
        observer.progress(ProgressPercent(i, files.size()));
        try {
            std::optional<Prepared> file;
            while (!(file = pool.take(kPauseNap)) && !m_stopRequested) {
                batch.flushIfDue();
                observer.yield();
            }
            if (!file) {
                stopped();
                break;
            }
            if (!stillCurrent(files[i], *file)) {
                file = prepare(files[i], keyNow(), policy, yieldHere);
            }
            handleFile(files[i], std::move(*file), batch);
        } catch (const std::bad_alloc&) {
            // One file too large for the memory left: its buffers are released by now, and the run
            // goes on.
            batch.failed({files[i], files[i], FailureReason::OutOfMemory});
        } catch (const std::exception&) {
            batch.failed({files[i], files[i], FailureReason::Unreadable});
        }
        batch.flushIfDue();
    }
    pool.cancel();
    batch.settle();
    m_running = false;
    if (m_journal != nullptr) {
        m_journal->finish(counters, result.status == RunStatus::Stopped);
        m_journal = nullptr; // it belongs to this run's caller
    }

    result.ruleCount = m_lists.forMode(m_options.mode).size();
    observer.summary(SummaryText(result.ruleCount, counters));
    observer.elapsed(ElapsedText(MillisecondsSince(start)));
    return result;
}

SearchResult JobEngine::search(const std::vector<TargetEntry>& targets, const std::string& text,
                               JobObserver& observer) {
    if (text.empty()) {
        return {SearchStatus::NothingToFind, {}};
    }
    if (m_busy.exchange(true)) {
        return {SearchStatus::Busy, {}};
    }
    BusyScope busy(*this);
    return FindFiles(targets, text, m_options, observer, [this] { return m_stopRequested.load(); });
}

RestoreRunResult JobEngine::restoreRun(const RunHistory& history, std::string_view id, JobObserver& observer) {
    if (m_busy.exchange(true)) {
        RestoreRunResult busy;
        busy.status = RestoreRunStatus::Busy;
        return busy;
    }
    BusyScope scope(*this);
    return history.restore(id, observer);
}

bool JobEngine::waitWhilePaused(JobObserver& observer) {
    // A stop (or a close) ends the pause, and then no further file is touched.
    bool paused = false;
    while (m_paused && !m_stopRequested) {
        paused = true;
        observer.yield();
        std::this_thread::sleep_for(kPauseNap);
    }
    if (paused) {
        ++m_pauses; // files may have been edited meanwhile
    }
    return !m_stopRequested;
}

JobEngine::Destination JobEngine::destinationOf(const std::string& path, std::string_view suffix) const {
    Destination dest;
    dest.toFolder = m_options.outputToFolder;
    if (dest.toFolder) {
        // A missing final '/' is supplied so the file name never fuses with the folder's last name.
        dest.folder = filedeal::WithTrailingSlash(m_options.outputFolder);
        dest.target = dest.folder + filedeal::FileNameOf(path);
    } else {
        dest.target = path;
    }
    dest.target += suffix;
    return dest;
}

JobEngine::Prepared JobEngine::prepare(const std::string& path, PrepareKey key, const LoadPolicy& policy,
                                       const std::function<void()>& yield) const {
    Prepared out;
    out.key = key;
    out.writes = m_writes.load();
    out.pauses = m_pauses.load();
    // Case-sensitive plain rules edit a Unicode file in its own bytes where that is exact.
    const bool inBytes = key.mode == ReplaceMode::Normal && !key.ignoreCase && m_parsed.rawNormal.usable();
    LoadPolicy asked = policy;
    asked.unicodeAsBytes = inBytes;
    LoadedFile file = LoadFile(path, asked);
    if (file.verdict == filedeal::RawVerdict::Lacks && key.mode != m_filteredMode) {
        LoadPolicy unfiltered; // the mode changed during the run: the filter judged other rules
        unfiltered.keepUnicodeBytes = true;
        unfiltered.keepBytes = policy.keepBytes;
        unfiltered.unicodeAsBytes = inBytes;
        file = LoadFile(path, unfiltered);
    }
    if (inBytes) {
        // The replace edits the bytes where they are: the old ones a record needs are kept first.
        std::string old;
        const bool record = m_prepareRecords && file.state == LoadedFile::State::Loaded &&
                            file.verdict != filedeal::RawVerdict::Lacks && file.bytes.size() == file.stamp.size;
        if (record) {
            old = file.bytes;
        }
        if (replaceInBytes(file, out)) {
            readyForCommit(path, out, record ? &old : nullptr);
            return out;
        }
    }
    FinishDecoding(file, policy);
    out.state = file.state;
    out.stamp = file.stamp;
    if (file.state != LoadedFile::State::Loaded || file.verdict == filedeal::RawVerdict::Lacks) {
        return out; // a failure of its own, or the rules would find nothing to change
    }
    const ReplaceMode mode = key.mode;
    const bool extract = mode == ReplaceMode::Extract;
    if (extract && (!m_extractApplies || path.ends_with(filedeal::kExtractSuffix))) {
        return out; // no rule would apply (the extracted text would be the file itself), or a result file
    }
    std::string text;
    bool changedInPlace = false; // the text itself was replaced, and differs from what was read
    switch (mode) {
    case ReplaceMode::Normal:
        // One rule that matches case and shrinks or keeps the length replaces an ANSI text in place; it
        // changes the text exactly when it finds something (the replacement differs from the find).
        if (const rules::NormalRule* rule = m_parsed.normal.size() == 1 ? &m_parsed.normal.front() : nullptr;
            rule != nullptr && file.kind == filedeal::EncodingKind::Ansi && !key.ignoreCase &&
            rule->replacement.size() <= rule->find.size() && rule->replacement != rule->find) {
            if (filedeal::ReplaceAllInPlace(file.text, rule->find, rule->replacement) == 0) {
                return out;
            }
            text.swap(file.text);
            changedInPlace = true;
            break;
        }
        // Most files hold nothing to replace: they are judged without copying their text.
        if (!rules::ApplyNormalRules(file.text, text, m_parsed.normal, key.ignoreCase)) {
            return out;
        }
        break;
    case ReplaceMode::Feature:
        text = file.text;
        rules::ApplyFeatureRules(text, m_parsed.feature, false, yield);
        break;
    case ReplaceMode::Extract:
        text = file.text;
        rules::ApplyFeatureRules(text, m_parsed.extract, true, yield);
        break;
    }
    if (!changedInPlace && (extract ? text.empty() : text == file.text)) {
        return out;
    }
    out.changed = true;
    // A binary file would come back with CR LF for every LF: it is never rewritten. Its extracted
    // spans go to a file of their own and leave it as it is.
    if (file.binary && !extract) {
        out.problem = FailureReason::Binary;
        return out;
    }
    // A Unicode file whose text would not give its bytes back is never written; one that holds
    // characters beyond the code page is edited in Unicode, by rules of whole characters only.
    if (file.kind != filedeal::EncodingKind::Ansi && !file.exact) {
        out.problem = FailureReason::Unrepresentable;
        return out;
    }
    if (file.kind != filedeal::EncodingKind::Ansi && file.beyondCodePage && !RulesAreWholeCharacters(m_parsed, mode)) {
        out.problem = FailureReason::RuleNotWholeCharacters;
        return out;
    }
    // Keep at most the new text and its bytes from here on: a large file is held three times at most
    // (four when the run records its old bytes).
    // Only bytes the read kept whole stand for the file (anything else is read again at its commit).
    const bool record = m_prepareRecords && !extract && file.bytes.size() == file.stamp.size;
    std::string old;
    if (record) {
        old.swap(file.bytes);
    }
    ReleaseBytes(file);
    std::string().swap(file.text);
    const auto set = file.beyondCodePage ? filedeal::CharacterSet::Unicode : filedeal::CharacterSet::CodePage;
    auto [encoded, exact] = filedeal::EncodeTextBuffer(std::move(text), file.kind, set);
    std::string().swap(text);
    if (file.kind != filedeal::EncodingKind::Ansi && !exact) {
        out.problem = FailureReason::Unrepresentable;
        return out;
    }
    out.encoded = std::move(encoded);
    readyForCommit(path, out, record ? &old : nullptr);
    return out;
}

void JobEngine::readyForCommit(const std::string& path, Prepared& out, std::string* old) const {
    if (!out.changed || out.problem) {
        return;
    }
    if (old != nullptr) {
        // The digests and the compression, the run history's cost, are made here on the worker.
        out.before = PrepareBefore(*old, out.encoded);
        if (m_keepOldBytes) {
            out.oldBytes = std::move(*old);
        }
    }
    if (out.key.inPlace && !m_dryRun) {
        // The temporary is written here, off the committing thread, which then only judges, backs up and
        // renames. A target the writer refuses (read-only, no file) is left to the commit, which says why.
        filedeal::AtomicWrite how;
        how.unchangedSince = &out.stamp;
        static_cast<void>(out.staged.stage(path, out.encoded, how));
    }
}

JobEngine::PrepareKey JobEngine::keyOfOptions() const noexcept {
    return {m_options.mode, m_options.ignoreCase, !m_options.outputToFolder && m_options.mode != ReplaceMode::Extract};
}

bool JobEngine::replaceInBytes(LoadedFile& file, Prepared& out) const {
    if (file.state != LoadedFile::State::Loaded || file.verdict == filedeal::RawVerdict::Lacks) {
        return false;
    }
    const auto outcome = m_parsed.rawNormal.apply(file.bytes, file.kind);
    if (outcome == filedeal::RawRuleReplacer::Outcome::Declined) {
        return false;
    }
    out.state = file.state;
    out.stamp = file.stamp;
    if (outcome == filedeal::RawRuleReplacer::Outcome::Unchanged) {
        return true;
    }
    out.changed = true;
    // The checks of the way through the text that can apply: the bytes are exact, and the rules
    // whole characters, or the replacer would have declined.
    if (file.binary) {
        out.problem = FailureReason::Binary;
        return true;
    }
    out.encoded = std::move(file.bytes);
    return true;
}

bool JobEngine::stillCurrent(const std::string& path, const Prepared& file) const {
    if (file.key != keyOfOptions() || file.pauses != m_pauses.load()) {
        return false;
    }
    if (file.writes == m_writes.load()) {
        return true; // the run wrote nothing since: the file is as the worker found it
    }
    if (file.state == LoadedFile::State::Loaded) {
        // The run replaces no file of its list but the one in hand (a copy or an extraction file
        // landing on one is refused), and what it creates takes names that were free: a file the
        // worker found is as the worker found it, as far as the run goes. A change by another program
        // is caught when the write is placed.
        return true;
    }
    // A file that was not there may be one the run has made since (a backup that is a later entry of
    // the list); one that could not be read is read again.
    filedeal::FileStamp now;
    return file.state == LoadedFile::State::Missing && !filedeal::StampOf(path, now);
}

void JobEngine::handleFile(const std::string& path, Prepared file, Batch& batch) {
    switch (file.state) {
    case LoadedFile::State::Missing:
        ++batch.counters().missing;
        return;
    case LoadedFile::State::Unreadable:
        batch.failed({path, path, FailureReason::Unreadable});
        return;
    case LoadedFile::State::Undecodable:
        batch.failed({path, path, FailureReason::Undecodable});
        return;
    case LoadedFile::State::Loaded:
        break;
    }
    if (!file.changed) {
        return;
    }
    batch.changed(path);

    // Extraction writes the spans to a file of their own: the source is never written, backed up
    // or touched.
    const bool extract = file.key.mode == ReplaceMode::Extract;
    const Destination dest = destinationOf(path, extract ? filedeal::kExtractSuffix : std::string_view());
    auto refuse = [&](FailureReason reason) {
        batch.failed({dest.target, path, reason});
    };
    // The result list holds one path a line: a name with a line break would come back from it as two
    // fragments, and a restore would act on files the run never wrote.
    if (dest.target.find_first_of("\r\n") != std::string::npos) {
        refuse(FailureReason::NameHasLineBreak);
        return;
    }
    // A copy or an extraction file must never land on a file of this run (through a link, a hard
    // link or an output folder that leads back among the sources), nor on the run's own result list.
    if (dest.target != path) {
        if (isOwnFile(dest.target)) {
            refuse(FailureReason::DestinationIsOwnFile);
            return;
        }
        if (isWorkFile(dest.target)) {
            refuse(FailureReason::DestinationIsSource);
            return;
        }
    }
    if (file.problem) {
        refuse(*file.problem);
        return;
    }
    // The same decisions for the run, the dry run and the preview; only the run acts on them.
    const filedeal::FileStamp* read = m_dryRun ? nullptr : &file.stamp;
    filedeal::StagedFile staged = std::move(file.staged);
    if (const std::optional<FailureReason> why =
            commit(path, dest, !extract, file.encoded, read, staged, file.before ? &*file.before : nullptr,
                   file.before && m_keepOldBytes ? &file.oldBytes : nullptr)) {
        refuse(*why);
        return;
    }
    std::string().swap(file.encoded);
    batch.written(dest.target, path, std::move(staged), read);
}

std::optional<FailureReason> JobEngine::commit(const std::string& path, const Destination& dest, bool replacesSource,
                                               std::string_view encoded, const filedeal::FileStamp* read,
                                               filedeal::StagedFile& staged, const PreparedBefore* before,
                                               const std::string* oldBytes) {
    // Each step is judged first from what is on disk now; a dry run (no `read`) stops at the judgement.
    bool backupThere = true;
    if (const std::optional<FailureReason> why = judgeBackup(path, replacesSource, &backupThere)) {
        return why;
    }
    // What this commit creates (a backup) may be a later file of the list that a worker found missing:
    // the count moves once the change can be seen, so such a file is looked for again in its turn.
    struct CountWrites {
        std::atomic<std::uint64_t>* writes;
        ~CountWrites() {
            if (writes != nullptr) {
                ++*writes;
            }
        }
    } const countWrites{read != nullptr ? &m_writes : nullptr};
    // What changed since the read explains a failed step better than the step itself.
    auto changedOr = [&](FailureReason otherwise) {
        filedeal::FileStamp now;
        return filedeal::StampOf(path, now) && !now.sameContent(*read) ? FailureReason::ChangedSinceRead : otherwise;
    };
    bool recorded = false; // the history holds what the destination had before this write
    auto recordSource = [&] {
        return before != nullptr ? m_journal->recordBefore(path, *read, *before)
                                 : m_journal->recordBefore(path, read, encoded);
    };
    if (read != nullptr && replacesSource && m_options.backup) {
        // An existing backup is kept as it is (it holds the file before the first run that changed
        // it); a file whose backup can be neither made nor found is not written. A new backup is the
        // file as it was read: one changed since fails here. The backup comes before the write is
        // judged, so a file refused as read-only still has it.
        const std::string backup = filedeal::BackupPathOf(path);
        // A backup this run makes is one of its files too: undoing the run removes it again.
        const bool newBackup = m_journal != nullptr && !backupThere;
        if (m_journal != nullptr) {
            if (dest.target == path) {
                if (const std::optional<FailureReason> why = recordSource()) {
                    return why;
                }
                recorded = true;
            }
            if (newBackup) {
                if (const std::optional<FailureReason> why = m_journal->recordCopy(backup, path)) {
                    return why;
                }
            }
        }
        // The bytes a worker kept are the file's while its stamp holds: it is not read once more.
        const bool copied = oldBytes != nullptr ? filedeal::CopyFileNoOverwrite(path, backup, *read, *oldBytes)
                                                : filedeal::CopyFileNoOverwrite(path, backup, read);
        if (!copied && !filedeal::FileExists(backup)) {
            return changedOr(FailureReason::BackupFailed);
        }
        if (copied && newBackup) {
            m_journal->recordWritten(backup);
        }
    }
    struct stat lookedAt {};
    bool looked = false;
    if (const std::optional<FailureReason> why = judgeDestination(dest, replacesSource, encoded, &lookedAt, &looked)) {
        return why;
    }
    if (read == nullptr) {
        return std::nullopt;
    }
    // Forcing applies to the file that is written: the source in place, the copy in an output folder
    // (whose sources are never changed, their attribute included).
    if (replacesSource && m_options.forceReadOnly && filedeal::FileExists(dest.target) &&
        filedeal::IsReadOnly(dest.target)) {
        static_cast<void>(filedeal::ClearAttributes(dest.target)); // a failure shows in the write below
    }
    // An output folder that cannot be made never turns into writing over the source.
    if (dest.toFolder && !EnsureFolder(dest.folder)) {
        return FailureReason::OutputFolderMissing;
    }
    // The history holds what the file had before it is replaced or created, or it is not written.
    if (m_journal != nullptr && !recorded) {
        if (const std::optional<FailureReason> why =
                dest.target == path ? recordSource() : m_journal->recordBefore(dest.target, nullptr, encoded)) {
            return why;
        }
    }
    filedeal::AtomicWrite how;
    // Nothing between the judgement and the write has touched the target, unless forcing made it
    // writable: its look is not taken again.
    const bool forced = replacesSource && m_options.forceReadOnly && (lookedAt.st_mode & S_IWUSR) == 0;
    how.lookedAt = looked && !forced ? &lookedAt : nullptr;
    if (staged.descriptor() >= 0 && dest.target == path && !forced) {
        return std::nullopt; // the worker wrote the temporary; placed when its batch is durable
    }
    if (dest.target == path) {
        how.unchangedSince = read; // an edit made since the read is not overwritten
    } else {
        // A new copy or extraction file is no more readable than its source, and writable by its
        // owner, so that the next run into the same folder can replace it.
        how.newFileMode = static_cast<int>((read->mode & 0777) | S_IWUSR);
        if (!replacesSource && filedeal::FileExists(dest.target)) {
            // An extraction file the user has (or one of an earlier run) is kept as its backup
            // before it changes; a taken backup name leaves it as it is, and so does a read-only
            // file, which the write would refuse after the backup had taken the name.
            if (filedeal::IsReadOnly(dest.target)) {
                return FailureReason::ReadOnly;
            }
            std::string old;
            try {
                old = filedeal::ReadRegularFileBytes(dest.target);
            } catch (const filedeal::FileOpenError&) {
                return FailureReason::Unreadable;
            }
            if (old != encoded) {
                const std::string backup = filedeal::BackupPathOf(dest.target);
                const bool newBackup = m_journal != nullptr && !PathIsThere(backup);
                if (newBackup) {
                    if (const std::optional<FailureReason> why = m_journal->recordCopy(backup, dest.target)) {
                        return why;
                    }
                }
                if (!filedeal::CopyFileNoOverwrite(dest.target, backup)) {
                    return FailureReason::BackupNameTaken;
                }
                if (newBackup) {
                    m_journal->recordWritten(backup);
                }
            }
        }
    }
    if (staged.stage(dest.target, encoded, how)) {
        return std::nullopt; // placed when its batch is durable; the journal hears of it then
    }
    return writeFailure(path, dest.target, read);
}

FailureReason JobEngine::writeFailure(const std::string& path, const std::string& target,
                                      const filedeal::FileStamp* read) const {
    filedeal::FileStamp now;
    if (target == path && read != nullptr && filedeal::StampOf(path, now) && !now.sameContent(*read)) {
        return FailureReason::ChangedSinceRead;
    }
    if (PathIsThere(target) && !filedeal::FileExists(target)) {
        return FailureReason::NotAFile;
    }
    if (filedeal::FileExists(target) && filedeal::IsReadOnly(target)) {
        return FailureReason::ReadOnly;
    }
    return FailureReason::WriteFailed;
}

std::optional<FailureReason> JobEngine::judgeBackup(const std::string& path, bool replacesSource,
                                                    bool* backupThere) const {
    if (!replacesSource || !m_options.backup) {
        return std::nullopt;
    }
    const std::string backup = filedeal::BackupPathOf(path);
    const bool there = PathIsThere(backup);
    if (backupThere != nullptr) {
        *backupThere = there;
    }
    if (there) {
        if (!filedeal::FileExists(backup)) {
            return FailureReason::BackupNameTaken; // a folder, a special file or a dangling link
        }
    } else if (!canCreateIn(filedeal::ParentFolderOf(backup))) {
        return FailureReason::BackupFailed;
    }
    return std::nullopt;
}

std::optional<FailureReason> JobEngine::judgeDestination(const Destination& dest, bool replacesSource,
                                                         std::string_view encoded, struct stat* lookedAt,
                                                         bool* looked) const {
    if (dest.toFolder) {
        if (dest.folder.empty()) {
            return FailureReason::OutputFolderMissing;
        }
        if (filedeal::FolderExists(dest.folder)) {
            if (!canCreateIn(dest.folder)) {
                return FailureReason::WriteFailed;
            }
        } else if (PathIsThere(dest.folder) || !canCreateIn(filedeal::ParentFolderOf(dest.folder))) {
            return FailureReason::OutputFolderMissing; // one level is all the run makes, and only where it may
        }
    }
    if (!replacesSource && filedeal::FileExists(dest.target) && PathIsThere(filedeal::BackupPathOf(dest.target))) {
        // The extraction file would have to be kept first, and its backup name is taken.
        try {
            if (filedeal::ReadRegularFileBytes(dest.target) != encoded) {
                return FailureReason::BackupNameTaken;
            }
        } catch (const filedeal::FileOpenError&) {
            return FailureReason::Unreadable;
        }
    }
    // The writer follows links and writes a temporary beside the file the chain ends at. One lstat
    // tells most files apart; a link is followed once more.
    std::string target = dest.target;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        if (looked != nullptr && S_ISREG(st.st_mode)) {
            *lookedAt = st;
            *looked = true;
        }
        if (S_ISLNK(st.st_mode)) {
            if (::stat(target.c_str(), &st) != 0) {
                return FailureReason::NotAFile; // a link that leads nowhere
            }
            std::error_code ec;
            const std::filesystem::path real = std::filesystem::canonical(target, ec);
            if (!ec) {
                target = real.string();
            }
        }
        if (!S_ISREG(st.st_mode)) {
            return FailureReason::NotAFile; // a folder or a special file is never written over
        }
        const bool madeWritable = replacesSource && m_options.forceReadOnly;
        if ((st.st_mode & S_IWUSR) == 0 && !madeWritable) {
            return FailureReason::ReadOnly;
        }
    }
    if (dest.toFolder && !filedeal::FolderExists(dest.folder)) {
        return std::nullopt; // the run makes the folder itself, so it may write in it
    }
    if (!canCreateIn(filedeal::ParentFolderOf(target))) {
        return FailureReason::WriteFailed;
    }
    return std::nullopt;
}

bool JobEngine::canCreateIn(const std::string& folder) const {
    // Asked for the backup and again for the write of every file of a folder: the kernel's answer is
    // kept for the run (a folder closed meanwhile still fails the act itself, with its reason).
    if (const auto known = m_canCreate.find(folder); known != m_canCreate.end()) {
        return known->second;
    }
    const bool can = CanCreateIn(folder);
    m_canCreate.emplace(folder, can);
    return can;
}

bool JobEngine::isWorkFile(const std::string& path) const {
    filedeal::FileStamp stamp;
    return filedeal::StampOf(path, stamp) && m_workFiles.contains({stamp.device, stamp.inode});
}

bool JobEngine::isOwnFile(const std::string& path) const {
    if (m_ownPaths.empty()) {
        return false;
    }
    filedeal::FileStamp stamp;
    if (filedeal::StampOf(path, stamp) && m_ownFiles.contains({stamp.device, stamp.inode})) {
        return true;
    }
    // A list that is not there yet (or was removed) is still the run's own name.
    return std::find(m_ownPaths.begin(), m_ownPaths.end(), LexicalPath(path)) != m_ownPaths.end();
}

void JobEngine::fail(const FileFailure& failure, RunCounters& counters, JobObserver& observer) {
    ++counters.failures;
    observer.failure(failure);
}

} // namespace norvik::job
