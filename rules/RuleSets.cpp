#include "rules/RuleSets.h"

#include <filesystem>
#include <system_error>

#include "filedeal/FileOps.h"
#include "filedeal/FolderScan.h"
#include "filedeal/PathNames.h"

namespace norvik::rules {
namespace {

const char* ExtensionOf(ReplaceMode mode) {
    return mode == ReplaceMode::Normal ? ".nrr" : ".crr";
}

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

std::string EntryOf(const std::string& path, const std::string& extension) {
    std::string name = filedeal::FileNameOf(path);
    // Only the file name is looked at: a ".nrr" inside a folder name must not eat part of the path.
    if (name.size() > extension.size() && name.ends_with(extension)) {
        // Cutting the real extension lets rule folder + entry + extension lead back to this file,
        // even for names such as "a.nrr.b.nrr".
        name.resize(name.size() - extension.size());
        return name;
    }
    if (const auto at = name.find(extension); at != std::string::npos) {
        name.erase(at, extension.size());
    }
    return name;
}

} // namespace

std::string RuleFolderOf(const std::string& exeFolder) {
    return filedeal::WithTrailingSlash(exeFolder) + std::string(kRuleFolderName) + "/";
}

std::vector<std::string> ListRuleSets(const std::string& ruleFolder, ReplaceMode mode) {
    const std::string extension = ExtensionOf(mode);
    const std::string folder = filedeal::WithoutTrailingSlash(ruleFolder);
    std::vector<std::string> paths;
    filedeal::ScanFolder(folder, true, "*" + extension, paths);

    std::vector<std::string> entries;
    entries.reserve(paths.size());
    for (const std::string& path : paths) {
        if (IsRegularFile(path)) {
            entries.push_back(EntryOf(path, extension));
        }
    }
    return entries;
}

std::string RuleSetPath(const std::string& ruleFolder, const std::string& name, ReplaceMode mode) {
    return ruleFolder + name + ExtensionOf(mode);
}

} // namespace norvik::rules
