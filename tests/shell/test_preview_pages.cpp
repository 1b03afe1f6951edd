/* The page preview's rules: where it opens and how it turns, its caption,
 * the page bytes and blank mark it shows, where the paper sits, and that the
 * sheet it lays out is the one the drawn job prints. */
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "test_support.h"
#include "preview_pages.h"
#ifndef _WIN32
#include "posix/spooler.h"
#else
#include "draw.h"
#include "shell.h"
#include <winspool.h>
#endif

TEST(PreviewPages, OpensAtThePageInFromOrElseAtPageOne)
{
    struct { const char *from; uint32_t count, page; } cases[] = {
        {"3", 5, 3}, {"5", 5, 5}, {"1", 1, 1}, {" +2", 5, 2}, {"\t4x", 5, 4},
        /* Nothing that names a page: empty, 0, past the end, negative, a
         * letter first, a number that wraps round past the count. */
        {"", 5, 1}, {"0", 5, 1}, {"6", 5, 1}, {"-1", 5, 1}, {"x3", 5, 1},
        {"4294967295", 5, 1}, {"4294967298", 5, 2},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.page, PreviewFirstPage(c.from, c.count)) << "From \"" << c.from << "\"";
}

TEST(PreviewPages, TurnsStopAtTheFirstAndTheLastPage)
{
    EXPECT_EQ(2u, PreviewMove(1, PREVIEW_NEXT, 5));
    EXPECT_EQ(5u, PreviewMove(5, PREVIEW_NEXT, 5));
    EXPECT_EQ(4u, PreviewMove(5, PREVIEW_PREVIOUS, 5));
    EXPECT_EQ(1u, PreviewMove(1, PREVIEW_PREVIOUS, 5));
    EXPECT_EQ(1u, PreviewMove(3, PREVIEW_FIRST, 5));
    EXPECT_EQ(5u, PreviewMove(3, PREVIEW_LAST, 5));
    EXPECT_EQ(1u, PreviewMove(1, PREVIEW_NEXT, 1));
    EXPECT_EQ(4294967295u, PreviewMove(4294967295u, PREVIEW_NEXT, 4294967295u));
}

TEST(PreviewPages, TheWheelTurnedTowardTheUserGoesForwardANotchAPage)
{
    int rest = 0;
    EXPECT_EQ(1, PreviewWheelPages(&rest, -120));
    EXPECT_EQ(-1, PreviewWheelPages(&rest, 120));
    EXPECT_EQ(3, PreviewWheelPages(&rest, -360));
    /* Parts of a notch add up; a turn back drops them. */
    EXPECT_EQ(0, PreviewWheelPages(&rest, -60));
    EXPECT_EQ(1, PreviewWheelPages(&rest, -60));
    EXPECT_EQ(0, PreviewWheelPages(&rest, -100));
    EXPECT_EQ(0, PreviewWheelPages(&rest, 40));
    EXPECT_EQ(0, PreviewWheelPages(&rest, -100));
    EXPECT_EQ(0, rest + 100);
    /* The largest turn a message can carry is held to ten notches. */
    rest = 0;
    EXPECT_EQ(-10, PreviewWheelPages(&rest, 32767));
    EXPECT_EQ(10, PreviewWheelPages(&rest, -32768));
    EXPECT_LT(rest, 120);
    EXPECT_GT(rest, -120);
}

