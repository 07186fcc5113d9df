#pragma once
// Every named part of the main window. Arrays are indexed by the number in the component name
// (memo[3] is Memo3); unused slots stay null. Each part's objectName is its component name, so
// language packs can also find it with findChild from the window.
#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QAbstractButton;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QWidget;

namespace norvik::ui {

class PathListView;
class PreviewPane;

struct MainFormWidgets {
    QMenuBar* mainMenu1 = nullptr;
    std::array<QMenu*, 29> menus{};   ///< top-level menus: N1, N4, N8, N14, N18
    std::array<QAction*, 30> items{}; ///< menu and pop-up items: N2, N3, N5, ...; N29 preview
    QMenu* popupMenu1 = nullptr;      ///< target list
    QMenu* popupMenu3 = nullptr;      ///< search hits
    QToolBar* toolBar1 = nullptr;
    std::array<QAction*, 18> toolButtons{}; ///< separators included (ToolButton5, 8, 12, 16)
    QAction* extractShortcut = nullptr;     ///< keeps F11 working while N17 and ToolButton11 are hidden

    QTabWidget* pageControl1 = nullptr;  ///< lower tabs: TabSheet1, TabSheet6, TabSheet3
    QTabWidget* pageControl2 = nullptr;  ///< upper tabs: TabSheet4, TabSheet5, TabSheet7, TabSheet2
    std::array<QWidget*, 9> tabSheets{}; ///< TabSheet8: the preview

    PathListView* checkListBox1 = nullptr; ///< targets, ticked
    PathListView* listBox1 = nullptr;      ///< results
    PathListView* checkListBox2 = nullptr; ///< search hits, ticked
    PathListView* listBox2 = nullptr;      ///< errors, red text
    PreviewPane* previewPane = nullptr;    ///< the preview tab's lists and change view
    std::array<QPlainTextEdit*, 9> memos{};
    std::array<QCheckBox*, 6> checkBoxes{};
    QComboBox* comboBox1 = nullptr;
    std::array<QAbstractButton*, 8> speedButtons{}; ///< SpeedButton6 preview, SpeedButton7 run the ticked
    std::array<QLabel*, 11> labels{};
    QStatusBar* statusBar1 = nullptr;
    std::array<QLabel*, 3> statusPanels{};
};

/// Lower tab indexes in PageControl1 and upper tab indexes in PageControl2.
enum LowerTab { kNormalTab = 0, kFeatureTab = 1, kExtractTab = 2 };
enum UpperTab { kTargetsTab = 0, kResultsTab = 1, kSearchTab = 2, kErrorsTab = 3, kPreviewTab = 4 };

} // namespace norvik::ui
