#include "ui/CheckList.h"

#include <QFile>
#include <QListWidget>

namespace norvik::ui::checklist {

namespace {
constexpr int kBytesRole = Qt::UserRole + 1;
}

QListWidgetItem* Append(QListWidget& list, const std::string& bytes, bool checked) {
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
    auto* item = new QListWidgetItem(QFile::decodeName(raw));
    item->setData(kBytesRole, raw);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    list.addItem(item);
    return item;
}

std::string BytesOf(const QListWidgetItem& item) {
    return item.data(kBytesRole).toByteArray().toStdString();
}

int FindExact(const QListWidget& list, const std::string& bytes) {
    for (int row = 0; row < list.count(); ++row) {
        if (BytesOf(*list.item(row)) == bytes) {
            return row;
        }
    }
    return -1;
}

bool IsChecked(const QListWidgetItem& item) {
    return item.checkState() == Qt::Checked;
}

void SetChecked(QListWidgetItem& item, bool checked) {
    item.setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void CheckAll(QListWidget& list) {
    for (int row = 0; row < list.count(); ++row) {
        SetChecked(*list.item(row), true);
    }
}

void InvertChecks(QListWidget& list) {
    for (int row = 0; row < list.count(); ++row) {
        QListWidgetItem& item = *list.item(row);
        SetChecked(item, !IsChecked(item));
    }
}

int SelectedRow(const QListWidget& list) {
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

void DeleteSelected(QListWidget& list) {
    const int row = SelectedRow(list);
    if (row < 0) {
        return;
    }
    delete list.takeItem(row);
    // The removed row had the cursor; no neighbour inherits it, so a second delete does nothing.
    list.clearSelection();
    list.setCurrentRow(-1);
}

} // namespace norvik::ui::checklist
