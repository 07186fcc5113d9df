#pragma once
// The file operations the engine uses. All paths are the file system's own bytes.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace norvik::filedeal {

/// Raised by readers when a file cannot be opened or read; the command at the boundary shows it.
class FileOpenError : public std::runtime_error {
public:
    explicit FileOpenError(const std::filesystem::path& path, const std::string& reason = {});
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return m_path; }

private:
    std::filesystem::path m_path;
};

/// Reads a whole file. Throws FileOpenError when it cannot be opened or read.
[[nodiscard]] std::string ReadFileBytes(const std::filesystem::path& path);

/// The same for a file that must be a regular file: a pipe, device or socket found at the path (even
/// one swapped in since the caller looked) is refused with FileOpenError instead of being waited on.
[[nodiscard]] std::string ReadRegularFileBytes(const std::filesystem::path& path);

/// Replaces the whole file atomically: the bytes go to a temporary file in the same folder which is
/// then renamed over the target, so a failure leaves the old file intact. The target's permission
/// bits are kept; a symbolic link is written through (the link stays a link). An existing read-only
/// target (owner-write bit clear) is refused. Returns false on any failure; never throws.
[[nodiscard]] bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) noexcept;

/// True for an existing regular file (following links); false for folders and missing paths.
[[nodiscard]] bool FileExists(const std::filesystem::path& path) noexcept;
/// True for an existing folder (following links).
[[nodiscard]] bool FolderExists(const std::filesystem::path& path) noexcept;
/// Creates one folder level (not its parents). True on success.
[[nodiscard]] bool CreateFolder(const std::filesystem::path& path) noexcept;

/// True when the owner-write bit is clear, or when the file's mode cannot be read.
[[nodiscard]] bool IsReadOnly(const std::filesystem::path& path) noexcept;
/// Makes the file writable for its owner. True on success.
bool ClearAttributes(const std::filesystem::path& path) noexcept;

/// Copies a file, refusing to overwrite an existing target; the copy keeps the source's permission
/// bits. A failed copy leaves no partial target. True on success.
[[nodiscard]] bool CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to) noexcept;

/// Creates a new file holding `bytes`, with the permission bits `mode` less the umask, refusing an
/// existing name (a dangling symbolic link included): the file appears whole or not at all. True on
/// success; false when the name is taken or anything fails, leaving no partial file.
[[nodiscard]] bool CreateFileNoOverwrite(const std::filesystem::path& to, std::string_view bytes,
                                         unsigned mode) noexcept;

/// Deletes a file. True on success.
[[nodiscard]] bool DeleteFile(const std::filesystem::path& path) noexcept;

/// Renames `from` to `to`, replacing `to` in one step (the target name is never absent). True on success.
[[nodiscard]] bool RenameReplace(const std::filesystem::path& from, const std::filesystem::path& to) noexcept;

/// True for the name of a temporary file that WriteFileAtomic or CopyFileNoOverwrite makes beside
/// its target (".<name>.norvik-tmp-XXXXXX", or ".norvik-tmp-XXXXXX" for a name too long for that).
/// One that outlives its write was left by a program that was killed mid-write; the folder scan
/// removes it.
[[nodiscard]] bool IsTemporaryName(std::string_view name) noexcept;
/// The name of the file a temporary of the long form was meant for; empty for the short form and for
/// names that are no temporary.
[[nodiscard]] std::string TemporaryTargetOf(std::string_view name);

/// The text after the last '/' of a path.
[[nodiscard]] std::string FileNameOf(std::string_view path);

} // namespace norvik::filedeal
