#pragma once
// Where the program finds its files. A portable folder keeps everything beside the executable; an
// installed program reads its shipped resources from share/norvik/ and keeps each user's own files
// under the XDG folders, made from the shipped ones at the first start.
#include <string>
#include <string_view>
#include <vector>

namespace norvik::settings {

/// The folders of one user as the environment names them; an empty text stands for an unset variable.
struct UserEnvironment {
    std::string home;
    std::string xdgConfigHome;
    std::string xdgDataHome;
    std::string xdgStateHome;
};

/// HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_STATE_HOME of this process; an unset HOME falls back to the home folder
/// of the user's account.
[[nodiscard]] UserEnvironment CurrentUserEnvironment();

/// Every place the windows read or write. Folders end with '/'.
struct AppFolders {
    bool portable = true;
    std::string settingsFile;                 ///< NVK.xml, read at start and written at exit
    std::string dataFolder;                   ///< holds the rule folder "MultiReplace/"
    std::vector<std::string> languageFolders; ///< language packs, looked up in this order
    std::string helpFolder;                   ///< holds the help document
    std::string shippedFolder;                ///< installed: the resources that came with the program
    std::string historyFolder;                ///< the run history; empty when there is no home

    /// The rule folder: dataFolder + "MultiReplace/".
    [[nodiscard]] std::string ruleFolder() const;

    /// Everything in `exeFolder` (ending with '/'), as a portable folder has it.
    [[nodiscard]] static AppFolders portableIn(std::string_view exeFolder);
};

/// The shipped resources of an executable installed in `exeFolder` (ending with '/'): exeFolder
/// followed by `relative` (how the installed layout leads from bin/ to share/norvik/), with "." and
/// ".." resolved by name and a final '/'.
[[nodiscard]] std::string ShippedFolderOf(std::string_view exeFolder, std::string_view relative);

/// Portable when anything named "NVK.xml" is in `exeFolder` (a broken link too, so a portable folder
/// never silently turns into an installed one). Otherwise installed: the settings file is
/// $XDG_CONFIG_HOME/norvik/NVK.xml, the data folder $XDG_DATA_HOME/norvik/ (defaults ~/.config and
/// ~/.local/share; an XDG value that is empty or not an absolute path is ignored), the language
/// packs come from the data folder's "lang/" first and then from the shipped "lang/", and the help
/// document is the shipped one. The run history is "history/" beside NVK.xml in a portable folder,
/// $XDG_STATE_HOME/norvik/history/ (default ~/.local/state) when installed. Without any home the settings file is empty
/// (there is none) and the rules are the shipped ones.
[[nodiscard]] AppFolders LocateAppFolders(std::string_view exeFolder, std::string_view shippedFolder,
                                          const UserEnvironment& env);

/// Makes an installed user's files at the first start: a missing settings file becomes a copy of the
/// shipped NVK.xml (owner-writable whatever the shipped file's bits), and a missing rule folder
/// becomes a copy of the shipped "MultiReplace/" (empty when nothing is shipped), which appears whole
/// or not at all. Anything already there, even a file that cannot be parsed or an empty folder, is
/// left alone: nothing a user has is ever replaced. A portable folder is never touched. Gives one
/// text for each thing that could not be made (empty when all went well); never throws.
[[nodiscard]] std::vector<std::string> SeedUserFiles(const AppFolders& folders);

} // namespace norvik::settings
