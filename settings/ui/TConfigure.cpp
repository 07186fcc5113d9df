#include "settings/ui/TConfigure.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <string_view>

#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "filedeal/SemicolonList.h"
#include "platform/IPlatform.h"
#include "settings/OptionTexts.h"
#include "settings/ReplaceOptions.h"
#include "settings/SettingsCodec.h"
#include "ui/CheckList.h"
#include "ui/MainWindowView.h"
#include "ui/PathText.h"

namespace norvik::ui {

namespace {

QPushButton* Button(const char* name, const char* caption, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

TConfigure::TConfigure(platform::IPlatform& platform, MainWindowView& mainForm)
    // No parent: the dialog's parts share their names with parts of the main window, and a language
    // pack looking a name up from the main window must only find the main window's part.
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      m_platform(platform), m_mainForm(mainForm) {
    setObjectName(QStringLiteral("Configure"));
    setWindowTitle(QStringLiteral("配置"));
    setAttribute(Qt::WA_QuitOnClose, false);
    buildControls();
}

void TConfigure::buildControls() {
    auto* root = new QVBoxLayout(this);
    root->setSizeConstraint(QLayout::SetFixedSize);

    auto* typeGroup = new QGroupBox(QStringLiteral("文件类型设置"), this);
    typeGroup->setObjectName(QStringLiteral("GroupBox1"));
    auto* typeRow = new QHBoxLayout(typeGroup);
    m_types = new QListWidget(typeGroup);
    m_types->setObjectName(QStringLiteral("CheckListBox1"));
    m_types->setSelectionMode(QAbstractItemView::SingleSelection);
    m_types->setContextMenuPolicy(Qt::CustomContextMenu);
    m_types->setFixedSize(260, 230);
    typeRow->addWidget(m_types);
    auto* typeButtons = new QVBoxLayout;
    QPushButton* add = Button("Button2", "增加", typeGroup);
    QPushButton* tickAll = Button("Button4", "全选", typeGroup);
    QPushButton* invert = Button("Button5", "反选", typeGroup);
    QPushButton* remove = Button("Button3", "删除所选", typeGroup);
    QPushButton* defaults = Button("Button7", "默认设置", typeGroup);
    for (QPushButton* button : {add, tickAll, invert, remove, defaults}) {
        typeButtons->addWidget(button);
    }
    typeButtons->addStretch(1);
    typeRow->addLayout(typeButtons);
    root->addWidget(typeGroup);

    m_typeMenu = new QMenu(this);
    m_typeMenu->setObjectName(QStringLiteral("PopupMenu1"));
    const auto menuItem = [this](const char* name, const char* caption, void (TConfigure::*handler)()) {
        auto* action = new QAction(QString::fromUtf8(caption), this);
        action->setObjectName(QString::fromLatin1(name));
        m_typeMenu->addAction(action);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    menuItem("N2", "增加类型", &TConfigure::addFileType);
    menuItem("N3", "删除所选", &TConfigure::deleteFileType);
    menuItem("N4", "全选", &TConfigure::tickAllTypes);
    menuItem("N5", "反选", &TConfigure::invertTypeTicks);
    menuItem("N1", "载入默认设置", &TConfigure::restoreDefaultTypes);
    connect(m_types, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_typeMenu->popup(m_types->viewport()->mapToGlobal(pos)); });
    connect(add, &QPushButton::clicked, this, [this] { addFileType(); });
    connect(tickAll, &QPushButton::clicked, this, [this] { tickAllTypes(); });
    connect(invert, &QPushButton::clicked, this, [this] { invertTypeTicks(); });
    connect(remove, &QPushButton::clicked, this, [this] { deleteFileType(); });
    connect(defaults, &QPushButton::clicked, this, [this] { restoreDefaultTypes(); });

    auto* outputGroup = new QGroupBox(QStringLiteral("输出方式"), this);
    outputGroup->setObjectName(QStringLiteral("GroupBox3"));
    auto* outputGrid = new QGridLayout(outputGroup);
    m_inPlace = new QRadioButton(QStringLiteral("直接在原文件上操作"), outputGroup);
    m_inPlace->setObjectName(QStringLiteral("RadioButton1"));
    m_toFolder = new QRadioButton(QStringLiteral("输出到自定义文件夹"), outputGroup);
    m_toFolder->setObjectName(QStringLiteral("RadioButton2"));
    m_folder = new QLineEdit(outputGroup);
    m_folder->setObjectName(QStringLiteral("Edit1"));
    // The folder can only be chosen with the browse button.
    m_folder->setReadOnly(true);
    m_browse = new QToolButton(outputGroup);
    m_browse->setObjectName(QStringLiteral("SpeedButton1"));
    m_browse->setText(QStringLiteral("..."));
    outputGrid->addWidget(m_inPlace, 0, 0, 1, 2);
    outputGrid->addWidget(m_toFolder, 1, 0, 1, 2);
    outputGrid->addWidget(m_folder, 2, 0);
    outputGrid->addWidget(m_browse, 2, 1);
    outputGrid->setColumnStretch(0, 1);
    root->addWidget(outputGroup);
    for (QRadioButton* radio : {m_inPlace, m_toFolder}) {
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                followOutputMode();
            }
        });
    }
    connect(m_browse, &QToolButton::clicked, this, [this] { browseOutputFolder(); });

