// The rule sets the chooser lists, and the rule sets shipped in resources/MultiReplace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "filedeal/CodePage.h"
#include "rules/RuleFile.h"
#include "rules/RuleSets.h"

namespace norvik::rules {
namespace {

using rules::ReplaceMode;
using test::TempDir;
using test::WriteBytes;
namespace fs = std::filesystem;

TEST(RuleFolder, IsMultiReplaceBesideTheExecutable) {
    EXPECT_EQ(RuleFolderOf("/opt/norvik/"), "/opt/norvik/MultiReplace/");
    EXPECT_EQ(RuleFolderOf("/opt/norvik"), "/opt/norvik/MultiReplace/");
}

TEST(RuleSetList, ListsTheSetsOfTheModeWithSubfoldersAfterTheFolderItself) {
    TempDir dir;
    fs::create_directories(dir / "sub" / "deeper");
    WriteBytes(dir / "b.nrr", "");
    WriteBytes(dir / "a.nrr", "");
    WriteBytes(dir / "sub" / "rules.nrr", "");
    WriteBytes(dir / "sub" / "deeper" / "x.nrr", "");
    WriteBytes(dir / "feature.crr", "");
    WriteBytes(dir / "notes.txt", "");

    // The folder's own files first, then the subfolders, depth first.
    EXPECT_EQ(ListRuleSets(dir.folder(), ReplaceMode::Normal), (std::vector<std::string>{"a", "b", "rules", "x"}));

    EXPECT_EQ(ListRuleSets(dir.folder(), ReplaceMode::Feature), std::vector<std::string>{"feature"});
    EXPECT_EQ(ListRuleSets(dir.folder(), ReplaceMode::Extract), std::vector<std::string>{"feature"});
}

TEST(RuleSetList, UpperCaseExtensionIsListedButKeepsItsName) {
    TempDir dir;
    WriteBytes(dir / "Rules.NRR", "");
    EXPECT_EQ(ListRuleSets(dir.folder(), ReplaceMode::Normal), std::vector<std::string>{"Rules.NRR"});
    // The job then looks for the name with the extension added, which is not this file.
    EXPECT_EQ(RuleSetPath(dir.folder(), "Rules.NRR", ReplaceMode::Normal), dir.folder() + "Rules.NRR.nrr");
}

TEST(RuleSetList, EntryLeadsBackToItsFile) {
    TempDir dir;
    fs::create_directories(dir / "my.nrr.sets");
    WriteBytes(dir / "a.nrr.b.nrr", "");
    WriteBytes(dir / "my.nrr.sets" / "inner.nrr", "");
    const std::vector<std::string> names = ListRuleSets(dir.folder(), ReplaceMode::Normal);
    // A ".nrr" in a folder name or early in the file name must not be what is cut.
    ASSERT_EQ(names.size(), 2U);
    EXPECT_EQ(names[0], "a.nrr.b");
    EXPECT_EQ(names[1], "inner");
    EXPECT_TRUE(fs::exists(RuleSetPath(dir.folder(), names[0], ReplaceMode::Normal)));
}

TEST(RuleSetList, FoldersNamedLikeRuleSetsAreNotSets) {
    TempDir dir;
    fs::create_directories(dir / "old.crr");
    WriteBytes(dir / "old.crr" / "kept.crr", "");
    EXPECT_EQ(ListRuleSets(dir.folder(), ReplaceMode::Feature), std::vector<std::string>{"kept"});
}

TEST(RuleSetList, MissingFolderGivesNoSets) {
    TempDir dir;
    EXPECT_TRUE(ListRuleSets(dir.folder() + "absent/", ReplaceMode::Normal).empty());
}

TEST(RuleSetPathOf, AddsTheExtensionOfTheMode) {
    EXPECT_EQ(RuleSetPath("/r/MultiReplace/", "set", ReplaceMode::Normal), "/r/MultiReplace/set.nrr");
    EXPECT_EQ(RuleSetPath("/r/MultiReplace/", "set", ReplaceMode::Feature), "/r/MultiReplace/set.crr");
    EXPECT_EQ(RuleSetPath("/r/MultiReplace/", "set", ReplaceMode::Extract), "/r/MultiReplace/set.crr");
}

// ---- The rule sets shipped beside the program ----------------------------------------------------

std::string Gbk(const std::string& utf8) {
    bool exact = true;
    std::string text = filedeal::Utf8ToCodePage(utf8, &exact);
    EXPECT_TRUE(exact) << utf8;
    return text;
}

std::string Utf8Of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Full-width forms U+FF01..U+FF5E sit 0xFEE0 above their ASCII counterparts.
std::vector<NormalRule> FullWidthRules(bool punctuation) {
    std::vector<NormalRule> rules;
    for (char32_t c = 0xFF01; c <= 0xFF5E; ++c) {
        const char ascii = static_cast<char>(c - 0xFEE0);
        const bool alphanumeric =
            (ascii >= '0' && ascii <= '9') || (ascii >= 'A' && ascii <= 'Z') || (ascii >= 'a' && ascii <= 'z');
        if (alphanumeric != punctuation) {
            rules.push_back({Gbk(Utf8Of(c)), std::string(1, ascii)});
        }
    }
    if (punctuation) {
        rules.push_back({Gbk("\u3000"), " "}); // the ideographic space
    }
    return rules;
}

struct NormalSet {
    std::string fileName;
    std::vector<NormalRule> rules;
};
struct FeatureSet {
    std::string fileName;
    std::vector<FeatureRule> rules;
};

std::vector<NormalSet> ShippedNormalSets() {
    return {{"全角标点转半角.nrr", FullWidthRules(true)}, {"全角字母数字转半角.nrr", FullWidthRules(false)}};
}

std::vector<FeatureSet> ShippedFeatureSets() {
    return {{"删除HTML注释.crr", {{"<!--", "-->", ""}}}, {"删除C块注释.crr", {{"/*", "*/", ""}}}};
}

fs::path ShippedFolder() {
    return fs::path(NORVIK_TEST_DATA_DIR).parent_path().parent_path() / "resources/MultiReplace";
}

TEST(ShippedRuleSets, ReadBackAsTheIntendedRulesInTheWritersBytes) {
    TempDir dir;
    for (const NormalSet& set : ShippedNormalSets()) {
        SCOPED_TRACE(set.fileName);
        ASSERT_FALSE(set.rules.empty());
        EXPECT_EQ(ReadNormalRuleFile(ShippedFolder() / set.fileName), set.rules);
        ASSERT_TRUE(WriteNormalRuleFile(dir / set.fileName, set.rules));
        EXPECT_EQ(test::ReadBytes(ShippedFolder() / set.fileName), test::ReadBytes(dir / set.fileName));
    }
    for (const FeatureSet& set : ShippedFeatureSets()) {
        SCOPED_TRACE(set.fileName);
        EXPECT_EQ(ReadFeatureRuleFile(ShippedFolder() / set.fileName), set.rules);
        ASSERT_TRUE(WriteFeatureRuleFile(dir / set.fileName, set.rules));
        EXPECT_EQ(test::ReadBytes(ShippedFolder() / set.fileName), test::ReadBytes(dir / set.fileName));
    }
}

TEST(ShippedRuleSets, FullWidthPunctuationSetTurnsCommaAndSpace) {
    const auto rules = ReadNormalRuleFile(ShippedFolder() / "全角标点转半角.nrr");
    EXPECT_EQ(rules.size(), 33U);
    EXPECT_NE(std::find(rules.begin(), rules.end(), NormalRule{Gbk("，"), ","}), rules.end());
    EXPECT_NE(std::find(rules.begin(), rules.end(), NormalRule{Gbk("　"), " "}), rules.end());
}

// Writes the shipped sets with the editor's own writer. Run with NORVIK_WRITE_RULE_SETS set to the
// folder to fill (normally resources/MultiReplace) after changing the sets above.
TEST(ShippedRuleSets, Generate) {
    const char* target = std::getenv("NORVIK_WRITE_RULE_SETS");
    if (target == nullptr) {
        GTEST_SKIP() << "set NORVIK_WRITE_RULE_SETS to write the shipped rule sets";
    }
    const fs::path folder(target);
    for (const NormalSet& set : ShippedNormalSets()) {
        EXPECT_TRUE(WriteNormalRuleFile(folder / set.fileName, set.rules)) << set.fileName;
    }
    for (const FeatureSet& set : ShippedFeatureSets()) {
        EXPECT_TRUE(WriteFeatureRuleFile(folder / set.fileName, set.rules)) << set.fileName;
    }
}

} // namespace
} // namespace norvik::rules
