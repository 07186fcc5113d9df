#include "main/MainFormBuilder.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "job/ui/PreviewPane.h"
#include "main/MemoPage.h"
#include "ui/PathListView.h"

namespace norvik::ui {

namespace {

QString Name(const char* component) {
    return QString::fromLatin1(component);
}

class Builder {
public:
    explicit Builder(QMainWindow& window) : m_window(window) {}

    MainFormWidgets build() {
        buildMenus();
        buildToolBar();
        buildCentral();
        buildStatusBar();
        return m_w;
    }

private:
    QIcon icon(QStyle::StandardPixmap pixmap) const { return m_window.style()->standardIcon(pixmap); }

    // Items are children of the window itself, so findChild on the window finds them first and they
    // never clash with parts of other windows.
    QAction* item(QAction*& part, const char* component, const char* caption, QKeySequence shortcut = {},
                  QStyle::StandardPixmap pixmap = QStyle::SP_CustomBase) {
        auto* action = new QAction(QString::fromUtf8(caption), &m_window);
        action->setObjectName(Name(component));
        action->setShortcut(shortcut);
        if (pixmap != QStyle::SP_CustomBase) {
            action->setIcon(icon(pixmap));
        }
        part = action;
        return action;
    }

    QMenu* menu(QMenu*& part, const char* component, const char* caption) {
        auto* result = m_w.menuBar->addMenu(QString::fromUtf8(caption));
        result->setObjectName(Name(component));
        part = result;
        return result;
    }

    void buildMenus() {
        m_w.menuBar = m_window.menuBar();
        m_w.menuBar->setObjectName(QStringLiteral("MainMenu1"));

        menu(m_w.fileMenu, "N1", "文件")
            ->addAction(
                item(m_w.exitItem, "N2", "退出", QKeySequence(Qt::ALT | Qt::Key_X), QStyle::SP_DialogCloseButton));

        QMenu* functions = menu(m_w.functionsMenu, "N14", "功能");
        functions->addAction(item(m_w.restoreItem, "N13", "从备份恢复原文件", QKeySequence(Qt::ALT | Qt::Key_B),
                                  QStyle::SP_BrowserReload));
        functions->addAction(
            item(m_w.historyItem, "N32", "历史记录", QKeySequence(Qt::ALT | Qt::Key_H), QStyle::SP_FileDialogBack));
        functions->addAction(item(m_w.configureItem, "N11", "参数配置", QKeySequence(Qt::ALT | Qt::Key_S),
                                  QStyle::SP_FileDialogDetailedView));
        functions->addAction(item(m_w.ruleEditorItem, "N16", "多重替换设置", QKeySequence(Qt::ALT | Qt::Key_M),
                                  QStyle::SP_FileDialogListView));
        functions->addAction(
            item(m_w.previewItem, "N29", "预览", QKeySequence(Qt::Key_F5), QStyle::SP_FileDialogContentsView));

        menu(m_w.languageMenu, "N18", "Language");

        QMenu* modes = menu(m_w.modeMenu, "N8", "替换方式");
        for (QAction* mode : {item(m_w.normalModeItem, "N10", "一般批量替换", QKeySequence(Qt::Key_F9)),
                              item(m_w.featureModeItem, "N9", "特征字符串之间替换", QKeySequence(Qt::Key_F10)),
                              item(m_w.extractModeItem, "N17", "特征提取", QKeySequence(Qt::Key_F11))}) {
            mode->setCheckable(true);
            modes->addAction(mode);
        }
        m_w.normalModeItem->setChecked(true);
        m_w.extractModeItem->setVisible(false);

        QMenu* other = menu(m_w.otherMenu, "N4", "其他");
        other->addAction(item(m_w.helpItem, "N5", "帮助", QKeySequence(Qt::Key_F1), QStyle::SP_DialogHelpButton));
        other->addAction(item(m_w.aboutItem, "N7", "关于本软件", QKeySequence(Qt::ALT | Qt::Key_Z),
                              QStyle::SP_MessageBoxInformation));

        // A hidden action's shortcut is switched off, so F11 lives on a second, always visible action
        // that is added to the window but drawn nowhere.
        m_w.extractShortcut = new QAction(&m_window);
        m_w.extractShortcut->setShortcut(QKeySequence(Qt::Key_F11));
        m_w.extractShortcut->setShortcutContext(Qt::WindowShortcut);
        m_window.addAction(m_w.extractShortcut);

        m_w.targetMenu = new QMenu(&m_window);
        m_w.targetMenu->setObjectName(QStringLiteral("PopupMenu1"));
        m_w.targetMenu->addAction(item(m_w.addFolderItem, "N3", "添加目标文件夹", {}, QStyle::SP_DirOpenIcon));
        m_w.targetMenu->addAction(item(m_w.addFilesItem, "N12", "添加目标文件", {}, QStyle::SP_FileIcon));
        m_w.targetMenu->addAction(item(m_w.typeFolderItem, "N26", "手动添加目标路径", {}, QStyle::SP_DirLinkIcon));
        m_w.targetMenu->addAction(item(m_w.checkAllTargetsItem, "N6", "全选"));
        m_w.targetMenu->addAction(item(m_w.invertTargetsItem, "N22", "反选"));
        m_w.targetMenu->addAction(item(m_w.deleteTargetItem, "N27", "删除", {}, QStyle::SP_TrashIcon));
        m_w.targetMenu->addAction(item(m_w.clearTargetsItem, "N28", "清空", {}, QStyle::SP_DialogResetButton));

        m_w.hitMenu = new QMenu(&m_window);
        m_w.hitMenu->setObjectName(QStringLiteral("PopupMenu3"));
        m_w.hitMenu->addAction(item(m_w.checkAllHitsItem, "N19", "全选"));
        m_w.hitMenu->addAction(item(m_w.invertHitsItem, "N20", "反选"));

        m_w.previewMenu = new QMenu(&m_window);
        m_w.previewMenu->setObjectName(QStringLiteral("PopupMenu4"));
        m_w.previewMenu->addAction(item(m_w.checkAllPreviewItem, "N30", "全选"));
        m_w.previewMenu->addAction(item(m_w.invertPreviewItem, "N31", "反选"));
    }

