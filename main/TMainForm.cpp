#include "main/TMainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <array>

#include "filedeal/FileOps.h"
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
      m_targets(*m_w.checkListBox1), m_job(std::make_unique<JobController>(*this)),
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

bool TMainForm::OpenSettings() {
    return m_settingsBinding->OpenSettings();
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
    const auto& item = m_w.items;
    const auto& tool = m_w.toolButtons;

    connect(item[2], &QAction::triggered, this, &QWidget::close);
    on(item[13], &TMainForm::ToolButton10Click);
    on(tool[10], &TMainForm::ToolButton10Click);
    on(item[11], &TMainForm::ToolButton14Click);
    on(tool[14], &TMainForm::ToolButton14Click);
    on(item[16], &TMainForm::ToolButton1Click);
    on(tool[1], &TMainForm::ToolButton1Click);
    onButton(m_w.speedButtons[1], &TMainForm::ToolButton1Click);
    on(item[10], &TMainForm::N10Click);
    on(tool[3], &TMainForm::N10Click);
    on(item[9], &TMainForm::N9Click);
    on(tool[4], &TMainForm::N9Click);
    on(item[17], &TMainForm::N17Click);
    on(tool[11], &TMainForm::N17Click);
    on(m_w.extractShortcut, &TMainForm::N17Click);
    on(item[5], &TMainForm::N5Click);
    on(tool[6], &TMainForm::N5Click);
    on(item[7], &TMainForm::N7Click);
    on(tool[7], &TMainForm::N7Click);
    on(tool[2], &TMainForm::ToolButton2Click);
    on(tool[17], &TMainForm::ToolButton17Click);
    on(item[3], &TMainForm::ToolButton17Click);
    on(tool[9], &TMainForm::ToolButton9Click);
    on(item[12], &TMainForm::ToolButton9Click);
    on(item[26], &TMainForm::N26Click);
    on(item[6], &TMainForm::N6Click);
    on(item[22], &TMainForm::N22Click);
    on(item[27], &TMainForm::N27Click);
    on(item[28], &TMainForm::N28Click);
    on(item[19], &TMainForm::N19Click);
    on(item[20], &TMainForm::N20Click);

    onButton(m_w.speedButtons[2], &TMainForm::SpeedButton2Click);
    onButton(m_w.speedButtons[3], &TMainForm::SpeedButton3Click);
    onButton(m_w.speedButtons[4], &TMainForm::SpeedButton4Click);
    onButton(m_w.speedButtons[5], &TMainForm::SpeedButton5Click);
    onButton(m_w.speedButtons[6], &TMainForm::SpeedButton6Click);
    onButton(m_w.speedButtons[7], &TMainForm::SpeedButton7Click);
    on(item[29], &TMainForm::SpeedButton6Click);
    // The preview holds only as long as what it was made from.
    connect(&m_w.checkListBox1->rows(), &PathListModel::contentChanged, this, [this] { discardPreview(); });
    for (QCheckBox* box : m_w.checkBoxes) {
        if (box != nullptr) {
            connect(box, &QCheckBox::toggled, this, [this] { discardPreview(); });
        }
    }
    for (int number : {1, 2, 3, 4, 5, 7, 8}) {
        connect(m_w.memos[static_cast<std::size_t>(number)], &QPlainTextEdit::textChanged, this,
                [this] { discardPreview(); });
    }
    connect(m_w.comboBox1, &QComboBox::currentIndexChanged, this, [this] { discardPreview(); });
    // Also runs when the settings load sets the box, as long as the state changes.
    connect(m_w.checkBoxes[1], &QCheckBox::toggled, this, [this] { CheckBox1Click(); });

    for (auto [list, menu] :
         {std::pair{m_w.checkListBox1, m_w.popupMenu1}, std::pair{m_w.checkListBox2, m_w.popupMenu3}}) {
        connect(list, &QWidget::customContextMenuRequested, this,
                [list, menu](const QPoint& pos) { menu->popup(list->viewport()->mapToGlobal(pos)); });
        connect(list, &PathListView::rowDoubleClicked, this, [this, list] { CheckListBox1DblClick(list); });
    }
    connect(m_w.listBox1, &PathListView::rowDoubleClicked, this, [this] { ListBox1DblClick(); });
}

// --- Options ---------------------------------------------------------------------------------------

