// A fault injector loaded with LD_PRELOAD in front of the C library. It counts the file operations a
// program makes on paths inside one folder and makes one chosen call fail, so a test can first learn
// how many calls of each kind a job makes and then fail each of them in turn.
//
// Environment:
//   NVK_FAULT_ROOT    the folder whose paths are watched (absolute); nothing is counted without it
//   NVK_FAULT_OP      the kind of call to fail (see kOpNames)
//   NVK_FAULT_AT      which call of that kind, counting from 1 (0 or unset: none)
//   NVK_FAULT_ERRNO   the error to give: a name (ENOSPC, EIO, ...) or a number; EIO by default
//   NVK_FAULT_ACTION  fail (default); vanish: the path is deleted just before the call, which then
//                     goes ahead; todir: the path is deleted and a folder made in its place; append:
//                     a line "edited\n" is appended to the path, or to NVK_FAULT_EDIT when that is
//                     set (another program editing a file, say while the job writes its temporary)
//   NVK_FAULT_MATCH   only calls whose path contains this text count towards NVK_FAULT_AT
//   NVK_FAULT_ALWAYS  "<op>=<errno>": every call of that kind fails (a file system without hard
//                     links: "link=EPERM"), on top of the one chosen fault
//   NVK_FAULT_REPORT  a file that receives, at exit, one line "<op> <calls>" per kind and a line
//                     "fired <op> <index> <path>" when the fault was given
//   NVK_FAULT_TRACE   a file that receives, at exit, the watched mkstemp, link, rename, syncfs and
//                     fsync calls in the order they were made, one a line: "<op> <path> [<path>]"
//                     (the path of a descriptor for the syncs), so a test can check their order
//
// "mkstemp" stands for any temporary made: by mkstemp, or by an exclusive open of a name holding
// ".norvik-tmp-". Calls on descriptors (read, write, close, fchmod, ...) count when the descriptor was
// opened (or made as a temporary) on a watched path. A failed write first writes half of what it was given, as a
// full disk does; a failed close closes the descriptor all the same, as Linux does.
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum Op {
    kOpenRead,
    kOpenWrite,
    kRead,
    kWrite,
    kClose,
    kMkstemp,
    kFchmod,
    kFchown,
    kFutimens,
    kRename,
    kLink,
    kUnlink,
    kChmod,
    kMkdir,
    kOpendir,
    kReaddir,
    kSyncfs,
    kFsync, ///< fsync and fdatasync
    kOpCount
};

constexpr const char* kOpNames[kOpCount] = {"open_r", "open_w", "read",     "write",   "close",  "mkstemp",
                                            "fchmod", "fchown", "futimens", "rename",  "link",   "unlink",
                                            "chmod",  "mkdir",  "opendir",  "readdir", "syncfs", "fsync"};

struct ErrnoName {
    const char* name;
    int value;
};
constexpr ErrnoName kErrnos[] = {{"ENOSPC", ENOSPC},
                                 {"EIO", EIO},
                                 {"EACCES", EACCES},
                                 {"EPERM", EPERM},
                                 {"ENOENT", ENOENT},
                                 {"EEXIST", EEXIST},
                                 {"EXDEV", EXDEV},
                                 {"EROFS", EROFS},
                                 {"EDQUOT", EDQUOT},
                                 {"EMFILE", EMFILE},
                                 {"EBUSY", EBUSY},
                                 {"EINTR", EINTR},
                                 {"ENAMETOOLONG", ENAMETOOLONG}};

enum class Action { Fail, Vanish, ToFolder, Append };

constexpr int kMaxFd = 1 << 16;

struct Config {
    std::string root; // ends with '/'
    int op = -1;
    unsigned long at = 0;
    int error = EIO;
    Action action = Action::Fail;
    std::string match;
    std::string edit;
    std::string report;
    std::string trace;
    int alwaysOp = -1;
    int alwaysError = 0;
};

