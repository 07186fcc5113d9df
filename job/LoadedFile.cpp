#include "job/LoadedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "filedeal/FileDescriptor.h"

namespace norvik::job {

namespace {

/// What a failed stat() of a path says about the file. Nothing there (or a link that dangles or
/// loops) is a missing file; any other failure means the file could not be looked at.
LoadedFile::State StateAfterFailedStat(int err) noexcept {
    return err == ENOENT || err == ENOTDIR || err == ELOOP ? LoadedFile::State::Missing : LoadedFile::State::Unreadable;
}

/// What a failed open() of a path says: as a failed stat() where it tells (nothing there); for any
/// other failure the path is looked at, since a special file that refuses to be opened is no regular
/// file (Missing), while a regular file that cannot be opened, or one behind a folder that cannot be
/// entered, is Unreadable.
LoadedFile::State StateAfterFailedOpen(const std::string& path, int err) noexcept {
    if (StateAfterFailedStat(err) == LoadedFile::State::Missing) {
        return LoadedFile::State::Missing;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return StateAfterFailedStat(errno);
    }
    return S_ISREG(st.st_mode) ? LoadedFile::State::Unreadable : LoadedFile::State::Missing;
}

/// Opens without waiting: a FIFO would block a plain open until a writer comes, and a terminal must
/// not become the program's own. Only a regular file is read after it.
filedeal::FileDescriptor OpenForLoad(const std::string& path) noexcept {
    return filedeal::FileDescriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
}

/// How much of a file is read and judged at a time.
constexpr std::size_t kChunkBytes = std::size_t{256} << 10;

/// This thread's chunk buffer, reused from file to file (never zero-filled, never given back): each
/// thread that loads files has its own, so loading is safe on several threads at once.
char* ChunkBuffer() {
    thread_local const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kChunkBytes);
    return buffer.get();
}

/// Reads up to `count` bytes at the file's position, fewer only at the end of the file; -1 when a
/// read fails.
ssize_t ReadUpTo(int fd, char* into, std::size_t count) noexcept {
    std::size_t have = 0;
    while (have < count) {
        const ssize_t n = ::read(fd, into + have, count - have);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        have += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(have);
}

/// Reads the whole file from its start: the size fstat gave, then whatever a growing file adds.
/// False when a read fails.
bool ReadWhole(int fd, std::uint64_t size, std::string& bytes) {
    bytes.clear();
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        return false;
    }
    // Room for a final CR LF, so a text made from these bytes can take one without moving.
    bytes.reserve(static_cast<std::size_t>(size) + 2);
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            // The read that meets the end goes to the chunk buffer, so that the file is not held a
            // second time only to learn that nothing follows.
            const ssize_t n = ReadUpTo(fd, ChunkBuffer(), kChunkBytes);
            if (n < 0) {
                return false;
            }
            bytes.append(ChunkBuffer(), static_cast<std::size_t>(n));
            have += static_cast<std::size_t>(n);
            if (static_cast<std::size_t>(n) < kChunkBytes) {
                return true;
            }
            continue;
        }
        const ssize_t n = ReadUpTo(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0) {
            return false;
        }
        have += static_cast<std::size_t>(n);
        if (have < bytes.size()) {
            bytes.resize(have); // the file shrank while it was read
            return true;
        }
    }
}

/// Makes the working text the policy asks for from a loaded file's bytes (its verdict given), and
/// lets go of the bytes the policy does not keep.
void MakeText(LoadedFile& file, const LoadPolicy& policy) {
    const bool ansi = file.kind == filedeal::EncodingKind::Ansi;
    if (ansi ? policy.ansiAsBytes : policy.unicodeAsBytes) {
        return;
    }
    if (ansi && policy.keepBytes) {
        file.text = filedeal::DecodeAnsi(file.bytes);
        return;
    }
    if (ansi) {
        // The bytes are not needed after decoding, and clean CR LF text is reused as it is.
        file.text = filedeal::DecodeAnsiBuffer(std::move(file.bytes));
        std::string().swap(file.bytes);
        return;
    }
    filedeal::TextFacts facts;
    file.text = filedeal::DecodeText(file.bytes, file.kind, &facts);
    file.exact = facts.exact;
    file.beyondCodePage = facts.beyondCodePage;
    if (!facts.decodes) {
        file.state = LoadedFile::State::Undecodable; // its empty text stands for nothing in the file
    }
    if (!policy.keepUnicodeBytes && !policy.keepBytes) {
        std::string().swap(file.bytes);
    }
}

/// True when the verdict settles the file for the policy: it is neither decoded nor kept.
bool Decides(filedeal::RawVerdict verdict, const LoadPolicy& policy) noexcept {
    return verdict == filedeal::RawVerdict::Lacks || (policy.filterDecides && verdict == filedeal::RawVerdict::Holds);
}

