#include "cli/CommandLine.h"

#include <cstdlib>

#include "filedeal/HexText.h"
#include "rules/RuleFile.h"

namespace norvik::cli {

namespace {

Command CommandOf(const std::string& word) {
    if (word == "replace") {
        return Command::Replace;
    }
    if (word == "feature") {
        return Command::Feature;
    }
    if (word == "extract") {
        return Command::Extract;
    }
    if (word == "search") {
        return Command::Search;
    }
    if (word == "restore") {
        return Command::Restore;
    }
    if (word == "history") {
        return Command::History;
    }
    if (word == "--help" || word == "-h" || word == "help") {
        return Command::Help;
    }
    if (word == "--version") {
        return Command::Version;
    }
    throw UsageError("unknown command '" + word + "'");
}

void SetText(GivenText& text, const std::string& option, const std::string& value, bool hex) {
    if (text.given) {
        throw UsageError(option + " is given twice");
    }
    if (hex && !filedeal::IsValidHex(value)) {
        throw UsageError(option + " is not a valid hex text: '" + value + "'");
    }
    text.value = hex ? filedeal::HexToText(value) : value;
    text.isHex = hex;
    text.given = true;
}

void Require(bool condition, const std::string& message) {
    if (!condition) {
        throw UsageError(message);
    }
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    if (args.empty()) {
        throw UsageError("no command given");
    }
    line.command = CommandOf(args[0]);
    if (line.command == Command::Help || line.command == Command::Version) {
        return line;
    }
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            line.targets.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const auto value = [&]() -> std::string {
            if (inlineValue) {
                return *inlineValue;
            }
            if (i + 1 >= args.size()) {
                throw UsageError(name + " needs a value");
            }
            return args[++i];
        };
        if (name == "--help" || name == "-h") {
            line.command = Command::Help;
            return line;
        }
        if (name == "--version") {
            line.command = Command::Version;
            return line;
        }
        if (name == "--find" || name == "--find-hex") {
            SetText(line.find, name, value(), name == "--find-hex");
        } else if (name == "--replace" || name == "--replace-hex") {
            SetText(line.replacement, name, value(), name == "--replace-hex");
        } else if (name == "--start" || name == "--start-hex") {
            SetText(line.start, name, value(), name == "--start-hex");
        } else if (name == "--end" || name == "--end-hex") {
            SetText(line.end, name, value(), name == "--end-hex");
        } else if (name == "--rules") {
            line.rulesFile = value();
        } else if (name == "--types") {
            line.types = value();
        } else if (name == "--exclude") {
            const std::string masks = value();
            line.excludeMasks += (line.excludeMasks.empty() || masks.empty() ? "" : ";") + masks;
        } else if (name == "--output") {
            line.outputFolder = value();
            Require(!line.outputFolder.empty(), "--output needs a folder");
        } else if (name == "--result-list") {
            line.resultList = value();
        } else if (name == "--run") {
            line.restoreRun = value();
            Require(!line.restoreRun.empty(), "--run needs a run id");
        } else if (name == "--history-folder") {
            line.historyFolder = value();
            Require(!line.historyFolder.empty(), "--history-folder needs a folder");
        } else if (name == "--no-history" && !inlineValue) {
            line.history = false;
        } else if (name == "--no-subdirs" && !inlineValue) {
            line.subfolders = false;
        } else if (name == "--no-default-excludes" && !inlineValue) {
            line.defaultExcludes = false;
        } else if (name == "--match-case" && !inlineValue) {
            line.matchCase = true;
        } else if (name == "--no-backup" && !inlineValue) {
            line.backup = false;
        } else if (name == "--force-readonly" && !inlineValue) {
            line.forceReadOnly = true;
        } else if (name == "--jobs") {
            const std::string count = value();
            char* end = nullptr;
            const unsigned long n = std::strtoul(count.c_str(), &end, 10);
            Require(!count.empty() && *end == '\0' && count[0] != '-' && n >= 1 && n <= 64,
                    "--jobs needs a number from 1 to 64");
            line.jobs = static_cast<unsigned>(n);
        } else if (name == "--no-sync" && !inlineValue) {
            line.sync = false;
        } else if (name == "--dry-run" && !inlineValue) {
            line.dryRun = true;
        } else if (name == "--diff" && !inlineValue) {
            line.diff = true;
        } else if (name == "--progress" && !inlineValue) {
            line.progress = true;
        } else if (name == "--no-progress" && !inlineValue) {
            line.progress = false;
        } else {
            throw UsageError("unknown option '" + arg + "'");
        }
    }