struct State {
    Config config;
    std::atomic<unsigned long> calls[kOpCount] = {};
    std::atomic<unsigned long> matched{0}; // calls of the chosen kind that passed the match filter
    std::atomic<unsigned char> watchedFd[kMaxFd] = {};
    std::mutex mutex; // guards firedPath and traced
    std::string firedPath;
    std::string traced;
    std::atomic<bool> fired{false};
};

// The real functions, resolved once on first use.
struct Real {
    int (*open)(const char*, int, ...) = nullptr;
    int (*open64)(const char*, int, ...) = nullptr;
    ssize_t (*read)(int, void*, size_t) = nullptr;
    ssize_t (*write)(int, const void*, size_t) = nullptr;
    ssize_t (*pwrite)(int, const void*, size_t, off_t) = nullptr;
    int (*close)(int) = nullptr;
    int (*mkstemp)(char*) = nullptr;
    int (*mkostemp)(char*, int) = nullptr;
    int (*fchmod)(int, mode_t) = nullptr;
    int (*fchown)(int, uid_t, gid_t) = nullptr;
    int (*futimens)(int, const struct timespec*) = nullptr;
    int (*rename)(const char*, const char*) = nullptr;
    int (*renameat2)(int, const char*, int, const char*, unsigned) = nullptr;
    int (*link)(const char*, const char*) = nullptr;
    int (*unlink)(const char*) = nullptr;
    int (*chmod)(const char*, mode_t) = nullptr;
    int (*mkdir)(const char*, mode_t) = nullptr;
    DIR* (*opendir)(const char*) = nullptr;
    struct dirent* (*readdir)(DIR*) = nullptr;
    int (*closedir)(DIR*) = nullptr;
    int (*dirfd)(DIR*) = nullptr;
    int (*syncfs)(int) = nullptr;
    int (*fsync)(int) = nullptr;
    int (*fdatasync)(int) = nullptr;
    int (*dup)(int) = nullptr;
};

