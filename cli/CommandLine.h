#pragma once
// The arguments of norvik-cli, read into one record.
#include <optional>
#include <string>
#include <vector>

#include "settings/ReplaceOptions.h"

namespace norvik::cli {

enum class Command { Replace, Feature, Extract, Search, Restore, Help, Version };

/// A text given on the command line: UTF-8 to convert, or exact bytes from the hex form.
struct GivenText {
    std::string value;
    bool isHex = false;
    bool given = false;
};

struct CommandLine {
    Command command = Command::Help;
    GivenText find;
    GivenText replacement;
    GivenText start;
    GivenText end;
    std::string rulesFile;
    std::string types = settings::kDefaultSelectedTypes;
    bool subfolders = true;
    bool matchCase = false;
    bool backup = true;
    bool forceReadOnly = false;
    std::string outputFolder;
    bool dryRun = false;
    bool diff = false; ///< with dryRun: a unified diff of each file that would change
    std::string resultList;
    std::optional<bool> progress;     ///< unset: on when standard error is a terminal
    unsigned jobs = 0;                ///< workers preparing files; 0: one per core
    bool sync = true;                 ///< durable commits
    std::vector<std::string> targets; ///< for restore: the one list file
};

/// Reads the arguments (without the program name). Gives the record, or throws UsageError.
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& args);

class UsageError : public std::exception {
public:
    explicit UsageError(std::string message) : m_message(std::move(message)) {}
    [[nodiscard]] const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

/// The text of --help.
[[nodiscard]] std::string HelpText();

} // namespace norvik::cli
