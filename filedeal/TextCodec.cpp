#include "filedeal/TextCodec.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/TextKernels.h"

namespace norvik::filedeal {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Thirty-two bytes at a time: the first break, or where the bytes after the last whole block start.
__attribute__((target("avx2"))) std::size_t FindLineBreakAvx2(const char* data, std::size_t i, std::size_t n) noexcept {
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    for (; i + 32 <= n; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        const auto mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(v, cr), _mm256_cmpeq_epi8(v, lf))));
        if (mask != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
        }
    }
    return i;
}
#endif

// The first CR or LF at or after `from`, or `n`. In blocks at the active kernel level.
std::size_t FindLineBreak(const char* data, std::size_t from, std::size_t n) noexcept {
    std::size_t i = from;
    [[maybe_unused]] const KernelLevel level = ActiveKernelLevel();
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (level == KernelLevel::Avx2) {
        i = FindLineBreakAvx2(data, i, n);
        if (i < n && (data[i] == '\r' || data[i] == '\n')) {
            return i;
        }
    }
#endif
#if defined(__SSE2__)
    if (level != KernelLevel::Scalar) {
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
            if (mask != 0) {
                return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
            }
        }
    }
#endif
    for (; i < n; ++i) {
        if (data[i] == '\r' || data[i] == '\n') {
            return i;
        }
    }
    return n;
}

// Every line followed by CR LF; CR LF, lone CR and lone LF each end a line; a break at the very end
// starts no further line. Zero bytes are ordinary content. While every break seen is already CR LF
// nothing is copied, so `buffer` (the bytes themselves, when the caller gives them up) is reused.
std::string NormaliseLines(std::string_view bytes, std::string* buffer) {
    const char* const data = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t pos = 0;
    for (;;) {
        const std::size_t q = FindLineBreak(data, pos, n);
        if (q == n) {
            // Clean so far: the bytes are the text, with CR LF added after a last unbroken line.
            std::string out = buffer != nullptr ? std::move(*buffer) : std::string(bytes);
            if (pos < n) {
                out.append("\r\n", 2);
            }
            return out;
        }
        if (data[q] != '\r' || q + 1 >= n || data[q + 1] != '\n') {
            break;
        }
        pos = q + 2;
    }
    // A lone CR or LF: build the text anew from here.
    std::string out;
    out.reserve(n + n / 32 + 2);
    out.append(data, pos);
    while (pos < n) {
        const std::size_t q = FindLineBreak(data, pos, n);
        out.append(data + pos, q - pos);
        out.append("\r\n", 2);
        if (q == n) {
            break;
        }
        pos = (data[q] == '\r' && q + 1 < n && data[q + 1] == '\n') ? q + 2 : q + 1;
    }
    return out;
}

} // namespace

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

bool AsciiWord(const unsigned char* p) noexcept {
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    return ((a | b) & kHighBits) == 0;
}

// Bit i of each mask describes byte i of a block of 64.
struct Utf8Masks {
    std::uint64_t continuation = 0;  // 80-BF
    std::uint64_t lead[7] = {};      // lead[k]: a first byte that announces more than k continuation bytes
    std::uint64_t maybeOverlong = 0; // C0, C1, E0, F0 before 80-8F (filled only when asked)
    std::uint64_t mayNotDecode = 0;  // F4-FF (filled only when asked)
    bool f0Last = false;             // the block ends with F0: the next block's first byte decides
    bool lowFirst = false;           // the block starts with 80-8F
};

// Records the F0 bytes followed by 80-8F (a four-byte form of a value below U+10000, never the
// shortest) among the bytes that may start an overlong form; an F0 before 90-BF is an ordinary emoji.
// One that ends the block is decided by the next block's first byte.
inline void TakeFourByteLeads(Utf8Masks& m, std::uint64_t f0, std::uint64_t low) noexcept {
    m.maybeOverlong |= f0 & (low >> 1);
    m.f0Last = (f0 >> 63) != 0;
    m.lowFirst = (low & 1) != 0;
}

#if defined(__SSE2__)
std::uint64_t Mask64(const __m128i (&v)[4], __m128i test, __m128i want) noexcept {
    std::uint64_t mask = 0;
    for (int q = 0; q < 4; ++q) {
        const auto part =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v[q], test), want)));
        mask |= static_cast<std::uint64_t>(part) << (16 * q);
    }
    return mask;
}

