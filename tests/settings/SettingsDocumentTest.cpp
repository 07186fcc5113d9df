#include <gtest/gtest.h>

#include <sys/stat.h>

#include "TestSupport.h"
#include "settings/SettingsDocument.h"

namespace norvik::settings {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

SettingsDocument Loaded(std::string_view xml) {
    SettingsDocument doc;
    const LoadResult result = doc.loadBytes(xml);
    EXPECT_TRUE(result.ok()) << result.message;
    return doc;
}

TEST(SettingsDocumentRead, KeysAreFoundInAnyGroupWhateverTheRootAndGroupNames) {
    const auto doc = Loaded("<Whatever><A><BackUp>1</BackUp></A><zz x='1'><Subdir>0</Subdir></zz>"
                            "<Third/><A><Language>English</Language></A></Whatever>");
    EXPECT_EQ(doc.readSetting("BackUp"), "1");
    EXPECT_EQ(doc.readSetting("Subdir"), "0");
    EXPECT_EQ(doc.readSetting("Language"), "English");
}

TEST(SettingsDocumentRead, OnlyTheThirdLevelHoldsKeysAndNamesMatchExactly) {
    const auto doc = Loaded("<R><Top>root</Top><G><Deep><Key>deep</Key></Deep><key>lower</key></G></R>");
    EXPECT_EQ(doc.readSetting("Top"), "") << "directly under the root is not a key";
    EXPECT_EQ(doc.readSetting("Key"), "") << "a fourth level is not a key";
    EXPECT_EQ(doc.readSetting("KEY"), "");
    EXPECT_EQ(doc.readSetting("key"), "lower");
    EXPECT_EQ(doc.readSetting("R"), "");
    EXPECT_EQ(doc.readSetting("G"), "") << "a group is not a key";
}

TEST(SettingsDocumentRead, FirstMatchInDocumentOrderWins) {
    const auto doc = Loaded("<R><G1><X>first</X><X>second</X></G1><G2><X>third</X></G2></R>");
    EXPECT_EQ(doc.readSetting("X"), "first");
}

TEST(SettingsDocumentRead, BlanksAndLineBreaksAroundTheValueAreRemoved) {
    const auto doc = Loaded("<R><G><A>\r\n\t  a b \t\r\n</A><B>   </B><C/><D></D></G></R>");
    EXPECT_EQ(doc.readSetting("A"), "a b");
    EXPECT_EQ(doc.readSetting("B"), "");
    EXPECT_EQ(doc.readSetting("C"), "");
    EXPECT_EQ(doc.readSetting("D"), "");
}

TEST(SettingsDocumentRead, EscapesAndUtf8AreDecoded) {
    const auto doc = Loaded("<R><G><A>&lt;a&amp;b&gt; &#x4E2D;\xE6\x96\x87</A></G></R>");
    EXPECT_EQ(doc.readSetting("A"), "<a&b> \xE4\xB8\xAD\xE6\x96\x87");
}

TEST(SettingsDocumentRead, ContentOtherThanOneTextNodeFailsWithTheFixedMessage) {
    const auto doc = Loaded("<R><G><Cdata><![CDATA[x]]></Cdata><Child><a/></Child><Comment><!-- c --></Comment>"
                            "<Mixed>a<!-- c -->b</Mixed><Pi><?p x?></Pi><Fine>ok</Fine></G></R>");
    for (const char* key : {"Cdata", "Child", "Comment", "Mixed", "Pi"}) {
        try {
            (void)doc.readSetting(key);
            ADD_FAILURE() << key << " was read";
        } catch (const SettingsError& e) {
            EXPECT_STREQ(e.what(), "Element does not contain a single text node") << key;
        }
    }
    EXPECT_EQ(doc.readSetting("Fine"), "ok");
}

TEST(SettingsDocumentRead, ABadElementAfterTheFirstMatchIsNeverLookedAt) {
    const auto doc = Loaded("<R><G><X>good</X></G><G><X><b/></X></G></R>");
    EXPECT_EQ(doc.readSetting("X"), "good");
}

TEST(SettingsDocumentWrite, EveryMatchIsWrittenAndOthersAreLeftAlone) {
    auto doc = Loaded("<R><G1><X>1</X><Y>y</Y></G1><G2><X>2</X></G2><X>root</X></R>");
    doc.writeSetting("X", "new");
    EXPECT_EQ(doc.saveBytes(), "<R><G1><X>new</X><Y>y</Y></G1><G2><X>new</X></G2><X>root</X></R>");
}

TEST(SettingsDocumentWrite, EmptyElementsGetTheValueAndEmptyValuesAreKept) {
    auto doc = Loaded("<R><G><A/><B>old</B></G></R>");
    doc.writeSetting("A", "a&<b>");
    doc.writeSetting("B", "");
    EXPECT_EQ(doc.readSetting("A"), "a&<b>");
    EXPECT_EQ(doc.readSetting("B"), "");
    EXPECT_EQ(doc.saveBytes(), "<R><G><A>a&amp;&lt;b&gt;</A><B></B></G></R>");
}

TEST(SettingsDocumentWrite, AnyWriteThatFindsAKeyMarksTheDocumentChanged) {
    auto doc = Loaded("<R><G><A>same</A></G></R>");
    EXPECT_FALSE(doc.isChanged());
    doc.writeSetting("Missing", "v");
    EXPECT_FALSE(doc.isChanged()) << "nothing was written";
    EXPECT_EQ(doc.saveBytes(), "<R><G><A>same</A></G></R>");
    doc.writeSetting("A", "same");
    EXPECT_TRUE(doc.isChanged()) << "an unchanged value still counts as a write";
}

TEST(SettingsDocumentWrite, AnElementWithOtherContentIsRefusedAndNothingChanges) {
    auto doc = Loaded("<R><G><X>a</X></G><G><X><!-- keep --></X></G></R>");
    EXPECT_THROW(doc.writeSetting("X", "b"), SettingsError);
    EXPECT_FALSE(doc.isChanged());
    EXPECT_EQ(doc.saveBytes(), "<R><G><X>a</X></G><G><X><!-- keep --></X></G></R>");
}

// Keys that files of earlier versions lack are added where a later version expects them; a file that
// has them is written like any other.
TEST(SettingsDocumentWrite, AKeyAnEarlierFileLacksIsAddedToItsGroup) {
    auto doc = Loaded("<R>\n  <G>\n    <A>1</A>\n  </G>\n</R>\n");
    EXPECT_FALSE(doc.hasSetting("New"));
    doc.writeSettingAdding("Later", "New", "a;b");
    doc.writeSettingAdding("Later", "Next", "");
    doc.writeSettingAdding("G", "A", "2"); // there already: written in place
    EXPECT_TRUE(doc.hasSetting("New") && doc.isChanged());
    EXPECT_EQ(doc.saveBytes(), "<R>\n  <G>\n    <A>2</A>\n  </G>\n  <Later>\n    <New>a;b</New>\n    "
                               "<Next></Next>\n  </Later>\n</R>\n");
    // Without layout, and into a group that is there but empty.
    auto bare = Loaded("<R><Later/><Later><X>x</X></Later></R>");
    bare.writeSettingAdding("Later", "New", "v");
    EXPECT_EQ(bare.readSetting("New"), "v");
    EXPECT_EQ(bare.readSetting("X"), "x");
    EXPECT_TRUE(Loaded(bare.saveBytes()).hasSetting("New"));
    // Nothing loaded: nothing to add to.
    SettingsDocument none;
    none.writeSettingAdding("Later", "New", "v");
    EXPECT_FALSE(none.isChanged());
    EXPECT_EQ(none.saveBytes(), "");
}

TEST(SettingsDocumentSave, CommentsDeclarationAttributesAndLayoutSurvive) {
    const std::string before = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                               "<!-- settings -->\r\n"
                               "<Cfg version=\"4\">\r\n"
                               "  <Main kind=\"x\">\r\n"
                               "    <!-- the targets -->\r\n"
                               "    <Target a=\"1\">old</Target>\r\n"
                               "    <Extra><Deep>keep</Deep></Extra>\r\n"
                               "    <?app hint?>\r\n"
                               "  </Main>\r\n"
                               "</Cfg>\r\n";
    auto doc = Loaded(before);
    doc.writeSetting("Target", "new");
    std::string expected = before;
    expected.replace(expected.find(">old<"), 5, ">new<");
    EXPECT_EQ(doc.saveBytes(), expected);
}

TEST(SettingsDocumentSave, Utf16FileIsWrittenBackInUtf16) {
    const std::string text = "<R><G><A>\xE4\xB8\xAD</A></G></R>";
    std::string utf16 = "\xFF\xFE";
    // The sample is ASCII apart from one BMP character, U+4E2D.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) == 0xE4) {
            utf16 += std::string("\x2D\x4E", 2);
            i += 2;
        } else {
            utf16 += text[i];
            utf16 += '\0';
        }
    }
    auto doc = Loaded(utf16);
    EXPECT_EQ(doc.readSetting("A"), "\xE4\xB8\xAD");
    EXPECT_EQ(doc.saveBytes(), utf16);
}

