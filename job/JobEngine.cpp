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
#include "job/JobTexts.h"
#include "job/WorkList.h"
#include "rules/RuleApply.h"

namespace norvik::job {

using filedeal::PathIsThere;
using settings::ReplaceMode;

namespace {

constexpr auto kPauseNap = std::chrono::milliseconds(10);

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

} // namespace

struct JobEngine::Destination {
    bool toFolder = false; ///< output-folder mode, as read for this file
    std::string folder;    ///< the output folder ending with '/', in output-folder mode
    std::string target;    ///< the path written (and named in the lists)
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

    std::vector<std::string> unreadableFolders;
    // Only a run that writes sweeps up leftover temporaries; a dry run reads, like a search.
    std::vector<std::string> files =
        request.useSearchHits ? TickedPaths(request.searchHits)
                              : CollectWorkList(
                                    request.targets, m_options, yield, [this] { return m_stopRequested.load(); },
                                    &unreadableFolders, !request.dryRun);
    if (request.useSearchHits) {
        KeepFirstOfEachFile(files);
    }
    if (m_options.mode == ReplaceMode::Extract) {
        // Extraction files are results, not sources: one taken as a source would spawn
        // "<name>.extract.txt.extract.txt".
        std::erase_if(files, [](const std::string& path) { return path.ends_with(filedeal::kExtractSuffix); });
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
    std::erase_if(files, [&](const std::string& path) {
        filedeal::FileStamp stamp;
        if (!filedeal::StampOf(path, stamp)) {
            return false;
        }
        if (m_ownFiles.contains({stamp.device, stamp.inode})) {
            return true;
        }
        m_workFiles.emplace(stamp.device, stamp.inode);
        return false;
    });
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
        return result;
    }
    m_extractApplies = !m_parsed.extract.empty();
    m_dryRun = request.dryRun;
    // A folder that could not be listed hides files the run never saw: it is a failure, not a success.
    for (const std::string& folder : unreadableFolders) {
        fail({folder, folder, FailureReason::FolderUnreadable}, counters, observer);
    }

