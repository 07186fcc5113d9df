// norvik-cli: the batch job without a window. It drives the same engine as the window and only
// prints what the window would show.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <limits>
#include <malloc.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ConsoleObserver.h"
#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "job/ChangePreview.h"
#include "job/JobEngine.h"
#include "job/JobTexts.h"
#include "job/Restore.h"
#include "job/ResultListFile.h"
#include "job/RunHistory.h"
#include "job/TextDiff.h"
#include "job/TextGate.h"
#include "norvik/Version.h"
#include "rules/RuleFile.h"
#include "settings/AppFolders.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsKeys.h"

using namespace norvik;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailures = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 3;

job::JobEngine* g_engine = nullptr;
volatile std::sig_atomic_t g_stopSignal = 0;

// Ctrl+C, termination and a closed terminal end the run the way the window's Stop does: the file in
// hand is finished and the summary is still printed. The flag keeps a signal that comes before the
// engine is under way (it clears its stop request when a run starts).
void OnSignal(int) {
    g_stopSignal = 1;
    if (g_engine != nullptr) {
        g_engine->requestStop();
    }
}

void InstallSignalHandlers() {
    // Output that cannot be written (the reader of a pipe went away) is noticed by the streams and
    // turned into the exit status; it never ends the job half-way.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
}

/// The console observer, plus the two things only the command line does: it passes a stop signal on
/// to the engine between files, and writes the result list line by line as files are written.
class CliObserver : public cli::ConsoleObserver {
public:
    CliObserver(job::JobEngine& engine, job::ResultListFile* list, bool progressBar)
        : ConsoleObserver(std::cout, std::cerr, progressBar), m_engine(engine), m_list(list) {}

    void yield() override {
        if (g_stopSignal != 0) {
            m_engine.requestStop();
        }
        ConsoleObserver::yield();
    }
    void resultLine(const std::string& path) override {
        ConsoleObserver::resultLine(path);
        if (m_list != nullptr && !m_list->append(path) && !m_listReported) {
            m_listReported = true;
            std::cerr << "norvik-cli: cannot write the result list: " << m_list->error() << "\n";
        }
    }

private:
    job::JobEngine& m_engine;
    job::ResultListFile* m_list;
    bool m_listReported = false;
};

/// Flushes standard output and error; false when anything printed could not be written (a closed
/// pipe, a full disk), which makes the exit status non-zero.
bool OutputWritten() {
    std::cout.flush();
    std::cerr.flush();
    if (std::cout.fail()) {
        std::cerr << "norvik-cli: cannot write standard output\n" << std::flush;
        return false;
    }
    return !std::cerr.fail();
}

std::string WorkingText(const cli::GivenText& text, std::string_view what, job::TextGate& gate) {
    return text.isHex ? text.value : gate.convert(text.value, what);
}

const cli::GivenText& ArgumentOf(const cli::CommandLine& line, job::TextRole role) {
    switch (role) {
    case job::TextRole::Replacement:
        return line.replacement;
    case job::TextRole::Start:
        return line.start;
    case job::TextRole::End:
        return line.end;
    case job::TextRole::Find:
        break;
    }
    return line.find;
}

std::vector<job::TargetEntry> TargetsOf(const std::vector<std::string>& paths) {
    std::vector<job::TargetEntry> targets;
    for (const auto& path : paths) {
        if (filedeal::FolderExists(path)) {
            targets.push_back({filedeal::WithTrailingSlash(path), true});
        } else {
            targets.push_back({path, true});
        }
    }
    return targets;
}

#ifndef NORVIK_SHIPPED_FROM_BIN
#define NORVIK_SHIPPED_FROM_BIN "../share/norvik"
#endif

/// The user's folders, as the window finds them; none when the program cannot tell where it is.
std::optional<settings::AppFolders> UserFolders() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::nullopt;
    }
    const std::string exeFolder = exe.parent_path().string() + "/";
    return settings::LocateAppFolders(exeFolder, settings::ShippedFolderOf(exeFolder, NORVIK_SHIPPED_FROM_BIN),
                                      settings::CurrentUserEnvironment());
}

/// The run history's folder: the one given, or the user's (as the window finds it).
std::string HistoryFolderOf(const cli::CommandLine& line) {
    if (!line.historyFolder.empty()) {
        return line.historyFolder;
    }
    const std::optional<settings::AppFolders> folders = UserFolders();
    return folders ? folders->historyFolder : std::string();
}

