#include "filedeal/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <random>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "filedeal/FileDescriptor.h"
#include "filedeal/PathNames.h"

namespace norvik::filedeal {

namespace fs = std::filesystem;

namespace {

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Follows a chain of symbolic links so that writing replaces the file the link points to and the
// link itself stays. Gives the path unchanged when it is no link.
// `found` receives the lstat of the end of the chain, or errno when there is nothing (`foundError`).
bool ResolveLinks(const fs::path& path, fs::path& resolved, struct stat* found = nullptr,
                  int* foundError = nullptr) noexcept {
    try {
        fs::path current = path;
        for (int depth = 0; depth < 40; ++depth) {
            struct stat st {};
            const int looked = ::lstat(current.c_str(), &st);
            if (looked != 0 || !S_ISLNK(st.st_mode)) {
                if (found != nullptr) {
                    *foundError = looked == 0 ? 0 : errno;
                    *found = st;
                }
                resolved = current;
                return true;
            }
            std::error_code ec;
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

// The umask is read once per process: reading it means setting it, twice, and nothing in the
// program changes it.
mode_t CurrentUmask() noexcept {
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

uid_t EffectiveUser() noexcept {
    static const uid_t user = ::geteuid();
    return user;
}

gid_t EffectiveGroup() noexcept {
    static const gid_t group = ::getegid();
    return group;
}

// Six letters or digits for a temporary's name, from a generator of this thread seeded once from the
// kernel: a name per file without a system call for it.
void FillTemporarySuffix(char* suffix) noexcept {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator = [] {
        std::uint64_t seed = 0;
        if (::getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
            seed = static_cast<std::uint64_t>(::getpid()) << 32 ^ reinterpret_cast<std::uintptr_t>(&seed);
        }
        return std::mt19937_64(seed);
    }();
    std::uint64_t bits = generator();
    for (int i = 0; i < 6; ++i, bits >>= 6) {
        suffix[i] = kLetters[(bits & 63U) % (sizeof kLetters - 1)];
    }
}

// A temporary file beside `target`, hidden and recognisable: ".<name>.norvik-tmp-XXXXXX", made with
// the permission bits `mode` (less the umask) so that it needs no change of mode when they are final.
FileDescriptor MakeTempBeside(const fs::path& target, std::string& tempPath, mode_t mode = 0600) noexcept {
    try {
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
        const std::string name = target.filename().string();
        // A long name would not fit in one folder entry; fall back to a short temporary name.
        tempPath = (folder / (name.size() + 19 > NAME_MAX ? std::string(".norvik-tmp-XXXXXX")
                                                          : "." + name + ".norvik-tmp-XXXXXX"))
                       .string();
        char* suffix = tempPath.data() + tempPath.size() - 6;
        for (int attempt = 0; attempt < 100; ++attempt) {
            FillTemporarySuffix(suffix);
            const int fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0 || errno != EEXIST) {
                return FileDescriptor(fd);
            }
        }
        errno = EEXIST;
    } catch (...) {
        errno = ENOMEM;
    }
    return FileDescriptor();
}

// A temporary beside its target, made and locked by Open and removed by the destructor unless it was
// renamed or linked into place. The lock sits on a second descriptor of the same open file, so the
// writing descriptor can be closed (and its error seen) before the rename while a sweep of leftovers
// in another process still finds the temporary in use until it is gone.
class LockedTemp {
public:
    LockedTemp() = default;
    LockedTemp(const LockedTemp&) = delete;
    LockedTemp& operator=(const LockedTemp&) = delete;
    ~LockedTemp() {
        // The name goes while the lock is still held, so a sweep never sees it unlocked.
        if (!m_placed && m_lock.valid()) {
            const int saved = errno;
            ::unlink(m_path.c_str());
            errno = saved;
        }
    }
    [[nodiscard]] bool open(const fs::path& target, mode_t mode = 0600) noexcept {
        m_file = MakeTempBeside(target, m_path, mode);
        if (!m_file.valid()) {
            return false;
        }
        // A sweep that holds the lock for a moment is about to remove a temporary it took for a
        // leftover; the rename then fails and the write is reported, so the lock is not waited for.
        static_cast<void>(::flock(m_file.get(), LOCK_EX | LOCK_NB));
        m_lock = FileDescriptor(::dup(m_file.get()));
        if (!m_lock.valid()) {
            ::unlink(m_path.c_str());
            return false;
        }
        return true;
    }
    [[nodiscard]] int fd() const noexcept { return m_file.get(); }
    [[nodiscard]] const std::string& path() const noexcept { return m_path; }
    /// Closes the writing descriptor; the lock stays. True when the close reported no error.
    [[nodiscard]] bool close() noexcept { return m_file.close(); }
    /// The temporary's name is gone (renamed over its target): nothing to remove.
    void placed() noexcept { m_placed = true; }
    /// Hands the lock (and with it the duty to remove the name) to the caller.
    [[nodiscard]] int release() noexcept {
        m_placed = true;
        return m_lock.release();
    }

private:
    // Declared lock first: the writing descriptor closes before the lock goes.
    FileDescriptor m_lock;
    FileDescriptor m_file;
    std::string m_path;
    bool m_placed = false;
};

void FillStamp(const struct stat& st, FileStamp& stamp) noexcept {
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modifiedSec = st.st_mtim.tv_sec;
    stamp.modifiedNsec = st.st_mtim.tv_nsec;
    stamp.changedSec = st.st_ctim.tv_sec;
    stamp.changedNsec = st.st_ctim.tv_nsec;
    stamp.mode = st.st_mode;
}

// Gives the copy the source's owner where the system allows it, then its mode (an owner change
// clears the set-ID bits, so the mode comes second) and times.
bool CopyAttributes(int fd, const struct stat& st, bool withTimes) noexcept {
    if (st.st_uid != EffectiveUser() || st.st_gid != EffectiveGroup()) {
        // Only an administrator may give a file away; others keep what they may.
        [[maybe_unused]] const int ignored = ::fchown(fd, st.st_uid, st.st_gid);
    }
    if (::fchmod(fd, st.st_mode & 07777) != 0) {
        return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    return !withTimes || ::futimens(fd, times) == 0;
}

} // namespace

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

bool PathIsThere(const fs::path& path) noexcept {
    try {
        struct stat st {};
        return ::lstat(WithoutTrailingSlash(path.string()).c_str(), &st) == 0;
    } catch (...) {
        errno = ENOMEM;
        return false;
    }
}

FileOpenError::FileOpenError(const fs::path& path, const std::string& reason)
    : std::runtime_error("Cannot open file \"" + path.string() + "\"" + (reason.empty() ? "" : ". " + reason)),
      m_path(path) {}

namespace {

/// Reads a whole file. `regularOnly` refuses anything but a regular file (without waiting on a pipe);
/// more than `limit` bytes, found by fstat or while reading a file that grows, is refused too.
std::string ReadBytes(const fs::path& path, bool regularOnly, FileStamp* stamp,
                      std::size_t limit = std::numeric_limits<std::size_t>::max(), struct stat* status = nullptr) {
    // Opening a pipe for reading waits for a writer; opening without waiting lets a regular-only
    // read refuse it instead of hanging.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0)));
    if (!file.valid()) {
        throw FileOpenError(path, ErrnoText(errno));
    }
    const int fd = file.get();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (regularOnly && !S_ISREG(st.st_mode))) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : (regularOnly && !S_ISREG(st.st_mode)) ? EINVAL : errno;
        throw FileOpenError(path, ErrnoText(err));
    }
    if (static_cast<std::uint64_t>(st.st_size) > limit) {
        throw FileOpenError(path, ErrnoText(EFBIG));
    }
    if (stamp != nullptr) {
        FillStamp(st, *stamp);
    }
    if (status != nullptr) {
        *status = st;
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
            const std::size_t grown = bytes.empty() ? 65536 : bytes.size() * 2;
            // One byte past the limit is enough to know the file is too large.
            bytes.resize(limit < grown ? limit + 1 : grown);
        }
        const ssize_t n =
            probing ? ::read(fd, probe, sizeof probe) : ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileOpenError(path, ErrnoText(errno));
        }
        if (n == 0) {
            break;
        }
        if (probing) {
            bytes.append(probe, static_cast<std::size_t>(n));
        }
        have += static_cast<std::size_t>(n);
        if (have > limit) {
            throw FileOpenError(path, ErrnoText(EFBIG)); // grew past the limit while being read
        }
    }
    bytes.resize(have);
    return bytes;
}

} // namespace

std::string ReadSmallFileBytes(const fs::path& path, std::size_t limit) {
    // Never waits in open() for a pipe's writer; only a regular file is read, and never more than the
    // limit, so /dev/zero, a FIFO or a file that keeps growing is refused instead of read without end.
    return ReadBytes(path, true, nullptr, limit);
}

bool StampOf(const fs::path& path, FileStamp& stamp) noexcept {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    FillStamp(st, stamp);
    return true;
}

bool StampOfOpenFile(int fd, FileStamp& stamp) noexcept {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    FillStamp(st, stamp);
    return true;
}

std::string ReadFileBytes(const fs::path& path) {
    return ReadBytes(path, false, nullptr);
}

std::string ReadRegularFileBytes(const fs::path& path, FileStamp* stamp) {
    return ReadBytes(path, true, stamp);
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : m_lock(std::exchange(other.m_lock, -1)), m_temp(std::move(other.m_temp)), m_target(std::move(other.m_target)),
      m_unchangedSince(other.m_unchangedSince), m_device(other.m_device), m_checkUnchanged(other.m_checkUnchanged) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        discard();
        m_lock = std::exchange(other.m_lock, -1);
        m_temp = std::move(other.m_temp);
        m_target = std::move(other.m_target);
        m_unchangedSince = other.m_unchangedSince;
        m_device = other.m_device;
        m_checkUnchanged = other.m_checkUnchanged;
    }
    return *this;
}

