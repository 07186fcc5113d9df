#include "filedeal/TextCodec.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"

namespace norvik::filedeal {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";

// The first CR or LF at or after `from`, or `n`. Sixteen bytes at a time where the processor allows.
std::size_t FindLineBreak(const char* data, std::size_t from, std::size_t n) noexcept {
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (mask != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
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

#if !defined(__SSE2__)
// A shift-based state machine over the byte structure of UTF-8: each state is a 6-bit offset, and
// the row of a byte holds the next state for every current state, so one shift and one mask move
// the machine. States: 0 = at a character start, 1-7 = continuation bytes pending, 8 = invalid.
constexpr unsigned kInvalid = 8 * 6;

struct Utf8Rows {
    std::uint64_t row[256];
};

constexpr Utf8Rows MakeUtf8Rows() {
    Utf8Rows rows{};
    for (int b = 0; b < 256; ++b) {
        std::uint64_t row = 0;
        for (int state = 0; state <= 8; ++state) {
            int next = 8;
            if (state == 0) {
                if (b < 0x80) {
                    next = 0;
                } else if (b < 0xC0) {
                    next = 8;
                } else if (b < 0xE0) {
                    next = 1;
                } else if (b < 0xF0) {
                    next = 2;
                } else if (b < 0xF8) {
                    next = 3;
                } else if (b < 0xFC) {
                    next = 4;
                } else if (b < 0xFE) {
                    next = 5;
                } else if (b == 0xFE) {
                    next = 6;
                } else {
                    next = 7;
                }
            } else if (state < 8 && b >= 0x80 && b < 0xC0) {
                next = state - 1;
            }
            row |= static_cast<std::uint64_t>(next * 6) << (state * 6);
        }
        rows.row[b] = row;
    }
    return rows;
}

constexpr Utf8Rows kUtf8Rows = MakeUtf8Rows();

#endif

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

bool AsciiWord(const unsigned char* p) noexcept {
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    return ((a | b) & kHighBits) == 0;
}

} // namespace

#if defined(__SSE2__)
namespace {

// Bit i of each mask describes byte i of a block of 64.
struct Utf8Masks {
    std::uint64_t continuation = 0; // 80-BF
    std::uint64_t lead[7] = {};     // lead[k]: a first byte that announces more than k continuation bytes
};

std::uint64_t Mask64(const __m128i (&v)[4], __m128i test, __m128i want) noexcept {
    std::uint64_t mask = 0;
    for (int q = 0; q < 4; ++q) {
        const auto part =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v[q], test), want)));
        mask |= static_cast<std::uint64_t>(part) << (16 * q);
    }
    return mask;
}

Utf8Masks Classify(const unsigned char* p) noexcept {
    const __m128i v[4] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48))};
    Utf8Masks m;
    const auto byte = [](int b) {
        return _mm_set1_epi8(static_cast<char>(b));
    };
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

} // namespace

// The structure holds when every byte that some first byte announces as its continuation is one,
// and no other byte is: the bytes announced are those 1..k places after a first byte announcing k,
// so the positions that must be continuation bytes are the lead masks shifted by 1 to 7.
bool IsUtf8Text(const unsigned char* bytes, std::size_t count) noexcept {
    std::uint64_t carry[7] = {}; // lead masks of the previous block, for shifts across the border
    bool high = false;
    std::size_t i = 0;
    unsigned char tail[64];
    while (i < count) {
        const unsigned char* block = bytes + i;
        if (count - i < 64) {
            std::memset(tail, 0, sizeof tail); // ASCII padding: announces nothing, continues nothing
            std::memcpy(tail, bytes + i, count - i);
            block = tail;
        }
        i += 64;
        const bool ascii = AsciiWord(block) && AsciiWord(block + 16) && AsciiWord(block + 32) && AsciiWord(block + 48);
        std::uint64_t required = 0;
        if (ascii) {
            for (int k = 0; k < 7; ++k) {
                required |= carry[k] >> (63 - k);
                carry[k] = 0;
            }
            if (required != 0) {
                return false;
            }
            continue;
        }
        high = true;
        const Utf8Masks m = Classify(block);
        for (int k = 0; k < 7; ++k) {
            required |= (m.lead[k] << (k + 1)) | (carry[k] >> (63 - k));
            carry[k] = m.lead[k];
        }
        if (required != m.continuation) {
            return false;
        }
    }
    for (int k = 0; k < 7; ++k) {
        if ((carry[k] >> (63 - k)) != 0) {
            return false; // a form cut off by the end
        }
    }
    return high;
}
#else
bool IsUtf8Text(const unsigned char* bytes, std::size_t count) noexcept {
    std::uint64_t state = 0;
    unsigned seen = 0;
    std::size_t i = 0;
    while (i < count) {
        if (state == 0 && i + 16 <= count && AsciiWord(bytes + i)) {
            i += 16;
            continue;
        }
        const std::size_t stop = std::min(count, i + 16);
        for (; i < stop; ++i) {
            const unsigned char b = bytes[i];
            seen |= b;
            state = (kUtf8Rows.row[b] >> state) & 63;
        }
        if (state == kInvalid) {
            return false;
        }
    }
    return state == 0 && (seen & 0x80) != 0;
}
#endif

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

bool SurvivesRoundTrip(std::string_view original, std::string_view text, EncodingKind kind, CharacterSet set) {
    if (kind == EncodingKind::Ansi) {
        return true;
    }
    const EncodedText written = EncodeText(text, kind, set);
    return written.bytes == original && written.exact;
}

} // namespace norvik::filedeal
