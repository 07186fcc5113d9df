#include "job/Restore.h"

#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "job/JobTexts.h"

namespace norvik::job {

RestoreResult RestoreBackups(const std::vector<std::string>& resultPaths, const settings::ReplaceOptions& options) {
    RestoreResult result;
    if (options.outputToFolder) {
        result.message = OutputFolderRestoreText(options.outputFolder);
        return result;
    }
    if (resultPaths.empty()) {
        result.message = NothingToRestoreText();
        return result;
    }
    for (const std::string& path : resultPaths) {
        const std::string backup = filedeal::BackupPathOf(path);
        // The file must be there and deletable as before: a read-only one keeps its current content.
        if (!filedeal::FileExists(backup) || !filedeal::FileExists(path) || filedeal::IsReadOnly(path)) {
            continue;
        }
        // Through a link the file it leads to is put back, and the link stays a link.
        if (filedeal::RestoreOver(backup, path)) {
            ++result.restored;
        }
    }
    result.message = RestoredText(result.restored);
    return result;
}

} // namespace norvik::job
