#pragma once
// The path lists of the main window beyond the target list: the result list keeps the exact bytes of
// each path it shows, and a double click hands a row's path to the desktop.
#include <string>
#include <vector>

class QListWidget;

namespace norvik::platform {
class IPlatform;
}

namespace norvik::ui {

/// Appends a plain row (no tick box) that shows `path` and keeps its bytes.
void AppendPathLine(QListWidget& list, const std::string& path);
/// The bytes of every row added by AppendPathLine, top to bottom.
[[nodiscard]] std::vector<std::string> PathLines(const QListWidget& list);

/// The result list: opens the selected row's path with its program, as it stands (the desktop
/// reports a path that has gone). Nothing when no row is selected.
void OpenResultLine(platform::IPlatform& platform, const QListWidget& list);
/// The target list and the search hits: the selected row's path, whatever its tick, is opened with
/// its program when it is a file and in the file manager when it is a folder; a path that is neither
/// (removed since) and no selection do nothing.
void OpenTargetLine(platform::IPlatform& platform, const QListWidget& list);

} // namespace norvik::ui