StagedFile::~StagedFile() {
    discard();
}

void StagedFile::discard() noexcept {
    if (m_lock < 0) {
        return;
    }
    // The name goes while the lock is still held, so a sweep never sees it unlocked.
    const int saved = errno;
    ::unlink(m_temp.c_str());
    ::close(std::exchange(m_lock, -1));
    errno = saved;
}

std::string StagedFile::folder() const {
    const fs::path target(m_target);
    return target.has_parent_path() ? target.parent_path().string() : std::string(".");
}

bool StagedFile::stage(const fs::path& path, std::string_view bytes, const AtomicWrite& how) noexcept {
    discard();
    fs::path target;
    struct stat st {};
    int missing = 0;
    if (how.lookedAt != nullptr && !S_ISLNK(how.lookedAt->st_mode)) {
        target = path; // the caller has just looked: no link to follow
        st = *how.lookedAt;
    } else if (!ResolveLinks(path, target, &st, &missing)) {
        return false;
    }
    mode_t mode = how.newFileMode >= 0 ? static_cast<mode_t>(how.newFileMode) & 07777 : 0666 & ~CurrentUmask();
    bool existed = false;
    if (missing == 0) {
        if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
            return false; // a folder or other special file, or a read-only file
        }
        existed = true;
        mode = st.st_mode & 07777;
    } else if (missing != ENOENT) {
        return false;
    }
    try {
        m_target = target.string();
    } catch (...) {
        return false;
    }
    const bool giveAway = existed && EffectiveUser() == 0 && (st.st_uid != 0 || st.st_gid != EffectiveGroup());
    // Plain permission bits that the umask leaves whole are given when the temporary is made; the
    // set-ID and sticky bits, and bits after a change of owner, are set by a change of mode after.
    const bool modeAtOpen = !giveAway && (mode & 07000) == 0 && (mode & CurrentUmask()) == 0;
    LockedTemp temp;
    if (!temp.open(target, modeAtOpen ? mode : 0600)) {
        return false;
    }
    bool ok = WriteAll(temp.fd(), bytes);
    if (ok && giveAway) {
        // Keep the owner when an administrator rewrites somebody else's file. The owner goes first:
        // changing it clears the set-ID bits, which the mode then puts back.
        [[maybe_unused]] const int ignored = ::fchown(temp.fd(), st.st_uid, st.st_gid);
    }
    ok = ok && (modeAtOpen || ::fchmod(temp.fd(), mode) == 0);
    struct stat made {};
    if (ok && !existed) {
        ok = ::fstat(temp.fd(), &made) == 0; // the file system a sync of the batch must reach
    }
    ok = temp.close() && ok;
    if (!ok) {
        return false;
    }
    m_device = static_cast<std::uint64_t>(existed ? st.st_dev : made.st_dev);
    m_checkUnchanged = how.unchangedSince != nullptr;
    if (m_checkUnchanged) {
        m_unchangedSince = *how.unchangedSince;
    }
    m_temp = temp.path();
    m_lock = temp.release();
    return true;
}

