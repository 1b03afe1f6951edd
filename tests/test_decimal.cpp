/* Decimal text as the dialogs read and write it. */
#include <gtest/gtest.h>
#include <string.h>

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

TEST(Decimal, WritesUnsignedWithoutPaddingOrSign)
{
    static const struct { uint32_t value; const char *text; } cases[] = {
        {0, "0"}, {7, "7"}, {10, "10"}, {255, "255"}, {1000000, "1000000"},
        {2147483648u, "2147483648"}, {4294967295u, "4294967295"},
    };
    char buffer[16];
    for (const auto &c : cases) {
        memset(buffer, 'x', sizeof buffer);
        WriteDecimalUnsigned(c.value, buffer);
        EXPECT_STREQ(c.text, buffer);
        EXPECT_EQ('x', buffer[strlen(c.text) + 1]) << "wrote past the terminator";
    }
}
