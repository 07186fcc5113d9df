#include "job/RunHistory.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>
#include <zstd.h>

#include "filedeal/HexText.h"
#include "filedeal/PathNames.h"
#include "job/ByteDelta.h"
#include "job/ContentDigest.h"
#include "job/OrderedPool.h"

namespace norvik::job {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "norvik-history 1\n";
constexpr std::string_view kEntrySuffix = ".entry";
constexpr std::string_view kPackSuffix = ".pack";
constexpr std::string_view kUndoneSuffix = ".undone";
constexpr std::string_view kLockName = "lock";
/// How much of the pack and entry a run keeps back before writing it (see RunRecorder::bound).
constexpr std::size_t kMaxKept = std::size_t{1} << 20;
constexpr int kCompressionLevel = 1; // the fastest: a run with history must cost little more than one without

std::string Num(std::uint64_t value) {
    return std::to_string(value);
}

template <typename T> bool ParseNumber(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at <= line.size()) {
        const std::size_t space = line.find(' ', at);
        const std::size_t end = space == std::string_view::npos ? line.size() : space;
        fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

bool DecodePath(std::string_view hex, std::string& path) {
    if (hex.empty() || !filedeal::IsValidHex(hex)) {
        return false;
    }
    path = filedeal::HexToText(hex);
    return true;
}

// Creates every missing folder of `folder` (private to the user, as state folders are meant to be).
bool MakeFolders(const std::string& folder, int& err) {
    fs::path partial;
    for (const fs::path& part : fs::path(folder)) {
        partial /= part;
        if (part.empty() || part == "/") {
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            err = errno;
            return false;
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        err = ENOTDIR;
        return false;
    }
    return true;
}

bool WriteAt(int fd, std::uint64_t offset, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool ReadAt(int fd, std::uint64_t offset, std::string& out, std::size_t length) noexcept {
    out.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, out.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<settings::ReplaceMode> ModeOfWord(std::string_view word) {
    for (const auto mode :
         {settings::ReplaceMode::Normal, settings::ReplaceMode::Feature, settings::ReplaceMode::Extract}) {
        if (HistoryModeWord(mode) == word) {
            return mode;
        }
    }
    return std::nullopt;
}

/// Where a before-text lies: "-" for a file that did not exist, else "<digest>:<offset>:<length>:<size>"
/// in the entry's pack (the text itself), or the same and ":d" (how to make it from what the run wrote
/// to the file, see ByteDelta.h).
struct TextRef {
    bool absent = true;
    bool delta = false;
    std::string digest;
    std::uint64_t offset = 0, length = 0, size = 0;
};

bool ParseRef(std::string_view text, TextRef& ref) {
    if (text == "-") {
        ref = {};
        return true;
    }
    const std::vector<std::string_view> parts = [&] {
        std::vector<std::string_view> out;
        std::size_t at = 0;
        while (at <= text.size()) {
            const std::size_t colon = text.find(':', at);
            const std::size_t end = colon == std::string_view::npos ? text.size() : colon;
            out.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        return out;
    }();
    if ((parts.size() != 4 && (parts.size() != 5 || parts[4] != "d")) || !IsContentDigest(parts[0])) {
        return false;
    }
    ref.absent = false;
    ref.delta = parts.size() == 5;
    ref.digest = std::string(parts[0]);
    return ParseNumber(parts[1], ref.offset) && ParseNumber(parts[2], ref.length) && ParseNumber(parts[3], ref.size);
}

/// One file of an entry: what it held before the run and the digest of what the run wrote.
struct FileRecord {
    std::string path;
    TextRef before;
    std::string after;
    bool written = false;
};

struct ParsedEntry {
    HistoryRun run;
    std::vector<FileRecord> files;
};

/// Reads an entry; nullopt with `problem` set when it is damaged. A last line without its line end
/// (a write cut short) is not part of the entry.
std::optional<ParsedEntry> ParseEntry(const std::string& bytes, const std::string& id, std::string& problem) {
    if (!bytes.starts_with(kMagic)) {
        problem = "not a history entry";
        return std::nullopt;
    }
    ParsedEntry entry;
    entry.run.id = id;
    std::unordered_map<std::string, std::size_t> indexOf;
    std::size_t at = kMagic.size();
    unsigned lineNumber = 1;
    bool sawId = false;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) {
            break; // cut short
        }
        ++lineNumber;
        const std::string_view line(bytes.data() + at, end - at);
        at = end + 1;
        const std::vector<std::string_view> f = Fields(line);
        const std::string_view key = f[0];
        bool ok = true;
        if (key == "id") {
            ok = f.size() == 2 && f[1] == id;
            sawId = ok;
        } else if (key == "time") {
            ok = f.size() == 2 && ParseNumber(f[1], entry.run.time);
        } else if (key == "mode") {
            const auto mode = f.size() == 3 ? ModeOfWord(f[1]) : std::nullopt;
            ok = mode.has_value() && (f[2] == "0" || f[2] == "1");
            if (ok) {
                entry.run.description.mode = *mode;
                entry.run.description.toFolder = f[2] == "1";
            }
        } else if (key == "rules") {
            ok = f.size() == 3 && ParseNumber(f[1], entry.run.description.ruleCount) &&
                 (f[2] == "-" || filedeal::IsValidHex(f[2]));
            if (ok && f[2] != "-") {
                entry.run.description.rules = filedeal::HexToText(f[2]);
            }
        } else if (key == "target") {
            std::string target;
            ok = f.size() == 2 && DecodePath(f[1], target);
            entry.run.description.targets.push_back(std::move(target));
        } else if (key == "B") {
            FileRecord record;
            ok = f.size() == 4 && DecodePath(f[1], record.path) && ParseRef(f[2], record.before) &&
                 IsContentDigest(f[3]);
            if (ok) {
                record.after = std::string(f[3]);
                indexOf[record.path] = entry.files.size();
                entry.files.push_back(std::move(record));
            }
        } else if (key == "W") {
            std::string path;
            ok = f.size() == 2 && DecodePath(f[1], path) && indexOf.contains(path);
            if (ok && !entry.files[indexOf[path]].written) {
                entry.files[indexOf[path]].written = true;
                ++entry.run.written;
            }
        } else if (key == "end") {
            RunCounters& c = entry.run.counters;
            ok = f.size() == 7 && ParseNumber(f[1], c.collected) && ParseNumber(f[2], c.changed) &&
                 ParseNumber(f[3], c.successes) && ParseNumber(f[4], c.failures) && ParseNumber(f[5], c.missing) &&
                 (f[6] == "0" || f[6] == "1");
            entry.run.complete = ok;
            entry.run.stopped = ok && f[6] == "1";
        } else {
            ok = false;
        }
        if (!ok) {
            problem = "line " + std::to_string(lineNumber) + " cannot be read";
            return std::nullopt;
        }
    }
    if (!sawId) {
        problem = "it names no run";
        return std::nullopt;
    }
    return entry;
}

std::optional<std::string> ReadEntryBytes(const std::string& path) {
    try {
        // An entry names every file of its run: it may be far larger than a rule file.
        return filedeal::ReadRegularFileBytes(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

/// The ids of the entries in `folder`, oldest first (ids sort by time).
std::vector<std::string> EntryIds(const std::string& folder) {
    std::vector<std::string> ids;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.ends_with(kEntrySuffix) && name.front() != '.') {
            ids.push_back(name.substr(0, name.size() - kEntrySuffix.size()));
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

/// The path as an absolute name (links not followed), so that a run can be undone from any folder.
/// `cwd` is the working folder ending with '/' (looked up once a run).
std::string AbsoluteName(const std::string& path, const std::string& cwd) {
    if (path.starts_with('/') || cwd.empty()) {
        return path;
    }
    // Only a name with "." or ".." parts needs the (slow) normal form.
    const bool plain = !path.starts_with('.') && path.find("/.") == std::string::npos;
    return plain ? cwd + path : fs::path(cwd + path).lexically_normal().string();
}

std::string WorkingFolder() {
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string() : filedeal::WithTrailingSlash(cwd.string());
}

/// Reads a whole regular file; its stamp, taken on the open file, goes to `stamp`. False when nothing
/// is there; throws when it cannot be read (or is no regular file).
bool ReadWholeFile(const std::string& path, std::string& bytes, filedeal::FileStamp& stamp) {
    try {
        bytes = filedeal::ReadRegularFileBytes(path, &stamp);
        return true;
    } catch (const filedeal::FileOpenError&) {
        filedeal::FileStamp there;
        if (!filedeal::StampOf(path, there) && errno == ENOENT) {
            return false;
        }
        throw;
    }
}

bool PathIsThereQuietly(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::uint64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

/// A new id: the time in UTC to the microsecond, so that ids sort as the runs started.
std::string NewId(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() % 1000000;
    char tail[16];
    std::snprintf(tail, sizeof tail, "-%06lld", static_cast<long long>(micros));
    return std::string(text) + tail;
}

/// Reads back one before-text from a pack and checks it against its digest; `now` is what the file
/// holds (what the run wrote, checked), for a text kept as the way back from it.
std::optional<std::string> LoadText(int packFd, const TextRef& ref, ZSTD_DCtx* context, std::string_view now) {
    std::string compressed;
    if (packFd < 0 || ref.length > (std::uint64_t{1} << 40) || !ReadAt(packFd, ref.offset, compressed, ref.length)) {
        return std::nullopt;
    }
    const unsigned long long size = ZSTD_getFrameContentSize(compressed.data(), compressed.size());
    // A script is at most a few bytes a step longer than the text it makes.
    const std::uint64_t most = ref.delta ? 2 * ref.size + 64 : ref.size;
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN || size > most ||
        (!ref.delta && size != ref.size) || ref.size > std::string().max_size()) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    // One context for every text of a restore: making one a text costs more than the text.
    const std::size_t got =
        context != nullptr
            ? ZSTD_decompressDCtx(context, text.data(), text.size(), compressed.data(), compressed.size())
            : ZSTD_decompress(text.data(), text.size(), compressed.data(), compressed.size());
    if (ZSTD_isError(got) || got != text.size()) {
        return std::nullopt;
    }
    if (ref.delta) {
        std::optional<std::string> made = ApplyByteDelta(text, now, static_cast<std::size_t>(ref.size));
        if (!made) {
            return std::nullopt;
        }
        text = std::move(*made);
    }
    if (ContentDigest(text) != ref.digest) {
        return std::nullopt;
    }
    return text;
}

/// Holds the history's lock file open with a flock of the given kind; released when destroyed.
class HistoryLock {
public:
    HistoryLock(const std::string& folder, int operation) noexcept {
        m_fd = ::open((folder + std::string(kLockName)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0 && ::flock(m_fd, operation) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~HistoryLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    HistoryLock(const HistoryLock&) = delete;
    HistoryLock& operator=(const HistoryLock&) = delete;
    [[nodiscard]] bool held() const noexcept { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace

std::string_view HistoryModeWord(settings::ReplaceMode mode) noexcept {
    switch (mode) {
    case settings::ReplaceMode::Feature:
        return "feature";
    case settings::ReplaceMode::Extract:
        return "extract";
    case settings::ReplaceMode::Normal:
        break;
    }
    return "replace";
}

std::string HistoryLineText(const HistoryRun& run) {
    const std::time_t seconds = static_cast<std::time_t>(run.time);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = run.id + " " + when + " " + std::string(HistoryModeWord(run.description.mode));
    if (run.complete) {
        line += " collected=" + Num(run.counters.collected) + " written=" + Num(run.counters.successes) +
                " failed=" + Num(run.counters.failures) + (run.stopped ? " stopped" : "");
    } else {
        line += " written=" + Num(run.written) + " incomplete";
    }
    line += " files=" + Num(run.written);
    if (run.undone) {
        line += " undone";
    }
    if (!run.description.targets.empty()) {
        line += " " + run.description.targets.front();
    }
    return line;
}

// --- RunHistory ------------------------------------------------------------------------------------

RunHistory::RunHistory(std::string folder, HistoryLimits limits)
    : m_folder(filedeal::WithTrailingSlash(std::move(folder))), m_limits(limits) {}

HistoryListing RunHistory::list() const {
    HistoryListing listing;
    for (const std::string& id : EntryIds(m_folder)) {
        const std::string path = m_folder + id + std::string(kEntrySuffix);
        const std::optional<std::string> bytes = ReadEntryBytes(path);
        std::string problem = "it cannot be read";
        std::optional<ParsedEntry> entry = bytes ? ParseEntry(*bytes, id, problem) : std::nullopt;
        if (!entry) {
            listing.problems.push_back("history entry " + path + " is damaged: " + problem);
            continue;
        }
        entry->run.bytes = bytes->size() + SizeOf(m_folder + id + std::string(kPackSuffix));
        entry->run.undone = PathIsThereQuietly(m_folder + id + std::string(kUndoneSuffix));
        listing.runs.push_back(std::move(entry->run));
    }
    std::reverse(listing.runs.begin(), listing.runs.end());
    return listing;
}

namespace {

/// What a look at one file of a run says a restore must do with it.
struct RestoreVerdict {
    enum class Act : std::uint8_t { Refuse, Unchanged, Remove, Rewrite } act = Act::Refuse;
    FailureReason reason{};    ///< Refuse: why
    filedeal::FileStamp stamp; ///< the file as it was looked at (Remove, Rewrite)
    std::string before;        ///< Rewrite: the bytes it had before the run, read back and checked
    bool deferred = false;     ///< not looked at yet: the restore looks at it when its turn comes
};

/// Looks at one file of a run: whether it still holds what the run wrote (by digest), and if so reads
/// back what it held before. Touches nothing, so it runs on any thread.
RestoreVerdict JudgeForRestore(const FileRecord& file, int packFd) {
    RestoreVerdict verdict;
    const auto refuse = [&verdict](FailureReason reason) {
        verdict.act = RestoreVerdict::Act::Refuse;
        verdict.reason = reason;
        return std::move(verdict);
    };
    std::string now;
    bool there = false;
    try {
        there = ReadWholeFile(file.path, now, verdict.stamp);
    } catch (const std::exception&) {
        return refuse(filedeal::FileExists(file.path) ? FailureReason::Unreadable : FailureReason::NotAFile);
    }
    if (!there) {
        if (!file.before.absent) {
            return refuse(FailureReason::MissingSinceRun);
        }
        verdict.act = RestoreVerdict::Act::Unchanged; // the run never got to create it, or it is gone as it should be
        return verdict;
    }
    const std::string digest = ContentDigest(now);
    if (!file.before.delta || digest != file.after) {
        std::string().swap(now); // only a way back from it needs it
    }
    if (digest != file.after) {
        if (file.before.absent || digest != file.before.digest) {
            return refuse(FailureReason::ChangedSinceRun);
        }
        verdict.act = RestoreVerdict::Act::Unchanged; // the write failed, or the file was put back already
        return verdict;
    }
    if (file.before.absent) {
        // A file the run created is removed whatever its bits (a backup has its source's).
        verdict.act = RestoreVerdict::Act::Remove;
        return verdict;
    }
    // One it replaced must be changeable as before: a read-only one keeps what it holds.
    if ((verdict.stamp.mode & S_IWUSR) == 0) {
        return refuse(FailureReason::ReadOnly);
    }
    // One context a thread for every text of a restore: making one a text costs more than the text.
    struct Context {
        ZSTD_DCtx* context = ZSTD_createDCtx();
        ~Context() { ZSTD_freeDCtx(context); }
    };
    thread_local const Context local;
    std::optional<std::string> before = LoadText(packFd, file.before, local.context, now);
    if (!before) {
        return refuse(FailureReason::HistoryDamaged);
    }
    verdict.act = RestoreVerdict::Act::Rewrite;
    verdict.before = std::move(*before);
    return verdict;
}

} // namespace

RestoreRunResult RunHistory::restore(std::string_view id, JobObserver& observer) const {
    RestoreRunResult result;
    const std::string name(id);
    const std::string entryPath = m_folder + name + std::string(kEntrySuffix);
    // An id is a name in the folder, never a path leading out of it.
    if (name.empty() || name.find('/') != std::string::npos || name.front() == '.' ||
        !filedeal::FileExists(entryPath)) {
        result.status = RestoreRunStatus::UnknownRun;
        result.message = "no run '" + name + "' in the history " + m_folder;
        return result;
    }
    const HistoryLock lock(m_folder, LOCK_SH); // the retention never removes it meanwhile
    const std::optional<std::string> bytes = ReadEntryBytes(entryPath);
    std::string problem = "it cannot be read";
    const std::optional<ParsedEntry> entry = bytes ? ParseEntry(*bytes, name, problem) : std::nullopt;
    if (!entry) {
        result.status = RestoreRunStatus::Damaged;
        result.message = "history entry " + entryPath + " is damaged: " + problem;
        return result;
    }
    const std::string packPath = m_folder + name + std::string(kPackSuffix);
    const int packFd = ::open(packPath.c_str(), O_RDONLY | O_CLOEXEC);
    auto refuse = [&](const std::string& path, FailureReason reason) {
        ++result.failed;
        observer.failure({path, path, reason});
    };
    // Last written first, and the backups the run made after all the files: a backup is removed only
    // once the file it keeps is as before; the backup of a file that stays as it is stays too.
    std::unordered_map<std::string, const FileRecord*> backupOf;
    std::vector<const FileRecord*> order;
    std::unordered_map<std::string, unsigned> timesRecorded;
    for (const FileRecord& file : entry->files) {
        ++timesRecorded[file.path];
    }
    for (auto it = entry->files.rbegin(); it != entry->files.rend(); ++it) {
        const std::string& path = it->path;
        const bool isBackup =
            it->before.absent && path.ends_with(".bak") && timesRecorded.contains(path.substr(0, path.size() - 4));
        if (isBackup) {
            backupOf[path.substr(0, path.size() - 4)] = &*it;
        } else {
            order.push_back(&*it);
        }
    }
    const std::size_t sources = order.size();
    for (const auto& [source, backup] : backupOf) {
        order.push_back(backup);
    }
    // Workers look at the next files (read, digest, read back the old text) while this thread writes
    // the one in hand. A file recorded twice is looked at only when its turn comes, after its later
    // record was put back.
    // A worker takes a group of files at a time: a hand-over costs more than looking at a small file.
    constexpr std::size_t kGroup = 32;
    const auto judge = [&](std::size_t i) {
        RestoreVerdict verdict;
        if (timesRecorded.at(order[i]->path) > 1) {
            verdict.deferred = true;
            return verdict;
        }
        try {
            return JudgeForRestore(*order[i], packFd);
        } catch (const std::bad_alloc&) {
            verdict.reason = FailureReason::OutOfMemory; // its old text is too large for the memory left
        } catch (const std::exception&) {
            verdict.reason = FailureReason::Unreadable;
        }
        return verdict;
    };
    const unsigned workers = WorkerCount(0);
    OrderedPool<std::vector<RestoreVerdict>> pool(
        (order.size() + kGroup - 1) / kGroup, workers, std::max<std::size_t>(4, std::size_t{2} * workers),
        std::size_t{16} << 20,
        [&](std::size_t g) {
            std::vector<RestoreVerdict> verdicts;
            for (std::size_t i = g * kGroup; i < std::min(order.size(), (g + 1) * kGroup); ++i) {
                verdicts.push_back(judge(i));
            }
            return verdicts;
        },
        [](const std::vector<RestoreVerdict>& verdicts) {
            std::size_t held = 0;
            for (const RestoreVerdict& verdict : verdicts) {
                held += verdict.before.size() + 256;
            }
            return held;
        });
    std::vector<RestoreVerdict> group; // the verdicts of the files from `groupStart` on
    std::size_t groupStart = 0;
    // Rewrites are staged and made durable in batches (one sync for many files) before they replace
    // anything, as a run commits its writes.
    struct Staged {
        const FileRecord* file;
        filedeal::FileStamp stamp;
        filedeal::StagedFile staged;
    };
    std::vector<Staged> batch;
    std::unordered_set<std::string> renamedIn;
    std::unordered_map<std::string, bool> refused; // whether each path looked at so far was refused
    const auto flush = [&] {
        std::vector<const filedeal::StagedFile*> staged;
        for (const Staged& item : batch) {
            staged.push_back(&item.staged);
        }
        const bool synced = staged.empty() || filedeal::SyncWrittenData(staged);
        for (Staged& item : batch) {
            const std::string& path = item.file->path;
            const std::string folder = item.staged.folder();
            if (synced && item.staged.place()) {
                ++result.restored;
                observer.resultLine(path);
                renamedIn.insert(folder);
                continue;
            }
            item.staged = {};
            filedeal::FileStamp again;
            const bool changed = filedeal::StampOf(path, again) && !again.sameContent(item.stamp);
            refuse(path, changed ? FailureReason::ChangedSinceRun : FailureReason::WriteFailed);
            refused[path] = true;
        }
        batch.clear();
    };
    constexpr std::size_t kBatchFiles = 128;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const FileRecord& file = *order[i];
        observer.yield();
        if (i == sources) {
            flush(); // every file is in place before the first backup goes
        }
        if (i >= groupStart + group.size()) {
            groupStart = i;
            std::optional<std::vector<RestoreVerdict>> next;
            try {
                next = pool.take();
            } catch (const std::bad_alloc&) {
                next.emplace(std::min(kGroup, order.size() - i)); // each of them refused for want of memory
                for (RestoreVerdict& verdict : *next) {
                    verdict.reason = FailureReason::OutOfMemory;
                }
            }
            if (!next || next->empty()) {
                break;
            }
            group = std::move(*next);
        }
        std::optional<RestoreVerdict> taken = std::move(group[i - groupStart]);
        if (const auto source =
                refused.find(file.path.ends_with(".bak") ? file.path.substr(0, file.path.size() - 4) : std::string());
            source != refused.end() && source->second) {
            continue; // its file was not put back: the backup may be the only copy of its old text
        }
        if (taken->deferred) {
            flush(); // its later record is in place first
            taken = JudgeForRestore(file, packFd);
        }
        RestoreVerdict& verdict = *taken;
        bool failed = false;
        switch (verdict.act) {
        case RestoreVerdict::Act::Refuse:
            refuse(file.path, verdict.reason);
            failed = true;
            break;
        case RestoreVerdict::Act::Unchanged:
            ++result.unchanged;
            break;
        case RestoreVerdict::Act::Remove: {
            filedeal::FileStamp again;
            if (!filedeal::StampOf(file.path, again) || !again.sameContent(verdict.stamp)) {
                refuse(file.path, FailureReason::ChangedSinceRun);
                failed = true;
            } else if (::unlink(file.path.c_str()) != 0) {
                refuse(file.path, FailureReason::WriteFailed);
                failed = true;
            } else {
                ++result.restored;
                observer.resultLine(file.path);
            }
            break;
        }
        case RestoreVerdict::Act::Rewrite: {
            filedeal::AtomicWrite how;
            how.unchangedSince = &verdict.stamp; // an edit made since it was judged is not overwritten
            Staged item{&file, verdict.stamp, {}};
            if (!item.staged.stage(file.path, verdict.before, how)) {
                filedeal::FileStamp again;
                const bool changed = filedeal::StampOf(file.path, again) && !again.sameContent(verdict.stamp);
                refuse(file.path, changed ? FailureReason::ChangedSinceRun : FailureReason::WriteFailed);
                failed = true;
                break;
            }
            batch.push_back(std::move(item));
            if (batch.size() >= kBatchFiles) {
                flush();
            }
            break;
        }
        }
        if (!refused.contains(file.path) || !refused[file.path]) {
            refused[file.path] = failed;
        }
    }
    pool.cancel();
    flush();
    for (const std::string& folder : renamedIn) {
        static_cast<void>(filedeal::SyncFolder(folder)); // the renames are done either way
    }
    if (packFd >= 0) {
        ::close(packFd);
    }
    if (result.failed == 0) {
        const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        if (!filedeal::WriteFileAtomic(m_folder + name + std::string(kUndoneSuffix),
                                       "undone " + Num(static_cast<std::uint64_t>(now)) + "\n")) {
            result.message =
                "the run was undone, but the history " + m_folder + " could not mark it so: " + std::strerror(errno);
        }
    }
    return result;
}

std::size_t RunHistory::applyLimits() const {
    // Only when no run is recording: a run holds the lock shared from its start to its end.
    const HistoryLock lock(m_folder, LOCK_EX | LOCK_NB);
    if (!lock.held()) {
        return 0;
    }
    std::vector<std::string> ids = EntryIds(m_folder);
    std::vector<std::uint64_t> sizes;
    std::uint64_t total = 0;
    for (const std::string& id : ids) {
        sizes.push_back(SizeOf(m_folder + id + std::string(kEntrySuffix)) +
                        SizeOf(m_folder + id + std::string(kPackSuffix)));
        total += sizes.back();
    }
    std::size_t removed = 0;
    const std::size_t maxRuns = std::max<std::size_t>(m_limits.maxRuns, 1);
    while (ids.size() - removed > 1 && (ids.size() - removed > maxRuns || total > m_limits.maxBytes)) {
        const std::string& id = ids[removed];
        // The entry first: a pack without its entry is never read, an entry without its pack would be.
        if (::unlink((m_folder + id + std::string(kEntrySuffix)).c_str()) != 0 && errno != ENOENT) {
            break;
        }
        static_cast<void>(::unlink((m_folder + id + std::string(kPackSuffix)).c_str()));
        static_cast<void>(::unlink((m_folder + id + std::string(kUndoneSuffix)).c_str()));
        total -= sizes[removed];
        ++removed;
    }
    // Temporaries of entries whose run died before renaming them into place.
    std::error_code ec;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(".entry-")) {
            static_cast<void>(::unlink(it->path().c_str()));
        }
        // Marks of runs whose entry is gone (removed by a version that kept no marks).
        if (name.ends_with(kUndoneSuffix) &&
            !PathIsThereQuietly(m_folder + name.substr(0, name.size() - kUndoneSuffix.size()) +
                                std::string(kEntrySuffix))) {
            static_cast<void>(::unlink(it->path().c_str()));
        }
    }
    return removed;
}

// --- RunRecorder -----------------------------------------------------------------------------------

struct RunRecorder::StoredText {
    std::string ref;
};

RunRecorder::RunRecorder(const RunHistory& history) : m_history(history) {}

RunRecorder::~RunRecorder() {
    close();
}

void RunRecorder::close() noexcept {
    for (int* fd : {&m_entryFd, &m_packFd, &m_lockFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

std::string RunRecorder::prepare() {
    const std::string& folder = m_history.folder();
    int err = 0;
    const auto problem = [&folder](int error) {
        return "无法写入运行历史文件夹\"" + folder + "\":" + std::strerror(error) + ",替换没有开始";
    };
    if (!MakeFolders(folder, err)) {
        return problem(err);
    }
    m_lockFd = ::open((folder + std::string(kLockName)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        return problem(errno);
    }
    if (::flock(m_lockFd, LOCK_SH) != 0) {
        return problem(errno);
    }
    m_cwd = WorkingFolder();
    // A file must be creatable there (a folder of another user, a read-only file system say no).
    std::string probe = folder + ".entry-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        return problem(errno);
    }
    ::close(fd);
    static_cast<void>(::unlink(probe.c_str()));
    return {};
}

void RunRecorder::describe(const RunDescription& description) {
    m_description = description;
}

bool RunRecorder::append(int fd, std::uint64_t& end, std::string_view bytes) {
    if (m_broken || fd < 0) {
        return false;
    }
    if (!WriteAt(fd, end, bytes)) {
        // A record cut short is cut off, so that the next one starts a line; either way nothing more is
        // recorded and no further file is written.
        static_cast<void>(::ftruncate(fd, static_cast<off_t>(end)));
        m_broken = true;
        return false;
    }
    end += bytes.size();
    return true;
}

bool RunRecorder::flush() {
    if (!append(m_entryFd, m_entryEnd, m_pending)) {
        return false;
    }
    m_pending.clear();
    return true;
}

bool RunRecorder::writeOut() {
    if (m_entryFd < 0) {
        return !m_broken; // nothing recorded yet
    }
    // The texts first: a record never names bytes the pack does not hold.
    if (!m_packPending.empty()) {
        if (!append(m_packFd, m_packEnd, m_packPending)) {
            return false;
        }
        m_packPending.clear();
    }
    return flush();
}

bool RunRecorder::bound() {
    // Kept back, the records of a batch go out in two writes instead of several a file; a bound keeps
    // a batch of large texts from being held twice.
    return m_packPending.size() + m_pending.size() < kMaxKept || writeOut();
}

bool RunRecorder::openEntry() {
    if (m_entryFd >= 0) {
        return true;
    }
    if (m_broken || m_lockFd < 0) {
        return false;
    }
    const std::string& folder = m_history.folder();
    const auto now = std::chrono::system_clock::now();
    std::string header(kMagic);
    std::string temp = folder + ".entry-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        m_broken = true;
        return false;
    }
    // Ids of runs that start in the same microsecond differ by a later one; the entry appears whole
    // under its name, never half-written (a temporary renamed into place without replacing anything).
    for (auto at = now;; at += std::chrono::microseconds(1)) {
        const std::string id = NewId(at);
        header = std::string(kMagic) + "id " + id + "\ntime " +
                 Num(static_cast<std::uint64_t>(std::chrono::system_clock::to_time_t(now))) + "\nmode " +
                 std::string(HistoryModeWord(m_description.mode)) + (m_description.toFolder ? " 1" : " 0") +
                 "\nrules " + Num(m_description.ruleCount) + " " +
                 (m_description.rules.empty() ? std::string("-") : filedeal::TextToHex(m_description.rules)) + "\n";
        for (const std::string& target : m_description.targets) {
            if (!target.empty()) {
                header += "target " + filedeal::TextToHex(AbsoluteName(target, m_cwd)) + "\n";
            }
        }
        if (::ftruncate(fd, 0) != 0 || !WriteAt(fd, 0, header)) {
            break;
        }
        const std::string entry = folder + id + std::string(kEntrySuffix);
        const std::string pack = folder + id + std::string(kPackSuffix);
        if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, entry.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            break;
        }
        m_packFd = ::open(pack.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (m_packFd < 0) {
            static_cast<void>(::unlink(entry.c_str())); // an entry without its pack would be of no use
            ::close(fd);
            m_broken = true;
            return false;
        }
        m_id = id;
        m_entryFd = fd;
        m_entryEnd = header.size();
        return true;
    }
    ::close(fd);
    static_cast<void>(::unlink(temp.c_str()));
    m_broken = true;
    return false;
}

namespace {

/// Compresses one text as a frame of the pack, with the calling thread's context (a context costs
/// more to make than a small text to compress). Empty when the compression failed.
std::string CompressText(std::string_view text) {
    struct Context {
        ZSTD_CCtx* context = ZSTD_createCCtx();
        ~Context() { ZSTD_freeCCtx(context); }
    };
    thread_local const Context local;
    if (local.context == nullptr) {
        return {};
    }
    std::string compressed(ZSTD_compressBound(text.size()), '\0');
    const std::size_t size = ZSTD_compressCCtx(local.context, compressed.data(), compressed.size(), text.data(),
                                               text.size(), kCompressionLevel);
    if (ZSTD_isError(size)) {
        return {};
    }
    compressed.resize(size);
    return compressed;
}

} // namespace

PreparedBefore PrepareBefore(std::string_view before, std::string_view after) {
    PreparedBefore prepared;
    prepared.digest = ContentDigest(before);
    // The way back from what the run writes: a run changes a few places, so this is small and quick
    // to make where compressing the whole text would not be. A frame is never empty: empty says it
    // failed.
    prepared.compressed = CompressText(MakeByteDelta(before, after));
    prepared.size = before.size();
    prepared.afterDigest = ContentDigest(after);
    return prepared;
}

std::optional<RunRecorder::StoredText> RunRecorder::storeCompressed(std::string_view compressed, std::uint64_t size,
                                                                    const std::string& digest,
                                                                    const std::string& afterDigest) {
    // Each text once: a way back serves every file going from the same text to the same text.
    std::string key = digest + ">" + afterDigest;
    if (const auto found = m_stored.find(key); found != m_stored.end()) {
        return StoredText{found->second};
    }
    if (compressed.empty() || m_broken || m_packFd < 0) {
        return std::nullopt;
    }
    const std::uint64_t offset = m_packEnd + m_packPending.size();
    if (compressed.size() < kMaxKept) {
        m_packPending += compressed;
    } else {
        // A large text goes to the pack at once, after what was kept: it is not copied first.
        if (!m_packPending.empty() && !append(m_packFd, m_packEnd, m_packPending)) {
            return std::nullopt;
        }
        m_packPending.clear();
        if (!append(m_packFd, m_packEnd, compressed)) {
            return std::nullopt;
        }
    }
    std::string ref = digest + ":" + Num(offset) + ":" + Num(compressed.size()) + ":" + Num(size) + ":d";
    m_stored.emplace(std::move(key), ref);
    return StoredText{std::move(ref)};
}

bool RunRecorder::recordFile(const std::string& path, const std::string& ref, std::string_view afterDigest,
                             std::string beforeDigest) {
    m_lastName = AbsoluteName(path, m_cwd);
    m_lastHex = filedeal::TextToHex(m_lastName);
    m_lastBefore = std::move(beforeDigest);
    m_pending += "B ";
    m_pending += m_lastHex;
    m_pending += ' ';
    m_pending += ref;
    m_pending += ' ';
    m_pending += afterDigest;
    m_pending += '\n';
    return bound();
}

std::optional<FailureReason> RunRecorder::recordBefore(const std::string& path, const filedeal::FileStamp* read,
                                                       std::string_view bytes) {
    if (!openEntry() || m_broken) {
        return FailureReason::HistoryFailed;
    }
    std::string ref = "-";
    std::string beforeDigest;
    std::string before;
    filedeal::FileStamp stamp;
    bool there = false;
    try {
        there = ReadWholeFile(path, before, stamp);
    } catch (const std::exception&) {
        return filedeal::FileExists(path) ? FailureReason::Unreadable : FailureReason::NotAFile;
    }
    if (read != nullptr && (!there || !stamp.sameContent(*read))) {
        return FailureReason::ChangedSinceRead;
    }
    const std::string afterDigest = ContentDigest(bytes);
    if (there) {
        beforeDigest = ContentDigest(before);
        const std::optional<StoredText> stored =
            storeCompressed(CompressText(MakeByteDelta(before, bytes)), before.size(), beforeDigest, afterDigest);
        if (!stored) {
            return FailureReason::HistoryFailed;
        }
        ref = stored->ref;
    }
    if (!recordFile(path, ref, afterDigest, std::move(beforeDigest))) {
        return FailureReason::HistoryFailed;
    }
    return std::nullopt;
}

std::optional<FailureReason> RunRecorder::recordBefore(const std::string& path, const filedeal::FileStamp& read,
                                                       const PreparedBefore& before) {
    if (!openEntry() || m_broken) {
        return FailureReason::HistoryFailed;
    }
    // The worker's bytes are the file's as long as its stamp is the one they were read under: one
    // look at the file replaces reading it again.
    filedeal::FileStamp now;
    if (!filedeal::StampOf(path, now)) {
        return errno == ENOENT || errno == ENOTDIR ? FailureReason::ChangedSinceRead : FailureReason::Unreadable;
    }
    if (!S_ISREG(now.mode)) {
        return FailureReason::NotAFile;
    }
    if (!now.sameContent(read)) {
        return FailureReason::ChangedSinceRead;
    }
    const std::optional<StoredText> stored =
        storeCompressed(before.compressed, before.size, before.digest, before.afterDigest);
    if (!stored || !recordFile(path, stored->ref, before.afterDigest, before.digest)) {
        return FailureReason::HistoryFailed;
    }
    return std::nullopt;
}

std::optional<FailureReason> RunRecorder::recordCopy(const std::string& copy, const std::string& original) {
    if (!openEntry() || m_broken) {
        return FailureReason::HistoryFailed;
    }
    std::string digest;
    if (!m_lastBefore.empty() && AbsoluteName(original, m_cwd) == m_lastName) {
        digest = m_lastBefore; // the backup of the file just recorded
    } else {
        try {
            digest = ContentDigest(filedeal::ReadRegularFileBytes(original)); // a source that is not written
        } catch (const std::exception&) {
            return FailureReason::Unreadable;
        }
    }
    m_pending += "B " + filedeal::TextToHex(AbsoluteName(copy, m_cwd)) + " - " + digest + "\n";
    // A copy is made right after this, not with its batch: its record goes out first (and the records
    // kept before it; their texts follow with the batch, before any of their files is replaced).
    if (!flush()) {
        return FailureReason::HistoryFailed;
    }
    return std::nullopt;
}

void RunRecorder::recordWritten(const std::string& path) {
    // Only what a list shows: a record without it is judged by the file's bytes.
    const std::string name = AbsoluteName(path, m_cwd);
    m_pending += "W ";
    m_pending += name == m_lastName ? m_lastHex : filedeal::TextToHex(name);
    m_pending += '\n';
}

void RunRecorder::finish(const RunCounters& counters, bool stopped) {
    if (m_entryFd >= 0 && writeOut()) {
        static_cast<void>(append(m_entryFd, m_entryEnd,
                                 std::exchange(m_pending, std::string()) + "end " + Num(counters.collected) + " " +
                                     Num(counters.changed) + " " + Num(counters.successes) + " " +
                                     Num(counters.failures) + " " + Num(counters.missing) +
                                     (stopped ? " 1\n" : " 0\n")));
    }
    const bool recorded = !m_id.empty();
    close(); // the lock too, so that the retention may run
    if (recorded) {
        static_cast<void>(m_history.applyLimits());
    }
}

std::vector<std::string> RunRecorder::historyFiles() const {
    if (m_id.empty()) {
        return {};
    }
    const std::string& folder = m_history.folder();
    return {folder + m_id + std::string(kEntrySuffix), folder + m_id + std::string(kPackSuffix)};
}

bool RunRecorder::syncPending() const {
    bool ok = true;
    for (const int fd : {m_packFd, m_entryFd}) {
        if (fd >= 0 && ::fdatasync(fd) != 0) {
            ok = false;
        }
    }
    const int folder = ::open(m_history.folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::fsync(folder) != 0) {
        ok = false;
    }
    if (folder >= 0) {
        ::close(folder);
    }
    return ok;
}

} // namespace norvik::job
