#pragma once
// Reading text files in their own encoding into the working text, and writing them back.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "filedeal/CodePage.h"

namespace norvik::filedeal {

/// How a file is stored; picks the reader and the writer.
enum class EncodingKind : std::uint8_t {
    Unopenable = 0, ///< the file cannot be opened for reading
    Ansi = 1,       ///< no mark and not UTF-8: the working code page
    Utf16Le = 2,    ///< starts with FF FE
    Utf8Bom = 3,    ///< starts with EF BB BF
    Utf8 = 4,       ///< UTF-8 without a mark
};

namespace detail {
/// What Utf8Scan has found so far (its block loops share it).
struct Utf8ScanState {
    std::uint64_t carry[7] = {}; ///< lead masks of the previous block, for the bytes they announce in the next
    bool broken = false;
    bool high = false;
    bool maybeOverlong = false;
    bool mayNotDecode = false;
    bool f0Last = false; ///< the previous block ended with F0 (an overlong form if 80-8F comes next)
};
} // namespace detail

/// IsUtf8Text over bytes that come piece by piece: any split of the same bytes gives the same answer.
/// It can also watch for the UTF-8 forms that a look at the bytes without decoding cannot take at
/// face value (see RawTextFilter). Holds no pointer into the bytes; one object per file.
class Utf8Scan {
public:
    enum class Watch : std::uint8_t {
        Structure,         ///< the structure only; looks no further once it is broken
        StructureAndForms, ///< the structure and the forms; looks no further once the structure is broken
        Forms,             ///< the forms only, over every byte
    };
    /// How many bytes one step looks at: 32 where the processor has AVX2, else 16 (or one at a time
    /// without SSE2). Every width gives the same answers.
    enum class Width : std::uint8_t { Narrow, Wide };
    /// The widest this processor runs.
    [[nodiscard]] static Width widest() noexcept;

    explicit Utf8Scan(Watch watch = Watch::Structure, Width width = widest()) noexcept
        : m_watch(watch), m_width(width) {}

    /// The next bytes.
    void feed(const unsigned char* bytes, std::size_t count) noexcept;
    void feed(std::string_view bytes) noexcept {
        feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }
    /// After the last bytes: a form still open is cut off by the end.
    void finish() noexcept;

    /// The structure is broken: no further bytes make the whole UTF-8 (so far, until finish()).
    [[nodiscard]] bool broken() const noexcept { return m_state.broken; }
    /// After finish(): IsUtf8Text of everything fed.
    [[nodiscard]] bool isUtf8() const noexcept { return !m_state.broken && m_state.high; }
    /// A byte C0, C1 or E0, or F0 before 80-8F: the lead of a form that may be overlong (a character
    /// the bytes do not show).
    [[nodiscard]] bool maybeOverlong() const noexcept { return m_state.maybeOverlong; }
    /// A byte F4 or above: a form that may be past U+10FFFF or longer than four bytes.
    [[nodiscard]] bool mayNotDecode() const noexcept { return m_state.mayNotDecode; }

private:
    [[nodiscard]] bool stopped() const noexcept { return m_state.broken && m_watch != Watch::Forms; }
    void scanBlocks(const unsigned char* blocks, std::size_t count) noexcept;

    detail::Utf8ScanState m_state;
    unsigned char m_staged[64] = {}; ///< the start of a block of 64 whose end has not come yet
    std::size_t m_stagedCount = 0;
    Watch m_watch;
    Width m_width;
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
/// UTF-16LE: the mark is skipped, an odd last byte ignored; UTF-8: one- to four-byte forms up to
/// U+10FFFF. A Unicode text is in the Unicode character set: every character the code page lacks
/// (a surrogate pair, a lone surrogate) is a four-byte code, so nothing is lost. UTF-8 that does not
/// decode (a malformed, truncated or longer form, a value past U+10FFFF) gives the empty text.
[[nodiscard]] std::string DecodeAnsi(std::string_view bytes);
/// The same, reusing the buffer when the bytes already end every line with CR LF (no copy).
[[nodiscard]] std::string DecodeAnsiBuffer(std::string&& bytes);
[[nodiscard]] std::string DecodeUtf16(std::string_view bytes);
[[nodiscard]] std::string DecodeUtf8(std::string_view bytes, bool withMark);

/// What decoding found besides the text.
struct TextFacts {
    /// False for UTF-8 that does not decode: the text is empty and stands for nothing in the file.
    bool decodes = true;
    /// Writing the text back (EncodeText with `set()`) gives the bytes read; false for Unopenable,
    /// an odd UTF-16 byte, a missing mark, an overlong UTF-8 form. ANSI always survives (only line
    /// breaks normalise).
    bool exact = true;
    /// The text holds four-byte codes: characters beyond the code page.
    bool beyondCodePage = false;
    /// The character set to write the text back in: Unicode where the text holds codes, else the
    /// code page (where a code that a rule made is two byte pairs without a character, as ever).
    [[nodiscard]] CharacterSet set() const noexcept {
        return beyondCodePage ? CharacterSet::Unicode : CharacterSet::CodePage;
    }
};

/// The working text of `bytes` read as `kind` (Unopenable gives the empty text), and, in `facts`
/// when given, what SurvivesRoundTrip would tell and whether the text holds four-byte codes.
[[nodiscard]] std::string DecodeText(std::string_view bytes, EncodingKind kind, TextFacts* facts = nullptr);

/// A working text written as file bytes (EncodeText).
struct EncodedText {
    std::string bytes;
    /// False when a byte sequence of the text has no character: it is written as a replacement
    /// character, and the bytes do not give the text back.
    bool exact = true;
};

/// The file bytes for a working text written as `kind`. ANSI: every line ends with CR LF (always
/// exact). UTF-16LE: FF FE then the units. UTF-8: the mark for Utf8Bom, then each character in one to
/// four bytes. In the Unicode set a four-byte code is written as its character. Unopenable gives no
/// bytes.
[[nodiscard]] EncodedText EncodeText(std::string_view text, EncodingKind kind,
                                     CharacterSet set = CharacterSet::CodePage);

/// EncodeText giving up the text: an ANSI text whose lines all end with CR LF already is its own
/// bytes, reused without a copy.
[[nodiscard]] EncodedText EncodeTextBuffer(std::string&& text, EncodingKind kind,
                                           CharacterSet set = CharacterSet::CodePage);

/// True when rewriting `text` as `kind` in `set` reproduces `original` exactly (for Unicode kinds:
/// the text survived the trip through the working text). ANSI always survives (only line breaks
/// normalise).
[[nodiscard]] bool SurvivesRoundTrip(std::string_view original, std::string_view text, EncodingKind kind,
                                     CharacterSet set = CharacterSet::CodePage);

} // namespace norvik::filedeal
