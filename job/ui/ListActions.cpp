#include "job/ui/ListActions.h"

#include <QByteArray>
#include <QFile>
#include <QListWidget>

#include "filedeal/FileOps.h"
#include "main/CheckList.h"
#include "main/TargetList.h"
#include "platform/IPlatform.h"

namespace norvik::ui {

namespace {

constexpr int kPathBytesRole = Qt::UserRole + 1;

const QListWidgetItem* SelectedItem(const QListWidget& list) {
    const int row = checklist::SelectedRow(list);
    return row < 0 ? nullptr : list.item(row);
}

std::string LineBytes(const QListWidgetItem& item) {
    return item.data(kPathBytesRole).toByteArray().toStdString();
}

} // namespace

void AppendPathLine(QListWidget& list, const std::string& path) {
    const QByteArray raw(path.data(), static_cast<qsizetype>(path.size()));
    auto* item = new QListWidgetItem(QFile::decodeName(raw));
    item->setData(kPathBytesRole, raw);
    list.addItem(item);
}

std::vector<std::string> PathLines(const QListWidget& list) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(list.count()));
    for (int row = 0; row < list.count(); ++row) {
        lines.push_back(LineBytes(*list.item(row)));
    }
    return lines;
}

void OpenResultLine(platform::IPlatform& platform, const QListWidget& list) {
    if (const QListWidgetItem* item = SelectedItem(list)) {
        platform.openPath(PathText(LineBytes(*item)));
    }
}

void OpenTargetLine(platform::IPlatform& platform, const QListWidget& list) {
    const QListWidgetItem* item = SelectedItem(list);
    if (item == nullptr) {
        return;
    }
    const std::string path = checklist::BytesOf(*item);
    // A folder opens in the file manager through the same desktop call as a file with its program.
    if (filedeal::FileExists(path) || filedeal::FolderExists(path)) {
        platform.openPath(PathText(path));
    }
}

} // namespace norvik::ui
