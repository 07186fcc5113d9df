#include "ui/PathListModel.h"

#include <QFile>
#include <QTimer>

#include "ui/PathText.h"

namespace norvik::ui {

PathListModel::PathListModel(bool checkable, QObject* parent) : QAbstractListModel(parent), m_checkable(checkable) {}

std::vector<std::string> PathListModel::paths() const {
    std::vector<std::string> result;
    result.reserve(m_rows.size());
    for (const Row& row : m_rows) {
        result.push_back(row.bytes);
    }
    return result;
}

int PathListModel::findExact(const std::string& bytes) const {
    if (m_counts.find(bytes) == m_counts.end()) {
        return -1;
    }
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].bytes == bytes) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void PathListModel::append(const std::string& bytes, bool checked, const QString& note) {
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
    m_rows.push_back({bytes, QFile::decodeName(raw), note, checked});
    ++m_counts[bytes];
    schedulePublish();
    emit contentChanged();
}

void PathListModel::schedulePublish() {
    if (!m_publishQueued) {
        m_publishQueued = true;
        QTimer::singleShot(0, this, [this] { publish(); });
    }
}

void PathListModel::publish() {
    m_publishQueued = false;
    if (m_published >= m_rows.size()) {
        return;
    }
    beginInsertRows({}, static_cast<int>(m_published), static_cast<int>(m_rows.size()) - 1);
    m_published = m_rows.size();
    endInsertRows();
}

void PathListModel::setChecked(int row, bool checked) {
    Row& target = m_rows[static_cast<std::size_t>(row)];
    if (target.checked == checked) {
        return;
    }
    target.checked = checked;
    if (static_cast<std::size_t>(row) < m_published) {
        const QModelIndex at = index(row);
        emit dataChanged(at, at, {Qt::CheckStateRole});
    }
    emit contentChanged();
}

void PathListModel::checkAll() {
    for (Row& row : m_rows) {
        row.checked = true;
    }
    if (m_published > 0) {
        emit dataChanged(index(0), index(static_cast<int>(m_published) - 1), {Qt::CheckStateRole});
    }
    emit contentChanged();
}

void PathListModel::invertChecks() {
    for (Row& row : m_rows) {
        row.checked = !row.checked;
    }
    if (m_published > 0) {
        emit dataChanged(index(0), index(static_cast<int>(m_published) - 1), {Qt::CheckStateRole});
    }
    emit contentChanged();
}

void PathListModel::forget(const std::string& bytes) {
    const auto found = m_counts.find(bytes);
    if (found != m_counts.end() && --found->second == 0) {
        m_counts.erase(found);
    }
}

void PathListModel::removeRow(int row) {
    if (row < 0 || row >= size()) {
        return;
    }
    const auto at = static_cast<std::size_t>(row);
    forget(m_rows[at].bytes);
    if (at < m_published) {
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + row);
        --m_published;
        endRemoveRows();
    } else {
        m_rows.erase(m_rows.begin() + row);
    }
    emit contentChanged();
}

void PathListModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_counts.clear();
    m_published = 0;
    endResetModel();
    emit contentChanged();
}

int PathListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_published);
}

QVariant PathListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_published) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        // The note (a failure's reason) is read beside the row, without hovering.
        return row.note.isEmpty()
                   ? OneLinePathText(row.text)
                   : OneLinePathText(row.text) + QStringLiteral("    （") + row.note + QStringLiteral("）");
    case Qt::CheckStateRole:
        return m_checkable ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::ForegroundRole:
        return m_foreground.isValid() ? QVariant(m_foreground) : QVariant();
    default:
        return {};
    }
}

bool PathListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!m_checkable || role != Qt::CheckStateRole || !index.isValid() || index.row() >= rowCount()) {
        return false;
    }
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags PathListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_checkable) {
        result |= Qt::ItemIsUserCheckable;
    }
    return result;
}

} // namespace norvik::ui
