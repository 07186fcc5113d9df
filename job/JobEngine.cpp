#include "job/JobEngine.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "job/JobTexts.h"
#include "job/WorkList.h"
#include "rules/RuleApply.h"

namespace norvik::job {

using settings::ReplaceMode;

namespace {

constexpr auto kPauseNap = std::chrono::milliseconds(10);

/// The folder is there, or one level of it could be made now.
bool EnsureFolder(const std::string& folder) {
    return filedeal::FolderExists(folder) || filedeal::CreateFolder(folder);
}

/// Anything at all is at the path (a link that leads nowhere included); a folder's trailing '/' is
/// not taken as a demand that it be a folder.
bool PathIsThere(const std::string& path) {
    struct stat st {};
    return ::lstat(filedeal::WithoutTrailingSlash(path).c_str(), &st) == 0;
}

/// This process may create a file in the folder (the test the kernel makes, so a folder of another
/// user or a read-only file system says no, and the administrator's override says yes).
bool CanCreateIn(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

/// The ticked target folder that the output folder is, or lies inside, once links are followed on both
/// sides; empty when there is none. The output folder need not exist yet.
std::string TargetFolderHolding(const std::string& outputFolder, const std::vector<TargetEntry>& targets) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path output = fs::weakly_canonical(fs::absolute(outputFolder, ec), ec);
    if (ec || outputFolder.empty()) {
        return {};
    }
    for (const TargetEntry& entry : targets) {
        if (!entry.checked || !filedeal::IsFolderPath(entry.path)) {
            continue;
        }
        const fs::path target = fs::canonical(entry.path, ec);
        if (ec) {
            continue; // a folder that is not there has no files to overwrite
        }
        const fs::path inner = output.lexically_relative(target);
        if (!inner.empty() && *inner.begin() != "..") {
            return entry.path;
        }
    }
    return {};
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

    // An output folder inside a target folder would take copies over sources not yet read (or, being
    // the folder itself, rewrite every source without a backup): such a run does not start.
    if (!request.useSearchHits && m_options.outputToFolder) {
        const std::string holder = TargetFolderHolding(m_options.outputFolder, request.targets);
        if (!holder.empty()) {
            result.status = RunStatus::OutputInsideTarget;
            result.message = OutputInsideTargetText(m_options.outputFolder, holder);
            return result;
        }
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
    // A result list inside a target folder would otherwise be rewritten by the run it records.
    std::vector<filedeal::FileStamp> own;
    for (const std::string& path : request.ownFiles) {
        filedeal::FileStamp stamp;
        if (filedeal::StampOf(path, stamp)) {
            own.push_back(stamp);
        }
    }
    m_workFiles.clear();
    std::erase_if(files, [&](const std::string& path) {
        filedeal::FileStamp stamp;
        if (!filedeal::StampOf(path, stamp)) {
            return false;
        }
        for (const filedeal::FileStamp& mine : own) {
            if (mine.sameFile(stamp)) {
                return true;
            }
        }
        m_workFiles.emplace(stamp.device, stamp.inode);
        return false;
    });
    if (m_stopRequested) {
        result.status = RunStatus::Stopped; // a close during collection: the list may be partial
    }
    RunCounters& counters = result.counters;
    counters.collected = static_cast<std::uint32_t>(files.size());
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
        fail(folder, counters, observer);
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
        } catch (const std::exception&) {
            // Out of memory on one large file, or anything else one file brings: the buffers of that
            // file are released by now, it is a failure like an unreadable file, and the run goes on.
            fail(files[i], counters, observer);
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
    return FindFiles(
        targets, text, m_options, observer, [this] { return m_stopRequested.load(); }, m_readAheadBudget);
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
    case LoadedFile::State::Undecodable:
        fail(path, counters, observer);
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
    // A copy or an extraction file must never land on a file of this run (through a link, a hard
    // link or an output folder that leads back among the sources).
    if (dest.target != path && isWorkFile(dest.target)) {
        fail(dest.target, counters, observer);
        return;
    }
    // A binary file would come back with CR LF for every LF: it is never rewritten. Its extracted
    // spans go to a file of their own and leave it as it is.
    if (file.binary && !extract) {
        fail(dest.target, counters, observer);
        return;
    }
    // A Unicode file whose text would not give its bytes back is never written; one that holds
    // characters beyond the code page is edited in Unicode, by rules of whole characters only.
    if (file.kind != filedeal::EncodingKind::Ansi &&
        (!file.exact || (file.beyondCodePage && !RulesAreWholeCharacters(m_parsed, mode)))) {
        fail(dest.target, counters, observer);
        return;
    }
    // Keep at most the new text and its bytes from here on: a large file is held three times at most.
    std::string().swap(file.bytes);
    std::string().swap(file.text);
    bool exact = true;
    const auto set = file.beyondCodePage ? filedeal::CharacterSet::Unicode : filedeal::CharacterSet::CodePage;
    const std::string encoded = filedeal::EncodeText(text, file.kind, &exact, set);
    std::string().swap(text);
    if (file.kind != filedeal::EncodingKind::Ansi && !exact) {
        fail(dest.target, counters, observer);
        return;
    }
    const bool written =
        m_dryRun ? foreseeWrite(path, dest, !extract, encoded) : write(path, dest, !extract, encoded, file.stamp);
    if (!written) {
        fail(dest.target, counters, observer);
        return;
    }
    ++counters.successes;
    observer.resultLine(dest.target);
}

bool JobEngine::write(const std::string& path, const Destination& dest, bool replacesSource, std::string_view encoded,
                      const filedeal::FileStamp& read) {
    if (replacesSource && m_options.backup) {
        // An existing backup is kept as it is (it holds the file before the first run that changed
        // it); a file whose backup can be neither made nor found is not written. A new backup is the
        // file as it was read: one changed since fails here.
        const std::string backup = filedeal::BackupPathOf(path);
        if (!filedeal::CopyFileNoOverwrite(path, backup, &read) && !filedeal::FileExists(backup)) {
            return false;
        }
    }
    if (replacesSource && m_options.forceReadOnly && filedeal::IsReadOnly(path)) {
        // Done to the source also in output-folder mode; a failure shows in the write that follows.
        static_cast<void>(filedeal::ClearAttributes(path));
    }
    // An output folder that cannot be made never turns into writing over the source.
    if (dest.toFolder && !EnsureFolder(dest.folder)) {
        return false;
    }
    filedeal::AtomicWrite how;
    if (dest.target == path) {
        how.unchangedSince = &read; // an edit made since the read is not overwritten
    } else {
        // A new copy or extraction file is no more readable than its source.
        how.newFileMode = static_cast<int>(read.mode & 0777);
        if (!replacesSource && filedeal::FileExists(dest.target)) {
            // An extraction file the user has (or one of an earlier run) is kept as its backup
            // before it changes; a taken backup name leaves it as it is, and so does a read-only
            // file, which the write would refuse after the backup had taken the name.
            if (filedeal::IsReadOnly(dest.target)) {
                return false;
            }
            std::string old;
            try {
                old = filedeal::ReadRegularFileBytes(dest.target);
            } catch (const filedeal::FileOpenError&) {
                return false;
            }
            if (old != encoded && !filedeal::CopyFileNoOverwrite(dest.target, filedeal::BackupPathOf(dest.target))) {
                return false;
            }
        }
    }
    return filedeal::WriteFileAtomic(dest.target, encoded, how);
}

bool JobEngine::foreseeWrite(const std::string& path, const Destination& dest, bool replacesSource,
                             std::string_view encoded) const {
    // Each step of write(), in its order, judged without doing it.
    if (replacesSource && m_options.backup) {
        const std::string backup = filedeal::BackupPathOf(path);
        if (PathIsThere(backup) ? !filedeal::FileExists(backup) : !CanCreateIn(filedeal::ParentFolderOf(backup))) {
            return false; // the name is taken by a folder (or a dangling link), or the folder is closed
        }
    }
    if (dest.toFolder) {
        if (dest.folder.empty()) {
            return false;
        }
        const bool canHold = filedeal::FolderExists(dest.folder)
                                 ? CanCreateIn(dest.folder)
                                 : !PathIsThere(dest.folder) && CanCreateIn(filedeal::ParentFolderOf(dest.folder));
        if (!canHold) {
            return false; // one level is all the run would make, and only where it may
        }
    }
    if (!replacesSource && filedeal::FileExists(dest.target) && PathIsThere(filedeal::BackupPathOf(dest.target))) {
        // The extraction file would have to be kept first, and its backup name is taken.
        try {
            if (filedeal::ReadRegularFileBytes(dest.target) != encoded) {
                return false;
            }
        } catch (const filedeal::FileOpenError&) {
            return false;
        }
    }
    // The writer follows links and writes a temporary beside the file the chain ends at.
    std::string target = dest.target;
    if (PathIsThere(target) && !filedeal::FileExists(target)) {
        return false; // a folder, a special file or a link that leads nowhere: never written over
    }
    if (filedeal::FileExists(target)) {
        std::error_code ec;
        const std::filesystem::path real = std::filesystem::canonical(target, ec);
        if (!ec) {
            target = real.string();
        }
        const bool madeWritable = replacesSource && m_options.forceReadOnly && dest.target == path;
        if (filedeal::IsReadOnly(target) && !madeWritable) {
            return false;
        }
    }
    if (dest.toFolder && !filedeal::FolderExists(dest.folder)) {
        return true; // the run makes the folder itself, so it may write in it
    }
    return CanCreateIn(filedeal::ParentFolderOf(target));
}

bool JobEngine::isWorkFile(const std::string& path) const {
    filedeal::FileStamp stamp;
    return filedeal::StampOf(path, stamp) && m_workFiles.contains({stamp.device, stamp.inode});
}

void JobEngine::fail(const std::string& path, RunCounters& counters, JobObserver& observer) {
    ++counters.failures;
    observer.errorLine(ErrorLineText(path));
}

} // namespace norvik::job
