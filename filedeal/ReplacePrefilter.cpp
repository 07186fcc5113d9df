#include "filedeal/ReplacePrefilter.h"

#include <cstdint>
#include <cstring>
#include <optional>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define NORVIK_HAVE_AVX2_PATH 1
#endif

#include "filedeal/CodePage.h"

namespace norvik::filedeal {

namespace {

constexpr unsigned char FoldAscii(unsigned char c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

constexpr bool IsAsciiLetter(unsigned char c) noexcept {
    return FoldAscii(c) >= 'A' && FoldAscii(c) <= 'Z';
}

bool SameFolded(const char* a, const char* b, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        if (FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

#if defined(NORVIK_HAVE_AVX2_PATH)
// The first/last byte test of FindRaw over 32 positions at a time: gives the first match, or the
// position from which fewer than 32 candidates are left (not yet tested) when there is none before.
template <typename Matches>
__attribute__((target("avx2"))) std::size_t FindCandidatesAvx2(std::string_view hay, std::string_view needle,
                                                               std::size_t i, bool fold, const Matches& matches) {
    const std::size_t n = hay.size();
    const std::size_t m = needle.size();
    const char* h = hay.data();
    const auto first = static_cast<unsigned char>(needle[0]);
    const auto last = static_cast<unsigned char>(needle[m - 1]);
    const bool foldFirst = fold && IsAsciiLetter(first);
    const bool foldLast = fold && IsAsciiLetter(last);
    const __m256i firstBytes = _mm256_set1_epi8(static_cast<char>(foldFirst ? (first | 0x20) : first));
    const __m256i lastBytes = _mm256_set1_epi8(static_cast<char>(foldLast ? (last | 0x20) : last));
    const __m256i firstCase = _mm256_set1_epi8(static_cast<char>(foldFirst ? 0x20 : 0));
    const __m256i lastCase = _mm256_set1_epi8(static_cast<char>(foldLast ? 0x20 : 0));
    for (; i + m - 1 + 32 <= n; i += 32) {
        const __m256i a = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i)), firstCase);
        const __m256i b =
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i + m - 1)), lastCase);
        auto mask = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, firstBytes), _mm256_cmpeq_epi8(b, lastBytes))));
        while (mask != 0) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (matches(at)) {
                return at;
            }
            mask &= mask - 1;
        }
    }
    return i;
}
#endif

// Finds `needle` in `hay` from `from`; npos when absent. Sixteen candidate positions at a time are
// tested on the needle's first and last byte before any comparison; with `fold`, ASCII letters
// match in any case.
std::size_t FindRaw(std::string_view hay, std::string_view needle, std::size_t from, bool fold) noexcept {
    const std::size_t n = hay.size();
    const std::size_t m = needle.size();
    if (m == 0 || from > n || n - from < m) {
        return std::string_view::npos;
    }
    const char* h = hay.data();
    const auto first = static_cast<unsigned char>(needle[0]);
    const auto last = static_cast<unsigned char>(needle[m - 1]);
    const auto matches = [&](std::size_t at) {
        return fold ? SameFolded(h + at, needle.data(), m) : std::memcmp(h + at, needle.data(), m) == 0;
    };
    std::size_t i = from;
#if defined(NORVIK_HAVE_AVX2_PATH)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        i = FindCandidatesAvx2(hay, needle, i, fold, matches);
        if (i + m <= n && matches(i)) {
            return i;
        }
    }
#endif
#if defined(__SSE2__)
    // A letter is compared with its 0x20 bit set on both sides, which pairs exactly its two cases.
    const bool foldFirst = fold && IsAsciiLetter(first);
    const bool foldLast = fold && IsAsciiLetter(last);
    const __m128i firstBytes = _mm_set1_epi8(static_cast<char>(foldFirst ? (first | 0x20) : first));
    const __m128i lastBytes = _mm_set1_epi8(static_cast<char>(foldLast ? (last | 0x20) : last));
    const __m128i firstCase = _mm_set1_epi8(static_cast<char>(foldFirst ? 0x20 : 0));
    const __m128i lastCase = _mm_set1_epi8(static_cast<char>(foldLast ? 0x20 : 0));
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i)), firstCase);
        const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1)), lastCase);
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, firstBytes), _mm_cmpeq_epi8(b, lastBytes))));
        while (mask != 0) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (matches(at)) {
                return at;
            }
            mask &= mask - 1;
        }
    }
#endif
    for (; i + m <= n; ++i) {
        if (matches(i)) {
            return i;
        }
    }
    return std::string_view::npos;
}

// What a UTF-8 body holds besides the forms the decoder writes back as they were.
struct Utf8Forms {
    bool high = false;         // a byte 0x80 or above
    bool ambiguous = false;    // C0, C1 or E0: the lead of a form that may be overlong
    bool mayNotDecode = false; // F4 and above: a form that may be past U+10FFFF or longer than four
    bool broken = false;       // not UTF-8 in structure (looked at only when asked)
};