bool StagedFile::place() noexcept {
    if (m_lock < 0) {
        return false;
    }
    if (m_checkUnchanged) {
        // The text was made from what the read saw: a file changed since (another program wrote to it,
        // or put another file in its place) keeps that change. A file that vanished is not recreated.
        FileStamp now;
        if (!StampOf(m_target, now) || !now.sameContent(m_unchangedSince)) {
            discard();
            return false;
        }
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        discard();
        return false;
    }
    ::close(std::exchange(m_lock, -1));
    return true;
}

bool SyncWrittenData(const std::vector<const StagedFile*>& files) noexcept {
    // One sync per file system: the files of one file system are told apart by their device.
    std::vector<std::uint64_t> done;
    bool ok = true;
    for (const StagedFile* file : files) {
        const int fd = file->descriptor();
        if (fd < 0) {
            ok = false;
            continue;
        }
        if (std::find(done.begin(), done.end(), file->device()) != done.end()) {
            continue;
        }
        try {
            done.push_back(file->device());
        } catch (...) {
            return false;
        }
        ok = ::syncfs(fd) == 0 && ok;
    }
    return ok;
}

bool SyncFolder(const fs::path& folder) noexcept {
    const FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() && ::fsync(fd.get()) == 0;
}

bool WriteFileAtomic(const fs::path& path, std::string_view bytes, const AtomicWrite& how) noexcept {
    StagedFile staged;
    return staged.stage(path, bytes, how) && staged.place();
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

namespace {

/// Makes `to` a new file holding `bytes` with the owner, mode and times of `st` (see
/// CopyFileNoOverwrite).
bool WriteCopyNoOverwrite(const fs::path& to, std::string_view bytes, const struct stat& st) noexcept {
    LockedTemp temp;
    if (!temp.open(to)) {
        return false;
    }
    bool ok = WriteAll(temp.fd(), bytes) && CopyAttributes(temp.fd(), st, true);
    ok = temp.close() && ok;
    // link() refuses an existing name, so the copy appears whole or not at all and never replaces
    // a backup that is already there.
    if (!ok) {
        return false;
    }
    if (::link(temp.path().c_str(), to.c_str()) == 0) {
        return true; // the temporary's name is removed by `temp`
    }
    if (errno == EEXIST) {
        return false;
    }
    // File systems without hard links: create the name exclusively and fill it.
    FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) {
        return false;
    }
    ok = WriteAll(out.get(), bytes) && CopyAttributes(out.get(), st, true);
    ok = out.close() && ok;
    if (!ok) {
        ::unlink(to.c_str());
    }
    return ok;
}

} // namespace

