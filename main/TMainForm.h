#pragma once
// The main window: target list, options, the text boxes of a single replacement, the rule-set
// chooser, the job controls and lists, menus and toolbar. It owns the job options, the mode and the
// settings document.
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "settings/AppFolders.h"
#include "settings/ReplaceOptions.h"
#include "settings/SettingsDocument.h"
#include "ui/MainFormWidgets.h"
#include "ui/MainWindowView.h"
#include "ui/TargetList.h"

namespace norvik::platform {
class IPlatform;
}

namespace norvik::ui {

class JobController;
class TConfigure;
class TMutilReplaceConfig;
class Tabout_form;
class SettingsBinding;
class LanguageMenu;
class PathListView;

class TMainForm : public QMainWindow, public MainWindowView {
    Q_OBJECT
public:
    /// `folders` says where the settings, rule sets, language packs and help document are.
    TMainForm(platform::IPlatform& platform, settings::AppFolders folders, QWidget* parent = nullptr);
    ~TMainForm() override;

    void setConfigure(TConfigure* configure);
    void setRuleEditor(TMutilReplaceConfig* editor);
    void setAboutBox(Tabout_form* about) { m_about = about; }
    [[nodiscard]] TConfigure* configure() const { return m_configure; }
    [[nodiscard]] TMutilReplaceConfig* ruleEditor() const { return m_ruleEditor; }
    [[nodiscard]] Tabout_form* aboutBox() const { return m_about; }

    [[nodiscard]] QWidget& windowWidget() override { return *this; }
    [[nodiscard]] platform::IPlatform& platform() const override { return m_platform; }
    [[nodiscard]] const settings::AppFolders& folders() const override { return m_folders; }
    /// The rule folder, ending with '/'.
    [[nodiscard]] std::string ruleFolder() const;
    /// Every named part of the window.
    [[nodiscard]] const MainFormWidgets& widgets() const override { return m_w; }

    /// Opens the settings file into the settings document, which lives as long as the window. A
    /// missing or broken file is shown; false means the program must end without loading or saving.
    [[nodiscard]] bool openSettings();
    /// The settings document (empty until openSettings succeeds).
    [[nodiscard]] settings::SettingsDocument& settingsDocument() { return m_settings; }

    // --- Options ---------------------------------------------------------------------------------
    [[nodiscard]] settings::ReplaceOptions& options() override { return m_options; }
    [[nodiscard]] const settings::ReplaceOptions& options() const override { return m_options; }
    [[nodiscard]] settings::ReplaceMode mode() const { return m_options.mode; }
    /// Takes the option check boxes and the configuration dialog's output mode into options() and
    /// refreshes the add-file filter, the output line (Label10) and the file-type line (Label7).
    void refreshOptions() override;
    /// The add-file dialog's filter as "description|masks|description|masks".
    [[nodiscard]] const QString& openDialogFilter() const { return m_openDialog1Filter; }
    /// The backup box (CheckBox2) is disabled while results go to an output folder.
    void setBackupEnabled(bool enabled) override;

    // --- Mode switch (F9, F10, F11) ---------------------------------------------------------------
    void setMode(settings::ReplaceMode mode) override;
    // Each command names the components that trigger it, for readers coming from a language pack.
    void switchToNormalMode() { setMode(settings::ReplaceMode::Normal); }
    void switchToFeatureMode() { setMode(settings::ReplaceMode::Feature); }
    void switchToExtractMode() { setMode(settings::ReplaceMode::Extract); }

    // --- Target list ------------------------------------------------------------------------------
    [[nodiscard]] TargetList& targets() override { return m_targets; }
    /// Ticks and selects an existing row with exactly this path, or appends a ticked row.
    void addTarget(const std::string& path);
    /// Makes the targets tab the active upper tab.
    void showTargetsTab();
    void addFolder();            ///< ToolButton17, pop-up N3
    void addFiles();             ///< ToolButton9, pop-up N12; the dialog starts at the home folder
    void addTypedFolder();       ///< N26: a folder path typed by hand
    void tickAllTargets();       ///< N6
    void invertTargetTicks();    ///< N22
    void deleteSelectedTarget(); ///< N27
    void clearTargets();         ///< N28
    /// Files and folders dropped on the window, in the drop's order.
    void dropPaths(const QStringList& paths);
    /// Files and folders as the file system's bytes (dropped, or given on the command line), in their
    /// order: a file is added as it is, a folder with a trailing '/'; the paths that are neither are
    /// named in one message box.
    void addPaths(const std::vector<std::string>& paths);

