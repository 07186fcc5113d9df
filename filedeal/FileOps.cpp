#include "filedeal/FileOps.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvik::filedeal {

namespace fs = std::filesystem;

namespace {

std::string ErrnoText(int err) {
    return std::strerror(err);
}

bool WriteAll(int fd, std::string_view bytes) noexcept {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Follows a chain of symbolic links so that writing replaces the file the link points to and the
// link itself stays. Gives the path unchanged when it is no link.
bool ResolveLinks(const fs::path& path, fs::path& resolved) noexcept {
    try {
        fs::path current = path;
        for (int depth = 0; depth < 40; ++depth) {
            std::error_code ec;
            if (!fs::is_symlink(fs::symlink_status(current, ec)) || ec) {
                resolved = current;
                return true;
            }
            fs::path target = fs::read_symlink(current, ec);
            if (ec) {
                return false;
            }
            current = target.is_absolute() ? target : current.parent_path() / target;
        }
    } catch (...) {
    }
    return false; // a link loop
}

mode_t CurrentUmask() noexcept {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A temporary file beside `target`, hidden and recognisable: ".<name>.norvik-tmp-XXXXXX".
int MakeTempBeside(const fs::path& target, std::string& tempPath) noexcept {
    try {
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
        const std::string name = target.filename().string();
        // A long name would not fit in one folder entry; fall back to a short temporary name.
        tempPath = (folder / (name.size() + 19 > NAME_MAX ? std::string(".norvik-tmp-XXXXXX")
                                                          : "." + name + ".norvik-tmp-XXXXXX"))
                       .string();
        return ::mkstemp(tempPath.data());
    } catch (...) {
        return -1;
    }
}

} // namespace

FileOpenError::FileOpenError(const fs::path& path, const std::string& reason)
    : std::runtime_error("Cannot open file \"" + path.string() + "\"" + (reason.empty() ? "" : ". " + reason)),
      m_path(path) {}

namespace {

std::string ReadBytes(const fs::path& path, bool regularOnly) {
    // Opening a pipe for reading waits for a writer; opening without waiting lets a regular-only
    // read refuse it instead of hanging.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0));
    if (fd < 0) {
        throw FileOpenError(path, ErrnoText(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (regularOnly && !S_ISREG(st.st_mode))) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : (regularOnly && !S_ISREG(st.st_mode)) ? EINVAL : errno;
        ::close(fd);
        throw FileOpenError(path, ErrnoText(err));
    }
    std::string bytes;
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        // Room for a final CR LF, so a text made from these bytes can take one without moving.
        bytes.reserve(static_cast<std::size_t>(st.st_size) + 2);
        bytes.resize(static_cast<std::size_t>(st.st_size));
    }
    std::size_t have = 0;
    const std::size_t expected = bytes.size();
    char probe[4096];
    for (;;) {
        // The buffer already holds the size fstat gave: the read that meets the end goes to a small
        // probe, so that a large file is not held twice (and once more as zeros) only to learn that
        // nothing follows. A file that is growing, or has no size, still grows the buffer.
        const bool probing = have == bytes.size() && have == expected && have > 0;
        if (have == bytes.size() && !probing) {
            bytes.resize(bytes.empty() ? 65536 : bytes.size() * 2);
        }
        const ssize_t n =
            probing ? ::read(fd, probe, sizeof probe) : ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            ::close(fd);
            throw FileOpenError(path, ErrnoText(err));
        }
        if (n == 0) {
            break;
        }
        if (probing) {
            bytes.append(probe, static_cast<std::size_t>(n));
        }
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(have);
    return bytes;
}

} // namespace

std::string ReadFileBytes(const fs::path& path) {
    return ReadBytes(path, false);
}

std::string ReadRegularFileBytes(const fs::path& path) {
    return ReadBytes(path, true);
}

bool WriteFileAtomic(const fs::path& path, std::string_view bytes) noexcept {
    fs::path target;
    if (!ResolveLinks(path, target)) {
        return false;
    }
    struct stat st {};
    mode_t mode = 0666 & ~CurrentUmask();
    bool existed = false;
    if (::lstat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
            return false; // a folder or other special file, or a read-only file
        }
        existed = true;
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }
    std::string tempPath;
    const int fd = MakeTempBeside(target, tempPath);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, bytes) && ::fchmod(fd, mode) == 0;
    if (ok && existed && ::geteuid() == 0) {
        // Keep the owner when an administrator rewrites somebody else's file.
        [[maybe_unused]] const int ignored = ::fchown(fd, st.st_uid, st.st_gid);
    }
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tempPath.c_str(), target.c_str()) == 0) {
        return true;
    }
    ::unlink(tempPath.c_str());
    return false;
}

