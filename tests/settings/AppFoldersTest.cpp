#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "TestSupport.h"
#include "settings/AppFolders.h"
#include "settings/LanguagePack.h"
#include "settings/SettingsDocument.h"

namespace norvik::settings {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// An installed program (prefix/bin and prefix/share/norvik) and an empty home, all in one temporary folder.
struct Installed {
    TempDir root;
    std::string exe = root.folder() + "prefix/bin/";
    std::string shipped = root.folder() + "prefix/share/norvik/";
    UserEnvironment env{root.folder() + "home", "", "", ""};

    Installed() {
        fs::create_directories(exe);
        fs::create_directories(shipped + "MultiReplace/sub");
        fs::create_directories(shipped + "lang");
        WriteBytes(shipped + "NVK.xml", "<R><G><Language>Chinese_Simplified</Language></G></R>");
        WriteBytes(shipped + "MultiReplace/a.nrr", "6162;6364\r\n");
        WriteBytes(shipped + "MultiReplace/sub/b.crr", "61;62;63\r\n");
        WriteBytes(shipped + "lang/English.xml", "<R/>");
        fs::create_directories(env.home);
    }
    [[nodiscard]] AppFolders locate() const { return LocateAppFolders(exe, shipped, env); }
    [[nodiscard]] std::string home() const { return env.home + "/"; }
};

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(AppFolders, SettingsBesideTheExecutableMeanPortable) {
    Installed in;
    // A broken link counts too: a portable folder never silently becomes an installed program.
    fs::create_symlink("gone.xml", in.exe + "NVK.xml");
    const AppFolders folders = in.locate();
    EXPECT_TRUE(folders.portable);
    EXPECT_EQ(folders.settingsFile, in.exe + "NVK.xml");
    EXPECT_EQ(folders.ruleFolder(), in.exe + "MultiReplace/");
    EXPECT_EQ(folders.languageFolders, std::vector<std::string>{in.exe + "lang/"});
    EXPECT_EQ(folders.helpFolder, in.exe);
    EXPECT_TRUE(SeedUserFiles(folders).empty());
    EXPECT_TRUE(fs::is_empty(in.env.home)); // a portable start writes nothing into the home
}

TEST(AppFolders, InstalledUsesTheXdgFoldersAndTheirDefaults) {
    Installed in;
    AppFolders folders = in.locate();
    EXPECT_FALSE(folders.portable);
    EXPECT_EQ(folders.settingsFile, in.home() + ".config/norvik/NVK.xml");
    EXPECT_EQ(folders.ruleFolder(), in.home() + ".local/share/norvik/MultiReplace/");
    EXPECT_EQ(folders.languageFolders,
              (std::vector<std::string>{in.home() + ".local/share/norvik/lang/", in.shipped + "lang/"}));
    EXPECT_EQ(folders.helpFolder, in.shipped);

    in.env.xdgConfigHome = in.root.folder() + "cfg";
    in.env.xdgDataHome = in.root.folder() + "data/";
    folders = in.locate();
    EXPECT_EQ(folders.settingsFile, in.root.folder() + "cfg/norvik/NVK.xml");
    EXPECT_EQ(folders.dataFolder, in.root.folder() + "data/norvik/");

    // Relative XDG values are not paths the user can have meant; they are ignored.
    in.env.xdgConfigHome = "cfg";
    in.env.xdgDataHome = "data";
    folders = in.locate();
    EXPECT_EQ(folders.settingsFile, in.home() + ".config/norvik/NVK.xml");
    EXPECT_EQ(folders.dataFolder, in.home() + ".local/share/norvik/");

    // No home at all: no settings file (the missing-file message follows), the shipped rule sets.
    in.env = {};
    folders = in.locate();
    EXPECT_EQ(folders.settingsFile, "");
    EXPECT_EQ(folders.ruleFolder(), in.shipped + "MultiReplace/");
    EXPECT_FALSE(SeedUserFiles(folders).empty());
}

TEST(AppFolders, ShippedFolderIsFoundFromTheExecutable) {
    EXPECT_EQ(ShippedFolderOf("/opt/nv/bin/", "../share/norvik"), "/opt/nv/share/norvik/");
    EXPECT_EQ(ShippedFolderOf("/usr/bin/", "../share/norvik/"), "/usr/share/norvik/");
}

TEST(SeedUserFiles, FirstStartCopiesTheShippedFilesAndLaterStartsChangeNothing) {
    Installed in;
    // A read-only installation must still give the user a settings file the program can save.
    ::chmod((in.shipped + "NVK.xml").c_str(), 0444);
    const AppFolders folders = in.locate();
    EXPECT_TRUE(SeedUserFiles(folders).empty());
    EXPECT_EQ(ReadBytes(folders.settingsFile), ReadBytes(in.shipped + "NVK.xml"));
    EXPECT_EQ(ModeOf(folders.settingsFile) & 0600, 0600u);
    EXPECT_EQ(ModeOf(folders.settingsFile) & 0077, 0u);
    EXPECT_EQ(ReadBytes(folders.ruleFolder() + "a.nrr"), "6162;6364\r\n");
    EXPECT_EQ(ReadBytes(folders.ruleFolder() + "sub/b.crr"), "61;62;63\r\n");
    SettingsDocument document;
    EXPECT_TRUE(document.loadFile(folders.settingsFile).ok());
    document.writeSetting("Language", "English");
    EXPECT_TRUE(document.saveFile(folders.settingsFile));

    // The user's own state, a removed shipped set and a broken settings file all survive a restart.
    fs::remove(folders.ruleFolder() + "a.nrr");
    WriteBytes(folders.ruleFolder() + "mine.nrr", "78;79\r\n");
    const std::string saved = ReadBytes(folders.settingsFile);
    EXPECT_TRUE(SeedUserFiles(folders).empty());
    EXPECT_EQ(ReadBytes(folders.settingsFile), saved);
    EXPECT_FALSE(fs::exists(folders.ruleFolder() + "a.nrr"));
    EXPECT_EQ(ReadBytes(folders.ruleFolder() + "mine.nrr"), "78;79\r\n");

    WriteBytes(folders.settingsFile, "<R><G>unclosed");
    EXPECT_TRUE(SeedUserFiles(folders).empty());
    EXPECT_EQ(ReadBytes(folders.settingsFile), "<R><G>unclosed");
    EXPECT_EQ(document.loadFile(folders.settingsFile).status, LoadStatus::ParseError);

    // Only the seeded entries exist: no temporary is left behind in either folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(in.home() + ".config/norvik"), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(folders.dataFolder), fs::directory_iterator()), 1);
}

TEST(SeedUserFiles, FailuresAreReportedAndLeaveNothingHalfMade) {
    Installed in;
    // A file where a folder must go stops even root, who ignores permission bits.
    WriteBytes(in.home() + ".config", "not a folder");
    fs::create_directories(in.home() + ".local/share/norvik");
    const AppFolders folders = in.locate();
    const std::vector<std::string> problems = SeedUserFiles(folders);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(".config"), std::string::npos) << problems[0];
    EXPECT_EQ(ReadBytes(in.home() + ".config"), "not a folder");
    // The rule sets do not depend on the settings file.
    EXPECT_TRUE(fs::exists(folders.ruleFolder() + "a.nrr"));

