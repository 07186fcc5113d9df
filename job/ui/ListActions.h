#pragma once
// What a double click does on the main window's path lists: the result list hands the written file to
// the desktop; the target list and the search hits open a file with its program or a folder in the
// file manager.
namespace norvik::platform {
class IPlatform;
}

namespace norvik::ui {

class PathListView;

/// The result list: opens the selected row's path with its program, as it stands (the desktop
/// reports a path that has gone). Nothing when no row is selected.
void OpenResultLine(platform::IPlatform& platform, const PathListView& list);
/// The target list and the search hits: the selected row's path, whatever its tick, is opened with
/// its program when it is a file and in the file manager when it is a folder; a path that is neither
/// (removed since) and no selection do nothing.
void OpenTargetLine(platform::IPlatform& platform, const PathListView& list);

} // namespace norvik::ui
