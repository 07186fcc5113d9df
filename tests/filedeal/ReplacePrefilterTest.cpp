#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestSupport.h"
#include "filedeal/CodePage.h"
#include "filedeal/HexText.h"
#include "filedeal/Replace.h"
#include "filedeal/ReplacePrefilter.h"
#include "filedeal/TextCodec.h"

using namespace norvik::filedeal;
using norvik::test::Bytes;

namespace {

using Place = RawTextFilter::Place;

// Pieces that working texts and find texts are made of: letters in both cases, '?', line breaks,
// zero, Chinese characters (one with a trail byte in the letter range), the euro sign 0x80, a lone
// lead byte, and the lead/trail pairs of characters the Unicode forms meet at their edges.
const std::vector<std::string>& Pieces() {
    static const std::vector<std::string> pieces = {
        "a",           "A",           "b",           "B",
        "?",           "\r",          "\n",          std::string(1, '\0'),
        Bytes("B0A1"), Bytes("8141"), Bytes("8161"), Bytes("80"),
        Bytes("81"),   Bytes("A1"),   Bytes("C4E3"), " ",
    };
    return pieces;
}

// File bodies the encoders never write but the readers accept: overlong and surrogate UTF-8 forms,
// units the code page lacks, a stray odd byte.
const std::vector<std::string>& OddBytes() {
    static const std::vector<std::string> odd = {
        Bytes("C1A1"),
        Bytes("C080"),
        Bytes("E08181"),
        Bytes("EDA080"),
        Bytes("E4B8"),
        Bytes("F09F9880"),
        Bytes("0001"),
        Bytes("41"),
        Bytes("3D04"),
        Bytes("FF"),
        // Characters beyond the code page: an emoji, Korean, a check mark, in UTF-8 and UTF-16; a
        // form past U+10FFFF; digits beside them.
        Bytes("F09F9881"),
        Bytes("ED959C"),
        Bytes("E29C93"),
        Bytes("3DD801DE"),
        Bytes("5CD5"),
        Bytes("F4908080"),
        "01",
    };
    return odd;
}

std::string RandomText(std::mt19937& rng, std::size_t most) {
    std::string text;
    const std::size_t count = rng() % (most + 1);
    for (std::size_t i = 0; i < count; ++i) {
        text += Pieces()[rng() % Pieces().size()];
    }
    return text;
}

// The bytes of a file of `kind`: usually the encoded form of a working text, now and then with odd
// bytes spliced in.
std::string RandomFile(std::mt19937& rng, EncodingKind kind, const std::string& text) {
    std::string bytes = EncodeText(text, kind).bytes;
    if (rng() % 3 == 0) {
        const std::size_t mark = kind == EncodingKind::Utf16Le ? 2 : kind == EncodingKind::Utf8Bom ? 3 : 0;
        const std::size_t at = mark + rng() % (bytes.size() - mark + 1);
        bytes.insert(at, OddBytes()[rng() % OddBytes().size()]);
    }
    return bytes;
}

bool FoundAtCharacterStart(const std::string& text, const std::string& find, bool ignoreCase) {
    std::string out;
    return ReplaceAllTo(text, find, "", ignoreCase, out);
}

} // namespace

// The filter against the full path (detect, decode, look) on random files in every encoding: Lacks
// only where the working text lacks every text, Holds only where it holds the text.
TEST(RawTextFilter, AgreesWithDecodingOnRandomFiles) {
    std::mt19937 rng(4242);
    const EncodingKind kinds[] = {EncodingKind::Ansi, EncodingKind::Utf16Le, EncodingKind::Utf8Bom, EncodingKind::Utf8};
    int lacks = 0;
    int holds = 0;
    for (int round = 0; round < 40000; ++round) {
        const std::string text = RandomText(rng, 24);
        const std::string bytes = RandomFile(rng, kinds[rng() % 4], text);
        const EncodingKind kind = DetectEncodingOfBytes(bytes);
        TextFacts facts;
        const std::string working = DecodeText(bytes, kind, &facts);
        std::vector<std::string> finds;
        const std::size_t count = 1 + rng() % 2;
        for (std::size_t i = 0; i < count; ++i) {
            // Often a piece of the text itself, so that hits are common.
            if (!working.empty() && rng() % 2 == 0) {
                const std::size_t from = rng() % working.size();
                finds.push_back(working.substr(from, 1 + rng() % 4));
            } else {
                finds.push_back(RandomText(rng, 3));
            }
        }
        const bool ignoreCase = rng() % 3 == 0;
        const auto context = [&] {
            std::string c = "file " + norvik::filedeal::TextToHex(bytes) + " finds";
            for (const auto& f : finds) {
                c += " " + norvik::filedeal::TextToHex(f);
            }
            return c + (ignoreCase ? " ignoring case" : "");
        };

        const RawVerdict replaceVerdict = RawTextFilter(finds, Place::CharacterStart, ignoreCase).judge(bytes, kind);
        ASSERT_NE(replaceVerdict, RawVerdict::Holds) << context();
        if (replaceVerdict == RawVerdict::Lacks) {
            ++lacks;
            // A file that does not decode is never ruled out unread (only when there is nothing to look for).
            ASSERT_TRUE(facts.decodes || std::ranges::all_of(finds, &std::string::empty)) << context();
            for (const auto& f : finds) {
                ASSERT_FALSE(FoundAtCharacterStart(working, f, ignoreCase)) << context();
            }
        }

        const RawVerdict searchVerdict = RawTextFilter({finds[0]}, Place::Anywhere, false).judge(bytes, kind);
        const bool found = FindAnywhere(working, finds[0], facts.set()) != std::string::npos;
        if (searchVerdict != RawVerdict::Unknown) {
            ASSERT_TRUE(facts.decodes || finds[0].empty()) << context();
            ASSERT_EQ(searchVerdict == RawVerdict::Holds, found) << context();
            holds += found ? 1 : 0;
        }
    }
    // The filter decides a good share of the files, or it would not be worth its scan.
    EXPECT_GT(lacks, 8000);
    EXPECT_GT(holds, 4000);
}

