#include "job/ui/ListActions.h"

#include "filedeal/FileOps.h"
#include "platform/IPlatform.h"
#include "ui/PathListView.h"
#include "ui/PathText.h"

namespace norvik::ui {

void OpenResultLine(platform::IPlatform& platform, const PathListView& list) {
    const int row = list.selectedRow();
    if (row >= 0) {
        platform.openPath(PathText(list.rows().bytesAt(row)));
    }
}

void OpenTargetLine(platform::IPlatform& platform, const PathListView& list) {
    const int row = list.selectedRow();
    if (row < 0) {
        return;
    }
    const std::string& path = list.rows().bytesAt(row);
    // A folder opens in the file manager through the same desktop call as a file with its program.
    if (filedeal::FileExists(path) || filedeal::FolderExists(path)) {
        platform.openPath(PathText(path));
    }
}

} // namespace norvik::ui
