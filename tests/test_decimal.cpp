/* Decimal text as the dialogs read and write it. */
#include <gtest/gtest.h>

#include "test_support.h"

struct DecimalCase {
    const char *text;
    uint32_t value;
};

TEST(Decimal, ReadsWithBlanksSignAndWrapAround)
{
    static const DecimalCase cases[] = {
        {"", 0},
        {"abc", 0},
        {"12", 12},
        {"  12", 12},
        {"\t\n\v\f\r 7", 7},      /* bytes 9-13 and 32 are white space */
        {"+5", 5},
        {"-1", 4294967295u},
        {"-0", 0},
        {"- 5", 0},               /* a sign followed by a blank: no digit */
        {"+-5", 0},
        {"12abc", 12},            /* stops at the first non-digit */
        {"1 2", 1},
        {"300", 300},
        {"4294967295", 4294967295u},
        {"4294967296", 0},        /* wraps modulo 2^32 */
        {"4294967297", 1},
        {"99999999999", 1215752191u},
        {"-2147483648", 2147483648u},
        {"\xA0" "5", 0},          /* bytes from 128 up are not white space */
        {"\x85" "5", 0},
        {"5\xB2", 5},
        {"\x1C" "5", 0},          /* neither are other control bytes */
    };
    for (const DecimalCase &c : cases)
        EXPECT_EQ(c.value, ReadDecimal(c.text)) << "text: \"" << c.text << "\"";
}

TEST(Decimal, DelimiterTakesTheLowEightBits)
{
    EXPECT_EQ(44u, ReadDecimal("300") & 0xFFu);
    EXPECT_EQ(255u, ReadDecimal("-1") & 0xFFu);
    EXPECT_EQ(0u, ReadDecimal("not a number") & 0xFFu);
}

TEST(Decimal, WritesWithoutPaddingAndWithMinus)
{
    char buffer[16];
    struct { int32_t value; const char *text; } cases[] = {
        {0, "0"}, {12, "12"}, {-1, "-1"}, {255, "255"}, {1000000, "1000000"},
        {2147483647, "2147483647"}, {-2147483647 - 1, "-2147483648"},
    };
    for (auto &c : cases) {
        memset(buffer, 'x', sizeof buffer);
        WriteDecimal(c.value, buffer);
        EXPECT_STREQ(c.text, buffer);
    }
    WriteDecimalUnsigned(4294967295u, buffer);
    EXPECT_STREQ("4294967295", buffer);
    WriteDecimalUnsigned(0, buffer);
    EXPECT_STREQ("0", buffer);
}

TEST(Decimal, EveryDelimiterValueSurvivesTheDialogRoundTrip)
{
    char buffer[16];
    for (int value = 0; value < 256; value++) {
        WriteDecimal(value, buffer);
        EXPECT_EQ((uint32_t)value, ReadDecimal(buffer) & 0xFFu) << buffer;
    }
}
