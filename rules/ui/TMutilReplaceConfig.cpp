#include "rules/ui/TMutilReplaceConfig.h"

#include <QAction>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <utility>

#include "platform/IPlatform.h"
#include "rules/RuleFile.h"
#include "rules/RuleSets.h"
#include "rules/ui/ColumnRowLayout.h"
#include "rules/ui/RuleTexts.h"

namespace norvik::ui {
namespace {

constexpr int kButtonColumnWidth = 64;
constexpr int kColumnGap = 5;
constexpr int kDividerWidth = 27; // the feature list row has two, 54 together

const QString kNormalFilter = QStringLiteral("一般替换规则文件(*.nrr)|*.nrr");
const QString kFeatureFilter = QStringLiteral("特征替换规则文件(*.crr)|*.crr");

// Find (or start) column and the replacement column around the button column; the two gaps beside
// the button column make the 10 of the rule.
std::vector<int> EditRowWidths(int rowWidth) {
    return {(rowWidth - kButtonColumnWidth - 2 * kColumnGap) / 2, kButtonColumnWidth};
}

std::vector<int> FeatureListWidths(int rowWidth) {
    const int third = (rowWidth - 2 * kDividerWidth) / 3;
    return {third, kDividerWidth, third, kDividerWidth};
}

QLabel* MakePanel(QWidget* parent, const char* name, const QString& caption, Qt::Alignment alignment) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

// A strip across the tab: a heading at each end and, for the message strips, the message between.
QWidget* MakeStrip(QWidget* parent, std::vector<QLabel*> labels) {
    auto* strip = new QFrame(parent);
    strip->setFrameShape(QFrame::StyledPanel);
    strip->setFrameShadow(QFrame::Raised);
    auto* layout = new QHBoxLayout(strip);
    layout->setContentsMargins(6, 2, 6, 2);
    for (QLabel* label : labels) {
        label->setParent(strip);
        layout->addWidget(label, label->alignment().testFlag(Qt::AlignHCenter) ? 1 : 0);
    }
    return strip;
}

/// Rows of one height in every column, whatever script a row holds: a row of Chinese text drawn
/// with a fallback font is taller than a row of Latin text, and the columns of one rule would
/// drift apart row by row.
class EvenRowDelegate final : public QStyledItemDelegate {
public:
    explicit EvenRowDelegate(QListWidget* list) : QStyledItemDelegate(list) {
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.font = list->font();
        option.fontMetrics = QFontMetrics(option.font);
        option.features = QStyleOptionViewItem::HasDisplay;
        int height = 0;
        for (const QString& sample : {QStringLiteral("Ag"), QStringLiteral("中文Ag"), QStringLiteral("\u21B5")}) {
            option.text = sample;
            height =
                std::max(height, list->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, {}, list).height());
            height = std::max(height, QFontMetrics(option.font).boundingRect(sample).height() + 2);
        }
        m_height = height;
    }

    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), m_height};
    }

private:
    int m_height = 0;
};

QListWidget* MakeList(QWidget* parent, const char* name) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->setTextElideMode(Qt::ElideRight);
    list->setItemDelegate(new EvenRowDelegate(list));
    return list;
}

QPlainTextEdit* MakeBox(QWidget* parent, const char* name) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setTabChangesFocus(false);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QWidget* MakeButtonColumn(QWidget* parent, std::vector<QPushButton*> buttons) {
    auto* column = new QWidget(parent);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* button : buttons) {
        button->setParent(column);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    return column;
}

} // namespace

TMutilReplaceConfig::TMutilReplaceConfig(platform::IPlatform& platform, std::string exeFolder, QWidget* mainWindow)
    : QDialog(mainWindow), m_platform(platform),
      m_exeFolder(std::move(exeFolder)), m_tabs{TabState(EditedRuleSet::Kind::Normal),
                                                TabState(EditedRuleSet::Kind::Feature)} {
    setObjectName(QStringLiteral("MutilReplaceConfig"));
    setWindowTitle(QStringLiteral("多重替换设置"));
    QFont dialogFont = font();
    dialogFont.setFamilies({QStringLiteral("Microsoft Sans Serif"), font().family()});
    setFont(dialogFont);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 4);
    layout->setSpacing(2);
    // The column widths come from the dialog's width, never the other way round.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    auto* toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("MToolBar1"));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolBar->setMovable(false);
    buildToolBar(toolBar);
    layout->addWidget(toolBar);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("MPageControl1"));
    for (QWidget* page : {buildNormalPage(), buildFeaturePage()}) {
        m_pages->addTab(page, page->windowTitle());
    }
    layout->addWidget(m_pages, 1);

    connectLists(NormalTab);
    connectLists(FeatureTab);
    showStrip(NormalTab);
    showStrip(FeatureTab);

    QSize size(800, 600);
    if (mainWindow != nullptr) {
        size = QSize(mainWindow->width() * 4 / 5, mainWindow->height() * 4 / 5);
    }
    resize(size);
    QScreen* screen = mainWindow != nullptr ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect frame(QPoint(0, 0), size);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TMutilReplaceConfig::~TMutilReplaceConfig() = default;

