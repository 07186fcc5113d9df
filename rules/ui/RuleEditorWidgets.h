#pragma once
// Every named part of the rule editor. Each part's objectName is its component name, so language
// packs find it; the comment beside a member gives that name.
#include <vector>

class QAction;
class QDialog;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolBar;
class QWidget;

namespace norvik::ui {

/// One tab of the editor. The edit boxes and the lists come in the order of the rule's fields:
/// find, replacement (normal rules) or start, end, replacement (feature rules).
struct RulePageWidgets {
    QWidget* page = nullptr;                 ///< MTabSheet1, MTabSheet2
    QLabel* messageStrip = nullptr;          ///< ChanelPanel, Panel9
    std::vector<QPlainTextEdit*> fieldBoxes; ///< Memo1, Memo2 | Memo3, Memo4, Memo5
    std::vector<QListWidget*> fieldLists;    ///< ListBox1, ListBox2 | ListBox3, ListBox4, ListBox5
    QPushButton* addButton = nullptr;        ///< MButton2, MButton5
    QPushButton* modifyButton = nullptr;     ///< MButton1, MButton4
    QPushButton* deleteButton = nullptr;     ///< MButton3, MButton6
};

struct RuleEditorWidgets {
    QToolBar* toolBar = nullptr;    ///< MToolBar1
    QAction* newRules = nullptr;    ///< MToolButton4
    QAction* loadRules = nullptr;   ///< MToolButton1
    QAction* saveRules = nullptr;   ///< MToolButton15
    QAction* closeEditor = nullptr; ///< MToolButton2
    QAction* configure = nullptr;   ///< MToolButton14
    QAction* help = nullptr;        ///< MToolButton3
    QTabWidget* pages = nullptr;    ///< MPageControl1
    RulePageWidgets normalPage;     ///< MTabSheet1
    RulePageWidgets featurePage;    ///< MTabSheet2
};

/// Builds the toolbar and both tabs into the dialog, with their captions and component names, and
/// sets the dialog's own title and font; connects nothing.
[[nodiscard]] RuleEditorWidgets BuildRuleEditorWidgets(QDialog& dialog);

} // namespace norvik::ui
