// The window program: the application title, the four windows in their order, the event loop.
// Paths given on the command line are added to the target list as if they had been dropped on it.
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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

// Relative paths are taken from the folder the program was started in, before anything changes it.
QStringList TargetArguments(int argc, char* argv[]) {
    QStringList paths;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(argv[i], ec);
        paths << QFile::decodeName(ec ? argv[i] : absolute.c_str());
    }
    return paths;
}

} // namespace

int main(int argc, char* argv[]) {
    // QApplication takes its own options (-platform, -style, ...) out of argv; the rest are targets.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvik"));
    const QStringList targets = TargetArguments(argc, argv);

    norvik::platform::QtPlatform platform;
    const std::string exeFolder = norvik::ui::PathBytes(QCoreApplication::applicationDirPath()) + "/";
    const norvik::settings::AppFolders folders = norvik::settings::LocateAppFolders(
        exeFolder, norvik::settings::ShippedFolderOf(exeFolder, NORVIK_SHIPPED_FROM_BIN),
        norvik::settings::CurrentUserEnvironment());
    const std::vector<std::string> seedProblems = norvik::settings::SeedUserFiles(folders);
    for (const std::string& problem : seedProblems) {
        std::fprintf(stderr, "norvik: %s\n", problem.c_str());
    }

    norvik::ui::TMainForm mainForm(platform, folders);
    norvik::ui::TConfigure configure(platform, mainForm);
    // Without a readable settings file the program ends before its main window is shown, and
    // nothing is written. When the file could not be made at the first start, say why.
    if (!mainForm.OpenSettings()) {
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
    if (!targets.isEmpty()) {
        mainForm.DropPaths(targets);
    }
    return QApplication::exec();
}
