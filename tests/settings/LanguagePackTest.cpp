#include <gtest/gtest.h>

#include <set>

#include "TestSupport.h"
#include "settings/LanguagePack.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsKeys.h"

namespace norvik::settings {
namespace {

using test::TempDir;
using test::WriteBytes;

// The shipped files, read from the source tree (the test data folder sits two levels below its root).
const std::filesystem::path kResources =
    (std::filesystem::path(NORVIK_TEST_DATA_DIR) / ".." / ".." / "resources").lexically_normal();

TEST(ListLanguages, SortedIgnoringCaseWithTheExtensionInAnyCase) {
    TempDir dir;
    for (const char* name : {"English.xml", "chinese_Traditional.XML", "Chinese_Simplified.xml", "deutsch.Xml",
                             "notes.txt", "English.xml.bak", ".xml"}) {
        WriteBytes(dir / name, "<R/>");
    }
    std::filesystem::create_directory(dir / "Folder.xml");
    const LanguageList list = ListLanguages(dir.path());
    EXPECT_TRUE(list.folderExists);
    EXPECT_TRUE(list.showsMenu());
    const std::vector<std::string> expected = {"Chinese_Simplified", "chinese_Traditional", "deutsch", "English"};
    EXPECT_EQ(list.names, expected);
    EXPECT_EQ(list.text(), "Chinese_Simplified;chinese_Traditional;deutsch;English");
}

TEST(ListLanguages, MissingOrEmptyFolderHidesTheMenu) {
    TempDir dir;
    const LanguageList missing = ListLanguages(dir / "lang");
    EXPECT_FALSE(missing.folderExists);
    EXPECT_FALSE(missing.showsMenu());
    EXPECT_EQ(missing.text(), "");

    WriteBytes(dir / "readme.txt", "");
    const LanguageList empty = ListLanguages(dir.path());
    EXPECT_TRUE(empty.folderExists);
    EXPECT_FALSE(empty.showsMenu());
    EXPECT_TRUE(empty.menuEntries().empty());
}

TEST(ListLanguages, MenuEntriesFollowTheListReadingRule) {
    TempDir dir;
    WriteBytes(dir / "Chinese Traditional.xml", "<R/>");
    WriteBytes(dir / "English.xml", "<R/>");
    const LanguageList list = ListLanguages(dir.path());
    EXPECT_EQ(list.names, (std::vector<std::string>{"Chinese Traditional", "English"}));
    EXPECT_EQ(list.menuEntries(), (std::vector<std::string>{"Chinese", "Traditional", "English"}));
}

TEST(ListLanguages, AtMost255Packs) {
    TempDir dir;
    for (int i = 0; i < 260; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "L%03d.xml", i);
        WriteBytes(dir / name, "<R/>");
    }
    const LanguageList list = ListLanguages(dir.path());
    ASSERT_EQ(list.names.size(), 255u);
    EXPECT_EQ(list.names.front(), "L000");
    EXPECT_EQ(list.names.back(), "L254");
    EXPECT_EQ(list.menuEntries().size(), 255u);
}

TEST(LookupCaption, FollowsTheSettingsReadingRule) {
    TempDir dir;
    WriteBytes(dir / "p.xml", "<Pack><Menu><N1> File </N1><N2/></Menu><More><N1>second</N1><Bad><x/></Bad></More>"
                              "<N5>root level</N5></Pack>");
    LanguagePack pack;
    ASSERT_TRUE(pack.loadFile(dir / "p.xml").ok());
    EXPECT_EQ(pack.lookupCaption("N1"), "File");
    EXPECT_EQ(pack.lookupCaption("N2"), "");
    EXPECT_EQ(pack.lookupCaption("n1"), "");
    EXPECT_EQ(pack.lookupCaption("N5"), "");
    EXPECT_EQ(pack.lookupCaption("Missing"), "");
    EXPECT_THROW((void)pack.lookupCaption("Bad"), SettingsError);

    WriteBytes(dir / "broken.xml", "<Pack><Menu>");
    EXPECT_EQ(pack.loadFile(dir / "broken.xml").status, LoadStatus::ParseError);
    EXPECT_EQ(pack.lookupCaption("N1"), "");
}

TEST(CaptionKeys, GroupsInOrderCopiesPointBackAndKeysAreUniquePerWindow) {
    int lastGroup = 1;
    std::set<std::pair<CaptionWindow, std::string_view>> seen;
    std::set<std::string_view> lookedUp;
    for (const CaptionKey& entry : kCaptionKeys) {
        EXPECT_GE(entry.group, lastGroup) << entry.component;
        lastGroup = entry.group;
        EXPECT_TRUE(seen.insert({entry.window, entry.component}).second) << entry.component;
        const bool copied = entry.group == 6 || entry.group == 8;
        EXPECT_EQ(!entry.copyFrom.empty(), copied) << entry.component;
        if (copied) {
            EXPECT_TRUE(lookedUp.contains(entry.copyFrom)) << entry.component << " copies a later or unknown key";
        } else {
            lookedUp.insert(entry.component);
        }
        EXPECT_EQ(entry.caption.empty(), entry.separator) << entry.component;
        if (!entry.menuParent.empty()) {
            EXPECT_EQ(entry.group, 1);
            EXPECT_TRUE(lookedUp.contains(entry.menuParent)) << entry.component;
        }
    }
    EXPECT_EQ(lastGroup, 8);
    EXPECT_EQ(PackKeys().size(), lookedUp.size());
    EXPECT_EQ(PackKeys().size(), 74u);
}

class ShippedPack : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedPack, HoldsEveryKeyOnceWithSeparatorsEmpty) {
    LanguagePack pack;
    const auto path = kResources / "lang" / (std::string(GetParam()) + ".xml");
    const LoadResult loaded = pack.loadFile(path);
    ASSERT_TRUE(loaded.ok()) << path << ": " << loaded.message;
    const std::string bytes = test::ReadBytes(path);
    for (const CaptionKey& entry : kCaptionKeys) {
        if (!entry.copyFrom.empty()) {
            continue;
        }
        const std::string open = "<" + std::string(entry.component) + ">";
        const std::size_t first = bytes.find(open);
        EXPECT_NE(first, std::string::npos) << entry.component;
        EXPECT_EQ(bytes.find(open, first + 1), std::string::npos) << entry.component << " is there twice";
        const std::string caption = pack.lookupCaption(entry.component);
        EXPECT_EQ(caption.empty(), entry.separator) << entry.component;
    }
    EXPECT_EQ(pack.lookupCaption(kLanguageMenu), kLanguageMenuCaption)
        << "the Language menu is recognised by this caption";
}