void TMainForm::RefreshOptions() {
    const settings::ReplaceOptions before = m_options;
    const auto& box = m_w.checkBoxes;
    // A disabled backup box means results go to an output folder, where nothing is overwritten.
    m_options.backup = box[2]->isChecked() && box[2]->isEnabledTo(this);
    m_options.ignoreCase = !box[5]->isChecked();
    m_options.subfolders = box[3]->isChecked();
    m_options.multiple = box[1]->isChecked();
    m_options.forceReadOnly = box[4]->isChecked();
    if (m_configure != nullptr) {
        m_options.outputToFolder = m_configure->outputToFolderChosen();
    }
    m_openDialog1Filter = FromUtf8(settings::OpenDialogFilter(m_options.selectedTypes));
    m_w.labels[10]->setText(FromUtf8(settings::OutputLineText(m_options.outputToFolder, m_options.outputFolder)));
    m_w.labels[7]->setText(FromUtf8(settings::FileTypeLineText(m_options.selectedTypes)));
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
    m_w.checkBoxes[2]->setEnabled(enabled);
}

// --- Mode switch -----------------------------------------------------------------------------------

void TMainForm::SetMode(ReplaceMode mode) {
    const std::array<QAction*, 3> buttons{m_w.toolButtons[3], m_w.toolButtons[4], m_w.toolButtons[11]};
    const std::array<QAction*, 3> menuItems{m_w.items[10], m_w.items[9], m_w.items[17]};
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
    m_w.pageControl1->setTabVisible(chosen, true);
    m_w.pageControl1->setCurrentIndex(chosen);
    for (int tab = 0; tab < 3; ++tab) {
        if (tab != chosen) {
            m_w.pageControl1->setTabVisible(tab, false);
        }
    }
    // A disabled box keeps its check mark.
    m_w.checkBoxes[5]->setEnabled(mode == ReplaceMode::Normal);
    m_options.mode = mode;
    discardPreview();
    RefreshRuleSets();
    markChosen(menuItems);
}

// --- Target list -----------------------------------------------------------------------------------

void TMainForm::AddTarget(const std::string& path) {
    m_targets.Add(path);
}

void TMainForm::ShowTargetsTab() {
    m_w.pageControl2->setCurrentIndex(kTargetsTab);
}

void TMainForm::ToolButton17Click() {
    const QString folder = m_platform.browseFolder(this);
    if (!folder.isEmpty()) {
        AddTarget(WithTrailingSlash(PathBytes(folder)));
    }
    ShowTargetsTab();
}

void TMainForm::ToolButton9Click() {
    const QStringList files = m_platform.openFiles(this, QStringLiteral("/"), m_openDialog1Filter);
    if (files.isEmpty()) {
        return;
    }
    for (const QString& file : files) {
        AddTarget(PathBytes(file));
    }
    ShowTargetsTab();
}

void TMainForm::N26Click() {
    QString typed;
    if (!m_platform.inputText(this, QStringLiteral("添加要操作的文件夹:") + QString(14, QLatin1Char(' ')), typed)) {
        return;
    }
    const std::string trimmed = TrimBlanks(PathBytes(typed));
    // An empty entry would otherwise become "/", the whole file system; it is refused like any
    // path that is not a folder.
    const std::string path = WithTrailingSlash(trimmed);
    if (trimmed.empty() || !filedeal::FolderExists(path)) {
        m_platform.showMessage(this, QStringLiteral("目录不存在，请重新输入"));
        return;
    }
    AddTarget(path);
    ShowTargetsTab();
}

void TMainForm::N6Click() {
    m_targets.CheckAll();
}

void TMainForm::N22Click() {
    m_targets.InvertChecks();
}

void TMainForm::N27Click() {
    m_targets.DeleteSelected();
}

void TMainForm::N28Click() {
    m_targets.Clear();
}

void TMainForm::DropPaths(const QStringList& paths) {
    for (const QString& dropped : paths) {
        const std::string path = PathBytes(dropped);
        if (filedeal::FileExists(path)) {
            AddTarget(path);
        } else if (filedeal::FolderExists(path)) {
            AddTarget(WithTrailingSlash(path));
        }
    }
    ShowTargetsTab();
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
    DropPaths(paths);
}

void TMainForm::N19Click() {
    m_w.checkListBox2->rows().checkAll();
}

void TMainForm::N20Click() {
    m_w.checkListBox2->rows().invertChecks();
}

// --- Rule-set chooser ------------------------------------------------------------------------------

void TMainForm::CheckBox1Click() {
    const bool multiple = m_w.checkBoxes[1]->isChecked();
    m_w.comboBox1->setVisible(multiple);
    m_w.speedButtons[1]->setVisible(multiple);
    m_w.pageControl1->setEnabled(!multiple);
    setMemoColours(multiple);
    RefreshRuleSets();
}

void TMainForm::setMemoColours(bool multiple) {
    const QPalette standard = QApplication::palette();
    const QColor colour = standard.color(multiple ? QPalette::Window : QPalette::Base);
    for (int number = 1; number <= 5; ++number) {
        QPlainTextEdit* memo = m_w.memos[static_cast<std::size_t>(number)];
        QPalette palette = memo->palette();
        palette.setColor(QPalette::Base, colour);
        memo->setPalette(palette);
    }
}

