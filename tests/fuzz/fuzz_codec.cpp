// The text codec on arbitrary bytes: classification against a slow reference, every reader on every
// input (characters beyond the code page as four-byte codes), and the reader-writer round trip the
// job relies on before it rewrites a file.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "../filedeal/TextFileSupport.h"
#include "FuzzSupport.h"
#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/Replace.h"
#include "filedeal/ReplacePrefilter.h"
#include "filedeal/TextCodec.h"
#include "filedeal/TextKernels.h"

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

// Decodes one- to four-byte forms by their bits; false for anything else (a stray continuation byte,
// a missing or wrong continuation byte, a truncated form, a longer form, a value past U+10FFFF).
// `shortest` tells whether every form was the shortest for its value.
bool ReferenceUtf8CodePoints(std::string_view bytes, std::u32string& codePoints, bool& shortest) {
    codePoints.clear();
    shortest = true;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        int ones = 0;
        for (int bit = 7; bit >= 0 && ((b >> bit) & 1) != 0; --bit) {
            ++ones;
        }
        if (ones == 1 || ones > 4) {
            return false;
        }
        const int extra = ones == 0 ? 0 : ones - 1;
        char32_t value = b & (0x7F >> ones);
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
        if (value > 0x10FFFF) {
            return false;
        }
        const int length = value < 0x80 ? 0 : value < 0x800 ? 1 : value < 0x10000 ? 2 : 3;
        shortest = shortest && length == extra;
        codePoints.push_back(value);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

// UTF-16 units to code points: a high surrogate followed by a low one is a pair, any other
// surrogate stands for itself.
std::u32string ReferenceUtf16CodePoints(std::string_view body) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(body[i]) |
                                              (static_cast<unsigned char>(body[i + 1]) << 8)));
    }
    std::u32string codePoints;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            codePoints.push_back(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            codePoints.push_back(u);
        }
    }
    return codePoints;
}

// The working text of code points: each one the code page has (converted alone) as its bytes, every
// other one as its four-byte code, numbered digit by digit.
std::string ReferenceWorkingText(std::u32string_view codePoints) {
    std::string text;
    for (char32_t cp : codePoints) {
        bool exact = cp < 0x10000 && (cp < 0xD800 || cp > 0xDFFF);
        const std::string bytes =
            exact ? norvik::filedeal::Utf16ToCodePage(std::u16string(1, static_cast<char16_t>(cp)), &exact) : "";
        if (exact) {
            text += bytes;
            continue;
        }
        std::uint32_t n = cp;
        const char code[] = {static_cast<char>(0x81 + n / (10 * 126 * 10)),
                             static_cast<char>('0' + n / (126 * 10) % 10), static_cast<char>(0x81 + n / 10 % 126),
                             static_cast<char>('0' + n % 10)};
        text.append(code, 4);
    }
    return text;
}

// True for UTF-8 in shortest form: the bytes a faithful reader and writer must give back unchanged.
bool IsCleanUtf8(std::string_view bytes) {
    std::u32string codePoints;
    bool shortest = false;
    return ReferenceUtf8CodePoints(bytes, codePoints, shortest) && shortest;
}

void CheckUnicodeRoundTrip(std::string_view bytes, EncodingKind kind) {
    using namespace norvik::filedeal;
    TextFacts facts;
    const std::string text = DecodeText(bytes, kind, &facts);
    const auto [written, exact] = EncodeText(text, kind, facts.set());
    const bool survives = SurvivesRoundTrip(bytes, text, kind, facts.set());
    // The decoder tells the same while decoding, as the job relies on.
    NORVIK_FUZZ_CHECK(facts.exact == survives);
    // The promise behind every rewrite: a file that is said to survive comes back byte for byte.
    if (survives) {
        NORVIK_FUZZ_CHECK(written == bytes);
        NORVIK_FUZZ_CHECK(exact);
    }
    // And files that can survive are not refused, whatever characters they hold.
    if (kind == EncodingKind::Utf16Le) {
        NORVIK_FUZZ_CHECK(survives == (bytes.size() % 2 == 0));
    } else {
        const std::string_view body = kind == EncodingKind::Utf8Bom ? bytes.substr(3) : bytes;
        NORVIK_FUZZ_CHECK(survives == IsCleanUtf8(body));
    }
    // Codes only where the code page's set would lose a character.
    if (survives) {
        NORVIK_FUZZ_CHECK(facts.beyondCodePage != SurvivesRoundTrip(bytes, text, kind, CharacterSet::CodePage));
    }
    // The text a reader gives is in canonical form: writing it exactly and reading it again gives it back.
    if (exact) {
        NORVIK_FUZZ_CHECK(DecodeText(written, kind) == text);
    }
}

