#include "settings/LanguagePack.h"

#include <utility>

#include <algorithm>
#include <system_error>

#include "filedeal/SemicolonList.h"

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

std::string LanguageList::text() const {
    return filedeal::JoinSemicolonList(names);
}

std::vector<std::string> LanguageList::menuEntries() const {
    std::vector<std::string> entries = filedeal::ReadSemicolonList(text());
    if (entries.size() > kMaxLanguages) {
        entries.resize(kMaxLanguages);
    }
    return entries;
}

LanguageList ListLanguages(const fs::path& languageFolder) {
    return ListLanguages(std::vector<fs::path>{languageFolder});
}

LanguageList ListLanguages(const std::vector<fs::path>& languageFolders) {
    LanguageList list;
    std::vector<std::string> files;
    for (const fs::path& folder : languageFolders) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            continue;
        }
        list.folderExists = true;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            std::error_code typeEc;
            // A name that is only the extension would give an empty, unusable entry.
            if (name.size() > 4 && HasXmlExtension(name) && it->is_regular_file(typeEc)) {
                files.push_back(std::move(name));
            }
        }
    }
    // Ties under case folding fall back to byte order so the listing does not depend on the folder.
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        if (LessIgnoringCase(a, b)) {
            return true;
        }
        return !LessIgnoringCase(b, a) && a < b;
    });
    for (std::string& file : files) {
        file.resize(file.size() - 4);
        // A pack in an earlier folder hides the one of the same name in a later folder.
        if (std::find(list.names.begin(), list.names.end(), file) == list.names.end()) {
            list.names.push_back(std::move(file));
        }
    }
    if (list.names.size() > kMaxLanguages) {
        list.names.resize(kMaxLanguages);
    }
    return list;
}

std::string FindLanguagePack(const std::vector<std::string>& languageFolders, std::string_view name) {
    for (const std::string& folder : languageFolders) {
        std::string path = LanguagePackPath(folder, name);
        std::error_code ec;
        if (fs::exists(fs::symlink_status(path, ec))) {
            return path;
        }
    }
    return languageFolders.empty() ? std::string() : LanguagePackPath(languageFolders.back(), name);
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