    void button(QAction*& part, const char* component, const char* caption, QStyle::StandardPixmap pixmap) {
        auto* action = new QAction(icon(pixmap), QString::fromUtf8(caption), &m_window);
        action->setObjectName(Name(component));
        m_w.toolBar->addAction(action);
        part = action;
    }

    void separator(QAction*& part, const char* component) {
        auto* action = new QAction(&m_window);
        action->setSeparator(true);
        action->setObjectName(Name(component));
        m_w.toolBar->addAction(action);
        part = action;
    }

    void buildToolBar() {
        m_w.toolBar = m_window.addToolBar(QString());
        m_w.toolBar->setObjectName(QStringLiteral("ToolBar1"));
        m_w.toolBar->setMovable(false);
        m_w.toolBar->setFloatable(false);
        m_w.toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        m_w.toolBar->setIconSize(QSize(32, 32));
        m_w.toolBar->toggleViewAction()->setVisible(false);
        button(m_w.addFolderButton, "ToolButton17", "+文件夹", QStyle::SP_DirIcon);
        button(m_w.addFilesButton, "ToolButton9", "+文件", QStyle::SP_FileIcon);
        separator(m_w.addSeparator, "ToolButton16");
        button(m_w.configureButton, "ToolButton14", "配置", QStyle::SP_FileDialogDetailedView);
        button(m_w.ruleEditorButton, "ToolButton1", "批量设置", QStyle::SP_FileDialogListView);
        separator(m_w.settingsSeparator, "ToolButton8");
        button(m_w.normalModeButton, "ToolButton3", "一般替换", QStyle::SP_FileDialogContentsView);
        button(m_w.featureModeButton, "ToolButton4", "特征替换", QStyle::SP_FileDialogInfoView);
        button(m_w.extractModeButton, "ToolButton11", "特征提取", QStyle::SP_FileDialogToParent);
        separator(m_w.modeSeparator, "ToolButton12");
        button(m_w.restoreButton, "ToolButton10", "恢复", QStyle::SP_BrowserReload);
        button(m_w.historyButton, "ToolButton18", "历史记录", QStyle::SP_FileDialogBack);
        separator(m_w.restoreSeparator, "ToolButton5");
        button(m_w.helpButton, "ToolButton6", "帮助", QStyle::SP_DialogHelpButton);
        button(m_w.aboutButton, "ToolButton7", "关于", QStyle::SP_MessageBoxInformation);
        button(m_w.feedbackButton, "ToolButton2", "提意见", QStyle::SP_MessageBoxQuestion);
        // The program sets the pressed look of the mode buttons itself.
        for (QAction* mode : {m_w.normalModeButton, m_w.featureModeButton, m_w.extractModeButton}) {
            mode->setCheckable(true);
        }
        m_w.normalModeButton->setChecked(true);
        m_w.extractModeButton->setVisible(false);
    }