// The path-based reader and writer of the file's kind agree with the byte-level ones.
void CheckThroughFiles(std::string_view bytes, EncodingKind kind) {
    using namespace norvik::filedeal;
    using namespace norvik::test;
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
    NORVIK_FUZZ_CHECK(ReadFileBytes(target) == EncodeText(text, kind, CharacterSet::Unicode).bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace norvik::filedeal;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Classification, also from every start offset near the front so that the word-at-a-time scan
    // meets the non-ASCII bytes at every alignment.
    NORVIK_FUZZ_CHECK(IsUtf8Text(bytes) == ReferenceIsUtf8(bytes));
    {
        // The same scan fed in uneven pieces, as a file is read.
        Utf8Scan scan;
        for (std::size_t at = 0, piece = 1; at < size; at += piece, piece = piece * 3 % 67 + 1) {
            scan.feed(bytes.substr(at, piece));
        }
        scan.finish();
        NORVIK_FUZZ_CHECK(scan.isUtf8() == ReferenceIsUtf8(bytes));
    }
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
    NORVIK_FUZZ_CHECK(EncodeText(ansi, EncodingKind::Ansi).bytes == ansi);
    NORVIK_FUZZ_CHECK(DecodeText(ansi, EncodingKind::Ansi) == ansi);
    NORVIK_FUZZ_CHECK(SurvivesRoundTrip(bytes, ansi, EncodingKind::Ansi));

    for (EncodingKind unicode : {EncodingKind::Utf8, EncodingKind::Utf8Bom}) {
        const std::string_view body =
            unicode == EncodingKind::Utf8Bom ? bytes.substr(std::min<std::size_t>(3, bytes.size())) : bytes;
        std::u32string codePoints;
        bool shortest = false;
        const bool decodes = ReferenceUtf8CodePoints(body, codePoints, shortest);
        TextFacts facts;
        NORVIK_FUZZ_CHECK(DecodeText(bytes, unicode, &facts) == (decodes ? ReferenceWorkingText(codePoints) : ""));
        NORVIK_FUZZ_CHECK(facts.decodes == decodes);
    }
    NORVIK_FUZZ_CHECK(DecodeText(bytes, EncodingKind::Utf16Le) ==
                      ReferenceWorkingText(ReferenceUtf16CodePoints(bytes.substr(std::min<std::size_t>(2, size)))));

    // The bytes judged without decoding agree with decoding: a piece of the file's own text (so that
    // hits are common) and a few fixed texts, where characters start and anywhere.
    {
        TextFacts facts;
        const std::string text = DecodeText(bytes, kind, &facts);
        std::vector<std::string> finds{"a", "?", "0", std::string("\x81\x41", 2)};
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
                NORVIK_FUZZ_CHECK(verdict != RawVerdict::Lacks || facts.decodes); // never ruled out unread
                NORVIK_FUZZ_CHECK(verdict != RawVerdict::Lacks || !ReplaceAllTo(text, find, "", ignoreCase, replaced));
            }
            const RawTextFilter search({find}, RawTextFilter::Place::Anywhere, false);
            const RawVerdict verdict = search.judge(bytes, kind);
            const bool found = FindAnywhere(text, find, facts.set()) != std::string::npos;
            NORVIK_FUZZ_CHECK(verdict == RawVerdict::Unknown ||
                              (facts.decodes && (verdict == RawVerdict::Holds) == found));
            // Judged as a file is read, in pieces whose sizes the input picks: the kind and verdict of
            // the whole bytes, and a verdict settled early is the final one.
            for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, 3 + size % 7, 61 + size % 11}) {
                norvik::filedeal::RawJudgement judgement(search);
                bool settled = false;
                RawVerdict settledVerdict = RawVerdict::Unknown;
                for (std::size_t at = 0; at < size; at += piece) {
                    judgement.feed(bytes.substr(at, piece));
                    if (!settled && judgement.settled()) {
                        settled = true;
                        settledVerdict = judgement.verdict();
                    }
                }
                judgement.finish();
                NORVIK_FUZZ_CHECK(judgement.kind() == kind);
                NORVIK_FUZZ_CHECK(judgement.verdict() == verdict);
                NORVIK_FUZZ_CHECK(!settled || settledVerdict == verdict);
            }
        }
    }

    // The round trip of the detected kind, as the job does it.
    if (kind == EncodingKind::Utf8Bom || kind == EncodingKind::Utf16Le || kind == EncodingKind::Utf8) {
        CheckUnicodeRoundTrip(bytes, kind);
    }

    if (size % 8 == 3) {
        CheckThroughFiles(bytes, kind);
    }

    // Every kernel level gives what the byte-at-a-time level gives, on every reader and writer.
    UseKernelLevel(KernelLevel::Scalar);
    const std::vector<std::string> byteAtATime = norvik::test::EveryConversionOf(bytes);
    for (const KernelLevel level : {KernelLevel::Sse2, KernelLevel::Avx2}) {
        UseKernelLevel(level);
        NORVIK_FUZZ_CHECK(norvik::test::EveryConversionOf(bytes) == byteAtATime);
    }
    UseKernelLevel(WidestKernelLevel());

    // The input taken as a working text: every writer takes it.
    for (EncodingKind writer : {EncodingKind::Utf8, EncodingKind::Utf8Bom, EncodingKind::Utf16Le}) {
        const bool exact = EncodeText(bytes, writer).exact;
        bool reference = true;
        (void)CodePageToUtf16(bytes, &reference);
        NORVIK_FUZZ_CHECK(exact == reference);
    }
    return 0;
}
