#include "settings/ui/SettingsBinding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/HexText.h"
#include "platform/IPlatform.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsKeys.h"
#include "settings/ui/TConfigure.h"
#include "ui/MainWindowView.h"
#include "ui/MemoText.h"
#include "ui/PathText.h"
#include "ui/TargetList.h"

namespace norvik::ui {

namespace keys = settings::keys;
using settings::SettingsError;

namespace {

/// More workers than this gain nothing on any desktop and only hold memory.
constexpr int kMaxJobs = 64;

/// Shown when the settings file cannot be replaced at close.
constexpr std::string_view kSettingsSaveErrorMessage = "Save NVK.xml Error!!!";

// The option boxes in load order, with their keys.
struct CheckKey {
    std::string_view key;
    QCheckBox* MainFormWidgets::*box;
};
constexpr std::array<CheckKey, 5> kOptionChecks{{
    {keys::kBackUp, &MainFormWidgets::backupCheck},
    {keys::kCaseSensitive, &MainFormWidgets::caseSensitiveCheck},
    {keys::kSubdir, &MainFormWidgets::subfoldersCheck},
    {keys::kMutilReplace, &MainFormWidgets::multipleCheck},
    {keys::kForceReadOnly, &MainFormWidgets::forceReadOnlyCheck},
}};

// The text boxes of a single replacement in load and save order, with their keys (hex text of the
// working text).
struct TextKey {
    std::string_view key;
    QPlainTextEdit* MainFormWidgets::*box;
};
constexpr std::array<TextKey, 5> kRuleTexts{{
    {keys::kNormalReplaceMemo1, &MainFormWidgets::findText},
    {keys::kNormalReplaceMemo2, &MainFormWidgets::replacementText},
    {keys::kCharacterReplaceMemo1, &MainFormWidgets::featureStartText},
    {keys::kCharacterReplaceMemo2, &MainFormWidgets::featureEndText},
    {keys::kCharacterReplaceMemo3, &MainFormWidgets::featureReplacementText},
}};

} // namespace

bool SettingsBinding::openSettings() {
    const settings::LoadResult loaded = m_document.loadFile(m_mainForm.folders().settingsFile);
    const auto show = [this](std::string_view text) {
        m_mainForm.platform().showMessage(nullptr, FromUtf8(text), platform::MessageKind::Error);
    };
    switch (loaded.status) {
    case settings::LoadStatus::Loaded:
        m_lock = settings::SettingsLock::acquire(m_mainForm.folders().settingsFile);
        return true;
    case settings::LoadStatus::Missing:
        show(settings::kSettingsMissingMessage);
        return false;
    case settings::LoadStatus::ParseError:
        show(settings::kSettingsLoadErrorMessage);
        show(loaded.offset >= 0 ? loaded.message + " (offset " + std::to_string(loaded.offset) + ")" : loaded.message);
        return false;
    }
    return false;
}

TConfigure* SettingsBinding::usableConfigure() const {
    if (m_configure == nullptr || !m_document.isLoaded() || !filedeal::FileExists(m_mainForm.folders().settingsFile)) {
        return nullptr;
    }
    return m_configure;
}

SettingsBinding::LoadOutcome SettingsBinding::loadSettings() {
    TConfigure* configure = usableConfigure();
    if (configure == nullptr) {
        return LoadOutcome::Skipped;
    }
    const MainFormWidgets& w = m_mainForm.widgets();
    settings::ReplaceOptions& options = m_mainForm.options();
    m_heldValues.clear();
    // The key being read: it and every key after it are left unapplied when it cannot be read.
    std::string_view reading;
    const auto readKey = [this, &reading](std::string_view key) {
        reading = key;
        return m_document.readSetting(key);
    };
    try {
        const settings::DecodedTargets targets = settings::DecodeTargets(readKey(keys::kTarget));
        m_mainForm.targets().clear();
        for (const settings::TargetEntry& target : targets.entries) {
            m_mainForm.targets().append(target.path, target.checked);
        }
        if (targets.error) {
            throw SettingsError(*targets.error);
        }

        // Setting a box runs its click reaction only when its state changes (CheckBox1's fills the
        // rule-set chooser).
        for (const CheckKey& entry : kOptionChecks) {
            (w.*entry.box)->setChecked(settings::ReadFlag(readKey(entry.key)));
        }

        const bool toFolder = settings::ReadFlag(readKey(keys::kItsSelf));
        configure->setOutputToFolderChosen(toFolder);

        const settings::RestoredOutputFolder output =
            settings::RestoreOutputFolder(configure->outputToFolderChosen(), readKey(keys::kOutPutDir));
        options.outputFolder = output.folder;
        if (output.clearOutputToFolder) {
            options.outputToFolder = false;
        }

        options.fileTypes = readKey(keys::kDefaultFileExt);
        options.selectedTypes = readKey(keys::kSelectFileExt);

        const std::optional<settings::ReplaceMode> mode =
            settings::ModeFromNumber(settings::ReadNumber(readKey(keys::kReplaceType)));
        if (mode && *mode != m_mainForm.options().mode) {
            m_mainForm.setMode(*mode);
        }

        for (const TextKey& entry : kRuleTexts) {
            const std::string text = filedeal::HexToText(readKey(entry.key));
            SetMemoTextUtf8(*(w.*entry.box), filedeal::CodePageToUtf8(text));
        }

        options.language = settings::LanguageFromValue(readKey(keys::kLanguage));

        const QString ruleSet = PathText(settings::RuleSetNameFromValue(readKey(keys::kRepacleRulesFile)));
        for (int row = w.ruleSetChooser->count() - 1; row >= 0; --row) {
            if (w.ruleSetChooser->itemText(row) == ruleSet) {
                w.ruleSetChooser->setCurrentIndex(row);
                break;
            }
        }

        options.extractAddSource = settings::ReadFlag(readKey(keys::kExtractFileSourceAdd));
        options.extractBlankLine = settings::ReadFlag(readKey(keys::kExtractAddEmptyRow));
        options.extractIncludeStart = settings::ReadFlag(readKey(keys::kExtractIncludeStart));
        options.extractIncludeEnd = settings::ReadFlag(readKey(keys::kExtractIncludeEnd));

        // Keys added later: a file without them keeps the defaults.
        const auto readNew = [&](std::string_view key, std::string_view fallback) {
            return m_document.hasSetting(key) ? readKey(key) : std::string(fallback);
        };
        const int jobs = settings::ReadNumber(readNew(keys::kJobs, "0"));
        options.jobs = static_cast<unsigned>(std::clamp(jobs, 0, kMaxJobs));
        options.durableWrites = settings::ReadFlag(readNew(keys::kSyncWrites, "1"));
    } catch (const SettingsError& error) {
        m_mainForm.platform().showMessage(&m_mainForm.windowWidget(), FromUtf8(error.what()),
                                          platform::MessageKind::Error);
        holdUnappliedKeys(reading, *configure);
        reportSettingsInUse();
        return LoadOutcome::Stopped;
    }
    configure->loadConfiguration();
    m_mainForm.refreshOptions();
    reportSettingsInUse();
    return LoadOutcome::Loaded;
}

void SettingsBinding::holdUnappliedKeys(std::string_view failedKey, TConfigure& configure) {
    const auto first = std::find_if(keys::kAllKeys.begin(), keys::kAllKeys.end(),
                                    [failedKey](const keys::KeyDefault& entry) { return entry.key == failedKey; });
    for (StoredValue& value : currentValues(configure)) {
        const auto held = std::find_if(first, keys::kAllKeys.end(),
                                       [&value](const keys::KeyDefault& entry) { return entry.key == value.key; });
        if (held != keys::kAllKeys.end()) {
            m_heldValues.push_back(std::move(value));
        }
    }
}

void SettingsBinding::reportSettingsInUse() {
    if (m_lock.state() == settings::SettingsLock::State::InUse) {
        m_mainForm.platform().showMessage(
            &m_mainForm.windowWidget(),
            FromUtf8(std::string(settings::kSettingsInUseMessage) + m_mainForm.folders().settingsFile),
            platform::MessageKind::Warning);
    }
}

std::vector<SettingsBinding::StoredValue> SettingsBinding::currentValues(TConfigure& configure) const {
    const MainFormWidgets& w = m_mainForm.widgets();
    const settings::ReplaceOptions& options = m_mainForm.options();
    std::vector<StoredValue> values;
    const auto add = [&values](std::string_view key, std::string value) {
        values.push_back({key, std::move(value)});
    };
    const auto boxFlag = [](const QCheckBox* box) {
        return settings::FlagText(box->isChecked());
    };

    add(keys::kTarget, settings::EncodeTargets(m_mainForm.targets().entries()));

    add(keys::kBackUp, boxFlag(w.backupCheck));
    add(keys::kCaseSensitive, boxFlag(w.caseSensitiveCheck));
    add(keys::kSubdir, boxFlag(w.subfoldersCheck));
    add(keys::kMutilReplace, boxFlag(w.multipleCheck));
    add(keys::kReplaceType, std::to_string(static_cast<int>(options.mode)));
    add(keys::kForceReadOnly, boxFlag(w.forceReadOnlyCheck));

    add(keys::kItsSelf, settings::FlagText(configure.outputToFolderChosen()));

    add(keys::kDefaultFileExt, options.fileTypes);
    add(keys::kSelectFileExt, options.selectedTypes);
    add(keys::kOutPutDir, options.outputFolder);

    const TConfigure::ExtractionChoice extraction = configure.extractionChosen();
    add(keys::kExtractFileSourceAdd, settings::FlagText(extraction.addSource));
    add(keys::kExtractAddEmptyRow, settings::FlagText(extraction.blankLine));
    add(keys::kExtractIncludeStart, settings::FlagText(extraction.includeStart));
    add(keys::kExtractIncludeEnd, settings::FlagText(extraction.includeEnd));

    add(keys::kLanguage, options.language);
    add(keys::kJobs, std::to_string(options.jobs));
    add(keys::kSyncWrites, settings::FlagText(options.durableWrites));

    // The chosen rule set goes with the multiple-replacement box as it is on screen, like
    // "MutilReplace" itself: a set chosen since the last options refresh is not lost.
    const QString ruleSet = w.ruleSetChooser->currentText();
    if (w.multipleCheck->isChecked() && !ruleSet.isEmpty()) {
        add(keys::kRepacleRulesFile,
            settings::EncodeRuleSetValue(m_mainForm.folders().dataFolder, PathBytes(ruleSet), options.mode));
    }

    for (const TextKey& entry : kRuleTexts) {
        add(entry.key, filedeal::TextToHex(filedeal::Utf8ToCodePage(MemoTextUtf8(*(w.*entry.box)))));
    }
    return values;
}

void SettingsBinding::saveSettings() {
    TConfigure* configure = usableConfigure();
    if (configure == nullptr) {
        return;
    }
    std::optional<std::string> firstError;
    for (const StoredValue& value : currentValues(*configure)) {
        // A key that was not loaded keeps its stored text until the user changes that setting.
        const auto held = std::find_if(m_heldValues.begin(), m_heldValues.end(),
                                       [&value](const StoredValue& entry) { return entry.key == value.key; });
        if (held != m_heldValues.end() && held->value == value.value) {
            continue;
        }
        // A key that cannot be stored must not cost the others theirs.
        try {
            m_document.writeSetting(value.key, value.value);
        } catch (const SettingsError& error) {
            if (!firstError) {
                firstError = error.what();
            }
        }
    }
    if (firstError) {
        m_mainForm.platform().showMessage(&m_mainForm.windowWidget(), FromUtf8(*firstError),
                                          platform::MessageKind::Error);
    }
}

bool SettingsBinding::saveAndWrite() {
    // The window that opened the file first owns it; this one said at start that it would not save.
    if (m_lock.state() == settings::SettingsLock::State::InUse) {
        return true;
    }
    saveSettings();
    TConfigure* configure = usableConfigure();
    if (configure == nullptr || !m_document.isChanged()) {
        return true;
    }
    if (!m_document.saveFile(m_mainForm.folders().settingsFile)) {
        m_mainForm.platform().showMessage(&m_mainForm.windowWidget(), FromUtf8(kSettingsSaveErrorMessage),
                                          platform::MessageKind::Error);
        return false;
    }
    return true;
}

} // namespace norvik::ui
