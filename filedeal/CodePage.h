#pragma once
// The working code page: 936 (GBK) with the Windows table. Every working text (file contents,
// rule texts) is a byte string in this code page; everything shown in the window is UTF-8.
#include <string>
#include <string_view>

namespace norvik::filedeal {

/// True for a byte that starts a double-byte character of the working code page (0x81-0xFE).
[[nodiscard]] constexpr bool IsLeadByte(unsigned char byte) noexcept {
    return byte >= 0x81 && byte <= 0xFE;
}

/// Converts working text to UTF-16. Invalid or unassigned byte sequences become U+FFFD.
/// `exact`, when given, is set to false if any byte sequence did not map to a character.
/// Zero bytes convert to zero units; nothing is cut at a zero.
[[nodiscard]] std::u16string CodePageToUtf16(std::string_view text, bool* exact = nullptr);

/// Converts UTF-16 to working text. Characters the code page lacks (and lone surrogates) become '?'.
/// `exact`, when given, is set to false if any substitution happened.
[[nodiscard]] std::string Utf16ToCodePage(std::u16string_view units, bool* exact = nullptr);

/// The same, giving the units as little-endian bytes (two a unit) without building them first,
/// after `prefix` (a mark), which goes in front without a second copy.
[[nodiscard]] std::string CodePageToUtf16Le(std::string_view text, bool* exact = nullptr, std::string_view prefix = {});

/// Utf16ToCodePage of little-endian unit bytes; an odd last byte is ignored.
[[nodiscard]] std::string Utf16LeToCodePage(std::string_view bytes, bool* exact = nullptr);

/// UTF-8 (as the window and the command line hold texts) to working text; '?' for what the code page
/// lacks, with `exact` cleared then. Invalid UTF-8 bytes count as inexact too.
[[nodiscard]] std::string Utf8ToCodePage(std::string_view utf8, bool* exact = nullptr);

/// Working text to UTF-8 for display; invalid sequences become U+FFFD (`exact` cleared). `prefix`
/// (a mark) goes in front.
[[nodiscard]] std::string CodePageToUtf8(std::string_view text, bool* exact = nullptr, std::string_view prefix = {});

/// Decodes UTF-8 made of one- to three-byte forms straight into working text ('?' for characters
/// the code page lacks). False, with `out` unspecified, on a malformed or truncated form or any
/// four-byte form. `exact`, when given, tells whether encoding `out` again gives `utf8` back: no
/// character was missing from the code page and every form was the shortest one.
[[nodiscard]] bool DecodeUtf8ToCodePage(std::string_view utf8, std::string& out, bool* exact = nullptr);

/// Upper-cases ASCII a-z in place, never touching either byte of a double-byte character.
/// The length in bytes never changes.
void UpperCaseAscii(std::string& text) noexcept;

} // namespace norvik::filedeal
