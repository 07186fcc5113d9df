// The window program: the application title, the four windows in their order, the event loop.
#include <QApplication>
#include <QCoreApplication>
#include <string>

#include "main/TMainForm.h"
#include "main/Tabout_form.h"
#include "main/TargetList.h"
#include "platform/QtPlatform.h"
#include "rules/ui/TMutilReplaceConfig.h"
#include "settings/ui/TConfigure.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvik"));

    norvik::platform::QtPlatform platform;
    const std::string exeFolder = norvik::ui::PathBytes(QCoreApplication::applicationDirPath()) + "/";

    norvik::ui::TMainForm mainForm(platform, exeFolder);
    norvik::ui::TConfigure configure(platform, mainForm);
    // Without a readable settings file the program ends before its main window is shown, and
    // nothing is written.
    if (!configure.OpenSettings()) {
        return 1;
    }
    norvik::ui::TMutilReplaceConfig ruleEditor(platform, exeFolder, &mainForm);
    norvik::ui::Tabout_form about;

    mainForm.setConfigure(&configure);
    mainForm.setRuleEditor(&ruleEditor);
    ruleEditor.setConfigureDialog(&configure);
    mainForm.setAboutBox(&about);

    mainForm.show();
    return QApplication::exec();
}