// The continuation bytes still owed after a carry of required positions, or -1 for a carry no valid
// form leaves (one that a mismatch in its block has flagged already).
int PendingOf(unsigned carry) noexcept {
    return carry == 0 ? 0 : carry == 1 ? 1 : carry == 3 ? 2 : carry == 7 ? 3 : -1;
}

// One pass over the body; with `kStructure` the structure of UTF-8 is checked in the same pass (a
// marked file is not screened by detection), the way IsUtf8Text checks it: every byte that a lead
// announces is a continuation byte, and no other byte is.
template <bool kStructure> Utf8Forms ScanUtf8Forms(std::string_view body) noexcept {
    Utf8Forms forms;
    const auto* p = reinterpret_cast<const unsigned char*>(body.data());
    const std::size_t n = body.size();
    std::size_t i = 0;
    int pending = 0; // continuation bytes owed at i
#if defined(__SSE2__)
    __m128i ambiguous = _mm_setzero_si128();
    __m128i mayNotDecode = _mm_setzero_si128();
    int high = 0;
    unsigned carry = 0; // bit k: byte i + k must be a continuation byte
    bool broken = false;
    const __m128i c0 = _mm_set1_epi8(static_cast<char>(0xC0));
    const __m128i e0 = _mm_set1_epi8(static_cast<char>(0xE0));
    const __m128i f0 = _mm_set1_epi8(static_cast<char>(0xF0));
    const __m128i x80 = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i f4 = _mm_set1_epi8(static_cast<char>(0xF4));
    const __m128i fe = _mm_set1_epi8(static_cast<char>(0xFE));
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int h = _mm_movemask_epi8(v);
        if (h == 0) {
            if constexpr (kStructure) {
                broken |= carry != 0; // a form cut off by ASCII
                carry = 0;
            }
            continue; // ASCII, the common run
        }
        high |= h;
        ambiguous =
            _mm_or_si128(ambiguous, _mm_or_si128(_mm_cmpeq_epi8(_mm_and_si128(v, fe), c0), _mm_cmpeq_epi8(v, e0)));
        mayNotDecode = _mm_or_si128(mayNotDecode, _mm_cmpeq_epi8(_mm_max_epu8(v, f4), v));
        if constexpr (kStructure) {
            const __m128i top2 = _mm_and_si128(v, c0);
            const auto continuation = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(top2, x80)));
            const auto lead2 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(top2, c0)));
            const auto lead3 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, e0), e0)));
            const auto lead4 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, f0), f0)));
            const unsigned required = (lead2 << 1) | (lead3 << 2) | (lead4 << 3) | carry;
            broken |= (required & 0xFFFFU) != continuation;
            carry = required >> 16;
        }
    }
    forms.high = high != 0;
    forms.ambiguous = _mm_movemask_epi8(ambiguous) != 0;
    forms.mayNotDecode = _mm_movemask_epi8(mayNotDecode) != 0;
    if constexpr (kStructure) {
        pending = PendingOf(carry);
        forms.broken = broken || pending < 0;
    }
#endif
    for (; i < n; ++i) {
        const unsigned char b = p[i];
        forms.high |= b >= 0x80;
        forms.ambiguous |= b == 0xC0 || b == 0xC1 || b == 0xE0;
        forms.mayNotDecode |= b >= 0xF4;
        if constexpr (kStructure) {
            const bool continuation = (b & 0xC0) == 0x80;
            if (pending > 0) {
                forms.broken |= !continuation;
                --pending;
            } else {
                forms.broken |= continuation;
                pending = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
            }
        }
    }
    if constexpr (kStructure) {
        forms.broken |= pending != 0; // a form cut off by the end
    }
    return forms;
}

// The characters of a working text that can be matched where a character starts: a lead byte at the
// very end (the first half of a character the text cuts) is left out. None when a character does
// not convert (a Unicode file's text holds such bytes only in the four-byte codes of characters
// beyond the code page, which only their own code matches).
std::optional<std::string> WholeCharacters(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(b) && i + 1 == text.size()) {
            break;
        }
        i += IsLeadByte(b) ? 2 : 1;
    }
    bool exact = true;
    static_cast<void>(CodePageToUtf16(text.substr(0, i), &exact));
    if (!exact) {
        return std::nullopt;
    }
    return std::string(text.substr(0, i));
}

std::size_t MarkSize(EncodingKind kind) noexcept {
    switch (kind) {
    case EncodingKind::Utf16Le:
        return 2;
    case EncodingKind::Utf8Bom:
        return 3;
    default:
        return 0;
    }
}

} // namespace

