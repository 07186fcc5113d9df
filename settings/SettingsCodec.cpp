#include "settings/SettingsCodec.h"

#include <charconv>

#include <filesystem>

#include "filedeal/FileOps.h"
#include "filedeal/HexText.h"
#include "filedeal/SemicolonList.h"
#include "settings/IntegerValue.h"
#include "settings/SettingsDocument.h"

namespace norvik::settings {

std::string SettingsFilePath(std::string_view exeFolder) {
    std::string path(exeFolder);
    path += kSettingsFileName;
    return path;
}

std::string EncodeTargets(const std::vector<TargetEntry>& targets) {
    std::vector<std::string> members;
    members.reserve(targets.size() * 2);
    for (const TargetEntry& target : targets) {
        members.push_back(filedeal::TextToHex(target.path));
        members.push_back(FlagText(target.checked));
    }
    return filedeal::JoinSemicolonList(members);
}

DecodedTargets DecodeTargets(std::string_view value) {
    DecodedTargets decoded;
    const std::vector<std::string> members = filedeal::ReadSemicolonList(value);
    for (std::size_t i = 0; i < members.size(); i += 2) {
        decoded.entries.push_back({filedeal::HexToText(members[i]), false});
        if (i + 1 >= members.size()) {
            decoded.error = ListIndexMessage(static_cast<long long>(i + 1));
            break;
        }
        const std::optional<int> flag = ReadInteger(members[i + 1]);
        if (!flag) {
            decoded.error = NotAnIntegerMessage(members[i + 1]);
            break;
        }
        decoded.entries.back().checked = *flag != 0;
    }
    return decoded;
}

std::string FlagText(bool on) {
    return on ? "1" : "0";
}

int ReadNumber(std::string_view value) {
    const std::optional<int> number = ReadInteger(value);
    if (!number) {
        throw SettingsError(NotAnIntegerMessage(value));
    }
    return *number;
}

std::uint64_t ReadLimit(std::string_view value, std::uint64_t fallback) {
    if (value.empty()) {
        return fallback;
    }
    std::uint64_t number = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || end != value.data() + value.size() || number == 0) {
        throw SettingsError(NotAnIntegerMessage(value));
    }
    return number;
}

bool ReadFlag(std::string_view value) {
    return ReadNumber(value) != 0;
}

std::optional<ReplaceMode> ModeFromNumber(int number) noexcept {
    switch (number) {
    case 1:
        return ReplaceMode::Normal;
    case 2:
        return ReplaceMode::Feature;
    case 3:
        return ReplaceMode::Extract;
    default:
        return std::nullopt;
    }
}

std::string EncodeRuleSetValue(std::string_view exeFolder, std::string_view chooserText, ReplaceMode mode) {
    std::string value(exeFolder);
    value += "MultiRules/";
    value += chooserText;
    value += mode == ReplaceMode::Normal ? ".nrr" : ".crr";
    return value;
}

std::string RuleSetNameFromValue(std::string_view value) {
    const std::size_t slash = value.rfind('/');
    std::string_view name = slash == std::string_view::npos ? value : value.substr(slash + 1);
    for (int dropped = 0; dropped < 4 && !name.empty(); ++dropped) {
        // A character is its continuation bytes and the lead byte before them.
        while (name.size() > 1 && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80) {
            name.remove_suffix(1);
        }
        name.remove_suffix(1);
    }
    return std::string(name);
}

std::string LanguageFromValue(std::string_view value) {
    return value.empty() ? std::string(kDefaultLanguage) : std::string(value);
}

RestoredOutputFolder RestoreOutputFolder(bool outputFolderMode, std::string_view storedFolder) {
    RestoredOutputFolder restored;
    if (outputFolderMode) {
        restored.folder = storedFolder;
    }
    std::error_code ec;
    const std::filesystem::path folder(restored.folder);
    if (restored.folder.empty() ||
        (!std::filesystem::is_directory(folder, ec) && !std::filesystem::create_directory(folder, ec))) {
        restored.folder.clear();
        restored.clearOutputToFolder = true;
    }
    return restored;
}

} // namespace norvik::settings