    // --- Rule-set chooser -------------------------------------------------------------------------
    /// Multiple replacement (CheckBox1) switched: shows the chooser, disables the text boxes' tabs, recolours them
    /// and refreshes the chooser.
    void applyMultipleReplacement();
    /// Refills ComboBox1 with the rule sets of the current mode; nothing is picked afterwards.
    void refreshRuleSets();
    /// Picks the entry with exactly this name; nothing is picked when there is none.
    void pickRuleSet(const QString& name);
    /// The picked entry's name; empty when nothing is picked.
    [[nodiscard]] QString pickedRuleSet() const;
    /// Opens the rule editor with the chosen set (SpeedButton1, ToolButton1, N16).
    void openRuleEditor();
    /// The path the editor is opened with: empty unless a set is chosen and multiple replacement was
    /// in force at the last options refresh.
    [[nodiscard]] std::string chosenRuleSetPath() const;

    // --- Other windows ----------------------------------------------------------------------------
    void openConfiguration(); ///< the configuration dialog, modal (ToolButton14, N11)
    void showAboutBox();      ///< the about box, modeless (N7, ToolButton7)

    // --- Commands filled in by the job, search, settings, help and language work -----------------
    void startRun();          ///< 开始 (SpeedButton2)
    void pauseRun();          ///< 暂停 (SpeedButton4): pauses or resumes the file loop
    void stopRun();           ///< 停止 (SpeedButton5), after a question while the file loop runs
    void searchTargets();     ///< 查找 (SpeedButton3)
    void previewRun();        ///< 预览: the job as a dry run on the preview tab (SpeedButton6, N29, F5)
    void runPreviewedFiles(); ///< 替换所选 (SpeedButton7): the job on the preview's ticked files
    void restoreBackups();    ///< 恢复 (ToolButton10, N13)
    void openRunHistory();    ///< 历史记录 (ToolButton18, N32)
    void showHelp();          ///< the help document (N5, ToolButton6)
    void showFeedback();      ///< the help document's feedback section (ToolButton2)
    /// Opens the selected row's file with its program or its folder in the file manager (the target
    /// list CheckListBox1 and the search hits CheckListBox2).
    void openListRow(PathListView* list);
    void openResultRow(); ///< opens the selected written file (ListBox1)
    /// The window's side of the job and the search.
    [[nodiscard]] JobController& job() { return *m_job; }
    /// Shown the first time: the settings are loaded, then the stored language is applied.
    void loadSettingsOnFirstShow();
    /// Asked before the window closes; false keeps it open.
    [[nodiscard]] bool mayClose();
    /// Closing goes ahead: the settings are saved and the settings file rewritten if they changed.
    /// When that fails (a message says so) the user is asked whether to close all the same; false
    /// keeps the window open.
    bool saveOnClose();
    [[nodiscard]] SettingsBinding& settingsBinding() const { return *m_settingsBinding; }
    [[nodiscard]] LanguageMenu& languageMenu() const { return *m_languageMenu; }
    void tickAllHits();         ///< the search hits' pop-up (N19)
    void invertHitTicks();      ///< the search hits' pop-up (N20)
    void tickAllPreviewFiles(); ///< the preview list's pop-up (N30)
    void invertPreviewTicks();  ///< the preview list's pop-up (N31)

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void connectCommands();
    void placeOnScreen();
    void setMemoColours(bool multiple);
    /// A target, option, text or rule set changed: what the preview shows no longer holds.
    void discardPreview();

    platform::IPlatform& m_platform;
    settings::AppFolders m_folders;
    MainFormWidgets m_w;
    TargetList m_targets;
    settings::ReplaceOptions m_options;
    settings::SettingsDocument m_settings;
    QString m_openDialog1Filter;
    bool m_shown = false;
    TConfigure* m_configure = nullptr;
    TMutilReplaceConfig* m_ruleEditor = nullptr;
    Tabout_form* m_about = nullptr;
    std::unique_ptr<JobController> m_job; ///< reads m_options, so it is declared after it
    std::unique_ptr<SettingsBinding> m_settingsBinding;
    std::unique_ptr<LanguageMenu> m_languageMenu;
};

} // namespace norvik::ui
