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

QString Name(const char* prefix, int number) {
    return QString::fromLatin1(prefix) + QString::number(number);
}

class Builder {
public:
    explicit Builder(QMainWindow& window) : m_window(window) {}

    MainFormWidgets Build() {
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
    QAction* item(int number, const char* caption, QKeySequence shortcut = {},
                  QStyle::StandardPixmap pixmap = QStyle::SP_CustomBase) {
        auto* action = new QAction(QString::fromUtf8(caption), &m_window);
        action->setObjectName(Name("N", number));
        action->setShortcut(shortcut);
        if (pixmap != QStyle::SP_CustomBase) {
            action->setIcon(icon(pixmap));
        }
        m_w.items[static_cast<std::size_t>(number)] = action;
        return action;
    }

    QMenu* menu(int number, const char* caption) {
        auto* result = m_w.mainMenu1->addMenu(QString::fromUtf8(caption));
        result->setObjectName(Name("N", number));
        m_w.menus[static_cast<std::size_t>(number)] = result;
        return result;
    }

    void buildMenus() {
        m_w.mainMenu1 = m_window.menuBar();
        m_w.mainMenu1->setObjectName(QStringLiteral("MainMenu1"));

        menu(1, "文件")->addAction(item(2, "退出", QKeySequence(Qt::ALT | Qt::Key_X), QStyle::SP_DialogCloseButton));

        QMenu* functions = menu(14, "功能");
        functions->addAction(item(13, "从备份恢复原文件", QKeySequence(Qt::ALT | Qt::Key_B), QStyle::SP_BrowserReload));
        functions->addAction(
            item(11, "参数配置", QKeySequence(Qt::ALT | Qt::Key_S), QStyle::SP_FileDialogDetailedView));
        functions->addAction(
            item(16, "多重替换设置", QKeySequence(Qt::ALT | Qt::Key_M), QStyle::SP_FileDialogListView));
        functions->addAction(item(29, "预览", QKeySequence(Qt::Key_F5), QStyle::SP_FileDialogContentsView));

        menu(18, "Language");

        QMenu* modes = menu(8, "替换方式");
        for (QAction* mode : {item(10, "一般批量替换", QKeySequence(Qt::Key_F9)),
                              item(9, "特征字符串之间替换", QKeySequence(Qt::Key_F10)),
                              item(17, "特征提取", QKeySequence(Qt::Key_F11))}) {
            mode->setCheckable(true);
            modes->addAction(mode);
        }
        m_w.items[10]->setChecked(true);
        m_w.items[17]->setVisible(false);

        QMenu* other = menu(4, "其他");
        other->addAction(item(5, "帮助", QKeySequence(Qt::Key_F1), QStyle::SP_DialogHelpButton));
        other->addAction(item(7, "关于本软件", QKeySequence(Qt::ALT | Qt::Key_Z), QStyle::SP_MessageBoxInformation));

        // A hidden action's shortcut is switched off, so F11 lives on a second, always visible action
        // that is added to the window but drawn nowhere.
        m_w.extractShortcut = new QAction(&m_window);
        m_w.extractShortcut->setShortcut(QKeySequence(Qt::Key_F11));
        m_w.extractShortcut->setShortcutContext(Qt::WindowShortcut);
        m_window.addAction(m_w.extractShortcut);

        m_w.popupMenu1 = new QMenu(&m_window);
        m_w.popupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
        m_w.popupMenu1->addAction(item(3, "添加目标文件夹", {}, QStyle::SP_DirOpenIcon));
        m_w.popupMenu1->addAction(item(12, "添加目标文件", {}, QStyle::SP_FileIcon));
        m_w.popupMenu1->addAction(item(26, "手动添加目标路径", {}, QStyle::SP_DirLinkIcon));
        m_w.popupMenu1->addAction(item(6, "全选"));
        m_w.popupMenu1->addAction(item(22, "反选"));
        m_w.popupMenu1->addAction(item(27, "删除", {}, QStyle::SP_TrashIcon));
        m_w.popupMenu1->addAction(item(28, "清空", {}, QStyle::SP_DialogResetButton));

        m_w.popupMenu3 = new QMenu(&m_window);
        m_w.popupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
        m_w.popupMenu3->addAction(item(19, "全选"));
        m_w.popupMenu3->addAction(item(20, "反选"));
    }

    void button(int number, const char* caption, QStyle::StandardPixmap pixmap) {
        auto* action = new QAction(icon(pixmap), QString::fromUtf8(caption), &m_window);
        action->setObjectName(Name("ToolButton", number));
        m_w.toolBar1->addAction(action);
        m_w.toolButtons[static_cast<std::size_t>(number)] = action;
    }

    void separator(int number) {
        auto* action = new QAction(&m_window);
        action->setSeparator(true);
        action->setObjectName(Name("ToolButton", number));
        m_w.toolBar1->addAction(action);
        m_w.toolButtons[static_cast<std::size_t>(number)] = action;
    }

    void buildToolBar() {
        m_w.toolBar1 = m_window.addToolBar(QString());
        m_w.toolBar1->setObjectName(QStringLiteral("ToolBar1"));
        m_w.toolBar1->setMovable(false);
        m_w.toolBar1->setFloatable(false);
        m_w.toolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        m_w.toolBar1->setIconSize(QSize(32, 32));
        m_w.toolBar1->toggleViewAction()->setVisible(false);
        button(17, "+文件夹", QStyle::SP_DirIcon);
        button(9, "+文件", QStyle::SP_FileIcon);
        separator(16);
        button(14, "配置", QStyle::SP_FileDialogDetailedView);
        button(1, "批量设置", QStyle::SP_FileDialogListView);
        separator(8);
        button(3, "一般替换", QStyle::SP_FileDialogContentsView);
        button(4, "特征替换", QStyle::SP_FileDialogInfoView);
        button(11, "特征提取", QStyle::SP_FileDialogToParent);
        separator(12);
        button(10, "恢复", QStyle::SP_BrowserReload);
        separator(5);
        button(6, "帮助", QStyle::SP_DialogHelpButton);
        button(7, "关于", QStyle::SP_MessageBoxInformation);
        button(2, "提意见", QStyle::SP_MessageBoxQuestion);
        // The program sets the pressed look of the mode buttons itself.
        for (int number : {3, 4, 11}) {
            m_w.toolButtons[static_cast<std::size_t>(number)]->setCheckable(true);
        }
        m_w.toolButtons[3]->setChecked(true);
        m_w.toolButtons[11]->setVisible(false);
    }

    QWidget* tab(QTabWidget* tabs, QWidget* page, int number, const char* caption) {
        page->setObjectName(Name("TabSheet", number));
        tabs->addTab(page, QString::fromUtf8(caption));
        m_w.tabSheets[static_cast<std::size_t>(number)] = page;
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

    QPlainTextEdit* memo(int number, QWidget* parent) {
        auto* box = new QPlainTextEdit(parent);
        box->setObjectName(Name("Memo", number));
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // Files dropped on a text box are targets, not text: leave the drop to the window.
        box->setAcceptDrops(false);
        m_w.memos[static_cast<std::size_t>(number)] = box;
        return box;
    }

    QLabel* label(int number, const char* caption, QWidget* parent) {
        auto* result = new QLabel(QString::fromUtf8(caption), parent);
        result->setObjectName(Name("Label", number));
        m_w.labels[static_cast<std::size_t>(number)] = result;
        return result;
    }

    QWidget* memoPage(MemoPageKind kind, std::vector<std::pair<int, const char*>> labels, std::vector<int> memos) {
        auto* page = new MemoPage(kind);
        std::vector<QLabel*> labelWidgets;
        std::vector<QPlainTextEdit*> boxes;
        for (const auto& [number, caption] : labels) {
            labelWidgets.push_back(label(number, caption, page));
            labelWidgets.back()->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
        for (int number : memos) {
            boxes.push_back(memo(number, page));
        }
        page->setParts(std::move(labelWidgets), std::move(boxes));
        return page;
    }

    QCheckBox* checkBox(int number, const char* caption, bool checked) {
        auto* box = new QCheckBox(QString::fromUtf8(caption));
        box->setObjectName(Name("CheckBox", number));
        box->setChecked(checked);
        m_w.checkBoxes[static_cast<std::size_t>(number)] = box;
        return box;
    }

    QPushButton* pushButton(int number, const char* caption) {
        auto* result = new QPushButton(QString::fromUtf8(caption));
        result->setObjectName(Name("SpeedButton", number));
        result->setAutoDefault(false);
        m_w.speedButtons[static_cast<std::size_t>(number)] = result;
        return result;
    }

    void buildCentral() {
        auto* central = new QWidget(&m_window);
        auto* column = new QVBoxLayout(central);
        column->setContentsMargins(4, 4, 4, 2);
        column->setSpacing(4);

        m_w.pageControl2 = new QTabWidget(central);
        m_w.pageControl2->setObjectName(QStringLiteral("PageControl2"));
        m_w.checkListBox1 = list("CheckListBox1", tab(m_w.pageControl2, new QWidget, 4, "替换源目标"), true);
        m_w.checkListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
        m_w.listBox1 = list("ListBox1", tab(m_w.pageControl2, new QWidget, 5, "替换结果"), false);
        buildSearchTab(tab(m_w.pageControl2, new QWidget, 7, "查找"));
        m_w.listBox2 = list("ListBox2", tab(m_w.pageControl2, new QWidget, 2, "出错"), false);
        QPalette red = m_w.listBox2->palette();
        red.setColor(QPalette::Text, Qt::red);
        m_w.listBox2->setPalette(red);
        // The rows are red too, for styles that ignore palettes.
        m_w.listBox2->rows().setForeground(Qt::red);
        m_w.pageControl2->setTabVisible(kErrorsTab, false);
        m_w.previewPane = new PreviewPane;
        tab(m_w.pageControl2, m_w.previewPane, 8, "预览");
        m_w.speedButtons[7] = m_w.previewPane->runButton();
        // Shown by the first preview.
        m_w.pageControl2->setTabVisible(kPreviewTab, false);
        column->addWidget(m_w.pageControl2, 1);

        auto* options = new QHBoxLayout;
        options->setSpacing(12);
        options->addWidget(checkBox(2, "替换前备份", true));
        options->addWidget(checkBox(5, "区分大小写", false));
        options->addWidget(checkBox(3, "包含子文件夹", true));
        options->addWidget(checkBox(4, "只读文件强制替换", false));
        options->addWidget(checkBox(1, "多内容替换", false));
        options->addStretch(1);
        m_w.comboBox1 = new QComboBox(central);
        m_w.comboBox1->setObjectName(QStringLiteral("ComboBox1"));
        m_w.comboBox1->setEditable(false);
        m_w.comboBox1->setMinimumWidth(220);
        m_w.comboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        m_w.comboBox1->setVisible(false);
        options->addWidget(m_w.comboBox1);
        auto* chooserButton = new QToolButton(central);
        chooserButton->setObjectName(QStringLiteral("SpeedButton1"));
        chooserButton->setIcon(icon(QStyle::SP_FileDialogListView));
        chooserButton->setVisible(false);
        m_w.speedButtons[1] = chooserButton;
        options->addWidget(chooserButton);
        column->addLayout(options);

        m_w.pageControl1 = new QTabWidget(central);
        m_w.pageControl1->setObjectName(QStringLiteral("PageControl1"));
        tab(m_w.pageControl1, memoPage(MemoPageKind::TwoBoxes, {{1, "查找内容"}, {2, "替换内容"}}, {1, 2}), 1,
            "一般替换");
        tab(m_w.pageControl1,
            memoPage(MemoPageKind::Feature, {{4, "起始特征字符串"}, {5, "结束特征字符串"}, {6, "替换内容"}}, {3, 4, 5}),
            6, "特征替换");
        tab(m_w.pageControl1, memoPage(MemoPageKind::TwoBoxes, {{8, "起始特征字符串"}, {9, "结束特征字符串"}}, {7, 8}),
            3, "特征提取");
        m_w.pageControl1->setTabVisible(kFeatureTab, false);
        m_w.pageControl1->setTabVisible(kExtractTab, false);
        column->addWidget(m_w.pageControl1, 1);

        auto* bottom = new QHBoxLayout;
        auto* lines = new QVBoxLayout;
        lines->setSpacing(1);
        for (auto [number, caption] :
             {std::pair{3, ">>>"}, std::pair{10, "输出目录:"}, std::pair{7, "操作的文件类型:"}}) {
            QLabel* line = label(number, caption, central);
            // Long paths must not widen the window; they are cut at the right edge instead.
            line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            line->setTextFormat(Qt::PlainText);
            lines->addWidget(line);
        }
        bottom->addLayout(lines, 1);
        for (auto [number, caption] :
             {std::pair{6, "预览"}, std::pair{4, "暂停"}, std::pair{2, "开始"}, std::pair{5, "停止"}}) {
            QPushButton* jobButton = pushButton(number, caption);
            jobButton->setMinimumSize(80, 34);
            bottom->addWidget(jobButton, 0, Qt::AlignVCenter);
        }
        column->addLayout(bottom);

        m_window.setCentralWidget(central);
    }

    void buildSearchTab(QWidget* page) {
        auto* grid = new QGridLayout(page);
        grid->setContentsMargins(2, 2, 2, 2);
        QPlainTextEdit* searchText = memo(6, page);
        searchText->setFixedHeight(60);
        grid->addWidget(searchText, 0, 0);
        QPushButton* search = pushButton(3, "查找");
        search->setMinimumHeight(60);
        grid->addWidget(search, 0, 1);
        m_w.checkListBox2 = new PathListView(true, page);
        m_w.checkListBox2->setObjectName(QStringLiteral("CheckListBox2"));
        m_w.checkListBox2->setContextMenuPolicy(Qt::CustomContextMenu);
        grid->addWidget(m_w.checkListBox2, 1, 0, 1, 2);
        grid->setColumnStretch(0, 1);
    }

    void buildStatusBar() {
        m_w.statusBar1 = m_window.statusBar();
        m_w.statusBar1->setObjectName(QStringLiteral("StatusBar1"));
        m_w.statusBar1->setSizeGripEnabled(true);
        const std::array<int, 3> widths{130, 40, 70};
        for (std::size_t i = 0; i < widths.size(); ++i) {
            auto* panel = new QLabel(m_w.statusBar1);
            panel->setFrameShape(QFrame::StyledPanel);
            panel->setFrameShadow(QFrame::Sunken);
            panel->setTextFormat(Qt::PlainText);
            // The bar keeps the height it has with text, so the first text does not make it grow.
            panel->setText(QStringLiteral("Ag耗时"));
            panel->setMinimumHeight(panel->sizeHint().height());
            panel->clear();
            if (i + 1 < widths.size()) {
                panel->setFixedWidth(widths[i]);
                m_w.statusBar1->addWidget(panel);
            } else {
                // The last panel holds the summary line; it starts at its width and takes the rest.
                panel->setMinimumWidth(widths[i]);
                panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
                m_w.statusBar1->addWidget(panel, 1);
            }
            m_w.statusPanels[i] = panel;
        }
    }

    QMainWindow& m_window;
    MainFormWidgets m_w;
};

} // namespace

MainFormWidgets BuildMainFormWidgets(QMainWindow& window) {
    return Builder(window).Build();
}

} // namespace norvik::ui
