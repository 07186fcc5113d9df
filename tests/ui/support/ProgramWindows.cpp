#include "support/ProgramWindows.h"

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

std::string PathBytesOf(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string StoredValue(const QString& file, std::string_view key) {
    settings::SettingsDocument document;
    if (!document.LoadFile(PathBytesOf(file)).ok()) {
        return "<not loaded>";
    }
    return document.ReadSetting(key);
}

bool StoreValue(const QString& file, std::string_view key, std::string_view value) {
    settings::SettingsDocument document;
    if (!document.LoadFile(PathBytesOf(file)).ok()) {
        return false;
    }
    document.WriteSetting(key, value);
    return document.SaveFile(PathBytesOf(file));
}

ShippedFolders::ShippedFolders() {
    if (!CopyShippedResources(exe.path())) {
        qFatal("cannot copy the shipped resources");
    }
}

QString ShippedFolders::pack(const QString& name) const {
    return exe.filePath(QStringLiteral("lang/") + name + QStringLiteral(".xml"));
}

std::string ShippedFolders::dir(const QString& name) const {
    QDir(files.path()).mkpath(name);
    return PathBytesOf(files.filePath(name)) + "/";
}

std::string ShippedFolders::file(const QString& name) const {
    write(files.filePath(name), {});
    return PathBytesOf(files.filePath(name));
}

void ShippedFolders::store(std::string_view key, std::string_view value) const {
    if (!StoreValue(settingsFile(), key, value)) {
        qFatal("cannot change the settings file");
    }
}

void ShippedFolders::write(const QString& path, const QByteArray& bytes) {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

QByteArray ShippedFolders::read(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

ProgramWindows::ProgramWindows(const QString& exeFolder) {
    const std::string folder = PathBytesOf(exeFolder) + "/";
    const settings::AppFolders folders = settings::AppFolders::Portable(folder);
    form = std::make_unique<ui::TMainForm>(platform, folders);
    configure = std::make_unique<ui::TConfigure>(platform, *form);
    ruleEditor = new ui::TMutilReplaceConfig(platform, folders, form.get());
    about = std::make_unique<ui::Tabout_form>();
    form->setConfigure(configure.get());
    form->setRuleEditor(ruleEditor);
    ruleEditor->setConfigureDialog(configure.get());
    form->setAboutBox(about.get());
}

ProgramWindows::~ProgramWindows() {
    about.reset();
    configure.reset();
    form.reset();
}

bool ProgramWindows::open() {
    return form->OpenSettings();
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

} // namespace norvik::test
