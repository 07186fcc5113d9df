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

// The second byte a candidate is tested on besides the first: the needle's last byte that is not
// zero (a UTF-16 needle ends with the zero half of a unit, which such text is full of), else its last.
std::size_t ProbeOf(std::string_view needle) noexcept {
    for (std::size_t k = needle.size(); k > 1; --k) {
        if (needle[k - 1] != '\0') {
            return k - 1;
        }
    }
    return needle.size() - 1;
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
    const std::size_t probe = ProbeOf(needle);
    const auto first = static_cast<unsigned char>(needle[0]);
    const auto last = static_cast<unsigned char>(needle[probe]);
    const bool foldFirst = fold && IsAsciiLetter(first);
    const bool foldLast = fold && IsAsciiLetter(last);
    const __m256i firstBytes = _mm256_set1_epi8(static_cast<char>(foldFirst ? (first | 0x20) : first));
    const __m256i lastBytes = _mm256_set1_epi8(static_cast<char>(foldLast ? (last | 0x20) : last));
    const __m256i firstCase = _mm256_set1_epi8(static_cast<char>(foldFirst ? 0x20 : 0));
    const __m256i lastCase = _mm256_set1_epi8(static_cast<char>(foldLast ? 0x20 : 0));
    for (; i + m - 1 + 32 <= n; i += 32) {
        const __m256i a = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i)), firstCase);
        const __m256i b =
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i + probe)), lastCase);
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

// Finds `needle` in `hay` from `from`; npos when absent. Sixteen (or 32) candidate positions at a
// time are tested on the needle's first byte and its probe byte before any comparison; with `fold`, ASCII letters
// match in any case.
std::size_t FindRaw(std::string_view hay, std::string_view needle, std::size_t from, bool fold) noexcept {
    const std::size_t n = hay.size();
    const std::size_t m = needle.size();
    if (m == 0 || from > n || n - from < m) {
        return std::string_view::npos;
    }
    const char* h = hay.data();
    const std::size_t probe = ProbeOf(needle);
    const auto first = static_cast<unsigned char>(needle[0]);
    const auto last = static_cast<unsigned char>(needle[probe]);
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
        const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + probe)), lastCase);
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

RawVerdict RawTextFilter::judge(std::string_view bytes, EncodingKind kind) const {
    RawJudgement judgement(*this, kind);
    judgement.feed(bytes);
    judgement.finish();
    return judgement.verdict();
}

namespace {

// The bytes looked at in one step: the UTF-8 forms and every needle are looked for in a piece while
// it is in the processor's nearest cache, so a file is read from memory once.
constexpr std::size_t kPieceBytes = std::size_t{32} << 10;

bool IsUtf8Kind(EncodingKind kind) noexcept {
    return kind == EncodingKind::Utf8 || kind == EncodingKind::Utf8Bom;
}

bool SameNeedles(const std::vector<std::string>& a, const std::vector<std::string>& b) noexcept {
    return a == b;
}

} // namespace

bool RawJudgement::Look::searching() const noexcept {
    return needles != nullptr && needles->usable && !(anyFound && (!needles->proves || proofFound));
}

RawJudgement::RawJudgement(const RawTextFilter& filter)
    : m_filter(filter), m_detect(true), m_kind(EncodingKind::Unopenable) {}

RawJudgement::RawJudgement(const RawTextFilter& filter, EncodingKind kind)
    : m_filter(filter), m_detect(false), m_kind(kind), m_markLeft(MarkSize(kind)) {}

void RawJudgement::start(EncodingKind kind) {
    m_started = true;
    const auto add = [&](EncodingKind lookKind) {
        Look& look = m_looks[m_lookCount++];
        look.kind = lookKind;
        look.needles = &m_filter.m_byKind[static_cast<std::size_t>(lookKind)];
    };
    if (kind == EncodingKind::Unopenable && m_detect) {
        // No mark: ANSI unless the whole file turns out to be UTF-8.
        m_kindOpen = true;
        add(EncodingKind::Ansi);
        add(EncodingKind::Utf8);
        const RawTextFilter::Needles& ansi = *m_looks[0].needles;
        const RawTextFilter::Needles& utf8 = *m_looks[1].needles;
        m_sameNeedles = ansi.usable == utf8.usable && ansi.proves == utf8.proves && ansi.proof == utf8.proof &&
                        SameNeedles(ansi.anyOf, utf8.anyOf);
        m_scan = Utf8Scan(Utf8Scan::Watch::StructureAndForms);
        m_scanning = true;
    } else {
        m_kind = kind;
        add(kind);
        if (IsUtf8Kind(kind)) {
            // A file without a mark was screened by detection; one with a mark is not.
            m_scan =
                Utf8Scan(kind == EncodingKind::Utf8Bom ? Utf8Scan::Watch::StructureAndForms : Utf8Scan::Watch::Forms);
            m_scanning = true;
        }
    }
    for (std::size_t i = 0; i < m_lookCount; ++i) {
        const RawTextFilter::Needles& needles = *m_looks[i].needles;
        if (needles.proves && needles.anyOf.size() == 1 && needles.proof.size() > needles.anyOf.front().size() &&
            std::string_view(needles.proof).ends_with(needles.anyOf.front())) {
            m_looks[i].proofLead = needles.proof.size() - needles.anyOf.front().size();
        }
        for (const std::string& needle : needles.anyOf) {
            m_overlap = std::max(m_overlap, std::max<std::size_t>(needle.size(), 1) - 1);
        }
        if (needles.proves) {
            m_overlap = std::max(m_overlap, std::max<std::size_t>(needles.proof.size(), 1) - 1);
        }
    }
}

