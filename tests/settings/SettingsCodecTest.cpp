#include <gtest/gtest.h>

#include "TestSupport.h"
#include "filedeal/HexText.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsKeys.h"

namespace norvik::settings {
namespace {

using test::TempDir;

// Writes values into a settings file, saves it, loads it again and returns the reloaded document.
SettingsDocument SaveAndReload(const TempDir& dir,
                               const std::vector<std::pair<std::string_view, std::string>>& values) {
    const auto path = dir / "NVK.xml";
    test::WriteBytes(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Norvik>\n  <Main>\n    <Target></Target>\n"
                           "    <NormalReplaceMemo1/>\n  </Main>\n</Norvik>\n");
    SettingsDocument doc;
    EXPECT_TRUE(doc.loadFile(path).ok());
    for (const auto& [key, value] : values) {
        doc.writeSetting(key, value);
    }
    EXPECT_TRUE(doc.saveFile(path));
    SettingsDocument reloaded;
    EXPECT_TRUE(reloaded.loadFile(path).ok());
    return reloaded;
}

TEST(TargetValue, EncodesHexAndTickFlags) {
    EXPECT_EQ(EncodeTargets({}), "");
    EXPECT_EQ(EncodeTargets({{"/a/", true}, {"b", false}}), "2F612F;1;62;0");
    EXPECT_EQ(EncodeTargets({{"", true}}), ";1");
}

TEST(TargetValue, PathsWithSemicolonsBlanksAndNonAsciiSurviveAFileRoundTrip) {
    TempDir dir;
    const std::vector<TargetEntry> targets = {
        {"/home/u/my docs;old/", true},
        {"/tmp/a b.txt", false},
        {"/data/\xE4\xB8\xAD\xE6\x96\x87.txt", true},
        {"", false},
    };
    const auto doc = SaveAndReload(dir, {{keys::kTarget, EncodeTargets(targets)}});
    const DecodedTargets decoded = DecodeTargets(doc.readSetting(keys::kTarget));
    EXPECT_FALSE(decoded.error);
    EXPECT_EQ(decoded.entries, targets);
}

TEST(TargetValue, AnEmptyListIsStoredEmptyAndReadsBackEmpty) {
    TempDir dir;
    const auto doc = SaveAndReload(dir, {{keys::kTarget, EncodeTargets({})}});
    EXPECT_EQ(doc.readSetting(keys::kTarget), "");
    const DecodedTargets decoded = DecodeTargets("");
    EXPECT_TRUE(decoded.entries.empty());
    EXPECT_FALSE(decoded.error);
}

TEST(TargetValue, AnyNonZeroIntegerTicksAndBadHexGivesAnEmptyEntry) {
    const DecodedTargets decoded = DecodeTargets("61;2;ZZ;-1;62;$0;63;0x10");
    EXPECT_FALSE(decoded.error);
    const std::vector<TargetEntry> expected = {{"a", true}, {"", true}, {"b", false}, {"c", true}};
    EXPECT_EQ(decoded.entries, expected);
}

TEST(TargetValue, OddMemberCountAddsTheLastEntryThenNamesTheMissingIndex) {
    const DecodedTargets one = DecodeTargets("61");
    ASSERT_TRUE(one.error);
    EXPECT_EQ(*one.error, "List index out of bounds (1)");
    EXPECT_EQ(one.entries, (std::vector<TargetEntry>{{"a", false}}));

    const DecodedTargets five = DecodeTargets("61;1;62;0;63");
    ASSERT_TRUE(five.error);
    EXPECT_EQ(*five.error, "List index out of bounds (5)");
    EXPECT_EQ(five.entries, (std::vector<TargetEntry>{{"a", true}, {"b", false}, {"c", false}}));
}

TEST(TargetValue, ABadFlagStopsAfterAddingItsEntry) {
    const DecodedTargets decoded = DecodeTargets("61;1;62;yes;63;1");
    ASSERT_TRUE(decoded.error);
    EXPECT_EQ(*decoded.error, "'yes' is not a valid integer value");
    EXPECT_EQ(decoded.entries, (std::vector<TargetEntry>{{"a", true}, {"b", false}}));
}

TEST(TargetValue, ATrailingSemicolonGivesAnEmptyFlag) {
    const DecodedTargets decoded = DecodeTargets("61;");
    ASSERT_TRUE(decoded.error);
    EXPECT_EQ(*decoded.error, "'' is not a valid integer value");
}

TEST(MemoValue, AThreeLineMemoWithTrailingLineBreakSurvivesAFileRoundTrip) {
    TempDir dir;
    // Working texts are code page 936 bytes; the second line holds a double-byte character.
    const std::string memo = "first\r\n\xD6\xD0 second;\r\n  third  \r\n";
    const auto doc = SaveAndReload(dir, {{keys::kNormalReplaceMemo1, filedeal::TextToHex(memo)}});
    EXPECT_EQ(filedeal::HexToText(doc.readSetting(keys::kNormalReplaceMemo1)), memo);
}

TEST(FlagValue, NonZeroIsOnAndNonIntegersStopWithTheirText) {
    EXPECT_EQ(FlagText(true), "1");
    EXPECT_EQ(FlagText(false), "0");
    EXPECT_TRUE(ReadFlag("1"));
    EXPECT_TRUE(ReadFlag("2"));
    EXPECT_TRUE(ReadFlag("-1"));
    EXPECT_FALSE(ReadFlag("0"));
    EXPECT_FALSE(ReadFlag("$0"));
    try {
        (void)ReadFlag("yes");
        ADD_FAILURE() << "yes was read as a flag";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "'yes' is not a valid integer value");
    }
    try {
        (void)ReadFlag("");
        ADD_FAILURE() << "a missing flag was read";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
}

TEST(RuleSetValue, WrittenUnderTheExeFolderAndReadByFileNameOnly) {
    EXPECT_EQ(EncodeRuleSetValue("/opt/norvik/", "abc", ReplaceMode::Normal), "/opt/norvik/MultiRules/abc.nrr");
    EXPECT_EQ(EncodeRuleSetValue("/opt/norvik/", "abc", ReplaceMode::Feature), "/opt/norvik/MultiRules/abc.crr");
    EXPECT_EQ(EncodeRuleSetValue("/opt/norvik/", "abc", ReplaceMode::Extract), "/opt/norvik/MultiRules/abc.crr");
    EXPECT_EQ(RuleSetNameFromValue("/somewhere/else/abc.nrr"), "abc");
    EXPECT_EQ(RuleSetNameFromValue("abc.crr"), "abc");
    EXPECT_EQ(RuleSetNameFromValue("/x/a.b.c.nrr"), "a.b.c");
    EXPECT_EQ(RuleSetNameFromValue("/x/abc"), "") << "four characters or fewer leave nothing";
    EXPECT_EQ(RuleSetNameFromValue("/x/"), "");
    EXPECT_EQ(RuleSetNameFromValue(""), "");
    EXPECT_EQ(RuleSetNameFromValue("/x/\xE8\xA7\x84\xE5\x88\x99.nrr"), "\xE8\xA7\x84\xE5\x88\x99");
    EXPECT_EQ(RuleSetNameFromValue("/x/ab\xE8\xA7\x84\xE5\x88\x99\xE8\xA7\x84\xE5\x88\x99"), "ab")
        << "characters, not bytes, are dropped";
}

TEST(LanguageValue, EmptyMeansChineseSimplified) {
    EXPECT_EQ(LanguageFromValue(""), "Chinese_Simplified");
    EXPECT_EQ(LanguageFromValue("English"), "English");
}

TEST(OutputFolderRestore, ExistingOrCreatableFolderIsKeptOtherwiseModeIsSwitchedOff) {
    TempDir dir;
    const RestoredOutputFolder existing = RestoreOutputFolder(true, dir.folder());
    EXPECT_EQ(existing.folder, dir.folder());
    EXPECT_FALSE(existing.clearOutputToFolder);

    const std::string fresh = dir.folder() + "out/";
    const RestoredOutputFolder created = RestoreOutputFolder(true, fresh);
    EXPECT_EQ(created.folder, fresh);
    EXPECT_FALSE(created.clearOutputToFolder);
    EXPECT_TRUE(std::filesystem::is_directory(fresh));

    const RestoredOutputFolder noParent = RestoreOutputFolder(true, dir.folder() + "a/b/");
    EXPECT_EQ(noParent.folder, "");
    EXPECT_TRUE(noParent.clearOutputToFolder);
    EXPECT_FALSE(std::filesystem::exists(dir / "a")) << "only one level is created";

    const RestoredOutputFolder empty = RestoreOutputFolder(true, "");
    EXPECT_EQ(empty.folder, "");
    EXPECT_TRUE(empty.clearOutputToFolder);

    const RestoredOutputFolder inPlace = RestoreOutputFolder(false, dir.folder());
    EXPECT_EQ(inPlace.folder, "") << "in-place mode forgets the stored folder";
    EXPECT_TRUE(inPlace.clearOutputToFolder);
}

} // namespace
} // namespace norvik::settings