TEST(SettingsDocumentLoad, MissingFileAndParseErrorAreToldApart) {
    TempDir dir;
    SettingsDocument doc;
    EXPECT_EQ(doc.loadFile(dir / "NVK.xml").status, LoadStatus::Missing);
    EXPECT_EQ(doc.loadFile(dir.path()).status, LoadStatus::Missing) << "a folder is no settings file";

    WriteBytes(dir / "bad.xml", "<R><G><A>1</B></G></R>");
    const LoadResult bad = doc.loadFile(dir / "bad.xml");
    EXPECT_EQ(bad.status, LoadStatus::ParseError);
    EXPECT_EQ(bad.message, "Start-end tags mismatch");
    EXPECT_GT(bad.offset, 0);
    EXPECT_FALSE(doc.isLoaded());

    WriteBytes(dir / "empty.xml", "");
    const LoadResult empty = doc.loadFile(dir / "empty.xml");
    EXPECT_EQ(empty.status, LoadStatus::ParseError);
    EXPECT_EQ(empty.message, "No document element found");

    // Only a regular file of a sane size is read: a pipe or device is no settings file (and is never
    // waited on), and an endless file is an unreadable one.
    ASSERT_EQ(::mkfifo((dir / "pipe.xml").c_str(), 0644), 0);
    EXPECT_EQ(doc.loadFile(dir / "pipe.xml").status, LoadStatus::Missing);
    std::filesystem::create_symlink("/dev/zero", dir / "zero.xml");
    EXPECT_EQ(doc.loadFile(dir / "zero.xml").status, LoadStatus::Missing);
    WriteBytes(dir / "huge.xml", "<R/>");
    std::filesystem::resize_file(dir / "huge.xml", (std::uintmax_t{64} << 20) + 1);
    EXPECT_EQ(doc.loadFile(dir / "huge.xml").status, LoadStatus::ParseError);

    // The parser itself lets these through; a settings file must not.
    EXPECT_EQ(doc.loadBytes("<R/><S/>").message, "More than one document element found");
    EXPECT_EQ(doc.loadBytes("junk<R/>").message, "Text found outside the document element");
    EXPECT_EQ(doc.loadBytes("<R/>\r\n<!-- c -->\r\n").status, LoadStatus::Loaded);
}