void TMutilReplaceConfig::buildToolBar(QToolBar* toolBar) {
    const auto addButton = [&](const char* name, const QString& caption, void (TMutilReplaceConfig::*handler)()) {
        QAction* action = toolBar->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        if (QWidget* button = toolBar->widgetForAction(action)) {
            button->setObjectName(QString::fromLatin1(name));
        }
        connect(action, &QAction::triggered, this, handler);
    };
    const auto addSeparator = [&](const char* name) {
        QAction* separator = toolBar->addSeparator();
        separator->setObjectName(QString::fromLatin1(name));
    };
    addButton("MToolButton4", QStringLiteral("新建规则"), &TMutilReplaceConfig::MToolButton4Click);
    addButton("MToolButton1", QStringLiteral("加载规则"), &TMutilReplaceConfig::MToolButton1Click);
    addButton("MToolButton15", QStringLiteral("保存规则"), &TMutilReplaceConfig::MToolButton15Click);
    addButton("MToolButton2", QStringLiteral("关闭规则"), &TMutilReplaceConfig::MToolButton2Click);
    addSeparator("ToolButton16");
    addButton("MToolButton14", QStringLiteral("配置"), &TMutilReplaceConfig::MToolButton14Click);
    addSeparator("ToolButton8");
    addButton("MToolButton3", QStringLiteral("帮助"), &TMutilReplaceConfig::MToolButton3Click);
}

