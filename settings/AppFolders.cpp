#include "settings/AppFolders.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "rules/RuleSets.h"
#include "settings/LanguagePack.h"
#include "settings/SettingsCodec.h"

namespace norvik::settings {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kAppName = "norvik/";

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string WithSlash(std::string folder) {
    return folder.empty() ? std::string("/") : filedeal::WithTrailingSlash(std::move(folder));
}

// The XDG rule: a value that is empty or relative is treated as unset.
std::string XdgFolder(const std::string& value, const std::string& home, std::string_view fallback) {
    if (!value.empty() && value.front() == '/') {
        return WithSlash(value);
    }
    if (home.empty()) {
        return {};
    }
    return WithSlash(home) + std::string(fallback);
}

std::string Problem(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}

// Creates every missing folder of `folder`, private to the user as the XDG folders are meant to be.
bool MakeFolders(const fs::path& folder, std::vector<std::string>& problems) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (part.empty() || part == "/") {
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            const int err = errno;
            problems.push_back(Problem("cannot create the folder", partial.string(), err));
            return false;
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        problems.push_back(Problem("cannot create the folder", folder.string(), ENOTDIR));
        return false;
    }
    return true;
}

void SeedSettings(const AppFolders& folders, std::vector<std::string>& problems) {
    if (folders.settingsFile.empty()) {
        problems.emplace_back("no home folder: set HOME or XDG_CONFIG_HOME");
        return;
    }
    if (filedeal::PathIsThere(folders.settingsFile)) {
        return;
    }
    const std::string shipped = folders.shippedFolder + std::string(kSettingsFileName);
    std::string bytes;
    try {
        bytes = filedeal::ReadRegularFileBytes(shipped);
    } catch (const std::exception& error) {
        problems.push_back("cannot read the shipped " + shipped + ": " + error.what());
        return;
    }
    if (!MakeFolders(fs::path(folders.settingsFile).parent_path(), problems)) {
        return;
    }
    // The settings hold the user's paths and texts: readable by the owner only.
    if (!filedeal::CreateFileNoOverwrite(folders.settingsFile, bytes, 0600)) {
        // The reason is the creation's: the look that follows sets errno of its own.
        const int err = errno;
        if (!filedeal::PathIsThere(folders.settingsFile)) { // another start made it meanwhile: that one stays
            problems.push_back(Problem("cannot create", folders.settingsFile, err));
        }
    }
}

// Copies the shipped rule sets (and any subfolders) into `into`, which is new and empty.
bool CopyRuleSets(const fs::path& from, const fs::path& into, std::vector<std::string>& problems) {
    std::error_code ec;
    if (!fs::is_directory(from, ec)) {
        return true; // nothing shipped: the user starts with an empty rule folder
    }
    for (fs::recursive_directory_iterator it(from, ec), end; it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        const fs::path target = into / it->path().lexically_relative(from);
        std::error_code typeEc;
        if (it->is_directory(typeEc)) {
            if (::mkdir(target.c_str(), 0700) != 0) {
                const int err = errno;
                problems.push_back(Problem("cannot create the folder", target.string(), err));
                return false;
            }
        } else if (it->is_regular_file(typeEc)) {
            std::string bytes;
            try {
                bytes = filedeal::ReadRegularFileBytes(it->path());
            } catch (const std::exception& error) {
                problems.push_back("cannot read the shipped " + it->path().string() + ": " + error.what());
                return false;
            }
            if (!filedeal::CreateFileNoOverwrite(target, bytes, 0644)) {
                const int err = errno;
                problems.push_back(Problem("cannot create", target.string(), err));
                return false;
            }
        }
    }
    if (ec) {
        problems.push_back(Problem("cannot list", from.string(), ec.value()));
        return false;
    }
    return true;
}