template <typename F> void Resolve(F& fn, const char* name) {
    fn = reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

Real& R() {
    static Real* real = [] {
        auto* r = new Real;
        Resolve(r->open, "open");
        Resolve(r->open64, "open64");
        Resolve(r->read, "read");
        Resolve(r->write, "write");
        Resolve(r->pwrite, "pwrite");
        Resolve(r->close, "close");
        Resolve(r->mkstemp, "mkstemp");
        Resolve(r->mkostemp, "mkostemp");
        Resolve(r->fchmod, "fchmod");
        Resolve(r->fchown, "fchown");
        Resolve(r->futimens, "futimens");
        Resolve(r->rename, "rename");
        Resolve(r->renameat2, "renameat2");
        Resolve(r->link, "link");
        Resolve(r->unlink, "unlink");
        Resolve(r->chmod, "chmod");
        Resolve(r->mkdir, "mkdir");
        Resolve(r->opendir, "opendir");
        Resolve(r->readdir, "readdir");
        Resolve(r->closedir, "closedir");
        Resolve(r->dirfd, "dirfd");
        Resolve(r->syncfs, "syncfs");
        Resolve(r->fsync, "fsync");
        Resolve(r->fdatasync, "fdatasync");
        Resolve(r->dup, "dup");
        return r;
    }();
    return *real;
}

int OpOf(const std::string& name) {
    for (int i = 0; i < kOpCount; ++i) {
        if (name == kOpNames[i]) {
            return i;
        }
    }
    return -1;
}

int ErrnoOf(const char* text) {
    if (text == nullptr || *text == '\0') {
        return EIO;
    }
    for (const auto& e : kErrnos) {
        if (std::strcmp(e.name, text) == 0) {
            return e.value;
        }
    }
    const int value = std::atoi(text);
    return value > 0 ? value : EIO;
}

// Never freed: calls may still arrive from other threads and destructors while the program ends.
State* g_state = nullptr;

void WriteReport();

State* Setup() {
    auto* s = new State;
    Config& c = s->config;
    if (const char* root = std::getenv("NVK_FAULT_ROOT"); root != nullptr && *root != '\0') {
        c.root = root;
        if (c.root.back() != '/') {
            c.root += '/';
        }
    }
    if (const char* op = std::getenv("NVK_FAULT_OP")) {
        c.op = OpOf(op);
    }
    if (const char* always = std::getenv("NVK_FAULT_ALWAYS")) {
        const std::string text = always;
        const std::size_t equals = text.find('=');
        c.alwaysOp = OpOf(text.substr(0, equals));
        c.alwaysError = ErrnoOf(equals == std::string::npos ? nullptr : text.c_str() + equals + 1);
    }
    if (const char* at = std::getenv("NVK_FAULT_AT")) {
        c.at = std::strtoul(at, nullptr, 10);
    }
    c.error = ErrnoOf(std::getenv("NVK_FAULT_ERRNO"));
    if (const char* action = std::getenv("NVK_FAULT_ACTION")) {
        if (std::strcmp(action, "vanish") == 0) {
            c.action = Action::Vanish;
        } else if (std::strcmp(action, "todir") == 0) {
            c.action = Action::ToFolder;
        } else if (std::strcmp(action, "append") == 0) {
            c.action = Action::Append;
        }
    }
    if (const char* match = std::getenv("NVK_FAULT_MATCH")) {
        c.match = match;
    }
    if (const char* edit = std::getenv("NVK_FAULT_EDIT")) {
        c.edit = edit;
    }
    if (const char* report = std::getenv("NVK_FAULT_REPORT")) {
        c.report = report;
    }
    if (const char* trace = std::getenv("NVK_FAULT_TRACE")) {
        c.trace = trace;
    }
    return s;
}

State& S() {
    static State* state = [] {
        g_state = Setup();
        return g_state;
    }();
    return *state;
}

__attribute__((constructor)) void Start() {
    R();
    S();
    std::atexit(WriteReport);
}

void WriteTrace(State& s) {
    if (s.config.trace.empty()) {
        return;
    }
    std::lock_guard lock(s.mutex);
    const int fd = R().open(s.config.trace.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t n = R().write(fd, s.traced.data(), s.traced.size());
        R().close(fd);
    }
}

void WriteReport() {
    State& s = S();
    WriteTrace(s);
    if (s.config.report.empty()) {
        return;
    }
    std::string text;
    for (int i = 0; i < kOpCount; ++i) {
        text += kOpNames[i];
        text += ' ';
        text += std::to_string(s.calls[i].load());
        text += '\n';
    }
    if (s.fired) {
        std::lock_guard lock(s.mutex);
        text += "fired " + std::string(kOpNames[s.config.op]) + " " + std::to_string(s.config.at) + " " + s.firedPath +
                "\n";
    }
    const int fd = R().open(s.config.report.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t n = R().write(fd, text.data(), text.size());
        R().close(fd);
    }
}

bool Watched(const char* path) {
    const State& s = S();
    if (path == nullptr || s.config.root.empty()) {
        return false;
    }
    if (path[0] == '/') {
        return std::strncmp(path, s.config.root.c_str(), s.config.root.size()) == 0;
    }
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) {
        return false;
    }
    std::string full = std::string(cwd) + "/" + path;
    return full.compare(0, s.config.root.size(), s.config.root) == 0;
}

bool WatchedFd(int fd) {
    return fd >= 0 && fd < kMaxFd && S().watchedFd[fd].load(std::memory_order_relaxed) != 0;
}

void MarkFd(int fd, bool watched) {
    if (fd >= 0 && fd < kMaxFd) {
        S().watchedFd[fd].store(watched ? 1 : 0, std::memory_order_relaxed);
    }
}

