#include "main/TMainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <array>

#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "filedeal/TextTrim.h"
#include "job/ui/JobController.h"
#include "job/ui/ListActions.h"
#include "job/ui/PreviewPane.h"
#include "main/MainFormBuilder.h"
#include "main/Tabout_form.h"
#include "platform/IPlatform.h"
#include "rules/RuleSets.h"
#include "rules/ui/TMutilReplaceConfig.h"
#include "settings/OptionTexts.h"
#include "settings/ui/LanguageMenu.h"
#include "settings/ui/SettingsBinding.h"
#include "settings/ui/TConfigure.h"
#include "ui/HelpDocument.h"
#include "ui/MemoText.h"
#include "ui/PathListView.h"
#include "ui/PathText.h"

namespace norvik::ui {

using settings::ReplaceMode;

namespace {

int ModeIndex(ReplaceMode mode) {
    return static_cast<int>(mode) - 1;
}

} // namespace

TMainForm::TMainForm(platform::IPlatform& platform, settings::AppFolders folders, QWidget* parent)
    : QMainWindow(parent), m_platform(platform), m_folders(std::move(folders)), m_w(BuildMainFormWidgets(*this)),
      m_targets(*m_w.targetList), m_job(std::make_unique<JobController>(*this)),
      m_settingsBinding(std::make_unique<SettingsBinding>(*this, m_settings)),
      m_languageMenu(std::make_unique<LanguageMenu>(*this)) {
    setWindowTitle(QStringLiteral("Norvik"));
    // Files and folders dropped anywhere on the window become targets.
    setAcceptDrops(true);
    m_openDialog1Filter = FromUtf8(settings::OpenDialogFilter(m_options.selectedTypes));
    connectCommands();
    placeOnScreen();
}

TMainForm::~TMainForm() = default;

void TMainForm::setConfigure(TConfigure* configure) {
    m_configure = configure;
    m_settingsBinding->setConfigure(configure);
}

void TMainForm::setRuleEditor(TMutilReplaceConfig* editor) {
    m_ruleEditor = editor;
    m_languageMenu->setRuleEditor(editor);
}

bool TMainForm::openSettings() {
    return m_settingsBinding->openSettings();
}

std::string TMainForm::ruleFolder() const {
    return m_folders.ruleFolder();
}

void TMainForm::placeOnScreen() {
    const QScreen* screen = QApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect desktop = screen->availableGeometry();
    resize(desktop.width() * 4 / 5, desktop.height() * 4 / 5);
    move(desktop.center() - rect().center());
}

void TMainForm::connectCommands() {
    // Every command runs guarded: an unexpected failure is shown and the window goes on.
    const auto on = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this,
                [this, handler] { platform::RunCommand(m_platform, this, [this, handler] { (this->*handler)(); }); });
    };
    const auto onButton = [this](QAbstractButton* button, auto handler) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler] { platform::RunCommand(m_platform, this, [this, handler] { (this->*handler)(); }); });
    };

    connect(m_w.exitItem, &QAction::triggered, this, &QWidget::close);
    on(m_w.restoreItem, &TMainForm::restoreBackups);
    on(m_w.restoreButton, &TMainForm::restoreBackups);
    on(m_w.historyItem, &TMainForm::openRunHistory);
    on(m_w.historyButton, &TMainForm::openRunHistory);
    on(m_w.configureItem, &TMainForm::openConfiguration);
    on(m_w.configureButton, &TMainForm::openConfiguration);
    on(m_w.ruleEditorItem, &TMainForm::openRuleEditor);
    on(m_w.ruleEditorButton, &TMainForm::openRuleEditor);
    onButton(m_w.ruleSetButton, &TMainForm::openRuleEditor);
    on(m_w.normalModeItem, &TMainForm::switchToNormalMode);
    on(m_w.normalModeButton, &TMainForm::switchToNormalMode);
    on(m_w.featureModeItem, &TMainForm::switchToFeatureMode);
    on(m_w.featureModeButton, &TMainForm::switchToFeatureMode);
    on(m_w.extractModeItem, &TMainForm::switchToExtractMode);
    on(m_w.extractModeButton, &TMainForm::switchToExtractMode);
    on(m_w.extractShortcut, &TMainForm::switchToExtractMode);
    on(m_w.helpItem, &TMainForm::showHelp);
    on(m_w.helpButton, &TMainForm::showHelp);
    on(m_w.aboutItem, &TMainForm::showAboutBox);
    on(m_w.aboutButton, &TMainForm::showAboutBox);
    on(m_w.feedbackButton, &TMainForm::showFeedback);
    on(m_w.addFolderButton, &TMainForm::addFolder);
    on(m_w.addFolderItem, &TMainForm::addFolder);
    on(m_w.addFilesButton, &TMainForm::addFiles);
    on(m_w.addFilesItem, &TMainForm::addFiles);
    on(m_w.typeFolderItem, &TMainForm::addTypedFolder);
    on(m_w.checkAllTargetsItem, &TMainForm::tickAllTargets);
    on(m_w.invertTargetsItem, &TMainForm::invertTargetTicks);
    on(m_w.deleteTargetItem, &TMainForm::deleteSelectedTarget);
    on(m_w.clearTargetsItem, &TMainForm::clearTargets);
    on(m_w.checkAllHitsItem, &TMainForm::tickAllHits);
    on(m_w.invertHitsItem, &TMainForm::invertHitTicks);
    on(m_w.checkAllPreviewItem, &TMainForm::tickAllPreviewFiles);
    on(m_w.invertPreviewItem, &TMainForm::invertPreviewTicks);

    onButton(m_w.startButton, &TMainForm::startRun);
    onButton(m_w.searchButton, &TMainForm::searchTargets);
    onButton(m_w.pauseButton, &TMainForm::pauseRun);
    onButton(m_w.stopButton, &TMainForm::stopRun);
    onButton(m_w.previewButton, &TMainForm::previewRun);
    onButton(m_w.runPreviewButton, &TMainForm::runPreviewedFiles);
    on(m_w.previewItem, &TMainForm::previewRun);
    // The preview holds only as long as what it was made from.
    connect(&m_w.targetList->rows(), &PathListModel::contentChanged, this, [this] { discardPreview(); });
    for (QCheckBox* box : m_w.optionChecks()) {
        connect(box, &QCheckBox::toggled, this, [this] { discardPreview(); });
    }
    for (QPlainTextEdit* box : m_w.ruleTexts()) {
        connect(box, &QPlainTextEdit::textChanged, this, [this] { discardPreview(); });
    }
    connect(m_w.ruleSetChooser, &QComboBox::currentIndexChanged, this, [this] { discardPreview(); });
    // Also runs when the settings load sets the box, as long as the state changes.
    connect(m_w.multipleCheck, &QCheckBox::toggled, this, [this] { applyMultipleReplacement(); });

    for (auto [list, menu] : {std::pair<QAbstractItemView*, QMenu*>{m_w.targetList, m_w.targetMenu},
                              {m_w.hitList, m_w.hitMenu},
                              {m_w.previewPane->list(), m_w.previewMenu}}) {
        connect(list, &QWidget::customContextMenuRequested, this,
                [list, menu](const QPoint& pos) { menu->popup(list->viewport()->mapToGlobal(pos)); });
    }
    for (PathListView* list : {m_w.targetList, m_w.hitList}) {
        connect(list, &PathListView::rowDoubleClicked, this, [this, list] { openListRow(list); });
    }
    connect(m_w.resultList, &PathListView::rowDoubleClicked, this, [this] { openResultRow(); });
}