QWidget* TMutilReplaceConfig::buildNormalPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("MTabSheet1"));
    page->setWindowTitle(QStringLiteral("一般替换"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    TabState& tab = m_tabs[NormalTab];

    tab.strip = MakePanel(page, "ChanelPanel", QString(), Qt::AlignHCenter);
    layout->addWidget(MakeStrip(page, {MakePanel(page, "MPanel3", QStringLiteral("替换目标"), Qt::AlignLeft), tab.strip,
                                       MakePanel(page, "MPanel2", QStringLiteral("替换内容"), Qt::AlignRight)}));

    auto* editRow = new QWidget(page);
    auto* editLayout = new ColumnRowLayout(editRow, kColumnGap, EditRowWidths);
    tab.boxes = {MakeBox(editRow, "Memo1"), MakeBox(editRow, "Memo2")};
    auto* add = MakeButton(editRow, "MButton2", QStringLiteral("增加"));
    auto* modify = MakeButton(editRow, "MButton1", QStringLiteral("修改"));
    auto* remove = MakeButton(editRow, "MButton3", QStringLiteral("删除"));
    editLayout->addWidget(tab.boxes[0]);
    editLayout->addWidget(MakeButtonColumn(editRow, {add, modify, remove}));
    editLayout->addWidget(tab.boxes[1]);
    layout->addWidget(editRow, 2);
    connect(add, &QPushButton::clicked, this, &TMutilReplaceConfig::MButton2Click);
    connect(modify, &QPushButton::clicked, this, &TMutilReplaceConfig::MButton1Click);
    connect(remove, &QPushButton::clicked, this, &TMutilReplaceConfig::MButton3Click);

    layout->addWidget(MakeStrip(page, {MakePanel(page, "MPanel15", QStringLiteral("替换规则"), Qt::AlignLeft)}));

    auto* listRow = new QWidget(page);
    auto* listLayout = new ColumnRowLayout(listRow, kColumnGap, EditRowWidths);
    tab.lists = {MakeList(listRow, "ListBox1"), MakeList(listRow, "ListBox2")};
    auto* divider = MakePanel(listRow, "MPanel5", QStringLiteral("替换为"), Qt::AlignHCenter);
    divider->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    listLayout->addWidget(tab.lists[0]);
    listLayout->addWidget(divider);
    listLayout->addWidget(tab.lists[1]);
    layout->addWidget(listRow, 3);
    return page;
}

QWidget* TMutilReplaceConfig::buildFeaturePage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("MTabSheet2"));
    page->setWindowTitle(QStringLiteral("特征替换"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    TabState& tab = m_tabs[FeatureTab];

    tab.strip = MakePanel(page, "Panel9", QString(), Qt::AlignHCenter);
    layout->addWidget(
        MakeStrip(page, {MakePanel(page, "MPanel11", QStringLiteral("前特征字符串"), Qt::AlignLeft), tab.strip,
                         MakePanel(page, "MPanel10", QStringLiteral("后特征字符串"), Qt::AlignRight)}));

    auto* editRow = new QWidget(page);
    auto* editLayout = new ColumnRowLayout(editRow, kColumnGap, EditRowWidths);
    tab.boxes = {MakeBox(editRow, "Memo3"), MakeBox(editRow, "Memo4"), nullptr};
    auto* add = MakeButton(editRow, "MButton5", QStringLiteral("增加"));
    auto* modify = MakeButton(editRow, "MButton4", QStringLiteral("修改"));
    auto* remove = MakeButton(editRow, "MButton6", QStringLiteral("删除"));
    editLayout->addWidget(tab.boxes[0]);
    editLayout->addWidget(MakeButtonColumn(editRow, {add, modify, remove}));
    editLayout->addWidget(tab.boxes[1]);
    layout->addWidget(editRow, 2);
    connect(add, &QPushButton::clicked, this, &TMutilReplaceConfig::MButton5Click);
    connect(modify, &QPushButton::clicked, this, &TMutilReplaceConfig::MButton4Click);
    connect(remove, &QPushButton::clicked, this, &TMutilReplaceConfig::MButton6Click);

    layout->addWidget(MakeStrip(page, {MakePanel(page, "MPanel8", QStringLiteral("替换内容"), Qt::AlignLeft)}));
    tab.boxes[2] = MakeBox(page, "Memo5");
    layout->addWidget(tab.boxes[2], 1);

    layout->addWidget(MakeStrip(page, {MakePanel(page, "MPanel16", QStringLiteral("替换规则"), Qt::AlignLeft)}));

    auto* listRow = new QWidget(page);
    auto* listLayout = new ColumnRowLayout(listRow, 0, FeatureListWidths);
    tab.lists = {MakeList(listRow, "ListBox3"), MakeList(listRow, "ListBox4"), MakeList(listRow, "ListBox5")};
    auto* between = MakePanel(listRow, "MPanel12", QStringLiteral("(...)"), Qt::AlignHCenter);
    auto* into = MakePanel(listRow, "MPanel13", QStringLiteral("->>"), Qt::AlignHCenter);
    between->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    into->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    listLayout->addWidget(tab.lists[0]);
    listLayout->addWidget(between);
    listLayout->addWidget(tab.lists[1]);
    listLayout->addWidget(into);
    listLayout->addWidget(tab.lists[2]);
    layout->addWidget(listRow, 3);
    return page;
}

void TMutilReplaceConfig::connectLists(Tab tab) {
    for (QListWidget* list : m_tabs[tab].lists) {
        const auto select = [this, tab](int row) {
            if (!m_syncing) {
                tab == NormalTab ? ListBox1Click(row) : ListBox3Click(row);
            }
        };
        connect(list, &QListWidget::currentRowChanged, this, select);
        // A click on the row that is already current must still bring its texts back.
        connect(list, &QListWidget::itemClicked, this,
                [list, select](QListWidgetItem* item) { select(list->row(item)); });
        // The columns of a tab scroll together so a row's parts stay side by side.
        for (QListWidget* other : m_tabs[tab].lists) {
            if (other != list) {
                connect(list->verticalScrollBar(), &QScrollBar::valueChanged, other->verticalScrollBar(),
                        &QScrollBar::setValue);
            }
        }
    }
}

bool TMutilReplaceConfig::LoadRuleFile(const QString& fileName) {
    if (fileName.trimmed().isEmpty()) {
        return true;
    }
    const std::string name = fileName.toStdString();
    const rules::RuleFileKind kind = rules::RuleFileKindOf(name);
    if (kind == rules::RuleFileKind::None) {
        return true;
    }
    const Tab tab = kind == rules::RuleFileKind::Normal ? NormalTab : FeatureTab;
    m_pages->setCurrentIndex(tab);
    try {
        const std::filesystem::path path(name);
        if (kind == rules::RuleFileKind::Normal) {
            m_tabs[tab].rules.setNormalRules(rules::ReadNormalRuleFile(path));
        } else {
            m_tabs[tab].rules.setFeatureRules(rules::ReadFeatureRuleFile(path));
        }
    } catch (const std::exception&) {
        m_platform.showMessage(this, QStringLiteral("无法读取规则文件：%1").arg(fileName),
                               platform::MessageKind::Error);
        return false;
    }
    showRows(tab);
    fillBoxes(tab);
    m_tabs[tab].fileName = fileName;
    return true;
}

void TMutilReplaceConfig::setConfigureDialog(QDialog* dialog) {
    m_configureDialog = dialog;
}

const EditedRuleSet& TMutilReplaceConfig::ruleSet(Tab tab) const {
    return m_tabs[tab].rules;
}

QString TMutilReplaceConfig::currentFileName(Tab tab) const {
    return m_tabs[tab].fileName;
}

TMutilReplaceConfig::Tab TMutilReplaceConfig::currentTab() const {
    return m_pages->currentIndex() == FeatureTab ? FeatureTab : NormalTab;
}

// The filter always names the kind of the tab in front, so a feature set is never offered the
// normal sets to overwrite (nor the reverse), even right after a load switched the tab.
QString TMutilReplaceConfig::fileFilter() const {
    return currentTab() == NormalTab ? kNormalFilter : kFeatureFilter;
}

QString TMutilReplaceConfig::ruleFolder() const {
    return QString::fromStdString(rules::RuleFolderOf(m_exeFolder));
}

void TMutilReplaceConfig::MToolButton4Click() {
    const Tab tab = currentTab();
    m_tabs[tab].fileName.clear();
    m_tabs[tab].rules.clear();
    for (QPlainTextEdit* box : m_tabs[tab].boxes) {
        box->clear();
    }
    showRows(tab);
}

void TMutilReplaceConfig::MToolButton1Click() {
    const QString fileName = m_platform.openFile(this, ruleFolder(), fileFilter());
    if (!fileName.isEmpty()) {
        LoadRuleFile(fileName);
    }
}

void TMutilReplaceConfig::MToolButton15Click() {
    const Tab tab = currentTab();
    QString fileName = m_tabs[tab].fileName;
    if (fileName.isEmpty()) {
        fileName = m_platform.saveFile(this, ruleFolder(), fileFilter());
        if (fileName.isEmpty()) {
            return;
        }
        // The chooser lists a rule set by its extension: a name typed without one gets the tab's.
        if (QFileInfo(fileName).suffix().isEmpty()) {
            fileName += tab == NormalTab ? QStringLiteral(".nrr") : QStringLiteral(".crr");
        }
    }
    const std::filesystem::path path(fileName.toStdString());
    const EditedRuleSet& rules = m_tabs[tab].rules;
    const bool written = rules.kind() == EditedRuleSet::Kind::Normal
                             ? rules::WriteNormalRuleFile(path, rules.normalRules())
                             : rules::WriteFeatureRuleFile(path, rules.featureRules());
    if (!written) {
        m_platform.showMessage(this, QStringLiteral("无法写入规则文件：%1").arg(fileName),
                               platform::MessageKind::Error);
        return;
    }
    m_tabs[tab].fileName = fileName;
}

void TMutilReplaceConfig::MToolButton2Click() {
    close();
}

void TMutilReplaceConfig::MToolButton14Click() {
    if (m_configureDialog != nullptr) {
        m_configureDialog->exec();
    }
}

void TMutilReplaceConfig::MToolButton3Click() {
    // The help opens at its section on this window.
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(m_exeFolder + "NVK.html"));
    url.setFragment(QStringLiteral("editor"));
    m_platform.openUrl(url.toString());
}

