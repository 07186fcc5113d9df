#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "TestSupport.h"
#include "TextFileSupport.h"
#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/HexText.h"
#include "filedeal/TextCodec.h"
#include "filedeal/TextKernels.h"

using namespace norvik::filedeal;
using norvik::filedeal::TextToHex;
using norvik::test::Bytes;
using norvik::test::ReadAnsiText;
using norvik::test::ReadBytes;
using norvik::test::ReadUtf16Text;
using norvik::test::ReadUtf8Text;
using norvik::test::TempDir;
using norvik::test::WriteAnsiText;
using norvik::test::WriteBytes;
using norvik::test::WriteUtf16Text;
using norvik::test::WriteUtf8Text;

namespace {

const std::string kGbkAh = Bytes("B0A1");      // 啊 in GBK
const std::string kUtf8Ah = Bytes("E5 95 8A"); // 啊 in UTF-8
const std::string kUtf16Ah = Bytes("4A 55");   // 啊 as a UTF-16LE unit

EncodingKind KindOf(std::string_view bytes) {
    return DetectEncodingOfBytes(bytes);
}

} // namespace

TEST(CodePage, ConvertsBothWaysAndReportsExactness) {
    bool exact = false;
    EXPECT_EQ(Utf8ToCodePage("a" + kUtf8Ah, &exact), "a" + kGbkAh);
    EXPECT_TRUE(exact);
    EXPECT_EQ(CodePageToUtf8("a" + kGbkAh, &exact), "a" + kUtf8Ah);
    EXPECT_TRUE(exact);
    // The euro sign is byte 0x80 in this code page.
    EXPECT_EQ(Utf8ToCodePage("\xE2\x82\xAC", &exact), "\x80");
    EXPECT_TRUE(exact);
    // A character the code page lacks (Thai ko kai) becomes '?' and is reported.
    EXPECT_EQ(Utf8ToCodePage("x\xE0\xB8\x81y", &exact), "x?y");
    EXPECT_FALSE(exact);
    // A lone lead byte has no character.
    (void)CodePageToUtf16("\x81", &exact);
    EXPECT_FALSE(exact);
    // Zero bytes are content.
    EXPECT_EQ(CodePageToUtf16(std::string("a\0b", 3), &exact), std::u16string(u"a\0b", 3));
}

TEST(CodePage, EveryMappedCharacterRoundTrips) {
    // Every double-byte sequence reported exact must come back to the same bytes; otherwise
    // exactness would let a rewrite change a file.
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const std::string in{static_cast<char>(lead), static_cast<char>(trail)};
            bool toExact = false;
            const std::u16string units = CodePageToUtf16(in, &toExact);
            if (!toExact) {
                continue;
            }
            bool backExact = false;
            const std::string back = Utf16ToCodePage(units, &backExact);
            if (backExact) {
                ASSERT_EQ(back, in) << lead << " " << trail;
            }
        }
    }
}

TEST(CodePage, UpperCasingSkipsDoubleByteCharactersAndFourByteCodes) {
    std::string text = "ab" + Bytes("8161") + "c" + Bytes("8B31FE32") + "d";
    UpperCaseAscii(text);
    EXPECT_EQ(text, "AB" + Bytes("8161") + "C" + Bytes("8B31FE32") + "D");
}

