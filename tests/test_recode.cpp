/* Recoding Windows-1251 Cyrillic to code page 866. */
#include <gtest/gtest.h>
#include <stdlib.h>

#include "test_support.h"

static Bytes Cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

static Bytes Recode(Bytes image, bool *logged)
{
    ResetHost(1, 1, 1);
    RecodeToDos(image.data(), (uint32_t)image.size(), TestLog());
    *logged = Host.lines.size() == 1 && Host.lines[0] == TextRecoding;
    EXPECT_LE(Host.lines.size(), 1u);
    return image;
}

/* Windows-1251 bytes whose character code page 866 has too, and where it
 * has it; a native test checks these pairs against iconv. */
static const unsigned char ExactPairs[][2] = {
    {0xA0, 0xFF}, {0xA1, 0xF6}, {0xA2, 0xF7}, {0xA4, 0xFD}, {0xA8, 0xF0}, {0xAA, 0xF2},
    {0xAF, 0xF4}, {0xB0, 0xF8}, {0xB7, 0xFA}, {0xB8, 0xF1}, {0xB9, 0xFC}, {0xBA, 0xF3},
    {0xBF, 0xF5},
};

/* Characters without a counterpart: quotes, dashes, the bullet and the
 * Ukrainian letters print as the nearest plain sign or letter. */
static const unsigned char LookAlikePairs[][2] = {
    {0x82, ','}, {0x84, '"'}, {0x93, '"'}, {0x94, '"'}, {0xAB, '"'}, {0xBB, '"'},
    {0x91, '\''}, {0x92, '\''}, {0x8B, '<'}, {0x9B, '>'}, {0x96, '-'}, {0x97, '-'},
    {0xAD, '-'}, {0x95, 0xF9}, {0xB2, 'I'}, {0xB3, 'i'}, {0xA5, 0x83}, {0xB4, 0xA3},
};

/* What each of the 256 values becomes: the letters А-я move to their code
 * page 866 places, the pairs above as listed, the rest stays. */
static Bytes ExpectedTable()
{
    Bytes table;
    for (int v = 0; v < 256; v++)
        table.push_back((unsigned char)(v >= 240 ? v - 16 : v >= 192 ? v - 64 : v));
    for (auto &pair : ExactPairs)
        table[pair[0]] = pair[1];
    for (auto &pair : LookAlikePairs)
        table[pair[0]] = pair[1];
    return table;
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
    Bytes expected = ExpectedTable();
    for (int v = 0; v < 256; v++)
        EXPECT_EQ(expected[v], out[v]) << "byte " << v;
    EXPECT_EQ(0xE0, out.back());
}

/* Everyday Russian punctuation in a Windows-1251 text, as a reader would
 * want it on paper. */
TEST(Recode, YoNumberSignQuotesAndDashesPrintRight)
{
    /* «Ёлка и ель» — № 5 */
    Bytes windows = {0xAB, 0xA8, 0xEB, 0xEA, 0xE0, ' ', 0xE8, ' ', 0xE5, 0xEB, 0xFC, 0xBB,
                     ' ', 0x97, ' ', 0xB9, ' ', '5'};
    Bytes dos = {'"', 0xF0, 0xAB, 0xAA, 0xA0, ' ', 0xA8, ' ', 0xA5, 0xAB, 0xEC, '"',
                 ' ', '-', ' ', 0xFC, ' ', '5'};
    bool logged = false;
    EXPECT_EQ(dos, Recode(windows, &logged));
    EXPECT_TRUE(logged);
}

/* For a printer set to code page 1125: the Ukrainian letters go to their
 * places there, Ў ў to У у, and what the 866 table puts where 1125 has
 * other letters (the degree sign and the bullet) to "?". */
static const unsigned char Pairs1125[][2] = {
    {0xA5, 0xF2}, {0xB4, 0xF3}, {0xAA, 0xF4}, {0xBA, 0xF5}, {0xB2, 0xF6}, {0xB3, 0xF7},
    {0xAF, 0xF8}, {0xBF, 0xF9}, {0xA1, 0x93}, {0xA2, 0xE3}, {0xB0, '?'}, {0x95, '?'},
};

static Bytes ExpectedTable1125()
{
    Bytes table = ExpectedTable();
    for (auto &pair : Pairs1125)
        table[pair[0]] = pair[1];
    return table;
}