TEST(PreviewPages, CaptionsSayThePageTheCountAndTheSkippedMark)
{
    char caption[PREVIEW_CAPTION_SIZE + 8];

    memset(caption, 'z', sizeof caption);
    ComposePreviewCaption(caption, 2, 5, 0);
    EXPECT_STREQ("Страница 2 из 5", caption);
    ComposePreviewCaption(caption, 4, 5, 1);
    EXPECT_STREQ("Страница 4 из 5 (пустая, будет пропущена)", caption);
    /* Windows-1251 bytes: С is 0xD1, the letters after it lower case. */
    EXPECT_EQ(0xD1, (unsigned char)caption[0]);
    EXPECT_EQ(0xF2, (unsigned char)caption[1]);
    ComposePreviewCaption(caption, 4294967295u, 4294967295u, 1);
    EXPECT_STREQ("Страница 4294967295 из 4294967295 (пустая, будет пропущена)", caption);
    for (size_t i = PREVIEW_CAPTION_SIZE; i < sizeof caption; i++)
        EXPECT_EQ('z', caption[i]) << "written past the caption at " << i;
}

TEST(PreviewPages, PageBytesAreTheJobsAndTheCountedPageAfterTheLastDelimiterHasNone)
{
    const unsigned char image[] = "ab\fcd\f";
    PageTable table = {NULL, NULL, 0};
    uint32_t count = 0;
    const unsigned char *bytes;
    uint32_t length;

    ASSERT_TRUE(SplitPages(image, 6, 12, &table, &count));
    ASSERT_EQ(3u, count);
    PreviewPageBytes(image, &table, 2, &bytes, &length);
    EXPECT_EQ(image + 3, bytes);
    EXPECT_EQ(3u, length);
    PreviewPageBytes(image, &table, 1, &bytes, &length);
    EXPECT_EQ(std::string("ab\f"), std::string((const char *)bytes, length));
    for (uint32_t page : {0u, 3u, 4u, 4294967295u}) {
        PreviewPageBytes(image, &table, page, &bytes, &length);
        EXPECT_TRUE(bytes == NULL) << "page " << page;
        EXPECT_EQ(0u, length) << "page " << page;
    }
    PreviewPageBytes(NULL, NULL, 1, &bytes, &length);
    EXPECT_EQ(0u, length);
    FreePageTable(&table);
}

TEST(PreviewPages, PaperKeepsItsShapeInsideTheMarginsCentred)
{
    /* A4 upright in a wide window: bound by the height. */
    PreviewBox box = FitPaper(800, 600, 10, 210, 297);
    EXPECT_EQ(580, box.bottom - box.top);
    EXPECT_EQ(410, box.right - box.left); /* 580 * 210 / 297 */
    EXPECT_EQ(10, box.top);
    EXPECT_EQ((800 - 410) / 2, box.left);
    /* Landscape in a tall window: bound by the width. */
    box = FitPaper(300, 900, 0, 297, 210);
    EXPECT_EQ(300, box.right - box.left);
    EXPECT_EQ(212, box.bottom - box.top);
    EXPECT_EQ((900 - 212) / 2, box.top);
    /* Sheet units far beyond a window's do not overflow. */
    box = FitPaper(1000, 1000, 0, 2000000000, 1000000000);
    EXPECT_EQ(1000, box.right - box.left);
    EXPECT_EQ(500, box.bottom - box.top);
    /* No room, or no sheet: nothing to paint. */
    for (PreviewBox empty : {FitPaper(20, 600, 10, 210, 297), FitPaper(0, 0, 0, 210, 297),
                             FitPaper(800, 600, 10, 0, 297), FitPaper(800, 600, 10, 210, -1),
                             FitPaper(3, 800, 0, 297, 1)}) {
        EXPECT_EQ(0, empty.right - empty.left);
        EXPECT_EQ(0, empty.bottom - empty.top);
    }
}

/* ---- the blank mark, against the job ------------------------------------ */

class PreviewSettings : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override
    {
        dir = ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        strcpy(IniPath, JoinPath(dir, "ini.ini").c_str());
        PageDelimiter = 12;
        ResetHost(1, 1, 99);
    }
};

/* A page of blanks and control bytes, a page with text, one whose only
 * text is 0xA0, and the counted page after the final form feed. */
static const Bytes MixedPages = ToBytes(" \t\r\n\x01\f"
                                        "text\r\n\f"
                                        "\xA0\f");

