#include "rules/ui/RuleEditorWidgets.h"

#include <QAction>
#include <QDialog>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

#include "rules/ui/ColumnRowLayout.h"

namespace norvik::ui {
namespace {

constexpr int kButtonColumnWidth = 64;
constexpr int kColumnGap = 5;
constexpr int kDividerWidth = 27; // the feature list row has two, 54 together

// Find (or start) column and the replacement (or end) column around the button column; the two
// gaps beside the button column make the 10 of the rule.
std::vector<int> EditRowWidths(int rowWidth) {
    return {(rowWidth - kButtonColumnWidth - 2 * kColumnGap) / 2, kButtonColumnWidth};
}

std::vector<int> FeatureListWidths(int rowWidth) {
    const int third = (rowWidth - 2 * kDividerWidth) / 3;
    return {third, kDividerWidth, third, kDividerWidth};
}

QString Name(const char* name) {
    return QString::fromLatin1(name);
}

QLabel* MakePanel(QWidget* parent, const char* name, const QString& caption, Qt::Alignment alignment) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(Name(name));
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

// A caption between two list columns, at the top of its column.
QLabel* MakeDivider(QWidget* parent, const char* name, const QString& caption) {
    auto* label = MakePanel(parent, name, caption, Qt::AlignHCenter);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

// A strip across the tab: a heading at each end and, for the message strips, the message between.
QWidget* MakeStrip(QWidget* parent, std::initializer_list<QLabel*> labels) {
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
    list->setObjectName(Name(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->setTextElideMode(Qt::ElideRight);
    list->setItemDelegate(new EvenRowDelegate(list));
    return list;
}

QPlainTextEdit* MakeBox(QWidget* parent, const char* name) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(Name(name));
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab moves the focus, as in the main window's boxes.
    box->setTabChangesFocus(true);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(Name(name));
    button->setAutoDefault(false);
    return button;
}

QWidget* MakeButtonColumn(QWidget* parent, std::initializer_list<QPushButton*> buttons) {
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

/// What tells the two tabs apart: component names and captions. A feature tab also has a box for
/// the replacement of its own, and a divider between each pair of its three lists.
struct PagePlan {
    const char* page;
    QString title;
    const char* leftHeading;
    QString leftCaption;
    const char* messageStrip;
    const char* rightHeading;
    QString rightCaption;
    const char* firstBox;
    const char* secondBox;
    const char* addButton;
    const char* modifyButton;
    const char* deleteButton;
    const char* replacementHeading; ///< null on a tab whose replacement is its second box
    QString replacementCaption;
    const char* replacementBox;
    const char* rulesHeading;
    /// List columns from left to right, a divider between each two: list, divider, list[, divider, list].
    std::vector<std::pair<const char*, QString>> dividers;
    std::vector<const char*> lists;
};

RulePageWidgets BuildPage(const PagePlan& plan) {
    RulePageWidgets w;
    w.page = new QWidget;
    w.page->setObjectName(Name(plan.page));
    w.page->setWindowTitle(plan.title);
    auto* layout = new QVBoxLayout(w.page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);

    w.messageStrip = MakePanel(w.page, plan.messageStrip, QString(), Qt::AlignHCenter);
    layout->addWidget(
        MakeStrip(w.page, {MakePanel(w.page, plan.leftHeading, plan.leftCaption, Qt::AlignLeft), w.messageStrip,
                           MakePanel(w.page, plan.rightHeading, plan.rightCaption, Qt::AlignRight)}));

    auto* editRow = new QWidget(w.page);
    auto* editLayout = new ColumnRowLayout(editRow, kColumnGap, EditRowWidths);
    w.fieldBoxes = {MakeBox(editRow, plan.firstBox), MakeBox(editRow, plan.secondBox)};
    w.addButton = MakeButton(editRow, plan.addButton, QStringLiteral("增加"));
    w.modifyButton = MakeButton(editRow, plan.modifyButton, QStringLiteral("修改"));
    w.deleteButton = MakeButton(editRow, plan.deleteButton, QStringLiteral("删除"));
    editLayout->addWidget(w.fieldBoxes.front());
    editLayout->addWidget(MakeButtonColumn(editRow, {w.addButton, w.modifyButton, w.deleteButton}));
    editLayout->addWidget(w.fieldBoxes.back());
    layout->addWidget(editRow, 2);

    if (plan.replacementHeading != nullptr) {
        layout->addWidget(
            MakeStrip(w.page, {MakePanel(w.page, plan.replacementHeading, plan.replacementCaption, Qt::AlignLeft)}));
        w.fieldBoxes.push_back(MakeBox(w.page, plan.replacementBox));
        layout->addWidget(w.fieldBoxes.back(), 1);
    }

    layout->addWidget(
        MakeStrip(w.page, {MakePanel(w.page, plan.rulesHeading, QStringLiteral("替换规则"), Qt::AlignLeft)}));

    auto* listRow = new QWidget(w.page);
    // Two lists share the edit row's columns; three lists share the row in thirds around narrow dividers.
    auto* listLayout = plan.lists.size() == 2 ? new ColumnRowLayout(listRow, kColumnGap, EditRowWidths)
                                              : new ColumnRowLayout(listRow, 0, FeatureListWidths);
    for (std::size_t column = 0; column < plan.lists.size(); ++column) {
        if (column > 0) {
            const auto& [name, caption] = plan.dividers[column - 1];
            listLayout->addWidget(MakeDivider(listRow, name, caption));
        }
        w.fieldLists.push_back(MakeList(listRow, plan.lists[column]));
        listLayout->addWidget(w.fieldLists.back());
    }
    layout->addWidget(listRow, 3);
    return w;
}

const PagePlan& NormalPagePlan() {
    static const PagePlan plan{.page = "MTabSheet1",
                               .title = QStringLiteral("一般替换"),
                               .leftHeading = "MPanel3",
                               .leftCaption = QStringLiteral("替换目标"),
                               .messageStrip = "ChanelPanel",
                               .rightHeading = "MPanel2",
                               .rightCaption = QStringLiteral("替换内容"),
                               .firstBox = "Memo1",
                               .secondBox = "Memo2",
                               .addButton = "MButton2",
                               .modifyButton = "MButton1",
                               .deleteButton = "MButton3",
                               .replacementHeading = nullptr,
                               .replacementCaption = {},
                               .replacementBox = nullptr,
                               .rulesHeading = "MPanel15",
                               .dividers = {{"MPanel5", QStringLiteral("替换为")}},
                               .lists = {"ListBox1", "ListBox2"}};
    return plan;
}

const PagePlan& FeaturePagePlan() {
    static const PagePlan plan{.page = "MTabSheet2",
                               .title = QStringLiteral("特征替换"),
                               .leftHeading = "MPanel11",
                               .leftCaption = QStringLiteral("前特征字符串"),
                               .messageStrip = "Panel9",
                               .rightHeading = "MPanel10",
                               .rightCaption = QStringLiteral("后特征字符串"),
                               .firstBox = "Memo3",
                               .secondBox = "Memo4",
                               .addButton = "MButton5",
                               .modifyButton = "MButton4",
                               .deleteButton = "MButton6",
                               .replacementHeading = "MPanel8",
                               .replacementCaption = QStringLiteral("替换内容"),
                               .replacementBox = "Memo5",
                               .rulesHeading = "MPanel16",
                               .dividers = {{"MPanel12", QStringLiteral("(...)")}, {"MPanel13", QStringLiteral("->>")}},
                               .lists = {"ListBox3", "ListBox4", "ListBox5"}};
    return plan;
}

} // namespace

RuleEditorWidgets BuildRuleEditorWidgets(QDialog& dialog) {
    RuleEditorWidgets w;
    dialog.setObjectName(QStringLiteral("MutilReplaceConfig"));
    dialog.setWindowTitle(QStringLiteral("多重替换设置"));
    QFont dialogFont = dialog.font();
    dialogFont.setFamilies({QStringLiteral("Microsoft Sans Serif"), dialog.font().family()});
    dialog.setFont(dialogFont);

    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(4, 0, 4, 4);
    layout->setSpacing(2);
    // The column widths come from the dialog's width, never the other way round.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    w.toolBar = new QToolBar(&dialog);
    w.toolBar->setObjectName(QStringLiteral("MToolBar1"));
    w.toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    w.toolBar->setMovable(false);
    const auto addButton = [&](const char* name, const QString& caption) {
        QAction* action = w.toolBar->addAction(caption);
        action->setObjectName(Name(name));
        if (QWidget* button = w.toolBar->widgetForAction(action)) {
            button->setObjectName(Name(name));
        }
        return action;
    };
    const auto addSeparator = [&](const char* name) {
        w.toolBar->addSeparator()->setObjectName(Name(name));
    };
    w.newRules = addButton("MToolButton4", QStringLiteral("新建规则"));
    w.loadRules = addButton("MToolButton1", QStringLiteral("加载规则"));
    w.saveRules = addButton("MToolButton15", QStringLiteral("保存规则"));
    w.closeEditor = addButton("MToolButton2", QStringLiteral("关闭规则"));
    addSeparator("ToolButton16");
    w.configure = addButton("MToolButton14", QStringLiteral("配置"));
    addSeparator("ToolButton8");
    w.help = addButton("MToolButton3", QStringLiteral("帮助"));
    layout->addWidget(w.toolBar);

    w.pages = new QTabWidget(&dialog);
    w.pages->setObjectName(QStringLiteral("MPageControl1"));
    w.normalPage = BuildPage(NormalPagePlan());
    w.featurePage = BuildPage(FeaturePagePlan());
    for (const RulePageWidgets* page : {&w.normalPage, &w.featurePage}) {
        w.pages->addTab(page->page, page->page->windowTitle());
    }
    layout->addWidget(w.pages, 1);
    return w;
}

} // namespace norvik::ui
