// The two forms stored texts take: hex pairs, and members joined by ";".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filedeal/HexText.h"
#include "filedeal/SemicolonList.h"

using namespace norvik::filedeal;

using Members = std::vector<std::string>;

TEST(Hex, EncodesUpperCaseAndDecodesLeniently) {
    EXPECT_EQ(TextToHex(""), "");
    EXPECT_EQ(TextToHex("ab"), "6162");
    EXPECT_EQ(TextToHex("a\r\nb"), "610D0A62");
    EXPECT_EQ(TextToHex("\xB1"), "B1");
    EXPECT_EQ(HexToText("6a"), "j");
    EXPECT_EQ(HexToText("616"), std::string("a\x06"));
    EXPECT_EQ(HexToText("6G61"), "");
    EXPECT_EQ(HexToText(""), "");
    EXPECT_EQ(HexToText(TextToHex(std::string("\0\xFF;\" x", 6))), std::string("\0\xFF;\" x", 6));
}

TEST(SemicolonLists, ReadingRule) {
    EXPECT_EQ(ReadSemicolonList(""), Members{});
    EXPECT_EQ(ReadSemicolonList("*.txt;*.htm"), (Members{"*.txt", "*.htm"}));
    EXPECT_EQ(ReadSemicolonList("6162;"), (Members{"6162", ""}));
    EXPECT_EQ(ReadSemicolonList(";6162"), (Members{"", "6162"}));
    EXPECT_EQ(ReadSemicolonList("*.a b"), (Members{"*.a", "b"}));
    EXPECT_EQ(ReadSemicolonList("  a ; b  "), (Members{"a", "b"}));
    EXPECT_EQ(ReadSemicolonList("a;;b"), (Members{"a", "", "b"}));
    EXPECT_EQ(ReadSemicolonList("\"x;y\";\"say \"\"hi\"\"\""), (Members{"x;y", "say \"hi\""}));
    EXPECT_EQ(ReadSemicolonList("a; "), (Members{"a"}));
    EXPECT_EQ(JoinSemicolonList({"a", "", "b"}), "a;;b");
}
