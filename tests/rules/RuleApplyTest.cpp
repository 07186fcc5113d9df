// Applying whole rule lists: order, inert lines, feature rules and extraction.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "filedeal/RawReplace.h"
#include "filedeal/TextCodec.h"
#include "rules/RuleApply.h"
#include "rules/RuleLine.h"

using namespace norvik::rules;

TEST(RuleLists, ParsingKeepsOnlyTheRulesThatCanApply) {
    // Too few fields, a find that is not hex (decodes empty): dropped. A replacement that is not hex
    // decodes empty and still deletes.
    EXPECT_EQ(ParseNormalRules({"6G;63", "61;6G", "62", "", ";63", "41 42;43"}),
              (std::vector<NormalRule>{{"a", ""}, {"A", "B"}}));
    EXPECT_EQ(ParseFeatureRules({"53;45", ";45;52", "53;;52", "53;45;6G", "5X;45;52", "53;45;52;99"}),
              (std::vector<FeatureRule>{{"S", "E", ""}, {"S", "E", "R"}}));
}

TEST(RuleLists, NormalRulesApplyInOrder) {
    std::string text = "ab";
    ApplyNormalRules(text, ParseNormalRules({MakeNormalRuleLine({"a", "b"}), MakeNormalRuleLine({"b", "c"})}), false);
    EXPECT_EQ(text, "cc");
    text = "xabyab";
    ApplyNormalRules(text, ParseNormalRules({"6162;"}), false);
    EXPECT_EQ(text, "xy");
    text = "ab";
    ApplyNormalRules(text, ParseNormalRules({"6G;63", "61;6G", "62", ""}),
                     false); // bad find, bad replacement, short lines
    EXPECT_EQ(text, "b");
    text = "AB";
    ApplyNormalRules(text, ParseNormalRules({MakeNormalRuleLine({"ab", "x"})}), true);
    EXPECT_EQ(text, "x");
}

TEST(RuleLists, FeatureRulesReplaceExtractAndYield) {
    int yields = 0;
    const auto yield = [&] {
        ++yields;
    };
    std::string text = "xSaEySbEz";
    ApplyFeatureRules(text, ParseFeatureRules({MakeFeatureRuleLine({"S", "E", "R"})}), false, yield);
    EXPECT_EQ(text, "xRyRz");
    EXPECT_EQ(yields, 3); // once for the rule, once per span
    // Case-sensitive whatever the job's case option, and empty start/end and short lines are skipped.
    text = "sae";
    ApplyFeatureRules(text, ParseFeatureRules({MakeFeatureRuleLine({"S", "E", "R"}), ";45;52", "53;45"}), false);
    EXPECT_EQ(text, "sae");
    // Extraction: the second rule works on the first rule's output.
    text = "[a(1)b] [c(2)d] (3)";
    ApplyFeatureRules(
        text, ParseFeatureRules({MakeFeatureRuleLine({"[", "]", ""}), MakeFeatureRuleLine({"(", ")", ""})}), true);
    EXPECT_EQ(text, "(1)\r\n(2)\r\n");
    text = "nothing here";
    ApplyFeatureRules(text, ParseFeatureRules({MakeFeatureRuleLine({"[", "]", ""})}), true);
    EXPECT_EQ(text, "");
    text = "unchanged";
    ApplyFeatureRules(text, ParseFeatureRules(RuleList{}), true);
    EXPECT_EQ(text, "unchanged");
}

TEST(RuleLists, CopyFreeApplicationReportsWhetherAnythingWasReplaced) {
    const std::string text = "ab";
    std::string out = "untouched";
    EXPECT_FALSE(ApplyNormalRules(text, out, ParseNormalRules({MakeNormalRuleLine({"x", "y"})}), false));
    EXPECT_EQ(out, "untouched");
    // Replaced and replaced back: reported, and the result equals the text again.
    EXPECT_TRUE(ApplyNormalRules(
        text, out, ParseNormalRules({MakeNormalRuleLine({"a", "b"}), MakeNormalRuleLine({"bb", "ab"})}), false));
    EXPECT_EQ(out, "ab");
    EXPECT_TRUE(ApplyNormalRules(
        text, out, ParseNormalRules({MakeNormalRuleLine({"a", "b"}), MakeNormalRuleLine({"b", "c"})}), false));
    EXPECT_EQ(out, "cc");
    EXPECT_EQ(text, "ab");
}

