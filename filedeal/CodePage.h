#pragma once
// The working code page: 936 (GBK) with the Windows table. Every working text (file contents,
// rule texts) is a byte string in this code page; everything shown in the window is UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

namespace norvik::filedeal {

/// True for a byte that starts a double-byte character of the working code page (0x81-0xFE).
[[nodiscard]] constexpr bool IsLeadByte(unsigned char byte) noexcept {
    return byte >= 0x81 && byte <= 0xFE;
}

/// What a working text may hold. A Unicode file's text holds, besides the code page's characters,
/// every character the code page lacks as a four-byte code: lead byte, digit 30-39, lead byte, digit
/// (the code point numbered in that mixed radix, without a table). No character of the code page has
/// a trail byte 30-39, so no rule text of whole characters matches inside a code, the double-byte
/// boundary test sees two whole units, and case folding leaves codes alone.
enum class CharacterSet : std::uint8_t {
    CodePage, ///< a four-byte code is two byte pairs without a character
    Unicode,  ///< a four-byte code stands for its character
};

/// The largest code point a four-byte code may stand for (a larger number is no character).
inline constexpr char32_t kLargestCodePoint = 0x10FFFF;

/// True for a byte that a four-byte code has in its second and fourth place (the ASCII digits).
[[nodiscard]] constexpr bool IsCodeDigit(unsigned char byte) noexcept {
    return byte >= 0x30 && byte <= 0x39;
}

/// Writes the four-byte code of `codePoint` (at most kLargestCodePoint) at `out`; gives the new end.
inline char* PutFourByteCode(char* out, char32_t codePoint) noexcept {
    out[0] = static_cast<char>(0x81 + codePoint / 12600);
    out[1] = static_cast<char>(0x30 + codePoint / 1260 % 10);
    out[2] = static_cast<char>(0x81 + codePoint / 10 % 126);
    out[3] = static_cast<char>(0x30 + codePoint % 10);
    return out + 4;
}

/// The code point of the four bytes at `p` when they have the form of a four-byte code; else -1
/// (a number past kLargestCodePoint included).
[[nodiscard]] constexpr long FourByteCodeValue(const unsigned char* p) noexcept {
    if (!IsLeadByte(p[0]) || !IsCodeDigit(p[1]) || !IsLeadByte(p[2]) || !IsCodeDigit(p[3])) {
        return -1;
    }
    const long value = (p[0] - 0x81L) * 12600 + (p[1] - 0x30L) * 1260 + (p[2] - 0x81L) * 10 + (p[3] - 0x30L);
    return value <= static_cast<long>(kLargestCodePoint) ? value : -1;
}

/// True when every byte of `text` belongs to a character of the code page (the empty text
/// included): no byte pair without a character, no lone lead byte at the end, no four-byte code.
/// Only such a rule text can be applied to a text in the Unicode character set.
[[nodiscard]] bool IsWholeCharacters(std::string_view text);

/// Converts working text to UTF-16. Invalid or unassigned byte sequences become U+FFFD.
/// `exact`, when given, is set to false if any byte sequence did not map to a character.
/// Zero bytes convert to zero units; nothing is cut at a zero.
[[nodiscard]] std::u16string CodePageToUtf16(std::string_view text, bool* exact = nullptr);

/// Converts UTF-16 to working text. Characters the code page lacks (and lone surrogates) become '?'
/// (each unit of a surrogate pair one).
/// `exact`, when given, is set to false if any substitution happened.
[[nodiscard]] std::string Utf16ToCodePage(std::u16string_view units, bool* exact = nullptr);

/// The same, giving the units as little-endian bytes (two a unit) without building them first,
/// after `prefix` (a mark), which goes in front without a second copy.
[[nodiscard]] std::string CodePageToUtf16Le(std::string_view text, bool* exact = nullptr, std::string_view prefix = {});

/// Utf16ToCodePage of little-endian unit bytes; an odd last byte is ignored.
[[nodiscard]] std::string Utf16LeToCodePage(std::string_view bytes, bool* exact = nullptr);

/// Little-endian unit bytes to a working text in the Unicode character set, without loss: a
/// surrogate pair, a lone surrogate and every unit the code page lacks become four-byte codes
/// (`beyond` is set when there was one). An odd last byte is ignored.
[[nodiscard]] std::string Utf16LeToWorkingText(std::string_view bytes, bool* beyond = nullptr);

/// UTF-8 (as the window and the command line hold texts) to working text; '?' for what the code page
/// lacks, with `exact` cleared then. Invalid UTF-8 bytes count as inexact too.
[[nodiscard]] std::string Utf8ToCodePage(std::string_view utf8, bool* exact = nullptr);

/// Working text to UTF-8 for display; invalid sequences become U+FFFD (`exact` cleared). `prefix`
/// (a mark) goes in front.
[[nodiscard]] std::string CodePageToUtf8(std::string_view text, bool* exact = nullptr, std::string_view prefix = {});

/// CodePageToUtf16Le and CodePageToUtf8 of a text in `set`: in the Unicode set a four-byte code
/// becomes its character (a lone surrogate its unit, or its three-byte UTF-8 form).
[[nodiscard]] std::string WorkingTextToUtf16Le(std::string_view text, CharacterSet set, bool* exact = nullptr,
                                               std::string_view prefix = {});
[[nodiscard]] std::string WorkingTextToUtf8(std::string_view text, CharacterSet set, bool* exact = nullptr,
                                            std::string_view prefix = {});

/// Decodes UTF-8 straight into a working text in the Unicode character set: one- to four-byte forms
/// up to U+10FFFF (surrogates and overlong forms included); every character the code page lacks
/// becomes a four-byte code (`beyond` is set when there was one). False, with `out` unspecified, on
/// a stray continuation byte, a missing continuation byte, a truncated form, a longer form or a value
/// past U+10FFFF. `exact`, when given, tells whether encoding `out` again gives `utf8` back (every
/// form was the shortest one).
[[nodiscard]] bool DecodeUtf8ToWorkingText(std::string_view utf8, std::string& out, bool* exact = nullptr,
                                           bool* beyond = nullptr);

/// Upper-cases ASCII a-z in place, never touching either byte of a double-byte character.
/// The length in bytes never changes.
void UpperCaseAscii(std::string& text) noexcept;

} // namespace norvik::filedeal