TEST(RawTextFilter, DecidesOnlyWhatItCanProve) {
    const std::string utf8 = EncodeText("abc " + Bytes("C4E3") + " def", EncodingKind::Utf8).bytes;
    const RawTextFilter find({"xyz"}, Place::Anywhere, false);
    EXPECT_EQ(find.judge(utf8, EncodingKind::Utf8), RawVerdict::Lacks);
    EXPECT_EQ(RawTextFilter({"def"}, Place::Anywhere, false).judge(utf8, EncodingKind::Utf8), RawVerdict::Holds);
    // An overlong form reads as a character the bytes do not show: not judged.
    const std::string overlong = utf8 + Bytes("C1A1");
    EXPECT_EQ(find.judge(overlong, EncodingKind::Utf8), RawVerdict::Unknown);
    // "xyz" with a four-byte form of x (F0 80 81 B8) was taken to lack it; F0 before 90-BF is an emoji.
    EXPECT_EQ(find.judge(utf8 + Bytes("F08081B8") + "yz", EncodingKind::Utf8), RawVerdict::Unknown);
    EXPECT_EQ(find.judge(utf8 + Bytes("F09F9880"), EncodingKind::Utf8), RawVerdict::Lacks);
    // '?' is a question mark like any other; an ANSI line break is rewritten on reading.
    EXPECT_EQ(RawTextFilter({"c?"}, Place::Anywhere, false).judge(utf8 + "c?", EncodingKind::Utf8), RawVerdict::Holds);
    EXPECT_EQ(RawTextFilter({"a\r\nb"}, Place::CharacterStart, false).judge("a\nb", EncodingKind::Ansi),
              RawVerdict::Unknown);
    // In UTF-16 a hit at an odd offset proves nothing.
    const std::string utf16 = Bytes("FFFE 00 41 00 42");
    EXPECT_EQ(RawTextFilter({"AB"}, Place::Anywhere, false)
                  .judge(Bytes("FFFE") + "A" + Bytes("00") + "B" + Bytes("00"), EncodingKind::Utf16Le),
              RawVerdict::Holds);
    EXPECT_NE(RawTextFilter({Bytes("00") + "A"}, Place::Anywhere, false).judge(utf16, EncodingKind::Utf16Le),
              RawVerdict::Holds);
    // Letter case and no text at all.
    EXPECT_EQ(RawTextFilter({"ABC"}, Place::CharacterStart, true).judge(utf8, EncodingKind::Utf8), RawVerdict::Unknown);
    EXPECT_EQ(RawTextFilter({"ABC"}, Place::CharacterStart, false).judge(utf8, EncodingKind::Utf8), RawVerdict::Lacks);
    EXPECT_EQ(RawTextFilter({""}, Place::CharacterStart, false).judge(utf8, EncodingKind::Utf8), RawVerdict::Lacks);
    // A digit in an emoji's code is no digit of the file; a file that may not decode is decoded, so
    // that its failure is seen.
    const std::string emoji = Bytes("EF BB BF") + "foo " + Bytes("F09F9880");
    EXPECT_EQ(RawTextFilter({"1"}, Place::Anywhere, false).judge(emoji, EncodingKind::Utf8Bom), RawVerdict::Lacks);
    EXPECT_EQ(RawTextFilter({"foo"}, Place::Anywhere, false).judge(emoji, EncodingKind::Utf8Bom), RawVerdict::Holds);
    EXPECT_EQ(find.judge(emoji + Bytes("80"), EncodingKind::Utf8Bom), RawVerdict::Unknown);
    EXPECT_EQ(find.judge("foo" + Bytes("F4908080"), EncodingKind::Utf8), RawVerdict::Unknown);
}