void SeedRuleSets(const AppFolders& folders, std::vector<std::string>& problems) {
    if (folders.settingsFile.empty()) {
        return; // no home: the shipped rule sets are used as they are
    }
    fs::path ruleFolder = folders.ruleFolder();
    ruleFolder = ruleFolder.parent_path(); // without the final '/'
    if (filedeal::PathIsThere(ruleFolder.string()) || !MakeFolders(folders.dataFolder, problems)) {
        return;
    }
    // Filled under a temporary name and renamed into place, so an interrupted first start leaves no
    // half-seeded rule folder that would never be completed.
    std::string temp = folders.dataFolder + "." + std::string(rules::kRuleFolderName) + ".norvik-tmp-XXXXXX";
    if (::mkdtemp(temp.data()) == nullptr) {
        problems.push_back(Problem("cannot create a folder in", folders.dataFolder, errno));
        return;
    }
    bool ok = CopyRuleSets(fs::path(folders.shippedFolder) / rules::kRuleFolderName, temp, problems);
    if (ok && ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, ruleFolder.c_str(), RENAME_NOREPLACE) != 0) {
        // Another start made the folder meanwhile: that one stays.
        if (const int err = errno; err != EEXIST) {
            problems.push_back(Problem("cannot create the folder", ruleFolder.string(), err));
        }
        ok = false;
    }
    if (!ok) {
        std::error_code ec;
        fs::remove_all(temp, ec);
    }
}

} // namespace

UserEnvironment CurrentUserEnvironment() {
    UserEnvironment env{EnvValue("HOME"), EnvValue("XDG_CONFIG_HOME"), EnvValue("XDG_DATA_HOME"),
                        EnvValue("XDG_STATE_HOME")};
    if (env.home.empty()) {
        if (const passwd* account = ::getpwuid(::getuid()); account != nullptr && account->pw_dir != nullptr) {
            env.home = account->pw_dir;
        }
    }
    return env;
}

std::string AppFolders::ruleFolder() const {
    return rules::RuleFolderOf(dataFolder);
}

AppFolders AppFolders::portableIn(std::string_view exeFolder) {
    AppFolders folders;
    folders.portable = true;
    folders.settingsFile = SettingsFilePath(exeFolder);
    folders.dataFolder = std::string(exeFolder);
    folders.languageFolders = {LanguageFolderOf(exeFolder)};
    folders.helpFolder = std::string(exeFolder);
    folders.historyFolder = std::string(exeFolder) + "history/";
    return folders;
}

std::string ShippedFolderOf(std::string_view exeFolder, std::string_view relative) {
    const fs::path joined = fs::path(std::string(exeFolder)) / fs::path(std::string(relative));
    return WithSlash(joined.lexically_normal().string());
}

AppFolders LocateAppFolders(std::string_view exeFolder, std::string_view shippedFolder, const UserEnvironment& env) {
    if (filedeal::PathIsThere(SettingsFilePath(exeFolder))) {
        return AppFolders::portableIn(exeFolder);
    }
    AppFolders folders;
    folders.portable = false;
    folders.shippedFolder = WithSlash(std::string(shippedFolder));
    folders.helpFolder = folders.shippedFolder;
    const std::string configHome = XdgFolder(env.xdgConfigHome, env.home, ".config/");
    const std::string dataHome = XdgFolder(env.xdgDataHome, env.home, ".local/share/");
    const std::string stateHome = XdgFolder(env.xdgStateHome, env.home, ".local/state/");
    if (!stateHome.empty()) {
        folders.historyFolder = stateHome + std::string(kAppName) + "history/";
    }
    if (!configHome.empty()) {
        folders.settingsFile = configHome + std::string(kAppName) + std::string(kSettingsFileName);
    }
    if (!configHome.empty() && !dataHome.empty()) {
        folders.dataFolder = dataHome + std::string(kAppName);
        folders.languageFolders.push_back(LanguageFolderOf(folders.dataFolder));
    } else {
        folders.settingsFile.clear();
        folders.dataFolder = folders.shippedFolder;
    }
    folders.languageFolders.push_back(LanguageFolderOf(folders.shippedFolder));
    return folders;
}

std::vector<std::string> SeedUserFiles(const AppFolders& folders) {
    std::vector<std::string> problems;
    if (folders.portable) {
        return problems;
    }
    try {
        SeedSettings(folders, problems);
        SeedRuleSets(folders, problems);
    } catch (const std::exception& error) {
        problems.emplace_back(error.what());
    }
    return problems;
}

} // namespace norvik::settings
