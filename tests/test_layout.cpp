/* The character printer's interpreter and the sheet layout: what a page's
 * bytes put on paper, the state carried between pages, and the fit of a
 * sheet to a device's printable area. */
#include <gtest/gtest.h>
#include <string.h>

#include "test_support.h"

typedef std::vector<std::string> Sheets;

static const uint32_t Columns80 = 80 * 36;

/* A literal with its NUL bytes. */
#define S(text) std::string(text, sizeof text - 1)

static PrinterState PowerOnState()
{
    PrinterState state;
    InitialPrinterState(&state, NULL, 0, 0, 9);
    return state;
}

/* Lays out one page; the sheets' texts, and the state after it. */
static Sheets LayOut(const std::string &bytes, PrinterState *state = NULL, uint32_t codePage = 866,
                     uint32_t carriage = Columns80, std::vector<RecordedSheet> *copies = NULL)
{
    PrinterState start = state ? *state : PowerOnState();
    LayoutSheet sheet;
    PageLayout layout;
    Sheets texts;

    EXPECT_TRUE(AllocateSheet(&sheet));
    BeginPageLayout(&layout, &start, (const unsigned char *)bytes.data(), (uint32_t)bytes.size(),
                    codePage, carriage);
    while (LayOutNextSheet(&layout, &sheet)) {
        texts.push_back(SheetText(sheet));
        EXPECT_LE(sheet.cellCount, (uint32_t)LAYOUT_SHEET_CELLS);
        if (copies)
            copies->push_back(RecordSheet(&sheet));
        if (texts.size() > 1000)
            break;
    }
    FreeSheet(&sheet);
    if (state)
        *state = layout.state;
    return texts;
}

/* A rectangle of dots as left, right, top, bottom. */
typedef std::vector<std::vector<int>> Boxes;
static Boxes BoxesOf(const RecordedSheet &sheet)
{
    Boxes boxes;
    for (const LayoutDots &d : sheet.dots)
        boxes.push_back({d.left, d.right, d.top, d.bottom});
    return boxes;
}

/* The one sheet's cells, in line order. */
static std::vector<LayoutCell> Cells(const std::string &bytes, PrinterState *state = NULL)
{
    std::vector<RecordedSheet> copies;
    LayOut(bytes, state, 866, Columns80, &copies);
    return copies.empty() ? std::vector<LayoutCell>() : copies[0].cells;
}

TEST(Layout, LineEndsTabsAndBackspace)
{
    EXPECT_EQ(Sheets({"one\ntwo\n"}), LayOut("one\r\ntwo\r\n"));
    EXPECT_EQ(Sheets({"one\ntwo\n"}), LayOut("one\ntwo"));   /* LF alone starts the line at 0 */
    /* CR strikes over from column 0: both letters of a place print. */
    EXPECT_EQ(Sheets({"AXBYCZDE\n"}), LayOut("ABCDE\rXYZ"));
    EXPECT_EQ(Sheets({"a       b\n"}), LayOut("a\tb"));
    EXPECT_EQ(Sheets({"        b\n"}), LayOut("\tb"));
    EXPECT_EQ(Sheets({"abcdefgh        x\n"}), LayOut("abcdefgh\tx"));
    /* BS goes back one column: both letters underlined. */
    EXPECT_EQ(CELL_UNDERLINE, Cells("ab\b\b__")[0].attributes);
    EXPECT_EQ(CELL_UNDERLINE, Cells("ab\b\b__")[1].attributes);
    /* BS at column 0 stays there. */
    EXPECT_EQ(Sheets({"b\n"}), LayOut("\bb"));
    /* Blank lines keep their rows. */
    EXPECT_EQ(Sheets({"a\n\n\nb\n"}), LayOut("a\r\n\r\n\r\nb"));

    /* ESC D: a value not above the one before ends the list as a NUL does,
     * and is not text; past the last stop a tab leaves the head. */
    EXPECT_EQ(Sheets({"a   b   cd\n"}), LayOut("\x1b" "D\x04\x08\x02" "a\tb\tc\td"));
    EXPECT_EQ(Sheets({"a  b\n"}), LayOut(S("\x1b" "D\x03\x00" "a\tb")));
    EXPECT_EQ(Sheets({"a b\n"}), LayOut("\x1b" "D\x02\x02" "a\tb"));
    /* ESC D NUL clears them all; ESC @ brings back every 8 columns. */
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("\x1b" "D\x00" "a\tb")));
    EXPECT_EQ(Sheets({"a       b\n"}), LayOut(S("\x1b" "D\x00\x1b@a\tb")));
    /* 32 stops at most: the byte after them is text. */
    std::string stops = "\x1b" "D";
    for (char c = 1; c <= 32; c++)
        stops += c;
    EXPECT_EQ(Sheets({"!\n"}), LayOut(stops + "!"));
    EXPECT_EQ(Sheets({" !\n"}), LayOut(stops + "\t!"));
    /* Columns of the pitch in force when they were set. */
    std::vector<LayoutCell> c = Cells(S("\x1bM\x1b" "D\x05\x00\x1bP\tb"));
    ASSERT_EQ(1u, c.size());
    EXPECT_EQ(5 * 30, c[0].x);
}

TEST(Layout, OverstrikeBoldAndUnderline)
{
    std::vector<LayoutCell> c = Cells("ab\bb\r__");
    ASSERT_EQ(2u, c.size());
    EXPECT_EQ('a', c[0].ch);
    EXPECT_EQ(CELL_UNDERLINE, c[0].attributes);
    EXPECT_EQ('b', c[1].ch);
    EXPECT_EQ(CELL_BOLD | CELL_UNDERLINE, c[1].attributes);
    /* A character struck on an underscore takes its place, underlined. */
    c = Cells("_\bq");
    ASSERT_EQ(1u, c.size());
    EXPECT_EQ('q', c[0].ch);
    EXPECT_EQ(CELL_UNDERLINE, c[0].attributes);
    /* A different character prints over it: both stay, in order. */
    c = Cells("O\b/");
    ASSERT_EQ(2u, c.size());
    EXPECT_EQ(c[0].x, c[1].x);
    EXPECT_EQ(0, c[0].attributes | c[1].attributes);
    /* A blank struck over a character changes nothing. */
    c = Cells("x\r \x1b" "E \x1b" "F");
    ASSERT_EQ(1u, c.size());
    EXPECT_EQ(0, c[0].attributes);
}