static Bytes Page(const Bytes &image, const PageTable &table, uint32_t page)
{
    const unsigned char *bytes;
    uint32_t length;
    PreviewPageBytes(image.data(), &table, page, &bytes, &length);
    return Bytes(bytes, bytes + length);
}

/* The pages the job writes are exactly those the preview does not mark, for
 * each way the settings file can set the job's switch; and the preview
 * writes nothing to the log. */
TEST_F(PreviewSettings, MarksExactlyThePagesTheJobSkips)
{
    const char *settings[] = {
        "",                                                      /* none: the switch stays 1 */
        "[MAIN]\r\nSKIPEMPTY=0000000000\r\n",
        "[MAIN]\r\nTODOS=0000000000\r\n",                         /* the switch keeps TODOS */
        "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0100000001\r\n",
        "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0100000002\r\n", /* bad checksum: TODOS holds */
        "[MAIN]\r\nSKIPEMPTY=0200000002\r\n",                     /* on only when 1 */
    };
    PageTable table = {NULL, NULL, 0};
    uint32_t count = 0;
    ASSERT_TRUE(SplitPages(MixedPages.data(), (uint32_t)MixedPages.size(), 12, &table, &count));
    ASSERT_EQ(4u, count);

    for (const char *ini : settings) {
        std::string input = JoinPath(dir, "in.txt"), output = JoinPath(dir, "out.prn");
        WriteText(IniPath, ini);
        WriteBytes(input, MixedPages);
        WriteBytes(output, Bytes());

        Bytes kept;
        unsigned marked = 0;
        ResetHost(1, 1, 99);
        for (uint32_t page = 1; page <= count; page++) {
            Bytes bytes = Page(MixedPages, table, page);
            if (PreviewSkipsPage(bytes.data(), (uint32_t)bytes.size()))
                marked++;
            else
                kept.insert(kept.end(), bytes.begin(), bytes.end());
        }
        EXPECT_TRUE(Host.lines.empty()) << ini;
        ASSERT_EQ(1, PrintFile(TestLog(), input.c_str(), output.c_str())) << ini;
        EXPECT_EQ(kept, ReadBytes(output)) << ini;
        size_t skipped = 0;
        for (const std::string &line : Host.lines)
            skipped += line == TextBlankSkipped;
        EXPECT_EQ(marked, skipped) << ini;
    }
    FreePageTable(&table);
}

/* A drawn job judges a page by what it draws: the preview marks it as the
 * drawn job leaves it out (with Skip empty, or the last page when it feeds
 * no form), by the same layout. */
TEST_F(PreviewSettings, MarksDrawnPagesByWhatTheyDraw)
{
    const std::string pages[] = {"\x1b@\x1b" "E\r\n\f", "x\f", std::string("\x1bK\x01\x00\x00\f", 6), "\x1b@"};
    struct Row {
        const char *ini;
        std::vector<int> marked;
    } rows[] = {
        {"", {1, 0, 1, 1}},
        {"[MAIN]\r\nSKIPEMPTY=0000000000\r\n", {0, 0, 0, 1}},
    };
    PrinterState state;
    InitialPrinterState(&state, NULL, 0, 0, 9);
    LayoutSheet sheet;
    ASSERT_TRUE(AllocateSheet(&sheet));
    for (const Row &row : rows) {
        WriteText(IniPath, row.ini);
        std::vector<int> marked;
        for (size_t k = 0; k < 4; k++) {
            int nothing = 0;
            uint32_t formFeeds = 0;
            LayOutFirstSheet(&state, (const unsigned char *)pages[k].data(), (uint32_t)pages[k].size(), 866,
                             80 * 36, &sheet, &nothing, &formFeeds);
            marked.push_back(PreviewSkipsDrawnPage(nothing, k == 3, formFeeds));
        }
        EXPECT_EQ(row.marked, marked) << row.ini;
    }
    FreeSheet(&sheet);
    EXPECT_TRUE(Host.lines.empty());
}

