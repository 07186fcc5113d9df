// The job's rule lists, its fixed texts and the check of typed texts.
#include <gtest/gtest.h>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "job/JobTexts.h"
#include "job/RuleListBuilder.h"
#include "job/TextGate.h"

namespace norvik::test {
namespace {

using settings::ReplaceMode;

TEST(JobTexts, SummaryNamesTheCountsInTheirOrder) {
    EXPECT_EQ(job::SummaryText(3, {10, 4, 1, 3, 1}),
              "替换规则3条,共涉及文件10个,符合替换条件的4个,成功替换3个,失败1个,文件不存在1个");
    // A preview wrote nothing: it says what would be replaced, never that it was.
    EXPECT_EQ(job::PreviewSummaryText(3, {10, 4, 1, 3, 1}),
              "预览(未写入任何文件):替换规则3条,共涉及文件10个,符合替换条件的4个,将替换3个,预计失败1个,文件不存在1个");
}

TEST(JobTexts, ElapsedTimeKeepsMinutesBeyondAnHour) {
    EXPECT_EQ(job::ElapsedText(0), "耗时0分0秒0毫秒");
    EXPECT_EQ(job::ElapsedText(61'005), "耗时1分1秒5毫秒");
    EXPECT_EQ(job::ElapsedText(75ull * 60'000 + 59'999), "耗时75分59秒999毫秒");
}

TEST(JobTexts, ProgressCountsTheFileAboutToBeHandled) {
    EXPECT_EQ(job::ProgressPercent(0, 3), 33u);
    EXPECT_EQ(job::ProgressPercent(1, 3), 66u);
    EXPECT_EQ(job::ProgressPercent(2, 3), 100u);
    EXPECT_EQ(job::ProgressPercent(0, 1), 100u);
    EXPECT_EQ(job::ProgressPercent(0, 0), 0u);
    EXPECT_EQ(job::ProgressPercent(99'999'999, 100'000'000), 100u); // no overflow in the product
    EXPECT_EQ(job::ProgressText(33), "33%");
}

TEST(JobTexts, ListAndBoxTexts) {
    EXPECT_EQ(job::FoundFilesText(0), "找到文件0个");
    EXPECT_EQ(job::RestoredText(3), "成功恢复3个");
    EXPECT_EQ(job::ErrorLineText("/a/b.txt"), "/a/b.txt is Error!!!");
    EXPECT_EQ(job::OutputFolderRestoreText("/o/"), "文件输出到\"/o/\"没有破坏原文件!,不需恢复");
    EXPECT_NE(job::RuleFileErrorText("/r/x.nrr").find("/r/x.nrr"), std::string::npos);
}

class RuleBuilding : public ::testing::Test {
protected:
    job::RuleLists lists;
    job::RuleSource source;
    job::RuleBuildResult build(ReplaceMode mode, bool multiple = false) {
        return job::BuildRuleList(lists, mode, multiple, source);
    }
};

TEST_F(RuleBuilding, ATypedNormalRuleIsOneHexLine) {
    source.texts.find = "ab";
    ASSERT_TRUE(build(ReplaceMode::Normal).ok);
    EXPECT_EQ(lists.normal, rules::RuleList{"6162;"});

    source.texts.find = "a";
    source.texts.replacement = "a";
    build(ReplaceMode::Normal);
    EXPECT_TRUE(lists.normal.empty()); // find equal to the replacement is no rule

    source.texts.find.clear();
    build(ReplaceMode::Normal);
    EXPECT_TRUE(lists.normal.empty());
}

TEST_F(RuleBuilding, EachModeRebuildsOnlyItsOwnList) {
    source.texts.find = "a";
    source.texts.replacement = "b\r\n";
    build(ReplaceMode::Normal);
    source.texts.featureStart = "<";
    source.texts.featureEnd = ">";
    build(ReplaceMode::Feature);
    source.texts.extractStart = "[";
    source.texts.extractEnd = "]";
    build(ReplaceMode::Extract);

    EXPECT_EQ(lists.normal, rules::RuleList{"61;620D0A"});
    EXPECT_EQ(lists.feature, rules::RuleList{"3C;3E;"});
    EXPECT_EQ(lists.extract, rules::RuleList{"5B;5D;"});
    EXPECT_EQ(lists.forMode(ReplaceMode::Extract), lists.extract);

    source.texts.featureEnd.clear(); // an empty end gives no feature rule
    build(ReplaceMode::Feature);
    EXPECT_TRUE(lists.feature.empty());
    EXPECT_EQ(lists.normal.size(), 1u);
    EXPECT_EQ(lists.extract.size(), 1u);
}

TEST_F(RuleBuilding, NoRuleTextNamesWhyExactlyWhenTheTypedTextsGiveNoRule) {
    // Every mix of empty, equal and filled texts in every mode: the reason is given exactly when the
    // list comes out empty, so Start never refuses a run that had a rule.
    for (const ReplaceMode mode : {ReplaceMode::Normal, ReplaceMode::Feature, ReplaceMode::Extract}) {
        for (unsigned mask = 0; mask < 32; ++mask) {
            const auto text = [mask](unsigned bit) {
                return (mask >> bit) & 1u ? std::string("a") : std::string();
            };
            source.texts = {text(0), text(1), text(2), text(3), {}, text(2), text(4)};
            ASSERT_TRUE(build(mode).ok);
            EXPECT_EQ(job::NoRuleText(mode, false, source).empty(), !lists.forMode(mode).empty()) << mask;
        }
    }
    source.ruleSetName.clear();
    EXPECT_EQ(job::NoRuleText(ReplaceMode::Feature, true, source), "没有选择规则集,没有可执行的替换");
    source.ruleSetName = "set";
    EXPECT_TRUE(job::NoRuleText(ReplaceMode::Feature, true, source).empty());
}

TEST_F(RuleBuilding, MultipleReplacementReadsTheChosenSet) {
    TempDir dir;
    source.ruleFolder = dir.folder();
    WriteBytes(dir / "set.nrr", "61;62\r\nbad line\r\n");
    WriteBytes(dir / "set.crr", "61;62;63\r\n");
    source.texts.find = "ignored";

    source.ruleSetName = "";
    EXPECT_TRUE(build(ReplaceMode::Normal, true).ok);
    EXPECT_TRUE(lists.normal.empty()); // nothing chosen: no rule

    source.ruleSetName = "set";
    EXPECT_TRUE(build(ReplaceMode::Normal, true).ok);
    EXPECT_EQ(lists.normal, (rules::RuleList{"61;62", "bad line"})); // lines are taken unchecked
    EXPECT_TRUE(build(ReplaceMode::Extract, true).ok);
    EXPECT_EQ(lists.extract, rules::RuleList{"61;62;63"});

    source.ruleFile = (dir / "set.crr").string(); // a file anywhere wins over the chosen set
    EXPECT_TRUE(build(ReplaceMode::Normal, true).ok);
    EXPECT_EQ(lists.normal, rules::RuleList{"61;62;63"});
}

TEST_F(RuleBuilding, AnUnreadableSetFailsWithItsNameAndLeavesAnEmptyList) {
    TempDir dir;
    source.ruleFolder = dir.folder();
    source.ruleSetName = "gone";
    lists.feature = {"41;42;43"};

    const job::RuleBuildResult result = build(ReplaceMode::Feature, true);

    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find(dir.folder() + "gone.crr"), std::string::npos);
    EXPECT_TRUE(lists.feature.empty());
}

TEST(FeatureRules, OnlyALineWithAStartAndAnEndApplies) {
    const auto applicable = [](const rules::RuleList& list) {
        job::RuleLists lists;
        lists.extract = list;
        return job::ParseRuleLists(lists).extract.size();
    };
    EXPECT_EQ(applicable({}), 0U);
    EXPECT_EQ(applicable({"61;62"}), 0U);    // too few fields
    EXPECT_EQ(applicable({"61;;63"}), 0U);   // empty end
    EXPECT_EQ(applicable({"6X;62;63"}), 0U); // start that is not hex
    EXPECT_EQ(applicable({"61;;", "61;62;"}), 1U);
}

TEST(TextGate, RefusesATextTheCodePageCannotHoldAndNamesIt) {
    job::TextGate gate;
    EXPECT_EQ(gate.convert("中a\r\n", "查找内容"), Bytes("D6D0 61 0D0A"));
    EXPECT_TRUE(gate.ok());
    static_cast<void>(gate.convert("한", "替换内容"));
    static_cast<void>(gate.convert("😀", "查找内容"));
    EXPECT_FALSE(gate.ok());
    EXPECT_EQ(gate.message(), job::UnrepresentableTextText("替换内容")); // the first failure is named
    EXPECT_NE(gate.message().find("替换内容"), std::string::npos);
}

TEST(TextGate, JudgesOnlyTheTextsTheModeUses) {
    job::RuleTexts typed;
    typed.find = "中";
    typed.replacement = "文";
    typed.featureStart = "한"; // not used by a normal job
    job::RuleTexts texts;
    job::TextGate gate;
    EXPECT_TRUE(job::ConvertRuleTexts(typed, ReplaceMode::Normal, false, texts, gate));
    EXPECT_EQ(texts.find, Bytes("D6D0"));
    EXPECT_EQ(texts.replacement, Bytes("CEC4"));

    job::TextGate featureGate;
    EXPECT_FALSE(job::ConvertRuleTexts(typed, ReplaceMode::Feature, false, texts, featureGate));
    // Named by the label of its box, as the command line names it.
    EXPECT_EQ(featureGate.message(), job::UnrepresentableTextText(job::kStartTextName));

    job::TextGate setGate; // a rule set is used: no typed text matters
    EXPECT_TRUE(job::ConvertRuleTexts(typed, ReplaceMode::Feature, true, texts, setGate));

    typed.extractEnd = "한";
    job::TextGate extractGate;
    EXPECT_FALSE(job::ConvertRuleTexts(typed, ReplaceMode::Extract, false, texts, extractGate));
    EXPECT_EQ(extractGate.message(), job::UnrepresentableTextText(job::kEndTextName));
}

// Only rules of whole code-page characters edit a text holding characters beyond the code page;
// an extraction's unused replacement does not count.
TEST(RuleLists, WholeCharacterRulesAreToldPerMode) {
    job::RuleLists lists;
    lists.normal = {"61;B0A1", "62;63"};
    lists.feature = {"3C;3E;B0"};   // half a character as the replacement
    lists.extract = {"3C;3E;8130"}; // bytes without a character, never used
    job::ParsedRuleLists parsed = job::ParseRuleLists(lists);
    EXPECT_TRUE(job::RulesAreWholeCharacters(parsed, ReplaceMode::Normal));
    EXPECT_FALSE(job::RulesAreWholeCharacters(parsed, ReplaceMode::Feature));
    EXPECT_TRUE(job::RulesAreWholeCharacters(parsed, ReplaceMode::Extract));
    parsed.normal.push_back({Bytes("B0"), "x"});
    EXPECT_FALSE(job::RulesAreWholeCharacters(parsed, ReplaceMode::Normal));
}

} // namespace
} // namespace norvik::test