Utf8Masks Classify(const unsigned char* p, bool structure, bool forms) noexcept {
    const __m128i v[4] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48))};
    Utf8Masks m;
    const auto byte = [](int b) {
        return _mm_set1_epi8(static_cast<char>(b));
    };
    if (forms) {
        m.maybeOverlong = Mask64(v, byte(0xFE), byte(0xC0)) | Mask64(v, byte(0xFF), byte(0xE0));
        TakeFourByteLeads(m, Mask64(v, byte(0xFF), byte(0xF0)), Mask64(v, byte(0xF0), byte(0x80)));
        for (int q = 0; q < 4; ++q) {
            const auto part =
                static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v[q], byte(0xF4)), v[q])));
            m.mayNotDecode |= static_cast<std::uint64_t>(part) << (16 * q);
        }
    }
    if (!structure) {
        return m;
    }
    m.continuation = Mask64(v, byte(0xC0), byte(0x80));
    // The number of leading one-bits, minus one, is the count of continuation bytes announced.
    m.lead[0] = Mask64(v, byte(0xC0), byte(0xC0));
    m.lead[1] = Mask64(v, byte(0xE0), byte(0xE0));
    m.lead[2] = Mask64(v, byte(0xF0), byte(0xF0));
    if (m.lead[2] == 0) {
        return m; // the longer forms are all among these: none (text rarely has any)
    }
    m.lead[3] = Mask64(v, byte(0xF8), byte(0xF8));
    m.lead[4] = Mask64(v, byte(0xFC), byte(0xFC));
    m.lead[5] = Mask64(v, byte(0xFE), byte(0xFE));
    m.lead[6] = Mask64(v, byte(0xFF), byte(0xFF));
    return m;
}
#else
Utf8Masks Classify(const unsigned char* p, bool structure, bool forms) noexcept {
    Utf8Masks m;
    for (int i = 0; i < 64; ++i) {
        const unsigned b = p[i];
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (forms) {
            const bool lowNext = i < 63 && (p[i + 1] & 0xF0) == 0x80;
            m.maybeOverlong |= (b == 0xC0 || b == 0xC1 || b == 0xE0 || (b == 0xF0 && lowNext)) ? bit : 0;
            m.f0Last = m.f0Last || (i == 63 && b == 0xF0);
            m.lowFirst = m.lowFirst || (i == 0 && (b & 0xF0) == 0x80);
            m.mayNotDecode |= b >= 0xF4 ? bit : 0;
        }
        if (structure) {
            m.continuation |= (b & 0xC0) == 0x80 ? bit : 0;
            for (int k = 0; k < 7; ++k) {
                const unsigned top = 0xFF00U >> (k + 2); // the k + 2 leading bits
                m.lead[k] |= (b & top) == (top & 0xFF) ? bit : 0;
            }
        }
    }
    return m;
}
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define NORVIK_UTF8_WIDE 1
__attribute__((target("avx2"))) inline std::uint64_t Mask64Wide(const __m256i (&v)[2], __m256i test,
                                                                __m256i want) noexcept {
    const auto low =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(v[0], test), want)));
    const auto high =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(v[1], test), want)));
    return static_cast<std::uint64_t>(low) | (static_cast<std::uint64_t>(high) << 32);
}

__attribute__((target("avx2"))) inline __m256i ByteWide(int b) noexcept {
    return _mm256_set1_epi8(static_cast<char>(b));
}

// Classify over two 32-byte halves.
__attribute__((target("avx2"))) inline Utf8Masks ClassifyWide(const __m256i (&v)[2], bool structure,
                                                              bool forms) noexcept {
    Utf8Masks m;
    if (forms) {
        m.maybeOverlong = Mask64Wide(v, ByteWide(0xFE), ByteWide(0xC0)) | Mask64Wide(v, ByteWide(0xFF), ByteWide(0xE0));
        TakeFourByteLeads(m, Mask64Wide(v, ByteWide(0xFF), ByteWide(0xF0)),
                          Mask64Wide(v, ByteWide(0xF0), ByteWide(0x80)));
        for (int h = 0; h < 2; ++h) {
            const auto part = static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(v[h], ByteWide(0xF4)), v[h])));
            m.mayNotDecode |= static_cast<std::uint64_t>(part) << (32 * h);
        }
    }
    if (!structure) {
        return m;
    }
    m.continuation = Mask64Wide(v, ByteWide(0xC0), ByteWide(0x80));
    m.lead[0] = Mask64Wide(v, ByteWide(0xC0), ByteWide(0xC0));
    m.lead[1] = Mask64Wide(v, ByteWide(0xE0), ByteWide(0xE0));
    m.lead[2] = Mask64Wide(v, ByteWide(0xF0), ByteWide(0xF0));
    if (m.lead[2] == 0) {
        return m;
    }
    m.lead[3] = Mask64Wide(v, ByteWide(0xF8), ByteWide(0xF8));
    m.lead[4] = Mask64Wide(v, ByteWide(0xFC), ByteWide(0xFC));
    m.lead[5] = Mask64Wide(v, ByteWide(0xFE), ByteWide(0xFE));
    m.lead[6] = Mask64Wide(v, ByteWide(0xFF), ByteWide(0xFF));
    return m;
}
#endif

