#pragma once
// The configuration dialog: the known file types and those the job works on, the output mode, and
// the (never shown) extraction flags. It edits copies: showing it loads the controls from the main
// window's options, OK writes them back and refreshes the main window, Cancel puts the options and the
// controls back as they were loaded (the main window reads the output mode from the dialog).
#include <QDialog>
#include <string>

#include "settings/ReplaceOptions.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace norvik::platform {
class IPlatform;
}

namespace norvik::ui {

class MainWindowView;

class TConfigure : public QDialog {
    Q_OBJECT
public:
    TConfigure(platform::IPlatform& platform, MainWindowView& mainForm);

    /// Sets the controls from the main window's options.
    void loadConfiguration();
    /// Looks for the output folder or creates it (one level); a folder that cannot be had, or the
    /// empty text, switches output-folder mode off and forgets the folder. Sets Edit1, the radio
    /// buttons and the main window's backup box.
    void showOutputFolder(const std::string& folder);
    /// Replaces the list with the members of a ";" list, all unticked.
    void fillFileTypes(const std::string& types);
    /// Ticks the first entry equal to the text (case-sensitive); with ";" in the text, ticks each
    /// member and returns true whatever matched. False when a single text matched nothing.
    bool tickFileTypes(const std::string& text);
    /// Copies the dialog into the options, then collects the file types.
    void applyConfiguration();
    /// Stores all entries and the ticked ones as fileTypes and selectedTypes, then refreshes the
    /// main window's options.
    void collectFileTypes();

    void restoreDefaultTypes(); ///< N1: the 17 default types, all ticked
    void addFileType();         ///< N2
    void deleteFileType();      ///< N3: the selected entry
    void tickAllTypes();        ///< N4
    void invertTypeTicks();     ///< N5
    void browseOutputFolder();  ///< SpeedButton1
    void followOutputMode();    ///< either radio button (RadioButton1, RadioButton2) turned on
    void acceptConfiguration(); ///< OK (Button1)
    /// Every time the dialog is shown: loads the configuration and centres the dialog on the main window.
    void loadAndPlace();
    /// Cancel, Escape or closing the window: every option and control goes back to what the last
    /// loadConfiguration showed, the main window's backup box and status line included.
    void reject() override;

    /// RadioButton2's state; read by the options refresh and by the settings save.
    [[nodiscard]] bool outputToFolderChosen() const;
    /// Turns on RadioButton2 (output folder) or RadioButton1 (in place), as a click would.
    void setOutputToFolderChosen(bool toFolder);
    /// The extraction flags as the dialog shows them; stored by the settings save.
    struct ExtractionChoice {
        bool addSource = false;
        bool blankLine = false;
        bool includeStart = false;
        bool includeEnd = false;
    };
    [[nodiscard]] ExtractionChoice extractionChosen() const;
    /// The entries of the type list in order, and the ticked ones.
    [[nodiscard]] std::string listedTypes() const;
    [[nodiscard]] std::string tickedTypes() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void appendType(const std::string& type, bool ticked);
    void showExtraction(const settings::ReplaceOptions& options);

    platform::IPlatform& m_platform;
    MainWindowView& m_mainForm;
    QListWidget* m_types = nullptr;      // CheckListBox1
    QMenu* m_typeMenu = nullptr;         // PopupMenu1
    QRadioButton* m_inPlace = nullptr;   // RadioButton1
    QRadioButton* m_toFolder = nullptr;  // RadioButton2
    QLineEdit* m_folder = nullptr;       // Edit1
    QToolButton* m_browse = nullptr;     // SpeedButton1
    QGroupBox* m_extraction = nullptr;   // GroupBox2
    QCheckBox* m_addSource = nullptr;    // CheckBox1: the source's path before its spans
    QCheckBox* m_blankLine = nullptr;    // CheckBox2: a blank line between spans
    QCheckBox* m_includeStart = nullptr; // CheckBox3: spans keep their start string
    QCheckBox* m_includeEnd = nullptr;   // CheckBox4: spans keep their end string
    QSpinBox* m_jobs = nullptr;          // workers preparing files; 0: one per core
    QCheckBox* m_syncWrites = nullptr;   // durable commits

    /// What loadConfiguration showed, for Cancel.
    struct Shown {
        bool valid = false;
        settings::ReplaceOptions options;
        bool toFolder = false;
        QString folderText;
        std::string listedTypes;
        std::string tickedTypes;
    };
    Shown m_shown;
};

} // namespace norvik::ui
