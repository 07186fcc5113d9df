#pragma once
// Moves the working state between the windows and the settings document: the main window's targets,
// option boxes, mode, text boxes and rule-set choice, its options record, and the configuration
// dialog's output mode and extraction flags.
#include <cstdint>

namespace norvik::ui {

class TMainForm;
class TConfigure;

class SettingsBinding {
public:
    enum class LoadOutcome : std::uint8_t {
        Loaded,  ///< every key applied, the dialog and the options refreshed
        Skipped, ///< no settings document, or its file is gone: nothing touched
        Stopped, ///< a key could not be read; its message was shown and later keys were left alone
    };

    explicit SettingsBinding(TMainForm& mainForm) : m_mainForm(mainForm) {}

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

    TMainForm& m_mainForm;
};

} // namespace norvik::ui