// The structure holds when every byte that some first byte announces as its continuation is one,
// and no other byte is: the bytes announced are those 1..k places after a first byte announcing k,
// so the positions that must be continuation bytes are the lead masks shifted by 1 to 7.
inline void TakeAsciiBlock(detail::Utf8ScanState& s, bool structure) noexcept {
    s.f0Last = false;
    if (!structure) {
        return;
    }
    std::uint64_t required = 0;
    for (int k = 0; k < 7; ++k) {
        required |= s.carry[k] >> (63 - k);
        s.carry[k] = 0;
    }
    s.broken |= required != 0;
}

inline void TakeBlock(detail::Utf8ScanState& s, const Utf8Masks& m, bool structure) noexcept {
    s.high = true;
    s.maybeOverlong |= m.maybeOverlong != 0 || (s.f0Last && m.lowFirst);
    s.f0Last = m.f0Last;
    s.mayNotDecode |= m.mayNotDecode != 0;
    if (!structure) {
        return;
    }
    std::uint64_t required = 0;
    for (int k = 0; k < 7; ++k) {
        required |= (m.lead[k] << (k + 1)) | (s.carry[k] >> (63 - k));
        s.carry[k] = m.lead[k];
    }
    s.broken |= required != m.continuation;
}

void ScanBlocksNarrow(detail::Utf8ScanState& s, const unsigned char* p, std::size_t count, bool structure,
                      bool forms) noexcept {
    for (; count > 0 && !(structure && s.broken); --count, p += 64) {
        if (AsciiWord(p) && AsciiWord(p + 16) && AsciiWord(p + 32) && AsciiWord(p + 48)) {
            TakeAsciiBlock(s, structure);
            continue;
        }
        TakeBlock(s, Classify(p, structure, forms && !(s.maybeOverlong && s.mayNotDecode)), structure);
    }
}

#if defined(NORVIK_UTF8_WIDE)
__attribute__((target("avx2"))) void ScanBlocksWide(detail::Utf8ScanState& s, const unsigned char* p, std::size_t count,
                                                    bool structure, bool forms) noexcept {
    for (; count > 0 && !(structure && s.broken); --count, p += 64) {
        const __m256i v[2] = {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32))};
        if (_mm256_movemask_epi8(_mm256_or_si256(v[0], v[1])) == 0) {
            TakeAsciiBlock(s, structure);
            continue;
        }
        TakeBlock(s, ClassifyWide(v, structure, forms && !(s.maybeOverlong && s.mayNotDecode)), structure);
    }
}
#endif

} // namespace

Utf8Scan::Width Utf8Scan::widest() noexcept {
#if defined(NORVIK_UTF8_WIDE)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 ? Width::Wide : Width::Narrow;
#else
    return Width::Narrow;
#endif
}

void Utf8Scan::scanBlocks(const unsigned char* blocks, std::size_t count) noexcept {
    const bool structure = m_watch != Watch::Forms;
    const bool forms = m_watch != Watch::Structure;
#if defined(NORVIK_UTF8_WIDE)
    if (m_width == Width::Wide) {
        ScanBlocksWide(m_state, blocks, count, structure, forms);
        return;
    }
#endif
    ScanBlocksNarrow(m_state, blocks, count, structure, forms);
}

void Utf8Scan::feed(const unsigned char* bytes, std::size_t count) noexcept {
    if (stopped()) {
        return;
    }
    if (m_stagedCount > 0) {
        const std::size_t take = std::min(count, sizeof m_staged - m_stagedCount);
        std::memcpy(m_staged + m_stagedCount, bytes, take);
        m_stagedCount += take;
        bytes += take;
        count -= take;
        if (m_stagedCount < sizeof m_staged) {
            return;
        }
        scanBlocks(m_staged, 1);
        m_stagedCount = 0;
    }
    scanBlocks(bytes, count / 64);
    const std::size_t rest = count % 64;
    if (rest > 0 && !stopped()) {
        std::memcpy(m_staged, bytes + count - rest, rest);
        m_stagedCount = rest;
    }
}

void Utf8Scan::finish() noexcept {
    if (m_stagedCount > 0 && !stopped()) {
        std::memset(m_staged + m_stagedCount, 0, sizeof m_staged - m_stagedCount); // ASCII padding
        scanBlocks(m_staged, 1);
    }
    m_stagedCount = 0;
    if (m_watch != Watch::Forms) {
        for (int k = 0; k < 7; ++k) {
            m_state.broken |= (m_state.carry[k] >> (63 - k)) != 0; // a form cut off by the end
        }
    }
}

bool IsUtf8Text(const unsigned char* bytes, std::size_t count) noexcept {
    Utf8Scan scan;
    scan.feed(bytes, count);
    scan.finish();
    return scan.isUtf8();
}

