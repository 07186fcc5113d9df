#include "settings/LanguagePack.h"

#include <utility>

#include <algorithm>
#include <system_error>

#include "rules/SemicolonList.h"

namespace norvik::settings {

namespace fs = std::filesystem;

namespace {

char FoldAscii(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(FoldAscii(x)) < static_cast<unsigned char>(FoldAscii(y));
    });
}

bool HasXmlExtension(std::string_view name) noexcept {
    if (name.size() < 4) {
        return false;
    }
    const std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && FoldAscii(ext[1]) == 'X' && FoldAscii(ext[2]) == 'M' && FoldAscii(ext[3]) == 'L';
}

} // namespace

std::string ToolkitLocaleOf(std::string_view packName) {
    static constexpr std::pair<std::string_view, std::string_view> kLocales[] = {
        {"Chinese_Simplified", "zh_CN"},
        {"Chinese_Traditional", "zh_TW"},
        {"Japanese", "ja"},
        {"Korean", "ko"},
        {"German", "de"},
        {"French", "fr"},
        {"Spanish", "es"},
        {"Italian", "it"},
        {"Russian", "ru"},
        {"Portuguese", "pt_BR"},
        {"Polish", "pl"},
        {"Czech", "cs"},
        {"Ukrainian", "uk"},
        {"Dutch", "nl"},
    };
    for (const auto& [name, locale] : kLocales) {
        if (name == packName) {
            return std::string(locale);
        }
    }
    return {};
}

std::string LanguageFolderOf(std::string_view exeFolder) {
    return std::string(exeFolder) + "lang/";
}

std::string LanguagePackPath(std::string_view languageFolder, std::string_view name) {
    std::string path(languageFolder);
    path += name;
    path += ".xml";
    return path;
}

std::string LanguageList::Text() const {
    return rules::JoinSemicolonList(names);
}

std::vector<std::string> LanguageList::MenuEntries() const {
    std::vector<std::string> entries = rules::ReadSemicolonList(Text());
    if (entries.size() > kMaxLanguages) {
        entries.resize(kMaxLanguages);
    }
    return entries;
}

LanguageList ListLanguages(const fs::path& languageFolder) {
    LanguageList list;
    std::error_code ec;
    if (!fs::is_directory(languageFolder, ec)) {
        return list;
    }
    list.folderExists = true;
    std::vector<std::string> files;
    for (fs::directory_iterator it(languageFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeEc;
        // A name that is only the extension would give an empty, unusable entry.
        if (name.size() > 4 && HasXmlExtension(name) && it->is_regular_file(typeEc)) {
            files.push_back(std::move(name));
        }
    }
    // Ties under case folding fall back to byte order so the listing does not depend on the folder.
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        if (LessIgnoringCase(a, b)) {
            return true;
        }
        return !LessIgnoringCase(b, a) && a < b;
    });
    if (files.size() > kMaxLanguages) {
        files.resize(kMaxLanguages);
    }
    for (std::string& file : files) {
        file.resize(file.size() - 4);
        list.names.push_back(std::move(file));
    }
    return list;
}

std::vector<std::string_view> PackKeys() {
    std::vector<std::string_view> keys;
    for (const CaptionKey& entry : kCaptionKeys) {
        if (entry.copyFrom.empty() && std::find(keys.begin(), keys.end(), entry.component) == keys.end()) {
            keys.push_back(entry.component);
        }
    }
    return keys;
}

} // namespace norvik::settings
