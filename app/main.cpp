// The window program: the application title, the four windows in their order, the event loop.
// Paths given on the command line are added to the target list as if they had been dropped on it.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "main/ProgramArguments.h"
#include "main/TMainForm.h"
#include "main/Tabout_form.h"
#include "platform/QtPlatform.h"
#include "rules/ui/TMutilReplaceConfig.h"
#include "settings/AppFolders.h"
#include "settings/ui/TConfigure.h"
#include "ui/PathText.h"

#ifndef NORVIK_SHIPPED_FROM_BIN
#define NORVIK_SHIPPED_FROM_BIN "../share/norvik"
#endif

namespace {

// The executable's folder (ending with '/') without the toolkit, which needs a display.
std::string ExecutableFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string() + "/";
}

norvik::settings::AppFolders FoldersOf(const std::string& exeFolder) {
    return norvik::settings::LocateAppFolders(exeFolder,
                                              norvik::settings::ShippedFolderOf(exeFolder, NORVIK_SHIPPED_FROM_BIN),
                                              norvik::settings::CurrentUserEnvironment());
}

} // namespace

int main(int argc, char* argv[]) {
    using norvik::ui::ProgramArguments;
    // Help and version are answered before the toolkit starts, so they need no display. Arguments
    // after "--" are never shown to the toolkit, which would take "-title" or "-style" as its own.
    ProgramArguments arguments = norvik::ui::SplitProgramArguments(argc, argv);
    if (arguments.request == ProgramArguments::Request::Help) {
        const std::string exeFolder = ExecutableFolder();
        const std::string usage =
            norvik::ui::ProgramUsage(exeFolder.empty() ? std::string() : FoldersOf(exeFolder).settingsFile);
        return std::fputs(usage.c_str(), stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
    }
    if (arguments.request == ProgramArguments::Request::Version) {
        return std::fputs(norvik::ui::ProgramVersion().c_str(), stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
    }
    // Relative paths are taken from the folder the program was started in, before anything changes it.
    std::error_code ec;
    const std::string startFolder = std::filesystem::current_path(ec).string();

    int toolkitArgc = static_cast<int>(arguments.toolkitArguments.size()) - 1;
    QApplication app(toolkitArgc, arguments.toolkitArguments.data());
    QApplication::setApplicationName(QStringLiteral("Norvik"));
    const norvik::ui::TargetArguments targets = norvik::ui::CollectTargetArguments(
        toolkitArgc, arguments.toolkitArguments.data(), arguments.pathsAfterOptions, startFolder);
    if (!targets.unknownOption.empty()) {
        std::fprintf(stderr,
                     "norvik: unknown option '%s' (a path that starts with '-' goes after \"--\"); "
                     "see norvik --help\n",
                     targets.unknownOption.c_str());
        return 2;
    }

    norvik::platform::QtPlatform platform;
    const std::string exeFolder = norvik::ui::PathBytes(QCoreApplication::applicationDirPath()) + "/";
    const norvik::settings::AppFolders folders = FoldersOf(exeFolder);
    const std::vector<std::string> seedProblems = norvik::settings::SeedUserFiles(folders);
    for (const std::string& problem : seedProblems) {
        std::fprintf(stderr, "norvik: %s\n", problem.c_str());
    }

    norvik::ui::TMainForm mainForm(platform, folders);
    norvik::ui::TConfigure configure(platform, mainForm);
    // Without a readable settings file the program ends before its main window is shown, and
    // nothing is written. When the file could not be made at the first start, say why.
    if (!mainForm.openSettings()) {
        if (!seedProblems.empty()) {
            platform.showMessage(nullptr, QString::fromStdString(seedProblems.front()),
                                 norvik::platform::MessageKind::Error);
        }
        return 1;
    }
    norvik::ui::TMutilReplaceConfig ruleEditor(platform, folders, &mainForm);
    norvik::ui::Tabout_form about;

    mainForm.setConfigure(&configure);
    mainForm.setRuleEditor(&ruleEditor);
    ruleEditor.setConfigureDialog(&configure);
    mainForm.setAboutBox(&about);

    // Showing the window loads the stored targets; the command line's come after them.
    mainForm.show();
    if (!targets.paths.empty()) {
        mainForm.addPaths(targets.paths);
    }
    return QApplication::exec();
}