    // The next files are read on a second thread while this one works; each is still judged when its
    // turn comes (see ReadAhead), so the order of the lists and the meaning of pause and stop stay.
    LoadPolicy policy;
    policy.keepUnicodeBytes = true; // for the round-trip check of a changed Unicode file
    // Files the rules cannot change are told from their bytes, without decoding. Letter case is
    // ignored in that look whatever the option says, since the option may change during the run.
    m_filteredMode = m_options.mode;
    const filedeal::RawTextFilter filter =
        m_filteredMode == ReplaceMode::Normal
            ? rules::FilterForRules(m_parsed.normal, true)
            : rules::FilterForRules(m_filteredMode == ReplaceMode::Feature ? m_parsed.feature : m_parsed.extract);
    policy.filter = &filter;
    ReadAhead ahead(files, policy, m_readAheadBudget);
    for (std::size_t i = 0; i < files.size(); ++i) {
        m_running = true;
        observer.yield();
        if (m_stopRequested || !waitWhilePaused(observer)) {
            result.status = RunStatus::Stopped;
            break;
        }
        observer.progress(ProgressPercent(i, files.size()));
        try {
            handleFile(files[i], ahead.take(i), counters, observer);
        } catch (const std::bad_alloc&) {
            // One file too large for the memory left: its buffers are released by now, and the run
            // goes on.
            fail({files[i], files[i], FailureReason::OutOfMemory}, counters, observer);
        } catch (const std::exception&) {
            fail({files[i], files[i], FailureReason::Unreadable}, counters, observer);
        }
    }
    m_running = false;

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

bool JobEngine::waitWhilePaused(JobObserver& observer) {
    // A stop (or a close) ends the pause, and then no further file is touched.
    while (m_paused && !m_stopRequested) {
        observer.yield();
        std::this_thread::sleep_for(kPauseNap);
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

void JobEngine::handleFile(const std::string& path, LoadedFile file, RunCounters& counters, JobObserver& observer) {
    if (file.verdict == filedeal::RawVerdict::Lacks && m_options.mode != m_filteredMode) {
        LoadPolicy unfiltered; // the mode changed during the run: the filter judged other rules
        unfiltered.keepUnicodeBytes = true;
        file = LoadFile(path, unfiltered);
    }
    switch (file.state) {
    case LoadedFile::State::Missing:
        ++counters.missing;
        return;
    case LoadedFile::State::Unreadable:
        fail({path, path, FailureReason::Unreadable}, counters, observer);
        return;
    case LoadedFile::State::Undecodable:
        fail({path, path, FailureReason::Undecodable}, counters, observer);
        return;
    case LoadedFile::State::Loaded:
        break;
    }
    if (file.verdict == filedeal::RawVerdict::Lacks) {
        return; // the rules would find nothing to change
    }

    const ReplaceMode mode = m_options.mode;
    const bool extract = mode == ReplaceMode::Extract;
    if (extract && (!m_extractApplies || path.ends_with(filedeal::kExtractSuffix))) {
        return; // no rule would apply (the extracted text would be the file itself), or a result file
    }
    std::string text;
    auto yield = [&observer] {
        observer.yield();
    };
    switch (mode) {
    case ReplaceMode::Normal:
        // Most files hold nothing to replace: they are judged without copying their text.
        if (!rules::ApplyNormalRules(file.text, text, m_parsed.normal, m_options.ignoreCase)) {
            return;
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
    if (extract ? text.empty() : text == file.text) {
        return;
    }
    ++counters.changed;
    observer.changedFile(path);

    // Extraction writes the spans to a file of their own: the source is never written, backed up
    // or touched.
    const Destination dest = destinationOf(path, extract ? filedeal::kExtractSuffix : std::string_view());
    auto refuse = [&](FailureReason reason) {
        fail({dest.target, path, reason}, counters, observer);
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
    // A binary file would come back with CR LF for every LF: it is never rewritten. Its extracted
    // spans go to a file of their own and leave it as it is.
    if (file.binary && !extract) {
        refuse(FailureReason::Binary);
        return;
    }
    // A Unicode file whose text would not give its bytes back is never written; one that holds
    // characters beyond the code page is edited in Unicode, by rules of whole characters only.
    if (file.kind != filedeal::EncodingKind::Ansi && !file.exact) {
        refuse(FailureReason::Unrepresentable);
        return;
    }
    if (file.kind != filedeal::EncodingKind::Ansi && file.beyondCodePage && !RulesAreWholeCharacters(m_parsed, mode)) {
        refuse(FailureReason::RuleNotWholeCharacters);
        return;
    }
    // Keep at most the new text and its bytes from here on: a large file is held three times at most.
    std::string().swap(file.bytes);
    std::string().swap(file.text);
    const auto set = file.beyondCodePage ? filedeal::CharacterSet::Unicode : filedeal::CharacterSet::CodePage;
    const auto [encoded, exact] = filedeal::EncodeText(text, file.kind, set);
    std::string().swap(text);
    if (file.kind != filedeal::EncodingKind::Ansi && !exact) {
        refuse(FailureReason::Unrepresentable);
        return;
    }
    // The same decisions for the run, the dry run and the preview; only the run acts on them.
    if (const std::optional<FailureReason> why =
            commit(path, dest, !extract, encoded, m_dryRun ? nullptr : &file.stamp)) {
        refuse(*why);
        return;
    }
    ++counters.successes;
    observer.resultLine(dest.target);
}

std::optional<FailureReason> JobEngine::commit(const std::string& path, const Destination& dest, bool replacesSource,
                                               std::string_view encoded, const filedeal::FileStamp* read) {
    // Each step is judged first from what is on disk now; a dry run (no `read`) stops at the judgement.
    if (const std::optional<FailureReason> why = judgeBackup(path, replacesSource)) {
        return why;
    }
    // What changed since the read explains a failed step better than the step itself.
    auto changedOr = [&](FailureReason otherwise) {
        filedeal::FileStamp now;
        return filedeal::StampOf(path, now) && !now.sameContent(*read) ? FailureReason::ChangedSinceRead : otherwise;
    };
    if (read != nullptr && replacesSource && m_options.backup) {
        // An existing backup is kept as it is (it holds the file before the first run that changed
        // it); a file whose backup can be neither made nor found is not written. A new backup is the
        // file as it was read: one changed since fails here. The backup comes before the write is
        // judged, so a file refused as read-only still has it.
        const std::string backup = filedeal::BackupPathOf(path);
        if (!filedeal::CopyFileNoOverwrite(path, backup, read) && !filedeal::FileExists(backup)) {
            return changedOr(FailureReason::BackupFailed);
        }
    }
    if (const std::optional<FailureReason> why = judgeDestination(dest, replacesSource, encoded)) {
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
    filedeal::AtomicWrite how;
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
            if (old != encoded && !filedeal::CopyFileNoOverwrite(dest.target, filedeal::BackupPathOf(dest.target))) {
                return FailureReason::BackupNameTaken;
            }
        }
    }
    if (filedeal::WriteFileAtomic(dest.target, encoded, how)) {
        return std::nullopt;
    }
    if (dest.target == path && changedOr(FailureReason::WriteFailed) == FailureReason::ChangedSinceRead) {
        return FailureReason::ChangedSinceRead;
    }
    if (PathIsThere(dest.target) && !filedeal::FileExists(dest.target)) {
        return FailureReason::NotAFile;
    }
    if (filedeal::FileExists(dest.target) && filedeal::IsReadOnly(dest.target)) {
        return FailureReason::ReadOnly;
    }
    return FailureReason::WriteFailed;
}

std::optional<FailureReason> JobEngine::judgeBackup(const std::string& path, bool replacesSource) const {
    if (!replacesSource || !m_options.backup) {
        return std::nullopt;
    }
    const std::string backup = filedeal::BackupPathOf(path);
    if (PathIsThere(backup)) {
        if (!filedeal::FileExists(backup)) {
            return FailureReason::BackupNameTaken; // a folder, a special file or a dangling link
        }
    } else if (!CanCreateIn(filedeal::ParentFolderOf(backup))) {
        return FailureReason::BackupFailed;
    }
    return std::nullopt;
}

std::optional<FailureReason> JobEngine::judgeDestination(const Destination& dest, bool replacesSource,
                                                         std::string_view encoded) const {
    if (dest.toFolder) {
        if (dest.folder.empty()) {
            return FailureReason::OutputFolderMissing;
        }
        if (filedeal::FolderExists(dest.folder)) {
            if (!CanCreateIn(dest.folder)) {
                return FailureReason::WriteFailed;
            }
        } else if (PathIsThere(dest.folder) || !CanCreateIn(filedeal::ParentFolderOf(dest.folder))) {
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
    if (!CanCreateIn(filedeal::ParentFolderOf(target))) {
        return FailureReason::WriteFailed;
    }
    return std::nullopt;
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
