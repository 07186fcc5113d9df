#include "filedeal/CodePage.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include <unicode/ucnv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

#include "filedeal/TextKernels.h"

namespace norvik::filedeal {

namespace {

// Lookup tables built once from ICU's table for code page 936 (the Windows variant). Converting
// through tables keeps the hot paths free of per-call converter overhead and makes exactness a
// plain table test.
struct Tables {
    // toUnicode: single bytes, and double bytes indexed by (lead - 0x81) * 256 + trail.
    // 0 marks "no character" (U+0000 is only produced by the byte 0x00).
    std::array<char16_t, 256> single{};
    std::array<bool, 256> singleValid{};
    std::unique_ptr<char16_t[]> dbcs;
    // fromUnicode: the code page bytes of every BMP unit; 0 = unmappable, < 0x100 single byte,
    // else lead << 8 | trail.
    std::unique_ptr<std::uint16_t[]> reverse;
};

constexpr std::size_t kDbcsSize = 126 * 256;

Tables BuildTables() {
    Tables t;
    t.dbcs = std::make_unique<char16_t[]>(kDbcsSize);
    t.reverse = std::make_unique<std::uint16_t[]>(65536);
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open("windows-936-2000", &status);
    if (U_FAILURE(status) || conv == nullptr) {
        // Without the table only ASCII converts; everything else counts as inexact.
        for (int b = 0; b < 0x80; ++b) {
            t.single[b] = static_cast<char16_t>(b);
            t.singleValid[b] = true;
            t.reverse[b] = static_cast<std::uint16_t>(b);
        }
        return t;
    }
    ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    char16_t out[4];
    for (int b = 0; b < 256; ++b) {
        const char in = static_cast<char>(b);
        status = U_ZERO_ERROR;
        ucnv_reset(conv);
        const int32_t n = ucnv_toUChars(conv, reinterpret_cast<UChar*>(out), 4, &in, 1, &status);
        if (U_SUCCESS(status) && n == 1) {
            t.single[b] = out[0];
            t.singleValid[b] = true;
        }
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0; trail < 256; ++trail) {
            const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            status = U_ZERO_ERROR;
            ucnv_reset(conv);
            const int32_t n = ucnv_toUChars(conv, reinterpret_cast<UChar*>(out), 4, in, 2, &status);
            if (U_SUCCESS(status) && n == 1 && out[0] != 0) {
                t.dbcs[(lead - 0x81) * 256 + trail] = out[0];
            }
        }
    }
    char bytes[8];
    for (int u = 1; u < 65536; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) {
            continue;
        }
        const UChar in = static_cast<UChar>(u);
        status = U_ZERO_ERROR;
        ucnv_reset(conv);
        const int32_t n = ucnv_fromUChars(conv, bytes, sizeof bytes, &in, 1, &status);
        if (U_FAILURE(status)) {
            continue;
        }
        // Keep only mappings that come back to the same unit, so a conversion marked exact is
        // always a true round trip.
        if (n == 1) {
            const auto b = static_cast<unsigned char>(bytes[0]);
            if (t.singleValid[b] && t.single[b] == u) {
                t.reverse[u] = b;
            }
        } else if (n == 2) {
            const auto lead = static_cast<unsigned char>(bytes[0]);
            const auto trail = static_cast<unsigned char>(bytes[1]);
            if (IsLeadByte(lead) && t.dbcs[(lead - 0x81) * 256 + trail] == u) {
                t.reverse[u] = static_cast<std::uint16_t>(lead << 8 | trail);
            }
        }
    }
    ucnv_close(conv);
    return t;
}

const Tables& GetTables() {
    static const Tables tables = BuildTables();
    return tables;
}

void AppendCodePageUnit(std::string& out, const Tables& t, char32_t cp, bool& exact) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    const std::uint16_t code = cp < 0x10000 ? t.reverse[cp] : 0;
    if (code == 0) {
        out.push_back('?');
        exact = false;
    } else if (code < 0x100) {
        out.push_back(static_cast<char>(code));
    } else {
        out.push_back(static_cast<char>(code >> 8));
        out.push_back(static_cast<char>(code & 0xFF));
    }
}

} // namespace