/* ---- the printer's state and the sheet ------------------------------------ */

/* Hostile pages: commands that swallow the form feed after them, pitch and
 * form changes, long pages, bit-image data, blank and empty pages. */
static Bytes StatefulFile(uint32_t pages)
{
    Bytes image;
    uint32_t seed = 12345;
    for (uint32_t p = 0; p < pages; p++) {
        seed = seed * 1103515245u + 12345u;
        switch ((seed >> 16) % 7) {
        case 0: for (const char *s = "\x1b" "M12 cpi line\r\n"; *s; s++) image.push_back(*s); break;
        case 1: for (const char *s = "\x1bP\x0fsmall\x12 text\r\n"; *s; s++) image.push_back(*s); break;
        case 2: image.push_back(0x1b); image.push_back('C'); break;       /* cut: n on the next page */
        case 3: for (int i = 0; i < 90; i++) { image.push_back('a' + i % 26); image.push_back('\n'); } break;
        case 4: /* three columns of dots: the bytes after, the form feed among them */
            image.push_back(0x1b); image.push_back('*'); image.push_back(0); image.push_back(3); image.push_back(0); break;
        case 5: image.push_back(0x1b); image.push_back('E'); image.push_back('B'); break;
        default: break;                                                   /* an empty page */
        }
        for (uint32_t k = 0; k < (seed >> 8) % 5; k++)
            image.push_back((unsigned char)(seed >> (k * 3)));
        image.push_back('\f');
    }
    return image;
}

static void ExpectSameState(const PrinterState &a, const PrinterState &b, uint32_t page)
{
    EXPECT_EQ(a.pitch, b.pitch) << page;
    EXPECT_EQ(a.condensed, b.condensed) << page;
    EXPECT_EQ(a.wide, b.wide) << page;
    EXPECT_EQ(a.wideLine, b.wideLine) << page;
    EXPECT_EQ(a.emphasized, b.emphasized) << page;
    EXPECT_EQ(a.doubleStrike, b.doubleStrike) << page;
    EXPECT_EQ(a.underline, b.underline) << page;
    EXPECT_EQ(a.lineSpacing, b.lineSpacing) << page;
    EXPECT_EQ(a.formLength, b.formLength) << page;
    EXPECT_EQ(0, memcmp(&a.reader, &b.reader, sizeof a.reader)) << page;
}

/* Whatever order the pages are shown in, each starts from the state the
 * pages before it leave, as if walked from page 1. */
TEST(PreviewPrinterState, EveryPageStartsFromTheStateThePagesBeforeItLeave)
{
    for (uint32_t pages : {1u, 7u, 300u, 1500u}) {
        Bytes image = StatefulFile(pages);
        PageTable table = {NULL, NULL, 0};
        uint32_t count = 0;
        ASSERT_TRUE(SplitPages(image.data(), (uint32_t)image.size(), 12, &table, &count));
        PrinterState initial, got, want;
        InitialPrinterState(&initial, NULL, 0, 0, 9);
        static PreviewStates states;
        BeginPreviewStates(&states, &initial, count);

        std::vector<uint32_t> order = {count - 1, 0, count / 2, count / 2 + 1, count / 2 - (count > 1),
                                       count - 1, 1 % count};
        uint32_t seed = 7;
        for (int i = 0; i < 40; i++) {
            seed = seed * 1103515245u + 12345u;
            order.push_back((seed >> 8) % count);
        }
        for (uint32_t page : order) {
            PreviewStateAt(&states, image.data(), &table, page, &got);
            PrinterStateAtPage(&want, &initial, image.data(), &table, page);
            ExpectSameState(want, got, page);
        }
        EXPECT_LE(states.markCount, (uint32_t)PREVIEW_MARKS);
        FreePageTable(&table);
    }
}

