#pragma once
// The four windows of the program, created in the program's order over an executable folder of the
// test's own, with a scripted desktop. The folder can be filled with the shipped resources.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <string_view>

#include "support/ScriptedPlatform.h"

namespace norvik::ui {
class TMainForm;
class TConfigure;
class TMutilReplaceConfig;
class Tabout_form;
} // namespace norvik::ui

namespace norvik::test {

/// Copies NVK.xml, lang/ and MultiReplace/ from beside the built executables into `folder`.
bool CopyShippedResources(const QString& folder);

/// The value of a key in a settings (or pack) file, and a way to change one in place.
std::string StoredValue(const QString& file, std::string_view key);
bool StoreValue(const QString& file, std::string_view key, std::string_view value);

/// The file system bytes of a path.
std::string PathBytesOf(const QString& path);

/// An executable folder holding the shipped resources, and a second folder for targets.
struct ShippedFolders {
    QTemporaryDir exe;
    QTemporaryDir files;

    ShippedFolders();

    [[nodiscard]] QString settingsFile() const { return exe.filePath(QStringLiteral("NVK.xml")); }
    /// A language pack of the executable folder by its name.
    [[nodiscard]] QString pack(const QString& name) const;
    /// The executable folder's bytes, ending with '/'.
    [[nodiscard]] std::string exeBytes() const { return PathBytesOf(exe.path()) + "/"; }
    /// Makes a folder of the target folder; its bytes, ending with '/'.
    [[nodiscard]] std::string dir(const QString& name) const;
    /// Makes an empty file of the target folder; its bytes.
    [[nodiscard]] std::string file(const QString& name) const;
    /// Changes a key of the settings file in place, or reads it.
    void store(std::string_view key, std::string_view value) const;
    [[nodiscard]] std::string stored(std::string_view key) const { return StoredValue(settingsFile(), key); }
    /// Whole files, byte for byte.
    static void write(const QString& path, const QByteArray& bytes);
    [[nodiscard]] static QByteArray read(const QString& path);
};

class ProgramWindows {
public:
    /// Creates the windows over `exeFolder` (no trailing '/') without opening the settings file.
    explicit ProgramWindows(const QString& exeFolder);
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
    ui::TMutilReplaceConfig* ruleEditor = nullptr; // owned by the main window
    std::unique_ptr<ui::Tabout_form> about;
};

} // namespace norvik::test