void TMutilReplaceConfig::MButton2Click() {
    addRule(NormalTab);
}
void TMutilReplaceConfig::MButton1Click() {
    modifyRule(NormalTab);
}
void TMutilReplaceConfig::MButton3Click() {
    deleteRule(NormalTab);
}
void TMutilReplaceConfig::ListBox1Click(int row) {
    selectRow(NormalTab, row);
}
void TMutilReplaceConfig::MButton5Click() {
    addRule(FeatureTab);
}
void TMutilReplaceConfig::MButton4Click() {
    modifyRule(FeatureTab);
}
void TMutilReplaceConfig::MButton6Click() {
    deleteRule(FeatureTab);
}
void TMutilReplaceConfig::ListBox3Click(int row) {
    selectRow(FeatureTab, row);
}

bool TMutilReplaceConfig::boxTexts(Tab tab, EditedRuleSet::Row& texts) {
    bool exact = true;
    for (const QPlainTextEdit* box : m_tabs[tab].boxes) {
        bool boxExact = true;
        texts.push_back(WorkingTextOf(box->toPlainText(), &boxExact));
        exact = exact && boxExact;
    }
    // A character turned into '?' would make the rule find and write question marks instead.
    if (!exact) {
        m_tabs[tab].rules.refuse(strip::kNotInCodePage);
        showStrip(tab);
    }
    return exact;
}

