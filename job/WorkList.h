#pragma once
// Turning the ticked targets into the ordered list of files a job or a search handles.
#include <functional>
#include <string>
#include <vector>

#include "filedeal/FolderScan.h"
#include "job/JobTypes.h"
#include "settings/ReplaceOptions.h"

namespace norvik::job {

/// The files of the ticked targets, in list order. A folder entry (ending with '/') is listed once,
/// with or without subfolders as options.subfolders says, and its files come grouped by the masks of
/// options.selectedTypes, in mask order (both options read when the entry's turn comes); an empty mask
/// is skipped (it matches nothing). Inside a folder entry, names matching options.excludeMasks are
/// skipped, files and folders alike, and so are version-control folders unless
/// options.defaultExcludes is off (see FolderScanRequest); the ticked folder itself never is. Any
/// other ticked entry is taken as a file, whatever its name, also when it names a folder (the job
/// then counts it as missing), and never excluded. Each file is listed once, at its first entry (see
/// KeepFirstOfEachFile).
/// `yield` runs during the scans; once `stopRequested` answers true no further folder is listed.
/// `unreadableFolders`, when given, receives once each folder (ending with '/') that exists but could
/// not be opened or listed to the end (see ScanFolder): its files may be missing from the list.
/// `sweepTemporaries` is for a run that writes: see ScanFolder.
/// `identities`, when given, receives the identity of each listed file, parallel to the list (unknown
/// for a path that names nothing), so that the caller need not look at the files again.
[[nodiscard]] std::vector<std::string>
CollectWorkList(const std::vector<TargetEntry>& targets, const settings::ReplaceOptions& options,
                const std::function<void()>& yield = {}, const std::function<bool()>& stopRequested = {},
                std::vector<std::string>* unreadableFolders = nullptr, bool sweepTemporaries = false,
                std::vector<filedeal::FileIdentity>* identities = nullptr);

/// Drops every path that names a file met earlier in the list (same device and inode: a second
/// target, an overlapping mask, a link and its target, a hard link), so that no run applies its rules
/// to one file twice. Paths that name nothing are kept as they are. Order is kept. `identities`, when
/// given, receives the identity of each kept path, parallel to the list.
void KeepFirstOfEachFile(std::vector<std::string>& paths, std::vector<filedeal::FileIdentity>* identities = nullptr);

/// The paths of the ticked entries, in order, each taken as a file (the search hits as job input).
[[nodiscard]] std::vector<std::string> TickedPaths(const std::vector<TargetEntry>& entries);

} // namespace norvik::job
