#include "ui/TargetList.h"

#include "ui/PathListView.h"

namespace norvik::ui {

void TargetList::add(const std::string& path) {
    const int row = m_list.rows().findExact(path);
    if (row >= 0) {
        m_list.rows().setChecked(row, true);
        m_list.setCurrentRow(row);
        return;
    }
    m_list.rows().append(path, true);
}

void TargetList::append(const std::string& path, bool checked) {
    m_list.rows().append(path, checked);
}

void TargetList::checkAll() {
    m_list.rows().checkAll();
}

void TargetList::invertChecks() {
    m_list.rows().invertChecks();
}

void TargetList::deleteSelected() {
    m_list.deleteSelected();
}

void TargetList::clear() {
    m_list.rows().clear();
}

std::vector<TargetEntry> TargetList::entries() const {
    const PathListModel& rows = m_list.rows();
    std::vector<TargetEntry> entries;
    entries.reserve(static_cast<std::size_t>(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        entries.push_back({rows.bytesAt(row), rows.isChecked(row)});
    }
    return entries;
}

std::vector<std::string> TargetList::checkedPaths() const {
    std::vector<std::string> paths;
    for (const TargetEntry& entry : entries()) {
        if (entry.checked) {
            paths.push_back(entry.path);
        }
    }
    return paths;
}

int TargetList::selectedRow() const {
    return m_list.selectedRow();
}

} // namespace norvik::ui
