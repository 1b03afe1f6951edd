/* Cutting the image into pages. */
#include <gtest/gtest.h>

#include <utility>

#include "test_support.h"

typedef std::vector<std::pair<uint32_t, uint32_t> > Entries;

static Entries Split(const Bytes &image, unsigned char delimiter, uint32_t *count)
{
    PageTable table;
    Entries entries;
    EXPECT_EQ(1, SplitPages(image.data(), (uint32_t)image.size(), delimiter, &table, count));
    for (uint32_t k = 0; k < table.Entries; k++)
        entries.push_back(std::make_pair(table.PageStarts[k], table.PageEnds[k]));
    FreePageTable(&table);
    return entries;
}

/* The rule stated byte by byte: a page closes at a delimiter or at the last
 * byte; every delimiter counts one more page. */
static Entries Reference(const Bytes &image, unsigned char delimiter, uint32_t *count)
{
    Entries entries;
    uint32_t start = 0;
    *count = 1;
    for (uint32_t i = 0; i < image.size(); i++) {
        if (image[i] == delimiter || i == image.size() - 1) {
            entries.push_back(std::make_pair(start, i));
            start = i + 1;
        }
        if (image[i] == delimiter)
            (*count)++;
    }
    return entries;
}

TEST(Pages, TypicalImages)
{
    struct {
        const char *what;
        Bytes image;
        unsigned char delimiter;
        Entries entries;
        uint32_t count;
    } cases[] = {
        {"no delimiter", ToBytes("ABCDE"), 12, {{0, 4}}, 1},
        {"delimiter inside", ToBytes("AB\fCD"), 12, {{0, 2}, {3, 4}}, 2},
        {"delimiter at the end counts a page without entry", ToBytes("AB\f"), 12, {{0, 2}}, 2},
        {"two delimiters in a row", ToBytes("A\f\fB"), 12, {{0, 1}, {2, 2}, {3, 3}}, 3},
        {"only delimiters", ToBytes("\f\f"), 12, {{0, 0}, {1, 1}}, 3},
        {"empty image", {}, 12, {}, 1},
        {"one byte", ToBytes("x"), 12, {{0, 0}}, 1},
        {"NUL delimiter", Bytes{'a', 0, 'b', 0}, 0, {{0, 1}, {2, 3}}, 3},
        {"line feeds keep their carriage returns", ToBytes("a\r\nbc\r\nd"), 10, {{0, 2}, {3, 6}, {7, 7}}, 3},
        {"delimiter 255", Bytes{1, 255, 2}, 255, {{0, 1}, {2, 2}}, 2},
    };
    for (auto &c : cases) {
        uint32_t count = 0;
        EXPECT_EQ(c.entries, Split(c.image, c.delimiter, &count)) << c.what;
        EXPECT_EQ(c.count, count) << c.what;
    }
}

TEST(Pages, AgreeWithTheByteByByteRuleOnRandomImages)
{
    uint32_t seed = 12345;
    for (int round = 0; round < 400; round++) {
        Bytes image;
        seed = seed * 1103515245u + 12345u;
        size_t size = (seed >> 16) % 300;
        unsigned char delimiter = (unsigned char)(round % 4 == 0 ? 12 : (seed >> 8));
        for (size_t i = 0; i < size; i++) {
            seed = seed * 1103515245u + 12345u;
            /* Dense delimiters half the time. */
            image.push_back((seed >> 24) % (round % 2 ? 3 : 40) == 0 ? delimiter : (unsigned char)(seed >> 16));
        }
        uint32_t count = 0, expectedCount = 0;
        Entries expected = Reference(image, delimiter, &expectedCount);
        EXPECT_EQ(expected, Split(image, delimiter, &count)) << "round " << round;
        EXPECT_EQ(expectedCount, count) << "round " << round;
    }
}

/* Bytes that differ from the delimiter in one bit only, the top bit above
 * all, at every place in a word and every length: none may count. */
TEST(Pages, NearMissesNeverSplitAtAnyAlignment)
{
    const unsigned char delimiters[] = {0, 12, 127, 128, 255};
    for (unsigned char delimiter : delimiters) {
        for (int size = 0; size < 24; size++) {
            for (int at = -1; at < size; at++) {
                Bytes image;
                for (int i = 0; i < size; i++) {
                    unsigned char flip = (unsigned char)(1u << ((i * 3 + at + 8) % 8));
                    image.push_back(i == at ? delimiter : (unsigned char)(delimiter ^ flip));
                }
                uint32_t count = 0, expectedCount = 0;
                Entries expected = Reference(image, delimiter, &expectedCount);
                ASSERT_EQ(expected, Split(image, delimiter, &count))
                    << "delimiter " << (int)delimiter << ", size " << size << ", at " << at;
                ASSERT_EQ(expectedCount, count);
            }
        }
    }
}

TEST(Pages, EntriesCoverTheImageWithoutGapsOrOverlap)
{
    Bytes image;
    for (int i = 0; i < 100000; i++)
        image.push_back(i % 61 == 60 ? '\f' : (unsigned char)('a' + i % 26));
    uint32_t count = 0;
    Entries entries = Split(image, 12, &count);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(0u, entries.front().first);
    EXPECT_EQ(image.size() - 1, entries.back().second);
    for (size_t k = 1; k < entries.size(); k++)
        EXPECT_EQ(entries[k - 1].second + 1, entries[k].first);
    EXPECT_EQ(entries.size(), count);
}

#ifndef _WIN32
TEST(Pages, TableAllocationFailureLeavesNoTable)
{
    Bytes image = ToBytes("a\fb\fc");
    PageTable table;
    uint32_t count = 0;
    PosixFaults.failHeapAlloc = 2;
    EXPECT_EQ(0, SplitPages(image.data(), (uint32_t)image.size(), 12, &table, &count));
    PosixFaults.failHeapAlloc = 0;
    EXPECT_EQ(0u, table.Entries);
    EXPECT_TRUE(table.PageStarts == NULL);
    EXPECT_TRUE(table.PageEnds == NULL);
}
#endif

#ifdef _WIN32
/* A gigabyte of delimiters: in a 32-bit process the table's byte count would
 * wrap to nothing, and the pages would be written past it. */
TEST(Pages, TableTooLargeForTheAddressSpaceIsRefused)
{
    const uint32_t size = 0x40000000u;
    unsigned char *image = (unsigned char *)VirtualAlloc(NULL, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!image)
        GTEST_SKIP() << "no gigabyte of address space to be had";
    PageTable table;
    uint32_t count = 0;
    EXPECT_EQ(0, SplitPages(image, size, 0, &table, &count));
    EXPECT_EQ(0u, table.Entries);
    EXPECT_TRUE(table.PageStarts == NULL);
    VirtualFree(image, 0, MEM_RELEASE);
}
#endif