RawJudgement::Look* RawJudgement::lookFor(EncodingKind kind) noexcept {
    for (std::size_t i = 0; i < m_lookCount; ++i) {
        if (m_looks[i].kind == kind) {
            return &m_looks[i];
        }
    }
    return nullptr;
}

const RawJudgement::Look* RawJudgement::lookFor(EncodingKind kind) const noexcept {
    return const_cast<RawJudgement*>(this)->lookFor(kind);
}

void RawJudgement::feed(std::string_view bytes) {
    if (m_finished) {
        return;
    }
    if (!m_started) {
        if (!m_detect) {
            const std::size_t mark = std::min(m_markLeft, bytes.size());
            m_markLeft -= mark;
            bytes.remove_prefix(mark);
            if (m_markLeft > 0) {
                return;
            }
            start(m_kind);
        } else {
            // The mark is decided on the first three bytes.
            const std::size_t head = std::min(3 - m_head.size(), bytes.size());
            m_head.append(bytes.substr(0, head));
            bytes.remove_prefix(head);
            if (m_head.size() < 3) {
                return;
            }
            const EncodingKind marked = DetectEncodingOfBytes(m_head);
            start(marked == EncodingKind::Utf8Bom || marked == EncodingKind::Utf16Le ? marked
                                                                                     : EncodingKind::Unopenable);
            take(std::string_view(m_head).substr(MarkSize(marked)));
        }
    }
    take(bytes);
}

void RawJudgement::finish() {
    if (m_finished) {
        return;
    }
    if (!m_started) {
        // Fewer bytes than a mark: a UTF-16 mark alone, or none.
        const EncodingKind marked = m_detect ? DetectEncodingOfBytes(m_head) : m_kind;
        start(marked == EncodingKind::Utf16Le || !m_detect ? marked : EncodingKind::Unopenable);
        take(std::string_view(m_head).substr(m_detect ? MarkSize(marked) : 0));
    }
    if (m_scanning) {
        m_scan.finish();
    }
    if (m_kindOpen) {
        m_kind = m_scan.isUtf8() ? EncodingKind::Utf8 : EncodingKind::Ansi;
        m_kindOpen = false;
    }
    m_finished = true;
}

void RawJudgement::take(std::string_view body) {
    while (!body.empty()) {
        const std::string_view piece = body.substr(0, kPieceBytes);
        body.remove_prefix(piece.size());
        if (m_scanning) {
            m_scan.feed(piece);
            if (m_scan.broken() && m_kindOpen) {
                // Not UTF-8 after all: an ANSI file, and its UTF-8 needles no longer matter.
                m_kind = EncodingKind::Ansi;
                m_kindOpen = false;
                m_scanning = false;
                m_lookCount = 1;
            }
        }
        bool searching = false;
        for (std::size_t i = 0; i < m_lookCount; ++i) {
            searching |= m_looks[i].searching();
        }
        if (searching && !settled()) {
            // A needle that starts in the bytes kept from before and ends in this piece.
            if (!m_tail.empty()) {
                const std::string seam = m_tail + std::string(piece.substr(0, m_overlap));
                search(seam, m_offset - m_tail.size());
            }
            search(piece, m_offset);
            if (piece.size() >= m_overlap) {
                m_tail.assign(piece.substr(piece.size() - m_overlap));
            } else {
                m_tail.append(piece);
                m_tail.erase(0, m_tail.size() - std::min(m_tail.size(), m_overlap));
            }
        }
        m_offset += piece.size();
    }
}

