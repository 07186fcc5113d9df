#pragma once
// How paths are spelled: a folder path ends with '/', a backup and an extraction file sit beside
// their source under a fixed suffix. Only the text is looked at; the disk is never asked.
#include <string>
#include <string_view>

namespace norvik::filedeal {

/// The suffix of the backup a run keeps of each file it overwrites: "<file>.bak".
inline constexpr std::string_view kBackupSuffix = ".bak";
/// The suffix of the file an extraction writes beside its source: "<file>.extract.txt".
inline constexpr std::string_view kExtractSuffix = ".extract.txt";

/// `path` + ".bak".
[[nodiscard]] std::string BackupPathOf(std::string_view path);

/// True when `path` names a folder by its spelling: it ends with '/'. The empty path is no folder.
[[nodiscard]] bool IsFolderPath(std::string_view path) noexcept;

/// `path` with a '/' appended unless it already ends with one; the empty path stays empty.
[[nodiscard]] std::string WithTrailingSlash(std::string path);

/// `path` without its trailing '/'s; a path made only of '/'s keeps one ("/" stays "/").
[[nodiscard]] std::string WithoutTrailingSlash(std::string path);

/// The folder that holds `path`, ending with '/': "/a/b/" and "/a/b" give "/a/", "/" and "" give "/",
/// a relative name without a '/' gives "./".
[[nodiscard]] std::string ParentFolderOf(std::string_view path);

} // namespace norvik::filedeal