// Characters beyond the code page are numbered without a table: U+1F600 is 128512 = 10 * 12600 +
// 1 * 1260 + 125 * 10 + 2. Every code point has a code of its own that reads back as it.
TEST(CodePage, FourByteCodesNumberEveryCodePoint) {
    char code[4];
    PutFourByteCode(code, 0x1F600);
    EXPECT_EQ(std::string(code, 4), Bytes("8B 31 FE 32"));
    for (char32_t cp = 0; cp <= kLargestCodePoint; cp += (cp < 0x20000 ? 1 : 97)) {
        PutFourByteCode(code, cp);
        ASSERT_EQ(FourByteCodeValue(reinterpret_cast<const unsigned char*>(code)), static_cast<long>(cp));
        ASSERT_FALSE(IsWholeCharacters(std::string_view(code, 4)));
    }
    EXPECT_EQ(FourByteCodeValue(reinterpret_cast<const unsigned char*>("\xFE\x39\xFE\x39")), -1); // past U+10FFFF
    EXPECT_TRUE(IsWholeCharacters("a" + kGbkAh + Bytes("80")));
    EXPECT_TRUE(IsWholeCharacters(""));
    EXPECT_FALSE(IsWholeCharacters("a" + Bytes("B0"))); // half a character
    EXPECT_FALSE(IsWholeCharacters(Bytes("8130")));     // no character of the code page
}

TEST(Detection, MarksAndUtf8Structure) {
    EXPECT_EQ(KindOf(""), EncodingKind::Ansi);
    EXPECT_EQ(KindOf(Bytes("FF FE")), EncodingKind::Utf16Le);
    EXPECT_EQ(KindOf(Bytes("FF")), EncodingKind::Ansi);
    EXPECT_EQ(KindOf(Bytes("EF BB BF")), EncodingKind::Utf8Bom);
    EXPECT_EQ(KindOf(Bytes("EF BB BF FF FF")), EncodingKind::Utf8Bom);
    EXPECT_EQ(KindOf("plain ascii text\r\n"), EncodingKind::Ansi);
    EXPECT_EQ(KindOf("x" + kUtf8Ah), EncodingKind::Utf8);
    EXPECT_EQ(KindOf("x" + kGbkAh), EncodingKind::Ansi);
    EXPECT_EQ(KindOf("abc" + Bytes("C3")), EncodingKind::Ansi); // truncated two-byte form
    EXPECT_FALSE(IsUtf8Text(""));
    // Long ASCII runs before and after the multi-byte part exercise the fast path.
    EXPECT_TRUE(IsUtf8Text(std::string(100, 'a') + kUtf8Ah + std::string(13, 'b')));
    EXPECT_FALSE(IsUtf8Text(std::string(100, 'a') + Bytes("E5 95") + std::string(13, 'b')));
}

// The scan behind detection and the raw filter, fed in random pieces, at both widths (the wide one only
// where the processor runs it): the same structure and forms as IsUtf8Text and a byte-by-byte look.
TEST(Detection, Utf8ScanIsTheSameAtEveryWidthAndForAnySplit) {
    std::mt19937 rng(2026);
    const std::string pieces[] = {
        "a",           Bytes("C3A9"),        Bytes("E4B8AD"),      Bytes("F09F9880"),   Bytes("80"),
        Bytes("C1BF"), Bytes("E0A080"),      Bytes("F4908080"),    Bytes("F08081B8"),   Bytes("F8"),
        Bytes("FE"),   std::string(1, '\0'), std::string(70, 'x'), std::string(61, 'x')};
    using Watch = Utf8Scan::Watch;
    std::vector<Utf8Scan::Width> widths = {Utf8Scan::Width::Narrow};
    if (Utf8Scan::widest() == Utf8Scan::Width::Wide) {
        widths.push_back(Utf8Scan::Width::Wide);
    }
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        for (std::size_t n = rng() % 60; n > 0; --n) {
            bytes += pieces[rng() % (round % 2 == 0 ? 9 : std::size(pieces))];
        }
        bool overlong = false;
        bool mayNotDecode = false;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            const bool lowNext = i + 1 < bytes.size() && (static_cast<unsigned char>(bytes[i + 1]) & 0xF0) == 0x80;
            overlong |= b == 0xC0 || b == 0xC1 || b == 0xE0 || (b == 0xF0 && lowNext);
            mayNotDecode |= b >= 0xF4;
        }
        const bool utf8 = IsUtf8Text(bytes);
        for (const Utf8Scan::Width width : widths) {
            for (const Watch watch : {Watch::Structure, Watch::StructureAndForms, Watch::Forms}) {
                Utf8Scan scan(watch, width);
                for (std::size_t at = 0; at < bytes.size();) {
                    const std::size_t piece = 1 + rng() % 150;
                    scan.feed(std::string_view(bytes).substr(at, piece));
                    at += piece;
                }
                scan.finish();
                const std::string context = TextToHex(bytes) + " watch " + std::to_string(static_cast<int>(watch));
                if (watch != Watch::Forms) {
                    ASSERT_EQ(scan.isUtf8(), utf8) << context;
                }
                if (watch == Watch::Forms || (watch == Watch::StructureAndForms && utf8)) {
                    ASSERT_EQ(scan.maybeOverlong(), overlong) << context;
                    ASSERT_EQ(scan.mayNotDecode(), mayNotDecode) << context;
                }
            }
        }
    }
}