TEST(PreviewPrinterState, ALongPageCountsItsSheetsAndKeepsTheFirst)
{
    LayoutSheet sheet;
    PrinterState initial;
    std::string text;
    ASSERT_TRUE(AllocateSheet(&sheet));
    InitialPrinterState(&initial, NULL, 0, 0, 9);

    for (int line = 1; line <= 150; line++)
        text += "line " + std::to_string(line) + "\r\n";
    uint32_t carriage = 80 * 36;
    EXPECT_EQ(3u, LayOutFirstSheet(&initial, (const unsigned char *)text.data(), (uint32_t)text.size(),
                                   866, carriage, &sheet));
    std::string first = SheetText(sheet);
    EXPECT_EQ(0u, first.find("line 1\n"));
    EXPECT_NE(std::string::npos, first.find("line 66\n"));
    EXPECT_EQ(std::string::npos, first.find("line 67\n"));

    /* One sheet: laid out once and kept; a form feed that ends the page
     * adds none; an empty page is one empty sheet. */
    EXPECT_EQ(1u, LayOutFirstSheet(&initial, (const unsigned char *)"one\f", 4, 866, carriage, &sheet));
    EXPECT_EQ("one\n", SheetText(sheet));
    EXPECT_EQ(1u, LayOutFirstSheet(&initial, NULL, 0, 866, carriage, &sheet));
    EXPECT_EQ(0u, sheet.cellCount);
    EXPECT_EQ(2u, LayOutFirstSheet(&initial, (const unsigned char *)"a\fb", 3, 866, carriage, &sheet));
    EXPECT_EQ("a\n", SheetText(sheet));
    FreeSheet(&sheet);
}

#ifndef _WIN32
/* The preview's sheet of page N is the first sheet the drawn job prints
 * for N alone, and the page takes as many sheets as the job draws; the
 * carriage is the job's. Against the POSIX stand-in's printers. */
TEST_F(PreviewSettings, ShowsTheFirstSheetTheDrawnJobPrintsForThePage)
{
    std::string input = JoinPath(dir, "in.txt");
    Bytes image = StatefulFile(40);
    PageTable table = {NULL, NULL, 0};
    uint32_t count = 0;
    PrinterState initial, state;
    LayoutSheet sheet;

    PosixRemovePrinters();
    ASSERT_TRUE(PosixAddPrinter("Preview_Printer", JoinPath(dir, "jobs").c_str(), 1));
    WriteText(IniPath, "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nDRAW=0100000001\r\n");
    WriteBytes(input, image);
    ASSERT_TRUE(SplitPages(image.data(), (uint32_t)image.size(), 12, &table, &count));
    ASSERT_TRUE(AllocateSheet(&sheet));
    InitialPrinterState(&initial, NULL, 0, 0, 9);
    static PreviewStates states;
    BeginPreviewStates(&states, &initial, count);
    uint32_t carriage = MeasureCarriage(&initial, image.data(), &table);

    unsigned drawnPages = 0;
    for (uint32_t page = count; page >= 1; page--) {
        const unsigned char *bytes;
        uint32_t length;
        PreviewPageBytes(image.data(), &table, page, &bytes, &length);
        PreviewStateAt(&states, image.data(), &table, page - 1, &state);
        uint32_t sheets = LayOutFirstSheet(&state, bytes, length, 866, carriage, &sheet);

        ResetHost(1, page, page);
        ResetDrawer();
        ASSERT_EQ(1, PrintFile(TestLog(), input.c_str(), "Preview_Printer"));
        if (length == 0)
            continue; /* the job writes nothing for a page of no bytes */
        drawnPages++;
        ASSERT_EQ(sheets, Drawer.sheets.size()) << "page " << page;
        EXPECT_EQ(SheetText(Drawer.sheets[0]), SheetText(sheet)) << "page " << page;
        EXPECT_EQ(Drawer.carriage, carriage);
    }
    EXPECT_GT(drawnPages, 20u);
    FreeSheet(&sheet);
    FreePageTable(&table);
    PosixRemovePrinters();
}
#endif