/// How much history a run keeps: what the window's settings file says (the user's choice, which the
/// retention at the end of a run must not undercut), the defaults where it says nothing or cannot be
/// read (said on the error output).
job::HistoryLimits HistoryLimitsOf() {
    const settings::ReplaceOptions defaults;
    job::HistoryLimits limits{defaults.historyMaxRuns, defaults.historyMaxBytes};
    const std::optional<settings::AppFolders> folders = UserFolders();
    if (!folders || folders->settingsFile.empty()) {
        return limits;
    }
    settings::SettingsDocument document;
    const settings::LoadResult loaded = document.loadFile(folders->settingsFile);
    if (loaded.status == settings::LoadStatus::ParseError) {
        std::cerr << "norvik-cli: " << folders->settingsFile << ": " << loaded.message
                  << "; the run history keeps its default limits\n";
    }
    if (!loaded.ok()) {
        return limits;
    }
    try {
        limits.maxRuns = static_cast<unsigned>(std::min<std::uint64_t>(
            settings::ReadLimit(document.readSetting(settings::keys::kHistoryMaxRuns), limits.maxRuns),
            std::numeric_limits<unsigned>::max()));
        limits.maxBytes = settings::ReadLimit(document.readSetting(settings::keys::kHistoryMaxBytes), limits.maxBytes);
    } catch (const settings::SettingsError& error) {
        std::cerr << "norvik-cli: " << folders->settingsFile << ": " << error.what()
                  << "; the run history keeps its default limits\n";
        return {defaults.historyMaxRuns, defaults.historyMaxBytes};
    }
    return limits;
}

int ListHistory(const cli::CommandLine& line) {
    const job::RunHistory history(HistoryFolderOf(line));
    const job::HistoryListing listing = history.list();
    for (const job::HistoryRun& run : listing.runs) {
        std::cout << job::HistoryLineText(run) << "\n";
    }
    // A damaged entry is named and left out; the others are still listed.
    for (const std::string& problem : listing.problems) {
        std::cerr << "norvik-cli: " << problem << "\n";
    }
    return listing.problems.empty() ? kExitOk : kExitFailures;
}

int RestoreRun(const cli::CommandLine& line) {
    const job::RunHistory history(HistoryFolderOf(line));
    const settings::ReplaceOptions options;
    job::JobEngine engine(options);
    cli::ConsoleObserver observer(std::cout, std::cerr, false);
    const job::RestoreRunResult result = engine.restoreRun(history, line.restoreRun, observer);
    observer.finish();
    if (result.status != job::RestoreRunStatus::Done) {
        std::cerr << "norvik-cli: " << result.message << "\n";
        return kExitUsage;
    }
    std::cout << job::RunRestoredText(result.restored, result.failed) << "\n";
    if (!result.message.empty()) {
        std::cerr << "norvik-cli: " << result.message << "\n"; // undone, but not marked so
    }
    return result.failed > 0 ? kExitFailures : kExitOk;
}

int Restore(const cli::CommandLine& line) {
    if (!line.restoreRun.empty()) {
        return RestoreRun(line);
    }
    std::string bytes;
    try {
        bytes = filedeal::ReadSmallFileBytes(line.targets.front());
    } catch (const filedeal::FileOpenError& error) {
        std::cerr << "norvik-cli: " << error.what() << "\n";
        return kExitUsage;
    }
    std::vector<std::string> paths;
    for (auto& path : rules::SplitTextLines(bytes)) {
        if (!path.empty()) {
            paths.push_back(std::move(path));
        }
    }
    const settings::ReplaceOptions options; // restore never runs in output-folder mode here
    const job::RestoreResult result = job::RestoreBackups(paths, options);
    std::cout << job::RestoredText(result.restored) << "\n";
    return kExitOk;
}