bool CopyFileNoOverwrite(const fs::path& from, const fs::path& to, const FileStamp* expected) noexcept {
    std::string bytes;
    FileStamp read;
    struct stat st {}; // the file as it was read: its owner, mode and times go to the copy
    try {
        bytes = ReadBytes(from, true, &read, std::numeric_limits<std::size_t>::max(), &st);
    } catch (...) {
        return false;
    }
    if (expected != nullptr && !read.sameContent(*expected)) {
        return false; // the file is no longer what the caller read: a copy would not be its backup
    }
    return WriteCopyNoOverwrite(to, bytes, st);
}

bool CopyFileNoOverwrite(const fs::path& from, const fs::path& to, const FileStamp& expected,
                         std::string_view bytes) noexcept {
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    FileStamp now;
    FillStamp(st, now);
    if (!now.sameContent(expected)) {
        return false; // the file is no longer what the caller read: a copy would not be its backup
    }
    return WriteCopyNoOverwrite(to, bytes, st);
}

bool CreateFileNoOverwrite(const fs::path& to, std::string_view bytes, unsigned mode) noexcept {
    const mode_t wanted = static_cast<mode_t>(mode & 07777) & ~CurrentUmask();
    std::string tempPath;
    FileDescriptor temp = MakeTempBeside(to, tempPath);
    if (!temp.valid()) {
        return false;
    }
    bool ok = WriteAll(temp.get(), bytes) && ::fchmod(temp.get(), wanted) == 0 && ::fsync(temp.get()) == 0;
    ok = temp.close() && ok;
    if (!ok) {
        const int err = errno;
        ::unlink(tempPath.c_str());
        errno = err;
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
    FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) {
        return false;
    }
    ok = WriteAll(out.get(), bytes) && ::fchmod(out.get(), wanted) == 0;
    ok = out.close() && ok;
    if (!ok) {
        ::unlink(to.c_str());
    }
    return ok;
}

bool RestoreOver(const fs::path& backup, const fs::path& path) noexcept {
    fs::path target;
    if (!ResolveLinks(path, target)) {
        return false;
    }
    if (::rename(backup.c_str(), target.c_str()) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        return false;
    }
    // The link leads to another file system: copy the backup beside the file, then rename.
    std::string bytes;
    try {
        bytes = ReadRegularFileBytes(backup);
    } catch (...) {
        return false;
    }
    struct stat st {};
    if (::stat(backup.c_str(), &st) != 0) {
        return false;
    }
    LockedTemp temp;
    if (!temp.open(target)) {
        return false;
    }
    bool ok = WriteAll(temp.fd(), bytes) && CopyAttributes(temp.fd(), st, true);
    ok = temp.close() && ok;
    if (!ok || ::rename(temp.path().c_str(), target.c_str()) != 0) {
        return false;
    }
    temp.placed();
    static_cast<void>(::unlink(backup.c_str()));
    return true;
}

bool RemoveUnlockedTemporary(const fs::path& path) noexcept {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        return false;
    }
    struct stat st {};
    // Removed while the lock is held, so a writer cannot take the name back in between.
    const bool removable =
        ::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode) && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0;
    return removable && ::unlink(path.c_str()) == 0;
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
