// The text codec on arbitrary bytes: classification against a slow reference, every reader on every
// input, and the reader-writer round trip the job relies on before it rewrites a file.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/Replace.h"
#include "filedeal/ReplacePrefilter.h"
#include "filedeal/TextCodec.h"

namespace {

using norvik::filedeal::EncodingKind;

// Byte structure only: the count of continuation bytes a first byte announces is its number of
// leading one-bits minus one; 80-BF announce none and cannot start a character.
bool ReferenceIsUtf8(std::string_view bytes) {
    int pending = 0;
    bool allAscii = true;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            allAscii = false;
        }
        if (pending == 0) {
            if (b < 0x80) {
                continue;
            }
            int ones = 0;
            for (int bit = 7; bit >= 0 && ((b >> bit) & 1) != 0; --bit) {
                ++ones;
            }
            if (ones == 1) {
                return false;
            }
            pending = ones - 1;
        } else {
            if ((b & 0xC0) != 0x80) {
                return false;
            }
            --pending;
        }
    }
    return pending == 0 && !allAscii;
}

EncodingKind ReferenceKind(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return EncodingKind::Utf8Bom;
    }
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        return EncodingKind::Utf16Le;
    }
    return ReferenceIsUtf8(bytes) ? EncodingKind::Utf8 : EncodingKind::Ansi;
}

// Every line followed by CR LF; CR LF, lone CR and lone LF each end a line.
std::string ReferenceAnsi(std::string_view bytes) {
    std::string text;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            text += line + "\r\n";
            line.clear();
            open = false;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else {
            line += bytes[i];
            open = true;
        }
    }
    if (open) {
        text += line + "\r\n";
    }
    return text;
}

// Decodes one- to three-byte forms by their bits; false for anything else (a stray continuation
// byte, a missing or wrong continuation byte, a truncated form, a four-byte or longer form).
bool ReferenceUtf8Units(std::string_view bytes, std::u16string& units) {
    units.clear();
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        char32_t value = b;
        if (b >= 0x80 && b < 0xC0) {
            return false;
        }
        if (b >= 0xF0) {
            return false;
        }
        if (b >= 0xE0) {
            extra = 2;
            value = b & 0x0F;
        } else if (b >= 0xC0) {
            extra = 1;
            value = b & 0x1F;
        }
        for (int k = 1; k <= extra; ++k) {
            if (i + static_cast<std::size_t>(k) >= bytes.size()) {
                return false;
            }
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        units.push_back(static_cast<char16_t>(value));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

// True for UTF-8 in shortest form, without surrogates, every character in the code page: the bytes
// a faithful reader and writer must give back unchanged.
bool IsCleanUtf8(std::string_view bytes) {
    std::u16string units;
    if (!ReferenceUtf8Units(bytes, units)) {
        return false;
    }
    std::size_t i = 0;
    for (char16_t u : units) {
        const std::size_t length = u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        const auto first = static_cast<unsigned char>(bytes[i]);
        const std::size_t used = first < 0x80 ? 1 : first < 0xE0 ? 2 : 3;
        if (length != used || (u >= 0xD800 && u <= 0xDFFF)) {
            return false;
        }
        i += used;
    }
    bool exact = true;
    (void)norvik::filedeal::Utf16ToCodePage(units, &exact);
    return exact;
}

bool IsCleanUtf16(std::string_view bytes) {
    if (bytes.size() % 2 != 0) {
        return false;
    }
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[i]);
        const auto high = static_cast<unsigned char>(bytes[i + 1]);
        const auto unit = static_cast<char16_t>(low | (high << 8));
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            return false;
        }
        units.push_back(unit);
    }
    bool exact = true;
    (void)norvik::filedeal::Utf16ToCodePage(units, &exact);
    return exact;
}

void CheckUnicodeRoundTrip(std::string_view bytes, EncodingKind kind) {
    using namespace norvik::filedeal;
    const std::string text = DecodeText(bytes, kind);
    bool exact = false;
    const std::string written = EncodeText(text, kind, &exact);
    const bool survives = SurvivesRoundTrip(bytes, text, kind);
    // The decoder tells the same while decoding, as the job relies on.
    bool decodedExactly = false;
    NORVIK_FUZZ_CHECK(DecodeText(bytes, kind, &decodedExactly) == text);
    NORVIK_FUZZ_CHECK(decodedExactly == survives);
    // The promise behind every rewrite: a file that is said to survive comes back byte for byte.
    if (survives) {
        NORVIK_FUZZ_CHECK(written == bytes);
        NORVIK_FUZZ_CHECK(exact);
    }
    // And files that can survive are not refused.
    if (kind == EncodingKind::Utf16Le) {
        if (IsCleanUtf16(bytes)) {
            NORVIK_FUZZ_CHECK(survives);
        }
    } else {
        const std::string_view body = kind == EncodingKind::Utf8Bom ? bytes.substr(3) : bytes;
        if (IsCleanUtf8(body)) {
            NORVIK_FUZZ_CHECK(survives);
        }
    }
    // The text a reader gives is in canonical form: writing it exactly and reading it again gives it back.
    if (exact) {
        NORVIK_FUZZ_CHECK(DecodeText(written, kind) == text);
    }
}

