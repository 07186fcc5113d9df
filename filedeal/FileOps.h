#pragma once
// The file operations the engine uses. All paths are the file system's own bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace norvik::filedeal {

/// Raised by readers when a file cannot be opened or read; the command at the boundary shows it.
class FileOpenError : public std::runtime_error {
public:
    explicit FileOpenError(const std::filesystem::path& path, const std::string& reason = {});
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return m_path; }

private:
    std::filesystem::path m_path;
};

/// Which file a path named when it was read, and how it was then: two stamps of the same file agree
/// (sameContent) until it is replaced, resized or its modification time moves; sameState also sees a
/// change of the inode's own time (a write that set the modification time back, a chmod).
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedSec = 0, modifiedNsec = 0;
    std::int64_t changedSec = 0, changedNsec = 0; ///< the inode's change time; only sameState compares it
    unsigned mode = 0;                            ///< type and permission bits; not part of any comparison
    [[nodiscard]] bool sameFile(const FileStamp& other) const noexcept {
        return device == other.device && inode == other.inode;
    }
    [[nodiscard]] bool sameContent(const FileStamp& other) const noexcept {
        return sameFile(other) && size == other.size && modifiedSec == other.modifiedSec &&
               modifiedNsec == other.modifiedNsec;
    }
    [[nodiscard]] bool sameState(const FileStamp& other) const noexcept {
        return sameContent(other) && changedSec == other.changedSec && changedNsec == other.changedNsec;
    }
};

/// The stamp of the file at `path` (links followed). False when there is nothing at the path.
[[nodiscard]] bool StampOf(const std::filesystem::path& path, FileStamp& stamp) noexcept;

/// The stamp of an open file (fstat). False when the descriptor cannot be looked at.
[[nodiscard]] bool StampOfOpenFile(int fd, FileStamp& stamp) noexcept;

/// Reads a whole file. Throws FileOpenError when it cannot be opened or read.
[[nodiscard]] std::string ReadFileBytes(const std::filesystem::path& path);

/// The same for a file that must be a regular file: a pipe, device or socket found at the path (even
/// one swapped in since the caller looked) is refused with FileOpenError instead of being waited on.
/// `stamp`, when given, receives the stamp of the file read, taken on the open file before reading.
[[nodiscard]] std::string ReadRegularFileBytes(const std::filesystem::path& path, FileStamp* stamp = nullptr);

/// How WriteFileAtomic treats the file it replaces or creates.
struct AtomicWrite {
    /// When set, the target must still have this stamp (same file, size and modification time) just
    /// before the rename; a file changed since it was read is left as it now is and the write fails.
    const FileStamp* unchangedSince = nullptr;
    /// The permission bits of a target that does not exist yet; negative: 0666 less the umask.
    int newFileMode = -1;
    /// What lstat told of the path just before (the caller judged it): a regular file or nothing
    /// there is not looked at again; a link is followed as usual.
    const struct stat* lookedAt = nullptr;
};

/// The most a rule file, result list, language pack or settings file may hold (64 MiB): far beyond any
/// real one, and small enough that an endless or runaway file is refused instead of filling memory.
inline constexpr std::size_t kMaxSmallFileBytes = std::size_t{64} << 20;

/// Reads a small file of the program's own kinds (rules, lists, settings). Only a regular file of at
/// most `limit` bytes is read: a pipe, device or socket is refused at once (the open never waits for a
/// writer), and so is a file larger than the limit or one that grows past it while it is read.
/// Throws FileOpenError for all of these, as for a file that cannot be opened or read.
[[nodiscard]] std::string ReadSmallFileBytes(const std::filesystem::path& path, std::size_t limit = kMaxSmallFileBytes);

/// A new text waiting in its temporary beside the file it is meant for, not in place yet. A run stages
/// a batch of files, makes the batch durable (SyncWrittenData), and only then places each one, so a
/// power cut never leaves an original replaced while its new text is not on disk. The temporary is
/// locked while it exists (a sweep of leftovers by another process leaves it alone) and removed when
/// the object goes without having been placed.
class StagedFile {
public:
    StagedFile() noexcept = default;
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile();