TEST(Recode, TableFor1125DiffersOnlyInTheUkrainianLetters)
{
    Bytes image;
    for (int v = 0; v < 256; v++)
        image.push_back((unsigned char)v);
    for (int i = 0; i < 200; i++)
        image.push_back(0xF0);
    Bytes same = image;
    ResetHost(1, 1, 1);
    RecodeToCodePage(image.data(), (uint32_t)image.size(), 1125, TestLog());
    ASSERT_EQ(1u, Host.lines.size());
    Bytes expected = ExpectedTable1125();
    for (int v = 0; v < 256; v++)
        EXPECT_EQ(expected[v], image[v]) << "byte " << v;

    /* Any other code page is 866, and the rule does not depend on it. */
    for (uint32_t codePage : {866u, 0u, 1251u}) {
        Bytes other = same;
        ResetHost(1, 1, 1);
        RecodeToCodePage(other.data(), (uint32_t)other.size(), codePage, TestLog());
        Bytes table = ExpectedTable();
        for (int v = 0; v < 256; v++)
            EXPECT_EQ(table[v], other[v]) << "byte " << v << " for " << codePage;
    }
    Bytes dos = {0x8F, 0xE0, 0xA8, 0xB3, 0xC4};
    ResetHost(1, 1, 1);
    RecodeToCodePage(dos.data(), (uint32_t)dos.size(), 1125, TestLog());
    EXPECT_EQ(Bytes({0x8F, 0xE0, 0xA8, 0xB3, 0xC4}), dos);
    EXPECT_TRUE(Host.lines.empty());
}

#ifndef _WIN32
/* Every Windows-1251 character that code page 1125 has lands where iconv
 * puts it; the others (look-alikes, "?", unchanged bytes) iconv leaves out. */
TEST(Recode, TableFor1125AgreesWithIconv)
{
    std::string dir = ScratchDirectory("recode_iconv_1125");
    std::string in = JoinPath(dir, "cp1251.bin");
    std::string out = JoinPath(dir, "cp1125.bin");
    Bytes source;
    for (int v = 128; v < 256; v++) {
        source.push_back((unsigned char)v);
        source.push_back('\n');
    }
    WriteBytes(in, source);
    std::string command = "iconv -c -f CP1251 -t CP1125 '" + in + "' > '" + out + "' 2>/dev/null; test -s '" + out + "'";
    ASSERT_EQ(0, system(command.c_str())) << command;
    Bytes converted = ReadBytes(out), table = ExpectedTable1125();
    size_t at = 0, checked = 0;
    for (int v = 128; v < 256; v++) {
        ASSERT_LT(at, converted.size());
        if (converted[at] != '\n') {
            EXPECT_EQ((int)converted[at], (int)table[v]) << "byte " << v;
            at++;
            checked++;
        }
        ASSERT_EQ('\n', converted[at]);
        at++;
    }
    EXPECT_GE(checked, 72u); /* the letters and the signs 1125 has */
}
#endif

#ifndef _WIN32
/* The literal pairs above, and the letters, against iconv's own tables. */
TEST(Recode, ExactPartAgreesWithIconv)
{
    std::string dir = ScratchDirectory("recode_iconv");
    std::string in = JoinPath(dir, "cp1251.bin");
    std::string out = JoinPath(dir, "cp866.bin");
    Bytes source, expected;
    Bytes table = ExpectedTable();
    for (auto &pair : ExactPairs)
        source.push_back(pair[0]);
    for (int v = 192; v < 256; v++)
        source.push_back((unsigned char)v);
    for (unsigned char c : source)
        expected.push_back(table[c]);
    WriteBytes(in, source);
    std::string command = "iconv -f CP1251 -t CP866 '" + in + "' > '" + out + "'";
    ASSERT_EQ(0, system(command.c_str())) << command;
    EXPECT_EQ(expected, ReadBytes(out));
}
#endif

#ifndef _WIN32
/* A few bytes short of 4 GB: the count runs to the image's last byte and
 * no further. Zeros are no text of either code page: nothing is recoded. */
TEST(Recode, ImageJustUnderFourGigabytesIsReadToItsLastByteOnly)
{
    const uint32_t size = 0xFFFFFFFDu;
    unsigned char *image = MapGuardedZeros(size);
    if (!image)
        GTEST_SKIP() << "no 4 GB of address space to be had";
    ResetHost(1, 1, 1);
    RecodeToDos(image, size, TestLog());
    EXPECT_TRUE(Host.lines.empty());
    UnmapGuardedZeros(image, size);
}
#endif

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

/* The bytes of printer commands are neither counted nor recoded: dots,
 * parameters and data go out as they are, whatever they look like. */