// Counts one watched call. Gives the error this call must fail with, or 0 to let it go ahead (the
// vanish, todir and append actions change the path and then let the call go ahead).
int Fault(Op op, const char* path) {
    State& s = S();
    s.calls[op].fetch_add(1);
    if (op == s.config.alwaysOp) {
        return s.config.alwaysError;
    }
    if (op != s.config.op || s.config.at == 0) {
        return 0;
    }
    if (!s.config.match.empty() && (path == nullptr || std::strstr(path, s.config.match.c_str()) == nullptr)) {
        return 0;
    }
    if (s.matched.fetch_add(1) + 1 != s.config.at) {
        return 0;
    }
    {
        std::lock_guard lock(s.mutex);
        s.firedPath = path != nullptr ? path : "";
    }
    s.fired = true;
    if (s.config.action == Action::Fail) {
        return s.config.error;
    }
    if (s.config.action == Action::Append) {
        const int fd = R().open(s.config.edit.empty() ? path : s.config.edit.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0) {
            static constexpr char kEdit[] = "edited\n";
            [[maybe_unused]] const ssize_t n = R().write(fd, kEdit, sizeof kEdit - 1);
            R().close(fd);
        }
        return 0;
    }
    R().unlink(path);
    if (s.config.action == Action::ToFolder) {
        R().mkdir(path, 0755);
    }
    return 0;
}

int Failed(int error) {
    errno = error;
    return -1;
}

void Trace(const char* op, const char* path, const char* other = nullptr);

int OpenWith(int (*real)(const char*, int, ...), const char* path, int flags, mode_t mode) {
    if (real == nullptr) {
        return Failed(ENOSYS);
    }
    if (Watched(path)) {
        // A temporary made by an exclusive open of its own name counts (and is traced) as "mkstemp".
        if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && std::strstr(path, ".norvik-tmp-") != nullptr) {
            if (const int error = Fault(kMkstemp, path)) {
                return Failed(error);
            }
            const int fd = real(path, flags, mode);
            MarkFd(fd, true);
            Trace("mkstemp", path);
            return fd;
        }
        const bool writing = (flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT) != 0;
        if (const int error = Fault(writing ? kOpenWrite : kOpenRead, path)) {
            return Failed(error);
        }
        const int fd = real(path, flags, mode);
        MarkFd(fd, true);
        return fd;
    }
    return real(path, flags, mode);
}