void RawJudgement::search(std::string_view hay, std::uint64_t offset) {
    const bool fold = m_filter.m_ignoreCase;
    for (std::size_t i = 0; i < m_lookCount; ++i) {
        Look& look = m_looks[i];
        if (i == 1 && m_sameNeedles) {
            look.anyFound = m_looks[0].anyFound;
            look.proofFound = m_looks[0].proofFound;
            continue;
        }
        if (!look.searching()) {
            continue;
        }
        const RawTextFilter::Needles& needles = *look.needles;
        // In UTF-16 only an even offset is a character start; in UTF-8 the needle begins with a byte
        // that starts a form, and in ANSI any place counts.
        const bool evenOnly = look.kind == EncodingKind::Utf16Le;
        if (look.proofLead > 0 && !look.proofFound) {
            // The proof is one character and then the only needle (a text and its part after its first
            // byte): each place of the needle is looked at for the proof's first character before it,
            // so one search serves both.
            const std::string& part = needles.anyOf.front();
            const std::size_t lead = look.proofLead;
            for (std::size_t at = FindRaw(hay, part, 0, fold); at != std::string_view::npos;
                 at = FindRaw(hay, part, at + 1, fold)) {
                look.anyFound = true;
                if (at >= lead && hay.compare(at - lead, lead, needles.proof, 0, lead) == 0 &&
                    (!evenOnly || (offset + at - lead) % 2 == 0)) {
                    look.proofFound = true;
                    break;
                }
            }
            continue;
        }
        if (needles.proves && !look.proofFound) {
            for (std::size_t at = FindRaw(hay, needles.proof, 0, fold); at != std::string_view::npos;
                 at = FindRaw(hay, needles.proof, at + 1, fold)) {
                if (!evenOnly || (offset + at) % 2 == 0) {
                    look.proofFound = look.anyFound = true;
                    break;
                }
            }
        }
        for (std::size_t n = 0; n < needles.anyOf.size() && !look.anyFound; ++n) {
            const std::string& needle = needles.anyOf[n];
            if (needles.proves && !evenOnly && needle == needles.proof) {
                continue; // looked for as the proof just now, anywhere
            }
            look.anyFound = FindRaw(hay, needle, 0, fold) != std::string_view::npos;
        }
    }
}

bool RawJudgement::formsFail(EncodingKind kind) const noexcept {
    if (!IsUtf8Kind(kind)) {
        return false;
    }
    // A body that may not decode is decoded, so that the failure is seen and reported. Detection
    // checked the structure of a UTF-8 file without a mark; one with a mark is unscreened.
    return m_scan.maybeOverlong() || m_scan.mayNotDecode() || (kind == EncodingKind::Utf8Bom && m_scan.broken());
}

// The verdict of a look that no further bytes can change, if it has one yet.
bool RawJudgement::verdictFinal(const Look& look, RawVerdict& verdict) const noexcept {
    if (m_filter.m_empty) {
        verdict = RawVerdict::Lacks;
        return true;
    }
    verdict = RawVerdict::Unknown;
    if (!look.needles->usable || formsFail(look.kind) || (look.anyFound && !look.needles->proves)) {
        return true;
    }
    // A proof found holds unless later UTF-8 forms make the body one that must be decoded.
    if (look.proofFound && !IsUtf8Kind(look.kind)) {
        verdict = RawVerdict::Holds;
        return true;
    }
    return false;
}

RawVerdict RawJudgement::verdictAtEnd(const Look& look) const noexcept {
    if (m_filter.m_empty) {
        return RawVerdict::Lacks;
    }
    if (!look.needles->usable || formsFail(look.kind)) {
        return RawVerdict::Unknown;
    }
    // Where no needle is, no text is; a text found at a character start is in the working text (the
    // whole body decodes, see above).
    if (!look.anyFound) {
        return RawVerdict::Lacks;
    }
    return look.needles->proves && look.proofFound ? RawVerdict::Holds : RawVerdict::Unknown;
}

bool RawJudgement::settled() const noexcept {
    if (m_finished) {
        return true;
    }
    if (!m_started) {
        return false;
    }
    RawVerdict verdict = RawVerdict::Unknown;
    if (!m_kindOpen) {
        return verdictFinal(*lookFor(m_kind), verdict);
    }
    // The kind is open: settled only when the file must be decoded whatever it turns out to be.
    RawVerdict other = RawVerdict::Unknown;
    return verdictFinal(m_looks[0], verdict) && verdict == RawVerdict::Unknown && verdictFinal(m_looks[1], other) &&
           other == RawVerdict::Unknown;
}

RawVerdict RawJudgement::verdict() const noexcept {
    if (m_finished) {
        return verdictAtEnd(*lookFor(m_kind));
    }
    RawVerdict verdict = RawVerdict::Unknown;
    if (m_started && !m_kindOpen && verdictFinal(*lookFor(m_kind), verdict)) {
        return verdict;
    }
    return RawVerdict::Unknown;
}

} // namespace norvik::filedeal
