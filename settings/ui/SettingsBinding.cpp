#include "settings/ui/SettingsBinding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/HexText.h"
#include "main/TMainForm.h"
#include "main/TargetList.h"
#include "platform/IPlatform.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsKeys.h"
#include "settings/ui/TConfigure.h"

namespace norvik::ui {

namespace keys = settings::keys;
using settings::SettingsError;

namespace {

/// Shown when the settings file cannot be replaced at close.
constexpr std::string_view kSettingsSaveErrorMessage = "Save NVK.xml Error!!!";

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The number at the end of a component name ("CheckBox2", "Memo5"); every one used here has one digit.
int ComponentNumber(std::string_view component) {
    return component.back() - '0';
}

template <typename T> T* Part(QObject& window, const char* name) {
    return window.findChild<T*>(QLatin1String(name));
}

} // namespace

TConfigure* SettingsBinding::usableConfigure() const {
    TConfigure* configure = m_mainForm.configure();
    if (configure == nullptr || !configure->settingsDocument().IsLoaded() ||
        !filedeal::FileExists(configure->settingsPath())) {
        return nullptr;
    }
    return configure;
}

SettingsBinding::LoadOutcome SettingsBinding::LoadSettings() {
    TConfigure* configure = usableConfigure();
    if (configure == nullptr) {
        return LoadOutcome::Skipped;
    }
    const settings::SettingsDocument& document = configure->settingsDocument();
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
        for (const settings::keys::KeyComponent& entry : keys::kOptionCheckBoxKeys) {
            const bool on = settings::ReadFlag(document.ReadSetting(entry.key));
            w.checkBoxes[static_cast<std::size_t>(ComponentNumber(entry.component))]->setChecked(on);
        }

        const bool toFolder = settings::ReadFlag(document.ReadSetting(keys::kItsSelf));
        auto* inPlaceButton = Part<QRadioButton>(*configure, "RadioButton1");
        auto* toFolderButton = Part<QRadioButton>(*configure, "RadioButton2");
        (toFolder ? toFolderButton : inPlaceButton)->setChecked(true);

        const settings::RestoredOutputFolder output =
            settings::RestoreOutputFolder(toFolderButton->isChecked(), document.ReadSetting(keys::kOutPutDir));
        options.outputFolder = output.folder;
        if (output.clearOutputToFolder) {
            options.outputToFolder = false;
        }

        options.fileTypes = document.ReadSetting(keys::kDefaultFileExt);
        options.selectedTypes = document.ReadSetting(keys::kSelectFileExt);

        const std::optional<settings::ReplaceMode> mode =
            settings::ModeFromNumber(settings::ReadNumber(document.ReadSetting(keys::kReplaceType)));
        if (mode && *mode != m_mainForm.mode()) {
            m_mainForm.SetMode(*mode);
        }

        for (const settings::keys::KeyComponent& entry : keys::kMemoKeys) {
            const std::string text = filedeal::HexToText(document.ReadSetting(entry.key));
            m_mainForm.setMemoText(ComponentNumber(entry.component), filedeal::CodePageToUtf8(text));
        }

        options.language = settings::LanguageFromValue(document.ReadSetting(keys::kLanguage));

        const QString ruleSet = PathText(settings::RuleSetNameFromValue(document.ReadSetting(keys::kRepacleRulesFile)));
        for (int row = w.comboBox1->count() - 1; row >= 0; --row) {
            if (w.comboBox1->itemText(row) == ruleSet) {
                w.comboBox1->setCurrentIndex(row);
                break;
            }
        }

        options.extractAddSource = settings::ReadFlag(document.ReadSetting(keys::kExtractFileSourceAdd));
        options.extractBlankLine = settings::ReadFlag(document.ReadSetting(keys::kExtractAddEmptyRow));
        options.extractIncludeStart = settings::ReadFlag(document.ReadSetting(keys::kExtractIncludeStart));
        options.extractIncludeEnd = settings::ReadFlag(document.ReadSetting(keys::kExtractIncludeEnd));
    } catch (const SettingsError& error) {
        m_mainForm.platform().showMessage(&m_mainForm, Utf8(error.what()), platform::MessageKind::Error);
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
    settings::SettingsDocument& document = configure->settingsDocument();
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
    const auto boxFlag = [&](int number) {
        return settings::FlagText(w.checkBoxes[static_cast<std::size_t>(number)]->isChecked());
    };

    std::vector<settings::TargetEntry> targets;
    for (const TargetEntry& entry : m_mainForm.targets().Entries()) {
        targets.push_back({entry.path, entry.checked});
    }
    write(keys::kTarget, settings::EncodeTargets(targets));

    write(keys::kBackUp, boxFlag(2));
    write(keys::kCaseSensitive, boxFlag(5));
    write(keys::kSubdir, boxFlag(3));
    write(keys::kMutilReplace, boxFlag(1));
    write(keys::kReplaceType, std::to_string(static_cast<int>(options.mode)));
    write(keys::kForceReadOnly, boxFlag(4));

    write(keys::kItsSelf, settings::FlagText(configure->outputToFolderChosen()));

    write(keys::kDefaultFileExt, options.fileTypes);
    write(keys::kSelectFileExt, options.selectedTypes);
    write(keys::kOutPutDir, options.outputFolder);

    for (const settings::keys::KeyComponent& entry : keys::kExtractionKeys) {
        const std::string name(entry.component);
        write(entry.key, settings::FlagText(Part<QCheckBox>(*configure, name.c_str())->isChecked()));
    }

    write(keys::kLanguage, options.language);

    // The chosen rule set goes with the multiple-replacement box as it is on screen, like
    // "MutilReplace" itself: a set chosen since the last options refresh is not lost.
    const QString ruleSet = w.comboBox1->currentText();
    if (w.checkBoxes[1]->isChecked() && !ruleSet.isEmpty()) {
        write(keys::kRepacleRulesFile,
              settings::EncodeRuleSetValue(m_mainForm.folders().dataFolder, PathBytes(ruleSet), options.mode));
    }

    for (const settings::keys::KeyComponent& entry : keys::kMemoKeys) {
        const std::string text = filedeal::Utf8ToCodePage(m_mainForm.memoText(ComponentNumber(entry.component)));
        write(entry.key, filedeal::TextToHex(text));
    }

    if (firstError) {
        m_mainForm.platform().showMessage(&m_mainForm, Utf8(*firstError), platform::MessageKind::Error);
    }
}

bool SettingsBinding::SaveAndWrite() {
    SaveSettings();
    TConfigure* configure = usableConfigure();
    if (configure == nullptr || !configure->settingsDocument().IsChanged()) {
        return true;
    }
    if (!configure->settingsDocument().SaveFile(configure->settingsPath())) {
        m_mainForm.platform().showMessage(&m_mainForm, Utf8(kSettingsSaveErrorMessage), platform::MessageKind::Error);
        return false;
    }
    return true;
}

} // namespace norvik::ui
