#include "settings/ui/SettingsBinding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QRadioButton>
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

bool SettingsBinding::OpenSettings() {
    const settings::LoadResult loaded = m_document.LoadFile(m_mainForm.folders().settingsFile);
    const auto show = [this](std::string_view text) {
        m_mainForm.platform().showMessage(nullptr, FromUtf8(text), platform::MessageKind::Error);
    };
    switch (loaded.status) {
    case settings::LoadStatus::Loaded:
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
    if (m_configure == nullptr || !m_document.IsLoaded() || !filedeal::FileExists(m_mainForm.folders().settingsFile)) {
        return nullptr;
    }
    return m_configure;
}

SettingsBinding::LoadOutcome SettingsBinding::LoadSettings() {
    TConfigure* configure = usableConfigure();
    if (configure == nullptr) {
        return LoadOutcome::Skipped;
    }
    const settings::SettingsDocument& document = m_document;
    const MainFormWidgets& w = m_mainForm.widgets();
    settings::ReplaceOptions& options = m_mainForm.options();
    try {
        const settings::DecodedTargets targets = settings::DecodeTargets(document.ReadSetting(keys::kTarget));
        m_mainForm.targets().Clear();
        for (const settings::TargetEntry& target : targets.entries) {
            m_mainForm.targets().Append(target.path, target.checked);
        }
        if (targets.error) {
            throw SettingsError(*targets.error);
        }

        // Setting a box runs its click reaction only when its state changes (CheckBox1's fills the
        // rule-set chooser).
        for (const CheckKey& entry : kOptionChecks) {
            (w.*entry.box)->setChecked(settings::ReadFlag(document.ReadSetting(entry.key)));
        }

        const bool toFolder = settings::ReadFlag(document.ReadSetting(keys::kItsSelf));
        configure->setOutputToFolderChosen(toFolder);

        const settings::RestoredOutputFolder output =
            settings::RestoreOutputFolder(configure->outputToFolderChosen(), document.ReadSetting(keys::kOutPutDir));
        options.outputFolder = output.folder;
        if (output.clearOutputToFolder) {
            options.outputToFolder = false;
        }

        options.fileTypes = document.ReadSetting(keys::kDefaultFileExt);
        options.selectedTypes = document.ReadSetting(keys::kSelectFileExt);

        const std::optional<settings::ReplaceMode> mode =
            settings::ModeFromNumber(settings::ReadNumber(document.ReadSetting(keys::kReplaceType)));
        if (mode && *mode != m_mainForm.options().mode) {
            m_mainForm.SetMode(*mode);
        }

        for (const TextKey& entry : kRuleTexts) {
            const std::string text = filedeal::HexToText(document.ReadSetting(entry.key));
            SetMemoTextUtf8(*(w.*entry.box), filedeal::CodePageToUtf8(text));
        }

        options.language = settings::LanguageFromValue(document.ReadSetting(keys::kLanguage));

        const QString ruleSet = PathText(settings::RuleSetNameFromValue(document.ReadSetting(keys::kRepacleRulesFile)));
        for (int row = w.ruleSetChooser->count() - 1; row >= 0; --row) {
            if (w.ruleSetChooser->itemText(row) == ruleSet) {
                w.ruleSetChooser->setCurrentIndex(row);
                break;
            }
        }

        options.extractAddSource = settings::ReadFlag(document.ReadSetting(keys::kExtractFileSourceAdd));
        options.extractBlankLine = settings::ReadFlag(document.ReadSetting(keys::kExtractAddEmptyRow));
        options.extractIncludeStart = settings::ReadFlag(document.ReadSetting(keys::kExtractIncludeStart));
        options.extractIncludeEnd = settings::ReadFlag(document.ReadSetting(keys::kExtractIncludeEnd));
    } catch (const SettingsError& error) {
        m_mainForm.platform().showMessage(&m_mainForm.windowWidget(), FromUtf8(error.what()),
                                          platform::MessageKind::Error);
        return LoadOutcome::Stopped;
    }
    configure->LoadConfiguration();
    m_mainForm.RefreshOptions();
    return LoadOutcome::Loaded;
}

void SettingsBinding::SaveSettings() {
    TConfigure* configure = usableConfigure();
    if (configure == nullptr) {
        return;
    }
    settings::SettingsDocument& document = m_document;
    const MainFormWidgets& w = m_mainForm.widgets();
    const settings::ReplaceOptions& options = m_mainForm.options();
    std::optional<std::string> firstError;
    // A key that cannot be stored must not cost the others theirs.
    const auto write = [&](std::string_view key, std::string_view value) {
        try {
            document.WriteSetting(key, value);
        } catch (const SettingsError& error) {
            if (!firstError) {
                firstError = error.what();
            }
        }
    };
    const auto boxFlag = [](const QCheckBox* box) {
        return settings::FlagText(box->isChecked());
    };

    write(keys::kTarget, settings::EncodeTargets(m_mainForm.targets().Entries()));

    write(keys::kBackUp, boxFlag(w.backupCheck));
    write(keys::kCaseSensitive, boxFlag(w.caseSensitiveCheck));
    write(keys::kSubdir, boxFlag(w.subfoldersCheck));
    write(keys::kMutilReplace, boxFlag(w.multipleCheck));
    write(keys::kReplaceType, std::to_string(static_cast<int>(options.mode)));
    write(keys::kForceReadOnly, boxFlag(w.forceReadOnlyCheck));

    write(keys::kItsSelf, settings::FlagText(configure->outputToFolderChosen()));

    write(keys::kDefaultFileExt, options.fileTypes);
    write(keys::kSelectFileExt, options.selectedTypes);
    write(keys::kOutPutDir, options.outputFolder);

    const TConfigure::ExtractionChoice extraction = configure->extractionChosen();
    write(keys::kExtractFileSourceAdd, settings::FlagText(extraction.addSource));
    write(keys::kExtractAddEmptyRow, settings::FlagText(extraction.blankLine));
    write(keys::kExtractIncludeStart, settings::FlagText(extraction.includeStart));
    write(keys::kExtractIncludeEnd, settings::FlagText(extraction.includeEnd));

    write(keys::kLanguage, options.language);

    // The chosen rule set goes with the multiple-replacement box as it is on screen, like
    // "MutilReplace" itself: a set chosen since the last options refresh is not lost.
    const QString ruleSet = w.ruleSetChooser->currentText();
    if (w.multipleCheck->isChecked() && !ruleSet.isEmpty()) {
        write(keys::kRepacleRulesFile,
              settings::EncodeRuleSetValue(m_mainForm.folders().dataFolder, PathBytes(ruleSet), options.mode));
    }

    for (const TextKey& entry : kRuleTexts) {
        write(entry.key, filedeal::TextToHex(filedeal::Utf8ToCodePage(MemoTextUtf8(*(w.*entry.box)))));
    }

    if (firstError) {
        m_mainForm.platform().showMessage(&m_mainForm.windowWidget(), FromUtf8(*firstError),
                                          platform::MessageKind::Error);
    }
}

bool SettingsBinding::SaveAndWrite() {
    SaveSettings();
    TConfigure* configure = usableConfigure();
    if (configure == nullptr || !m_document.IsChanged()) {
        return true;
    }
    if (!m_document.SaveFile(m_mainForm.folders().settingsFile)) {
        m_mainForm.platform().showMessage(&m_mainForm.windowWidget(), FromUtf8(kSettingsSaveErrorMessage),
                                          platform::MessageKind::Error);
        return false;
    }
    return true;
}

} // namespace norvik::ui
