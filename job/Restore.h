#pragma once
// Putting backups back over the files the last run wrote.
#include <cstddef>
#include <string>
#include <vector>

#include "settings/ReplaceOptions.h"

namespace norvik::job {

struct RestoreResult {
    std::size_t restored = 0; ///< files put back
    /// What to show in a box (UTF-8): the output-folder note, or "成功恢复%u个"; empty when the
    /// result list was empty and nothing is to be said.
    std::string message;
};

/// With options.outputToFolder on (now, whatever the last run did): touches nothing and gives the
/// note that the sources were never overwritten. Otherwise, for each path of the result list in
/// order: when path + ".bak" is a regular file and path is an existing file that is not read-only,
/// the backup is renamed over the path in one step (the file is never absent) and counted; a path that
/// is a symbolic link has the file it leads to put back (see RestoreOver). The backup carries the
/// owner, group and mode the file had, so the restored file has them again. Missing
/// backups, missing or read-only files and failed renames are skipped silently. An empty list says
/// that there is nothing to restore (NothingToRestoreText). The result list itself is not changed and no attribute is
/// touched.
[[nodiscard]] RestoreResult RestoreBackups(const std::vector<std::string>& resultPaths,
                                           const settings::ReplaceOptions& options);

} // namespace norvik::job