TEST(Layout, HonouredCommandsChangeTheLook)
{
    PrinterState state = PowerOnState();
    std::vector<LayoutCell> c = Cells("a\x1b" "Eb\x1b" "Fc\x1bGd\x1bHe\x1b-\x01" "f\x1b-0g");
    ASSERT_EQ(7u, c.size());
    EXPECT_EQ(0, c[0].attributes);
    EXPECT_EQ(CELL_BOLD, c[1].attributes);
    EXPECT_EQ(0, c[2].attributes);
    EXPECT_EQ(CELL_BOLD, c[3].attributes);
    EXPECT_EQ(0, c[4].attributes);
    EXPECT_EQ(CELL_UNDERLINE, c[5].attributes);
    EXPECT_EQ(0, c[6].attributes);

    /* Widths: 10, 12, 15 cpi; condensed; double width, one line or held. */
    c = Cells(std::string("a\x1bMb\x1bgc\x1bPd\x0f" "e\x12" "f\x1b\x0fg\x12\x1bMh\x0fi\x12\x0ej\x14k\x1b\x0el\n") +
              S("m\x1bW1n\x1bW\x00o"), &state);
    std::vector<int> widths;
    for (const LayoutCell &cell : c)
        widths.push_back(cell.width);
    EXPECT_EQ(std::vector<int>({36, 30, 24, 36, 21, 36, 21, 30, 18, 60, 30, 60, 30, 60, 30}), widths);
    /* Each cell starts where the one before ended. */
    for (size_t i = 1; i < 12; i++)
        EXPECT_EQ(c[i - 1].x + c[i - 1].width, c[i].x) << i;

    /* Italic, superscript and subscript: the same widths. */
    c = Cells(S("\x1b" "4a\x1b" "5b\x1bS0c\x1bS\x01" "d\x1bTe\x1bS\x00" "f\x1bS1g\x1bS\x02h\x1b@i"));
    std::vector<int> looks;
    for (const LayoutCell &cell : c) {
        looks.push_back(cell.attributes);
        EXPECT_EQ(36, cell.width);
    }
    EXPECT_EQ(std::vector<int>({CELL_ITALIC, 0, CELL_SUPERSCRIPT, CELL_SUBSCRIPT, 0, CELL_SUPERSCRIPT,
                                CELL_SUBSCRIPT, CELL_SUBSCRIPT, 0}),
              looks);

    /* ESC @ puts it all back. */
    state = PowerOnState();
    c = Cells("\x1b" "E\x1b-1\x0f\x1bW1\x1b" "4\x1bS0\x1b@x", &state);
    ASSERT_EQ(1u, c.size());
    EXPECT_EQ(36, c[0].width);
    EXPECT_EQ(0, c[0].attributes);
}

TEST(Layout, LineSpacingAndFormLength)
{
    std::vector<RecordedSheet> copies;
    LayOut("a\n\x1b" "0b\n\x1b" "3\x10" "c\n\x1b" "A\x0c" "d\n\x1b" "2e\nf", NULL, 866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    std::vector<int> ys;
    for (const LayoutLine &line : copies[0].lines)
        ys.push_back(line.y);
    /* 1/6, then 1/8, n/216, n/72 and 1/6 again: each line's spacing is that
     * of the LF that ended the line before. */
    EXPECT_EQ(std::vector<int>({0, 360, 630, 790, 1150, 1510}), ys);

    /* ESC C n: forms of n lines; ESC C NUL n: of n inches. */
    PrinterState state = PowerOnState();
    AdvancePrinterState(&state, (const unsigned char *)"\x1b" "C\x0a", 3);
    EXPECT_EQ(3600, state.formLength);
    AdvancePrinterState(&state, (const unsigned char *)"\x1b" "C\x00\x05", 4);
    EXPECT_EQ(5 * 2160, state.formLength);
    /* Out of range: no change. */
    AdvancePrinterState(&state, (const unsigned char *)"\x1b" "C\x00\x17\x1b" "C\x00\x00", 8);
    EXPECT_EQ(5 * 2160, state.formLength);
    /* The reset goes back to the form the printer was switched on with. */
    InitialPrinterState(&state, NULL, 0, 72, 9);
    EXPECT_EQ(72 * 360, state.formLength);
    AdvancePrinterState(&state, (const unsigned char *)"\x1b" "C\x0a\x1b@", 5);
    EXPECT_EQ(72 * 360, state.formLength);
    /* A page length in lines beyond the longest form (a hand-edited
     * ini.ini) takes the longest form, never the default one. */
    for (uint32_t lines : {133u, 1000u, 1001u, 4294967295u}) {
        InitialPrinterState(&state, NULL, 0, lines, 9);
        EXPECT_EQ(LAYOUT_MAX_FORM, state.formLength) << lines;
    }
}

TEST(Layout, LongPagesFormFeedsAndEmptySheets)
{
    std::string page;
    for (int i = 1; i <= 70; i++)
        page += "line " + std::to_string(i) + "\r\n";
    Sheets sheets = LayOut(page);
    ASSERT_EQ(2u, sheets.size());
    EXPECT_EQ(0u, sheets[0].find("line 1\n"));
    EXPECT_NE(std::string::npos, sheets[0].find("line 66\n"));
    EXPECT_EQ("line 67\nline 68\nline 69\nline 70\n", sheets[1]);

    /* Exactly a form, then the form feed that ends the page: no empty sheet. */
    page.clear();
    for (int i = 1; i <= 66; i++)
        page += "x\r\n";
    EXPECT_EQ(1u, LayOut(page + "\f").size());
    EXPECT_EQ(1u, LayOut(page).size());

    /* A form feed ends the sheet; the one that ends the page adds none; one
     * that ejects a sheet on its own gives an empty sheet. */
    EXPECT_EQ(Sheets({"a\n", "b\n"}), LayOut("a\fb\f"));
    EXPECT_EQ(Sheets({"a\n", "", "b\n"}), LayOut("a\f\fb"));
    EXPECT_EQ(Sheets({""}), LayOut("\f"));
    EXPECT_EQ(Sheets({""}), LayOut("\r\n\r\n"));
    EXPECT_EQ(Sheets({""}), LayOut(""));

    /* ESC C shortens the form from the next sheet on. */
    EXPECT_EQ(Sheets({"1\n2\n3\n", "4\n"}), LayOut("\x1b" "C\x03" "1\n2\n3\n4\n"));

    /* A line beyond the form's end wraps onto the next sheet too. */
    std::string wide(81, 'w');
    EXPECT_EQ(2u, LayOut("\x1b" "C\x01" + wide).size());
}

TEST(Layout, WrapsAtTheCarriage)
{
    std::string line(100, 'a');
    line[79] = 'b';
    line[80] = 'c';
    Sheets sheets = LayOut(line);
    ASSERT_EQ(1u, sheets.size());
    EXPECT_EQ(std::string(79, 'a') + "b\nc" + std::string(19, 'a') + "\n", sheets[0]);
    /* A carriage of 136 columns holds it. */
    EXPECT_EQ(line + "\n", LayOut(line, NULL, 866, 136 * 36)[0]);
    /* A tab past the end wraps at the next character. */
    EXPECT_EQ(std::string(78, 'a') + "\nb\n", LayOut(std::string(78, 'a') + "\tb")[0]);
}

TEST(Layout, SkippedCommandsNeverPrint)
{
    /* Bit images with data bytes that look like text and control bytes. */
    std::string image = S("\x1b*\x00\x05\x00") + "GRAPH";
    EXPECT_EQ(Sheets({"ab\n"}), LayOut("a" + image + "b"));
    image = S("\x1b*\x27\x02\x00") + "\n\n\fXYZ";
    EXPECT_EQ(Sheets({"ab\n"}), LayOut("a" + image + "b"));
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("a\x1bK\x03\x00" "ABCb")));
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("a\x1bZ\x02\x00" "\r\nb")));
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("a\x1b^\x00\x02\x00" "ABCDb")));
    /* ESC ( c nL nH data, and one-parameter commands. */
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("a\x1b(^\x03\x00XYZb")));
    EXPECT_EQ(Sheets({"ab\n"}), LayOut("a\x1bk1\x1bx1\x1b!Ab"));
    /* Tab lists run to their NUL. */
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("a\x1b" "D\x08\x10\x18\x00" "b")));
    /* Raster graphics, plain and run-length coded: two rows of 16 dots. */
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("a\x1b.\x00\x0a\x0a\x02\x10\x00" "ABCDb")));
    EXPECT_EQ(Sheets({"ab\n"}),
              LayOut(S("a\x1b.\x01\x0a\x0a\x02\x10\x00" "\x01XY\xfeZb")));
    /* User-defined characters: two, of one column each. */
    EXPECT_EQ(Sheets({"ab\n"}),
              LayOut(S("a\x1b&\x00\x41\x42" "\x00\x01\x00QQQ" "\x00\x01\x00RRRb")));
    /* Control bytes print nothing; an unknown command takes one byte. */
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("a\x00\x07\x0b\x18\x7f\x1b~b")));
}

