#pragma once
// Moves the working state between the windows and the settings document: the main window's targets,
// option boxes, mode, text boxes and rule-set choice, its options record, and the configuration
// dialog's output mode and extraction flags.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/SettingsLock.h"

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
    /// message. False means the program must end without loading or saving anything. An opened file
    /// is locked for this window; when another window holds it, this one will not save it.
    [[nodiscard]] bool openSettings();

    /// Reads every key in its fixed order into the windows. The first key that cannot be read stops
    /// loading with a message box naming the problem; what was applied before it stays, and the
    /// dialog refresh, the options refresh and the language are then left out. That key and every
    /// later one keep their stored text: the window shows its own default for them, and saving writes
    /// one back only when the user changed that setting. Afterwards a window whose settings file
    /// another window holds says so.
    LoadOutcome loadSettings();

    /// Writes every key from the windows into the settings document (nothing when the file is gone),
    /// except the keys loading left unapplied whose setting is still as loading left it. A key whose
    /// stored element holds more than text cannot be written; the others still are, and the problem
    /// is shown once.
    void saveSettings();

    /// The close path: saveSettings, then the document is written to its file if anything changed.
    /// Nothing is written when the file was deleted while the program ran, or when another window
    /// held the file when this one opened it. False when the file could not be written (a message box
    /// says so).
    bool saveAndWrite();

    /// The window has closed: the settings file is left to the next window that opens it.
    void releaseSettingsFile() { m_lock = {}; }

private:
    struct StoredValue {
        std::string_view key;
        std::string value;
    };

    [[nodiscard]] TConfigure* usableConfigure() const;
    /// Every key with the text the windows' state gives it, in saving order (the rule-set key only
    /// with multiple replacement on and a set chosen).
    [[nodiscard]] std::vector<StoredValue> currentValues(TConfigure& configure) const;
    /// Remembers what the windows show for `failedKey` and every key loaded after it.
    void holdUnappliedKeys(std::string_view failedKey, TConfigure& configure);
    void reportSettingsInUse();

    MainWindowView& m_mainForm;
    settings::SettingsDocument& m_document;
    TConfigure* m_configure = nullptr;
    settings::SettingsLock m_lock;
    /// The keys loading left unapplied, with the text their setting had right after loading.
    std::vector<StoredValue> m_heldValues;
};

} // namespace norvik::ui
