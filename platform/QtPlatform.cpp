#include "platform/QtPlatform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QSpacerItem>
#include <QUrl>
#include <algorithm>

namespace norvik::platform {

namespace {

QString Caption() {
    return QString::fromUtf8(QtPlatform::kCaption);
}

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
    case MessageKind::Warning:
        return QMessageBox::Warning;
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Information:
        break;
    }
    return QMessageBox::Information;
}

/// A message box sizes itself to its text; a short text ("成功恢复3个") would clip the title and
/// put the text against the border. A row of room under the text keeps a sensible width.
void KeepMinimumWidth(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) {
        return;
    }
    const int width = std::max(360, box.fontMetrics().horizontalAdvance(box.windowTitle()) + 200);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

/// The toolkit's file list writes sizes with the system's locale ("字节" under a Chinese system
/// whatever the program's language); this shows them in the program's locale, which follows the
/// language pack.
class SizesInProgramLocale final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override {
        static constexpr int kSizeColumn = 1;
        if (index.column() == kSizeColumn && role == Qt::DisplayRole) {
            if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel())) {
                const QModelIndex source = mapToSource(index);
                if (!files->isDir(source)) {
                    return QLocale().formattedDataSize(files->size(source));
                }
            }
        }
        return QIdentityProxyModel::data(index, role);
    }
};

/// A file dialog of the given kind, run modally; its chosen paths (empty when cancelled).
QStringList RunFileDialog(QWidget* parent, const QString& folder, const QString& filter, QFileDialog::FileMode mode,
                          QFileDialog::AcceptMode accept = QFileDialog::AcceptOpen) {
    QFileDialog dialog(parent, QString(), folder);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(accept);
    if (mode == QFileDialog::Directory) {
        dialog.setOption(QFileDialog::ShowDirsOnly);
    }
    if (!filter.isEmpty()) {
        dialog.setNameFilter(filter);
    }
    // Only the toolkit's own dialog has a list to reformat; a desktop's native dialog speaks its own
    // language.
    dialog.setProxyModel(new SizesInProgramLocale(&dialog));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

QString FirstOf(const QStringList& paths) {
    return paths.isEmpty() ? QString() : paths.front();
}

} // namespace

void QtPlatform::showMessage(QWidget* parent, const QString& text, MessageKind kind) {
    QMessageBox box(IconOf(kind), Caption(), text, QMessageBox::Ok, parent);
    KeepMinimumWidth(box);
    box.exec();
}

bool QtPlatform::askYesNo(QWidget* parent, const QString& text) {
    // Every Yes/No question of the program warns about stopping or losing something.
    QMessageBox box(QMessageBox::Warning, Caption(), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    KeepMinimumWidth(box);
    return box.exec() == QMessageBox::Yes;
}

bool QtPlatform::inputText(QWidget* parent, const QString& prompt, QString& text) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(Caption());
    dialog.setLabelText(prompt);
    dialog.setTextValue(text);
    // The text typed is usually a long folder path. The dialog fixes its size to its layout, so the
    // room goes to the line itself.
    if (auto* line = dialog.findChild<QLineEdit*>()) {
        line->setMinimumWidth(std::max(520, line->fontMetrics().averageCharWidth() * 80));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    text = dialog.textValue();
    return true;
}

QString QtPlatform::browseFolder(QWidget* parent) {
    // No title text; the browser starts at the user's home, from where the whole tree is reachable.
    return FirstOf(RunFileDialog(parent, QDir::homePath(), QString(), QFileDialog::Directory));
}

QStringList QtPlatform::openFiles(QWidget* parent, const QString& folder, const QString& filter) {
    return RunFileDialog(parent, folder, ToQtFilter(filter), QFileDialog::ExistingFiles);
}

QString QtPlatform::openFile(QWidget* parent, const QString& folder, const QString& filter) {
    return FirstOf(RunFileDialog(parent, folder, ToQtFilter(filter), QFileDialog::ExistingFile));
}

QString QtPlatform::saveFile(QWidget* parent, const QString& folder, const QString& filter) {
    return FirstOf(RunFileDialog(parent, folder, ToQtFilter(filter), QFileDialog::AnyFile, QFileDialog::AcceptSave));
}

void QtPlatform::openPath(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtPlatform::openUrl(const QString& url) {
    // A local path may carry an anchor ("/opt/norvik/NVK.html#feedback"); anything with a scheme is a URL.
    if (!url.startsWith(QLatin1Char('/'))) {
        QDesktopServices::openUrl(QUrl(url));
        return;
    }
    const qsizetype hash = url.lastIndexOf(QLatin1Char('#'));
    if (hash > 0 && !QFileInfo::exists(url)) {
        QUrl local = QUrl::fromLocalFile(url.left(hash));
        local.setFragment(url.mid(hash + 1));
        QDesktopServices::openUrl(local);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(url));
}

void QtPlatform::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace norvik::platform