// Replacing in a Unicode file's own bytes must give exactly what decoding, replacing in the working
// text and encoding give, and decline only what that way could not write back as it read it. Random
// files of valid and broken forms against random rule lists (rules that see each other's output,
// texts that are not whole characters, characters that share their GBK trail byte with a letter).
TEST(RawReplace, GivesTheBytesOfTheWayThroughTheTextOrDeclines) {
    using namespace norvik::filedeal;
    const auto hex = [](std::string_view digits) {
        std::string out;
        for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
            out.push_back(static_cast<char>(std::stoi(std::string(digits.substr(i, 2)), nullptr, 16)));
        }
        return out;
    };
    // UTF-8 pieces: letters, line breaks, a zero, 乤 丄 中 €, an emoji, a Korean syllable, a surrogate
    // (which comes back as it was); then forms that do not decode or are not the shortest.
    const std::vector<std::string> utf8 = {"a",
                                           "A",
                                           "b",
                                           "ab",
                                           "\r\n",
                                           "\n",
                                           std::string(1, '\0'),
                                           hex("E4B9A4"),
                                           hex("E4B884"),
                                           hex("E4B8AD"),
                                           hex("E282AC"),
                                           hex("F09F9880"),
                                           hex("ED959C"),
                                           hex("EDA080"),
                                           hex("80"),
                                           hex("C080"),
                                           hex("E08080"),
                                           hex("F0808181"),
                                           hex("F4908080"),
                                           hex("C3"),
                                           hex("F888808080")};
    constexpr std::size_t kValidUtf8 = 14;
    // UTF-16LE units: the same characters, a pair, lone surrogates.
    const std::vector<std::string> utf16 = {hex("6100"),     hex("4100"), hex("6200"), hex("0D000A00"), hex("0A00"),
                                            hex("0000"),     hex("644E"), hex("044E"), hex("2D4E"),     hex("AC20"),
                                            hex("3DD800DE"), hex("5CD5"), hex("00D8"), hex("00DC")};
    // Rule texts in the code page: a, A, b, CR LF, LF, 乤 (81 61), 丄 (81 41), 中, €, and half characters.
    const std::vector<std::string> texts = {"a",         "A",         "b",       "ab", "\r\n",    "\n",     hex("8161"),
                                            hex("8141"), hex("D6D0"), hex("80"), "",   hex("81"), hex("D6")};
    constexpr std::size_t kWholeTexts = 11;
    std::mt19937 random(20261208);
    const auto pick = [&random](std::size_t n) {
        return static_cast<std::size_t>(random() % n);
    };
    int replaced = 0;
    int declined = 0;
    for (int round = 0; round < 4000; ++round) {
        const int form = round % 3; // Utf8, Utf8Bom, Utf16Le
        std::string bytes = form == 1 ? hex("EFBBBF") : form == 2 ? hex("FFFE") : "";
        const std::size_t pieces = pick(24);
        const bool valid = pick(3) != 0;
        for (std::size_t i = 0; i < pieces; ++i) {
            bytes += form == 2 ? utf16[pick(utf16.size())] : utf8[pick(valid ? kValidUtf8 : utf8.size())];
        }
        if (form == 2 && pick(8) == 0) {
            bytes += "x"; // an odd last byte
        }
        std::vector<NormalRule> rules;
        for (std::size_t r = 1 + pick(3); r > 0; --r) {
            const bool whole = pick(6) != 0;
            const std::string find = texts[pick(whole ? kWholeTexts - 1 : texts.size())]; // never empty when whole
            if (!find.empty()) {
                rules.push_back({find + (pick(3) == 0 ? texts[pick(kWholeTexts)] : ""),
                                 texts[pick(whole ? kWholeTexts : texts.size())]});
            }
        }
        const EncodingKind kind = DetectEncodingOfBytes(bytes);
        const RawRuleReplacer replacer = RawReplacerForRules(rules);
        std::string raw = bytes;
        const RawRuleReplacer::Outcome outcome = replacer.apply(raw, kind);

        TextFacts facts;
        const std::string text = DecodeText(bytes, kind, &facts);
        std::string viaText;
        const bool textChanged = ApplyNormalRules(text, viaText, rules, false) && viaText != text;
        const bool canDecline = !replacer.usable() || kind == EncodingKind::Ansi || !facts.decodes || !facts.exact;
        EXPECT_EQ(outcome == RawRuleReplacer::Outcome::Declined, canDecline) << testing::PrintToString(bytes);
        if (outcome == RawRuleReplacer::Outcome::Declined) {
            ++declined;
            EXPECT_EQ(raw, bytes);
            continue;
        }
        EXPECT_EQ(outcome == RawRuleReplacer::Outcome::Changed, textChanged) << testing::PrintToString(bytes);
        if (!textChanged) {
            EXPECT_EQ(raw, bytes);
            continue;
        }
        ++replaced;
        const EncodedText encoded = EncodeText(viaText, kind, facts.set());
        EXPECT_TRUE(encoded.exact);
        EXPECT_EQ(raw, encoded.bytes) << testing::PrintToString(bytes);
    }
    // Both ways were taken often.
    EXPECT_GT(replaced, 800);
    EXPECT_GT(declined, 800);
}

TEST(RawReplace, ReplacesOnlyWhereAUnitStarts) {
    using namespace norvik::filedeal;
    std::string out;
    // "aa" at the odd place of the units 61 61 | 61 00 is no match; at an even place it is.
    EXPECT_FALSE(ReplaceAligned("", std::string("\x00\x61\x61\x00", 4), std::string("\x61\x61", 2), "", 2, out));
    EXPECT_TRUE(
        ReplaceAligned("M", std::string("\x00\x61\x61\x00\x61\x61", 6), std::string("\x61\x61", 2), "zz", 2, out));
    EXPECT_EQ(out, std::string("M\x00\x61\x61\x00zz", 7));
    EXPECT_TRUE(ReplaceAligned("", "aaa", "aa", "b", 1, out));
    EXPECT_EQ(out, "ba"); // left to right, never searching inserted text again
    // In place, counted from after the mark.
    std::string bytes = std::string("M\x00\x61\x61\x00\x61\x61", 7);
    EXPECT_EQ(ReplaceAlignedInPlace(bytes, 1, std::string("\x61\x61", 2), "z", 2), 1U);
    EXPECT_EQ(bytes, std::string("M\x00\x61\x61\x00z", 6));
    bytes = "xaaaaay";
    EXPECT_EQ(ReplaceAlignedInPlace(bytes, 0, "aa", "", 1), 2U);
    EXPECT_EQ(bytes, "xay");
}
