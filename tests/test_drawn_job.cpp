/* The drawn job: an installed printer's pages laid out and handed to the
 * host's drawing service, when DRAW is on or the printer refuses raw data.
 * The printers are the POSIX stand-in's, so these run natively only. */
#include <gtest/gtest.h>
#include <string.h>

#include "test_support.h"
#ifndef _WIN32
#include "posix/spooler.h"

static std::string Opening(const std::string &name) { return std::string(TextOpeningFile) + name; }
static std::string Closing(const std::string &name) { return std::string(TextClosingFile) + name; }

class Drawn : public ::testing::Test {
protected:
    std::string dir, input, printed;
    const char *printer = "Office Laser";

    void SetUp() override
    {
        dir = ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        input = JoinPath(dir, "report.txt");
        printed = JoinPath(dir, "printed");
        strcpy(IniPath, JoinPath(dir, "ini.ini").c_str());
        WriteText(IniPath, "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\n");
        PageDelimiter = 12;
        PosixRemovePrinters();
        ASSERT_TRUE(PosixAddPrinter(printer, printed.c_str(), 1));
        ResetDrawer();
    }

    void TearDown() override
    {
        const PosixPrinterRecord *record = PosixPrinter(printer);
        ASSERT_TRUE(record);
        EXPECT_EQ(0u, record->openHandles);
        EXPECT_EQ(0u, record->abandoned);
        PosixRemovePrinters();
    }

    void Set(const char *key, int32_t value) { ASSERT_TRUE(WriteSettingStruct(key, &value, 4)); }

    int Print(const std::string &text, uint32_t from = 1, uint32_t to = 99, const char *output = NULL)
    {
        WriteText(input, text);
        ResetHost(1, from, to);
        return PrintFile(TestLog(), input.c_str(), output ? output : printer);
    }

    std::vector<std::string> Texts()
    {
        std::vector<std::string> texts;
        for (const RecordedSheet &sheet : Drawer.sheets)
            texts.push_back(SheetText(sheet));
        return texts;
    }
};

typedef std::vector<std::string> Lines;

TEST_F(Drawn, DrawOnDrawsEveryPageOfTheRangeAndSendsNothingRaw)
{
    Set("DRAW", 1);
    EXPECT_EQ(1, Print("one\r\n\ftwo\r\n\fthree\r\n"));
    EXPECT_EQ(Lines({"one\n", "two\n", "three\n"}), Texts());
    EXPECT_EQ(1u, Drawer.documents);
    EXPECT_EQ(1u, Drawer.ended);
    EXPECT_EQ(0u, Drawer.aborted);
    EXPECT_EQ("report.txt", Drawer.documentName);
    EXPECT_EQ(printer, Drawer.printerName);
    EXPECT_EQ(0u, PosixPrinter(printer)->documents);
    EXPECT_FALSE(FileExists(printed));
    Lines expected = {Opening(input), Opening(printer), TextAnalysis, TextDrawing,
                      Closing(printer), Closing(input)};
    EXPECT_EQ(expected, Host.lines);
    /* The line comes right before the drawing starts. */
    EXPECT_EQ(4u, Drawer.logLinesAtStart);
    /* The carriage of the widest line, the default form. */
    EXPECT_EQ(5u * 36, Drawer.carriage);
    EXPECT_EQ(66u * 360, Drawer.form);
}

TEST_F(Drawn, PrinterRefusingRawIsDrawnInstead)
{
    ASSERT_TRUE(PosixPrinterRefusesRaw(printer));
    EXPECT_EQ(1, Print("one\r\n\ftwo\r\n", 2, 2));
    EXPECT_EQ(Lines({"two\n"}), Texts());
    EXPECT_EQ(1u, PosixPrinter(printer)->rawRefused);
    EXPECT_EQ(0u, PosixPrinter(printer)->documents);
    EXPECT_EQ(1u, Drawer.ended);
    EXPECT_EQ(TextDrawing, Host.lines[3]);
}

