// Applying whole rule lists: order, inert lines, feature rules and extraction.
#include <gtest/gtest.h>

#include <string>

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