TEST(Layout, BitImagesPutTheirDotsOnTheSheet)
{
    /* Three columns: the top dot, the bottom one, one between (8-dot: the
     * highest bit on top; 24-dot: the first byte on top), then a letter. */
    struct Row {
        std::string command;
        int step;   /* 1/720 inch */
    } rows[] = {
        {"\x1bK", 12}, {"\x1bL", 6}, {"\x1bY", 6}, {"\x1bZ", 3},
        {S("\x1b*\x00"), 12}, {"\x1b*\x01", 6}, {"\x1b*\x02", 6}, {"\x1b*\x03", 3},
        {"\x1b*\x04", 9}, {"\x1b*\x05", 10}, {"\x1b*\x06", 8}, {"\x1b*\x07", 5},
        {"\x1b* ", 12}, {"\x1b*!", 6}, {"\x1b*&", 8}, {"\x1b*'", 4}, {"\x1b*(", 2},
        /* ESC ? reassigns K, L, Y, Z; ESC @ gives their own back. */
        {S("\x1b?K\x03\x1bK"), 3}, {"\x1b?Z\x28\x1bZ", 2}, {S("\x1b?L\x05\x1b@\x1bL"), 6},
    };
    for (const Row &row : rows) {
        bool tall = row.command.back() >= ' ' && row.command.back() <= '(' && row.command[1] == '*';
        tall |= row.command.find("\x1b?Z\x28") == 0;
        int pitch = tall ? 12 : 30, last = tall ? 23 : 7, middle = tall ? 8 : 3;
        std::string data = tall ? S("\x80\x00\x00" "\x00\x00\x01" "\x00\x80\x00") : "\x80\x01\x10";
        /* Bold, underline, double width and condensed leave graphics alone. */
        for (std::string look : {"", "\x1b" "E\x1b-1\x1bW1\x0f"}) {
            std::vector<RecordedSheet> copies;
            LayOut(look + row.command + S("\x03\x00") + data + "x", NULL, 866, Columns80, &copies);
            ASSERT_EQ(1u, copies.size()) << row.step;
            int s = row.step;
            EXPECT_EQ(Boxes({{0, s, 0, pitch}, {s, 2 * s, last * pitch, (last + 1) * pitch},
                             {2 * s, 3 * s, middle * pitch, (middle + 1) * pitch}}),
                      BoxesOf(copies[0]))
                << row.step << " " << tall;
            /* The letter goes on from the image's right edge. */
            ASSERT_EQ(1u, copies[0].cells.size());
            EXPECT_EQ((3 * s + 1) / 2, copies[0].cells[0].x) << row.step;
        }
    }

    /* Full bytes in bands joined by ESC 3 24: one solid rectangle. */
    std::vector<RecordedSheet> copies;
    LayOut(S("\x1b" "3\x18\x1bL\x04\x00\xff\xff\xff\xff\r\n\x1bL\x04\x00\xff\xff\xff\xff\r\n"), NULL,
           866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(Boxes({{0, 24, 0, 480}}), BoxesOf(copies[0]));
    /* Bars of a bar code: each one rectangle down both bands. */
    copies.clear();
    LayOut(S("\x1b" "3\x18\x1bL\x04\x00\xff\xff\x00\xff\r\n\x1bL\x04\x00\xff\xff\x00\xff\r\n"), NULL,
           866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(Boxes({{0, 12, 0, 480}, {18, 24, 0, 480}}), BoxesOf(copies[0]));
    /* A run of a row is one rectangle. */
    copies.clear();
    LayOut(S("\x1bL\x05\x00\xc0\xc0\x40\xc0\xc0"), NULL, 866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(Boxes({{0, 12, 0, 30}, {18, 30, 0, 30}, {0, 30, 30, 60}}), BoxesOf(copies[0]));
    /* Below the line of text, where its top is. */
    copies.clear();
    LayOut(S("a\r\n\x1bK\x01\x00\x80"), NULL, 866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(Boxes({{0, 12, 360, 390}}), BoxesOf(copies[0]));
    /* A sheet with dots and no text is printed; a blank image is not. */
    EXPECT_EQ(2u, LayOut(S("ab\f\x1bK\x01\x00\x01")).size());
    EXPECT_EQ(1u, LayOut(S("ab\f\x1bK\x01\x00\x00")).size());
}

TEST(Layout, BitImagesPastTheCarriageAndInTheMeasure)
{
    /* 970 columns at 120 dpi: the carriage of 80 columns holds 960; the
     * letter after them starts the next line. */
    std::string image = "\x1bL" + std::string("\xca\x03", 2) + std::string(970, '\xff') + "y";
    std::vector<RecordedSheet> copies;
    LayOut(image, NULL, 866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(Boxes({{0, 2 * (int)Columns80, 0, 240}}), BoxesOf(copies[0]));
    ASSERT_EQ(1u, copies[0].cells.size());
    EXPECT_EQ(0, copies[0].cells[0].x);
    EXPECT_EQ(360, copies[0].lines[0].y);

    /* The carriage counts the inked columns: 600 at 120 dpi are 5 inches,
     * less the blank ones at the end. */
    for (int blank : {0, 100}) {
        std::string page = "ab\r\n\x1bL" + std::string("\x58\x02", 2) + std::string(600 - blank, '\x01') +
                           std::string(blank, '\0') + "\r\n";
        PageTable table = {NULL, NULL, 0};
        uint32_t count = 0;
        PrinterState initial = PowerOnState();
        ASSERT_TRUE(SplitPages((const unsigned char *)page.data(), (uint32_t)page.size(), 12, &table,
                               &count));
        EXPECT_EQ(5u * 360 * (600 - blank) / 600,
                  MeasureCarriage(&initial, (const unsigned char *)page.data(), &table));
        FreePageTable(&table);
    }

    /* And raster's: 1800 dots at 360 dpi are 5 inches, less a blank last
     * dot; a wider image after a narrower one widens the carriage, one
     * reaching no farther leaves it; dots past the widest carriage count
     * for nothing, those before them in the same byte do. */
    std::string raster = S("\x1b(G\x01\x00\x01\x1b.\x00\x0a\x0a\x02");
    struct Row {
        std::string page;
        uint32_t carriage;
    } rows[] = {
        {raster + S("\x08\x07") + std::string(224, '\xff') + "\xfe" + std::string(224, '\xff') + "\xfe", 1799},
        {raster + S("\x20\x03") + std::string(200, '\xff') + "\r\n" + raster + S("\x40\x06") +
             std::string(200, '\0') + std::string(200, '\x0f'), 1600},
        {raster + S("\x40\x06") + std::string(400, '\xff') + "\r\n" + raster + S("\x20\x03") +
             std::string(200, '\xff'), 1600},
        {"a" + raster + S("\x00\x13") + std::string(607, '\0') + "\x88" + std::string(607, '\0') + "\x88", 4893},
    };
    for (const Row &row : rows) {
        PageTable table = {NULL, NULL, 0};
        uint32_t count = 0;
        PrinterState initial = PowerOnState();
        ASSERT_TRUE(SplitPages((const unsigned char *)row.page.data(), (uint32_t)row.page.size(), 12, &table,
                               &count));
        EXPECT_EQ(row.carriage, MeasureCarriage(&initial, (const unsigned char *)row.page.data(), &table))
            << testing::PrintToString(row.page);
        FreePageTable(&table);
    }
}

TEST(Layout, CommandCutByThePageEndGoesOnWithTheNext)
{
    /* The bit image's data runs over the page's end: the next page's first
     * bytes are still graphics, drawn from its first line's start. */
    PrinterState state = PowerOnState();
    std::vector<RecordedSheet> copies;
    LayOut(S("x\x1bK\x06\x00" "ABC"), &state, 866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    /* "A" "B" "C": 0x41 0x42 0x43, a row's run is one rectangle. */
    EXPECT_EQ(Boxes({{72, 84, 210, 240}, {72, 108, 30, 60}, {84, 108, 180, 210}, {96, 108, 210, 240}}),
              BoxesOf(copies[0]));
    copies.clear();
    PrinterState second = state;
    EXPECT_EQ(Sheets({"y\n"}), LayOut("DEFy", &second, 866, Columns80, &copies));
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(Boxes({{12, 24, 210, 240}, {0, 36, 30, 60}, {0, 36, 150, 180}, {24, 36, 180, 210}}),
              BoxesOf(copies[0]));
    /* "y" after the three columns of this page. */
    EXPECT_EQ(18, copies[0].cells[0].x);
    copies.clear();
    LayOut("DEFy", &state);
    /* The state-only pass leaves the same state. */
    PrinterState quick = PowerOnState();
    AdvancePrinterState(&quick, (const unsigned char *)"x\x1bK\x06\x00" "ABC", 8);
    EXPECT_EQ(Sheets({"y\n"}), LayOut("DEFy", &quick));
}

TEST(Layout, CodePages866And1125)
{
    /* Byte 0xF2: Є in 866, Ґ in 1125; letters and box drawing shared. */
    std::string bytes = "\x80\xa0\xf2\xc4\xb3";
    EXPECT_EQ(Sheets({"\xd0\x90\xd0\xb0\xd0\x84\xe2\x94\x80\xe2\x94\x82\n"}), LayOut(bytes, NULL, 866));
    EXPECT_EQ(Sheets({"\xd0\x90\xd0\xb0\xd2\x90\xe2\x94\x80\xe2\x94\x82\n"}), LayOut(bytes, NULL, 1125));
}

TEST(Layout, StateCarriesOverPagesAndSetUp)
{
    static const unsigned char image[] = "\x1b" "Eone\f\x0ftwo\fthree\x1b" "F\f";
    PageTable table = {NULL, NULL, 0};
    uint32_t count = 0;
    ASSERT_TRUE(SplitPages(image, sizeof image - 1, 12, &table, &count));
    PrinterState initial = PowerOnState(), atThree;
    PrinterStateAtPage(&atThree, &initial, image, &table, 2);
    EXPECT_EQ(1, atThree.emphasized);
    EXPECT_EQ(1, atThree.condensed);
    /* The widest line: "one" at 10 cpi, wider than "three" condensed. */
    EXPECT_EQ(108u, MeasureCarriage(&initial, image, &table));
    FreePageTable(&table);

    /* Set-up bytes start the layout condensed; a form in lines. */
    PrinterState setUp;
    InitialPrinterState(&setUp, (const unsigned char *)"\x0f", 1, 40, 9);
    EXPECT_EQ(1, setUp.condensed);
    EXPECT_EQ(40 * 360, setUp.formLength);
    std::vector<LayoutCell> c = Cells("a", &setUp);
    ASSERT_EQ(1u, c.size());
    EXPECT_EQ(21, c[0].width);
}

TEST(Layout, CarriageIsTheWidestLine)
{
    std::string text = std::string(100, 'x') + "\r\n" + std::string(20, 'y') + "          \f" +
                       "\x1bW1" + std::string(70, 'z') + "\f" + std::string(300, 'q');
    PageTable table = {NULL, NULL, 0};
    uint32_t count = 0;
    PrinterState initial = PowerOnState();
    ASSERT_TRUE(SplitPages((const unsigned char *)text.data(), (uint32_t)text.size(), 12, &table,
                           &count));
    /* The 300 columns are cut to 13.6 inches, wider than the 70 wide ones. */
    EXPECT_EQ((uint32_t)LAYOUT_MAX_CARRIAGE,
              MeasureCarriage(&initial, (const unsigned char *)text.data(), &table));
    table.Entries = 2;
    /* 70 double-width columns: 14 inches, also cut. */
    EXPECT_EQ((uint32_t)LAYOUT_MAX_CARRIAGE,
              MeasureCarriage(&initial, (const unsigned char *)text.data(), &table));
    table.Entries = 1;
    /* Trailing blanks need no room. */
    EXPECT_EQ(3600u, MeasureCarriage(&initial, (const unsigned char *)text.data(), &table));
    FreePageTable(&table);
}

TEST(Layout, FitAndLandscape)
{
    DrawingArea a4;
    SheetFit fit;
    A4DrawingArea(&a4);

    /* 80 columns x 66 lines on A4 at 300 dpi: width 8 in of 7.76 in. */
    FitSheet(&a4, 80 * 36, 66 * 360, &fit);
    EXPECT_NEAR(2329.0 / 2400.0, fit.scale, 1e-4);
    EXPECT_NEAR(fit.scale * 300 / 360, fit.dotsPerX, 1e-4);
    EXPECT_NEAR(fit.scale * 300 / 2160, fit.dotsPerY, 1e-4);
    EXPECT_FALSE(ChooseLandscape(&a4, 80 * 36, 66 * 360));
    /* Never above the nominal size. */
    FitSheet(&a4, 40 * 36, 20 * 360, &fit);
    EXPECT_EQ(1.0f, fit.scale);
    /* 136 columns: upright 0.57, turned 0.71. */
    EXPECT_TRUE(ChooseLandscape(&a4, 136 * 36, 66 * 360));
    DrawingArea turned;
    TurnArea(&a4, &turned);
    EXPECT_EQ(3358, turned.width);
    FitSheet(&turned, 136 * 36, 66 * 360, &fit);
    EXPECT_NEAR(2329.0 / 3300.0, fit.scale, 1e-4);
    /* 110 columns fit no better turned. */
    EXPECT_FALSE(ChooseLandscape(&a4, 110 * 36, 66 * 360));
    /* A broken area still gives a usable fit. */
    DrawingArea none = {0, 0, 0, 0};
    FitSheet(&none, 80 * 36, 66 * 360, &fit);
    EXPECT_GT(fit.scale, 0.0f);
}

TEST(Layout, HostileBytesStayWithinTheSheet)
{
    /* Carriage returns with distinct characters over one place, and more
     * cells than a sheet holds: dropped, never written beyond it. */
    std::string page;
    for (int i = 0; i < 40000; i++) {
        page += (char)('!' + i % 90);
        page += '\r';
    }
    page += S("\n\x1b" "3\x00");
    for (int i = 0; i < 500; i++)
        page += std::string(80, 'a' + i % 26) + "\n";
    std::vector<RecordedSheet> copies;
    LayOut(page, NULL, 866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    EXPECT_LE(copies[0].cells.size(), (size_t)LAYOUT_SHEET_CELLS);
    for (const LayoutLine &line : copies[0].lines)
        EXPECT_LE(line.count, LAYOUT_LINE_CELLS);

    /* Bit images no rectangle of dots can join, more than a sheet holds at
     * first: two bands of 360-dpi checkerboard on 136 columns, 24 dots high.
     * The sheet grows for them. */
    std::string image;
    for (int band = 0; band < 2; band++) {
        image += "\x1b*(" + std::string("\x20\x13", 2);
        for (int i = 0; i < 4896; i++)
            image += i % 2 ? "\x55\x55\x55" : "\xaa\xaa\xaa";
        image += "\n";
    }
    copies.clear();
    LayOut(image, NULL, 866, 136 * 36, &copies);
    ASSERT_EQ(1u, copies.size());
    /* Every dot is kept: 12 rows of each band in every column. */
    EXPECT_EQ(2u * 4896 * 12, copies[0].dots.size());
}

TEST(Layout, BlanksPastTheCarriageMoveTheHeadOnly)
{
    /* A report padded with blanks beyond its widest printed line: the
     * carriage leaves the blanks out, and they must not wrap into lines of
     * their own, which would push every later line down. */
    std::string page = std::string(80, 'x') + std::string(20, ' ') + "\r\n" + "y" +
                       std::string(90, ' ') + "\r\n" + "z";
    PageTable table = {NULL, NULL, 0};
    uint32_t count = 0;
    PrinterState initial = PowerOnState();
    ASSERT_TRUE(SplitPages((const unsigned char *)page.data(), (uint32_t)page.size(), 12, &table,
                           &count));
    uint32_t carriage = MeasureCarriage(&initial, (const unsigned char *)page.data(), &table);
    FreePageTable(&table);
    EXPECT_EQ(Columns80, carriage);
    EXPECT_EQ(Sheets({std::string(80, 'x') + "\ny\nz\n"}), LayOut(page, NULL, 866, carriage));
    /* Blanks and a tab beyond it, then a backspace: the character lands
     * where the measure saw it, so the carriage holds it. */
    std::string back = std::string(80, 'x') + "     \b\bq";
    ASSERT_TRUE(SplitPages((const unsigned char *)back.data(), (uint32_t)back.size(), 12, &table,
                           &count));
    carriage = MeasureCarriage(&initial, (const unsigned char *)back.data(), &table);
    FreePageTable(&table);
    EXPECT_EQ(84u * 36, carriage);
    EXPECT_EQ(Sheets({std::string(80, 'x') + "   q\n"}), LayOut(back, NULL, 866, carriage));
}

/* Lays out one page on a printer of pins pins; each character's place on
 * the sheets as sheet, line top (1/2160 inch), left edge (1/360 inch). */
typedef std::vector<std::vector<int>> Places;
static Places PlacesOf(const std::string &bytes, uint32_t pins)
{
    PrinterState state;
    std::vector<RecordedSheet> copies;
    Places places;
    InitialPrinterState(&state, NULL, 0, 0, pins);
    LayOut(bytes, &state, 866, Columns80, &copies);
    for (size_t k = 0; k < copies.size(); k++)
        for (const LayoutLine &line : copies[k].lines)
            for (uint32_t i = line.first; i < line.first + line.count; i++)
                places.push_back({(int)k, line.y, copies[k].cells[i].x});
    return places;
}

TEST(Layout, PaperAndHeadMoveAsOnThePrinter)
{
    struct Row {
        uint32_t pins;
        std::string bytes;
        Places places; /* of "a", "b", ... in order of lines and places */
    } rows[] = {
        /* ESC J: n/216 inch on 9 pins, n/180 on 24; the head stays. */
        {9, "a\x1bJ\x24" "b", {{0, 0, 0}, {0, 360, 36}}},
        {24, "a\x1bJ\x24" "b", {{0, 0, 0}, {0, 432, 36}}},
        /* ESC j: back n/216 inch, never above the top of the sheet. */
        {9, "\x1bJ\x64" "a\x1bj\x32" "b", {{0, 1000, 0}, {0, 500, 36}}},
        {24, "a\x1bj\xff" "b", {{0, 0, 0}, {0, 0, 36}}},
        /* ESC ( V: from the top of the sheet, 1/360 inch or the unit. */
        {24, S("\x1b(V\x02\x00\x68\x01" "a"), {{0, 2160, 0}}},
        {24, S("\x1b(U\x01\x00\x1e\x1b(V\x02\x00\x78\x00" "a"), {{0, 2160, 0}}},
        {24, S("\x1b(U\x01\x00\x05\x1b(V\x02\x00\xd0\x02" "a"), {{0, 2160, 0}}},
        /* The long form of ESC ( U: 1/1440 inch down. */
        {24, S("\x1b(U\x05\x00\x0a\x02\x0a\xa0\x05\x1b(V\x02\x00\xd0\x02" "a"), {{0, 2160, 0}}},
        /* ESC ( v: relative, signed; above the top it stops there. */
        {24, S("\x1b(v\x02\x00\x48\x00" "a\x1b(v\x02\x00\xdc\xff" "b\x1b(v\x02\x00\x00\x80" "c"),
         {{0, 432, 0}, {0, 216, 36}, {0, 0, 72}}},
        /* Line spacing: ESC 3 n/216 or n/180, ESC A n/72 or n/60, ESC +
         * and FS 3 n/360, ESC 1 7/72 on 9 pins. */
        {9, "\x1b" "3\x1e" "a\nb", {{0, 0, 0}, {0, 300, 0}}},
        {24, "\x1b" "3\x1e" "a\nb", {{0, 0, 0}, {0, 360, 0}}},
        {9, "\x1b" "A\x0c" "a\nb", {{0, 0, 0}, {0, 360, 0}}},
        {24, "\x1b" "A\x0c" "a\nb", {{0, 0, 0}, {0, 432, 0}}},
        {24, "\x1b+\x3c" "a\nb", {{0, 0, 0}, {0, 360, 0}}},
        {24, "\x1c" "3\x3c" "a\nb", {{0, 0, 0}, {0, 360, 0}}},
        {9, "\x1b" "1a\nb", {{0, 0, 0}, {0, 210, 0}}},
        /* ESC $: from the left margin, 1/60 inch or the unit. */
        {9, S("\x1b$\x3c\x00" "a"), {{0, 0, 360}}},
        {24, S("\x1b(U\x01\x00\x0a\x1b$\x68\x01" "a"), {{0, 0, 360}}},
        {9, S("\x1bl\x02\r\x1b$\x3c\x00" "a"), {{0, 0, 432}}},
        /* Past the carriage's widest end: the head stays. */
        {9, S("b\x1b$\xff\x7f" "a"), {{0, 0, 0}, {0, 0, 36}}},
        /* ESC \: 1/120 inch on 9 pins and in draft, 1/180 in letter
         * quality on 24; left of the margin it is ignored. */
        {9, "abc\x1b\\\xf4\xff" "d", {{0, 0, 0}, {0, 0, 36}, {0, 0, 72}, {0, 0, 72}}},
        {24, "abc\x1b\\\xf4\xff" "d", {{0, 0, 0}, {0, 0, 36}, {0, 0, 72}, {0, 0, 72}}},
        {24, "\x1bx\x01" "abc\x1b\\\xee\xff" "d", {{0, 0, 0}, {0, 0, 36}, {0, 0, 72}, {0, 0, 72}}},
        {9, S("\x1bx\x01" "abc\x1b\\\x0c\x00" "d"), {{0, 0, 0}, {0, 0, 36}, {0, 0, 72}, {0, 0, 144}}},
        {9, S("a\x1b\\\x00\x80" "b"), {{0, 0, 0}, {0, 0, 36}}},
        /* Margins: CR, LF and a wrap return to the left one; lines wrap at
         * the right one; columns of the pitch in force. */
        {9, "\x1bl\x05\ra\nb", {{0, 0, 180}, {0, 360, 180}}},
        {9, "\x1bM\x1bl\x05\x1bP\ra", {{0, 0, 150}}},
        {9, "\x1bl\x01\x1bQ\x03\rabc", {{0, 0, 36}, {0, 0, 72}, {0, 360, 36}}},
        {9, "\x1bl\x01\x1bQ\x03\r\tb\x08\x08\x08" "c", {{0, 360, 36}, {0, 360, 36}}},
        /* A margin not left of the right one is ignored. */
        {9, "\x1bQ\x03\x1bl\x03\rab", {{0, 0, 0}, {0, 0, 36}}},
        /* A paper move past the form's end starts the next sheet. */
        {9, S("\x1b(C\x02\x00\x68\x01" "a\x1bJ\xff" "b"), {{0, 0, 0}, {1, 0, 36}}},
        {24, S("a\x1b(V\x02\x00\xff\xff" "b"), {{0, 0, 0}, {1, 0, 36}}},
        /* ESC @ keeps the pins. */
        {24, "\x1b@\x1b" "3\x1e" "a\nb", {{0, 0, 0}, {0, 360, 0}}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.places, PlacesOf(row.bytes, row.pins)) << row.pins << " " << testing::PrintToString(row.bytes);

    /* Feeds of every unit add up exactly: 216 of 1/216 and 72 of 1/72
     * inch on 9 pins, 180 of 1/180 and 60 of 1/60 on 24, 360 of 1/360,
     * are an inch each. */
    std::string nine, twentyFour;
    for (int i = 0; i < 216; i++)
        nine += "\x1bJ\x01";
    nine += "\x1b" "A\x01" + std::string(72, '\n') + "\x1b+\x01" + std::string(360, '\n') + "a";
    EXPECT_EQ(Places({{0, 3 * 2160, 0}}), PlacesOf(nine, 9));
    for (int i = 0; i < 180; i++)
        twentyFour += "\x1bJ\x01";
    twentyFour += "\x1b" "A\x01" + std::string(60, '\n') + "\x1c" "3\x01" + std::string(360, '\n') + "a";
    EXPECT_EQ(Places({{0, 3 * 2160, 0}}), PlacesOf(twentyFour, 24));

    /* ESC ( C: the form in the unit; ESC C n lines of the spacing. */
    PrinterState state;
    InitialPrinterState(&state, NULL, 0, 0, 24);
    AdvancePrinterState(&state, (const unsigned char *)"\x1b(C\x02\x00\x68\x01", 7);
    EXPECT_EQ(2160, state.formLength);
    AdvancePrinterState(&state, (const unsigned char *)"\x1b(U\x01\x00\x3c\x1b(C\x02\x00\x3c\x00", 13);
    EXPECT_EQ(2160, state.formLength);
    AdvancePrinterState(&state, (const unsigned char *)"\x1b" "3\x1e\x1b" "C\x05", 6);
    EXPECT_EQ(5 * 360, state.formLength);
    /* Beyond the longest form: no change. */
    AdvancePrinterState(&state, (const unsigned char *)"\x1b(C\x02\x00\xff\xff", 7);
    EXPECT_EQ(5 * 360, state.formLength);
}

/* A halftone of rows rows of runs dots 1/360 inch wide, 1/180 inch
 * apart, at 360 dpi: one rectangle for each, or, joined, one for each
 * run all the rows high. */
static Boxes Halftone(int runs, int rows, bool joined)
{
    Boxes boxes;
    for (int r = 0; r < (joined ? 1 : rows); r++)
        for (int k = 0; k < runs; k++)
            boxes.push_back({4 * k, 4 * k + 2, joined ? 0 : 6 * r, joined ? 6 * rows : 6 * r + 6});
    return boxes;
}

/* Raster graphics (ESC .) and 9-dot images (ESC ^) put every dot where the
 * printer puts it; cut or hostile data draws what there is and reads
 * nothing beyond it. */
TEST(Layout, RasterAndNineDotImages)
{
    struct Row {
        uint32_t pins;
        std::string bytes;
        Boxes boxes;
        int letter; /* x of the "x" after the image, -1: none */
    } rows[] = {
        /* 360 dpi, two rows of 16 dots; the head goes on past the width. */
        {24, S("\x1b.\x00\x0a\x0a\x02\x10\x00" "\xff\x00" "\x0f\xf0" "x"), {{0, 16, 0, 6}, {8, 24, 6, 12}}, 16},
        /* Run-length coded: a run of two bytes, then two as they stand. */
        {24, S("\x1b.\x01\x0a\x0a\x02\x10\x00" "\xff\xff" "\x01\x0f\xf0" "x"), {{0, 32, 0, 6}, {8, 24, 6, 12}}, 16},
        /* A run that overruns its row goes on in the next. */
        {24, S("\x1b.\x01\x0a\x0a\x02\x08\x00" "\xff\xaa" "x"),
         {{0, 2, 0, 12}, {4, 6, 0, 12}, {8, 10, 0, 12}, {12, 14, 0, 12}}, 8},
        /* A row's last byte keeps only the dots of its width; a row's run
         * joins the same one of the row above. */
        {24, S("\x1b.\x00\x0a\x0a\x02\x0c\x00" "\xff\xff" "\xff\xf0" "x"), {{0, 24, 0, 12}}, 12},
        /* A run of one byte over both rows, cut at the width in each. */
        {24, S("\x1b.\x01\x0a\x0a\x02\x0c\x00" "\xfd\xff" "x"), {{0, 24, 0, 12}}, 12},
        /* A halftone: each run joins the same one of the row above while
         * that is among the last 16 rectangles put down, and only then;
         * a run-length that goes on over rows. */
        {24, S("\x1b.\x00\x0a\x0a\x02\x20\x00") + std::string(8, '\xaa') + "x", Halftone(16, 2, true), 32},
        {24, S("\x1b.\x00\x0a\x0a\x02\x21\x00" "\xaa\xaa\xaa\xaa\x80" "\xaa\xaa\xaa\xaa\x80" "x"),
         Halftone(17, 2, true), 33},
        {24, S("\x1b.\x01\x0a\x0a\x03\x21\x00" "\xf6\xaa" "\x03\xaa\xaa\xaa\x80" "x"), Halftone(17, 3, true), 33},
        /* 180 dpi; at the line's top. */
        {24, S("a\r\n\x1b.\x00\x14\x14\x01\x08\x00" "\x80"), {{0, 4, 360, 372}}, -1},
        /* 720 dpi across, 1/720 inch down. */
        {24, S("\x1b.\x00\x05\x05\x02\x08\x00" "\xc0\xc0"), {{0, 2, 0, 6}}, -1},
        /* Without graphics mode a 9-pin printer passes it over; with it,
         * it prints. */
        {9, S("\x1b.\x00\x0a\x0a\x01\x08\x00" "\xff" "x"), {}, 0},
        {9, S("\x1b(G\x01\x00\x01\x1b.\x00\x0a\x0a\x01\x08\x00" "\xff" "x"), {{0, 16, 0, 6}}, 8},
        /* Other compressions are passed over. */
        {24, S("\x1b.\x02\x0a\x0a\x01\x08\x00" "\xff" "x"), {}, 0},
        /* Data cut by the file's end: the dots there are. */
        {24, S("\x1b.\x00\x0a\x0a\x02\x10\x00" "\xff\xff\x80"), {{0, 32, 0, 6}, {0, 2, 6, 12}}, -1},
        {24, S("\x1b.\x01\x0a\x0a\x02\x10\x00" "\xfd"), {}, -1},
        {9, S("\x1bK\x05\x00\x80\x80"), {{0, 24, 0, 30}}, -1},
        /* ESC ^: the ninth dot is the second byte's top bit; 60 and 120 dpi. */
        {9, S("\x1b^\x00\x02\x00" "\x80\x00" "\x00\x80" "x"), {{0, 12, 0, 30}, {12, 24, 240, 270}}, 12},
        {9, S("\x1b^\x01\x01\x00" "\x01\x80" "x"), {{0, 6, 210, 270}}, 3},
        {9, S("\x1b^\x02\x01\x00" "\xff\xff" "x"), {}, 0},
    };
    for (const Row &row : rows) {
        PrinterState state;
        std::vector<RecordedSheet> copies;
        InitialPrinterState(&state, NULL, 0, 0, row.pins);
        LayOut(row.bytes, &state, 866, Columns80, &copies);
        ASSERT_EQ(1u, copies.size()) << testing::PrintToString(row.bytes);
        EXPECT_EQ(row.boxes, BoxesOf(copies[0])) << testing::PrintToString(row.bytes);
        std::vector<int> letters;
        for (const LayoutCell &c : copies[0].cells)
            if (c.ch == 'x')
                letters.push_back(c.x);
        EXPECT_EQ(row.letter < 0 ? std::vector<int>() : std::vector<int>({row.letter}), letters)
            << testing::PrintToString(row.bytes);
    }

    /* ESC ( with the longest length takes 65,535 bytes, and no more. */
    EXPECT_EQ(Sheets({"ab\n"}), LayOut(S("a\x1b(X\xff\xff") + std::string(65535, 'z') + "b"));
    EXPECT_EQ(Sheets({"a\n"}), LayOut(S("a\x1b(X\xff\xff") + std::string(1000, 'z')));
}

/* Real producers: Ghostscript's 9-pin driver at 240 x 216 dpi (bit images
 * in three passes a band, fed by ESC J), its 24-pin one at 360 x 360 dpi
 * (ESC *, ESC D and tabs over white space, FS 3) and its ESC/P2 one
 * (raster, ESC ( U, ESC ( c, ESC ( V), printing block-and-ring.ps: ink
 * from 36 to 69 points across and 38 to 69 points down. Each driver takes
 * its printer's left margin off (the 9-pin one 0.2 inch, the ESC/P2 one
 * 1/8 inch). Laid out, the dots land on one sheet where the picture is,
 * not stacked on one line; down to a dot, or to a 9-pin dot's height (and
 * the ESC/P2 driver's bottom margin cuts the ring's last rows). */
TEST(Layout, DriversOutputLandsWhereThePictureIs)
{
    struct Row {
        const char *fixture;
        uint32_t pins;
        int margin;       /* what the driver takes off across, 1/720 inch */
        int across, down; /* how near, 1/720 and 1/2160 inch */
    } rows[] = {
        {"block-and-ring-eps9high-240x216.prn", 9, 144, 3, 30},
        {"block-and-ring-necp6-360x360.prn", 24, 0, 2, 8},
        {"block-and-ring-stcolor-360x360.prn", 24, 90, 2, 30},
    };
    for (const Row &row : rows) {
        Bytes file = ReadBytes(JoinPath(FixturePath("printers"), row.fixture));
        ASSERT_FALSE(file.empty()) << row.fixture;
        std::string bytes(file.begin(), file.end());
        EXPECT_EQ(row.pins == 24, EscpUses24Pin(file.data(), (uint32_t)file.size()) != 0) << row.fixture;
        PrinterState state;
        InitialPrinterState(&state, NULL, 0, 0, row.pins);
        std::vector<RecordedSheet> copies;
        LayOut(bytes, &state, 866, Columns80, &copies);
        ASSERT_EQ(1u, copies.size()) << row.fixture;
        ASSERT_FALSE(copies[0].dots.empty()) << row.fixture;
        int left = 1 << 30, right = 0, top = 1 << 30, bottom = 0;
        for (const LayoutDots &d : copies[0].dots) {
            left = std::min(left, (int)d.left);
            right = std::max(right, (int)d.right);
            top = std::min(top, (int)d.top);
            bottom = std::max(bottom, (int)d.bottom);
        }
        EXPECT_NEAR(360 - row.margin, left, row.across) << row.fixture;
        EXPECT_NEAR(690 - row.margin, right, row.across) << row.fixture;
        EXPECT_NEAR(38 * 30, top, row.down) << row.fixture;
        EXPECT_NEAR(69 * 30, bottom, row.down) << row.fixture;
    }
}

/* ESC r and ESC ( r choose the colour of what prints next: cells and dots
 * keep it, and dots of different colours never join. */
TEST(Layout, ColoursOfTheInk)
{
    std::vector<RecordedSheet> copies;
    PrinterState state;
    InitialPrinterState(&state, NULL, 0, 0, 24);
    LayOut(S("a\x1br\x01" "b\x1bK\x01\x00\x80\x1br\x05\x1bK\x01\x00\x80\x1b(r\x02\x00\x00\x02" "c\x1br\x09" "d"
             "\x1b@e"),
           &state, 866, Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    std::vector<int> colours;
    for (const LayoutCell &c : copies[0].cells)
        colours.push_back(c.colour);
    EXPECT_EQ(std::vector<int>({LAYOUT_BLACK, LAYOUT_MAGENTA, LAYOUT_CYAN, LAYOUT_CYAN, LAYOUT_BLACK}), colours);
    ASSERT_EQ(2u, copies[0].dots.size());
    EXPECT_EQ(LAYOUT_MAGENTA, copies[0].dots[0].colour);
    EXPECT_EQ(LAYOUT_RED, copies[0].dots[1].colour);
}

/* A 24-pin printer prints 8-dot images with every third pin: dots 1/60
 * inch apart, so that ESC 3 24 (24/180 inch) joins its bands. */
TEST(Layout, EightDotImagesOnTwentyFourPins)
{
    PrinterState state;
    std::vector<RecordedSheet> copies;
    InitialPrinterState(&state, NULL, 0, 0, 24);
    LayOut(S("\x1b" "3\x18\x1bK\x01\x00\xff\r\n\x1bK\x01\x00\x81\r\n\x1b^\x00\x01\x00\x80\x00"), &state, 866,
           Columns80, &copies);
    ASSERT_EQ(1u, copies.size());
    /* The 9-dot column below keeps 1/72 inch, and joins the dot above. */
    EXPECT_EQ(Boxes({{0, 12, 0, 324}, {0, 12, 540, 606}}), BoxesOf(copies[0]));
}
