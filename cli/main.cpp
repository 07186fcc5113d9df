// norvik-cli: the batch job without a window. It drives the same engine as the window and only
// prints what the window would show.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ConsoleObserver.h"
#include "filedeal/FileOps.h"
#include "job/ChangePreview.h"
#include "job/JobEngine.h"
#include "job/JobTexts.h"
#include "job/Restore.h"
#include "job/TextDiff.h"
#include "job/TextGate.h"
#include "rules/RuleFile.h"

using namespace norvik;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailures = 1;
constexpr int kExitUsage = 2;

job::JobEngine* g_engine = nullptr;

// Ctrl+C and termination end the run the way the window's Stop does: the file in hand is finished
// and the summary is still printed.
void OnSignal(int) {
    if (g_engine != nullptr) {
        g_engine->requestStop();
    }
}

std::string WorkingText(const cli::GivenText& text, std::string_view what, job::TextGate& gate) {
    return text.isHex ? text.value : gate.convert(text.value, what);
}

std::vector<job::TargetEntry> TargetsOf(const std::vector<std::string>& paths) {
    std::vector<job::TargetEntry> targets;
    for (const auto& path : paths) {
        if (filedeal::FolderExists(path)) {
            targets.push_back({path.back() == '/' ? path : path + "/", true});
        } else {
            targets.push_back({path, true});
        }
    }
    return targets;
}

int Restore(const cli::CommandLine& line) {
    std::string bytes;
    try {
        bytes = filedeal::ReadFileBytes(line.targets.front());
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
    options.ignoreCase = !line.matchCase;
    options.forceReadOnly = line.forceReadOnly;
    options.selectedTypes = line.types;
    options.outputToFolder = !line.outputFolder.empty();
    if (options.outputToFolder) {
        options.outputFolder = line.outputFolder.back() == '/' ? line.outputFolder : line.outputFolder + "/";
    }
    options.backup = line.backup && !options.outputToFolder; // output mode never overwrites a source
    options.multiple = !line.rulesFile.empty();

    job::TextGate gate;
    job::JobRequest request;
    request.targets = TargetsOf(line.targets);
    request.rules.ruleFile = line.rulesFile;
    request.dryRun = line.dryRun;
    job::RuleTexts& texts = request.rules.texts;
    std::string searchText;
    switch (line.command) {
    case cli::Command::Replace:
        options.mode = settings::ReplaceMode::Normal;
        texts.find = WorkingText(line.find, "查找内容", gate);
        texts.replacement = WorkingText(line.replacement, "替换内容", gate);
        break;
    case cli::Command::Feature:
        options.mode = settings::ReplaceMode::Feature;
        texts.featureStart = WorkingText(line.start, "起始特征字符串", gate);
        texts.featureEnd = WorkingText(line.end, "结束特征字符串", gate);
        texts.featureReplacement = WorkingText(line.replacement, "替换内容", gate);
        break;
    case cli::Command::Extract:
        options.mode = settings::ReplaceMode::Extract;
        texts.extractStart = WorkingText(line.start, "起始特征字符串", gate);
        texts.extractEnd = WorkingText(line.end, "结束特征字符串", gate);
        break;
    default:
        searchText = WorkingText(line.find, job::kSearchTextName, gate);
        break;
    }
    if (!gate.ok()) {
        std::cerr << "norvik-cli: " << gate.message() << "\n";
        return kExitUsage;
    }

    job::JobEngine engine(options);
    if (const char* budget = std::getenv("NVK_READ_AHEAD_BYTES")) {
        engine.setReadAheadBudget(std::strtoull(budget, nullptr, 10)); // for measuring; 0 turns it off
    }
    const bool progress = line.progress.value_or(::isatty(STDERR_FILENO) != 0);
    cli::ConsoleObserver observer(std::cout, std::cerr, progress);
    if (line.diff) {
        observer.setDiff([&engine, &options](const std::string& source, const std::string& target) {
            const job::FileChange change =
                job::PreviewFileChange(source, engine.ruleLists(), options.mode, options.ignoreCase);
            return job::UnifiedDiff(source == target ? source : target, change.before, change.after);
        });
    }
    g_engine = &engine;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    if (line.command == cli::Command::Search) {
        (void)engine.search(request.targets, searchText, observer);
        g_engine = nullptr;
        observer.finish();
        return kExitOk;
    }
    const job::RunResult result = engine.run(request, observer);
    g_engine = nullptr;
    observer.finish();
    if (result.status == job::RunStatus::RuleFileFailed || result.status == job::RunStatus::OutputInsideTarget) {
        std::cerr << "norvik-cli: " << result.message << "\n";
        return kExitUsage;
    }
    if (!line.resultList.empty() && !line.dryRun) {
        std::string list;
        for (const auto& path : observer.writtenPaths()) {
            list += path;
            list += '\n';
        }
        if (!filedeal::WriteFileAtomic(line.resultList, list)) {
            std::cerr << "norvik-cli: cannot write the result list '" << line.resultList << "'\n";
            return kExitFailures;
        }
    }
    return observer.errorCount() > 0 ? kExitFailures : kExitOk;
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
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::CommandLine line;
    try {
        line = cli::ParseCommandLine(args);
    } catch (const cli::UsageError& error) {
        std::cerr << "norvik-cli: " << error.what() << "\nTry 'norvik-cli --help'.\n";
        return kExitUsage;
    }
    try {
        switch (line.command) {
        case cli::Command::Help:
            std::cout << cli::HelpText();
            return kExitOk;
        case cli::Command::Version:
            std::cout << "norvik-cli 4.0\n";
            return kExitOk;
        case cli::Command::Restore:
            return Restore(line);
        default:
            return Run(line);
        }
    } catch (const std::exception& error) {
        std::cerr << "norvik-cli: " << error.what() << "\n";
        return kExitFailures;
    }
}
