#include "support/WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "main/TMainForm.h"
#include "main/Tabout_form.h"
#include "rules/ui/TMutilReplaceConfig.h"
#include "settings/SettingsDocument.h"
#include "settings/ui/TConfigure.h"

namespace norvik::test {

namespace {

bool CopyTree(const QString& from, const QString& to) {
    if (!QDir().mkpath(to)) {
        return false;
    }
    const QDir source(from);
    for (const QFileInfo& entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir() ? !CopyTree(entry.filePath(), target) : !QFile::copy(entry.filePath(), target)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool CopyShippedResources(const QString& folder) {
    // From the source tree: the copy beside the program may hold a manual run's saved state.
    const QString bin = QStringLiteral(NORVIK_RESOURCES_DIR);
    return QFile::copy(bin + QStringLiteral("/NVK.xml"), folder + QStringLiteral("/NVK.xml")) &&
           CopyTree(bin + QStringLiteral("/lang"), folder + QStringLiteral("/lang")) &&
           CopyTree(bin + QStringLiteral("/MultiReplace"), folder + QStringLiteral("/MultiReplace"));
}

void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

std::string Bytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string StoredValue(const QString& file, std::string_view key) {
    settings::SettingsDocument document;
    if (!document.loadFile(Bytes(file)).ok()) {
        return "<not loaded>";
    }
    return document.readSetting(key);
}

bool StoreValue(const QString& file, std::string_view key, std::string_view value) {
    settings::SettingsDocument document;
    if (!document.loadFile(Bytes(file)).ok()) {
        return false;
    }
    document.writeSetting(key, value);
    return document.saveFile(Bytes(file));
}

ProgramWindows::ProgramWindows(const QString& exeFolder, Kind kind) {
    if (kind == Kind::None) {
        return;
    }
    const settings::AppFolders folders = settings::AppFolders::portableIn(Bytes(exeFolder) + "/");
    form = std::make_unique<ui::TMainForm>(platform, folders);
    if (kind == Kind::MainWindow) {
        return;
    }
    configure = std::make_unique<ui::TConfigure>(platform, *form);
    form->setConfigure(configure.get());
    if (kind == Kind::MainWindowAndDialog) {
        return;
    }
    ruleEditor = new ui::TMutilReplaceConfig(platform, folders, form.get());
    about = std::make_unique<ui::Tabout_form>();
    form->setRuleEditor(ruleEditor);
    ruleEditor->setConfigureDialog(configure.get());
    form->setAboutBox(about.get());
}

ProgramWindows::~ProgramWindows() {
    // The dialogs refer to the main window.
    about.reset();
    configure.reset();
    form.reset();
}

bool ProgramWindows::open() {
    return form->openSettings();
}

bool ProgramWindows::start() {
    if (!open()) {
        return false;
    }
    form->show();
    return true;
}

bool ProgramWindows::close() {
    return form->close();
}

TestFolders::TestFolders(Resources resources) {
    const bool made = resources == Resources::Shipped ? CopyShippedResources(exe.path())
                                                      : QDir(exe.path()).mkpath(QStringLiteral("MultiReplace"));
    if (!made) {
        qFatal("cannot prepare the executable folder");
    }
}

void TestFolders::store(std::string_view key, std::string_view value) const {
    if (!StoreValue(settingsFile(), key, value)) {
        qFatal("cannot change the settings file");
    }
}

WindowFixture::WindowFixture(Dialog dialog)
    : TestFolders(Resources::RuleFolder),
      ProgramWindows(exe.path(), dialog == Dialog::Attached ? Kind::MainWindowAndDialog : Kind::MainWindow) {
    form->job().setPumpInterval(std::chrono::milliseconds(0));
}

WindowFixture::WindowFixture(ShippedFolders)
    : TestFolders(Resources::Shipped), ProgramWindows(exe.path(), Kind::None) {}

} // namespace norvik::test
