#include "ui/PathListView.h"

#include <QItemSelectionModel>
#include <QScrollBar>

namespace norvik::ui {

PathListView::PathListView(bool checkable, QWidget* parent) : QListView(parent), m_model(checkable, this) {
    setModel(&m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(&m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = verticalScrollBar();
        m_following = bar->value() >= bar->maximum();
    });
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_following) {
            scrollToBottom();
        }
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            emit rowDoubleClicked(index.row());
        }
    });
}

int PathListView::selectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void PathListView::setCurrentRow(int row) {
    m_model.publish();
    if (row < 0 || row >= m_model.rowCount()) {
        clearSelection();
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        return;
    }
    const QModelIndex at = m_model.index(row);
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
    scrollTo(at);
}

void PathListView::deleteSelected() {
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    m_model.removeRow(row);
    // The removed row had the cursor; no neighbour inherits it, so a second delete does nothing.
    setCurrentRow(-1);
}

} // namespace norvik::ui