// The path-based reader and writer of the file's kind agree with the byte-level ones.
void CheckThroughFiles(std::string_view bytes, EncodingKind kind) {
    using namespace norvik::filedeal;
    const auto source = norvik::fuzz::ScratchFolder() / "source.txt";
    const auto target = norvik::fuzz::ScratchFolder() / "target.txt";
    {
        std::ofstream out(source, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        NORVIK_FUZZ_CHECK(out.good());
    }
    NORVIK_FUZZ_CHECK(DetectEncoding(source) == kind);
    std::string text;
    bool written = false;
    switch (kind) {
    case EncodingKind::Ansi:
        text = ReadAnsiText(source);
        written = WriteAnsiText(text, target);
        break;
    case EncodingKind::Utf16Le:
        text = ReadUtf16Text(source);
        written = WriteUtf16Text(text, target);
        break;
    case EncodingKind::Utf8Bom:
    case EncodingKind::Utf8:
        text = ReadUtf8Text(source, kind == EncodingKind::Utf8Bom);
        written = WriteUtf8Text(text, target, kind == EncodingKind::Utf8Bom);
        break;
    case EncodingKind::Unopenable:
        NORVIK_FUZZ_CHECK(false);
    }
    NORVIK_FUZZ_CHECK(text == DecodeText(bytes, kind));
    NORVIK_FUZZ_CHECK(written);
    NORVIK_FUZZ_CHECK(ReadFileBytes(target) == EncodeText(text, kind));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace norvik::filedeal;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Classification, also from every start offset near the front so that the word-at-a-time scan
    // meets the non-ASCII bytes at every alignment.
    NORVIK_FUZZ_CHECK(IsUtf8Text(bytes) == ReferenceIsUtf8(bytes));
    for (std::size_t offset = 1; offset < 16 && offset < bytes.size(); ++offset) {
        NORVIK_FUZZ_CHECK(IsUtf8Text(bytes.substr(offset)) == ReferenceIsUtf8(bytes.substr(offset)));
    }
    const EncodingKind kind = DetectEncodingOfBytes(bytes);
    NORVIK_FUZZ_CHECK(kind == ReferenceKind(bytes));

    // Every reader takes every input, whatever its kind.
    NORVIK_FUZZ_CHECK(DecodeText(bytes, EncodingKind::Unopenable).empty());
    const std::string ansi = DecodeText(bytes, EncodingKind::Ansi);
    NORVIK_FUZZ_CHECK(ansi == ReferenceAnsi(bytes));
    NORVIK_FUZZ_CHECK(DecodeAnsiBuffer(std::string(bytes)) == ansi);
    NORVIK_FUZZ_CHECK(EncodeText(ansi, EncodingKind::Ansi) == ansi);
    NORVIK_FUZZ_CHECK(DecodeText(ansi, EncodingKind::Ansi) == ansi);
    NORVIK_FUZZ_CHECK(SurvivesRoundTrip(bytes, ansi, EncodingKind::Ansi));

    for (EncodingKind unicode : {EncodingKind::Utf8, EncodingKind::Utf8Bom}) {
        const std::string_view body =
            unicode == EncodingKind::Utf8Bom ? bytes.substr(std::min<std::size_t>(3, bytes.size())) : bytes;
        std::u16string units;
        const std::string expected = ReferenceUtf8Units(body, units) ? Utf16ToCodePage(units) : std::string();
        NORVIK_FUZZ_CHECK(DecodeText(bytes, unicode) == expected);
    }
    {
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        NORVIK_FUZZ_CHECK(DecodeText(bytes, EncodingKind::Utf16Le) == Utf16ToCodePage(units));
    }

    // The bytes judged without decoding agree with decoding: a piece of the file's own text (so that
    // hits are common) and a few fixed texts, where characters start and anywhere.
    {
        const std::string text = DecodeText(bytes, kind);
        std::vector<std::string> finds{"a", "?", std::string("\x81\x41", 2)};
        if (!text.empty()) {
            finds.push_back(text.substr(size % text.size(), 1 + size % 5));
        }
        for (const std::string& find : finds) {
            using norvik::filedeal::RawTextFilter;
            using norvik::filedeal::RawVerdict;
            for (bool ignoreCase : {false, true}) {
                const RawVerdict verdict =
                    RawTextFilter({find}, RawTextFilter::Place::CharacterStart, ignoreCase).judge(bytes, kind);
                std::string replaced;
                NORVIK_FUZZ_CHECK(verdict != RawVerdict::Holds);
                NORVIK_FUZZ_CHECK(verdict != RawVerdict::Lacks || !ReplaceAllTo(text, find, "", ignoreCase, replaced));
            }
            const RawVerdict verdict = RawTextFilter({find}, RawTextFilter::Place::Anywhere, false).judge(bytes, kind);
            const bool found = text.find(find) != std::string::npos;
            NORVIK_FUZZ_CHECK(verdict == RawVerdict::Unknown || (verdict == RawVerdict::Holds) == found);
        }
    }

    // The round trip of the detected kind, as the job does it.
    if (kind == EncodingKind::Utf8Bom || kind == EncodingKind::Utf16Le || kind == EncodingKind::Utf8) {
        CheckUnicodeRoundTrip(bytes, kind);
    }

    if (size % 8 == 3) {
        CheckThroughFiles(bytes, kind);
    }

    // The input taken as a working text: every writer takes it.
    for (EncodingKind writer : {EncodingKind::Utf8, EncodingKind::Utf8Bom, EncodingKind::Utf16Le}) {
        bool exact = false;
        const std::string written = EncodeText(bytes, writer, &exact);
        bool reference = true;
        (void)CodePageToUtf16(bytes, &reference);
        NORVIK_FUZZ_CHECK(exact == reference);
    }
    return 0;
}