bool FileExists(const fs::path& path) noexcept {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const fs::path& path) noexcept {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const fs::path& path) noexcept {
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool IsReadOnly(const fs::path& path) noexcept {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return true;
    }
    return (st.st_mode & S_IWUSR) == 0;
}

bool ClearAttributes(const fs::path& path) noexcept {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool CopyFileNoOverwrite(const fs::path& from, const fs::path& to) noexcept {
    std::string bytes;
    try {
        bytes = ReadFileBytes(from);
    } catch (...) {
        return false;
    }
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0) {
        return false;
    }
    std::string tempPath;
    const int fd = MakeTempBeside(to, tempPath);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, bytes) && ::fchmod(fd, st.st_mode & 07777) == 0;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && ::futimens(fd, times) == 0;
    ok = (::close(fd) == 0) && ok;
    // link() refuses an existing name, so the copy appears whole or not at all and never replaces
    // a backup that is already there.
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    if (::link(tempPath.c_str(), to.c_str()) == 0) {
        ::unlink(tempPath.c_str());
        return true;
    }
    const int linkError = errno;
    ::unlink(tempPath.c_str());
    if (linkError == EEXIST) {
        return false;
    }
    // File systems without hard links: create the name exclusively and fill it.
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        return false;
    }
    ok = WriteAll(out, bytes) && ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
    ok = (::close(out) == 0) && ok;
    if (!ok) {
        ::unlink(to.c_str());
    }
    return ok;
}

bool CreateFileNoOverwrite(const fs::path& to, std::string_view bytes, unsigned mode) noexcept {
    const mode_t wanted = static_cast<mode_t>(mode & 07777) & ~CurrentUmask();
    std::string tempPath;
    const int fd = MakeTempBeside(to, tempPath);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, bytes) && ::fchmod(fd, wanted) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    // link() refuses an existing name, so a file someone else created meanwhile is never replaced.
    const int linked = ::link(tempPath.c_str(), to.c_str());
    const int linkError = errno;
    ::unlink(tempPath.c_str());
    if (linked == 0) {
        return true;
    }
    if (linkError == EEXIST) {
        return false;
    }
    // File systems without hard links: create the name exclusively and fill it.
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        return false;
    }
    ok = WriteAll(out, bytes) && ::fchmod(out, wanted) == 0;
    ok = (::close(out) == 0) && ok;
    if (!ok) {
        ::unlink(to.c_str());
    }
    return ok;
}

bool DeleteFile(const fs::path& path) noexcept {
    return ::unlink(path.c_str()) == 0;
}

bool RenameReplace(const fs::path& from, const fs::path& to) noexcept {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

constexpr std::string_view kTemporaryTag = ".norvik-tmp-";
constexpr std::size_t kTemporarySuffix = 6; // the characters mkstemp fills in

} // namespace

bool IsTemporaryName(std::string_view name) noexcept {
    const std::size_t shortSize = kTemporaryTag.size() + kTemporarySuffix;
    // Either the short form ".norvik-tmp-XXXXXX" or "." + a name of at least one byte + the short form.
    if (name.size() < shortSize || (name.size() > shortSize && name.size() < shortSize + 2) || name.front() != '.') {
        return false;
    }
    if (name.substr(name.size() - shortSize, kTemporaryTag.size()) != kTemporaryTag) {
        return false;
    }
    for (char c : name.substr(name.size() - kTemporarySuffix)) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum) {
            return false;
        }
    }
    return true;
}

std::string TemporaryTargetOf(std::string_view name) {
    const std::size_t shortSize = kTemporaryTag.size() + kTemporarySuffix;
    if (!IsTemporaryName(name) || name.size() == shortSize) {
        return {};
    }
    return std::string(name.substr(1, name.size() - shortSize - 1));
}

std::string FileNameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace norvik::filedeal
