#pragma once
// Moves the working state between the windows and the settings document: the main window's targets,
// option boxes, mode, text boxes and rule-set choice, its options record, and the configuration
// dialog's output mode and extraction flags.
#include <cstdint>

namespace norvik::settings {
class SettingsDocument;
}

namespace norvik::ui {

class MainWindowView;
class TConfigure;

class SettingsBinding {
public:
    enum class LoadOutcome : std::uint8_t {
        Loaded,  ///< every key applied, the dialog and the options refreshed
        Skipped, ///< no settings document, or its file is gone: nothing touched
        Stopped, ///< a key could not be read; its message was shown and later keys were left alone
    };

    /// `document` is the application's settings document; it is read from and written to the main
    /// window's settings file.
    SettingsBinding(MainWindowView& mainForm, settings::SettingsDocument& document)
        : m_mainForm(mainForm), m_document(document) {}

    /// The dialog whose output mode and extraction flags are stored with the rest.
    void setConfigure(TConfigure* configure) { m_configure = configure; }

    /// Opens the settings file into the settings document. A missing file shows "NVK.xml is not
    /// exist!!!"; a file that cannot be parsed shows "Load NVK.xml Error!!!" and then the parser's own
    /// message. False means the program must end without loading or saving anything.
    [[nodiscard]] bool OpenSettings();

    /// Reads every key in its fixed order into the windows. The first key that cannot be read stops
    /// loading with a message box naming the problem; what was applied before it stays, and the
    /// dialog refresh, the options refresh and the language are then left out.
    LoadOutcome LoadSettings();

    /// Writes every key from the windows into the settings document (nothing when the file is gone).
    /// A key whose stored element holds more than text cannot be written; the others still are, and
    /// the problem is shown once.
    void SaveSettings();

    /// The close path: SaveSettings, then the document is written to its file if anything changed.
    /// Nothing is written when the file was deleted while the program ran. False when the file could
    /// not be written (a message box says so).
    bool SaveAndWrite();

private:
    [[nodiscard]] TConfigure* usableConfigure() const;

    MainWindowView& m_mainForm;
    settings::SettingsDocument& m_document;
    TConfigure* m_configure = nullptr;
};

} // namespace norvik::ui
