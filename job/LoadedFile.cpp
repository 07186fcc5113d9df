#include "job/LoadedFile.h"

#include <cerrno>
#include <sys/stat.h>

namespace norvik::job {

namespace {

/// What a failed stat() of a path says about the file. Nothing there (or a link that dangles or
/// loops) is a missing file; any other failure means the file could not be looked at.
LoadedFile::State StateAfterFailedStat(int err) noexcept {
    return err == ENOENT || err == ENOTDIR || err == ELOOP ? LoadedFile::State::Missing : LoadedFile::State::Unreadable;
}

} // namespace

bool IsBinary(std::string_view bytes, filedeal::EncodingKind kind) noexcept {
    if (kind != filedeal::EncodingKind::Ansi && kind != filedeal::EncodingKind::Utf8) {
        return false; // a marked Unicode file keeps its zeros as content
    }
    return bytes.substr(0, kBinaryProbeBytes).find('\0') != std::string_view::npos;
}

LoadedFile::State StampForLoad(const std::string& path, filedeal::FileStamp& stamp) {
    if (!filedeal::StampOf(path, stamp)) {
        return StateAfterFailedStat(errno);
    }
    return S_ISREG(stamp.mode) ? LoadedFile::State::Loaded : LoadedFile::State::Missing;
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
    const bool ansi = file.kind == filedeal::EncodingKind::Ansi;
    if (file.state != LoadedFile::State::Loaded) {
        return;
    }
    if (policy.filter != nullptr) {
        file.verdict = policy.filter->judge(file.bytes, file.kind);
        const auto decided = filedeal::RawVerdict::Holds;
        if (file.verdict == filedeal::RawVerdict::Lacks || (policy.filterDecides && file.verdict == decided)) {
            std::string().swap(file.bytes);
            return;
        }
    }
    if (ansi && policy.ansiAsBytes) {
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
    if (!policy.keepUnicodeBytes) {
        std::string().swap(file.bytes);
    }
}

LoadedFile LoadFile(const std::string& path, const LoadPolicy& policy) {
    filedeal::FileStamp stamp;
    if (const LoadedFile::State state = StampForLoad(path, stamp); state != LoadedFile::State::Loaded) {
        LoadedFile file;
        file.state = state;
        return file;
    }
    LoadedFile file = ReadUndecoded(path);
    DecodeLoaded(file, policy);
    return file;
}

} // namespace norvik::job