#ifdef _WIN32
/* The sizes the front end hands to Windows, or steps through Windows'
 * buffers by, as each width of Windows knows them: a request of a size the
 * system does not know is refused (the open-file dialog never opens). */
TEST(WindowsLayout, StructureSizesAreTheOnesWindowsExpects)
{
    const bool wide = sizeof(void *) == 8;
    EXPECT_EQ(wide ? 136u : 76u, (size_t)OPEN_FILE_REQUEST_SIZE);
    EXPECT_EQ((size_t)OPENFILENAME_SIZE_VERSION_400A, (size_t)OPEN_FILE_REQUEST_SIZE);
    EXPECT_EQ(wide ? 152u : 88u, sizeof(OPENFILENAMEA));
    EXPECT_EQ(wide ? 40u : 20u, sizeof(DOCINFOA));
    EXPECT_EQ(wide ? 24u : 12u, sizeof(PRINTER_INFO_4A));
    EXPECT_EQ(wide ? 80u : 48u, sizeof(WNDCLASSEXA));
    EXPECT_EQ(wide ? 104u : 68u, sizeof(STARTUPINFOA));
    /* The same on both widths. */
    EXPECT_EQ(156u, sizeof(DEVMODEA));
    EXPECT_EQ(60u, sizeof(LOGFONTA));
    EXPECT_EQ(16u, sizeof(RECT));
}
#endif

#ifdef _WIN32
/* The first sheet of one page's bytes, drawn on a white picture of width x
 * height that stands for a sheet's printable area at dpi: a row of text a
 * pixel row, '#' where it is dark. */
static std::vector<std::string> DrawnSheet(const std::string &page, int width, int height, int dpi)
{
    PrinterState state;
    PageLayout layout;
    LayoutSheet sheet;
    std::vector<std::string> rows;
    BITMAPINFO info;
    void *pixels = NULL;

    InitialPrinterState(&state, NULL, 0, 0, 9);
    BeginPageLayout(&layout, &state, (const unsigned char *)page.data(), (uint32_t)page.size(), 866,
                    80 * 36);
    if (!AllocateSheet(&sheet) || !LayOutNextSheet(&layout, &sheet))
        return rows;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP picture = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, NULL, 0);
    HGDIOBJ old = SelectObject(dc, picture);
    RECT rect = {0, 0, width, height};
    DrawingArea area = {width, height, dpi, dpi};
    PatBlt(dc, 0, 0, width, height, WHITENESS);
    EXPECT_TRUE(DrawSheet(dc, &rect, &area, &sheet));
    GdiFlush();
    for (int y = 0; y < height; y++) {
        const uint32_t *row = (const uint32_t *)pixels + (size_t)y * width;
        std::string text(width, '.');
        for (int x = 0; x < width; x++)
            if ((row[x] & 0xFF) < 128)
                text[x] = '#';
        rows.push_back(text);
    }
    SelectObject(dc, old);
    DeleteObject(picture);
    DeleteDC(dc);
    FreeSheet(&sheet);
    return rows;
}

static std::string Image(char command, const std::string &columns)
{
    return std::string("\x1b") + command + (char)(columns.size() % 256) + (char)(columns.size() / 256) + columns;
}

/* The bounding box of the ink of a drawn sheet; 0 when there is none. */
static int InkBox(const std::vector<std::string> &rows, int *top, int *bottom, int *left, int *right)
{
    *top = *bottom = -1;
    *left = 1 << 30;
    *right = 0;
    for (size_t y = 0; y < rows.size(); y++) {
        size_t first = rows[y].find('#');
        if (first == std::string::npos)
            continue;
        if (*top < 0)
            *top = (int)y;
        *bottom = (int)y + 1;
        *left = std::min(*left, (int)first);
        *right = std::max(*right, (int)rows[y].rfind('#') + 1);
    }
    return *top >= 0;
}

