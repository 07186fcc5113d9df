#pragma once
// What the job, search and list-action window tests share: a real main window over a scripted
// desktop in a fresh executable folder, and byte-exact file helpers.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "job/ui/JobController.h"
#include "main/TMainForm.h"
#include "support/ScriptedPlatform.h"
#include "ui/PathListView.h"

namespace norvik::test {

inline void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

inline QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QStringList ListTexts(const ui::PathListView& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row) {
        texts << list.rows().textAt(row);
    }
    return texts;
}

struct JobWindow {
    QTemporaryDir exe;
    QTemporaryDir data;
    ScriptedPlatform platform;
    std::unique_ptr<ui::TMainForm> form;

    JobWindow() {
        QDir(exe.path()).mkpath(QStringLiteral("MultiReplace"));
        form = std::make_unique<ui::TMainForm>(
            platform, settings::AppFolders::Portable(QFile::encodeName(exe.path()).toStdString() + "/"));
        // Tests act at a chosen file, so every report of the engine pumps the events.
        form->job().setPumpInterval(std::chrono::milliseconds(0));
    }

    [[nodiscard]] const ui::MainFormWidgets& w() const { return form->widgets(); }
    /// A path inside the data folder.
    [[nodiscard]] QString path(const QString& name) const { return data.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const { WriteFileBytes(path(name), bytes); }
    [[nodiscard]] QByteArray read(const QString& name) const { return ReadFileBytes(path(name)); }
    /// Adds a folder of the data folder ("" for the data folder itself) as a ticked target.
    void addFolder(const QString& name = {}) const {
        const QString folder = name.isEmpty() ? data.path() : path(name);
        QDir().mkpath(folder);
        form->AddTarget(QFile::encodeName(folder).toStdString() + "/");
    }
    static void type(QPlainTextEdit* box, const QString& text) { box->setPlainText(text); }
    /// The status bar's panels: the time the run took, the percent done, the counts.
    [[nodiscard]] QString elapsed() const { return w().elapsedPanel->text(); }
    [[nodiscard]] QString progress() const { return w().progressPanel->text(); }
    [[nodiscard]] QString summary() const { return w().summaryPanel->text(); }
};

} // namespace norvik::test
