// The window program: the application title, the four windows in their order, the event loop.
#include <QApplication>
#include <QCoreApplication>
#include <string>

#include "main/TMainForm.h"
#include "main/Tabout_form.h"
#include "main/TargetList.h"
#include "platform/QtPlatform.h"
#include "settings/ui/TConfigure.h"
#if __has_include("rules/ui/TMutilReplaceConfig.h")
#include "rules/ui/TMutilReplaceConfig.h"
#define NORVIK_HAS_RULE_EDITOR 1
#endif

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvik"));

    norvik::platform::QtPlatform platform;
    const std::string exeFolder = norvik::ui::PathBytes(QCoreApplication::applicationDirPath()) + "/";

    norvik::ui::TMainForm mainForm(platform, exeFolder);
    norvik::ui::TConfigure configure(platform, mainForm);
#ifdef NORVIK_HAS_RULE_EDITOR
    norvik::ui::TMutilReplaceConfig ruleEditor(platform, exeFolder, &mainForm);
#endif
    norvik::ui::Tabout_form about;

    mainForm.setConfigure(&configure);
#ifdef NORVIK_HAS_RULE_EDITOR
    mainForm.setRuleEditor(&ruleEditor);
    ruleEditor.setConfigureDialog(&configure);
#endif
    mainForm.setAboutBox(&about);

    mainForm.show();
    return QApplication::exec();
}