int Run(const cli::CommandLine& line) {
    settings::ReplaceOptions options;
    options.subfolders = line.subfolders;
    options.excludeMasks = line.excludeMasks;
    options.defaultExcludes = line.defaultExcludes;
    options.ignoreCase = !line.matchCase;
    options.forceReadOnly = line.forceReadOnly;
    options.jobs = line.jobs;
    options.durableWrites = line.sync;
    options.selectedTypes = line.types;
    options.outputToFolder = !line.outputFolder.empty();
    if (options.outputToFolder) {
        options.outputFolder = filedeal::WithTrailingSlash(line.outputFolder);
    }
    options.backup = line.backup && !options.outputToFolder; // output mode never overwrites a source
    options.multiple = !line.rulesFile.empty();

    job::TextGate gate;
    job::JobRequest request;
    request.targets = TargetsOf(line.targets);
    request.rules.ruleFile = line.rulesFile;
    request.dryRun = line.dryRun;
    std::string searchText;
    switch (line.command) {
    case cli::Command::Replace:
        options.mode = settings::ReplaceMode::Normal;
        break;
    case cli::Command::Feature:
        options.mode = settings::ReplaceMode::Feature;
        break;
    case cli::Command::Extract:
        options.mode = settings::ReplaceMode::Extract;
        break;
    default:
        searchText = WorkingText(line.find, job::kSearchTextName, gate);
        break;
    }
    if (line.command != cli::Command::Search) {
        // The mode's texts, each from the argument of its role (--rules leaves them all empty).
        for (const job::TypedText& text : job::TextsOfMode(options.mode)) {
            request.rules.texts.*text.field = WorkingText(ArgumentOf(line, text.role), text.name, gate);
        }
    }
    if (!gate.ok()) {
        std::cerr << "norvik-cli: " << gate.message() << "\n";
        return kExitUsage;
    }

    job::JobEngine engine(options);
    if (const char* budget = std::getenv("NVK_PREPARE_BYTES")) {
        engine.setPrepareBudget(std::strtoull(budget, nullptr, 10)); // for measuring; 0 holds nothing ahead
    }
    // The list is opened before any file is touched: a list that cannot be written stops the command
    // while nothing has changed, rather than leaving a run without its undo information. It is
    // emptied only once the run is under way (see ResultListFile).
    job::ResultListFile list;
    const bool withList = !line.resultList.empty() && !line.dryRun && line.command != cli::Command::Search;
    if (withList && !list.open(line.resultList)) {
        std::cerr << "norvik-cli: cannot write the result list '" << line.resultList << "': " << list.error() << "\n";
        return kExitUsage;
    }
    const bool progress = line.progress.value_or(::isatty(STDERR_FILENO) != 0);
    if (withList) {
        request.ownFiles.push_back(line.resultList);
    }
    // The history is opened by the run itself, before it touches anything: a folder that cannot be
    // written stops the command rather than leaving a run without its undo.
    std::optional<job::RunHistory> history;
    std::optional<job::RunRecorder> recorder;
    if (line.history && line.command != cli::Command::Search) {
        history.emplace(HistoryFolderOf(line), HistoryLimitsOf());
        recorder.emplace(*history);
        request.journal = &*recorder;
    }
    // Where the report goes when it is redirected to a file: a copy must not land on it either.
    request.ownFiles.emplace_back("/dev/stdout");
    request.ownFiles.emplace_back("/dev/stderr");
    CliObserver observer(engine, withList ? &list : nullptr, progress);
    if (line.diff) {
        observer.setDiff([&engine, &options](std::ostream& out, const std::string& source, const std::string& target) {
            const job::FileChange change =
                job::PreviewFileChange(source, engine.parsedRuleLists(), options.mode, options.ignoreCase);
            if (!change.readable) {
                return std::string("the file can no longer be read");
            }
            const job::TextDiff diff(change.before, change.after);
            diff.writeUnified(out, source == target ? source : target);
            return std::string();
        });
    }
    g_engine = &engine;
    if (g_stopSignal != 0) {
        return kExitStopped; // stopped before anything was looked at
    }

    if (line.command == cli::Command::Search) {
        const job::SearchResult found = engine.search(request.targets, searchText, observer);
        g_engine = nullptr;
        observer.finish();
        if (found.status == job::SearchStatus::Stopped) {
            return kExitStopped;
        }
        return found.failures > 0 ? kExitFailures : kExitOk;
    }
    const job::RunResult result = engine.run(request, observer);
    g_engine = nullptr;
    observer.finish();
    if (result.status == job::RunStatus::RuleFileFailed || result.status == job::RunStatus::OutputInsideTarget ||
        result.status == job::RunStatus::HistoryUnavailable) {
        std::cerr << "norvik-cli: " << result.message << "\n";
        return kExitUsage;
    }
    bool listWritten = true;
    if (withList && !(list.start() && list.close())) {
        listWritten = false;
        std::cerr << "norvik-cli: the result list '" << line.resultList << "' is incomplete: " << list.error() << "\n";
    }
    if (result.status == job::RunStatus::Stopped) {
        return kExitStopped;
    }
    return observer.errorCount() > 0 || !listWritten ? kExitFailures : kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    // Whole files pass through large buffers one after another. Keeping freed memory for reuse,
    // instead of handing every buffer back to the system and faulting fresh zeroed pages in for the
    // next file, roughly halves the time of a job over many files.
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20); // the largest value allowed
    ::mallopt(M_TRIM_THRESHOLD, 512 << 20);
    ::mallopt(M_ARENA_MAX, 1);
    std::ios::sync_with_stdio(false);
    InstallSignalHandlers();
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::CommandLine line;
    try {
        line = cli::ParseCommandLine(args);
    } catch (const cli::UsageError& error) {
        std::cerr << "norvik-cli: " << error.what() << "\nTry 'norvik-cli --help'.\n";
        return kExitUsage;
    }
    int status = kExitOk;
    try {
        switch (line.command) {
        case cli::Command::Help:
            std::cout << cli::HelpText();
            break;
        case cli::Command::Version:
            std::cout << "norvik-cli " << kVersion << "\n";
            break;
        case cli::Command::Restore:
            status = Restore(line);
            break;
        case cli::Command::History:
            status = ListHistory(line);
            break;
        default:
            status = Run(line);
            break;
        }
    } catch (const std::exception& error) {
        std::cerr << "norvik-cli: " << error.what() << "\n";
        status = kExitFailures;
    }
    // Paths that never reached their reader are a failure a script must see.
    if (!OutputWritten() && status == kExitOk) {
        status = kExitFailures;
    }
    return status;
}