namespace {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define NORVIK_KERNELS_AVX2 1
#endif

// A block of ASCII bytes copied at once at each level: copy() copies kBytes bytes from p to o (both
// must have room for them) and gives how many of them, from the first, are ASCII; the caller keeps
// those and overwrites the rest. The scalar level has no blocks: it is the byte-at-a-time reference.
template <KernelLevel L> struct AsciiBlock;

#if defined(__SSE2__)
template <> struct AsciiBlock<KernelLevel::Sse2> {
    static constexpr std::size_t kBytes = 16;
    static std::size_t copy(const unsigned char* p, char* o) noexcept {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
        return high == 0 ? 16 : static_cast<std::size_t>(__builtin_ctz(high));
    }
    // Sixteen bytes as eight units each (a zero byte after each): 32 bytes at o.
    static std::size_t widen(const unsigned char* p, char* o) noexcept {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(v, _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), _mm_unpackhi_epi8(v, _mm_setzero_si128()));
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
        return high == 0 ? 16 : static_cast<std::size_t>(__builtin_ctz(high));
    }
    // kBytes / 2 little-endian units below 0x80 narrowed to bytes: kBytes / 2 bytes at o; gives how
    // many units, from the first, are below 0x80.
    static std::size_t narrow(const unsigned char* p, char* o) noexcept {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(v, v));
        const __m128i wide = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80)));
        const auto other =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(wide, _mm_setzero_si128()))) ^ 0xFFFFU;
        return other == 0 ? 8 : static_cast<std::size_t>(__builtin_ctz(other)) / 2;
    }
};
#endif

#if defined(NORVIK_KERNELS_AVX2)
template <> struct AsciiBlock<KernelLevel::Avx2> {
    static constexpr std::size_t kBytes = 32;
    __attribute__((target("avx2"))) static std::size_t copy(const unsigned char* p, char* o) noexcept {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), v);
        const auto high = static_cast<unsigned>(_mm256_movemask_epi8(v));
        return high == 0 ? 32 : static_cast<std::size_t>(__builtin_ctz(high));
    }
    __attribute__((target("avx2"))) static std::size_t widen(const unsigned char* p, char* o) noexcept {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32), _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
        const auto high = static_cast<unsigned>(_mm256_movemask_epi8(v));
        return high == 0 ? 32 : static_cast<std::size_t>(__builtin_ctz(high));
    }
    __attribute__((target("avx2"))) static std::size_t narrow(const unsigned char* p, char* o) noexcept {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        // packus works within 128-bit lanes: the two lanes' eight bytes are gathered into the low half.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
        const __m256i wide = _mm256_and_si256(v, _mm256_set1_epi16(static_cast<short>(0xFF80)));
        const auto other =
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(wide, _mm256_setzero_si256()))) ^ 0xFFFFFFFFU;
        return other == 0 ? 16 : static_cast<std::size_t>(__builtin_ctz(other)) / 2;
    }
};
#endif

} // namespace

namespace {

/// The character at p[i] (a byte of 0x80 or above) of a working text of n bytes; advances i past it.
/// A sequence without a character gives U+FFFD, moves one byte on and clears ok. With `kCodes`, a
/// four-byte code gives its character.
template <bool kCodes>
inline char32_t DecodeNonAscii(const Tables& t, const unsigned char* p, std::size_t n, std::size_t& i,
                               bool& ok) noexcept {
    const unsigned char b = p[i];
    if (IsLeadByte(b) && i + 1 < n) {
        const char16_t u = t.dbcs[(b - 0x81) * 256 + p[i + 1]];
        if (u != 0) {
            i += 2;
            return u;
        }
        if constexpr (kCodes) {
            if (i + 3 < n) {
                if (const long value = FourByteCodeValue(p + i); value >= 0) {
                    i += 4;
                    return static_cast<char32_t>(value);
                }
            }
        }
    }
    ++i;
    if (t.singleValid[b] && !IsLeadByte(b)) {
        return t.single[b];
    }
    ok = false;
    return u'\uFFFD';
}

// Calls emit(unit) for every character of a working text: U+FFFD for a byte sequence without a
// character. Gives false when there was such a sequence.
template <typename Emit> bool ForEachUnit(std::string_view text, const Tables& t, Emit emit) {
    bool ok = true;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            emit(static_cast<char16_t>(b));
            continue;
        }
        if (IsLeadByte(b) && i + 1 < n) {
            const char16_t u = t.dbcs[(b - 0x81) * 256 + static_cast<unsigned char>(text[i + 1])];
            if (u != 0) {
                emit(u);
                ++i;
                continue;
            }
        }
        if (t.singleValid[b] && !IsLeadByte(b)) {
            emit(t.single[b]);
        } else {
            emit(u'\uFFFD');
            ok = false;
        }
    }
    return ok;
}

} // namespace

