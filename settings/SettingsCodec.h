#pragma once
// Conversions between the windows' state and the stored values of the settings file. The window side
// reads a value with SettingsDocument::readSetting and turns it into state with these, and back.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ReplaceOptions.h"
#include "settings/TargetEntry.h"

namespace norvik::settings {

/// The settings file's name, found in the executable's folder.
inline constexpr std::string_view kSettingsFileName = "NVK.xml";
/// Shown at start-up when there is no settings file; the program then ends.
inline constexpr std::string_view kSettingsMissingMessage = "NVK.xml is not exist!!!";
/// Shown at start-up when the settings file cannot be parsed, before the parser's own message.
inline constexpr std::string_view kSettingsLoadErrorMessage = "Load NVK.xml Error!!!";

/// The settings file: the executable's folder (ending with '/') followed by "NVK.xml".
[[nodiscard]] std::string SettingsFilePath(std::string_view exeFolder);

/// The language used when the stored one is empty.
inline constexpr std::string_view kDefaultLanguage = "Chinese_Simplified";

/// The decoded "Target" value. `entries` holds every entry to add, in order, including the last one
/// added before a failure (unticked); `error` is then the message that stops loading.
struct DecodedTargets {
    std::vector<TargetEntry> entries;
    std::optional<std::string> error;
};

/// Each entry as the hex text of its path's bytes, then "1" or "0", all joined by ";". No entries
/// give the empty text. Paths with ";" or blanks survive because they are stored as hex.
[[nodiscard]] std::string EncodeTargets(const std::vector<TargetEntry>& targets);

/// Splits by the list reading rule and takes members two at a time: the first through HexToText (bad
/// hex gives an empty path), the second read as an integer (non-zero ticks). A flag that is not an
/// integer ends decoding with "'<flag>' is not a valid integer value"; an odd member count ends it
/// with "List index out of bounds (<count>)", the index of the missing flag. In both cases the entry
/// whose flag failed is already in `entries`, unticked. The empty text gives no entries.
[[nodiscard]] DecodedTargets DecodeTargets(std::string_view value);

/// "1" for on, "0" for off.
[[nodiscard]] std::string FlagText(bool on);

/// A stored flag: any non-zero integer is on. Throws SettingsError("'<value>' is not a valid integer
/// value") when the value is not an integer (an empty or missing value included).
[[nodiscard]] bool ReadFlag(std::string_view value);

/// A stored limit ("History_MaxRuns", "History_MaxBytes"): a whole number from 1 up, or `fallback`
/// when the value is empty (a settings file older than the key). Throws SettingsError like ReadFlag.
[[nodiscard]] std::uint64_t ReadLimit(std::string_view value, std::uint64_t fallback);

/// A stored number ("ReplaceType"). Throws SettingsError like ReadFlag.
[[nodiscard]] int ReadNumber(std::string_view value);

/// The mode for a stored "ReplaceType" number; other numbers give nullopt (the mode stays).
[[nodiscard]] std::optional<ReplaceMode> ModeFromNumber(int number) noexcept;

/// The stored "RepacleRulesFile": `exeFolder` (ending with '/') + "MultiRules/" + the chooser's text
/// + ".nrr" for normal replacement or ".crr" for the other two modes. Only the file-name part is
/// ever read back, so the folder part does not need to exist.
[[nodiscard]] std::string EncodeRuleSetValue(std::string_view exeFolder, std::string_view chooserText,
                                             ReplaceMode mode);

/// The chooser entry named by a stored "RepacleRulesFile": the text after the last '/', without its
/// last four characters (UTF-8 characters, so a name is never cut inside one). A file-name part of
/// four characters or fewer gives the empty text.
[[nodiscard]] std::string RuleSetNameFromValue(std::string_view value);

/// The stored "Language" as the language to use: empty becomes "Chinese_Simplified".
[[nodiscard]] std::string LanguageFromValue(std::string_view value);

/// The outcome of restoring the output folder after "itsSelf" and "OutPutDir" are known.
struct RestoredOutputFolder {
    std::string folder;               ///< the new outputFolder
    bool clearOutputToFolder = false; ///< true: outputToFolder must be switched off
};

/// With output-folder mode on the folder is the stored "OutPutDir", else empty. When no folder of
/// that name exists it is created (one level, not its parents); when that fails too, the folder
/// becomes empty and output-folder mode must be switched off. An empty name always fails.
[[nodiscard]] RestoredOutputFolder RestoreOutputFolder(bool outputFolderMode, std::string_view storedFolder);

} // namespace norvik::settings