TEST(Detection, PathBasedDetectionOfMissingFolderAndFile) {
    TempDir dir;
    EXPECT_EQ(DetectEncoding(dir / "missing.txt"), EncodingKind::Unopenable);
    EXPECT_EQ(DetectEncoding(dir.path()), EncodingKind::Unopenable);
    WriteBytes(dir / "u.txt", Bytes("FF FE 41 00"));
    EXPECT_EQ(DetectEncoding(dir / "u.txt"), EncodingKind::Utf16Le);
}

TEST(AnsiText, LineBreaksNormaliseToCrLf) {
    EXPECT_EQ(DecodeAnsi(""), "");
    EXPECT_EQ(DecodeAnsi("a\nb"), "a\r\nb\r\n");
    EXPECT_EQ(DecodeAnsi("a\rb"), "a\r\nb\r\n");
    EXPECT_EQ(DecodeAnsi("\r\n"), "\r\n");
    EXPECT_EQ(DecodeAnsi("a\n\rb"), "a\r\n\r\nb\r\n");
    EXPECT_EQ(EncodeText("x\r\ny", EncodingKind::Ansi).bytes, "x\r\ny\r\n");
    EXPECT_EQ(EncodeText("", EncodingKind::Ansi).bytes, "");
    // Zero bytes are kept, not cut.
    EXPECT_EQ(DecodeAnsi(std::string("a\0b\n", 4)), std::string("a\0b\r\n", 5));
}

TEST(Utf16Text, ReadingAndWriting) {
    EXPECT_EQ(DecodeUtf16(Bytes("FF FE")), "");
    EXPECT_EQ(DecodeUtf16(Bytes("FF FE 41 00 42")), "A"); // odd last byte ignored
    EXPECT_EQ(DecodeUtf16(Bytes("FF FE 41 00 00 00 42 00")), std::string("A\0B", 3));
    EXPECT_EQ(DecodeUtf16(Bytes("FF FE") + kUtf16Ah), kGbkAh);
    EXPECT_EQ(EncodeText("", EncodingKind::Utf16Le).bytes, Bytes("FF FE"));
    EXPECT_EQ(EncodeText("A" + kGbkAh, EncodingKind::Utf16Le).bytes, Bytes("FF FE 41 00") + kUtf16Ah);
}