namespace {

// Feeds `bytes` to a judgement in pieces of the given sizes (the last one repeated), checking on the
// way that a judgement that says it is settled never changes its mind.
struct ChunkedOutcome {
    EncodingKind kind = EncodingKind::Unopenable;
    RawVerdict verdict = RawVerdict::Unknown;
    bool settledEarly = false;
    EncodingKind settledKind = EncodingKind::Unopenable;
    RawVerdict settledVerdict = RawVerdict::Unknown;
};

ChunkedOutcome JudgeInChunks(const RawTextFilter& filter, std::string_view bytes,
                             const std::vector<std::size_t>& cuts) {
    RawJudgement judgement(filter);
    ChunkedOutcome outcome;
    std::size_t at = 0;
    for (std::size_t cut : cuts) {
        if (cut <= at || cut > bytes.size()) {
            continue;
        }
        judgement.feed(bytes.substr(at, cut - at));
        at = cut;
        if (judgement.settled() && !outcome.settledEarly) {
            outcome.settledEarly = true;
            outcome.settledKind = judgement.kind();
            outcome.settledVerdict = judgement.verdict();
        }
    }
    judgement.feed(bytes.substr(at));
    judgement.finish();
    outcome.kind = judgement.kind();
    outcome.verdict = judgement.verdict();
    return outcome;
}

// Cut points: pieces of one small size (1, 2, 3, 7 bytes, ...) or of random sizes, plus cuts inside
// the first place where a find text's bytes in some encoding occur, so that needles straddle pieces.
std::vector<std::size_t> RandomCuts(std::mt19937& rng, std::string_view bytes, const std::vector<std::string>& finds) {
    static const std::size_t sizes[] = {1, 2, 3, 7, 16, 63, 64, 65, 4096};
    std::vector<std::size_t> cuts;
    const std::size_t step = rng() % 4 == 0 ? 0 : sizes[rng() % std::size(sizes)];
    for (std::size_t at = 0; at < bytes.size();) {
        at += step != 0 ? step : 1 + rng() % 9;
        cuts.push_back(at);
    }
    for (const std::string& find : finds) {
        bool exact = true;
        for (const std::string& encoded : {find, CodePageToUtf8(find, &exact), CodePageToUtf16Le(find, &exact)}) {
            const std::size_t found = bytes.find(encoded);
            if (found != std::string_view::npos && encoded.size() > 1) {
                cuts.push_back(found + 1 + rng() % (encoded.size() - 1));
            }
        }
    }
    std::ranges::sort(cuts);
    return cuts;
}

} // namespace

// Judging the bytes piece by piece as they are read gives the kind detection gives and the verdict
// judge() gives on the whole bytes, for any split; a verdict settled early is the final one.
TEST(RawJudgement, GivesTheVerdictOfTheWholeBytesHoweverTheyAreSplit) {
    std::mt19937 rng(5151);
    const EncodingKind kinds[] = {EncodingKind::Ansi, EncodingKind::Utf16Le, EncodingKind::Utf8Bom, EncodingKind::Utf8};
    int settled = 0;
    for (int round = 0; round < 30000; ++round) {
        const std::string text = RandomText(rng, round % 10 == 0 ? 400 : 40);
        const std::string bytes = RandomFile(rng, kinds[rng() % 4], text);
        const EncodingKind kind = DetectEncodingOfBytes(bytes);
        const std::string working = DecodeText(bytes, kind);
        std::vector<std::string> finds;
        const std::size_t count = 1 + rng() % 2;
        for (std::size_t i = 0; i < count; ++i) {
            if (!working.empty() && rng() % 3 != 0) {
                finds.push_back(working.substr(rng() % working.size(), 1 + rng() % 6));
            } else {
                finds.push_back(RandomText(rng, 3));
            }
        }
        const std::vector<std::size_t> cuts = RandomCuts(rng, bytes, finds);
        const auto context = [&] {
            std::string c = "file " + norvik::filedeal::TextToHex(bytes) + " finds";
            for (const auto& f : finds) {
                c += " " + norvik::filedeal::TextToHex(f);
            }
            c += " cuts";
            for (std::size_t cut : cuts) {
                c += " " + std::to_string(cut);
            }
            return c;
        };
        const bool ignoreCase = rng() % 3 == 0;
        const RawTextFilter replace(finds, Place::CharacterStart, ignoreCase);
        const RawTextFilter search({finds[0]}, Place::Anywhere, false);
        for (const RawTextFilter* filter : {&replace, &search}) {
            const ChunkedOutcome outcome = JudgeInChunks(*filter, bytes, cuts);
            ASSERT_EQ(outcome.kind, kind) << context();
            ASSERT_EQ(outcome.verdict, filter->judge(bytes, kind)) << context();
            if (outcome.settledEarly) {
                ++settled;
                ASSERT_EQ(outcome.settledVerdict, outcome.verdict) << context();
                ASSERT_TRUE(outcome.settledKind == kind ||
                            (outcome.settledKind == EncodingKind::Unopenable && outcome.verdict == RawVerdict::Unknown))
                    << context();
            }
        }
    }
    EXPECT_GT(settled, 3000); // the reading can stop early often enough to matter
}
