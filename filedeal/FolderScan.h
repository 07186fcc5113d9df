#pragma once
// Turning a folder and file masks into file paths.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace norvik::filedeal {

/// True when `name` matches the mask: '*' any run, '?' one character (a whole UTF-8 sequence, or one
/// byte of a name that is not UTF-8 there), ASCII letters in any case.
/// "*.*" matches every name, with a dot or without. A mask "*.abc" with a three-character extension
/// also matches a longer last extension that begins with it ("*.htm" matches "a.html").
[[nodiscard]] bool MatchesMask(std::string_view name, std::string_view mask) noexcept;

/// The folders in which version-control systems keep their own data (a worktree's ".git" may also
/// be a file). Skipped by default: a run over a project must not rewrite a repository's internals.
inline constexpr std::array<std::string_view, 6> kVersionControlNames = {".git", ".svn",   ".hg",
                                                                         ".bzr", "_darcs", "CVS"};

/// Which file a path names (device and inode, through a symbolic link), when that is known.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool known = false;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// What a scan looks for and what it skips.
struct FolderScanRequest {
    std::vector<std::string> masks; ///< in order; an empty mask matches nothing
    bool withSubfolders = false;
    /// Names of entries, files and folders alike, that are neither listed nor entered (masks as
    /// above; an empty mask matches nothing). The scanned folder itself is never excluded.
    std::vector<std::string> excludeMasks;
    bool skipVersionControl = false; ///< entries named as in kVersionControlNames (exactly) are skipped too
    /// Removes the writer's leftover temporaries (see ScanFolder): only a run that writes asks for it.
    bool sweepTemporaries = false;
    /// Takes each identity from the file itself instead of the folder listing. Chosen on its own for
    /// file systems whose listings may not carry the inode numbers; for tests.
    bool identifyByStat = false;
    std::function<void()> yield;         ///< runs after each entry
    std::function<bool()> stopRequested; ///< once true, no further folder is listed
};

/// What a scan found, appended to by each scan.
struct ScannedFiles {
    std::vector<std::string> paths;
    /// Parallel to paths. Taken from the listing where the file system gives inode numbers there, so
    /// that only symbolic links (and entries of unknown type) cost a look at the file; unknown for a
    /// path whose file cannot be reached (a dangling link).
    std::vector<FileIdentity> identities;
    /// Folders (ending with '/') that exist but could not be opened, entered or listed to the end, so
    /// that the caller can report the files it could not see; a missing folder is not one of them.
    std::vector<std::string> unreadable;
    bool stopped = false; ///< stopRequested ended the scan early: the paths are a part
};

/// Lists the folder once (and each subfolder once) for all masks: the paths come grouped by mask, in
/// mask order, and for each mask in the order ScanFolder gives, so a path matching two masks comes
/// twice. Excluded names are skipped before anything else looks at them (a temporary among them is
/// neither listed nor swept); an excluded folder is not entered.
void ScanFolderForMasks(const std::string& folder, const FolderScanRequest& request, ScannedFiles& found);

/// True when the scan skips an entry of this name.
[[nodiscard]] bool IsExcludedName(std::string_view name, const FolderScanRequest& request) noexcept;

/// Appends folder + '/' + name for every entry of the folder that matches the mask (files and
/// folders alike, sorted by name, never "." or ".."), then, with subfolders, does the same in each
/// subfolder, depth first. Symbolic links to folders are listed when they match but never entered.
/// Never listed: a backup "<name>.bak" with "<name>" beside it (a run must not rewrite the backup of
/// an earlier run), and temporaries of the writer whose file is beside them (see IsTemporaryName).
/// A folder that does not exist or cannot be read adds nothing. `yield` runs after each entry.
/// `unreadable`, when given, receives (ending with '/') every folder met that exists but could not be
/// opened, entered or listed to the end, so that the caller can report the files it could not see; a
/// folder that is missing, or no folder, is not one of them. A folder that can be listed but not
/// entered adds none of its names (its files could not be read).
/// `sweepTemporaries` removes those temporaries, unless a writer still holds one: only a run that
/// writes asks for it, so that reading (a search, a dry run, a listing) never deletes anything.
void ScanFolder(const std::string& folder, bool withSubfolders, std::string_view mask, std::vector<std::string>& result,
                const std::function<void()>& yield = {}, std::vector<std::string>* unreadable = nullptr,
                bool sweepTemporaries = false);

} // namespace norvik::filedeal
