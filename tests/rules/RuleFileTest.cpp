// Rule lines and rule files: splitting, parsing, reading and writing.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "rules/RuleFile.h"

using namespace norvik::rules;
using norvik::test::Bytes;
using norvik::test::ReadBytes;
using norvik::test::TempDir;
using norvik::test::WriteBytes;

TEST(RuleLines, SplittingAndParsing) {
    NormalRule normal;
    ASSERT_TRUE(ParseNormalRuleLine("41 42;43", normal)); // a blank ends a field
    EXPECT_EQ(normal, (NormalRule{"A", "B"}));
    ASSERT_TRUE(ParseNormalRuleLine("6162;63;64", normal)); // extra fields ignored
    EXPECT_EQ(normal, (NormalRule{"ab", "c"}));
    EXPECT_FALSE(ParseNormalRuleLine("6162", normal));
    FeatureRule feature;
    EXPECT_FALSE(ParseFeatureRuleLine("61;62", feature));
    ASSERT_TRUE(ParseFeatureRuleLine("61;62;", feature));
    EXPECT_EQ(feature, (FeatureRule{"a", "b", ""}));
    EXPECT_EQ(MakeNormalRuleLine({"ab", ""}), "6162;");
    EXPECT_EQ(MakeFeatureRuleLine({"a", "b", ""}), "61;62;");
}

TEST(RuleFiles, ByteLayoutAndRoundTrip) {
    TempDir dir;
    ASSERT_TRUE(WriteNormalRuleFile(dir / "two.nrr", {{"ab", "c"}, {"x\r\ny", ""}}));
    EXPECT_EQ(ReadBytes(dir / "two.nrr"), "6162;63\r\n780D0A79;\r\n");
    ASSERT_TRUE(WriteNormalRuleFile(dir / "empty.nrr", {}));
    EXPECT_EQ(ReadBytes(dir / "empty.nrr"), "");
    EXPECT_TRUE(ReadNormalRuleFile(dir / "empty.nrr").empty());
    const std::vector<NormalRule> tricky{{"a;b", "\"q\" x"}, {Bytes("B0A1") + "\r\n", ";"}};
    ASSERT_TRUE(WriteNormalRuleFile(dir / "t.nrr", tricky));
    EXPECT_EQ(ReadNormalRuleFile(dir / "t.nrr"), tricky);
    const std::vector<FeatureRule> features{{"<!--", "-->", ""}, {"a", "a", "b"}};
    ASSERT_TRUE(WriteFeatureRuleFile(dir / "f.crr", features));
    EXPECT_EQ(ReadFeatureRuleFile(dir / "f.crr"), features);
}

TEST(RuleFiles, ReadingSkipsShortLinesAndSplitsEveryLineBreak) {
    TempDir dir;
    WriteBytes(dir / "hand.nrr", "61;62\n\r\n63\r64;65");
    EXPECT_EQ(ReadRuleLines(dir / "hand.nrr"), (RuleList{"61;62", "", "63", "64;65"}));
    EXPECT_EQ(ReadNormalRuleFile(dir / "hand.nrr"), (std::vector<NormalRule>{{"a", "b"}, {"d", "e"}}));
    WriteBytes(dir / "hand.crr", "61;62\r\n61;62;63\r\n");
    EXPECT_EQ(ReadFeatureRuleFile(dir / "hand.crr"), (std::vector<FeatureRule>{{"a", "b", "c"}}));
    EXPECT_THROW((void)ReadRuleLines(dir / "gone.nrr"), norvik::filedeal::FileOpenError);
    EXPECT_EQ(SplitTextLines("a\r\n"), (std::vector<std::string>{"a"}));
}

TEST(RuleFiles, KindByExactLowerCaseExtension) {
    EXPECT_EQ(RuleFileKindOf("rules.nrr"), RuleFileKind::Normal);
    EXPECT_EQ(RuleFileKindOf("rules.crr"), RuleFileKind::Feature);
    EXPECT_EQ(RuleFileKindOf("rules.NRR"), RuleFileKind::None);
    EXPECT_EQ(RuleFileKindOf("notes.txt"), RuleFileKind::None);
    EXPECT_EQ(RuleFileKindOf("rr"), RuleFileKind::None);
}