std::u16string CodePageToUtf16(std::string_view text, bool* exact) {
    std::u16string units;
    units.reserve(text.size());
    const bool ok = ForEachUnit(text, GetTables(), [&units](char16_t u) { units.push_back(u); });
    if (exact != nullptr) {
        *exact = ok;
    }
    return units;
}

namespace {

template <bool kCodes, KernelLevel L>
inline std::string ToUtf16Le(std::string_view text, bool* exact, std::string_view prefix) {
    const Tables& t = GetTables();
    std::string bytes;
    bytes.resize(prefix.size() + text.size() * 2);
    if (!prefix.empty()) {
        std::memcpy(bytes.data(), prefix.data(), prefix.size());
    }
    char* o = bytes.data() + prefix.size(); // never past twice the input read: a byte gives at most two
    bool ok = true;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if constexpr (L != KernelLevel::Scalar) {
            // ASCII bytes become units by putting a zero byte after each; the leading ones are kept.
            if (i + AsciiBlock<L>::kBytes <= n) {
                const std::size_t ascii = AsciiBlock<L>::widen(p + i, o);
                o += 2 * ascii;
                i += ascii;
                if (ascii == AsciiBlock<L>::kBytes) {
                    continue;
                }
            }
        }
        char32_t u = p[i];
        if (u < 0x80) {
            ++i;
        } else {
            u = DecodeNonAscii<kCodes>(t, p, n, i, ok);
        }
        if constexpr (kCodes) {
            if (u >= 0x10000) {
                // A pair of units from a four-byte code: four bytes for four.
                const char32_t high = 0xD800 + ((u - 0x10000) >> 10);
                const char32_t low = 0xDC00 + ((u - 0x10000) & 0x3FF);
                *o++ = static_cast<char>(high & 0xFF);
                *o++ = static_cast<char>(high >> 8);
                u = low;
            }
        }
        *o++ = static_cast<char>(u & 0xFF);
        *o++ = static_cast<char>(u >> 8);
    }
    bytes.resize(static_cast<std::size_t>(o - bytes.data()));
    if (exact != nullptr) {
        *exact = ok;
    }
    return bytes;
}

/// The conversion to UTF-16LE, for AtLevel.
struct Utf16LeConversion {
    template <bool kCodes, KernelLevel kLevel>
    static std::string run(std::string_view text, bool* exact, std::string_view prefix) {
        return ToUtf16Le<kCodes, kLevel>(text, exact, prefix);
    }
};

// A conversion of working text (Conversion::run<kCodes, level>) at the level the processor allows; the
// AVX2 level is compiled, inlined whole, for that instruction set.
#if defined(NORVIK_KERNELS_AVX2)
template <class Conversion, bool kCodes>
__attribute__((target("avx2"), flatten)) std::string AtAvx2(std::string_view text, bool* exact,
                                                            std::string_view prefix) {
    return Conversion::template run<kCodes, KernelLevel::Avx2>(text, exact, prefix);
}
#endif

template <class Conversion, bool kCodes>
std::string AtLevel(std::string_view text, bool* exact, std::string_view prefix) {
    [[maybe_unused]] const KernelLevel level = ActiveKernelLevel();
#if defined(NORVIK_KERNELS_AVX2)
    if (level == KernelLevel::Avx2) {
        return AtAvx2<Conversion, kCodes>(text, exact, prefix);
    }
#endif
#if defined(__SSE2__)
    if (level != KernelLevel::Scalar) {
        return Conversion::template run<kCodes, KernelLevel::Sse2>(text, exact, prefix);
    }
#endif
    return Conversion::template run<kCodes, KernelLevel::Scalar>(text, exact, prefix);
}

} // namespace

std::string CodePageToUtf16Le(std::string_view text, bool* exact, std::string_view prefix) {
    return AtLevel<Utf16LeConversion, false>(text, exact, prefix);
}

std::string WorkingTextToUtf16Le(std::string_view text, CharacterSet set, bool* exact, std::string_view prefix) {
    return set == CharacterSet::Unicode ? AtLevel<Utf16LeConversion, true>(text, exact, prefix)
                                        : AtLevel<Utf16LeConversion, false>(text, exact, prefix);
}