INSTANTIATE_TEST_SUITE_P(Resources, ShippedPack, ::testing::Values("Chinese_Simplified", "English"));

TEST(ShippedPacks, ChineseRepeatsTheBuiltInCaptionsAndEnglishTranslatesThem) {
    LanguagePack chinese;
    LanguagePack english;
    ASSERT_TRUE(chinese.loadFile(kResources / "lang" / "Chinese_Simplified.xml").ok());
    ASSERT_TRUE(english.loadFile(kResources / "lang" / "English.xml").ok());
    for (const CaptionKey& entry : kCaptionKeys) {
        if (!entry.copyFrom.empty() || entry.separator) {
            continue;
        }
        EXPECT_EQ(chinese.lookupCaption(entry.component), entry.caption) << entry.component;
        const std::string translated = english.lookupCaption(entry.component);
        for (unsigned char c : translated) {
            EXPECT_LT(c, 0x80) << entry.component << " is not translated: " << translated;
        }
    }
    const LanguageList list = ListLanguages(kResources / "lang");
    EXPECT_EQ(list.names, (std::vector<std::string>{"Chinese_Simplified", "English"}));
}

TEST(ShippedSettings, HoldsEveryKeyOnceWithTheWindowDefaults) {
    const auto path = kResources / "NVK.xml";
    SettingsDocument doc;
    ASSERT_TRUE(doc.loadFile(path).ok());
    const std::string bytes = test::ReadBytes(path);
    EXPECT_TRUE(bytes.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    for (const keys::KeyDefault& entry : keys::kAllKeys) {
        const std::string open = "<" + std::string(entry.key) + ">";
        const std::size_t first = bytes.find(open);
        ASSERT_NE(first, std::string::npos) << entry.key;
        EXPECT_EQ(bytes.find(open, first + 1), std::string::npos) << entry.key << " is there twice";
        EXPECT_EQ(doc.readSetting(entry.key), entry.value) << entry.key;
    }
    EXPECT_EQ(doc.readSetting(keys::kLanguage), "Chinese_Simplified");
    EXPECT_EQ(doc.readSetting(keys::kTarget), "");
}

} // namespace
} // namespace norvik::settings
