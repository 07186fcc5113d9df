#pragma once
// The keys of the settings file, spelled exactly as they are stored (including the historic
// misspellings, which existing settings files rely on), and the window state each starts from.
#include <array>
#include <string_view>

#include "settings/ReplaceOptions.h"

namespace norvik::settings::keys {

inline constexpr std::string_view kTarget = "Target";
inline constexpr std::string_view kBackUp = "BackUp";
inline constexpr std::string_view kCaseSensitive = "Case_Sensitive";
inline constexpr std::string_view kSubdir = "Subdir";
inline constexpr std::string_view kMutilReplace = "MutilReplace";
inline constexpr std::string_view kForceReadOnly = "Force_ReadOnly";
inline constexpr std::string_view kItsSelf = "itsSelf";
inline constexpr std::string_view kOutPutDir = "OutPutDir";
inline constexpr std::string_view kDefaultFileExt = "DefaultFileExt";
inline constexpr std::string_view kSelectFileExt = "SelectFileExt";
inline constexpr std::string_view kReplaceType = "ReplaceType";
inline constexpr std::string_view kNormalReplaceMemo1 = "NormalReplaceMemo1";
inline constexpr std::string_view kNormalReplaceMemo2 = "NormalReplaceMemo2";
inline constexpr std::string_view kCharacterReplaceMemo1 = "CharacterReplaceMemo1";
inline constexpr std::string_view kCharacterReplaceMemo2 = "CharacterReplaceMemo2";
inline constexpr std::string_view kCharacterReplaceMemo3 = "CharacterReplaceMemo3";
inline constexpr std::string_view kLanguage = "Language";
inline constexpr std::string_view kRepacleRulesFile = "RepacleRulesFile";
inline constexpr std::string_view kExtractFileSourceAdd = "Extract_File_Source_Add";
inline constexpr std::string_view kExtractAddEmptyRow = "Extract_Add_Empty_Row";
inline constexpr std::string_view kExtractIncludeStart = "Extract_Include_Start";
inline constexpr std::string_view kExtractIncludeEnd = "Extract_Include_End";
// Keys added later: a file without them loads their defaults.
inline constexpr std::string_view kJobs = "Jobs";
inline constexpr std::string_view kSyncWrites = "SyncWrites";

/// A key and the value that stands for the windows' state before anything is loaded; the shipped
/// settings file holds exactly these.
struct KeyDefault {
    std::string_view key;
    std::string_view value;
};

/// Every key in the order SettingsBinding::loadSettings reads them.
inline constexpr std::array<KeyDefault, 24> kAllKeys = {{
    {kTarget, ""},
    {kBackUp, "1"},
    {kCaseSensitive, "0"},
    {kSubdir, "1"},
    {kMutilReplace, "0"},
    {kForceReadOnly, "0"},
    {kItsSelf, "0"},
    {kOutPutDir, ""},
    {kDefaultFileExt, kDefaultFileTypes},
    {kSelectFileExt, kDefaultSelectedTypes},
    {kReplaceType, "1"},
    {kNormalReplaceMemo1, ""},
    {kNormalReplaceMemo2, ""},
    {kCharacterReplaceMemo1, ""},
    {kCharacterReplaceMemo2, ""},
    {kCharacterReplaceMemo3, ""},
    {kLanguage, "Chinese_Simplified"},
    {kRepacleRulesFile, ""},
    {kExtractFileSourceAdd, "1"},
    {kExtractAddEmptyRow, "0"},
    {kExtractIncludeStart, "1"},
    {kExtractIncludeEnd, "1"},
    {kJobs, "0"},
    {kSyncWrites, "1"},
}};

} // namespace norvik::settings::keys
