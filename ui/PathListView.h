#pragma once
// A list of paths in the main window (CheckListBox1, ListBox1, CheckListBox2, ListBox2): a list view
// over a PathListModel with rows of one height, so thousands of rows lay out and paint in the time
// of a screenful. New rows are followed while the view shows the last row; once the user scrolls
// away, the view stays where they put it.
#include <QListView>
#include <string>

#include "ui/PathListModel.h"

namespace norvik::ui {

class PathListView final : public QListView {
    Q_OBJECT
public:
    PathListView(bool checkable, QWidget* parent = nullptr);

    [[nodiscard]] PathListModel& rows() { return m_model; }
    [[nodiscard]] const PathListModel& rows() const { return m_model; }
    /// Every row, published or not.
    [[nodiscard]] int count() const { return m_model.size(); }
    /// The selected (highlighted) row, or -1; at most one row is ever selected.
    [[nodiscard]] int selectedRow() const;
    /// Selects a row and makes it current (publishing pending rows first); -1 clears both.
    void setCurrentRow(int row);
    /// Removes the selected row, if any, and leaves no row selected.
    void deleteSelected();

signals:
    /// A row was double-clicked (after the view selected it).
    void rowDoubleClicked(int row);

private:
    PathListModel m_model;
    bool m_following = true; ///< the last row was in view before the newest rows came
};

} // namespace norvik::ui