RawTextFilter::RawTextFilter(const std::vector<std::string>& texts, Place place, bool ignoreCase)
    : m_ignoreCase(ignoreCase) {
    auto& ansi = m_byKind[static_cast<std::size_t>(EncodingKind::Ansi)];
    auto& utf16 = m_byKind[static_cast<std::size_t>(EncodingKind::Utf16Le)];
    auto& utf8Bom = m_byKind[static_cast<std::size_t>(EncodingKind::Utf8Bom)];
    auto& utf8 = m_byKind[static_cast<std::size_t>(EncodingKind::Utf8)];
    m_byKind[static_cast<std::size_t>(EncodingKind::Unopenable)].usable = false;
    std::size_t count = 0;
    const auto unicodeUnusable = [&] {
        utf16.usable = utf8Bom.usable = utf8.usable = false;
    };
    const auto addUnicode = [&](const std::string& characters) {
        bool exact16 = true;
        bool exact8 = true;
        std::string bytes16 = CodePageToUtf16Le(characters, &exact16);
        std::string bytes8 = CodePageToUtf8(characters, &exact8);
        if (characters.empty() || !exact16 || !exact8) {
            unicodeUnusable();
            return;
        }
        utf16.anyOf.push_back(std::move(bytes16));
        utf8.anyOf.push_back(bytes8);
        utf8Bom.anyOf.push_back(std::move(bytes8));
    };
    for (const std::string& text : texts) {
        if (text.empty()) {
            continue;
        }
        ++count;
        // An ANSI file's working text is its bytes with the line breaks rewritten.
        if (text.find_first_of("\r\n") == std::string::npos) {
            ansi.anyOf.push_back(text);
        } else {
            ansi.usable = false;
        }
        // A Unicode file's working text is its characters, each converted by itself: a text found at
        // a character start is the encoded form of its characters.
        const std::optional<std::string> whole = WholeCharacters(text);
        if (!whole) {
            unicodeUnusable();
            continue;
        }
        addUnicode(*whole);
        // Found at the second byte of a character, the text goes on with whole characters.
        if (place == Place::Anywhere && static_cast<unsigned char>(text[0]) >= 0x40) {
            const std::optional<std::string> rest = WholeCharacters(std::string_view(text).substr(1));
            if (!rest) {
                unicodeUnusable();
                continue;
            }
            addUnicode(*rest);
        }
        if (texts.size() == 1 && place == Place::Anywhere && !ignoreCase && whole->size() == text.size()) {
            for (Needles* needles : {&ansi, &utf16, &utf8Bom, &utf8}) {
                if (needles->usable && !needles->anyOf.empty()) {
                    needles->proof = needles->anyOf.front();
                    needles->proves = true;
                }
            }
        }
    }
    // A needle that holds another needle is found only where that one is: looking for the shorter
    // one alone tells the same (a text and its part after the first byte, above all).
    for (Needles& needles : m_byKind) {
        std::vector<std::string> kept;
        for (std::size_t i = 0; i < needles.anyOf.size(); ++i) {
            bool holdsAnother = false;
            for (std::size_t j = 0; j < needles.anyOf.size() && !holdsAnother; ++j) {
                const std::string& other = needles.anyOf[j];
                const bool smaller =
                    other.size() < needles.anyOf[i].size() || (other.size() == needles.anyOf[i].size() && j < i);
                holdsAnother =
                    j != i && smaller && FindRaw(needles.anyOf[i], other, 0, ignoreCase) != std::string_view::npos;
            }
            if (!holdsAnother) {
                kept.push_back(needles.anyOf[i]);
            }
        }
        needles.anyOf = std::move(kept);
    }
    m_empty = count == 0;
}

bool RawTextFilter::find(std::string_view hay, std::string_view needle, std::size_t* at) const {
    const std::size_t found = FindRaw(hay, needle, at != nullptr ? *at : 0, m_ignoreCase);
    if (at != nullptr) {
        *at = found;
    }
    return found != std::string_view::npos;
}

RawVerdict RawTextFilter::judge(std::string_view bytes, EncodingKind kind) const {
    if (m_empty) {
        return RawVerdict::Lacks;
    }
    const Needles& needles = m_byKind[static_cast<std::size_t>(kind)];
    if (!needles.usable) {
        return RawVerdict::Unknown;
    }
    const std::string_view body = bytes.substr(std::min(bytes.size(), MarkSize(kind)));
    const bool utf8 = kind == EncodingKind::Utf8 || kind == EncodingKind::Utf8Bom;
    if (utf8) {
        // A body that may not decode is decoded, so that the failure is seen and reported. Detection
        // checked the structure of a UTF-8 file without a mark; one with a mark is unscreened.
        const Utf8Forms forms = kind == EncodingKind::Utf8Bom ? ScanUtf8Forms<true>(body) : ScanUtf8Forms<false>(body);
        if (forms.ambiguous || forms.mayNotDecode || forms.broken) {
            return RawVerdict::Unknown;
        }
    }
    // Where no needle is, no text is; where one is, the text may be proved.
    bool any = false;
    for (const std::string& needle : needles.anyOf) {
        if (find(body, needle, nullptr)) {
            any = true;
            break;
        }
    }
    if (!any) {
        return RawVerdict::Lacks;
    }
    // A text found at a character start is in the working text (the whole body decodes, see above).
    if (needles.proves) {
        std::size_t at = 0;
        while (find(body, needles.proof, &at)) {
            // In UTF-16 only an even offset is a character start; in UTF-8 the needle begins with a
            // byte that starts a form, and in ANSI any place counts.
            if (kind != EncodingKind::Utf16Le || at % 2 == 0) {
                return RawVerdict::Holds;
            }
            ++at;
        }
    }
    return RawVerdict::Unknown;
}

} // namespace norvik::filedeal
