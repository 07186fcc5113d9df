#pragma once
// The rule editor: builds, loads and saves the rule sets of multiple replacement, one tab per rule
// kind. Complaints about a rule go to the tab's message strip; only file failures use message boxes.
#include <QDialog>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "rules/ui/EditedRuleSet.h"
#include "rules/ui/RuleEditorWidgets.h"
#include "settings/AppFolders.h"

namespace norvik::platform {
class IPlatform;
}

namespace norvik::ui {

class TMutilReplaceConfig : public QDialog {
    Q_OBJECT
public:
    /// The tabs, in their order in the dialog.
    enum Tab { NormalTab = 0, FeatureTab = 1 };

    /// The rule folder and the help document come from `folders`. The dialog takes 0.8 of the main
    /// window's size (when there is one) and is centred on the desktop.
    TMutilReplaceConfig(platform::IPlatform& platform, const settings::AppFolders& folders, QWidget* mainWindow);
    ~TMutilReplaceConfig() override;

    /// Loads a rule file into the tab of its kind ("nrr" normal, "crr" feature, by the last three
    /// characters of the name) and switches to that tab. An empty (or blank) name and a name of any
    /// other kind change nothing and give true. A file that cannot be read is named in a message box
    /// and leaves rows and file names as they were: false.
    bool loadRuleFile(const QString& fileName);

    /// The dialog the toolbar's "配置" button shows; none by default.
    void setConfigureDialog(QDialog* dialog);

    /// The rule set of a tab, its current file name (empty until loaded or saved) and the filter the
    /// open and save dialogs use now.
    [[nodiscard]] const EditedRuleSet& ruleSet(Tab tab) const;
    [[nodiscard]] QString currentFileName(Tab tab) const;
    [[nodiscard]] QString fileFilter() const;
    [[nodiscard]] Tab currentTab() const;

    // Toolbar: MToolButton4, 1, 15, 2, 14, 3.
    void newRules();
    void loadRules();
    void saveRules();
    void closeRules();
    void openConfiguration();
    void showHelp();
    // Normal tab: MButton2, MButton1, MButton3; a click in either list (ListBox1, ListBox2).
    void addNormalRule();
    void modifyNormalRule();
    void deleteNormalRule();
    void selectNormalRule(int row);
    // Feature tab: MButton5, MButton4, MButton6; a click in any of its lists (ListBox3, ...).
    void addFeatureRule();
    void modifyFeatureRule();
    void deleteFeatureRule();
    void selectFeatureRule(int row);

private:
    struct TabState {
        TabState(EditedRuleSet::Kind kind, RulePageWidgets& page) : rules(kind), widgets(page) {}
        EditedRuleSet rules;
        RulePageWidgets& widgets;
        QString fileName;
    };

    void connectToolBar();
    void connectLists(Tab tab);

    void addRule(Tab tab);
    void modifyRule(Tab tab);
    void deleteRule(Tab tab);
    void selectRow(Tab tab, int row);
    /// Rebuilds the tab's lists from its rule set and shows its selection and strip.
    void showRows(Tab tab);
    void showSelection(Tab tab);
    void showStrip(Tab tab);
    /// Puts the selected row's texts into the tab's edit boxes.
    void fillBoxes(Tab tab);
    /// The edit boxes' working texts; false (and a message in the strip) when one of them holds a
    /// character the code page cannot represent.
    [[nodiscard]] bool boxTexts(Tab tab, EditedRuleSet::Row& texts);
    [[nodiscard]] QString ruleFolder() const;

    platform::IPlatform& m_platform;
    std::string m_ruleFolder; // ends with '/'
    std::string m_helpFolder; // ends with '/'
    QDialog* m_configureDialog = nullptr;
    RuleEditorWidgets m_w;
    std::array<TabState, 2> m_tabs;
};

} // namespace norvik::ui
