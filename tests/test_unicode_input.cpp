/* UTF-16 and UTF-8 input recoded for a printer set to code page 866 or
 * 1125, and the order in which a file is taken for one or the other. */
#include <gtest/gtest.h>
#include <stdlib.h>

#include "test_support.h"

static const Bytes Utf8Mark = {0xEF, 0xBB, 0xBF};
static const Bytes Utf16LeMark = {0xFF, 0xFE};
static const Bytes Utf16BeMark = {0xFE, 0xFF};

static Bytes Cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

static Bytes Utf8(const std::vector<uint32_t> &text)
{
    Bytes out;
    for (uint32_t u : text) {
        if (u < 0x80) {
            out.push_back((unsigned char)u);
        } else if (u < 0x800) {
            out.push_back((unsigned char)(0xC0 | u >> 6));
            out.push_back((unsigned char)(0x80 | (u & 0x3F)));
        } else if (u < 0x10000) {
            out.push_back((unsigned char)(0xE0 | u >> 12));
            out.push_back((unsigned char)(0x80 | (u >> 6 & 0x3F)));
            out.push_back((unsigned char)(0x80 | (u & 0x3F)));
        } else {
            out.push_back((unsigned char)(0xF0 | u >> 18));
            out.push_back((unsigned char)(0x80 | (u >> 12 & 0x3F)));
            out.push_back((unsigned char)(0x80 | (u >> 6 & 0x3F)));
            out.push_back((unsigned char)(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

static Bytes Utf16(const std::vector<uint32_t> &text, bool bigEndian)
{
    Bytes out;
    for (uint32_t u : text) {
        uint32_t units[2] = {u, 0};
        int n = 1;
        if (u >= 0x10000) {
            units[0] = 0xD800 + ((u - 0x10000) >> 10);
            units[1] = 0xDC00 + ((u - 0x10000) & 0x3FF);
            n = 2;
        }
        for (int k = 0; k < n; k++) {
            out.push_back((unsigned char)(bigEndian ? units[k] >> 8 : units[k] & 0xFF));
            out.push_back((unsigned char)(bigEndian ? units[k] & 0xFF : units[k] >> 8));
        }
    }
    return out;
}

/* The recoded image; *logged when the one recoding line was written. */
static Bytes Recode(Bytes image, uint32_t codePage, bool *logged)
{
    ResetHost(1, 1, 1);
    uint32_t kept = RecodeForPrinter(image.data(), (uint32_t)image.size(), codePage, TestLog());
    EXPECT_LE(kept, image.size());
    EXPECT_LE(Host.lines.size(), 1u);
    *logged = Host.lines.size() == 1 && Host.lines[0] == TextRecoding;
    image.resize(kept);
    return image;
}

static Bytes Recoded(const Bytes &image, uint32_t codePage)
{
    bool logged = false;
    Bytes out = Recode(image, codePage, &logged);
    EXPECT_TRUE(logged);
    return out;
}

/* "Привет, мир" and its code page 866 bytes (1125 has А-я in the same places). */
static const std::vector<uint32_t> Hello = {0x41F, 0x440, 0x438, 0x432, 0x435, 0x442, ',', ' ', 0x43C, 0x438, 0x440};
static const Bytes HelloDos = {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2, ',', ' ', 0xAC, 0xA8, 0xE0};

TEST(UnicodeInput, EveryFormOfTheTextPrintsTheSameLetters)
{
    struct { const char *what; Bytes image; } forms[] = {
        {"UTF-8 with its mark", Cat(Utf8Mark, Utf8(Hello))},
        {"UTF-8 without a mark", Utf8(Hello)},
        {"UTF-16LE", Cat(Utf16LeMark, Utf16(Hello, false))},
        {"UTF-16BE", Cat(Utf16BeMark, Utf16(Hello, true))},
    };
    for (auto &f : forms) {
        EXPECT_EQ(HelloDos, Recoded(f.image, 866)) << f.what;
        EXPECT_EQ(HelloDos, Recoded(f.image, 1125)) << f.what;
    }
}

/* Dots among the text: UTF-8 is still UTF-8, and the command bytes are
 * moved down with the text, as they are. */
TEST(UnicodeInput, PrinterCommandsAmongUtf8TextGoOutAsTheyAre)
{
    const Bytes dots = {27, '*', 0, 3, 0, 0xD0, 0x80, 0xFF, 27, '.', 1, 10, 10, 1, 24, 0, 0xFE, 0xC3};
    struct { const char *what; Bytes image; } forms[] = {
        {"with its mark", Cat(Utf8Mark, Cat(Cat(Utf8(Hello), dots), Utf8(Hello)))},
        {"without a mark", Cat(Cat(Utf8(Hello), dots), Utf8(Hello))},
    };
    for (auto &f : forms)
        EXPECT_EQ(Cat(Cat(HelloDos, dots), HelloDos), Recoded(f.image, 866)) << f.what;
    /* A sequence cut by a command is not valid: the Windows-1251 rule,
     * which leaves these letters alone. */
    Bytes cut = Cat(Utf8(Hello), Bytes{0xD0, 27, 'E', 0xBF});
    bool logged = true;
    EXPECT_EQ(cut, Recode(cut, 866, &logged));
    EXPECT_FALSE(logged);
}

TEST(UnicodeInput, LineEndsFormFeedsAndAsciiPassUnchanged)
{
    std::vector<uint32_t> text;
    Bytes ascii;
    for (uint32_t c = 0; c < 128; c++) {
        text.push_back(c);
        ascii.push_back((unsigned char)c);
    }
    text.push_back(0x44F); /* я, so that the unmarked form is taken for UTF-8 */
    ascii.push_back(0xEF);
    EXPECT_EQ(ascii, Recoded(Utf8(text), 866));
    EXPECT_EQ(ascii, Recoded(Cat(Utf16LeMark, Utf16(text, false)), 1125));
    EXPECT_EQ(ascii, Recoded(Cat(Utf16BeMark, Utf16(text, true)), 866));
}

/* What has no place of its own: the Windows-1251 table's look-alikes, or
 * "?". */
TEST(UnicodeInput, CharactersWithoutAPlacePrintAsLookAlikesOrQuestionMarks)
{
    struct { uint32_t unicode; unsigned char in866, in1125; } cases[] = {
        {0x201E, '"', '"'}, {0x201C, '"', '"'}, {0x201D, '"', '"'}, {0x00AB, '"', '"'}, {0x00BB, '"', '"'},
        {0x2018, '\'', '\''}, {0x2019, '\'', '\''}, {0x201A, ',', ','}, {0x2039, '<', '<'}, {0x203A, '>', '>'},
        {0x2013, '-', '-'}, {0x2014, '-', '-'}, {0x00AD, '-', '-'},
        {0x2022, 0xF9, '?'},                      /* • as ∙, which 1125 has not */
        {0x0406, 'I', 0xF6}, {0x0456, 'i', 0xF7}, /* І і */
        {0x0490, 0x83, 0xF2}, {0x0491, 0xA3, 0xF3}, /* Ґ ґ */
        {0x0404, 0xF2, 0xF4}, {0x0457, 0xF5, 0xF9}, /* Є ї */
        {0x040E, 0xF6, 0x93}, {0x045E, 0xF7, 0xE3}, /* Ў ў, as У у in 1125 */
        {0x00B0, 0xF8, '?'}, {0x2219, 0xF9, '?'},   /* ° ∙ */
        {0x00B7, 0xFA, 0xFA}, {0x221A, 0xFB, 0xFB}, {0x2116, 0xFC, 0xFC}, {0x00A4, 0xFD, 0xFD},
        {0x25A0, 0xFE, 0xFE}, {0x00A0, 0xFF, 0xFF}, {0x0401, 0xF0, 0xF0}, {0x0451, 0xF1, 0xF1},
        {0x2554, 0xC9, 0xC9}, {0x2588, 0xDB, 0xDB}, {0x2591, 0xB0, 0xB0},
        {0x20AC, '?', '?'}, {0x2026, '?', '?'}, {0x0402, '?', '?'}, {0x00E9, '?', '?'},
        {0x0085, '?', '?'}, {0xFEFF, '?', '?'}, {0x4E2D, '?', '?'}, {0x1F600, '?', '?'},
    };
    for (auto &c : cases) {
        for (uint32_t codePage : {866u, 1125u}) {
            unsigned char want = codePage == 866 ? c.in866 : c.in1125;
            std::vector<uint32_t> text = {0x44F, c.unicode};
            EXPECT_EQ(Bytes({0xEF, want}), Recoded(Utf8(text), codePage))
                << std::hex << "U+" << c.unicode << " in " << std::dec << codePage << " from UTF-8";
            EXPECT_EQ(Bytes({0xEF, want}), Recoded(Cat(Utf16LeMark, Utf16(text, false)), codePage))
                << std::hex << "U+" << c.unicode << " in " << std::dec << codePage << " from UTF-16";
        }
    }
}

TEST(UnicodeInput, MarksAreDroppedAndAFileOfNothingButAMarkIsEmpty)
{
    struct { const char *what; Bytes image; Bytes out; } cases[] = {
        {"UTF-8 mark alone", Utf8Mark, {}},
        {"UTF-16LE mark alone", Utf16LeMark, {}},
        {"UTF-16BE mark alone", Utf16BeMark, {}},
        {"ASCII after the UTF-8 mark", Cat(Utf8Mark, ToBytes("plain\r\n\f")), ToBytes("plain\r\n\f")},
        {"ASCII after the UTF-16 mark", Cat(Utf16LeMark, Utf16({'o', 'k', '\f'}, false)), ToBytes("ok\f")},
        {"a second UTF-8 mark is a character", Cat(Utf8Mark, Utf8Mark), ToBytes("?")},
    };
    for (auto &c : cases) {
        for (uint32_t codePage : {866u, 1125u})
            EXPECT_EQ(c.out, Recoded(c.image, codePage)) << c.what;
    }
}

/* Every ill-formed piece is one "?": after a UTF-8 mark the longest start
 * of a sequence that could still have been valid, else a single byte; in
 * UTF-16 a surrogate without its partner, and an odd last byte. */
TEST(UnicodeInput, BadSequencesBecomeQuestionMarks)
{
    struct { const char *what; Bytes image; const char *out; } cases[] = {
        {"overlong two-byte /", {0xC0, 0xAF}, "??"},
        {"overlong three-byte /", {0xE0, 0x80, 0xAF}, "???"},
        {"overlong four-byte", {0xF0, 0x80, 0x80, 0x80}, "????"},
        {"surrogate D800", {0xED, 0xA0, 0x80}, "???"},
        {"above U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, "????"},
        {"F5 and FF leads", {0xF5, 0x80, 0xFF}, "???"},
        {"lone continuation bytes", {0x80, 0xBF, 'x'}, "??x"},
        {"cut three-byte sequence", {0xE2, 0x80, 'x'}, "?x"},
        {"cut four-byte sequence at the end", {0xF0, 0x9F, 0x98}, "?"},
        {"Cyrillic lead at the end", {'a', 0xD0}, "a?"},
        {"a lead followed by a lead", {0xD0, 0xD0, 0x9F}, "?\x8F"},
        {"U+10FFFF itself, beyond any code page", {0xF4, 0x8F, 0xBF, 0xBF}, "?"},
        {"ED 9F BF is U+D7FF, valid", {0xED, 0x9F, 0xBF, 0xD0, 0x90}, "?\x80"},
    };
    for (auto &c : cases)
        EXPECT_EQ(ToBytes(c.out), Recoded(Cat(Utf8Mark, c.image), 866)) << c.what;

    struct { const char *what; Bytes image; const char *out; } utf16[] = {
        {"odd last byte", {0xFF, 0xFE, 'A', 0x00, 'B'}, "A?"},
        {"odd byte after the mark", {0xFE, 0xFF, 0x04}, "?"},
        {"high surrogate at the end", {0xFF, 0xFE, 'A', 0x00, 0x00, 0xD8}, "A?"},
        {"high surrogate before a letter", {0xFF, 0xFE, 0x00, 0xD8, 'A', 0x00}, "?A"},
        {"two high surrogates", {0xFF, 0xFE, 0x00, 0xD8, 0x00, 0xD8, 0x00, 0xDC}, "??"},
        {"low surrogate alone", {0xFF, 0xFE, 0x00, 0xDC, 'A', 0x00}, "?A"},
        {"a pair is one character", {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE, 'A', 0x00}, "?A"},
        {"big-endian pair and odd byte", {0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00, 0x04}, "??"},
    };
    for (auto &c : utf16)
        EXPECT_EQ(ToBytes(c.out), Recoded(c.image, 1125)) << c.what;
}

/* A UTF-16 mark first, then the UTF-8 mark, then UTF-8 with Cyrillic, and
 * only then the Windows-1251 rule, which sees every other file exactly as
 * it did before. */
TEST(UnicodeInput, ChecksComeInOrderAndEverythingElseIsWindowsText)
{
    /* FF FE and then UTF-8 bytes: UTF-16 units, D0 9F is U+9FD0. */
    EXPECT_EQ(ToBytes("?"), Recoded(Cat(Utf16LeMark, {0xD0, 0x9F}), 866));
    /* The UTF-16 mark wins over the UTF-8 one that is no mark of its own. */
    EXPECT_EQ(ToBytes("??"), Recoded({0xFE, 0xFF, 0xEF, 0xBB, 0xBF}, 866));
    /* After the UTF-8 mark, Windows-1251 bytes are bad UTF-8, not Windows text. */
    EXPECT_EQ(ToBytes("???"), Recoded(Cat(Utf8Mark, {0xEF, 0xF0, 0xE8}), 866));

    Bytes hello = Utf8(Hello);
    struct { const char *what; Bytes image; } windows[] = {
        {"valid UTF-8 without Cyrillic", Utf8({'c', 'a', 'f', 0xE9, ' ', 0x2014, ' ', 0xE0, 0xE0, 0xE0})},
        {"Cyrillic UTF-8 with one bad byte at its end", Cat(hello, {0xFF})},
        {"Cyrillic UTF-8 with an overlong form", Cat(hello, {0xC0, 0x80})},
        {"Cyrillic UTF-8 with a surrogate", Cat(hello, {0xED, 0xB0, 0x80})},
        {"Cyrillic UTF-8 cut in its last letter", Bytes(hello.begin(), hello.end() - 1)},
        {"Windows-1251 text", {0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}},
        {"Windows-1251 text behind a lone EF BB", {0xEF, 0xBB, 0xF0, 0xF0, 0xF0}},
        {"code page 866 text", {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2, ' ', 0xAC, 0xA8, 0xE0, 0xB3, 0xC4}},
        {"a lone FF", {0xFF}},
        {"empty", {}},
        {"ASCII", ToBytes("plain\r\n")},
    };
    for (auto &c : windows) {
        Bytes today = c.image;
        ResetHost(1, 1, 1);
        RecodeToDos(today.data(), (uint32_t)today.size(), TestLog());
        std::vector<std::string> todayLines = Host.lines;
        bool logged = false;
        EXPECT_EQ(today, Recode(c.image, 866, &logged)) << c.what;
        EXPECT_EQ(todayLines.size() == 1, logged) << c.what;
    }
}

/* A long text is checked and decoded in rounds and blocks: a bad byte at
 * any place, in a block or at its edge, is found, and every character comes
 * out where it belongs. */
TEST(UnicodeInput, BadByteAnywhereInALongTextIsFound)
{
    std::vector<uint32_t> text;
    Bytes dos;
    for (int i = 0; i < 90; i++) {
        static const uint32_t Letters[] = {0x41F, 0x440, 0x438, ' ', 0x2014, 'x', 0x44F, 0x2116, '\f', 0x451};
        static const unsigned char Dos[] = {0x8F, 0xE0, 0xA8, ' ', '-', 'x', 0xEF, 0xFC, '\f', 0xF1};
        text.push_back(Letters[i % 10]);
        dos.push_back(Dos[i % 10]);
    }
    Bytes utf8 = Utf8(text);
    ASSERT_GT(utf8.size(), 150u);
    EXPECT_EQ(dos, Recoded(utf8, 866));
    EXPECT_EQ(dos, Recoded(Cat(Utf8Mark, utf8), 866));

    size_t character = 0;
    for (size_t at = 0; at <= utf8.size(); at++) {
        bool boundary = at == utf8.size() || (utf8[at] & 0xC0) != 0x80;
        for (unsigned char bad : {(unsigned char)0xFF, (unsigned char)0x80}) {
            Bytes broken = utf8;
            broken.insert(broken.begin() + (long)at, bad);
            /* Without a mark the file is no UTF-8: exactly today's recoding. */
            Bytes today = broken;
            ResetHost(1, 1, 1);
            RecodeToDos(today.data(), (uint32_t)today.size(), TestLog());
            bool logged;
            EXPECT_EQ(today, Recode(broken, 866, &logged)) << "byte " << (int)bad << " at " << at;
            if (boundary) {
                /* After the mark it is one "?" where it stands. */
                Bytes expected = dos;
                expected.insert(expected.begin() + (long)character, '?');
                EXPECT_EQ(expected, Recoded(Cat(Utf8Mark, broken), 866)) << "byte " << (int)bad << " at " << at;
            }
        }
        if (boundary)
            character++;
    }
}

TEST(UnicodeInput, OnlyAStored1125Selects1125)
{
    std::vector<uint32_t> text = {0x0490, 0x0456, 0x44F}; /* Ґ і я */
    struct { uint32_t stored; Bytes out; } cases[] = {
        {1125, {0xF2, 0xF7, 0xEF}},
        {866, {0x83, 'i', 0xEF}},
        {0, {0x83, 'i', 0xEF}},
        {1251, {0x83, 'i', 0xEF}},
        {0xFFFFFFFFu, {0x83, 'i', 0xEF}},
        {1125u + 65536u, {0x83, 'i', 0xEF}},
    };
    for (auto &c : cases) {
        EXPECT_EQ(c.out, Recoded(Utf8(text), c.stored)) << c.stored;
        /* And the same for Windows-1251 text: Ґ і я я я. */
        EXPECT_EQ(Cat(c.out, {0xEF, 0xEF}), Recoded({0xA5, 0xB3, 0xFF, 0xFF, 0xFF}, c.stored)) << c.stored;
    }
}

#ifndef _WIN32
/* A few bytes short of 4 GB of zeros, valid UTF-8 without Cyrillic: the
 * check runs to the image's last byte and no further, and nothing changes. */
TEST(UnicodeInput, ImageJustUnderFourGigabytesIsReadToItsLastByteOnly)
{
    const uint32_t size = 0xFFFFFFFDu;
    unsigned char *image = MapGuardedZeros(size);
    if (!image)
        GTEST_SKIP() << "no 4 GB of address space to be had";
    ResetHost(1, 1, 1);
    EXPECT_EQ(size, RecodeForPrinter(image, size, 866, TestLog()));
    EXPECT_TRUE(Host.lines.empty());
    UnmapGuardedZeros(image, size);
}

/* Runs iconv on the bytes; false when it fails. */
static bool Iconv(const char *from, const char *to, const Bytes &in, Bytes *out, const char *name)
{
    std::string dir = ScratchDirectory(name);
    std::string source = JoinPath(dir, "in.bin"), target = JoinPath(dir, "out.bin");
    WriteBytes(source, in);
    std::string command = std::string("iconv -f ") + from + " -t " + to + " '" + source + "' > '" + target + "'";
    if (system(command.c_str()) != 0)
        return false;
    *out = ReadBytes(target);
    return true;
}

/* Every character of both code pages, from each Unicode form, lands where
 * iconv puts it. */
TEST(UnicodeInput, ExactPartAgreesWithIconv)
{
    for (uint32_t codePage : {866u, 1125u}) {
        const uint16_t *high = CodePageHighHalf(codePage);
        std::vector<uint32_t> text;
        for (uint32_t c = 1; c < 128; c++)
            text.push_back(c);
        for (int b = 0; b < 128; b++)
            text.push_back(high[b]);
        Bytes utf8 = Utf8(text);
        const char *target = codePage == 866 ? "CP866" : "CP1125";
        struct { const char *form; Bytes input; } forms[] = {
            {"UTF-8", Utf8(text)},
            {"UTF-16LE", Utf16(text, false)},
            {"UTF-16BE", Utf16(text, true)},
        };
        for (auto &f : forms) {
            Bytes expected;
            ASSERT_TRUE(Iconv(f.form, target, f.input, &expected, "unicode_iconv")) << f.form << " to " << target;
            Bytes image = f.input;
            if (std::string(f.form) == "UTF-16LE")
                image = Cat(Utf16LeMark, image);
            else if (std::string(f.form) == "UTF-16BE")
                image = Cat(Utf16BeMark, image);
            EXPECT_EQ(expected, Recoded(image, codePage)) << f.form << " to " << target;
            EXPECT_EQ(expected, Recoded(Cat(Utf8Mark, utf8), codePage)) << "UTF-8 with its mark to " << target;
        }
    }
}

/* Each character the Windows-1251 table recodes prints the same whether
 * the file came as Windows-1251 or as UTF-8. */
TEST(UnicodeInput, WindowsAndUtf8FilesOfOneTextPrintAlike)
{
    Bytes windows, utf8;
    for (int v = 128; v < 256; v++) {
        if (v == 0x98) /* no character in Windows-1251 */
            continue;
        windows.push_back((unsigned char)v);
        windows.push_back('\n');
    }
    ASSERT_TRUE(Iconv("CP1251", "UTF-8", windows, &utf8, "unicode_alike"));
    for (uint32_t codePage : {866u, 1125u}) {
        Bytes fromWindows = windows;
        for (int i = 0; i < 300; i++)
            fromWindows.push_back(0xF0); /* tip the balance */
        ResetHost(1, 1, 1);
        RecodeToCodePage(fromWindows.data(), (uint32_t)fromWindows.size(), codePage, TestLog());
        Bytes fromUtf8 = Recoded(utf8, codePage);
        ASSERT_EQ(windows.size(), fromUtf8.size());
        for (size_t i = 0; i < windows.size(); i += 2) {
            if (fromWindows[i] != windows[i]) { /* recoded by the table */
                EXPECT_EQ((int)fromWindows[i], (int)fromUtf8[i])
                    << std::hex << "Windows byte " << (int)windows[i] << " in " << std::dec << codePage;
            }
        }
    }
}
#endif