TEST_F(Drawn, DrawOffPrintsRawAndOtherOutputsIgnoreDraw)
{
    EXPECT_EQ(1, Print("one\r\n"));
    EXPECT_EQ(0u, Drawer.documents);
    EXPECT_EQ(1u, PosixPrinter(printer)->delivered);
    /* A file stays raw whatever DRAW says. */
    Set("DRAW", 1);
    std::string file = JoinPath(dir, "out.prn");
    EXPECT_EQ(1, Print("one\r\n", 1, 1, file.c_str()));
    EXPECT_EQ(0u, Drawer.documents);
    EXPECT_EQ(ToBytes("one\r\n"), ReadBytes(file));
    /* Only 1 turns it on. */
    Set("DRAW", 2);
    EXPECT_EQ(1, Print("one\r\n"));
    EXPECT_EQ(0u, Drawer.documents);
}

TEST_F(Drawn, StatesCarryFromPageOneAndBlankPagesAreSkipped)
{
    Set("DRAW", 1);
    Set("SKIPEMPTY", 1);
    /* Page 1 turns bold on, blank page 2 condensed; page 3 is both. */
    EXPECT_EQ(1, Print("one\x1b" "E\f\x0f\r\n\fthree\f", 3, 3));
    ASSERT_EQ(1u, Drawer.sheets.size());
    EXPECT_EQ("three\n", SheetText(Drawer.sheets[0]));
    for (const LayoutCell &c : Drawer.sheets[0].cells) {
        EXPECT_EQ(CELL_BOLD, c.attributes);
        EXPECT_EQ(21, c.width);
    }
    ResetDrawer();
    EXPECT_EQ(1, Print("one\x1b" "E\f\x0f\r\n\fthree\f", 1, 99));
    EXPECT_EQ(Lines({"one\n", "three\n"}), Texts());
    EXPECT_EQ(Host.lines[4], TextBlankSkipped);
    /* A job that draws nothing opens no document and logs no drawing. */
    ResetDrawer();
    EXPECT_EQ(1, Print("\r\n\f\r\n", 1, 99));
    EXPECT_EQ(0u, Drawer.documents);
    for (const std::string &line : Host.lines)
        EXPECT_NE(TextDrawing, line);
}

/* A drawn page is blank when it draws nothing, whatever commands it holds;
 * with Skip empty it is left out and costs no sheet. A driver's closing
 * ESC @ after its last form feed never costs one. */
TEST_F(Drawn, PagesThatDrawNothingAreBlank)
{
    Set("DRAW", 1);
    struct Row {
        int32_t skip;
        std::string text;
        Lines sheets;
        unsigned skipped; /* "Пустая страница пропущена" lines */
    } rows[] = {
        {1, "one\f\x1b@\x1b" "E\x1b" "3\x18\r\n\f" "two\f\x1b@", {"one\n", "two\n"}, 2},
        {0, "one\f\x1b@\x1b" "E\x1b" "3\x18\r\n\f" "two\f\x1b@", {"one\n", "", "two\n"}, 0},
        /* A blank bit image, blanks: nothing drawn. An underlined blank and
         * a dot are drawn. */
        {1, std::string("\x1bK\x02\x00\x00\x00   \f\x1b-1 \x1b-0\f\x1bK\x01\x00\x01", 23), {" \n", ""}, 1},
        /* A page that runs on over the form: its first sheet, laid out to
         * see that it draws, is drawn, and the rest after it; lines run
         * off a form that prints nothing give no sheet, and what follows
         * stands where they left the paper. */
        {1, "one" + std::string(66, '\n') + "two\fthree", {"one\n", "two\n", "three\n"}, 0},
        {1, std::string(70, '\n') + "two\fthree", {"\n\n\n\ntwo\n", "three\n"}, 0},
    };
    for (const Row &row : rows) {
        ResetDrawer();
        Set("SKIPEMPTY", row.skip);
        EXPECT_EQ(1, Print(row.text));
        EXPECT_EQ(row.sheets, Texts()) << row.skip << " " << row.text;
        unsigned skipped = 0;
        for (const std::string &line : Host.lines)
            skipped += line == TextBlankSkipped;
        EXPECT_EQ(row.skipped, skipped) << row.text;
    }
}

/* The drawn job starts from the set-up bytes, which are never sent raw, and
 * takes the page length in lines as its form; a printer that refuses raw
 * data refuses the set-up write too, and is drawn from the same state. */