TEST(Utf8Text, ReadingAndWriting) {
    EXPECT_EQ(DecodeUtf8(Bytes("EF BB BF"), true), "");
    EXPECT_EQ(DecodeUtf8(Bytes("EF BB BF") + "a" + kUtf8Ah, true), "a" + kGbkAh);
    EXPECT_EQ(DecodeUtf8("a" + kUtf8Ah, false), "a" + kGbkAh);
    // A four-byte form is a character like any other; a truncated form or a bad continuation empties
    // the whole text (and the decoder says so).
    EXPECT_EQ(DecodeUtf8(Bytes("EF BB BF 61 F0 9F 98 80"), true), "a" + Bytes("8B 31 FE 32"));
    EXPECT_EQ(DecodeUtf8("abc" + Bytes("E5 95"), false), "");
    TextFacts facts;
    EXPECT_EQ(DecodeText(Bytes("EF BB BF 61 F5 80 80 80"), EncodingKind::Utf8Bom, &facts), "");
    EXPECT_FALSE(facts.decodes); // past U+10FFFF
    EXPECT_EQ(DecodeText(Bytes("EF BB BF 61 FF"), EncodingKind::Utf8Bom, &facts), "");
    EXPECT_FALSE(facts.decodes);
    EXPECT_FALSE(facts.exact);
    EXPECT_EQ(DecodeUtf8("a" + Bytes("C3 41"), false), "");
    EXPECT_EQ(EncodeText("", EncodingKind::Utf8Bom).bytes, Bytes("EF BB BF"));
    EXPECT_EQ(EncodeText("", EncodingKind::Utf8).bytes, "");
    EXPECT_EQ(EncodeText(std::string("a\0", 2) + kGbkAh, EncodingKind::Utf8).bytes, std::string("a\0", 2) + kUtf8Ah);
}

TEST(RoundTrip, UnchangedTextComesBackByteForByte) {
    const std::string samples[] = {
        Bytes("FF FE 41 00 0D 00 0A 00") + kUtf16Ah + Bytes("00 00 0A 00"),
        Bytes("EF BB BF") + "line\n" + kUtf8Ah + "\r\nend",
        "lf only\n" + kUtf8Ah + std::string("\0zero", 5),
    };
    for (const auto& bytes : samples) {
        const EncodingKind kind = DetectEncodingOfBytes(bytes);
        const std::string text = DecodeText(bytes, kind);
        EXPECT_EQ(EncodeText(text, kind).bytes, bytes);
        EXPECT_TRUE(SurvivesRoundTrip(bytes, text, kind));
    }
}

// Emoji, Korean and symbols the code page lacks, in both UTF-8 forms and in UTF-16 (a surrogate pair,
// a lone surrogate too): each becomes a four-byte code that is written back as the character it was.
TEST(RoundTrip, CharactersBeyondTheCodePageComeBackWhole) {
    const std::string utf8 = Bytes("F0 9F 98 80") + "a" + Bytes("ED 95 9C EA B5 AD E2 9C 93 C2 80") + kUtf8Ah;
    const std::string utf16 = Bytes("3D D8 00 DE 61 00 5C D5 6D AD 13 27 80 00") + kUtf16Ah + Bytes("00 D8 41 00");
    const std::string files[] = {utf8, Bytes("EF BB BF") + utf8, Bytes("FF FE") + utf16};
    for (const std::string& bytes : files) {
        const EncodingKind kind = DetectEncodingOfBytes(bytes);
        TextFacts facts;
        const std::string text = DecodeText(bytes, kind, &facts);
        EXPECT_TRUE(facts.decodes && facts.exact && facts.beyondCodePage) << TextToHex(bytes);
        EXPECT_EQ(text.substr(0, 5), Bytes("8B 31 FE 32") + "a");
        EXPECT_NE(text.find(kGbkAh), std::string::npos);
        EXPECT_EQ(EncodeText(text, kind, CharacterSet::Unicode).bytes, bytes);
        EXPECT_TRUE(SurvivesRoundTrip(bytes, text, kind, facts.set()));
        // In the code page's set a code has no character: written so, the file would lose it.
        EXPECT_FALSE(SurvivesRoundTrip(bytes, text, kind, CharacterSet::CodePage));
    }
    // The display of a code page text never takes a code for a character.
    EXPECT_EQ(CodePageToUtf8(Bytes("8B 31 FE 32")), Bytes("EF BF BD 31 EF BF BD 32"));
}

TEST(RoundTrip, TextsThatDoNotSurviveAreDetected) {
    // An odd UTF-16 byte and an overlong UTF-8 form would each change the file if it were rewritten.
    const std::string odd = Bytes("FF FE 41 00 42");
    EXPECT_FALSE(SurvivesRoundTrip(odd, DecodeText(odd, EncodingKind::Utf16Le), EncodingKind::Utf16Le));
    const std::string overlong = Bytes("EF BB BF C1 81 E5 95 8A");
    EXPECT_FALSE(SurvivesRoundTrip(overlong, DecodeText(overlong, EncodingKind::Utf8Bom), EncodingKind::Utf8Bom));
    EXPECT_FALSE(EncodeText("a\x81", EncodingKind::Utf8).exact); // a lone lead byte has no character
}