    Require(!line.diff || line.dryRun, "--diff needs --dry-run");
    Require(line.restoreRun.empty() || line.command == Command::Restore, "--run is an option of restore");
    Require(!line.diff || line.command == Command::Replace || line.command == Command::Feature,
            "--diff is for replace and feature");
    const bool typed = line.find.given || line.replacement.given || line.start.given || line.end.given;
    switch (line.command) {
    case Command::Replace:
        Require(!line.start.given && !line.end.given, "replace takes --find and --replace, not --start or --end");
        if (!line.rulesFile.empty()) {
            Require(!typed, "give either --rules or --find/--replace, not both");
            Require(rules::RuleFileKindOf(line.rulesFile) == rules::RuleFileKind::Normal,
                    "replace needs a normal rule file (.nrr): '" + line.rulesFile + "'");
        } else {
            Require(line.find.given && line.replacement.given, "replace needs --find and --replace (or --rules)");
        }
        break;
    case Command::Feature:
    case Command::Extract: {
        const bool extract = line.command == Command::Extract;
        Require(!line.find.given, "--find is not an option of this command");
        Require(!extract || !line.replacement.given, "extract takes no --replace");
        if (!line.rulesFile.empty()) {
            Require(!typed, "give either --rules or the feature texts, not both");
            Require(rules::RuleFileKindOf(line.rulesFile) == rules::RuleFileKind::Feature,
                    "this command needs a feature rule file (.crr): '" + line.rulesFile + "'");
        } else {
            Require(line.start.given && line.end.given, "give --start and --end (or --rules)");
            Require(extract || line.replacement.given, "feature needs --replace (or --rules)");
        }
        break;
    }
    case Command::Search:
        Require(line.find.given && !line.replacement.given && !line.start.given && !line.end.given &&
                    line.rulesFile.empty(),
                "search takes --find and nothing else to match");
        break;
    case Command::Restore:
        if (line.restoreRun.empty()) {
            Require(line.targets.size() == 1, "restore takes exactly one list file (or --run ID)");
        } else {
            Require(line.targets.empty(), "restore --run takes no list file");
        }
        break;
    case Command::History:
        Require(line.targets.empty(), "history takes no target");
        break;
    case Command::Help:
    case Command::Version:
        break;
    }
    if (line.command != Command::Restore && line.command != Command::History) {
        Require(!line.targets.empty(), "no target given");
    }
    return line;
}

std::string HelpText() {
    return R"(Usage:
  norvik-cli replace [options] (--find TEXT --replace TEXT | --rules FILE.nrr) TARGET...
  norvik-cli feature [options] (--start TEXT --end TEXT --replace TEXT | --rules FILE.crr) TARGET...
  norvik-cli extract [options] (--start TEXT --end TEXT | --rules FILE.crr) TARGET...
  norvik-cli search  [options] --find TEXT TARGET...
  norvik-cli restore LISTFILE
  norvik-cli restore --run ID [--history-folder DIR]
  norvik-cli history [--history-folder DIR]

Replaces text in every file of the targets, each file read and written in its own encoding
(GBK, UTF-16LE with a mark, UTF-8 with or without a mark). An existing folder is a folder target;
any other path is a file target. feature replaces every span from a start text to the next end
text; extract writes the spans of each file to <file>.extract.txt.

Texts:
  --find TEXT, --replace TEXT, --start TEXT, --end TEXT
                        UTF-8 texts, converted to the working code page (GBK)
  --find-hex HEX, --replace-hex HEX, --start-hex HEX, --end-hex HEX
                        exact bytes in the rule-file hex form (two hex digits a byte)
  --rules FILE          a rule file (.nrr for replace, .crr for feature and extract)

Options:
  --types MASKS         file masks, ';'-separated (default "*.txt;*.htm;*.c;*.cpp")
  --no-subdirs          do not descend into subfolders
  --exclude MASKS       skip files and folders whose name matches, ';'-separated masks as for
                        --types (e.g. "vendor;*.min.js"); may be given more than once. An
                        excluded folder is not entered; file targets and the target folders
                        themselves are never excluded
  --no-default-excludes also enter version-control folders (.git, .svn, .hg, .bzr, _darcs, CVS),
                        which are skipped by default
  --match-case          match letter case (default: case is ignored)
  --no-backup           do not keep <file>.bak backups (output mode never makes them)
  --force-readonly      replace read-only files too (they become writable)
  --output DIR          write changed files into DIR instead of over the sources (DIR must not
                        be, or lie inside, a target folder)
  --dry-run             change nothing; print what would be written and the predicted summary
  --diff                with --dry-run (replace, feature): print a unified diff of each file that
                        would change instead of its path (UTF-8, 3 lines of context), then the summary
  --result-list FILE    write the written paths to FILE, one per line, each as soon as its file
                        is written (the input of restore)
  --progress            show a progress bar on standard error (default when it is a terminal)
  --jobs N              prepare files on N threads (default: one per processor core); the
                        results and their order are the same for any N
  --no-sync             do not wait for backups and new texts to reach the disk before the
                        originals are replaced (faster; for throwaway trees only)
  --no-history          do not record the run in the run history
  --history-folder DIR  keep the run history in DIR instead of the user's state folder
  --help, --version

Run history: every run that writes a file is recorded, with the bytes each file it wrote had
before, in the state folder ($XDG_STATE_HOME/norvik/history/, by default
~/.local/state/norvik/history/; history/ beside NVK.xml for a portable copy). The newest 50 runs
are kept, and no more than 1 GiB, unless the window's settings (NVK.xml) say otherwise. A history
folder that cannot be written stops the run before it touches anything (exit status 2).
  history               lists the runs, newest first, one a line: the run's id, then the time,
                        the mode, the counts ("undone" once a restore put all of it back) and
                        the first target
  restore --run ID      puts back every file that run wrote, to the bytes it had before it, when
                        the file still holds what the run wrote (a file the run created is
                        removed); a file changed since is an error line and stays as it is.
                        Restoring the newest run, then the one before, gives back the tree as it was.
  restore LISTFILE      puts the .bak backups of the files in a result list back

Output: each written path, the summary line and the elapsed time on standard output; failures as
"<path> is Error!!!" on standard error. Binary files (no Unicode mark, a zero byte in the first
8,000 bytes) are never rewritten: one the rules would change is a failure. Ctrl+C, SIGTERM and
SIGHUP stop the run after the file in hand (the summary is still printed).
Exit status: 0 no error; 1 some file or folder failed, or the output or the result list could not
be written; 2 bad usage, an unreadable rule or list file, a text the code page cannot represent,
an output folder among the targets, a run history that cannot be written, or an unknown or
damaged run for restore --run (nothing touched); 3 the run was stopped by a signal
before its end (the files after it untouched).
)";
}

} // namespace norvik::cli
