#pragma once
// Reading text files in their own encoding into the working text, and writing them back.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace norvik::filedeal {

/// How a file is stored; picks the reader and the writer.
enum class EncodingKind : std::uint8_t {
    Unopenable = 0, ///< the file cannot be opened for reading
    Ansi = 1,       ///< no mark and not UTF-8: the working code page
    Utf16Le = 2,    ///< starts with FF FE
    Utf8Bom = 3,    ///< starts with EF BB BF
    Utf8 = 4,       ///< UTF-8 without a mark
};

/// True when the bytes have the structure of UTF-8 and at least one byte is 0x80 or above.
/// Pure ASCII (and the empty input) is not UTF-8. Overlong forms and surrogates are not checked.
[[nodiscard]] bool IsUtf8Text(const unsigned char* bytes, std::size_t count) noexcept;
[[nodiscard]] inline bool IsUtf8Text(std::string_view bytes) noexcept {
    return IsUtf8Text(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

/// Classifies a file's bytes: EF BB BF gives Utf8Bom, else FF FE gives Utf16Le, else IsUtf8Text
/// decides between Utf8 and Ansi. Never gives Unopenable.
[[nodiscard]] EncodingKind DetectEncodingOfBytes(std::string_view bytes) noexcept;

/// Classifies a file on disk; Unopenable when it cannot be opened or is no regular file (a folder,
/// a pipe, a device). Throws FileOpenError when the file opens but cannot be read whole.
[[nodiscard]] EncodingKind DetectEncoding(const std::filesystem::path& path);

/// Working text of bytes of each kind (the mark, where there is one, is part of `bytes`).
/// ANSI: split into lines at CR LF, lone CR and lone LF, every line followed by CR LF; zero bytes kept.
/// UTF-16LE: the mark is skipped, an odd last byte ignored, units converted with '?' substitution.
/// UTF-8: one- to three-byte forms decoded; a malformed sequence, a truncated one or any four-byte
/// form makes the whole text empty.
[[nodiscard]] std::string DecodeAnsi(std::string_view bytes);
/// The same, reusing the buffer when the bytes already end every line with CR LF (no copy).
[[nodiscard]] std::string DecodeAnsiBuffer(std::string&& bytes);
[[nodiscard]] std::string DecodeUtf16(std::string_view bytes);
[[nodiscard]] std::string DecodeUtf8(std::string_view bytes, bool withMark);
/// The working text of `bytes` read as `kind` (Unopenable gives the empty text). `exact`, when
/// given, tells what SurvivesRoundTrip(bytes, text, kind) would, found while decoding.
[[nodiscard]] std::string DecodeText(std::string_view bytes, EncodingKind kind, bool* exact = nullptr);

/// The file bytes for a working text written as `kind`. ANSI: every line ends with CR LF. UTF-16LE:
/// FF FE then the units. UTF-8: the mark for Utf8Bom, then each unit in one to three bytes.
/// `exact`, when given, is cleared when a byte sequence of the text has no character (it would be
/// written as a replacement character).
[[nodiscard]] std::string EncodeText(std::string_view text, EncodingKind kind, bool* exact = nullptr);

/// True when rewriting `text` as `kind` reproduces `original` exactly (for Unicode kinds: the text
/// survived the trip through the code page). ANSI always survives (only line breaks normalise).
[[nodiscard]] bool SurvivesRoundTrip(std::string_view original, std::string_view text, EncodingKind kind);

/// Path-based readers. Each throws FileOpenError when the file cannot be opened or read.
[[nodiscard]] std::string ReadAnsiText(const std::filesystem::path& path);
[[nodiscard]] std::string ReadUtf16Text(const std::filesystem::path& path);
[[nodiscard]] std::string ReadUtf8Text(const std::filesystem::path& path, bool withMark);

/// Path-based writers: replace the whole file atomically (see WriteFileAtomic); false on any
/// failure, including an existing read-only target. Never throw.
[[nodiscard]] bool WriteAnsiText(std::string_view text, const std::filesystem::path& path) noexcept;
[[nodiscard]] bool WriteUtf16Text(std::string_view text, const std::filesystem::path& path) noexcept;
[[nodiscard]] bool WriteUtf8Text(std::string_view text, const std::filesystem::path& path, bool withMark) noexcept;

} // namespace norvik::filedeal
