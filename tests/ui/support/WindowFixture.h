#pragma once
// The one fixture of the window tests. Its folders: an executable folder of the test's own, holding
// an empty rule folder or the shipped resources, and a data folder for the files a test works on.
// Its windows, over a scripted desktop: the main window (with the configuration dialog when asked),
// made as the program makes it. A test of starts and restarts takes the folders alone and makes the
// program's windows over them with ProgramWindows, once, again (a restart) or twice at once.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "job/ui/JobController.h"
#include "main/TMainForm.h"
#include "settings/ui/TConfigure.h"
#include "support/ScriptedPlatform.h"
#include "ui/PathListView.h"

namespace norvik::ui {
class TMutilReplaceConfig;
class Tabout_form;
} // namespace norvik::ui

namespace norvik::test {

/// Whole files, byte for byte; a file that cannot be read reads as "<missing>".
void WriteFileBytes(const QString& path, const QByteArray& bytes);
[[nodiscard]] QByteArray ReadFileBytes(const QString& path);

/// The file system bytes of a path.
[[nodiscard]] std::string Bytes(const QString& path);

/// The value of a key in a settings (or pack) file, and a way to change one in place.
[[nodiscard]] std::string StoredValue(const QString& file, std::string_view key);
bool StoreValue(const QString& file, std::string_view key, std::string_view value);

/// Copies NVK.xml, lang/ and MultiReplace/ of the source tree's resources into `folder`.
bool CopyShippedResources(const QString& folder);

inline QStringList ListTexts(const ui::PathListView& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row) {
        texts << list.rows().textAt(row);
    }
    return texts;
}

/// The windows of the program over an executable folder, each with its own scripted desktop: the
/// main window alone, with the configuration dialog attached, or all four made and wired in the
/// program's order. Nothing is read from the folder until open() or start().
class ProgramWindows {
public:
    enum class Kind { None, MainWindow, MainWindowAndDialog, Program };
    /// `exeFolder` without its trailing '/'.
    explicit ProgramWindows(const QString& exeFolder, Kind kind = Kind::Program);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    /// Opens the settings file as the program does right after creating the configuration dialog.
    bool open();
    /// Opens the settings file and shows the main window, which loads the settings and the language.
    bool start();
    /// Closes the main window as its close button does; true when it closed.
    bool close();

    ScriptedPlatform platform;
    std::unique_ptr<ui::TMainForm> form;
    std::unique_ptr<ui::TConfigure> configure;
    ui::TMutilReplaceConfig* ruleEditor = nullptr; ///< owned by the main window
    std::unique_ptr<ui::Tabout_form> about;
};

/// The folders of a window test.
struct TestFolders {
    enum class Resources { RuleFolder, Shipped };
    QTemporaryDir exe;
    QTemporaryDir data;

    explicit TestFolders(Resources resources);

    /// A path inside the data folder.
    [[nodiscard]] QString path(const QString& name) const { return data.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const { WriteFileBytes(path(name), bytes); }
    [[nodiscard]] QByteArray read(const QString& name) const { return ReadFileBytes(path(name)); }
    /// Makes a folder of the data folder; its bytes without a trailing '/'.
    [[nodiscard]] std::string dir(const QString& name) const {
        QDir(data.path()).mkpath(name);
        return Bytes(path(name));
    }
    /// Makes an empty file of the data folder; its bytes.
    [[nodiscard]] std::string file(const QString& name) const {
        write(name, {});
        return Bytes(path(name));
    }

    /// The executable folder's bytes, ending with '/'.
    [[nodiscard]] std::string exeBytes() const { return Bytes(exe.path()) + "/"; }
    [[nodiscard]] QString settingsFile() const { return exe.filePath(QStringLiteral("NVK.xml")); }
    /// A language pack of the executable folder by its name.
    [[nodiscard]] QString pack(const QString& name) const {
        return exe.filePath(QStringLiteral("lang/") + name + QStringLiteral(".xml"));
    }
    /// Changes a key of the settings file in place, or reads it.
    void store(std::string_view key, std::string_view value) const;
    [[nodiscard]] std::string stored(std::string_view key) const { return StoredValue(settingsFile(), key); }
};

struct WindowFixture : TestFolders, ProgramWindows {
    enum class Dialog : bool { None, Attached };
    /// The folders alone, with the shipped resources: the test makes ProgramWindows over them.
    struct ShippedFolders {};

    /// The main window over an empty rule folder, with the configuration dialog when asked. Every
    /// report of the engine pumps the events, so tests act at a chosen file.
    explicit WindowFixture(Dialog dialog = Dialog::None);
    explicit WindowFixture(ShippedFolders);

    [[nodiscard]] const ui::MainFormWidgets& w() const { return form->widgets(); }
    [[nodiscard]] std::vector<ui::TargetEntry> targets() const { return form->targets().entries(); }

    /// Adds a folder of the data folder ("" for the data folder itself) as a ticked target.
    void addFolder(const QString& name = {}) const {
        const QString folder = name.isEmpty() ? data.path() : path(name);
        QDir().mkpath(folder);
        form->addTarget(Bytes(folder) + "/");
    }

    static void type(QPlainTextEdit* box, const QString& text) { box->setPlainText(text); }
    /// The status bar's panels: the time the run took, the percent done, the counts.
    [[nodiscard]] QString elapsed() const { return w().elapsedPanel->text(); }
    [[nodiscard]] QString progress() const { return w().progressPanel->text(); }
    [[nodiscard]] QString summary() const { return w().summaryPanel->text(); }
};

} // namespace norvik::test
