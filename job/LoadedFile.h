#pragma once
// Loading one file for a job or a search: the encoding detected on the bytes read and the text decoded
// from them, keeping what the caller's policy asks for; with a filter, the bytes are judged in chunks
// as they are read and a file the verdict settles is never held whole.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "filedeal/FileOps.h"
#include "filedeal/ReplacePrefilter.h"
#include "filedeal/TextCodec.h"

namespace norvik::job {

/// One file as a job or a search reads it.
struct LoadedFile {
    enum class State : std::uint8_t {
        Missing,    ///< no regular file at the path
        Unreadable, ///< a regular file that could not be opened or read
        Loaded,
        Undecodable, ///< read, but UTF-8 (by its mark or its structure) that does not decode
    };
    State state = State::Missing;
    filedeal::EncodingKind kind = filedeal::EncodingKind::Unopenable;
    /// No Unicode mark and a zero byte within the first kBinaryProbeBytes: a program or other binary
    /// data, which a rewrite as text would destroy (its LF bytes would become CR LF).
    bool binary = false;
    std::string bytes;         ///< the file's bytes, where the policy keeps them
    std::string text;          ///< the working text, unless the policy keeps an ANSI file as bytes only
    filedeal::FileStamp stamp; ///< the file as the read found it (Loaded only)
    /// For a decoded Unicode file: writing the text back in its kind gives the bytes read again.
    bool exact = false;
    /// For a decoded Unicode file: the text holds characters beyond the code page, as four-byte
    /// codes; it is written back in the Unicode set and edited only by rules of whole characters.
    bool beyondCodePage = false;
    /// What the policy's filter made of the bytes; a file it decided is neither decoded nor kept.
    filedeal::RawVerdict verdict = filedeal::RawVerdict::Unknown;
};

/// How far into a file without a Unicode mark a zero byte makes it binary (the rule git and grep use).
inline constexpr std::size_t kBinaryProbeBytes = 8000;

/// True for the bytes of a binary file (see LoadedFile::binary).
[[nodiscard]] bool IsBinary(std::string_view bytes, filedeal::EncodingKind kind) noexcept;

/// What is kept of a loaded file.
struct LoadPolicy {
    /// An ANSI file keeps its bytes and is not decoded (its working text differs only in line breaks).
    bool ansiAsBytes = false;
    /// A Unicode file keeps its bytes beside its text (for the round-trip check before a write).
    bool keepUnicodeBytes = false;
    /// When set (it must outlive the loading), judges each file's bytes first: a file it rules out
    /// (Lacks) is not decoded, nor one it proves to hold the text (Holds) with `filterDecides`.
    const filedeal::RawTextFilter* filter = nullptr;
    bool filterDecides = false;
    /// A Unicode file keeps its bytes and is not decoded yet: FinishDecoding makes its text when the
    /// caller needs it (a replace in its own bytes may not).
    bool unicodeAsBytes = false;
    /// Every file the rules may change keeps its bytes beside its text, ANSI ones too (the old bytes
    /// of a file the run history records).
    bool keepBytes = false;
};

/// Loads a file now: Missing when the path is no regular file (nothing there, a folder, a special
/// file, a dangling or looping link), Unreadable when the read fails or the path cannot be looked at
/// (a folder on the way that cannot be entered: the file may well be there). The file is opened
/// without waiting (a FIFO never blocks) and only a regular file is read; the stamp is the open
/// file's, taken before the read. With a filter the file is read in chunks through a buffer of the
/// calling thread, judged as it comes, and read no further than the verdict needs; only a file the
/// verdict leaves open is held whole (read again from its start when it is larger than a chunk).
/// Safe to call on several threads at once.
[[nodiscard]] LoadedFile LoadFile(const std::string& path, const LoadPolicy& policy);

/// One whole read of the file and the detection on those bytes, the text not made yet: Loaded (bytes,
/// kind, binary and stamp set) or Unreadable. What LoadFile's chunked judgement must agree with.
[[nodiscard]] LoadedFile ReadUndecoded(const std::string& path);

/// Lets go of the file's bytes (their memory too).
void ReleaseBytes(LoadedFile& file);

/// Makes the text of a Loaded Unicode file that `policy` (with unicodeAsBytes) left undecoded, as
/// LoadFile without unicodeAsBytes would have made it (Undecodable when it does not decode); any
/// other file is left as it is.
void FinishDecoding(LoadedFile& file, const LoadPolicy& policy);

/// Makes the working text the policy asks for from a file whose bytes, kind and stamp are loaded, and
/// lets go of the bytes the policy does not keep; a file that is not Loaded is left as it is.
void DecodeLoaded(LoadedFile& file, const LoadPolicy& policy);

} // namespace norvik::job