    m_extraction = new QGroupBox(QStringLiteral("提取设置"), this);
    m_extraction->setObjectName(QStringLiteral("GroupBox2"));
    auto* extractionColumn = new QVBoxLayout(m_extraction);
    const auto flag = [&](QCheckBox*& box, const char* name, const char* caption, bool checked) {
        box = new QCheckBox(QString::fromUtf8(caption), m_extraction);
        box->setObjectName(QString::fromLatin1(name));
        box->setChecked(checked);
        extractionColumn->addWidget(box);
    };
    flag(m_addSource, "CheckBox1", "提取的文本加入来源", true);
    flag(m_blankLine, "CheckBox2", "提取的文本间加入空行", false);
    flag(m_includeStart, "CheckBox3", "提取文本包含前特征", true);
    flag(m_includeEnd, "CheckBox4", "提取文本包含后特征", true);
    root->addWidget(m_extraction);
    m_extraction->setVisible(false);

    auto* engineGroup = new QGroupBox(QStringLiteral("运行"), this);
    engineGroup->setObjectName(QStringLiteral("EngineGroup"));
    auto* engineGrid = new QGridLayout(engineGroup);
    m_jobs = new QSpinBox(engineGroup);
    m_jobs->setObjectName(QStringLiteral("JobsSpin"));
    m_jobs->setRange(0, 64);
    m_jobs->setSpecialValueText(QStringLiteral("自动"));
    m_jobs->setToolTip(QStringLiteral("同时准备文件的线程数；自动为处理器核心数"));
    auto* jobsLabel = new QLabel(QStringLiteral("并行线程:"), engineGroup);
    jobsLabel->setBuddy(m_jobs);
    m_syncWrites = new QCheckBox(QStringLiteral("写入前确保备份和新文本已存盘（断电安全）"), engineGroup);
    m_syncWrites->setObjectName(QStringLiteral("SyncWritesCheck"));
    engineGrid->addWidget(jobsLabel, 0, 0);
    engineGrid->addWidget(m_jobs, 0, 1);
    engineGrid->setColumnStretch(2, 1);
    engineGrid->addWidget(m_syncWrites, 1, 0, 1, 3);
    root->addWidget(engineGroup);

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    QPushButton* ok = Button("Button1", "OK", this);
    ok->setDefault(true);
    QPushButton* cancel = Button("Button6", "Cancel", this);
    closeRow->addWidget(ok);
    closeRow->addWidget(cancel);
    root->addLayout(closeRow);
    connect(ok, &QPushButton::clicked, this, [this] { acceptConfiguration(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_inPlace->setChecked(true);
    followOutputMode();
}

// --- Loading ---------------------------------------------------------------------------------------

void TConfigure::loadConfiguration() {
    const settings::ReplaceOptions& options = m_mainForm.options();
    showExtraction(options);
    m_jobs->setValue(static_cast<int>(options.jobs));
    m_syncWrites->setChecked(options.durableWrites);
    showOutputFolder(options.outputFolder);
    fillFileTypes(m_mainForm.options().fileTypes);
    (void)tickFileTypes(m_mainForm.options().selectedTypes);
    m_shown.valid = true;
    m_shown.options = m_mainForm.options();
    m_shown.toFolder = m_toFolder->isChecked();
    m_shown.folderText = m_folder->text();
    m_shown.listedTypes = listedTypes();
    m_shown.tickedTypes = tickedTypes();
}

void TConfigure::showOutputFolder(const std::string& folder) {
    std::string shown = folder;
    if (shown.empty() || (!filedeal::FolderExists(shown) && !filedeal::CreateFolder(shown))) {
        settings::ReplaceOptions& options = m_mainForm.options();
        options.outputToFolder = false;
        options.outputFolder.clear();
        shown.clear();
    }
    if (!shown.empty()) {
        m_folder->setText(PathText(shown));
        m_toFolder->setChecked(true);
        // Nothing is overwritten in output-folder mode, so there is nothing to back up.
        m_mainForm.setBackupEnabled(false);
    } else {
        m_folder->clear();
        m_inPlace->setChecked(true);
        m_mainForm.setBackupEnabled(true);
    }
    followOutputMode();
}

void TConfigure::fillFileTypes(const std::string& types) {
    m_types->clear();
    for (const std::string& type : filedeal::ReadSemicolonList(types)) {
        appendType(type, false);
    }
}

bool TConfigure::tickFileTypes(const std::string& text) {
    if (text.find(';') != std::string::npos) {
        for (const std::string& member : filedeal::ReadSemicolonList(text)) {
            (void)tickFileTypes(member);
        }
        return true;
    }
    const int row = checklist::FindExact(*m_types, text);
    if (row < 0) {
        return false;
    }
    checklist::SetChecked(*m_types->item(row), true);
    return true;
}

void TConfigure::appendType(const std::string& type, bool ticked) {
    checklist::Append(*m_types, type, ticked);
}

// --- Applying --------------------------------------------------------------------------------------

void TConfigure::applyConfiguration() {
    settings::ReplaceOptions& options = m_mainForm.options();
    const ExtractionChoice extraction = extractionChosen();
    options.extractAddSource = extraction.addSource;
    options.extractBlankLine = extraction.blankLine;
    options.extractIncludeStart = extraction.includeStart;
    options.extractIncludeEnd = extraction.includeEnd;
    options.jobs = static_cast<unsigned>(m_jobs->value());
    options.durableWrites = m_syncWrites->isChecked();
    options.outputToFolder = m_toFolder->isChecked();
    options.outputFolder = m_inPlace->isChecked() ? std::string() : PathBytes(m_folder->text());
    collectFileTypes();
}

void TConfigure::collectFileTypes() {
    settings::ReplaceOptions& options = m_mainForm.options();
    options.fileTypes = listedTypes();
    options.selectedTypes = tickedTypes();
    m_mainForm.refreshOptions();
}

std::string TConfigure::listedTypes() const {
    std::vector<std::string> types;
    for (int row = 0; row < m_types->count(); ++row) {
        types.push_back(checklist::BytesOf(*m_types->item(row)));
    }
    return filedeal::JoinSemicolonList(types);
}

std::string TConfigure::tickedTypes() const {
    std::vector<std::string> types;
    for (int row = 0; row < m_types->count(); ++row) {
        const QListWidgetItem& item = *m_types->item(row);
        if (checklist::IsChecked(item)) {
            types.push_back(checklist::BytesOf(item));
        }
    }
    return filedeal::JoinSemicolonList(types);
}

bool TConfigure::outputToFolderChosen() const {
    return m_toFolder->isChecked();
}

void TConfigure::setOutputToFolderChosen(bool toFolder) {
    (toFolder ? m_toFolder : m_inPlace)->setChecked(true);
}

TConfigure::ExtractionChoice TConfigure::extractionChosen() const {
    return {m_addSource->isChecked(), m_blankLine->isChecked(), m_includeStart->isChecked(), m_includeEnd->isChecked()};
}

void TConfigure::showExtraction(const settings::ReplaceOptions& options) {
    m_addSource->setChecked(options.extractAddSource);
    m_blankLine->setChecked(options.extractBlankLine);
    m_includeStart->setChecked(options.extractIncludeStart);
    m_includeEnd->setChecked(options.extractIncludeEnd);
}

// --- Commands --------------------------------------------------------------------------------------

void TConfigure::addFileType() {
    QString typed = QStringLiteral("*.");
    if (!m_platform.inputText(this, QStringLiteral("填写需要增加的文件类型"), typed) || typed.isEmpty()) {
        return;
    }
    std::string type = ToUtf8(typed);
    if (tickFileTypes(type)) {
        return;
    }
    if (type == "*.html") {
        if (tickFileTypes("*.htm")) {
            m_platform.showMessage(this, QStringLiteral("html格式已经包括在htm格式中，不需添加"));
            return;
        }
        type = "*.htm";
    }
    if (!settings::IsValidFileType(type)) {
        m_platform.showMessage(this, QStringLiteral("请检查输入格式"), platform::MessageKind::Warning);
        return;
    }
    appendType(type, true);
}

void TConfigure::deleteFileType() {
    checklist::DeleteSelected(*m_types);
}

void TConfigure::tickAllTypes() {
    checklist::CheckAll(*m_types);
}

void TConfigure::invertTypeTicks() {
    checklist::InvertChecks(*m_types);
}

void TConfigure::restoreDefaultTypes() {
    m_types->clear();
    for (const std::string& type : filedeal::ReadSemicolonList(settings::kDefaultFileTypes)) {
        appendType(type, true);
    }
}

void TConfigure::browseOutputFolder() {
    const QString folder = m_platform.browseFolder(this);
    if (!folder.isEmpty()) {
        m_folder->setText(PathText(filedeal::WithTrailingSlash(PathBytes(folder))));
    }
}

void TConfigure::followOutputMode() {
    const bool enabled = m_toFolder->isChecked();
    m_folder->setEnabled(enabled);
    QPalette palette = m_folder->palette();
    palette.setColor(QPalette::Base, QApplication::palette().color(enabled ? QPalette::Base : QPalette::Window));
    m_folder->setPalette(palette);
    m_browse->setEnabled(enabled);
}

void TConfigure::acceptConfiguration() {
    if (m_toFolder->isChecked() && m_folder->text().isEmpty()) {
        m_inPlace->setChecked(true);
    }
    applyConfiguration();
    loadConfiguration();
    // Loading may have fallen back to in-place mode (a folder that cannot be created) and switched
    // the backup box back on; the main window's options and output line follow at once.
    m_mainForm.refreshOptions();
    accept();
}

void TConfigure::reject() {
    if (m_shown.valid) {
        // The main window takes the output mode from the radio buttons: a choice left in them after
        // Cancel would run in place with the backup box still disabled, so without backups.
        m_mainForm.options() = m_shown.options;
        m_folder->setText(m_shown.folderText);
        (m_shown.toFolder ? m_toFolder : m_inPlace)->setChecked(true);
        followOutputMode();
        const settings::ReplaceOptions& options = m_shown.options;
        showExtraction(options);
        fillFileTypes(m_shown.listedTypes);
        (void)tickFileTypes(m_shown.tickedTypes);
        m_mainForm.setBackupEnabled(!m_shown.toFolder);
        m_mainForm.refreshOptions();
    }
    QDialog::reject();
}

void TConfigure::loadAndPlace() {
    loadConfiguration();
    const QRect main = m_mainForm.windowWidget().frameGeometry();
    move(main.center() - rect().center());
}

void TConfigure::showEvent(QShowEvent* event) {
    // Keep the dialog above the main window, as a child dialog would be.
    if (windowHandle() != nullptr && m_mainForm.windowWidget().windowHandle() != nullptr) {
        windowHandle()->setTransientParent(m_mainForm.windowWidget().windowHandle());
    }
    loadAndPlace();
    QDialog::showEvent(event);
}

} // namespace norvik::ui
