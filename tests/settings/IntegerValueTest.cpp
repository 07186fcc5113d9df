#include <gtest/gtest.h>

#include "settings/IntegerValue.h"

namespace norvik::settings {
namespace {

TEST(ReadInteger, DecimalWithBlanksAndSign) {
    EXPECT_EQ(ReadInteger("0"), 0);
    EXPECT_EQ(ReadInteger("7"), 7);
    EXPECT_EQ(ReadInteger(" 7"), 7);
    EXPECT_EQ(ReadInteger("  \t-5"), -5);
    EXPECT_EQ(ReadInteger("+12"), 12);
    EXPECT_EQ(ReadInteger("007"), 7);
    EXPECT_EQ(ReadInteger("00000000000000000001"), 1) << "leading zeros do not overflow";
}

TEST(ReadInteger, HexPrefixes) {
    EXPECT_EQ(ReadInteger("$1F"), 31);
    EXPECT_EQ(ReadInteger("$1f"), 31);
    EXPECT_EQ(ReadInteger("x10"), 16);
    EXPECT_EQ(ReadInteger("X10"), 16);
    EXPECT_EQ(ReadInteger("0x10"), 16);
    EXPECT_EQ(ReadInteger("0XaB"), 0xAB);
    EXPECT_EQ(ReadInteger("-$10"), -16);
    EXPECT_EQ(ReadInteger(" 0x7FFFFFFF"), 0x7FFFFFFF);
}

TEST(ReadInteger, RejectsEverythingElse) {
    for (const char* text : {"",    " ",  "+",   "-",    "$",   "x",   "0x",  "1.5", "yes",
                             "1 ",  "1a", "$1G", "0x1g", "--1", "+-1", "1e3", "\t",  "\xEF\xBC\x91" /* full-width 1 */,
                             "0b1", "$-1"}) {
        EXPECT_EQ(ReadInteger(text), std::nullopt) << '[' << text << ']';
    }
}

TEST(ReadInteger, ThirtyTwoBitRange) {
    EXPECT_EQ(ReadInteger("2147483647"), 2147483647);
    EXPECT_EQ(ReadInteger("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ReadInteger("-$80000000"), -2147483647 - 1);
    EXPECT_EQ(ReadInteger("2147483648"), std::nullopt);
    EXPECT_EQ(ReadInteger("-2147483649"), std::nullopt);
    EXPECT_EQ(ReadInteger("$80000000"), std::nullopt);
    EXPECT_EQ(ReadInteger("$FFFFFFFF"), std::nullopt);
    EXPECT_EQ(ReadInteger("99999999999999999999999"), std::nullopt);
}

TEST(IntegerMessages, ExactTexts) {
    EXPECT_EQ(NotAnIntegerMessage("yes"), "'yes' is not a valid integer value");
    EXPECT_EQ(NotAnIntegerMessage(""), "'' is not a valid integer value");
    EXPECT_EQ(ListIndexMessage(3), "List index out of bounds (3)");
}

} // namespace
} // namespace norvik::settings
