#pragma once
// The job options the main window holds and the job, the search and the rule-list building read.
#include <cstdint>
#include <string>

#include "rules/ReplaceMode.h"

namespace norvik::settings {

using rules::ReplaceMode;

inline constexpr const char* kDefaultFileTypes =
    "*.txt;*.htm;*.c;*.cpp;*.h;*.hpp;*.pas;*.dpr;*.bpr;*.asp;*.php;*.cgi;*.ini;*.bat;*.inc;*.java;*.py";
inline constexpr const char* kDefaultSelectedTypes = "*.txt;*.htm;*.c;*.cpp";

struct ReplaceOptions {
    bool backup = true;
    bool subfolders = false;
    bool multiple = false;
    bool ignoreCase = false;
    bool forceReadOnly = false;
    ReplaceMode mode = ReplaceMode::Normal;
    std::string language;                              ///< language pack name (UTF-8)
    std::string fileTypes = kDefaultFileTypes;         ///< every known mask, ";"-separated
    std::string selectedTypes = kDefaultSelectedTypes; ///< the masks the job works on
    std::string outputFolder;                          ///< ends with '/', or empty (file system bytes)
    bool outputToFolder = false;
    bool extractAddSource = false;
    bool extractBlankLine = false;
    bool extractIncludeStart = false;
    bool extractIncludeEnd = false;
    /// Workers that prepare files side by side; 0 means one per processor core.
    unsigned jobs = 0;
    /// Backups and new texts reach the disk before the rename that replaces an original.
    bool durableWrites = true;
    /// Folders of version-control systems (.git, .svn, ...) are skipped.
    bool defaultExcludes = true;
    std::string excludeMasks; ///< names of files and folders that are skipped, ";"-separated masks
    bool history = true;      ///< every run that writes is recorded so that it can be undone
    unsigned historyMaxRuns = 50;
    std::uint64_t historyMaxBytes = std::uint64_t{1} << 30;

    friend bool operator==(const ReplaceOptions&, const ReplaceOptions&) = default;
};

} // namespace norvik::settings
