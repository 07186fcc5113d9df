#pragma once
// The target list: folders (ending with '/') and files a job works on, each with a tick.
#include <string>
#include <vector>

#include "settings/TargetEntry.h"

namespace norvik::ui {

class PathListView;

using settings::TargetEntry;

class TargetList {
public:
    explicit TargetList(PathListView& list) : m_list(list) {}

    /// The single entry point of every adding command: a path already listed (exact bytes) is ticked
    /// again and becomes the selected row; a new path is appended ticked and the selection stays.
    void add(const std::string& path);
    /// Appends a row as given, even when the path is already listed (restoring stored targets).
    void append(const std::string& path, bool checked);
    void checkAll();
    void invertChecks();
    /// Removes the selected row; nothing happens when no row is selected.
    void deleteSelected();
    void clear();

    [[nodiscard]] std::vector<TargetEntry> entries() const;
    [[nodiscard]] std::vector<std::string> checkedPaths() const;
    /// The selected row, or -1.
    [[nodiscard]] int selectedRow() const;

private:
    PathListView& m_list;
};

} // namespace norvik::ui
