/* Cutting the image into pages. */
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "escp.h"
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

/* Which bytes are text, as the reader takes them a byte at a time: the
 * bytes of printer commands never cut. */
static std::vector<bool> TextBytes(const Bytes &image)
{
    EscpReader reader;
    std::vector<bool> text;
    EscpReset(&reader);
    for (unsigned char b : image)
        text.push_back(EscpRead(&reader, b) == ESCP_TEXT);
    return text;
}

/* The rule stated byte by byte: a page closes at a delimiter of the text or
 * at the last byte; every such delimiter counts one more page. */
static Entries Reference(const Bytes &image, unsigned char delimiter, uint32_t *count)
{
    Entries entries;
    std::vector<bool> text = TextBytes(image);
    uint32_t start = 0;
    *count = 1;
    for (uint32_t i = 0; i < image.size(); i++) {
        bool cut = image[i] == delimiter && text[i];
        if (cut || i == image.size() - 1) {
            entries.push_back(std::make_pair(start, i));
            start = i + 1;
        }
        if (cut)
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
        /* The loops step 4 or 8 bytes at a time, counting two steps at once. */
        {"delimiter last in the first step of 4", ToBytes("abc\fd"), 12, {{0, 3}, {4, 4}}, 2},
        {"delimiter last in the first step of 8", ToBytes("abcdefg\fh"), 12, {{0, 7}, {8, 8}}, 2},
        {"delimiter first in the second step of 8", ToBytes("abcdefgh\fi"), 12, {{0, 8}, {9, 9}}, 2},
        {"delimiter last of two steps of 8", ToBytes("abcdefghijklmno\f"), 12, {{0, 15}}, 2},
        {"delimiter first after two steps of 8", ToBytes("abcdefghijklmnop\fq"), 12, {{0, 16}, {17, 17}}, 2},
        /* The bytes of printer commands end no page; the ESC itself can. */
        {"a form feed among dots", Bytes{'a', 27, '*', 0, 2, 0, 12, 12, 'b', 12, 'c'}, 12, {{0, 9}, {10, 10}}, 2},
        {"a form feed as a parameter", Bytes{27, 'Q', 12, 12, 27, 'J', 12}, 12, {{0, 3}, {4, 6}}, 2},
        {"FS 3 with a form feed", Bytes{28, '3', 12, 12}, 12, {{0, 3}}, 2},
        {"a lone FS before a form feed", Bytes{28, 12, 'x'}, 12, {{0, 1}, {2, 2}}, 2},
        {"a form feed in the data of ESC (", Bytes{27, '(', 'V', 2, 0, 12, 0, 12}, 12, {{0, 7}}, 2},
        {"a form feed in run-length raster", Bytes{27, '.', 1, 10, 10, 1, 16, 0, 0xFF, 12, 12, 'x'}, 12,
         {{0, 10}, {11, 11}}, 2},
        {"dots that run past the end", Bytes{27, 'K', 200, 0, 12, 12}, 12, {{0, 5}}, 1},
        {"an ESC ( length of 65,535", Bytes{27, '(', 'x', 0xFF, 0xFF, 12, 'a', 12}, 12, {{0, 7}}, 1},
        {"a run longer than its rows", Bytes{27, '.', 1, 10, 10, 1, 8, 0, 0x80, 12, 12, 'x'}, 12,
         {{0, 10}, {11, 11}}, 2},
        {"delimiter 27 cuts at every ESC that starts a command", Bytes{'a', 27, 'K', 1, 0, 27, 27, 'E'}, 27,
         {{0, 1}, {2, 6}, {7, 7}}, 3},
        {"a delimiter in every byte of two steps", Bytes(16, 12), 12,
         {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}, {10, 10},
          {11, 11}, {12, 12}, {13, 13}, {14, 14}, {15, 15}}, 17},
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

/* A command's first byte is looked for a word at a time on the way: ESC J
 * with a form feed for its parameter, or FS 3 with one, at every place of
 * every length, among bytes next to them in value (0x17, 0x20, 0x9B), cuts
 * nowhere. */
TEST(Pages, CommandsAreFoundAtAnyAlignment)
{
    const Bytes commands[] = {{27, 'J', 12}, {28, '3', 12}};
    for (const Bytes &command : commands) {
        for (size_t size = 3; size < 40; size++) {
            for (size_t at = 0; at + 3 <= size; at++) {
                Bytes image(size, 0x17);
                for (size_t i = 0; i < size; i++)
                    image[i] = i % 3 == 0 ? 0x20 : i % 3 == 1 ? 0x9B : 0x17;
                std::copy(command.begin(), command.end(), image.begin() + at);
                uint32_t count = 0;
                EXPECT_EQ(Entries({{0, (uint32_t)size - 1}}), Split(image, 12, &count)) << size << " " << at;
                EXPECT_EQ(1u, count) << size << " " << at;
            }
        }
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

/* ---- Pages that also end at a count of line feeds ---------------------------- */

static Entries SplitByLines(const Bytes &image, unsigned char delimiter, uint32_t lines, uint32_t *count)
{
    PageTable table;
    Entries entries;
    EXPECT_EQ(1, SplitPagesByLines(image.data(), (uint32_t)image.size(), delimiter, lines, &table, count));
    for (uint32_t k = 0; k < table.Entries; k++)
        entries.push_back(std::make_pair(table.PageStarts[k], table.PageEnds[k]));
    FreePageTable(&table);
    return entries;
}

/* The rule byte by byte: a page closes at a delimiter, at its lines-th line
 * feed, or at the last byte; only a delimiter at the very end counts one
 * more page. */
static Entries ReferenceByLines(const Bytes &image, unsigned char delimiter, uint32_t lines, uint32_t *count)
{
    Entries entries;
    std::vector<bool> text = TextBytes(image);
    uint32_t start = 0, feeds = 0;
    bool last = image.empty();
    for (uint32_t i = 0; i < image.size(); i++) {
        bool cut = image[i] == delimiter && text[i];
        feeds += image[i] == '\n' && text[i];
        if (cut || (lines && feeds == lines) || i == image.size() - 1) {
            entries.push_back(std::make_pair(start, i));
            start = i + 1;
            feeds = 0;
        }
        last = cut;
    }
    *count = (uint32_t)entries.size() + (last ? 1u : 0u);
    return entries;
}

static Bytes NumberedLines(int first, int last)
{
    std::string text;
    for (int n = first; n <= last; n++)
        text += "line " + std::to_string(n) + "\r\n";
    return ToBytes(text);
}

/* A report of 150 lines without a form feed, on 66-line forms. */
TEST(PagesByLines, ReportWithoutFormFeedsIsCutEveryNLines)
{
    Bytes report = NumberedLines(1, 150);
    uint32_t count = 0;
    Entries entries = SplitByLines(report, 12, 66, &count);
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(3u, count);
    Bytes pages[3];
    for (int k = 0; k < 3; k++)
        pages[k] = Bytes(report.begin() + entries[k].first, report.begin() + entries[k].second + 1);
    EXPECT_EQ(NumberedLines(1, 66), pages[0]);
    EXPECT_EQ(NumberedLines(67, 132), pages[1]);
    EXPECT_EQ(NumberedLines(133, 150), pages[2]);

    /* Exactly two forms: the cut at the last byte adds no page. */
    Bytes two = NumberedLines(1, 132);
    EXPECT_EQ(Entries({{0, (uint32_t)NumberedLines(1, 66).size() - 1},
                       {(uint32_t)NumberedLines(1, 66).size(), (uint32_t)two.size() - 1}}),
              SplitByLines(two, 12, 66, &count));
    EXPECT_EQ(2u, count);
}

TEST(PagesByLines, DelimiterStillCutsAndRestartsTheCount)
{
    struct {
        const char *what;
        const char *image;
        uint32_t lines;
        Entries entries;
        uint32_t count;
    } cases[] = {
        {"form feed restarts the count", "a\nb\fc\nd\ne\n", 2, {{0, 3}, {4, 7}, {8, 9}}, 3},
        {"form feed right after a cut", "a\nb\n\fc", 2, {{0, 3}, {4, 4}, {5, 5}}, 3},
        {"form feed at the end still counts an empty page", "a\nb\f", 2, {{0, 3}}, 2},
        {"cut at the end counts none", "a\nb\n", 2, {{0, 3}}, 1},
        {"one line a page", "\n\n\nx", 1, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, 4},
        {"carriage returns stay with their lines", "a\r\nb\r\nc", 1, {{0, 2}, {3, 5}, {6, 6}}, 3},
        {"no line feed at all", "abc\fdef", 3, {{0, 3}, {4, 6}}, 2},
        {"fewer lines than a page", "a\nb", 66, {{0, 2}}, 1},
        {"empty image", "", 66, {}, 1},
        {"off", "a\nb\nc", 0, {{0, 4}}, 1},
        /* A line feed that is a command's parameter ends no line. */
        {"line feed as a parameter", "a\x1b" "J\nb\nc", 2, {{0, 6}}, 1},
        {"line feed as a parameter, a line a page", "a\x1b" "J\nb\nc", 1, {{0, 5}, {6, 6}}, 2},
        {"the count runs on over a command", "a\n\x1b" "E\nb\nc", 2, {{0, 4}, {5, 7}}, 2},
    };
    for (auto &c : cases) {
        uint32_t count = 0;
        EXPECT_EQ(c.entries, SplitByLines(ToBytes(c.image), 12, c.lines, &count)) << c.what;
        EXPECT_EQ(c.count, count) << c.what;
    }
}

/* With the line feed as delimiter every line is a page already, whatever
 * the count; a count of 0 is the plain split. */
TEST(PagesByLines, LineFeedDelimiterIsEveryLineAPage)
{
    Bytes image = ToBytes("one\r\ntwo\n\nthree\n");
    uint32_t plainCount = 0, count = 0;
    Entries plain = Split(image, 10, &plainCount);
    ASSERT_EQ(4u, plain.size());
    EXPECT_EQ(5u, plainCount);
    for (uint32_t lines : {0u, 1u, 2u, 66u}) {
        EXPECT_EQ(plain, SplitByLines(image, 10, lines, &count)) << lines;
        EXPECT_EQ(plainCount, count) << lines;
    }
}

TEST(PagesByLines, AgreeWithTheByteByByteRuleOnRandomImages)
{
    uint32_t seed = 777;
    for (int round = 0; round < 600; round++) {
        Bytes image;
        seed = seed * 1103515245u + 12345u;
        size_t size = (seed >> 16) % 300;
        unsigned char delimiter = (unsigned char)(round % 3 == 0 ? 12 : round % 7 == 0 ? 10 : (seed >> 8));
        uint32_t lines = 1 + (seed >> 4) % 5;
        for (size_t i = 0; i < size; i++) {
            seed = seed * 1103515245u + 12345u;
            unsigned pick = (seed >> 24) % (round % 2 ? 4 : 30);
            /* Line feeds, delimiters and their near misses (11, 13, 138) at
             * every place in a word. */
            image.push_back(pick == 0 ? '\n' : pick == 1 ? delimiter : pick == 2 ? (unsigned char)(10 ^ (1u << (seed % 8)))
                                                                              : (unsigned char)(seed >> 16));
        }
        uint32_t count = 0, expectedCount = 0;
        Entries expected = ReferenceByLines(image, delimiter, lines, &expectedCount);
        ASSERT_EQ(expected, SplitByLines(image, delimiter, lines, &count))
            << "round " << round << ", lines " << lines << ", delimiter " << (int)delimiter;
        ASSERT_EQ(expectedCount, count) << "round " << round;
    }
}

#ifndef _WIN32
TEST(PagesByLines, TableAllocationFailureLeavesNoTable)
{
    Bytes image = NumberedLines(1, 10);
    for (unsigned at : {1u, 2u}) {
        PageTable table;
        uint32_t count = 0;
        PosixFaults.failHeapAlloc = at;
        EXPECT_EQ(0, SplitPagesByLines(image.data(), (uint32_t)image.size(), 12, 3, &table, &count)) << at;
        PosixFaults.failHeapAlloc = 0;
        EXPECT_EQ(0u, table.Entries);
        EXPECT_TRUE(table.PageStarts == NULL && table.PageEnds == NULL);
    }
}
#endif

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

/* A few bytes short of 4 GB: the passes that look at four bytes at a time
 * must stop at the image's last byte, not let their 32-bit index wrap and
 * read on past it. */
TEST(Pages, ImageJustUnderFourGigabytesIsReadToItsLastByteOnly)
{
    const uint32_t size = 0xFFFFFFFDu;
    unsigned char *image = MapGuardedZeros(size);
    if (!image)
        GTEST_SKIP() << "no 4 GB of address space to be had";
    PageTable table;
    uint32_t count = 0;
    EXPECT_EQ(1, SplitPages(image, size, 12, &table, &count));
    EXPECT_EQ(1u, count);
    ASSERT_EQ(1u, table.Entries);
    EXPECT_EQ(size - 1, table.PageEnds[0]);
    FreePageTable(&table);
    UnmapGuardedZeros(image, size);
}
#endif

#ifdef _WIN32
/* A gigabyte of delimiters: in a 32-bit process the table's byte count would
 * wrap to nothing, and the pages would be written past it. */
TEST(Pages, TableTooLargeForTheAddressSpaceIsRefused)
{
    if (sizeof(void *) > 4)
        GTEST_SKIP() << "a 64-bit process has room for the table";
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
