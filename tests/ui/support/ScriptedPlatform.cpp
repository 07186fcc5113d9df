#include "support/ScriptedPlatform.h"

namespace norvik::test {

QStringList ScriptedPlatform::messages() const {
    QStringList texts;
    for (const PlatformCall& call : calls) {
        if (call.kind == QLatin1String("message")) {
            texts << call.text;
        }
    }
    return texts;
}

QList<PlatformCall> ScriptedPlatform::callsOf(const QString& kind) const {
    QList<PlatformCall> result;
    for (const PlatformCall& call : calls) {
        if (call.kind == kind) {
            result << call;
        }
    }
    return result;
}

void ScriptedPlatform::clearRecord() {
    calls.clear();
    processEventsCount = 0;
    unscripted = 0;
}

void ScriptedPlatform::showMessage(QWidget*, const QString& text, platform::MessageKind kind) {
    static const char* const kKinds[] = {"information", "warning", "error"};
    calls << PlatformCall{QStringLiteral("message"), text, QString::fromLatin1(kKinds[static_cast<int>(kind)])};
}

bool ScriptedPlatform::askYesNo(QWidget*, const QString& text) {
    calls << PlatformCall{QStringLiteral("yesNo"), text, {}};
    return next<bool>(yesNoAnswers, false);
}

bool ScriptedPlatform::inputText(QWidget*, const QString& prompt, QString& text) {
    calls << PlatformCall{QStringLiteral("input"), prompt, text};
    if (inputAnswers.empty()) {
        ++unscripted;
        return false;
    }
    const bool confirmed = inputAnswers.front().has_value();
    if (confirmed) {
        text = *inputAnswers.front();
    }
    inputAnswers.pop_front();
    return confirmed;
}

QString ScriptedPlatform::browseFolder(QWidget*) {
    calls << PlatformCall{QStringLiteral("browseFolder"), {}, {}};
    return next<QString>(folderAnswers, {});
}

QStringList ScriptedPlatform::openFiles(QWidget*, const QString& folder, const QString& filter) {
    calls << PlatformCall{QStringLiteral("openFiles"), folder, filter};
    return next<QStringList>(openFilesAnswers, {});
}

QString ScriptedPlatform::openFile(QWidget*, const QString& folder, const QString& filter) {
    calls << PlatformCall{QStringLiteral("openFile"), folder, filter};
    return next<QString>(openFileAnswers, {});
}

QString ScriptedPlatform::saveFile(QWidget*, const QString& folder, const QString& filter) {
    calls << PlatformCall{QStringLiteral("saveFile"), folder, filter};
    return next<QString>(saveFileAnswers, {});
}

void ScriptedPlatform::openPath(const QString& path) {
    calls << PlatformCall{QStringLiteral("openPath"), path, {}};
}

void ScriptedPlatform::openUrl(const QString& url) {
    calls << PlatformCall{QStringLiteral("openUrl"), url, {}};
}

void ScriptedPlatform::processEvents() {
    ++processEventsCount;
    if (onProcessEvents) {
        onProcessEvents(processEventsCount);
    }
}

} // namespace norvik::test