// The decoder's own verdict, which the job trusts before a rewrite, against encoding the text again,
// on random bytes of every Unicode kind built from pieces near the edges of what round-trips.
TEST(RoundTrip, DecoderTellsWhetherTheTextSurvives) {
    const std::string pieces[] = {"a",
                                  "\n",
                                  Bytes("00"),
                                  kUtf8Ah,
                                  Bytes("C1 81"),
                                  Bytes("C2 80"),
                                  Bytes("E0 81 81"),
                                  Bytes("E0 B8 81"),
                                  Bytes("ED A0 80"),
                                  Bytes("F0 9F 98 80"),
                                  Bytes("80"),
                                  Bytes("41 00"),
                                  kUtf16Ah,
                                  Bytes("00 D8"),
                                  Bytes("AC 20"),
                                  Bytes("3F 00")};
    const std::string marks[] = {"", Bytes("EF BB BF"), Bytes("FF FE"), Bytes("EF BB")};
    std::mt19937 rng(99);
    int survived = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string bytes = marks[rng() % 4];
        const int count = static_cast<int>(rng() % 8);
        for (int i = 0; i < count; ++i) {
            bytes += pieces[rng() % std::size(pieces)];
        }
        for (EncodingKind kind : {EncodingKind::Utf16Le, EncodingKind::Utf8Bom, EncodingKind::Utf8}) {
            TextFacts facts;
            const std::string text = DecodeText(bytes, kind, &facts);
            ASSERT_EQ(text, DecodeText(bytes, kind));
            ASSERT_EQ(facts.exact, SurvivesRoundTrip(bytes, text, kind, facts.set())) << TextToHex(bytes);
            // Codes are there exactly when the code page's set cannot hold the text.
            ASSERT_TRUE(!facts.exact || facts.beyondCodePage != SurvivesRoundTrip(bytes, text, kind))
                << TextToHex(bytes);
            survived += facts.exact ? 1 : 0;
        }
    }
    EXPECT_GT(survived, 2000);
}

TEST(Writers, PathWritersProduceTheEncodedBytes) {
    TempDir dir;
    ASSERT_TRUE(WriteAnsiText("x\r\ny", dir / "a.txt"));
    EXPECT_EQ(ReadBytes(dir / "a.txt"), "x\r\ny\r\n");
    ASSERT_TRUE(WriteUtf16Text("", dir / "u.txt"));
    EXPECT_EQ(ReadBytes(dir / "u.txt"), Bytes("FF FE"));
    ASSERT_TRUE(WriteUtf8Text(kGbkAh, dir / "m.txt", true));
    EXPECT_EQ(ReadBytes(dir / "m.txt"), Bytes("EF BB BF") + kUtf8Ah);
    EXPECT_EQ(ReadUtf8Text(dir / "m.txt", true), kGbkAh);
    EXPECT_EQ(ReadUtf16Text(dir / "u.txt"), "");
    EXPECT_EQ(ReadAnsiText(dir / "a.txt"), "x\r\ny\r\n");
    EXPECT_THROW((void)ReadAnsiText(dir / "missing.txt"), FileOpenError);
}