void TMutilReplaceConfig::addRule(Tab tab) {
    EditedRuleSet::Row texts;
    if (!boxTexts(tab, texts)) {
        return;
    }
    if (m_tabs[tab].rules.add(texts)) {
        showRows(tab);
        fillBoxes(tab);
    } else {
        showStrip(tab);
    }
}

void TMutilReplaceConfig::modifyRule(Tab tab) {
    EditedRuleSet::Row texts;
    if (!boxTexts(tab, texts)) {
        return;
    }
    if (m_tabs[tab].rules.modify(texts)) {
        showRows(tab);
        fillBoxes(tab);
    } else {
        showStrip(tab);
    }
}

void TMutilReplaceConfig::deleteRule(Tab tab) {
    if (m_tabs[tab].rules.remove()) {
        showRows(tab);
        fillBoxes(tab);
    }
}

void TMutilReplaceConfig::selectRow(Tab tab, int row) {
    if (m_tabs[tab].rules.select(row)) {
        fillBoxes(tab);
    }
    // Every column shows the selected row, whichever column was clicked.
    showSelection(tab);
}

void TMutilReplaceConfig::showRows(Tab tab) {
    const EditedRuleSet& rules = m_tabs[tab].rules;
    m_syncing = true;
    for (std::size_t column = 0; column < m_tabs[tab].lists.size(); ++column) {
        QListWidget* list = m_tabs[tab].lists[column];
        const int scroll = list->verticalScrollBar()->value();
        list->clear();
        for (int row = 0; row < rules.rowCount(); ++row) {
            const std::string& text = rules.row(row)[column];
            auto* item = new QListWidgetItem(RowTextOf(text), list);
            if (text.find_first_of("\r\n") != std::string::npos) {
                item->setToolTip(BoxTextOf(text));
            }
        }
        list->verticalScrollBar()->setValue(scroll);
    }
    m_syncing = false;
    showSelection(tab);
    showStrip(tab);
}

void TMutilReplaceConfig::showSelection(Tab tab) {
    const int selected = m_tabs[tab].rules.selected();
    m_syncing = true;
    for (QListWidget* list : m_tabs[tab].lists) {
        if (selected < 0) {
            list->setCurrentRow(-1);
        } else {
            list->setCurrentRow(selected, QItemSelectionModel::ClearAndSelect);
            list->scrollToItem(list->item(selected));
        }
    }
    m_syncing = false;
}

void TMutilReplaceConfig::showStrip(Tab tab) {
    m_tabs[tab].strip->setText(QString::fromUtf8(m_tabs[tab].rules.message()));
}

void TMutilReplaceConfig::fillBoxes(Tab tab) {
    const EditedRuleSet& rules = m_tabs[tab].rules;
    if (rules.selected() < 0) {
        return;
    }
    const EditedRuleSet::Row& row = rules.row(rules.selected());
    for (std::size_t i = 0; i < m_tabs[tab].boxes.size(); ++i) {
        QPlainTextEdit* box = m_tabs[tab].boxes[i];
        const QString text = BoxTextOf(row[i]);
        // Leave a box that already shows the text alone, so its cursor stays where the user left it.
        if (box->toPlainText() != text) {
            box->setPlainText(text);
        }
    }
}

} // namespace norvik::ui