    QWidget* tab(QTabWidget* tabs, QWidget*& part, QWidget* page, const char* component, const char* caption) {
        page->setObjectName(Name(component));
        tabs->addTab(page, QString::fromUtf8(caption));
        part = page;
        return page;
    }

    PathListView* list(const char* name, QWidget* page, bool checkable) {
        auto* result = new PathListView(checkable, page);
        result->setObjectName(QString::fromLatin1(name));
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(2, 2, 2, 2);
        layout->addWidget(result);
        return result;
    }

    QPlainTextEdit* memo(QPlainTextEdit*& part, const char* component, QWidget* parent) {
        auto* box = new QPlainTextEdit(parent);
        box->setObjectName(Name(component));
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // Tab moves to the next control, as keyboard users expect; a tab character in a text still
        // comes through rule files and hex texts.
        box->setTabChangesFocus(true);
        // Files dropped on a text box are targets, not text: leave the drop to the window.
        box->setAcceptDrops(false);
        part = box;
        return box;
    }

    QLabel* label(QLabel*& part, const char* component, const char* caption, QWidget* parent) {
        auto* result = new QLabel(QString::fromUtf8(caption), parent);
        result->setObjectName(Name(component));
        part = result;
        return result;
    }

    struct LabelPart {
        QLabel*& part;
        const char* component;
        const char* caption;
    };
    struct ButtonPart {
        QAbstractButton*& part;
        const char* component;
        const char* caption;
    };
    struct BoxPart {
        QPlainTextEdit*& part;
        const char* component;
    };

