#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "filedeal/HexText.h"
#include "filedeal/Replace.h"

using namespace norvik::filedeal;
using norvik::test::Bytes;

namespace {

std::string Replaced(std::string text, std::string_view find, std::string_view with, bool ignoreCase = false) {
    ReplaceAll(text, find, with, ignoreCase);
    return text;
}

std::vector<std::string> Spans(std::string_view text, std::string_view start, std::string_view end) {
    std::vector<std::string> spans{"stale"};
    CollectSpans(text, start, end, spans);
    return spans;
}

// An obviously correct reference: walk the text character by character (a lead byte with a byte
// after it is one character), and replace at every character start where the find text matches.
std::string ReferenceReplace(const std::string& text, const std::string& find, const std::string& with) {
    std::string out;
    std::size_t i = 0;
    bool trail = false;
    std::size_t leadRun = 0;
    while (i < text.size()) {
        // The position is a second byte when the run of lead-range bytes before it is odd.
        trail = (leadRun % 2) == 1;
        if (!trail && text.compare(i, find.size(), find) == 0) {
            out += with;
            i += find.size();
            leadRun = 0; // the bytes before the next position are part of the match: recount
            std::size_t k = i;
            while (k > 0 && static_cast<unsigned char>(text[k - 1]) >= 0x81 &&
                   static_cast<unsigned char>(text[k - 1]) <= 0xFE) {
                --k;
                ++leadRun;
            }
            continue;
        }
        const auto b = static_cast<unsigned char>(text[i]);
        leadRun = (b >= 0x81 && b <= 0xFE) ? leadRun + 1 : 0;
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

} // namespace

TEST(ReplaceAll, LeftToRightWithoutOverlapOrRescan) {
    EXPECT_EQ(Replaced("aaa", "aa", "b"), "ba");
    EXPECT_EQ(Replaced("aba", "a", "aa"), "aabaa");
    EXPECT_EQ(Replaced("abc", "", "x"), "abc");
    EXPECT_EQ(Replaced("abc", "abcd", "x"), "abc");
    EXPECT_EQ(Replaced("one two one", "one", ""), " two ");
    EXPECT_EQ(Replaced(std::string("a\0b\0", 4), std::string("\0", 1), "-"), "a-b-");
}

TEST(ReplaceAll, IgnoreCaseFoldsAsciiOnlyAndInsertsAsTyped) {
    EXPECT_EQ(Replaced("ABC Abc abc", "abc", "xY", true), "xY xY xY");
    EXPECT_EQ(Replaced("ABC Abc abc", "abc", "xY", false), "ABC Abc xY");
    // The trail byte 0x61 of a double-byte character is never folded or matched.
    EXPECT_EQ(Replaced(Bytes("8161") + "a", "A", "z", true), Bytes("8161") + "z");
}

TEST(ReplaceAll, NeverMatchesTheSecondByteOfADoubleByteCharacter) {
    EXPECT_EQ(Replaced(Bytes("8141") + "A", "A", "B"), Bytes("8141") + "B");
    // Two lead-range bytes before the candidate form one character: the candidate starts a character.
    EXPECT_EQ(Replaced(Bytes("B0A1") + "A", "A", "B"), Bytes("B0A1") + "B");
    // A long run of one character as its own find text: every match is on a character start.
    std::string run;
    for (int i = 0; i < 1000; ++i) {
        run += Bytes("B0A1");
    }
    EXPECT_EQ(Replaced(run, Bytes("B0A1"), "x"), std::string(1000, 'x'));
    EXPECT_EQ(Replaced(Bytes("A1B0A1"), Bytes("B0A1"), "x"), Bytes("A1B0A1"));
}

TEST(ReplaceAll, MatchesAReferenceOnRandomTexts) {
    std::mt19937 rng(12345);
    const std::string alphabet = std::string("aAb") + Bytes("81 41 B0 A1 FE");
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        std::string find;
        const int len = static_cast<int>(rng() % 24);
        for (int i = 0; i < len; ++i) {
            text.push_back(alphabet[pick(rng)]);
        }
        const int flen = 1 + static_cast<int>(rng() % 3);
        for (int i = 0; i < flen; ++i) {
            find.push_back(alphabet[pick(rng)]);
        }
        ASSERT_EQ(Replaced(text, find, "<>"), ReferenceReplace(text, find, "<>"))
            << norvik::filedeal::TextToHex(text) << " / " << norvik::filedeal::TextToHex(find);
        // In place, with a replacement no longer than the find (a lead byte among them, so that a
        // replacement can change what the bytes after it look like from behind).
        const std::string replacements[] = {"", Bytes("81"), "b" + Bytes("81")};
        const std::string with = replacements[rng() % 3].substr(0, find.size());
        std::string inPlace = text;
        const std::size_t count = norvik::filedeal::ReplaceAllInPlace(inPlace, find, with);
        ASSERT_EQ(inPlace, ReferenceReplace(text, find, with))
            << norvik::filedeal::TextToHex(text) << " / " << norvik::filedeal::TextToHex(find);
        ASSERT_EQ(count > 0, ReferenceReplace(text, find, "<>") != text); // "<>" is no byte of the texts
    }
}

TEST(Spans, CollectedShortestFirstWithoutNesting) {
    EXPECT_EQ(Spans("xSaEySbEz", "S", "E"), (std::vector<std::string>{"SaE", "SbE"}));
    EXPECT_EQ(Spans("SaSbEcE", "S", "E"), (std::vector<std::string>{"SaSbE"}));
    EXPECT_EQ(Spans("QaQbQcQ", "Q", "Q"), (std::vector<std::string>{"QaQ", "QcQ"}));
    EXPECT_EQ(Spans("SaES", "S", "E"), (std::vector<std::string>{"SaE"}));
    EXPECT_TRUE(Spans("abc", "S", "E").empty());
    EXPECT_TRUE(Spans("SaE", "", "E").empty());
    EXPECT_EQ(Spans("SaEbSaE", "S", "E"), (std::vector<std::string>{"SaE", "SaE"}));
}

TEST(Spans, ReplacementAndExtraction) {
    std::string text = "xSaEySbEz";
    ReplaceSpans(text, Spans(text, "S", "E"), "R");
    EXPECT_EQ(text, "xRyRz");
    EXPECT_EQ(ExtractSpans(Spans("xSaEySbEz", "S", "E")), "SaE\r\nSbE\r\n");
    EXPECT_EQ(ExtractSpans({}), "");
    text = "SaEbSaE";
    ReplaceSpans(text, Spans(text, "S", "E"), "R");
    EXPECT_EQ(text, "RbR");
    // Neither a start nor an end matches from the second byte of a double-byte character: an end
    // typed as 啊 (B0 A1) matched across two characters and left half of one behind.
    const std::string gbk = Bytes("81 41") + "xE";
    EXPECT_TRUE(Spans(gbk, "A", "E").empty());
    EXPECT_EQ(Spans("S" + Bytes("81B0 A1C1") + "x" + Bytes("B0A1"), "S", Bytes("B0A1")),
              (std::vector<std::string>{"S" + Bytes("81B0 A1C1") + "x" + Bytes("B0A1")}));
    EXPECT_TRUE(Spans("S" + Bytes("81B0 A1C1"), "S", Bytes("B0A1")).empty());
    EXPECT_EQ(Spans(Bytes("81B0 A1") + "xE" + Bytes("B0A1") + "yE", Bytes("B0A1"), "E"),
              (std::vector<std::string>{Bytes("B0A1") + "yE"}));
}

// Span replacement as first built: every span in turn replaced across the whole text.
std::string SpanBySpan(const std::string& text, const std::string& start, const std::string& end,
                       const std::string& with) {
    std::string out = text;
    for (const auto& span : Spans(text, start, end)) {
        out = ReferenceReplace(out, span, with);
    }
    return out;
}

TEST(Spans, OnePassEqualsSpanBySpanOnRandomTexts) {
    std::mt19937 rng(777);
    const std::string alphabet = std::string("SEab") + Bytes("81 B0 A1");
    const auto randomText = [&](std::size_t most) {
        std::string t;
        const std::size_t len = rng() % (most + 1);
        for (std::size_t i = 0; i < len; ++i) {
            t.push_back(alphabet[rng() % alphabet.size()]);
        }
        return t;
    };
    int onePass = 0;
    int spanBySpan = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string text = randomText(40);
        std::string start = randomText(2);
        std::string end = randomText(2);
        if (start.empty() || end.empty()) {
            start = "S";
            end = "E";
        }
        const std::string with = randomText(3);
        const std::string expected = SpanBySpan(text, start, end, with);
        std::string fast = text;
        int calls = 0;
        const bool linear = ReplaceSpansInOnePass(fast, start, end, with, [&] { ++calls; });
        (linear ? onePass : spanBySpan) += 1;
        if (linear) {
            ASSERT_EQ(fast, expected) << norvik::filedeal::TextToHex(text) << " / "
                                      << norvik::filedeal::TextToHex(start) << " / " << norvik::filedeal::TextToHex(end)
                                      << " / " << norvik::filedeal::TextToHex(with);
            ASSERT_EQ(calls, static_cast<int>(Spans(text, start, end).size()));
        } else {
            ASSERT_EQ(fast, text);
            ASSERT_EQ(calls, 0);
        }
        std::string viaRule = text;
        ReplaceSpanRule(viaRule, start, end, with);
        ASSERT_EQ(viaRule, expected);
    }
    // Both ways are exercised, and the linear one for most rules.
    EXPECT_GT(onePass, spanBySpan);
    EXPECT_GT(spanBySpan, 100);
}