/// Reads an open regular file chunk by chunk, judging each chunk as it comes, and stops as soon as
/// the verdict is settled. Only a file the verdict leaves open is held whole: one that fits in a
/// chunk as it was read; a larger one read again from its start. Holding every large file while it
/// is judged, in case it changes, cost more (its memory paged in and cleared) than reading again the
/// part judged of the few that do.
void LoadJudged(int fd, LoadedFile& file, const LoadPolicy& policy) {
    filedeal::RawJudgement judgement(*policy.filter);
    char* const chunk = ChunkBuffer();
    std::uint64_t offset = 0;
    bool zeroInProbe = false;
    std::size_t last = 0; // bytes of the last chunk read
    bool atEnd = false;
    for (;;) {
        const char* piece = chunk;
        const ssize_t n = ReadUpTo(fd, chunk, kChunkBytes);
        if (n < 0) {
            file.state = LoadedFile::State::Unreadable;
            return;
        }
        last = static_cast<std::size_t>(n);
        const bool end = last < kChunkBytes;
        if (offset < kBinaryProbeBytes) {
            const std::size_t probe = std::min<std::size_t>(last, kBinaryProbeBytes - offset);
            zeroInProbe = zeroInProbe || std::memchr(piece, 0, probe) != nullptr;
        }
        judgement.feed(std::string_view(piece, last));
        offset += last;
        if (end) {
            judgement.finish();
            atEnd = true;
            break;
        }
        if (judgement.settled()) {
            break;
        }
    }
    file.state = LoadedFile::State::Loaded;
    const filedeal::RawVerdict verdict = judgement.verdict();
    file.kind = judgement.kind();
    file.binary =
        zeroInProbe && (file.kind == filedeal::EncodingKind::Ansi || file.kind == filedeal::EncodingKind::Utf8);
    if (Decides(verdict, policy)) {
        file.verdict = verdict;
        return;
    }
    if (atEnd && offset == last) {
        // The whole file is in the chunk, judged as it is.
        file.bytes.reserve(last + 2);
        file.bytes.assign(chunk, last);
        file.verdict = verdict;
        MakeText(file, policy);
        return;
    }
    if (!ReadWhole(fd, file.stamp.size, file.bytes)) {
        // The verdict needs the text: the whole file, read again from its start.
        std::string().swap(file.bytes);
        file.state = LoadedFile::State::Unreadable;
        return;
    }
    // Judged anew unless the first look already left it open (which holds for any bytes).
    file.kind = filedeal::DetectEncodingOfBytes(file.bytes);
    file.binary = IsBinary(file.bytes, file.kind);
    if (verdict == filedeal::RawVerdict::Unknown) {
        file.verdict = verdict;
        MakeText(file, policy);
        return;
    }
    DecodeLoaded(file, policy);
}

} // namespace

bool IsBinary(std::string_view bytes, filedeal::EncodingKind kind) noexcept {
    if (kind != filedeal::EncodingKind::Ansi && kind != filedeal::EncodingKind::Utf8) {
        return false; // a marked Unicode file keeps its zeros as content
    }
    return bytes.substr(0, kBinaryProbeBytes).find('\0') != std::string_view::npos;
}

LoadedFile ReadUndecoded(const std::string& path) {
    LoadedFile file;
    try {
        file.bytes = filedeal::ReadRegularFileBytes(path, &file.stamp);
    } catch (const filedeal::FileOpenError&) {
        file.state = LoadedFile::State::Unreadable;
        return file;
    }
    file.state = LoadedFile::State::Loaded;
    file.kind = filedeal::DetectEncodingOfBytes(file.bytes);
    file.binary = IsBinary(file.bytes, file.kind);
    return file;
}

void DecodeLoaded(LoadedFile& file, const LoadPolicy& policy) {
    if (file.state != LoadedFile::State::Loaded) {
        return;
    }
    if (policy.filter != nullptr) {
        file.verdict = policy.filter->judge(file.bytes, file.kind);
        if (Decides(file.verdict, policy)) {
            std::string().swap(file.bytes);
            return;
        }
    }
    MakeText(file, policy);
}

void ReleaseBytes(LoadedFile& file) {
    std::string().swap(file.bytes);
}

void FinishDecoding(LoadedFile& file, const LoadPolicy& policy) {
    if (file.state != LoadedFile::State::Loaded || !file.text.empty() || file.bytes.empty() ||
        file.kind == filedeal::EncodingKind::Ansi) {
        return;
    }
    LoadPolicy decode = policy;
    decode.unicodeAsBytes = false;
    MakeText(file, decode);
}

LoadedFile LoadFile(const std::string& path, const LoadPolicy& policy) {
    LoadedFile file;
    const filedeal::FileDescriptor fd = OpenForLoad(path);
    if (!fd.valid()) {
        file.state = StateAfterFailedOpen(path, errno);
        return file;
    }
    // The stamp describes the file that is read: taken on the open descriptor, before the read.
    if (!filedeal::StampOfOpenFile(fd.get(), file.stamp)) {
        file.state = LoadedFile::State::Unreadable;
        return file;
    }
    if (!S_ISREG(file.stamp.mode)) {
        file.stamp = {};
        file.state = LoadedFile::State::Missing;
        return file;
    }
    if (policy.filter != nullptr) {
        LoadJudged(fd.get(), file, policy);
        return file;
    }
    if (!ReadWhole(fd.get(), file.stamp.size, file.bytes)) {
        std::string().swap(file.bytes);
        file.state = LoadedFile::State::Unreadable;
        return file;
    }
    file.state = LoadedFile::State::Loaded;
    file.kind = filedeal::DetectEncodingOfBytes(file.bytes);
    file.binary = IsBinary(file.bytes, file.kind);
    MakeText(file, policy);
    return file;
}

} // namespace norvik::job