TEST(SettingsDocumentLoad, AFailedLoadForgetsThePreviousDocument) {
    TempDir dir;
    WriteBytes(dir / "good.xml", "<R><G><A>1</A></G></R>");
    SettingsDocument doc;
    ASSERT_TRUE(doc.loadFile(dir / "good.xml").ok());
    doc.writeSetting("A", "2");
    ASSERT_FALSE(doc.loadFile(dir / "missing.xml").ok());
    EXPECT_FALSE(doc.isChanged());
    EXPECT_EQ(doc.readSetting("A"), "");
}

TEST(SettingsDocumentSave, FileRoundTripKeepsModeAndClearsChanged) {
    TempDir dir;
    const auto path = dir / "NVK.xml";
    WriteBytes(path, "<?xml version=\"1.0\"?>\n<R>\n <G>\n  <A>1</A>\n </G>\n</R>\n");
    ::chmod(path.c_str(), 0640);
    SettingsDocument doc;
    ASSERT_TRUE(doc.loadFile(path).ok());
    doc.writeSetting("A", "2");
    ASSERT_TRUE(doc.saveFile(path));
    EXPECT_FALSE(doc.isChanged());
    EXPECT_EQ(ReadBytes(path), "<?xml version=\"1.0\"?>\n<R>\n <G>\n  <A>2</A>\n </G>\n</R>\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    std::size_t leftovers = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++leftovers;
    }
    EXPECT_EQ(leftovers, 1u) << "no temporary file is left behind";
}

TEST(SettingsDocumentSave, ReadOnlyFileIsRefusedAndKept) {
    TempDir dir;
    const auto path = dir / "NVK.xml";
    WriteBytes(path, "<R><G><A>1</A></G></R>");
    ::chmod(path.c_str(), 0444);
    SettingsDocument doc;
    ASSERT_TRUE(doc.loadFile(path).ok());
    doc.writeSetting("A", "2");
    EXPECT_FALSE(doc.saveFile(path));
    EXPECT_TRUE(doc.isChanged());
    EXPECT_EQ(ReadBytes(path), "<R><G><A>1</A></G></R>");
}

TEST(SettingsDocumentSave, ASymbolicLinkIsWrittenThrough) {
    TempDir dir;
    WriteBytes(dir / "real.xml", "<R><G><A>1</A></G></R>");
    std::filesystem::create_symlink("real.xml", dir / "NVK.xml");
    SettingsDocument doc;
    ASSERT_TRUE(doc.loadFile(dir / "NVK.xml").ok());
    doc.writeSetting("A", "2");
    ASSERT_TRUE(doc.saveFile(dir / "NVK.xml"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "NVK.xml"));
    EXPECT_EQ(ReadBytes(dir / "real.xml"), "<R><G><A>2</A></G></R>");
}

TEST(SettingsDocumentSave, MissingFolderOrNothingLoadedFails) {
    TempDir dir;
    auto doc = Loaded("<R/>");
    EXPECT_FALSE(doc.saveFile(dir / "no" / "NVK.xml"));
    SettingsDocument empty;
    EXPECT_FALSE(empty.saveFile(dir / "NVK.xml"));
    EXPECT_FALSE(std::filesystem::exists(dir / "NVK.xml"));
}

} // namespace
} // namespace norvik::settings