TEST(AnsiText, FastPathsAgreeWithALineByLineReference) {
    // Reference: split at CR LF, lone CR and lone LF, then end every line with CR LF.
    const auto reference = [](const std::string& bytes) {
        std::string out;
        std::string line;
        bool pending = false;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == '\r' || c == '\n') {
                out += line + "\r\n";
                line.clear();
                pending = false;
                if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                    ++i;
                }
            } else {
                line.push_back(c);
                pending = true;
            }
        }
        if (pending) {
            out += line + "\r\n";
        }
        return out;
    };
    unsigned seed = 1;
    for (int round = 0; round < 5000; ++round) {
        std::string bytes;
        const int len = round % 17;
        for (int i = 0; i < len; ++i) {
            seed = seed * 1103515245 + 12345;
            bytes.push_back("ab\r\n\r\n"[(seed >> 16) % 6]);
        }
        const std::string expected = reference(bytes);
        ASSERT_EQ(DecodeAnsi(bytes), expected) << round;
        ASSERT_EQ(DecodeAnsiBuffer(std::string(bytes)), expected) << round;
        ASSERT_EQ(EncodeText(bytes, EncodingKind::Ansi).bytes, expected) << round;
    }
}

TEST(Utf16Text, DirectConversionsMatchTheUnitPath) {
    const std::string text = "A" + kGbkAh + std::string("z\0\x81", 3); // ends with a lone lead byte
    bool exactDirect = true;
    bool exactUnits = true;
    const std::u16string units = CodePageToUtf16(text, &exactUnits);
    std::string viaUnits;
    for (char16_t u : units) {
        viaUnits.push_back(static_cast<char>(u & 0xFF));
        viaUnits.push_back(static_cast<char>(u >> 8));
    }
    EXPECT_EQ(CodePageToUtf16Le(text, &exactDirect), viaUnits);
    EXPECT_EQ(exactDirect, exactUnits);
    EXPECT_FALSE(exactDirect); // the lone lead byte
    EXPECT_EQ(Utf16LeToCodePage(viaUnits + "x"), Utf16ToCodePage(units));
}

// Every kernel level (AVX2, SSE2, byte at a time) gives what the byte-at-a-time level gives: random
// inputs of ASCII runs of every length around the block sizes between double-byte characters, UTF-8
// and UTF-16 forms, four-byte codes, line breaks and bytes without a character, read and written by
// every conversion.
TEST(Kernels, EveryLevelGivesTheByteAtATimeResults) {
    struct Restore {
        ~Restore() { UseKernelLevel(WidestKernelLevel()); }
    } const restore;
    const std::vector<std::string> pieces = {kGbkAh,
                                             kUtf8Ah,
                                             kUtf16Ah,
                                             Bytes("8161"),
                                             Bytes("8130 8130"),
                                             Bytes("80"),
                                             Bytes("FF"),
                                             Bytes("F09F9880"),
                                             Bytes("EDA080"),
                                             Bytes("00D8"),
                                             Bytes("7F00"),
                                             "\r\n",
                                             "\n",
                                             "\r",
                                             std::string(1, '\0'),
                                             Bytes("C080"),
                                             Bytes("E4B8AD"),
                                             Bytes("D6D0")};
    std::mt19937 random(20261208);
    const auto pick = [&random](std::size_t n) {
        return static_cast<std::size_t>(random() % n);
    };
    std::vector<KernelLevel> levels = {KernelLevel::Scalar};
    for (const KernelLevel level : {KernelLevel::Sse2, KernelLevel::Avx2}) {
        if (level <= WidestKernelLevel()) {
            levels.push_back(level);
        }
    }
    for (int round = 0; round < 1500; ++round) {
        std::string input = round % 3 == 0 ? "\xFF\xFE" : round % 3 == 1 ? "\xEF\xBB\xBF" : "";
        for (std::size_t count = pick(12); count > 0; --count) {
            input.append(pick(70), static_cast<char>('a' + pick(26)));
            input += pieces[pick(pieces.size())];
        }
        UseKernelLevel(KernelLevel::Scalar);
        const std::vector<std::string> reference = norvik::test::EveryConversionOf(input);
        for (const KernelLevel level : levels) {
            UseKernelLevel(level);
            EXPECT_EQ(norvik::test::EveryConversionOf(input), reference)
                << "level " << static_cast<int>(level) << " " << testing::PrintToString(input);
        }
    }
}