// --- Options ---------------------------------------------------------------------------------------

void TMainForm::refreshOptions() {
    const settings::ReplaceOptions before = m_options;
    // A disabled backup box means results go to an output folder, where nothing is overwritten.
    m_options.backup = m_w.backupCheck->isChecked() && m_w.backupCheck->isEnabledTo(this);
    m_options.ignoreCase = !m_w.caseSensitiveCheck->isChecked();
    m_options.subfolders = m_w.subfoldersCheck->isChecked();
    m_options.multiple = m_w.multipleCheck->isChecked();
    m_options.forceReadOnly = m_w.forceReadOnlyCheck->isChecked();
    if (m_configure != nullptr) {
        m_options.outputToFolder = m_configure->outputToFolderChosen();
    }
    m_openDialog1Filter = FromUtf8(settings::OpenDialogFilter(m_options.selectedTypes));
    m_w.outputLine->setText(FromUtf8(settings::OutputLineText(m_options.outputToFolder, m_options.outputFolder)));
    m_w.fileTypeLine->setText(FromUtf8(settings::FileTypeLineText(m_options.selectedTypes)));
    if (before.outputToFolder != m_options.outputToFolder || before.outputFolder != m_options.outputFolder ||
        before.selectedTypes != m_options.selectedTypes || before.backup != m_options.backup) {
        discardPreview();
    }
}

void TMainForm::discardPreview() {
    if (!m_w.previewPane->isEmpty()) {
        m_w.previewPane->discard(QStringLiteral("目标、选项、文本或规则已改变，请重新预览。"));
    }
}

void TMainForm::setBackupEnabled(bool enabled) {
    m_w.backupCheck->setEnabled(enabled);
}

// --- Mode switch -----------------------------------------------------------------------------------

