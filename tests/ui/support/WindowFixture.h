#pragma once
// The one fixture of the window tests: a real main window over a scripted desktop in a fresh
// executable folder (its rule folder made), with a second folder for the files a test works on, and
// byte-exact file helpers. The configuration dialog is made and attached when a test needs it.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "job/ui/JobController.h"
#include "main/TMainForm.h"
#include "settings/ui/TConfigure.h"
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

/// The file system bytes of a path.
inline std::string Bytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

struct WindowFixture {
    enum class Dialog : bool { None, Attached };

    QTemporaryDir exe;
    QTemporaryDir data;
    ScriptedPlatform platform;
    std::unique_ptr<ui::TMainForm> form;
    std::unique_ptr<ui::TConfigure> configure; ///< only with Dialog::Attached

    explicit WindowFixture(Dialog dialog = Dialog::None) {
        QDir(exe.path()).mkpath(QStringLiteral("MultiReplace"));
        form = std::make_unique<ui::TMainForm>(platform, settings::AppFolders::Portable(Bytes(exe.path()) + "/"));
        // Tests act at a chosen file, so every report of the engine pumps the events.
        form->job().setPumpInterval(std::chrono::milliseconds(0));
        if (dialog == Dialog::Attached) {
            configure = std::make_unique<ui::TConfigure>(platform, *form);
            form->setConfigure(configure.get());
        }
    }
    ~WindowFixture() {
        // The dialog refers to the window.
        configure.reset();
        form.reset();
    }
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    [[nodiscard]] const ui::MainFormWidgets& w() const { return form->widgets(); }
    [[nodiscard]] std::vector<ui::TargetEntry> targets() const { return form->targets().Entries(); }

    /// A path inside the data folder.
    [[nodiscard]] QString path(const QString& name) const { return data.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const { WriteFileBytes(path(name), bytes); }
    [[nodiscard]] QByteArray read(const QString& name) const { return ReadFileBytes(path(name)); }
    /// Makes a folder of the data folder; its bytes without a trailing '/'.
    [[nodiscard]] std::string dir(const QString& name) const {
        QDir(data.path()).mkpath(name);
        return Bytes(path(name));
    }
    /// Makes an empty file of the data folder; its bytes.
    [[nodiscard]] std::string file(const QString& name) const {
        write(name, {});
        return Bytes(path(name));
    }
    /// Adds a folder of the data folder ("" for the data folder itself) as a ticked target.
    void addFolder(const QString& name = {}) const {
        const QString folder = name.isEmpty() ? data.path() : path(name);
        QDir().mkpath(folder);
        form->AddTarget(Bytes(folder) + "/");
    }

    static void type(QPlainTextEdit* box, const QString& text) { box->setPlainText(text); }
    /// The status bar's panels: the time the run took, the percent done, the counts.
    [[nodiscard]] QString elapsed() const { return w().elapsedPanel->text(); }
    [[nodiscard]] QString progress() const { return w().progressPanel->text(); }
    [[nodiscard]] QString summary() const { return w().summaryPanel->text(); }
};

} // namespace norvik::test
