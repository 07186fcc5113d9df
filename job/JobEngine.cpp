#include "job/JobEngine.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "filedeal/FileOps.h"
#include "filedeal/RuleApply.h"
#include "job/JobTexts.h"
#include "job/WorkList.h"

namespace norvik::job {

using settings::ReplaceMode;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kBackupSuffix = ".bak";
constexpr std::string_view kExtractSuffix = ".extract.txt";
constexpr auto kPauseNap = std::chrono::milliseconds(10);

std::uint64_t MillisecondsSince(Clock::time_point start) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

/// The output folder as a prefix: it is meant to end with '/', and a missing one is supplied so the
/// file name never fuses with the folder's last name.
std::string FolderPrefix(const std::string& folder) {
    if (!folder.empty() && folder.back() != '/') {
        return folder + '/';
    }
    return folder;
}

/// The folder is there, or one level of it could be made now.
bool EnsureFolder(const std::string& folder) {
    return filedeal::FolderExists(folder) || filedeal::CreateFolder(folder);
}

/// For a Unicode file, true when neither the text as read nor the new text loses a character on the
/// way through the code page, so writing `encoded` keeps everything the file held apart from what the
/// rules changed. An ANSI file is written byte for byte and always passes.
bool SafeToWrite(const std::string& bytes, const std::string& original, filedeal::EncodingKind kind,
                 bool encodedExactly) {
    if (kind == filedeal::EncodingKind::Ansi) {
        return true;
    }
    return encodedExactly && filedeal::SurvivesRoundTrip(bytes, original, kind);
}

} // namespace

struct JobEngine::FileData {
    enum class State { Missing, Unreadable, Loaded } state = State::Missing;
    std::string bytes; ///< as read from disk
    filedeal::EncodingKind kind = filedeal::EncodingKind::Unopenable;
    std::string text; ///< the working text of `bytes`
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

    const std::vector<std::string> files =
        request.useSearchHits
            ? TickedPaths(request.searchHits)
            : CollectWorkList(request.targets, m_options, yield, [this] { return m_stopRequested.load(); });
    RunCounters& counters = result.counters;
    counters.collected = static_cast<std::uint32_t>(files.size());
    observer.filesCollected(files.size());

    const RuleBuildResult built = BuildRuleList(m_lists, m_options.mode, m_options.multiple, request.rules);
    if (!built.ok) {
        result.status = RunStatus::RuleFileFailed;
        result.message = built.message;
        return result;
    }
    m_extractApplies = HasApplicableFeatureRule(m_lists.extract);

    for (std::size_t i = 0; i < files.size(); ++i) {
        m_running = true;
        observer.yield();
        if (m_stopRequested || !waitWhilePaused(observer)) {
            result.status = RunStatus::Stopped;
            break;
        }
        observer.progress(ProgressPercent(i, files.size()));
        handleFile(files[i], counters, observer);
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

JobEngine::FileData JobEngine::loadFile(const std::string& path) const {
    FileData file;
    if (!filedeal::FileExists(path)) {
        return file;
    }
    try {
        file.bytes = filedeal::ReadFileBytes(path);
    } catch (const filedeal::FileOpenError&) {
        file.state = FileData::State::Unreadable;
        return file;
    }
    file.state = FileData::State::Loaded;
    file.kind = filedeal::DetectEncodingOfBytes(file.bytes);
    file.text = filedeal::DecodeText(file.bytes, file.kind);
    return file;
}

void JobEngine::handleFile(const std::string& path, RunCounters& counters, JobObserver& observer) {
    const FileData file = loadFile(path);
    switch (file.state) {
    case FileData::State::Missing:
        ++counters.missing;
        return;
    case FileData::State::Unreadable:
        fail(path, counters, observer);
        return;
    case FileData::State::Loaded:
        break;
    }
    const ReplaceMode mode = m_options.mode;
    if (mode == ReplaceMode::Extract) {
        extractFromFile(path, file, counters, observer);
    } else {
        replaceInFile(path, file, mode, counters, observer);
    }
}

void JobEngine::replaceInFile(const std::string& path, const FileData& file, ReplaceMode mode, RunCounters& counters,
                              JobObserver& observer) {
    std::string text = file.text;
    if (mode == ReplaceMode::Normal) {
        filedeal::ApplyNormalRules(text, m_lists.normal, m_options.ignoreCase);
    } else {
        filedeal::ApplyFeatureRules(text, m_lists.feature, false, [&observer] { observer.yield(); });
    }
    if (text == file.text) {
        return;
    }
    ++counters.changed;
    observer.changedFile(path);

    const bool toFolder = m_options.outputToFolder;
    const std::string folder = toFolder ? FolderPrefix(m_options.outputFolder) : std::string();
    const std::string target = toFolder ? folder + filedeal::FileNameOf(path) : path;

    bool exact = true;
    const std::string encoded = filedeal::EncodeText(text, file.kind, &exact);
    if (!SafeToWrite(file.bytes, file.text, file.kind, exact)) {
        fail(target, counters, observer);
        return;
    }
    if (m_options.backup) {
        // An existing backup is kept as it is (it holds the file before the first run that changed
        // it); a file whose backup can be neither made nor found is not written.
        const std::string backup = path + std::string(kBackupSuffix);
        if (!filedeal::CopyFileNoOverwrite(path, backup) && !filedeal::FileExists(backup)) {
            fail(target, counters, observer);
            return;
        }
    }
    if (m_options.forceReadOnly && filedeal::IsReadOnly(path)) {
        // Done to the source also in output-folder mode; a failure shows in the write that follows.
        static_cast<void>(filedeal::ClearAttributes(path));
    }
    // An output folder that cannot be made never turns into writing over the source.
    if (toFolder && !EnsureFolder(folder)) {
        fail(target, counters, observer);
        return;
    }
    if (!filedeal::WriteFileAtomic(target, encoded)) {
        fail(target, counters, observer);
        return;
    }
    ++counters.successes;
    observer.resultLine(target);
}

void JobEngine::extractFromFile(const std::string& path, const FileData& file, RunCounters& counters,
                                JobObserver& observer) {
    if (!m_extractApplies) {
        return;
    }
    std::string text = file.text;
    filedeal::ApplyFeatureRules(text, m_lists.extract, true, [&observer] { observer.yield(); });
    if (text.empty()) {
        return;
    }
    ++counters.changed;
    observer.changedFile(path);

    // The spans go to a file of their own; the source is never written, backed up or touched.
    const bool toFolder = m_options.outputToFolder;
    const std::string folder = toFolder ? FolderPrefix(m_options.outputFolder) : std::string();
    const std::string target = (toFolder ? folder + filedeal::FileNameOf(path) : path) + std::string(kExtractSuffix);

    bool exact = true;
    const std::string encoded = filedeal::EncodeText(text, file.kind, &exact);
    if (!SafeToWrite(file.bytes, file.text, file.kind, exact) || (toFolder && !EnsureFolder(folder)) ||
        !filedeal::WriteFileAtomic(target, encoded)) {
        fail(target, counters, observer);
        return;
    }
    ++counters.successes;
    observer.resultLine(target);
}

void JobEngine::fail(const std::string& path, RunCounters& counters, JobObserver& observer) {
    ++counters.failures;
    observer.errorLine(ErrorLineText(path));
}

} // namespace norvik::job