void TMainForm::setMode(ReplaceMode mode) {
    const std::array<QAction*, 3> buttons{m_w.normalModeButton, m_w.featureModeButton, m_w.extractModeButton};
    const std::array<QAction*, 3> menuItems{m_w.normalModeItem, m_w.featureModeItem, m_w.extractModeItem};
    const int chosen = ModeIndex(mode);
    const auto markChosen = [&](const std::array<QAction*, 3>& actions) {
        for (int i = 0; i < 3; ++i) {
            actions[static_cast<std::size_t>(i)]->setChecked(i == chosen);
        }
    };
    if (mode == m_options.mode) {
        // The click itself may have flipped the look of the button or item; the current mode stays
        // pressed and checked and nothing else happens.
        markChosen(buttons);
        markChosen(menuItems);
        return;
    }
    markChosen(buttons);
    // Show the chosen tab before hiding the others, so the visible one is also the current one.
    m_w.textTabs->setTabVisible(chosen, true);
    m_w.textTabs->setCurrentIndex(chosen);
    for (int tab = 0; tab < 3; ++tab) {
        if (tab != chosen) {
            m_w.textTabs->setTabVisible(tab, false);
        }
    }
    // A disabled box keeps its check mark.
    m_w.caseSensitiveCheck->setEnabled(mode == ReplaceMode::Normal);
    m_options.mode = mode;
    discardPreview();
    refreshRuleSets();
    markChosen(menuItems);
}

// --- Target list -----------------------------------------------------------------------------------

void TMainForm::addTarget(const std::string& path) {
    m_targets.add(path);
}

void TMainForm::showTargetsTab() {
    m_w.listTabs->setCurrentIndex(kTargetsTab);
}

void TMainForm::addFolder() {
    const QString folder = m_platform.browseFolder(this);
    if (!folder.isEmpty()) {
        addTarget(filedeal::WithTrailingSlash(PathBytes(folder)));
    }
    showTargetsTab();
}

void TMainForm::addFiles() {
    // Where a user's files are; the whole tree is reachable from there.
    const QStringList files = m_platform.openFiles(this, QDir::homePath(), m_openDialog1Filter);
    if (files.isEmpty()) {
        return;
    }
    for (const QString& file : files) {
        addTarget(PathBytes(file));
    }
    showTargetsTab();
}

void TMainForm::addTypedFolder() {
    QString typed;
    if (!m_platform.inputText(this, QStringLiteral("添加要操作的文件夹:") + QString(14, QLatin1Char(' ')), typed)) {
        return;
    }
    const std::string trimmed(filedeal::TrimBlanks(PathBytes(typed)));
    // An empty entry is refused like any path that is not a folder, never taken as "/".
    const std::string path = filedeal::WithTrailingSlash(trimmed);
    if (trimmed.empty() || !filedeal::FolderExists(path)) {
        m_platform.showMessage(this, QStringLiteral("目录不存在，请重新输入"));
        return;
    }
    addTarget(path);
    showTargetsTab();
}

void TMainForm::tickAllTargets() {
    m_targets.checkAll();
}

void TMainForm::invertTargetTicks() {
    m_targets.invertChecks();
}

void TMainForm::deleteSelectedTarget() {
    m_targets.deleteSelected();
}

void TMainForm::clearTargets() {
    m_targets.clear();
}

void TMainForm::dropPaths(const QStringList& paths) {
    std::vector<std::string> bytes;
    bytes.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& dropped : paths) {
        bytes.push_back(PathBytes(dropped));
    }
    addPaths(bytes);
}

void TMainForm::addPaths(const std::vector<std::string>& paths) {
    QString missing;
    for (const std::string& path : paths) {
        if (filedeal::FileExists(path)) {
            addTarget(path);
        } else if (filedeal::FolderExists(path)) {
            addTarget(filedeal::WithTrailingSlash(path));
        } else {
            missing += QLatin1Char('\n') + PathText(path);
        }
    }
    showTargetsTab();
    if (!missing.isEmpty()) {
        m_platform.showMessage(this, QStringLiteral("以下路径不是文件或文件夹，未加入目标列表:") + missing,
                               platform::MessageKind::Warning);
    }
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    dropPaths(paths);
}

void TMainForm::tickAllHits() {
    m_w.hitList->rows().checkAll();
}

void TMainForm::invertHitTicks() {
    m_w.hitList->rows().invertChecks();
}

void TMainForm::tickAllPreviewFiles() {
    m_w.previewPane->model().checkAll();
}

void TMainForm::invertPreviewTicks() {
    m_w.previewPane->model().invertChecks();
}

// --- Rule-set chooser ------------------------------------------------------------------------------

