/* Recoding Windows-1251 Cyrillic to code page 866. */
#include <gtest/gtest.h>

#include "test_support.h"

static Bytes Recode(Bytes image, bool *logged)
{
    ResetHost(1, 1, 1);
    RecodeToDos(image.data(), (uint32_t)image.size(), TestLog());
    *logged = Host.lines.size() == 1 && Host.lines[0] == TextRecoding;
    EXPECT_LE(Host.lines.size(), 1u);
    return image;
}

TEST(Recode, EveryByteValueMapsByTheTable)
{
    Bytes image;
    for (int v = 0; v < 256; v++)
        image.push_back((unsigned char)v);
    /* Tip the balance towards Windows lower case. */
    for (int i = 0; i < 200; i++)
        image.push_back(0xF0);
    bool logged = false;
    Bytes out = Recode(image, &logged);
    ASSERT_TRUE(logged);
    for (int v = 0; v < 256; v++) {
        int expected = v >= 240 ? v - 16 : v >= 192 ? v - 64 : v;
        EXPECT_EQ(expected, out[v]) << "byte " << v;
    }
    EXPECT_EQ(0xE0, out.back());
}

TEST(Recode, WindowsTextIsRecoded)
{
    /* "Привет, мир" in Windows-1251 becomes the same words in code page 866. */
    Bytes windows = {0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, ',', ' ', 0xEC, 0xE8, 0xF0};
    Bytes dos = {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2, ',', ' ', 0xAC, 0xA8, 0xE0};
    bool logged = false;
    EXPECT_EQ(dos, Recode(windows, &logged));
    EXPECT_TRUE(logged);
}

TEST(Recode, TextTakenForDosOrPlainPassesUnchanged)
{
    struct { const char *what; Bytes image; } cases[] = {
        {"empty", {}},
        {"ASCII only", ToBytes("Hello\r\n\f")},
        {"code page 866 text", {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2, ' ', 0xAC, 0xA8, 0xE0, 0xB3, 0xC4}},
        {"tie of 224-255 and 128-191", {0xE0, 0x80}},
        {"tie at the range edges", {191, 224}},
        {"no byte above 191 but Yo", {0xA8, 0xB8, 0xB9}},
    };
    for (auto &c : cases) {
        bool logged = true;
        EXPECT_EQ(c.image, Recode(c.image, &logged)) << c.what;
        EXPECT_FALSE(logged) << c.what;
    }
}

TEST(Recode, RangeEdgesDecideTheTest)
{
    struct { Bytes image; bool recoded; } cases[] = {
        {{0xE0}, true},            /* A = 0, B = 1 */
        {{127, 224}, true},        /* 127 is in neither range */
        {{192, 224}, true},        /* 192 counts in both: A = 1, B = 2 */
        {{223, 224}, true},
        {{191, 224}, false},       /* 191 counts only for code page 866 */
        {{128, 255}, false},
        {{224, 224, 128, 129}, false},
        {{224, 224, 225, 128, 129}, true},
    };
    for (auto &c : cases) {
        bool logged = false;
        Recode(c.image, &logged);
        EXPECT_EQ(c.recoded, logged) << "first byte " << (int)c.image[0] << ", size " << c.image.size();
    }
}
