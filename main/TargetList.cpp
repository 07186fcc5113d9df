#include "main/TargetList.h"

#include <QFile>
#include <QListWidget>

#include "main/CheckList.h"

namespace norvik::ui {

std::string WithTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

std::string TrimBlanks(std::string_view text) {
    const auto blank = [](char c) {
        return static_cast<unsigned char>(c) <= 32;
    };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

void TargetList::Add(const std::string& path) {
    const int row = checklist::FindExact(m_list, path);
    if (row >= 0) {
        checklist::SetChecked(*m_list.item(row), true);
        m_list.setCurrentRow(row);
        return;
    }
    checklist::Append(m_list, path, true);
}

void TargetList::Append(const std::string& path, bool checked) {
    checklist::Append(m_list, path, checked);
}

void TargetList::CheckAll() {
    checklist::CheckAll(m_list);
}

void TargetList::InvertChecks() {
    checklist::InvertChecks(m_list);
}

void TargetList::DeleteSelected() {
    checklist::DeleteSelected(m_list);
}

void TargetList::Clear() {
    m_list.clear();
}

std::vector<TargetEntry> TargetList::Entries() const {
    std::vector<TargetEntry> entries;
    entries.reserve(static_cast<std::size_t>(m_list.count()));
    for (int row = 0; row < m_list.count(); ++row) {
        const QListWidgetItem& item = *m_list.item(row);
        entries.push_back({checklist::BytesOf(item), checklist::IsChecked(item)});
    }
    return entries;
}

std::vector<std::string> TargetList::CheckedPaths() const {
    std::vector<std::string> paths;
    for (const TargetEntry& entry : Entries()) {
        if (entry.checked) {
            paths.push_back(entry.path);
        }
    }
    return paths;
}

int TargetList::SelectedRow() const {
    return checklist::SelectedRow(m_list);
}

} // namespace norvik::ui