TEST(Recode, PrinterCommandsAreNeitherCountedNorRecoded)
{
    const Bytes privet = {0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2};
    const Bytes privetDos = {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2};
    Bytes dots = {27, '*', 0, 4, 0, 0xE0, 0xF0, 0x0C, 0xFF, 27, 'K', 2, 0, 0xE5, 0xF2};
    Bytes paren = {27, '(', 'c', 4, 0, 0xE0, 0xE1, 0xE2, 0xE3};
    Bytes fs = {28, '3', 0xF0};
    Bytes raster = {27, '.', 1, 10, 10, 1, 40, 0, 0xFE, 0xE0, 1, 0xF0, 0xF1};
    struct { const char *what; Bytes image; Bytes out; bool recoded; } cases[] = {
        {"dots alone", Cat(dots, ToBytes("\r\n")), {}, false},
        {"an ESC ( command's data", paren, {}, false},
        {"FS 3 n", fs, {}, false},
        {"run-length raster", raster, {}, false},
        {"Windows text around dots", Cat(Cat(privet, dots), privet), Cat(Cat(privetDos, dots), privetDos), true},
        /* Code page 866 text wins once the dots no longer count. */
        {"code page 866 text with Windows-looking dots", Cat(Bytes{0xA0, 0xA1, 0xA2}, Cat(dots, dots)), {}, false},
        {"a lone FS: the letter after it is text", {28, 0xE0}, {28, 0xA0}, true},
        {"ESC alone at the end", {0xE0, 27}, {0xA0, 27}, true},
    };
    for (auto &c : cases) {
        bool logged = !c.recoded;
        Bytes expected = c.out.empty() ? c.image : c.out;
        EXPECT_EQ(expected, Recode(c.image, &logged)) << c.what;
        EXPECT_EQ(c.recoded, logged) << c.what;
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

/* The recoding takes 4 or 8 bytes at a step, and only the bytes 128-191
 * (here Ё, a dash and a quote) go through the table: each at every place in
 * images of every length around the step, among letters from both halves
 * of the alphabet and ASCII. */
TEST(Recode, SignsAndLettersAtEveryPlaceAroundTheStep)
{
    const unsigned char signs[] = {0xA8, 0x97, 0xAB, 0x80, 0xBF};
    const unsigned char fill[] = {0xE0, 0xFF, 0xC0, 0xEF, 0xF0, 'a', 0xDF, 0x7F};
    Bytes table = ExpectedTable();
    for (unsigned char sign : signs) {
        for (int size = 1; size <= 40; size++) {
            for (int at = 0; at < size; at++) {
                Bytes image;
                for (int i = 0; i < size; i++)
                    image.push_back(i == at ? sign : fill[(i + size) % 8]);
                /* Recoded when Windows lower case outnumbers 128-191. */
                int windows = 0, dos = 0;
                for (unsigned char c : image) {
                    windows += c >= 224;
                    dos += c >= 128 && c < 192;
                }
                Bytes expected = image;
                if (windows > dos) {
                    for (unsigned char &c : expected)
                        c = table[c];
                }
                bool logged = false;
                ASSERT_EQ(expected, Recode(image, &logged)) << "sign " << (int)sign << ", size " << size << ", at " << at;
                ASSERT_EQ(windows > dos, logged) << "size " << size << ", at " << at;
            }
        }
    }
}

/* The test counts in steps too, and sums its counts every 255 steps: a
 * tie stays a tie, and one byte more tips it, wherever the bytes stand. */
TEST(Recode, TestCountsEveryByteAtEveryLength)
{
    const size_t sizes[] = {7, 8, 9, 15, 16, 17, 1019, 1020, 1021, 2039, 2040, 2041, 4081, 6000};
    for (size_t size : sizes) {
        for (size_t shift : {0, 1, 3, 7}) {
            /* Pairs of 0xE0 and 0x80 (a tie), the rest ASCII, then one more
             * 0xE0 at the last byte. */
            Bytes image(size, 'x');
            for (size_t i = shift; i + 1 < size; i += 5) {
                image[i] = 0xE0;
                if (i + 2 < size)
                    image[i + 2] = 0x80;
                else
                    image[i] = 'x';
            }
            bool logged = true;
            Recode(image, &logged);
            EXPECT_FALSE(logged) << "tie, size " << size << ", shift " << shift;
            image[size - 1] = 0xFF;
            Recode(image, &logged);
            EXPECT_TRUE(logged) << "one more, size " << size << ", shift " << shift;
        }
        /* Runs of one kind, longer than the steps between sums. */
        Bytes runs(size, 0x80);
        runs.insert(runs.end(), size, 0xE0);
        bool logged = true;
        Recode(runs, &logged);
        EXPECT_FALSE(logged) << "runs, size " << size;
        runs.push_back(0xE0);
        Recode(runs, &logged);
        EXPECT_TRUE(logged) << "runs and one more, size " << size;
    }
}