void TMainForm::applyMultipleReplacement() {
    const bool multiple = m_w.multipleCheck->isChecked();
    m_w.ruleSetChooser->setVisible(multiple);
    m_w.ruleSetButton->setVisible(multiple);
    m_w.textTabs->setEnabled(!multiple);
    setMemoColours(multiple);
    refreshRuleSets();
}

void TMainForm::setMemoColours(bool multiple) {
    const QPalette standard = QApplication::palette();
    const QColor colour = standard.color(multiple ? QPalette::Window : QPalette::Base);
    // The boxes of the normal and the feature tab, which multiple replacement stands in for.
    for (QPlainTextEdit* memo :
         {m_w.findText, m_w.replacementText, m_w.featureStartText, m_w.featureEndText, m_w.featureReplacementText}) {
        QPalette palette = memo->palette();
        palette.setColor(QPalette::Base, colour);
        memo->setPalette(palette);
    }
}

void TMainForm::refreshRuleSets() {
    m_w.ruleSetChooser->clear();
    for (const std::string& name : rules::ListRuleSets(ruleFolder(), m_options.mode)) {
        m_w.ruleSetChooser->addItem(PathText(name));
    }
    // Adding the first entry picks it; a refresh leaves nothing picked.
    m_w.ruleSetChooser->setCurrentIndex(-1);
}

void TMainForm::pickRuleSet(const QString& name) {
    m_w.ruleSetChooser->setCurrentIndex(m_w.ruleSetChooser->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

QString TMainForm::pickedRuleSet() const {
    return m_w.ruleSetChooser->currentText();
}

std::string TMainForm::chosenRuleSetPath() const {
    const QString name = m_w.ruleSetChooser->currentText();
    if (name.isEmpty() || !m_options.multiple) {
        return {};
    }
    return rules::RuleSetPath(ruleFolder(), PathBytes(name), m_options.mode);
}

void TMainForm::openRuleEditor() {
    if (m_options.mode == ReplaceMode::Extract || m_ruleEditor == nullptr) {
        return;
    }
    if (!m_ruleEditor->loadRuleFile(PathText(chosenRuleSetPath()))) {
        return;
    }
    m_ruleEditor->exec();
    // The editor may have changed the rule set a preview was made from.
    m_job->discardStalePreview();
}

// --- Other windows ---------------------------------------------------------------------------------

void TMainForm::openConfiguration() {
    if (m_configure != nullptr) {
        m_configure->exec();
        m_job->discardStalePreview(); // the output folder and the other options a preview depends on
    }
}

void TMainForm::showAboutBox() {
    if (m_about == nullptr) {
        return;
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

// --- Job, search, list actions, help --------------------------------------------------------------

void TMainForm::startRun() {
    m_job->startRun();
}

void TMainForm::pauseRun() {
    m_job->togglePause();
}

void TMainForm::stopRun() {
    m_job->stopRun();
}

void TMainForm::previewRun() {
    m_job->previewRun();
}

void TMainForm::runPreviewedFiles() {
    m_job->startRun();
}

void TMainForm::searchTargets() {
    m_job->searchTargets();
}

void TMainForm::openRunHistory() {
    m_job->openRunHistory();
}

void TMainForm::restoreBackups() {
    m_job->restoreBackups();
}

bool TMainForm::mayClose() {
    return m_job->mayClose();
}

void TMainForm::openListRow(PathListView* list) {
    OpenTargetLine(m_platform, *list);
}

void TMainForm::openResultRow() {
    OpenResultLine(m_platform, *m_w.resultList);
}

void TMainForm::showHelp() {
    OpenHelpDocument(m_platform, m_folders.helpFolder);
}

void TMainForm::showFeedback() {
    OpenHelpDocument(m_platform, m_folders.helpFolder, QString::fromLatin1(kFeedbackAnchor));
}

void TMainForm::loadSettingsOnFirstShow() {
    refreshOptions();
    // A load that stopped at a bad key leaves the built-in captions.
    if (m_settingsBinding->loadSettings() == SettingsBinding::LoadOutcome::Loaded) {
        m_languageMenu->applyLanguage(m_options.language);
    }
}

bool TMainForm::saveOnClose() {
    bool saved = false;
    platform::RunCommand(m_platform, this, [this, &saved] { saved = m_settingsBinding->saveAndWrite(); });
    // The failure has been shown; the user may keep the window to free the disk and close again.
    return saved || m_platform.askYesNo(this, QStringLiteral("设置未能保存，仍要关闭吗?"));
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        loadSettingsOnFirstShow();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!mayClose()) {
        event->ignore();
        return;
    }
    if (!saveOnClose()) {
        event->ignore();
        return;
    }
    m_settingsBinding->releaseSettingsFile();
    event->accept();
}

} // namespace norvik::ui
