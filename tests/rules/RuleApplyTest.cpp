// Applying whole rule lists: order, inert lines, feature rules and extraction.
#include <gtest/gtest.h>

#include <string>

#include "rules/RuleApply.h"
#include "rules/RuleLine.h"

using namespace norvik::rules;

TEST(RuleLists, NormalRulesApplyInOrder) {
    std::string text = "ab";
    ApplyNormalRules(text, {MakeNormalRuleLine({"a", "b"}), MakeNormalRuleLine({"b", "c"})}, false);
    EXPECT_EQ(text, "cc");
    text = "xabyab";
    ApplyNormalRules(text, {"6162;"}, false);
    EXPECT_EQ(text, "xy");
    text = "ab";
    ApplyNormalRules(text, {"6G;63", "61;6G", "62", ""}, false); // bad find, bad replacement, short lines
    EXPECT_EQ(text, "b");
    text = "AB";
    ApplyNormalRules(text, {MakeNormalRuleLine({"ab", "x"})}, true);
    EXPECT_EQ(text, "x");
}

TEST(RuleLists, FeatureRulesReplaceExtractAndYield) {
    int yields = 0;
    const auto yield = [&] {
        ++yields;
    };
    std::string text = "xSaEySbEz";
    ApplyFeatureRules(text, {MakeFeatureRuleLine({"S", "E", "R"})}, false, yield);
    EXPECT_EQ(text, "xRyRz");
    EXPECT_EQ(yields, 3); // once for the rule, once per span
    // Case-sensitive whatever the job's case option, and empty start/end and short lines are skipped.
    text = "sae";
    ApplyFeatureRules(text, {MakeFeatureRuleLine({"S", "E", "R"}), ";45;52", "53;45"}, false);
    EXPECT_EQ(text, "sae");
    // Extraction: the second rule works on the first rule's output.
    text = "[a(1)b] [c(2)d] (3)";
    ApplyFeatureRules(text, {MakeFeatureRuleLine({"[", "]", ""}), MakeFeatureRuleLine({"(", ")", ""})}, true);
    EXPECT_EQ(text, "(1)\r\n(2)\r\n");
    text = "nothing here";
    ApplyFeatureRules(text, {MakeFeatureRuleLine({"[", "]", ""})}, true);
    EXPECT_EQ(text, "");
    text = "unchanged";
    ApplyFeatureRules(text, RuleList{}, true);
    EXPECT_EQ(text, "unchanged");
}

TEST(RuleLists, CopyFreeApplicationReportsWhetherAnythingWasReplaced) {
    const std::string text = "ab";
    std::string out = "untouched";
    EXPECT_FALSE(ApplyNormalRules(text, out, {MakeNormalRuleLine({"x", "y"})}, false));
    EXPECT_EQ(out, "untouched");
    // Replaced and replaced back: reported, and the result equals the text again.
    EXPECT_TRUE(ApplyNormalRules(text, out, {MakeNormalRuleLine({"a", "b"}), MakeNormalRuleLine({"bb", "ab"})}, false));
    EXPECT_EQ(out, "ab");
    EXPECT_TRUE(ApplyNormalRules(text, out, {MakeNormalRuleLine({"a", "b"}), MakeNormalRuleLine({"b", "c"})}, false));
    EXPECT_EQ(out, "cc");
    EXPECT_EQ(text, "ab");
}