    /// Writes `bytes` to a temporary beside the file `path` ends at (links followed), with the
    /// target's owner (when run by an administrator) and mode bits, or `how.newFileMode` for a new
    /// file. False, leaving nothing behind, for a target that is a folder, a special file or
    /// read-only, and on any failure.
    [[nodiscard]] bool stage(const std::filesystem::path& path, std::string_view bytes,
                             const AtomicWrite& how = {}) noexcept;
    /// Renames the temporary over its target, after `how.unchangedSince` is checked once more. False
    /// (the temporary removed, the target as it is) when that check or the rename fails.
    [[nodiscard]] bool place() noexcept;
    /// A descriptor of the temporary (for a sync), or -1 when nothing is staged.
    [[nodiscard]] int descriptor() const noexcept { return m_lock; }
    /// The file system the temporary is on.
    [[nodiscard]] std::uint64_t device() const noexcept { return m_device; }
    /// The folder the target is in (a rename there is made durable by syncing it).
    [[nodiscard]] std::string folder() const;

private:
    void discard() noexcept;

    int m_lock = -1; ///< holds the temporary's lock until it is placed or removed
    std::string m_temp;
    std::string m_target;
    FileStamp m_unchangedSince{};
    std::uint64_t m_device = 0;
    bool m_checkUnchanged = false;
};

/// Makes the data and names written so far on the file systems of these staged files durable: one
/// sync of each file system (a batch of many files costs one call per file system). True when every
/// sync succeeded.
[[nodiscard]] bool SyncWrittenData(const std::vector<const StagedFile*>& files) noexcept;

/// Makes the entries of a folder durable (after renames in it). True on success.
[[nodiscard]] bool SyncFolder(const std::filesystem::path& folder) noexcept;

/// Replaces the whole file atomically: the bytes go to a temporary file in the same folder which is
/// then renamed over the target, so a failure leaves the old file intact. The target's owner (when
/// run by an administrator) and then its mode bits, set-ID and sticky bits included, are kept; a
/// symbolic link is written through (the link stays a link). An existing read-only target
/// (owner-write bit clear) is refused. The temporary is locked while it exists, so that a sweep of
/// leftovers by another process leaves it alone. Returns false on any failure; never throws.
[[nodiscard]] bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                                   const AtomicWrite& how = {}) noexcept;

/// True when anything at all is at the path, itself not followed: a file, folder, special file or a
/// symbolic link, even one that leads nowhere. A trailing '/' is no demand that it be a folder (and
/// does not follow a link). False leaves the reason in errno.
[[nodiscard]] bool PathIsThere(const std::filesystem::path& path) noexcept;

/// Writes all of `bytes` to the open descriptor `fd`, resuming after interrupted and partial writes.
/// False, with errno set, at the first write that fails; an empty text writes nothing and succeeds.
[[nodiscard]] bool WriteAll(int fd, std::string_view bytes) noexcept;

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

/// Copies a file, refusing to overwrite an existing target; the copy gets the source's owner and
/// group where the system allows it, then its mode bits and times. A failed copy leaves no partial
/// target. With `expected`, the source must still have that stamp when it is read for the copy (so
/// the copy holds exactly the bytes that stamp describes). True on success.
[[nodiscard]] bool CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to,
                                       const FileStamp* expected = nullptr) noexcept;
/// The same for a source the caller has read already under the stamp `expected`: `bytes` are what
/// it read, written as the copy while the source still has that stamp (it is not read again).
[[nodiscard]] bool CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to,
                                       const FileStamp& expected, std::string_view bytes) noexcept;

/// Creates a new file holding `bytes`, with the permission bits `mode` less the umask, refusing an
/// existing name (a dangling symbolic link included): the file appears whole or not at all. True on
/// success; false when the name is taken or anything fails, leaving no partial file.
[[nodiscard]] bool CreateFileNoOverwrite(const std::filesystem::path& to, std::string_view bytes,
                                         unsigned mode) noexcept;

/// Puts `backup` back as the file `path` names: a symbolic link is followed, so the file it points to
/// is replaced and the link stays a link. One rename when both are on one file system; otherwise the
/// backup's bytes, owner, mode and times go to a temporary beside the file, which is renamed over it,
/// and the backup is then removed. True on success; on failure the file is as it was.
[[nodiscard]] bool RestoreOver(const std::filesystem::path& backup, const std::filesystem::path& path) noexcept;

/// Removes a leftover temporary unless a writer still holds it (see WriteFileAtomic). True when removed.
bool RemoveUnlockedTemporary(const std::filesystem::path& path) noexcept;

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
