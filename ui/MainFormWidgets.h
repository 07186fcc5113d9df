#pragma once
// Every named part of the main window, by what it is. Each part's objectName is its component name
// (given beside it here, for readers of language packs and settings files), set once by the window's
// builder, so language packs can also find it with findChild from the window.
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QObject;
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
    QMenuBar* menuBar = nullptr; // MainMenu1

    QMenu* fileMenu = nullptr;          // N1
    QAction* exitItem = nullptr;        // N2
    QMenu* functionsMenu = nullptr;     // N14
    QAction* restoreItem = nullptr;     // N13
    QAction* configureItem = nullptr;   // N11
    QAction* ruleEditorItem = nullptr;  // N16
    QAction* previewItem = nullptr;     // N29
    QAction* historyItem = nullptr;     // N32
    QMenu* languageMenu = nullptr;      // N18: the packs' entries
    QMenu* modeMenu = nullptr;          // N8
    QAction* normalModeItem = nullptr;  // N10
    QAction* featureModeItem = nullptr; // N9
    QAction* extractModeItem = nullptr; // N17, hidden
    QMenu* otherMenu = nullptr;         // N4
    QAction* helpItem = nullptr;        // N5
    QAction* aboutItem = nullptr;       // N7
    QAction* extractShortcut = nullptr; ///< keeps F11 working while N17 and ToolButton11 are hidden

    QMenu* targetMenu = nullptr;            // PopupMenu1: the target list's pop-up
    QAction* addFolderItem = nullptr;       // N3
    QAction* addFilesItem = nullptr;        // N12
    QAction* typeFolderItem = nullptr;      // N26
    QAction* checkAllTargetsItem = nullptr; // N6
    QAction* invertTargetsItem = nullptr;   // N22
    QAction* deleteTargetItem = nullptr;    // N27
    QAction* clearTargetsItem = nullptr;    // N28
    QMenu* hitMenu = nullptr;               // PopupMenu3: the search hits' pop-up
    QAction* checkAllHitsItem = nullptr;    // N19
    QAction* invertHitsItem = nullptr;      // N20
    QMenu* previewMenu = nullptr;           // PopupMenu4: the preview list's pop-up
    QAction* checkAllPreviewItem = nullptr; // N30
    QAction* invertPreviewItem = nullptr;   // N31

    QToolBar* toolBar = nullptr;          // ToolBar1
    QAction* addFolderButton = nullptr;   // ToolButton17
    QAction* addFilesButton = nullptr;    // ToolButton9
    QAction* addSeparator = nullptr;      // ToolButton16
    QAction* configureButton = nullptr;   // ToolButton14
    QAction* ruleEditorButton = nullptr;  // ToolButton1
    QAction* settingsSeparator = nullptr; // ToolButton8
    QAction* normalModeButton = nullptr;  // ToolButton3
    QAction* featureModeButton = nullptr; // ToolButton4
    QAction* extractModeButton = nullptr; // ToolButton11, hidden
    QAction* modeSeparator = nullptr;     // ToolButton12
    QAction* restoreButton = nullptr;     // ToolButton10
    QAction* historyButton = nullptr;     // ToolButton18
    QAction* restoreSeparator = nullptr;  // ToolButton5
    QAction* helpButton = nullptr;        // ToolButton6
    QAction* aboutButton = nullptr;       // ToolButton7
    QAction* feedbackButton = nullptr;    // ToolButton2

    QTabWidget* listTabs = nullptr;              // PageControl2: the upper tabs
    QWidget* targetsPage = nullptr;              // TabSheet4
    PathListView* targetList = nullptr;          // CheckListBox1, ticked
    QWidget* resultsPage = nullptr;              // TabSheet5
    PathListView* resultList = nullptr;          // ListBox1
    QWidget* searchPage = nullptr;               // TabSheet7
    QPlainTextEdit* searchText = nullptr;        // Memo6
    QAbstractButton* searchButton = nullptr;     // SpeedButton3
    PathListView* hitList = nullptr;             // CheckListBox2, ticked
    QWidget* errorsPage = nullptr;               // TabSheet2
    PathListView* errorList = nullptr;           // ListBox2, red text
    QWidget* previewPage = nullptr;              // TabSheet8
    PreviewPane* previewPane = nullptr;          ///< the preview tab's lists and change view (the same widget)
    QAbstractButton* runPreviewButton = nullptr; // SpeedButton7: runs the preview's ticked files

    QCheckBox* backupCheck = nullptr;         // CheckBox2
    QCheckBox* caseSensitiveCheck = nullptr;  // CheckBox5
    QCheckBox* subfoldersCheck = nullptr;     // CheckBox3
    QCheckBox* forceReadOnlyCheck = nullptr;  // CheckBox4
    QCheckBox* multipleCheck = nullptr;       // CheckBox1: rule sets instead of the text boxes
    QComboBox* ruleSetChooser = nullptr;      // ComboBox1
    QAbstractButton* ruleSetButton = nullptr; // SpeedButton1: opens the rule editor

    QTabWidget* textTabs = nullptr;                   // PageControl1: the lower tabs
    QWidget* normalPage = nullptr;                    // TabSheet1
    QLabel* findLabel = nullptr;                      // Label1
    QPlainTextEdit* findText = nullptr;               // Memo1
    QLabel* replacementLabel = nullptr;               // Label2
    QPlainTextEdit* replacementText = nullptr;        // Memo2
    QWidget* featurePage = nullptr;                   // TabSheet6
    QLabel* featureStartLabel = nullptr;              // Label4
    QPlainTextEdit* featureStartText = nullptr;       // Memo3
    QLabel* featureEndLabel = nullptr;                // Label5
    QPlainTextEdit* featureEndText = nullptr;         // Memo4
    QLabel* featureReplacementLabel = nullptr;        // Label6
    QPlainTextEdit* featureReplacementText = nullptr; // Memo5
    QWidget* extractPage = nullptr;                   // TabSheet3
    QLabel* extractStartLabel = nullptr;              // Label8
    QPlainTextEdit* extractStartText = nullptr;       // Memo7
    QLabel* extractEndLabel = nullptr;                // Label9
    QPlainTextEdit* extractEndText = nullptr;         // Memo8

    QLabel* currentFileLine = nullptr;        // Label3: the file being changed
    QLabel* outputLine = nullptr;             // Label10
    QLabel* fileTypeLine = nullptr;           // Label7
    QAbstractButton* previewButton = nullptr; // SpeedButton6
    QAbstractButton* pauseButton = nullptr;   // SpeedButton4
    QAbstractButton* startButton = nullptr;   // SpeedButton2
    QAbstractButton* stopButton = nullptr;    // SpeedButton5

    QStatusBar* statusBar = nullptr; // StatusBar1
    QLabel* elapsedPanel = nullptr;  // its first panel: the time the last run took
    QLabel* progressPanel = nullptr; // the percent done
    QLabel* summaryPanel = nullptr;  // the last run's counts

    /// The parts a language pack gives captions to (menus, items, toolbar buttons and separators, tab
    /// pages, boxes, buttons and labels), each of which carries its component name.
    [[nodiscard]] std::vector<QObject*> captionedParts() const;
    /// The option check boxes, in the order they stand in the window.
    [[nodiscard]] std::vector<QCheckBox*> optionChecks() const;
    /// The text boxes whose change makes a preview stale (all but the search text).
    [[nodiscard]] std::vector<QPlainTextEdit*> ruleTexts() const;
};

/// Lower tab indexes in PageControl1 and upper tab indexes in PageControl2.
enum LowerTab { kNormalTab = 0, kFeatureTab = 1, kExtractTab = 2 };
enum UpperTab { kTargetsTab = 0, kResultsTab = 1, kSearchTab = 2, kErrorsTab = 3, kPreviewTab = 4 };

} // namespace norvik::ui