void TMainForm::RefreshRuleSets() {
    m_w.comboBox1->clear();
    for (const std::string& name : rules::ListRuleSets(ruleFolder(), m_options.mode)) {
        m_w.comboBox1->addItem(PathText(name));
    }
    // Adding the first entry picks it; a refresh leaves nothing picked.
    m_w.comboBox1->setCurrentIndex(-1);
}

void TMainForm::pickRuleSet(const QString& name) {
    m_w.comboBox1->setCurrentIndex(m_w.comboBox1->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

QString TMainForm::pickedRuleSet() const {
    return m_w.comboBox1->currentText();
}

std::string TMainForm::chosenRuleSetPath() const {
    const QString name = m_w.comboBox1->currentText();
    if (name.isEmpty() || !m_options.multiple) {
        return {};
    }
    return rules::RuleSetPath(ruleFolder(), PathBytes(name), m_options.mode);
}

void TMainForm::ToolButton1Click() {
    if (m_options.mode == ReplaceMode::Extract || m_ruleEditor == nullptr) {
        return;
    }
    if (!m_ruleEditor->LoadRuleFile(PathText(chosenRuleSetPath()))) {
        return;
    }
    m_ruleEditor->exec();
}

// --- Other windows ---------------------------------------------------------------------------------

void TMainForm::ToolButton14Click() {
    if (m_configure != nullptr) {
        m_configure->exec();
    }
}

void TMainForm::N7Click() {
    if (m_about == nullptr) {
        return;
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

// --- Job, search, list actions, help --------------------------------------------------------------

void TMainForm::SpeedButton2Click() {
    m_job->Start();
}

void TMainForm::SpeedButton4Click() {
    m_job->Pause();
}

void TMainForm::SpeedButton5Click() {
    m_job->Stop();
}

void TMainForm::SpeedButton6Click() {
    m_job->Preview();
}

void TMainForm::SpeedButton7Click() {
    m_job->Start();
}

void TMainForm::SpeedButton3Click() {
    m_job->Search();
}

void TMainForm::ToolButton10Click() {
    m_job->Restore();
}

bool TMainForm::FormCloseQuery() {
    return m_job->CloseQuery();
}

void TMainForm::CheckListBox1DblClick(PathListView* list) {
    OpenTargetLine(m_platform, *list);
}

void TMainForm::ListBox1DblClick() {
    OpenResultLine(m_platform, *m_w.listBox1);
}

void TMainForm::N5Click() {
    OpenHelpDocument(m_platform, m_folders.helpFolder);
}

void TMainForm::ToolButton2Click() {
    OpenHelpDocument(m_platform, m_folders.helpFolder, QString::fromLatin1(kFeedbackAnchor));
}

void TMainForm::FormShow() {
    RefreshOptions();
    // A load that stopped at a bad key leaves the built-in captions.
    if (m_settingsBinding->LoadSettings() == SettingsBinding::LoadOutcome::Loaded) {
        m_languageMenu->ApplyLanguage(m_options.language);
    }
}

bool TMainForm::FormClose() {
    bool saved = false;
    platform::RunCommand(m_platform, this, [this, &saved] { saved = m_settingsBinding->SaveAndWrite(); });
    // The failure has been shown; the user may keep the window to free the disk and close again.
    return saved || m_platform.askYesNo(this, QStringLiteral("设置未能保存，仍要关闭吗?"));
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    if (!FormClose()) {
        event->ignore();
        return;
    }
    event->accept();
}

// --- Text boxes ------------------------------------------------------------------------------------

std::string TMainForm::memoText(int number) const {
    const QPlainTextEdit* memo = number > 0 && number < static_cast<int>(m_w.memos.size())
                                     ? m_w.memos[static_cast<std::size_t>(number)]
                                     : nullptr;
    return memo != nullptr ? MemoTextUtf8(*memo) : std::string();
}

void TMainForm::setMemoText(int number, const std::string& utf8) {
    if (number > 0 && number < static_cast<int>(m_w.memos.size()) && m_w.memos[static_cast<std::size_t>(number)]) {
        SetMemoTextUtf8(*m_w.memos[static_cast<std::size_t>(number)], utf8);
    }
}

// --- Status bar ------------------------------------------------------------------------------------

void TMainForm::setStatusPanel(int index, const QString& text) {
    if (index >= 0 && index < static_cast<int>(m_w.statusPanels.size())) {
        m_w.statusPanels[static_cast<std::size_t>(index)]->setText(text);
    }
}

QString TMainForm::statusPanel(int index) const {
    if (index >= 0 && index < static_cast<int>(m_w.statusPanels.size())) {
        return m_w.statusPanels[static_cast<std::size_t>(index)]->text();
    }
    return {};
}

} // namespace norvik::ui