    QWidget* memoPage(MemoPageKind kind, std::initializer_list<LabelPart> labels,
                      std::initializer_list<BoxPart> memos) {
        auto* page = new MemoPage(kind);
        std::vector<QLabel*> labelWidgets;
        std::vector<QPlainTextEdit*> boxes;
        for (const LabelPart& text : labels) {
            labelWidgets.push_back(label(text.part, text.component, text.caption, page));
            labelWidgets.back()->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
        for (const BoxPart& box : memos) {
            boxes.push_back(memo(box.part, box.component, page));
        }
        page->setParts(std::move(labelWidgets), std::move(boxes));
        return page;
    }

    QCheckBox* checkBox(QCheckBox*& part, const char* component, const char* caption, bool checked) {
        auto* box = new QCheckBox(QString::fromUtf8(caption));
        box->setObjectName(Name(component));
        box->setChecked(checked);
        part = box;
        return box;
    }

    QPushButton* pushButton(QAbstractButton*& part, const char* component, const char* caption) {
        auto* result = new QPushButton(QString::fromUtf8(caption));
        result->setObjectName(Name(component));
        result->setAutoDefault(false);
        part = result;
        return result;
    }

    void buildCentral() {
        auto* central = new QWidget(&m_window);
        auto* column = new QVBoxLayout(central);
        column->setContentsMargins(4, 4, 4, 2);
        column->setSpacing(4);

        m_w.listTabs = new QTabWidget(central);
        m_w.listTabs->setObjectName(QStringLiteral("PageControl2"));
        m_w.targetList =
            list("CheckListBox1", tab(m_w.listTabs, m_w.targetsPage, new QWidget, "TabSheet4", "替换源目标"), true);
        m_w.targetList->setContextMenuPolicy(Qt::CustomContextMenu);
        m_w.resultList =
            list("ListBox1", tab(m_w.listTabs, m_w.resultsPage, new QWidget, "TabSheet5", "替换结果"), false);
        buildSearchTab(tab(m_w.listTabs, m_w.searchPage, new QWidget, "TabSheet7", "查找"));
        m_w.errorList = list("ListBox2", tab(m_w.listTabs, m_w.errorsPage, new QWidget, "TabSheet2", "出错"), false);
        QPalette red = m_w.errorList->palette();
        red.setColor(QPalette::Text, Qt::red);
        m_w.errorList->setPalette(red);
        // The rows are red too, for styles that ignore palettes.
        m_w.errorList->rows().setForeground(Qt::red);
        m_w.listTabs->setTabVisible(kErrorsTab, false);
        m_w.previewPane = new PreviewPane;
        tab(m_w.listTabs, m_w.previewPage, m_w.previewPane, "TabSheet8", "预览");
        m_w.runPreviewButton = m_w.previewPane->runButton();
        m_w.previewPane->list()->setContextMenuPolicy(Qt::CustomContextMenu);
        // Shown by the first preview.
        m_w.listTabs->setTabVisible(kPreviewTab, false);
        column->addWidget(m_w.listTabs, 1);

        auto* options = new QHBoxLayout;
        options->setSpacing(12);
        options->addWidget(checkBox(m_w.backupCheck, "CheckBox2", "替换前备份", true));
        options->addWidget(checkBox(m_w.caseSensitiveCheck, "CheckBox5", "区分大小写", false));
        options->addWidget(checkBox(m_w.subfoldersCheck, "CheckBox3", "包含子文件夹", true));
        options->addWidget(checkBox(m_w.forceReadOnlyCheck, "CheckBox4", "只读文件强制替换", false));
        options->addWidget(checkBox(m_w.multipleCheck, "CheckBox1", "多内容替换", false));
        options->addStretch(1);
        m_w.ruleSetChooser = new QComboBox(central);
        m_w.ruleSetChooser->setObjectName(QStringLiteral("ComboBox1"));
        m_w.ruleSetChooser->setEditable(false);
        m_w.ruleSetChooser->setMinimumWidth(220);
        m_w.ruleSetChooser->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        m_w.ruleSetChooser->setVisible(false);
        options->addWidget(m_w.ruleSetChooser);
        auto* chooserButton = new QToolButton(central);
        chooserButton->setObjectName(QStringLiteral("SpeedButton1"));
        chooserButton->setIcon(icon(QStyle::SP_FileDialogListView));
        chooserButton->setVisible(false);
        m_w.ruleSetButton = chooserButton;
        options->addWidget(chooserButton);
        column->addLayout(options);

        m_w.textTabs = new QTabWidget(central);
        m_w.textTabs->setObjectName(QStringLiteral("PageControl1"));
        tab(m_w.textTabs, m_w.normalPage,
            memoPage(MemoPageKind::TwoBoxes,
                     {{m_w.findLabel, "Label1", "查找内容"}, {m_w.replacementLabel, "Label2", "替换内容"}},
                     {{m_w.findText, "Memo1"}, {m_w.replacementText, "Memo2"}}),
            "TabSheet1", "一般替换");
        tab(m_w.textTabs, m_w.featurePage,
            memoPage(MemoPageKind::Feature,
                     {{m_w.featureStartLabel, "Label4", "起始特征字符串"},
                      {m_w.featureEndLabel, "Label5", "结束特征字符串"},
                      {m_w.featureReplacementLabel, "Label6", "替换内容"}},
                     {{m_w.featureStartText, "Memo3"},
                      {m_w.featureEndText, "Memo4"},
                      {m_w.featureReplacementText, "Memo5"}}),
            "TabSheet6", "特征替换");
        tab(m_w.textTabs, m_w.extractPage,
            memoPage(MemoPageKind::TwoBoxes,
                     {{m_w.extractStartLabel, "Label8", "起始特征字符串"},
                      {m_w.extractEndLabel, "Label9", "结束特征字符串"}},
                     {{m_w.extractStartText, "Memo7"}, {m_w.extractEndText, "Memo8"}}),
            "TabSheet3", "特征提取");
        m_w.textTabs->setTabVisible(kFeatureTab, false);
        m_w.textTabs->setTabVisible(kExtractTab, false);
        column->addWidget(m_w.textTabs, 1);

        auto* bottom = new QHBoxLayout;
        auto* lines = new QVBoxLayout;
        lines->setSpacing(1);
        for (const LabelPart& text :
             {LabelPart{m_w.currentFileLine, "Label3", ">>>"}, LabelPart{m_w.outputLine, "Label10", "输出目录:"},
              LabelPart{m_w.fileTypeLine, "Label7", "操作的文件类型:"}}) {
            QLabel* line = label(text.part, text.component, text.caption, central);
            // Long paths must not widen the window; they are cut at the right edge instead.
            line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            line->setTextFormat(Qt::PlainText);
            lines->addWidget(line);
        }
        bottom->addLayout(lines, 1);
        for (const ButtonPart& button :
             {ButtonPart{m_w.previewButton, "SpeedButton6", "预览"},
              ButtonPart{m_w.pauseButton, "SpeedButton4", "暂停"}, ButtonPart{m_w.startButton, "SpeedButton2", "开始"},
              ButtonPart{m_w.stopButton, "SpeedButton5", "停止"}}) {
            QPushButton* jobButton = pushButton(button.part, button.component, button.caption);
            jobButton->setMinimumSize(80, 34);
            bottom->addWidget(jobButton, 0, Qt::AlignVCenter);
        }
        // Pressed while the run is paused (the job sets it; a click alone does not).
        m_w.pauseButton->setCheckable(true);
        column->addLayout(bottom);

        m_window.setCentralWidget(central);
    }

    void buildSearchTab(QWidget* page) {
        auto* grid = new QGridLayout(page);
        grid->setContentsMargins(2, 2, 2, 2);
        QPlainTextEdit* searchText = memo(m_w.searchText, "Memo6", page);
        searchText->setFixedHeight(60);
        grid->addWidget(searchText, 0, 0);
        QPushButton* search = pushButton(m_w.searchButton, "SpeedButton3", "查找");
        search->setMinimumHeight(60);
        grid->addWidget(search, 0, 1);
        m_w.hitList = new PathListView(true, page);
        m_w.hitList->setObjectName(QStringLiteral("CheckListBox2"));
        m_w.hitList->setContextMenuPolicy(Qt::CustomContextMenu);
        grid->addWidget(m_w.hitList, 1, 0, 1, 2);
        grid->setColumnStretch(0, 1);
    }

    void buildStatusBar() {
        m_w.statusBar = m_window.statusBar();
        m_w.statusBar->setObjectName(QStringLiteral("StatusBar1"));
        m_w.statusBar->setSizeGripEnabled(true);
        const std::array<int, 3> widths{130, 40, 70};
        const std::array<QLabel**, 3> panels{&m_w.elapsedPanel, &m_w.progressPanel, &m_w.summaryPanel};
        for (std::size_t i = 0; i < widths.size(); ++i) {
            auto* panel = new QLabel(m_w.statusBar);
            panel->setFrameShape(QFrame::StyledPanel);
            panel->setFrameShadow(QFrame::Sunken);
            panel->setTextFormat(Qt::PlainText);
            // The bar keeps the height it has with text, so the first text does not make it grow.
            panel->setText(QStringLiteral("Ag耗时"));
            panel->setMinimumHeight(panel->sizeHint().height());
            panel->clear();
            if (i + 1 < widths.size()) {
                panel->setFixedWidth(widths[i]);
                m_w.statusBar->addWidget(panel);
            } else {
                // The last panel holds the summary line; it starts at its width and takes the rest.
                panel->setMinimumWidth(widths[i]);
                panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
                m_w.statusBar->addWidget(panel, 1);
            }
            *panels[i] = panel;
        }
    }

    QMainWindow& m_window;
    MainFormWidgets m_w;
};

} // namespace

MainFormWidgets BuildMainFormWidgets(QMainWindow& window) {
    return Builder(window).build();
}

} // namespace norvik::ui