mode_t ModeArg(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

// Adds a line to the trace of ordered calls.
void Trace(const char* op, const char* path, const char* other) {
    State& s = S();
    if (s.config.trace.empty()) {
        return;
    }
    std::lock_guard lock(s.mutex);
    s.traced += op;
    s.traced += ' ';
    s.traced += path != nullptr ? path : "";
    if (other != nullptr) {
        s.traced += ' ';
        s.traced += other;
    }
    s.traced += '\n';
}

std::string PathOfFd(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// A sync of a watched descriptor: counted, faulted and traced.
int SyncWith(int (*real)(int), Op op, int fd) {
    if (WatchedFd(fd)) {
        if (const int error = Fault(op, nullptr)) {
            return Failed(error);
        }
        Trace(kOpNames[op], PathOfFd(fd).c_str());
    }
    return real != nullptr ? real(fd) : Failed(ENOSYS);
}

int TempWith(char* tmpl, int flags, bool withFlags) {
    const bool watched = Watched(tmpl);
    if (watched) {
        if (const int error = Fault(kMkstemp, tmpl)) {
            return Failed(error);
        }
    }
    const int fd = withFlags ? R().mkostemp(tmpl, flags) : R().mkstemp(tmpl);
    if (watched) {
        MarkFd(fd, true);
        Trace("mkstemp", tmpl);
    }
    return fd;
}

// The error for a call on a watched descriptor, 0 for any other.
int FdFault(Op op, int fd) {
    return WatchedFd(fd) ? Fault(op, nullptr) : 0;
}

// The error for a call on paths of which one is watched, 0 otherwise.
int PathFault(Op op, const char* path, const char* other = nullptr) {
    return Watched(path) || Watched(other) ? Fault(op, other != nullptr ? other : path) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArg(flags, args);
    va_end(args);
    return OpenWith(R().open, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArg(flags, args);
    va_end(args);
    return OpenWith(R().open64 != nullptr ? R().open64 : R().open, path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t count) {
    if (const int error = FdFault(kRead, fd)) {
        return Failed(error);
    }
    return R().read(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
    if (const int error = FdFault(kWrite, fd)) {
        if (count > 1) {
            [[maybe_unused]] const ssize_t half = R().write(fd, buffer, count / 2);
        }
        return Failed(error);
    }
    return R().write(fd, buffer, count);
}

// Writes at an offset (the run history's records) count as writes.
ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    if (const int error = FdFault(kWrite, fd)) {
        if (count > 1) {
            [[maybe_unused]] const ssize_t half = R().pwrite(fd, buffer, count / 2, offset);
        }
        return Failed(error);
    }
    return R().pwrite(fd, buffer, count, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t count, off_t offset) {
    return pwrite(fd, buffer, count, offset);
}

int close(int fd) {
    const int error = FdFault(kClose, fd);
    MarkFd(fd, false);
    const int result = R().close(fd);
    return error != 0 ? Failed(error) : result;
}

int mkstemp(char* tmpl) {
    return TempWith(tmpl, 0, false);
}

int mkostemp(char* tmpl, int flags) {
    return TempWith(tmpl, flags, true);
}

int fchmod(int fd, mode_t mode) {
    if (const int error = FdFault(kFchmod, fd)) {
        return Failed(error);
    }
    return R().fchmod(fd, mode);
}

int fchown(int fd, uid_t owner, gid_t group) {
    if (const int error = FdFault(kFchown, fd)) {
        return Failed(error);
    }
    return R().fchown(fd, owner, group);
}

int futimens(int fd, const struct timespec times[2]) {
    if (const int error = FdFault(kFutimens, fd)) {
        return Failed(error);
    }
    return R().futimens(fd, times);
}

int rename(const char* from, const char* to) {
    if (const int error = PathFault(kRename, from, to)) {
        return Failed(error);
    }
    const int result = R().rename(from, to);
    if (result == 0 && (Watched(from) || Watched(to))) {
        Trace("rename", from, to);
    }
    return result;
}

// Paths relative to a folder descriptor are not watched: the program passes AT_FDCWD and whole paths.
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    if (const int error = PathFault(kRename, from, to)) {
        return Failed(error);
    }
    return R().renameat2(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to) {
    if (const int error = PathFault(kLink, from, to)) {
        return Failed(error);
    }
    const int result = R().link(from, to);
    if (result == 0 && (Watched(from) || Watched(to))) {
        Trace("link", from, to);
    }
    return result;
}

// A copy of a watched descriptor is watched too (a writer may keep its temporary by a copy).
int dup(int fd) {
    const int copy = R().dup(fd);
    if (copy >= 0 && WatchedFd(fd)) {
        MarkFd(copy, true);
    }
    return copy;
}

int syncfs(int fd) {
    return SyncWith(R().syncfs, kSyncfs, fd);
}

int fsync(int fd) {
    return SyncWith(R().fsync, kFsync, fd);
}

int fdatasync(int fd) {
    return SyncWith(R().fdatasync, kFsync, fd);
}

int unlink(const char* path) {
    if (const int error = PathFault(kUnlink, path)) {
        return Failed(error);
    }
    return R().unlink(path);
}

int chmod(const char* path, mode_t mode) {
    if (const int error = PathFault(kChmod, path)) {
        return Failed(error);
    }
    return R().chmod(path, mode);
}

int mkdir(const char* path, mode_t mode) {
    if (const int error = PathFault(kMkdir, path)) {
        return Failed(error);
    }
    return R().mkdir(path, mode);
}

DIR* opendir(const char* path) {
    const bool watched = Watched(path);
    if (watched) {
        if (const int error = Fault(kOpendir, path)) {
            errno = error;
            return nullptr;
        }
    }
    DIR* dir = R().opendir(path);
    if (watched && dir != nullptr) {
        MarkFd(R().dirfd(dir), true);
    }
    return dir;
}

struct dirent* readdir(DIR* dir) {
    if (const int error = FdFault(kReaddir, R().dirfd(dir))) {
        errno = error;
        return nullptr;
    }
    return R().readdir(dir);
}

int closedir(DIR* dir) {
    MarkFd(R().dirfd(dir), false);
    return R().closedir(dir);
}

} // extern "C"