TEST_F(Drawn, SetupBytesAndPageLinesShapeTheDrawnJob)
{
    WriteText(IniPath, "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nSETUP=27 64 15\r\n"
                       "PAGELINES=0C0000000C\r\n");
    for (bool refusing : {false, true}) {
        ResetDrawer();
        if (refusing) {
            Set("DRAW", 0);
            ASSERT_TRUE(PosixPrinterRefusesRaw(printer));
        } else {
            Set("DRAW", 1);
        }
        std::string text;
        for (int line = 0; line < 30; line++)
            text += "line\r\n";
        EXPECT_EQ(1, Print(text, 2, 2)) << "refusing: " << refusing;
        ASSERT_EQ(1u, Drawer.sheets.size()) << "refusing: " << refusing;
        EXPECT_EQ(12u * 360, Drawer.sheets[0].form);
        ASSERT_FALSE(Drawer.sheets[0].cells.empty());
        for (const LayoutCell &c : Drawer.sheets[0].cells)
            EXPECT_EQ(21, c.width) << "condensed from the set-up bytes";
        EXPECT_EQ(0u, PosixPrinter(printer)->documents);
        EXPECT_FALSE(FileExists(printed));
    }
}

/* The pins are chosen from the whole job before its first sheet: a feed
 * ahead of the first 24-dot image is already read as 24-pin (n/180 inch);
 * PINS 9 or 24 overrides, any other value leaves the choice to the job. */
TEST_F(Drawn, PinsAreChosenFromTheWholeJob)
{
    Set("DRAW", 1);
    std::string image = std::string("\x1b*\x27\x01\x00\xff\xff\xff", 8);
    struct Row {
        int32_t setting;
        std::string text;
        int y; /* of the line after the feed */
    } rows[] = {
        {0, "a\x1bJ\x24" "b\f" + image, 432},
        {7, "a\x1bJ\x24" "b\f" + image, 432},
        {9, "a\x1bJ\x24" "b\f" + image, 360},
        {0, "a\x1bJ\x24" "b", 360},
        {24, "a\x1bJ\x24" "b", 432},
    };
    for (const Row &row : rows) {
        ResetDrawer();
        Set("PINS", row.setting);
        EXPECT_EQ(1, Print(row.text, 1, 1));
        ASSERT_EQ(1u, Drawer.sheets.size());
        ASSERT_EQ(2u, Drawer.sheets[0].lines.size());
        EXPECT_EQ(row.y, Drawer.sheets[0].lines[1].y) << row.setting;
    }
    /* Without the setting at all, too; the set-up bytes count with the file. */
    WriteText(IniPath, "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nDRAW=0100000001\r\n"
                       "SETUP=27 43 60\r\n");
    ResetDrawer();
    EXPECT_EQ(1, Print("a\x1bJ\x24" "b"));
    ASSERT_EQ(1u, Drawer.sheets.size());
    ASSERT_EQ(2u, Drawer.sheets[0].lines.size());
    EXPECT_EQ(432, Drawer.sheets[0].lines[1].y);
}

TEST_F(Drawn, CodePageSettingChoosesTheLetters)
{
    Set("DRAW", 1);
    Set("CODEPAGE", 1125);
    EXPECT_EQ(1, Print("\xf2"));
    EXPECT_EQ(Lines({"\xd2\x90\n"}), Texts());
}

TEST_F(Drawn, FailuresEndTheJobWithError)
{
    Set("DRAW", 1);
    Drawer.failSheet = 2;
    EXPECT_EQ(0, Print("one\ftwo\fthree"));
    EXPECT_EQ(2u, Drawer.sheets.size());
    EXPECT_EQ(1u, Drawer.aborted);
    EXPECT_EQ(0u, Drawer.ended);
    Lines expected = {Opening(input), Opening(printer), TextAnalysis, TextDrawing, TextError,
                      Closing(printer), Closing(input)};
    EXPECT_EQ(expected, Host.lines);

    ResetDrawer();
    Drawer.failStart = true;
    EXPECT_EQ(0, Print("one\ftwo"));
    EXPECT_EQ(0u, Drawer.sheets.size());
    EXPECT_EQ(expected, Host.lines);

    ResetDrawer();
    Drawer.failEnd = true;
    EXPECT_EQ(0, Print("one\ftwo"));
    EXPECT_EQ(2u, Drawer.sheets.size());
    EXPECT_EQ(expected, Host.lines);
}

TEST_F(Drawn, CancelDrawsNothing)
{
    Set("DRAW", 1);
    WriteText(input, "one");
    ResetHost(2, 1, 1);
    EXPECT_EQ(1, PrintFile(TestLog(), input.c_str(), printer));
    EXPECT_EQ(0u, Drawer.documents);
}
#endif