EncodingKind DetectEncodingOfBytes(std::string_view bytes) noexcept {
    if (bytes.starts_with(kUtf8Mark)) {
        return EncodingKind::Utf8Bom;
    }
    if (bytes.starts_with(kUtf16Mark)) {
        return EncodingKind::Utf16Le;
    }
    return IsUtf8Text(bytes) ? EncodingKind::Utf8 : EncodingKind::Ansi;
}

EncodingKind DetectEncoding(const std::filesystem::path& path) {
    // A file that cannot be opened (or is a folder) is its own kind; a read that fails after the
    // file opened is an error for the caller. So is anything but a regular file: a pipe would block
    // the open (hence O_NONBLOCK) or the read, and a device such as /dev/zero never ends.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return EncodingKind::Unopenable;
    }
    struct stat st {};
    const bool isRegular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!isRegular) {
        return EncodingKind::Unopenable;
    }
    return DetectEncodingOfBytes(ReadFileBytes(path));
}

std::string DecodeAnsi(std::string_view bytes) {
    return NormaliseLines(bytes, nullptr);
}

std::string DecodeAnsiBuffer(std::string&& bytes) {
    const std::string_view view = bytes;
    return NormaliseLines(view, &bytes);
}

std::string DecodeUtf16(std::string_view bytes) {
    return DecodeText(bytes, EncodingKind::Utf16Le);
}

std::string DecodeUtf8(std::string_view bytes, bool withMark) {
    if (withMark && !bytes.starts_with(kUtf8Mark)) {
        bytes.remove_prefix(std::min(bytes.size(), kUtf8Mark.size()));
        return DecodeText(bytes, EncodingKind::Utf8);
    }
    return DecodeText(bytes, withMark ? EncodingKind::Utf8Bom : EncodingKind::Utf8);
}

std::string DecodeText(std::string_view bytes, EncodingKind kind, TextFacts* facts) {
    TextFacts found;
    std::string text;
    switch (kind) {
    case EncodingKind::Ansi:
        text = DecodeAnsi(bytes); // only line breaks change, which a rewrite of the text may do
        break;
    case EncodingKind::Utf16Le:
        // The writer puts the mark and whole units back, every unit the code page lacks included.
        if (bytes.size() >= 2) {
            text = Utf16LeToWorkingText(bytes.substr(2), &found.beyondCodePage);
        }
        found.exact = bytes.starts_with(kUtf16Mark) && bytes.size() % 2 == 0;
        break;
    case EncodingKind::Utf8Bom:
    case EncodingKind::Utf8: {
        const bool withMark = kind == EncodingKind::Utf8Bom;
        const std::string_view body = withMark ? bytes.substr(std::min(bytes.size(), kUtf8Mark.size())) : bytes;
        if (!DecodeUtf8ToWorkingText(body, text, &found.exact, &found.beyondCodePage)) {
            text.clear();
            found = TextFacts{};
            found.decodes = false;
            found.exact = false;
        }
        found.exact = found.exact && (!withMark || bytes.starts_with(kUtf8Mark));
        break;
    }
    case EncodingKind::Unopenable:
        found.exact = false;
        break;
    }
    if (facts != nullptr) {
        *facts = found;
    }
    return text;
}

EncodedText EncodeText(std::string_view text, EncodingKind kind, CharacterSet set) {
    EncodedText encoded;
    switch (kind) {
    case EncodingKind::Ansi:
        encoded.bytes = NormaliseLines(text, nullptr);
        break;
    case EncodingKind::Utf16Le:
        encoded.bytes = WorkingTextToUtf16Le(text, set, &encoded.exact, kUtf16Mark);
        break;
    case EncodingKind::Utf8Bom:
        encoded.bytes = WorkingTextToUtf8(text, set, &encoded.exact, kUtf8Mark);
        break;
    case EncodingKind::Utf8:
        encoded.bytes = WorkingTextToUtf8(text, set, &encoded.exact);
        break;
    case EncodingKind::Unopenable:
        break;
    }
    return encoded;
}

EncodedText EncodeTextBuffer(std::string&& text, EncodingKind kind, CharacterSet set) {
    if (kind != EncodingKind::Ansi) {
        return EncodeText(text, kind, set);
    }
    const std::string_view view = text;
    EncodedText encoded;
    encoded.bytes = NormaliseLines(view, &text);
    return encoded;
}

bool SurvivesRoundTrip(std::string_view original, std::string_view text, EncodingKind kind, CharacterSet set) {
    if (kind == EncodingKind::Ansi) {
        return true;
    }
    const EncodedText written = EncodeText(text, kind, set);
    return written.bytes == original && written.exact;
}

} // namespace norvik::filedeal