TEST(Spans, OnePassServesTheRulesMetInPractice) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "<p>" + std::to_string(i) + "<!--note " + std::to_string(i % 7) + "--></p>" + Bytes("B0A1");
    }
    for (const char* with : {"", "[cut]", "<!--x-->", "<!--a<!--b--> -->"}) {
        std::string fast = text;
        ASSERT_TRUE(ReplaceSpansInOnePass(fast, "<!--", "-->", with, {})) << with;
        EXPECT_EQ(fast, SpanBySpan(text, "<!--", "-->", with));
    }
    // Adjacent spans deleted: the joins never form a new start string.
    std::string adjacent = "<!--a--><!--b--><!--a-->x";
    ASSERT_TRUE(ReplaceSpansInOnePass(adjacent, "<!--", "-->", "", {}));
    EXPECT_EQ(adjacent, "x");
}

TEST(Spans, ReplacementsThatFormNewSpansGoSpanBySpan) {
    // Deleting the span joins "a" and "b" into a new start string, which a later duplicate replaces.
    const std::string text = "a" + std::string("abxc") + "bxc" + "_abxc";
    std::string fast = text;
    EXPECT_FALSE(ReplaceSpansInOnePass(fast, "ab", "c", "", {}));
    EXPECT_EQ(fast, text);
    std::string viaRule = text;
    ReplaceSpanRule(viaRule, "ab", "c", "");
    EXPECT_EQ(viaRule, SpanBySpan(text, "ab", "c", ""));
    EXPECT_EQ(viaRule, "_");
    // A replacement holding a start string without an end after it.
    const std::string open = "<!--a-->x<!--b-->";
    viaRule = open;
    ReplaceSpanRule(viaRule, "<!--", "-->", "<!--");
    EXPECT_EQ(viaRule, SpanBySpan(open, "<!--", "-->", "<!--"));
    // A span holding its own start string inside.
    viaRule = "SSaE SaE";
    ReplaceSpanRule(viaRule, "S", "E", "R");
    EXPECT_EQ(viaRule, SpanBySpan("SSaE SaE", "S", "E", "R"));
}