std::string Utf16ToCodePage(std::u16string_view units, bool* exact) {
    const Tables& t = GetTables();
    std::string out;
    out.reserve(units.size() + units.size() / 2);
    bool ok = true;
    for (char16_t u : units) {
        AppendCodePageUnit(out, t, u, ok);
    }
    if (exact != nullptr) {
        *exact = ok;
    }
    return out;
}

namespace {

// Little-endian units to working text: with `kCodes` every unit or pair the code page lacks becomes a
// four-byte code and `flag` tells there was one; otherwise it becomes '?' and `flag` tells there was
// none (exactness).
template <bool kCodes, KernelLevel L> inline std::string Utf16LeToText(std::string_view bytes, bool* flag) {
    const Tables& t = GetTables();
    const std::size_t count = bytes.size() / 2;
    std::string out;
    // At most two code page bytes a unit and room for a block of sixteen; a unit that becomes a code
    // takes four, and then the room is checked.
    out.resize(count * 2 + 16);
    char* o = out.data();
    bool ok = true;
    bool beyond = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t k = 0;
    while (k < count) {
        if constexpr (L != KernelLevel::Scalar) {
            // Units below 0x80 become single bytes; the leading ones of a block are kept.
            constexpr std::size_t kUnits = AsciiBlock<L>::kBytes / 2;
            if (k + kUnits <= count) {
                const std::size_t ascii = AsciiBlock<L>::narrow(p + 2 * k, o);
                o += ascii;
                k += ascii;
                if (ascii == kUnits) {
                    continue;
                }
            }
        }
        const auto u = static_cast<char16_t>(p[2 * k] | (p[2 * k + 1] << 8));
        const std::uint16_t code = u < 0x80 ? u : t.reverse[u];
        if (code != 0 || u == 0) {
            if (code >= 0x100) {
                *o++ = static_cast<char>(code >> 8);
            }
            *o++ = static_cast<char>(code & 0xFF);
            ++k;
            continue;
        }
        if constexpr (kCodes) {
            char32_t codePoint = u;
            std::size_t units = 1;
            if (u >= 0xD800 && u <= 0xDBFF && k + 1 < count) {
                const auto low = static_cast<char16_t>(p[2 * k + 2] | (p[2 * k + 3] << 8));
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    codePoint = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
                    units = 2;
                }
            }
            const std::size_t used = static_cast<std::size_t>(o - out.data());
            const std::size_t need = used + 4 + 2 * (count - k - units) + 16;
            if (need > out.size()) {
                out.resize(need + need / 4);
                o = out.data() + used;
            }
            o = PutFourByteCode(o, codePoint);
            beyond = true;
            k += units;
        } else {
            *o++ = '?';
            ok = false;
            ++k;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (flag != nullptr) {
        *flag = kCodes ? beyond : ok;
    }
    return out;
}

#if defined(NORVIK_KERNELS_AVX2)
template <bool kCodes>
__attribute__((target("avx2"), flatten)) std::string Utf16LeToTextAvx2(std::string_view bytes, bool* flag) {
    return Utf16LeToText<kCodes, KernelLevel::Avx2>(bytes, flag);
}
#endif

// Utf16LeToText at the active level.
template <bool kCodes> std::string Utf16LeToTextAtLevel(std::string_view bytes, bool* flag) {
    [[maybe_unused]] const KernelLevel level = ActiveKernelLevel();
#if defined(NORVIK_KERNELS_AVX2)
    if (level == KernelLevel::Avx2) {
        return Utf16LeToTextAvx2<kCodes>(bytes, flag);
    }
#endif
#if defined(__SSE2__)
    if (level != KernelLevel::Scalar) {
        return Utf16LeToText<kCodes, KernelLevel::Sse2>(bytes, flag);
    }
#endif
    return Utf16LeToText<kCodes, KernelLevel::Scalar>(bytes, flag);
}

} // namespace

std::string Utf16LeToCodePage(std::string_view bytes, bool* exact) {
    return Utf16LeToTextAtLevel<false>(bytes, exact);
}

std::string Utf16LeToWorkingText(std::string_view bytes, bool* beyond) {
    return Utf16LeToTextAtLevel<true>(bytes, beyond);
}

std::string Utf8ToCodePage(std::string_view utf8, bool* exact) {
    const Tables& t = GetTables();
    std::string out;
    out.reserve(utf8.size());
    bool ok = true;
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        int extra = b >= 0xF0 && b <= 0xF4 ? 3 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xC2 && b <= 0xDF ? 1 : -1;
        char32_t cp = extra == 3 ? (b & 0x07) : extra == 2 ? (b & 0x0F) : (b & 0x1F);
        bool valid = extra > 0;
        for (int k = 1; valid && k <= extra; ++k) {
            const std::size_t at = i + static_cast<std::size_t>(k);
            if (at >= n || (static_cast<unsigned char>(utf8[at]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[at]) & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        if (valid && ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                      (cp >= 0xD800 && cp <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            out.push_back('?');
            ok = false;
            ++i;
            continue;
        }
        AppendCodePageUnit(out, t, cp, ok);
        i += static_cast<std::size_t>(extra) + 1;
    }
    if (exact != nullptr) {
        *exact = ok;
    }
    return out;
}

namespace {

template <bool kCodes, KernelLevel L>
inline std::string ToUtf8(std::string_view text, bool* exact, std::string_view prefix) {
    const Tables& t = GetTables();
    std::string out;
    // Worst case per input byte is three output bytes (a single byte mapping to a BMP unit); the
    // usual text takes about one and a half.
    out.resize(prefix.size() + text.size() * 3 / 2 + 64);
    if (!prefix.empty()) {
        std::memcpy(out.data(), prefix.data(), prefix.size());
    }
    char* o = out.data() + prefix.size();
    bool ok = true;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        // Room for a block of ASCII bytes or one character of four.
        const std::size_t used = static_cast<std::size_t>(o - out.data());
        if (out.size() - used < 64) {
            out.resize(out.size() * 2);
            o = out.data() + used;
        }
        if constexpr (L != KernelLevel::Scalar) {
            if (i + AsciiBlock<L>::kBytes <= n) {
                const std::size_t ascii = AsciiBlock<L>::copy(p + i, o);
                o += ascii;
                i += ascii;
                if (ascii == AsciiBlock<L>::kBytes) {
                    continue;
                }
            }
        }
        const unsigned char b = p[i];
        if (b < 0x80) {
            *o++ = static_cast<char>(b);
            ++i;
            continue;
        }
        const char32_t u = DecodeNonAscii<kCodes>(t, p, n, i, ok);
        if constexpr (kCodes) {
            // A code may stand for any code point, an ASCII one or one past the basic plane.
            if (u < 0x80) {
                *o++ = static_cast<char>(u);
                continue;
            }
            if (u >= 0x10000) {
                *o++ = static_cast<char>(0xF0 | (u >> 18));
                *o++ = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
                *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (u & 0x3F));
                continue;
            }
        }
        if (u < 0x800) {
            *o++ = static_cast<char>(0xC0 | (u >> 6));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            *o++ = static_cast<char>(0xE0 | (u >> 12));
            *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (exact != nullptr) {
        *exact = ok;
    }
    return out;
}

/// The conversion to UTF-8, for AtLevel.
struct Utf8Conversion {
    template <bool kCodes, KernelLevel kLevel>
    static std::string run(std::string_view text, bool* exact, std::string_view prefix) {
        return ToUtf8<kCodes, kLevel>(text, exact, prefix);
    }
};

} // namespace

std::string CodePageToUtf8(std::string_view text, bool* exact, std::string_view prefix) {
    return AtLevel<Utf8Conversion, false>(text, exact, prefix);
}

std::string WorkingTextToUtf8(std::string_view text, CharacterSet set, bool* exact, std::string_view prefix) {
    return set == CharacterSet::Unicode ? AtLevel<Utf8Conversion, true>(text, exact, prefix)
                                        : AtLevel<Utf8Conversion, false>(text, exact, prefix);
}

namespace {

template <KernelLevel L> inline bool DecodeUtf8(std::string_view utf8, std::string& out, bool* exact, bool* beyond) {
    const Tables& t = GetTables();
    // The output stays within the input's size while every character is in the code page; a code
    // can outgrow its form, and then the room is checked: at least the input left must fit.
    out.resize(utf8.size());
    char* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    bool shortest = true; // every form the shortest for its character
    bool coded = false;   // a character beyond the code page
    while (i < n) {
        if constexpr (L != KernelLevel::Scalar) {
            if (i + AsciiBlock<L>::kBytes <= n) {
                const std::size_t ascii = AsciiBlock<L>::copy(p + i, o);
                o += ascii;
                i += ascii;
                if (ascii == AsciiBlock<L>::kBytes) {
                    continue;
                }
            }
        }
        const unsigned char b = p[i];
        char32_t u;
        if (b < 0x80) {
            *o++ = static_cast<char>(b);
            ++i;
            continue;
        }
        if (b >= 0xC0 && b < 0xE0) {
            if (i + 1 >= n || (p[i + 1] & 0xC0) != 0x80) {
                return false;
            }
            u = static_cast<char32_t>((b & 0x1F) << 6 | (p[i + 1] & 0x3F));
            shortest &= u >= 0x80;
            i += 2;
        } else if (b >= 0xE0 && b < 0xF0) {
            if (i + 2 >= n || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80) {
                return false;
            }
            u = static_cast<char32_t>((b & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F));
            shortest &= u >= 0x800;
            i += 3;
        } else if (b >= 0xF0 && b < 0xF8) {
            if (i + 3 >= n || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80 || (p[i + 3] & 0xC0) != 0x80) {
                return false;
            }
            u = static_cast<char32_t>((b & 0x07) << 18 | (p[i + 1] & 0x3F) << 12 | (p[i + 2] & 0x3F) << 6 |
                                      (p[i + 3] & 0x3F));
            if (u > kLargestCodePoint) {
                return false;
            }
            shortest &= u >= 0x10000;
            i += 4;
        } else {
            return false; // a stray continuation byte, or a five-byte or longer form
        }
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
            continue;
        }
        const std::uint16_t code = u < 0x10000 ? t.reverse[u] : 0;
        if (code == 0) {
            const std::size_t used = static_cast<std::size_t>(o - out.data());
            if (used + 4 + (n - i) > out.size()) {
                out.resize(used + 4 + (n - i) + (n - i) / 4 + 16);
                o = out.data() + used;
            }
            o = PutFourByteCode(o, u);
            coded = true;
        } else if (code < 0x100) {
            *o++ = static_cast<char>(code);
        } else {
            *o++ = static_cast<char>(code >> 8);
            *o++ = static_cast<char>(code & 0xFF);
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (exact != nullptr) {
        *exact = shortest;
    }
    if (beyond != nullptr) {
        *beyond = coded;
    }
    return true;
}

#if defined(NORVIK_KERNELS_AVX2)
__attribute__((target("avx2"), flatten)) bool DecodeUtf8Avx2(std::string_view utf8, std::string& out, bool* exact,
                                                             bool* beyond) {
    return DecodeUtf8<KernelLevel::Avx2>(utf8, out, exact, beyond);
}
#endif

// DecodeUtf8 at the active level.
bool DecodeUtf8AtLevel(std::string_view utf8, std::string& out, bool* exact, bool* beyond) {
    [[maybe_unused]] const KernelLevel level = ActiveKernelLevel();
#if defined(NORVIK_KERNELS_AVX2)
    if (level == KernelLevel::Avx2) {
        return DecodeUtf8Avx2(utf8, out, exact, beyond);
    }
#endif
#if defined(__SSE2__)
    if (level != KernelLevel::Scalar) {
        return DecodeUtf8<KernelLevel::Sse2>(utf8, out, exact, beyond);
    }
#endif
    return DecodeUtf8<KernelLevel::Scalar>(utf8, out, exact, beyond);
}

} // namespace

bool DecodeUtf8ToWorkingText(std::string_view utf8, std::string& out, bool* exact, bool* beyond) {
    return DecodeUtf8AtLevel(utf8, out, exact, beyond);
}

bool IsWholeCharacters(std::string_view text) {
    return ForEachUnit(text, GetTables(), [](char16_t) {});
}

void UpperCaseAscii(std::string& text) noexcept {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    char* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & kHigh) == 0) {
                // Eight ASCII bytes at once: mark the bytes in 'a'..'z' and clear their 0x20 bit.
                const std::uint64_t atLeastA = word + (0x80 - 'a') * kOnes;
                const std::uint64_t aboveZ = word + (0x80 - 'z' - 1) * kOnes;
                const std::uint64_t lower = (atLeastA ^ aboveZ) & kHigh;
                word ^= lower >> 2;
                std::memcpy(p + i, &word, 8);
                i += 8;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(p[i]);
        if (b >= 'a' && b <= 'z') {
            p[i] = static_cast<char>(b - 32);
        } else if (IsLeadByte(b)) {
            ++i; // the trail byte of a double-byte character is never folded
        }
        ++i;
    }
}

} // namespace norvik::filedeal
