// Faults the fuzzers found in the settings document, each pinned by the input that showed it.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "settings/SettingsDocument.h"

namespace norvik::settings {
namespace {

// A document declared as ISO-8859-1 saved a written value with characters beyond Latin-1 as '?':
// a language name such as "中文" came back as "??" after the next start.
TEST(SettingsRegression, ValueBeyondLatin1SurvivesASaveOfALatin1Document) {
    SettingsDocument doc;
    ASSERT_TRUE(doc.loadBytes("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                              "<R><G><Language>x</Language><Other>caf\xE9</Other></G></R>")
                    .ok());
    EXPECT_EQ(doc.readSetting("Other"), "caf\xC3\xA9");
    doc.writeSetting("Language", "\xE4\xB8\xAD\xE6\x96\x87");

    const std::string saved = doc.saveBytes();
    EXPECT_NE(saved.find("encoding=\"UTF-8\""), std::string::npos) << saved;
    SettingsDocument again;
    ASSERT_TRUE(again.loadBytes(saved).ok());
    EXPECT_EQ(again.readSetting("Language"), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(again.readSetting("Other"), "caf\xC3\xA9") << "the Latin-1 text is converted, not lost";
}

// The parser takes the encoding even from a declaration it cannot read as one; the saved document
// must still load as UTF-8 then.
TEST(SettingsRegression, ValueBeyondLatin1SurvivesAGarbledLatin1Declaration) {
    SettingsDocument doc;
    ASSERT_TRUE(doc.loadBytes("<?xml versioN20\xFF\xFF\xFF\xFF"
                              "encoding=\"ISO-8859-1\"?><R><G><a>\xE9</a></G></R>")
                    .ok());
    doc.writeSetting("a", "\xE4\xB8\xAD");
    SettingsDocument again;
    ASSERT_TRUE(again.loadBytes(doc.saveBytes()).ok());
    EXPECT_EQ(again.readSetting("a"), "\xE4\xB8\xAD");
}

TEST(SettingsRegression, ALatin1DocumentStaysLatin1WhileItsValuesFit) {
    SettingsDocument doc;
    ASSERT_TRUE(doc.loadBytes("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R><G><a>x</a></G></R>").ok());
    doc.writeSetting("a", "\xC3\xA9t\xC3\xA9");  // "été": every character has its Latin-1 byte
    doc.writeSetting("missing", "\xE4\xB8\xAD"); // no element: nothing is written, nothing changes
    const std::string saved = doc.saveBytes();
    EXPECT_NE(saved.find("ISO-8859-1"), std::string::npos);
    EXPECT_NE(saved.find("<a>\xE9t\xE9</a>"), std::string::npos) << saved;
}

} // namespace
} // namespace norvik::settings