    // No shipped settings: no settings file is made, so the start shows the missing-file message.
    Installed bare;
    fs::remove(bare.shipped + "NVK.xml");
    const AppFolders bareFolders = bare.locate();
    EXPECT_EQ(SeedUserFiles(bareFolders).size(), 1u);
    EXPECT_EQ(SettingsDocument().loadFile(bareFolders.settingsFile).status, LoadStatus::Missing);
}

// The message once named the reason of the check made after the failure ("No such file or
// directory") instead of the failure's own. A settings folder whose path leaves no room for the
// temporary's name fails the creation alone, even for root.
TEST(SeedUserFiles, FailureNamesTheReasonOfTheCreation) {
    Installed in;
    std::string config = in.root.folder() + "c";
    const std::size_t folderLength = 4080; // "<config>norvik" fits, "<config>norvik/.NVK.xml.norvik-tmp-XXXXXX" not
    while (config.size() + 250 < folderLength - std::string("norvik").size()) {
        config += "/" + std::string(199, 'd');
    }
    config += "/" + std::string(folderLength - std::string("norvik").size() - config.size() - 2, 'e') + "/";
    in.env.xdgConfigHome = config;
    const AppFolders folders = in.locate();
    ASSERT_EQ(fs::path(folders.settingsFile).parent_path().string().size(), folderLength);
    const std::vector<std::string> problems = SeedUserFiles(folders);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(std::strerror(ENAMETOOLONG)), std::string::npos) << problems[0];
    EXPECT_FALSE(fs::exists(folders.settingsFile));
}

TEST(LanguageFolders, UserPacksComeFirstAndBothFoldersAreListed) {
    Installed in;
    const AppFolders folders = in.locate();
    fs::create_directories(folders.languageFolders.front());
    WriteBytes(folders.languageFolders.front() + "English.xml", "<mine/>");
    WriteBytes(folders.languageFolders.front() + "Deutsch.xml", "<R/>");
    EXPECT_EQ(FindLanguagePack(folders.languageFolders, "English"), folders.languageFolders.front() + "English.xml");
    EXPECT_EQ(FindLanguagePack(folders.languageFolders, "Chinese_Simplified"),
              in.shipped + "lang/Chinese_Simplified.xml");
    const LanguageList list =
        ListLanguages(std::vector<fs::path>(folders.languageFolders.begin(), folders.languageFolders.end()));
    EXPECT_EQ(list.names, (std::vector<std::string>{"Deutsch", "English"}));
    EXPECT_TRUE(list.showsMenu());
}

} // namespace
} // namespace norvik::settings
