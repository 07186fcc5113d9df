#pragma once
// Rows with a tick box in a QListWidget, each row keeping the exact bytes it stands for (a path of
// the file system or a file-type mask), so comparisons never depend on how the text is displayed.
#include <string>

class QListWidget;
class QListWidgetItem;

namespace norvik::ui::checklist {

/// Appends a row showing the bytes (decoded as a file system name) with the given tick.
QListWidgetItem* Append(QListWidget& list, const std::string& bytes, bool checked);
/// The bytes a row stands for.
[[nodiscard]] std::string BytesOf(const QListWidgetItem& item);
/// The first row whose bytes equal `bytes` exactly (case-sensitive), or -1.
[[nodiscard]] int FindExact(const QListWidget& list, const std::string& bytes);
[[nodiscard]] bool IsChecked(const QListWidgetItem& item);
void SetChecked(QListWidgetItem& item, bool checked);
/// Ticks every row; the selection does not move.
void CheckAll(QListWidget& list);
/// Flips the tick of every row; the selection does not move.
void InvertChecks(QListWidget& list);
/// The row that is selected (highlighted), or -1; at most one row is ever selected.
[[nodiscard]] int SelectedRow(const QListWidget& list);
/// Removes the selected row, if any, and leaves no row selected.
void DeleteSelected(QListWidget& list);

} // namespace norvik::ui::checklist
