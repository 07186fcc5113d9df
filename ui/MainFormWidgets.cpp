#include "ui/MainFormWidgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>

namespace norvik::ui {

std::vector<QObject*> MainFormWidgets::captionedParts() const {
    return {fileMenu,
            exitItem,
            functionsMenu,
            restoreItem,
            configureItem,
            ruleEditorItem,
            previewItem,
            languageMenu,
            modeMenu,
            normalModeItem,
            featureModeItem,
            extractModeItem,
            otherMenu,
            helpItem,
            aboutItem,
            addFolderItem,
            addFilesItem,
            typeFolderItem,
            checkAllTargetsItem,
            invertTargetsItem,
            deleteTargetItem,
            clearTargetsItem,
            checkAllHitsItem,
            invertHitsItem,
            checkAllPreviewItem,
            invertPreviewItem,
            addFolderButton,
            addFilesButton,
            addSeparator,
            configureButton,
            ruleEditorButton,
            settingsSeparator,
            normalModeButton,
            featureModeButton,
            extractModeButton,
            modeSeparator,
            restoreButton,
            restoreSeparator,
            helpButton,
            aboutButton,
            feedbackButton,
            targetsPage,
            resultsPage,
            searchPage,
            errorsPage,
            previewPage,
            normalPage,
            featurePage,
            extractPage,
            backupCheck,
            caseSensitiveCheck,
            subfoldersCheck,
            forceReadOnlyCheck,
            multipleCheck,
            ruleSetButton,
            startButton,
            searchButton,
            pauseButton,
            stopButton,
            previewButton,
            runPreviewButton,
            findLabel,
            replacementLabel,
            currentFileLine,
            featureStartLabel,
            featureEndLabel,
            featureReplacementLabel,
            fileTypeLine,
            extractStartLabel,
            extractEndLabel,
            outputLine};
}

std::vector<QCheckBox*> MainFormWidgets::optionChecks() const {
    return {backupCheck, caseSensitiveCheck, subfoldersCheck, forceReadOnlyCheck, multipleCheck};
}

std::vector<QPlainTextEdit*> MainFormWidgets::ruleTexts() const {
    return {findText,         replacementText, featureStartText, featureEndText, featureReplacementText,
            extractStartText, extractEndText};
}

} // namespace norvik::ui