/* Solid black bands that abut, on a printer's page: one black box of the
 * picture's size against the sheet, with no white line at the seam. */
TEST(DrawnDots, BandsThatAbutAreOneSolidBoxOfTheirSize)
{
    std::string band = Image('L', std::string(120, '\xff')); /* an inch at 120 dpi */
    std::vector<std::string> rows = DrawnSheet("\x1b" "3\x18" + band + "\r\n" + band + "\r\n", 2329, 3358, 300);
    ASSERT_FALSE(rows.empty());
    int top, bottom, left, right;
    ASSERT_TRUE(InkBox(rows, &top, &bottom, &left, &right)) << "no dots drawn";
    /* One inch by 16/72 inch, at the sheet's scale. */
    double w = (double)(right - left), h = bottom - top;
    EXPECT_NEAR(4.5, w / h, 0.1) << w << " x " << h;
    /* The 8-inch carriage fills the area's width. */
    EXPECT_NEAR(2329.0 / 8, w, 3) << "an inch at 120 dpi";
    for (int y = top; y < bottom; y++)
        EXPECT_EQ(std::string(right - left, '#'), rows[y].substr(left, right - left)) << "row " << y;
}

/* Where the dots of the bounding box of the ink are: '#' or '.' at the
 * middle of each of columns x rows equal cells. */
static std::vector<std::string> Cells(const std::vector<std::string> &rows, int columns, int lines)
{
    int top, bottom, left, right;
    std::vector<std::string> cells;
    if (!InkBox(rows, &top, &bottom, &left, &right))
        return cells;
    for (int r = 0; r < lines; r++) {
        std::string line;
        for (int c = 0; c < columns; c++)
            line += rows[top + (2 * r + 1) * (bottom - top) / (2 * lines)][left + (2 * c + 1) * (right - left) / (2 * columns)];
        cells.push_back(line);
    }
    return cells;
}

/* Every dot of a picture in its place: the top pin on top, each column
 * where it is, whatever the runs the layout made of them. */
TEST(DrawnDots, EachDotIsInItsPlace)
{
    std::vector<std::string> rows = DrawnSheet(Image('K', "\xf1\x0f\xaa\x55\x81") + "\r\n", 2329, 3358, 300);
    std::vector<std::string> expected = {"#.#.#", "#..#.", "#.#..", "#..#.",
                                         ".##..", ".#.#.", ".##..", "##.##"};
    EXPECT_EQ(expected, Cells(rows, 5, 8));

    /* Raster rows: at 360 dpi, cells of 8 x 8 dots, put down dot for dot;
     * beside them at 180 dpi, cells of 4 x 4, each dot over two of the
     * band's finer grid. */
    const char *pattern[] = {"#.#.#", ".#.#.", "#####", "#...#"};
    std::string page = std::string("\x1b(G\x01\x00\x01\x1b.\x00\x0a\x0a\x20\x28\x00", 14);
    for (int y = 0; y < 32; y++)
        for (int c = 0; c < 5; c++)
            page += pattern[y / 8][c] == '#' ? '\xff' : '\0';
    page += std::string("\x1b.\x00\x14\x14\x10\x14\x00", 8);
    for (int y = 0; y < 16; y++) {
        uint32_t bits = 0;
        for (int c = 0; c < 5; c++)
            bits = bits << 4 | (pattern[y / 4][c] == '#' ? 15u : 0u);
        page += std::string({(char)(bits >> 12), (char)(bits >> 4), (char)(bits << 4)});
    }
    std::vector<std::string> twice;
    for (const char *row : pattern)
        twice.push_back(std::string(row) + row);
    EXPECT_EQ(twice, Cells(DrawnSheet(page + "\r\n", 2329, 3358, 300), 10, 4));
}

/* Shrunk as the preview shows a page, a line one dot wide still shows:
 * bit-image columns, and raster columns at 360 dpi (ten times finer than
 * the screen), one dot in 96. */
TEST(DrawnDots, ThinLinesStayWhenTheSheetIsShrunk)
{
    std::string columns, raster = std::string("\x1b(G\x01\x00\x01\x1b.\x00\x0a\x0a\x18\xc0\x03", 14);
    for (int k = 0; k < 10; k++)
        columns += std::string("\xff") + std::string(11, '\0');
    for (int y = 0; y < 24; y++)
        for (int k = 0; k < 10; k++)
            raster += std::string("\x80") + std::string(11, '\0');
    for (const std::string &page : {Image('L', columns), raster}) {
        std::vector<std::string> rows = DrawnSheet(page + "\r\n", 300, 420, 38);
        ASSERT_FALSE(rows.empty());
        size_t most = 0;
        for (const std::string &row : rows) {
            size_t runs = 0;
            for (size_t x = 0; x < row.size(); x++)
                runs += row[x] == '#' && (x == 0 || row[x - 1] != '#');
            most = std::max(most, runs);
        }
        EXPECT_EQ(10u, most) << (page == raster ? "raster" : "bit image");
    }
}

/* Shrunk, a line one pin high and the ticks printed just below it fall on
 * the same row of the screen wherever the line is: the ticks never paint
 * the line out. */
TEST(DrawnDots, ABandShrunkOntoTheRowsOfAnotherLeavesItsDots)
{
    std::string ticks;
    for (int k = 0; k < 10; k++)
        ticks += std::string("\xff") + std::string(11, '\0');
    for (int down = 1; down <= 30; down++) {
        std::string page = "\x1b" "3" + std::string(1, (char)down) + "\n\x1b" "3\x04" +
                           Image('L', std::string(120, '\x80')) + "\r\n" + Image('L', ticks) + "\r\n";
        std::vector<std::string> rows = DrawnSheet(page, 300, 420, 38);
        size_t longest = 0;
        for (const std::string &row : rows) {
            for (size_t x = 0, run = 0; x < row.size(); x++) {
                run = row[x] == '#' ? run + 1 : 0;
                longest = std::max(longest, run);
            }
        }
        /* The line: an inch at 37.5 dots an inch, unbroken. */
        EXPECT_NEAR(300.0 / 8, (double)longest, 3) << "the line " << down << "/216 inch down";
    }
}
#endif

#ifdef _WIN32
/* Dots of two densities on lines a feed of 1/216 inch apart, across the
 * carriage: a band on so fine a grid that it is too large for one picture.
 * It is drawn all the same, down its whole height. */
TEST(DrawnDots, ABandTooLargeForOnePictureIsDrawnAllTheSame)
{
    std::string page = "\x1b" "3\x01";
    for (int line = 0; line < 900; line++)
        page += std::string("\x1b*\x28\x01\x00\xff\xff\xff", 8) + std::string(78, ' ') +
                std::string("\x1b*\x04\x01\x00\xff", 6) + "\r\n";
    std::vector<std::string> rows = DrawnSheet(page, 2329, 3358, 300);
    ASSERT_FALSE(rows.empty());
    int inked = 0, left = 0, right = 0;
    for (const std::string &row : rows) {
        size_t first = row.find('#');
        if (first == std::string::npos)
            continue;
        inked++;
        left += first < 10;
        right += row.rfind('#') > 2329 - 300;
    }
    /* 900 feeds of 1/216 inch and a band of 24/180: 4.3 inches. */
    EXPECT_NEAR(4.3 * 2329 / 8, inked, 6);
    EXPECT_EQ(inked, left);
    /* The right column's 8 dots reach 1/45 inch less far down. */
    EXPECT_NEAR(inked - 2329 / 8 / 45, right, 2);
}
#endif
