/* The print job, judged by what lands in the output and in the log. */
#include <gtest/gtest.h>
#include <string.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "test_support.h"

typedef std::vector<std::string> Lines;

static std::string Opening(const std::string &name) { return std::string(TextOpeningFile) + name; }
static std::string Closing(const std::string &name) { return std::string(TextClosingFile) + name; }

/* Both switches off unless a test says otherwise: the ASCII pages then go out
 * exactly as they stand. */
static const char SwitchesOff[] = "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\n";
static const char SkipOnly[] = "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0100000001\r\n";

class Job : public ::testing::Test {
protected:
    std::string dir, input, output;
    int result;

    void Prepare(const char *ini, const Bytes &content)
    {
        dir = ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        input = JoinPath(dir, "in.txt");
        output = JoinPath(dir, "out.prn");
        std::string iniPath = JoinPath(dir, "ini.ini");
        strcpy(IniPath, iniPath.c_str());
        if (ini)
            WriteText(iniPath, ini);
        PageDelimiter = 12;
        WriteBytes(input, content);
    }

    /* Runs the job with the dialog answering button, from and to. */
    Bytes Run(const char *ini, const Bytes &content, int button, uint32_t from, uint32_t to)
    {
        Prepare(ini, content);
        return RunPrepared(button, from, to);
    }

    Bytes RunPrepared(int button, uint32_t from, uint32_t to)
    {
        ResetHost(button, from, to);
        result = PrintFile(TestLog(), input.c_str(), output.c_str());
        return ReadBytes(output);
    }

    Lines Expected(std::initializer_list<std::string> middle)
    {
        Lines lines = {Opening(input), Opening(output), TextAnalysis};
        lines.insert(lines.end(), middle.begin(), middle.end());
        lines.push_back(Closing(output));
        lines.push_back(Closing(input));
        return lines;
    }
};

static const Bytes ThreePages = ToBytes("page one\r\n\fpage two\r\n\fpage three\r\n");

TEST_F(Job, LogTextsAreWindows1251)
{
    EXPECT_EQ(Bytes({0xC7, 0xE0, 0xEF, 0xF3, 0xF1, 0xEA}), ToBytes(TextStarted));
    EXPECT_EQ(Bytes({0xCE, 0xF8, 0xE8, 0xE1, 0xEA, 0xE0}), ToBytes(TextError));
    EXPECT_EQ(Bytes({0xC0, 0xED, 0xE0, 0xEB, 0xE8, 0xE7, 0x20}), ToBytes(TextAnalysis));
    EXPECT_EQ(15u, strlen(TextOpeningFile));
    EXPECT_EQ(0x20, (unsigned char)TextOpeningFile[14]);
    EXPECT_EQ(0xCE, (unsigned char)TextOpeningFile[0]);
    EXPECT_EQ(15u, strlen(TextClosingFile));
    EXPECT_EQ(0xC7, (unsigned char)TextClosingFile[0]);
    EXPECT_EQ(19u, strlen(TextRecoding));
    EXPECT_EQ(std::string("DOS"), std::string(TextRecoding + 16));
    EXPECT_EQ(25u, strlen(TextBlankSkipped));
    EXPECT_EQ(0xCF, (unsigned char)TextBlankSkipped[0]);
}

TEST_F(Job, AllPagesGiveTheWholeFileByteForByte)
{
    EXPECT_EQ(ThreePages, Run(SwitchesOff, ThreePages, 1, 1, 3));
    EXPECT_EQ(1, result);
    EXPECT_EQ(Expected({}), Host.lines);
    EXPECT_TRUE(Host.asked);
    EXPECT_EQ(3u, Host.offeredCount);
    EXPECT_EQ(TestLog(), Host.askedWith);
}

/* What printer drivers send (tests/fixtures/printers: Ghostscript's 9-pin,
 * 24-pin and ESC/P2 drivers, from picture.ps): with the settings a new user
 * has (no keys, so recoding and the blank-page test are on), the output is
 * the file byte for byte, and the pages are the printer's: the picture up
 * to its closing form feed, and what follows it. Form feeds among the dots
 * and as parameters cut nothing. */
TEST_F(Job, PrinterDriversFilesGoOutByteForByteInThePrintersPages)
{
    const char *files[] = {
        "epson-r60x72.prn",     "epson-r240x216.prn",   "eps9mid-r120x216.prn", "eps9high-r240x216.prn",
        "epsonc-r120x72.prn",   "ibmpro-r120x72.prn",   "lq850-r360x180.prn",   "necp6-r360x360.prn",
        "st800-r360x360.prn",   "stcolor-r360x360.prn",
    };
    for (const char *name : files) {
        Bytes file = ReadBytes(JoinPath(FixturePath("printers"), name));
        ASSERT_FALSE(file.empty()) << name;
        EXPECT_TRUE(file == Run(NULL, file, 1, 1, 99)) << name;
        EXPECT_EQ(2u, Host.offeredCount) << name;
        /* A file that ends with its form feed has an empty second page. */
        if (file.back() == '\f')
            EXPECT_EQ(Expected({TextBlankSkipped}), Host.lines) << name;
        else
            EXPECT_EQ(Expected({}), Host.lines) << name;
    }
}

/* A file of several megabytes, whose image is brought into memory a stretch
 * at a time before the read, and not a whole number of stretches. */
TEST_F(Job, LargeFileGivesTheWholeFileByteForByte)
{
    std::string text;
    for (uint32_t i = 0; text.size() < 3 * (1u << 20) + 4097; i++)
        text += "line " + std::to_string(i) + (i % 60 == 59 ? "\r\n\f" : "\r\n");
    Bytes large = ToBytes(text);
    SIZE_T least = 0, most = 0, leastAfter = 1, mostAfter = 1;
    ASSERT_TRUE(GetProcessWorkingSetSize(GetCurrentProcess(), &least, &most));
    EXPECT_TRUE(large == Run(SwitchesOff, large, 1, 1, 99999));
    EXPECT_EQ(1, result);
    /* The working set is left as it was. */
    ASSERT_TRUE(GetProcessWorkingSetSize(GetCurrentProcess(), &leastAfter, &mostAfter));
    EXPECT_EQ(least, leastAfter);
    EXPECT_EQ(most, mostAfter);
}

/* The dialog sees the job's own image (recoded, as it is split), its table
 * and its output while it is open; once it has closed, nothing is lent. */
TEST_F(Job, LendsItsImageTableAndOutputOnlyWhileTheDialogIsOpen)
{
    /* Windows-1251 "абв" and "где": recoded to code page 866 before the split. */
    const Bytes cyrillic = {0xE0, 0xE1, 0xE2, 0x0C, 0xE3, 0xE4, 0xE5, 0x0C};
    const Bytes recoded = {0xA0, 0xA1, 0xA2, 0x0C, 0xA3, 0xA4, 0xA5, 0x0C};
    for (int button : {1, 2}) {
        Run("[MAIN]\r\nTODOS=0100000001\r\n", cyrillic, button, 1, 3);
        EXPECT_TRUE(Host.lentAll) << button;
        EXPECT_EQ(recoded, Host.lentImage) << button;
        EXPECT_EQ(2u, Host.lentEntries) << button;
        EXPECT_EQ(output, Host.lentOutput) << button;
        EXPECT_TRUE(JobImage == NULL && JobPageTable == NULL && JobOutputName == NULL) << button;
        EXPECT_EQ(0u, JobImageSize) << button;
    }
    /* The form and the code page, as the job read them for itself. */
    Run("[MAIN]\r\nTODOS=0000000000\r\nSETUP=27 64 15\r\nPAGELINES=0C0000000C\r\n"
        "CODEPAGE=6504000069\r\n", ThreePages, 2, 1, 3);
    EXPECT_EQ(Bytes({27, 64, 15}), Host.lentSetup);
    EXPECT_EQ(12u, Host.lentPageLines);
    EXPECT_EQ(1125u, Host.lentCodePage);
    EXPECT_TRUE(JobPrinterForm == NULL);
    /* An empty file still lends its (empty) image and table. */
    Run(SwitchesOff, Bytes(), 2, 1, 1);
    EXPECT_TRUE(Host.lentAll);
    EXPECT_EQ(0u, Host.lentEntries);
    /* A job that never reaches the dialog lends nothing. */
    Prepare(SwitchesOff, ThreePages);
    ResetHost(1, 1, 3);
    EXPECT_EQ(0, PrintFile(TestLog(), JoinPath(dir, "missing.txt").c_str(), output.c_str()));
    EXPECT_FALSE(Host.asked);
    EXPECT_TRUE(JobImage == NULL && JobPageTable == NULL && JobOutputName == NULL);
}

TEST_F(Job, RangesPickPagesWithTheirDelimiters)
{
    struct { uint32_t from, to; const char *out; } cases[] = {
        {2, 2, "page two\r\n\f"},
        {2, 99, "page two\r\n\fpage three\r\n"},       /* To beyond the count stops at the last */
        {1, 1, "page one\r\n\f"},
        {3, 3, "page three\r\n"},
        {0, 3, ""},                                     /* From 0 starts beyond every page */
        {3, 2, ""},
        {0xFFFFFFFEu, 3, ""},                           /* From typed as -2 */
        {2, 0xFFFFFFFFu, "page two\r\n\fpage three\r\n"}, /* To typed as -1 is cut to the count */
        {1, 0, ""},                                     /* To emptied reads as 0 */
    };
    for (auto &c : cases) {
        EXPECT_EQ(ToBytes(c.out), Run(SwitchesOff, ThreePages, 1, c.from, c.to))
            << "from " << c.from << " to " << c.to;
        EXPECT_EQ(1, result);
        EXPECT_EQ(Expected({}), Host.lines);
    }
}

TEST_F(Job, ToIsCutDownToTheCountInTheSharedRange)
{
    Run(SwitchesOff, ThreePages, 1, 1, 50);
    EXPECT_EQ(3u, PageCount);
    EXPECT_EQ(3u, PageTo);
    EXPECT_EQ(1u, PageFrom);
}

TEST_F(Job, CancelWritesNothingButCreatesTheOutput)
{
    EXPECT_EQ(Bytes(), Run(SwitchesOff, ThreePages, 2, 1, 3));
    EXPECT_TRUE(FileExists(output));
    EXPECT_EQ(1, result);
    EXPECT_EQ(Expected({}), Host.lines);
}

TEST_F(Job, AnyAnswerButPrintCountsAsCancel)
{
    EXPECT_EQ(Bytes(), Run(SwitchesOff, ThreePages, 0, 1, 3));
    EXPECT_EQ(Bytes(), Run(SwitchesOff, ThreePages, -1, 1, 3));
    EXPECT_EQ(1, result);
}

/* A confirmed job to a file on disk leaves exactly its own pages, however
 * long the file was, even when it wrote nothing at all. */
TEST_F(Job, ExistingLongerOutputEndsWithTheJob)
{
    Prepare(SwitchesOff, ToBytes("new"));
    WriteText(output, "old contents that are longer");
    EXPECT_EQ(ToBytes("new"), RunPrepared(1, 1, 1));
    EXPECT_EQ(Expected({}), Host.lines);

    WriteText(output, "old contents");
    EXPECT_EQ(Bytes(), RunPrepared(1, 0, 1));
    EXPECT_EQ(1, result);
}

/* Cancel, or a job that stops before the dialog, leaves an existing file
 * as it was. */
TEST_F(Job, CancelLeavesAnExistingOutputUntouched)
{
    Prepare(SwitchesOff, ThreePages);
    WriteText(output, "old contents");
    EXPECT_EQ(ToBytes("old contents"), RunPrepared(2, 1, 3));
    EXPECT_EQ(1, result);
}

/* A device is never cut (and cannot be): the job ends without an error. */
TEST_F(Job, DeviceOutputIsNotCut)
{
    std::string device = RunningOnWindowsApi() ? "NUL" : "/dev/null";
    Prepare(SwitchesOff, ThreePages);
    ResetHost(1, 1, 3);
    EXPECT_EQ(1, PrintFile(TestLog(), input.c_str(), device.c_str()));
    EXPECT_EQ(Lines({Opening(input), Opening(device), TextAnalysis, Closing(device), Closing(input)}),
              Host.lines);
}

TEST_F(Job, BlankPagesAreSkippedOnlyWhenAsked)
{
    Bytes content = ToBytes("text\f \r\n\t\f\f\xA0\fend");
    /* Pages: "text\f", " \r\n\t\f", "\f", "\xA0\f", "end". */
    EXPECT_EQ(ToBytes("text\f\xA0\fend"), Run(SkipOnly, content, 1, 1, 5));
    EXPECT_EQ(Expected({TextBlankSkipped, TextBlankSkipped}), Host.lines);

    EXPECT_EQ(content, Run(SwitchesOff, content, 1, 1, 5));
    EXPECT_EQ(Expected({}), Host.lines);
}

TEST_F(Job, DelimiterAbove32MakesEveryDelimitedPageText)
{
    Bytes content = ToBytes("  #\r\n#  ");
    Prepare(SkipOnly, content);
    PageDelimiter = '#';
    /* "  #" and "\r\n#" hold the delimiter itself; "  " is blank. */
    EXPECT_EQ(ToBytes("  #\r\n#"), RunPrepared(1, 1, 3));
    EXPECT_EQ(Expected({TextBlankSkipped}), Host.lines);
}

TEST_F(Job, SwitchesFollowTheSettingsFile)
{
    Bytes windowsBlank = {0xE0, '\f', ' ', '\f', 'x'};
    struct { const char *what; const char *ini; Bytes out; Lines middle; } cases[] = {
        {"no file: both on", NULL, {0xA0, '\f', 'x'}, {TextRecoding, TextBlankSkipped}},
        {"TODOS 0, no SKIPEMPTY: both off", "[MAIN]\r\nTODOS=0000000000\r\n", windowsBlank, {}},
        {"SKIPEMPTY 2 is off", "[MAIN]\r\nSKIPEMPTY=0200000002\r\n", {0xA0, '\f', ' ', '\f', 'x'}, {TextRecoding}},
        {"TODOS 2 is off, SKIPEMPTY follows it", "[MAIN]\r\nTODOS=0200000002\r\n", windowsBlank, {}},
        {"TODOS 1, SKIPEMPTY 0", "[MAIN]\r\nTODOS=0100000001\r\nSKIPEMPTY=0000000000\r\n",
         {0xA0, '\f', ' ', '\f', 'x'}, {TextRecoding}},
    };
    for (auto &c : cases) {
        EXPECT_EQ(c.out, Run(c.ini, windowsBlank, 1, 1, 3)) << c.what;
        Lines lines = {Opening(input), Opening(output), TextAnalysis};
        size_t at = 3;
        for (size_t i = 0; i < c.middle.size(); i++) {
            /* The recoding line comes before the dialog, blank lines after it. */
            lines.insert(lines.begin() + (long)at++, c.middle[i]);
        }
        lines.push_back(Closing(output));
        lines.push_back(Closing(input));
        EXPECT_EQ(lines, Host.lines) << c.what;
    }
}

TEST_F(Job, SettingsAreReadAtEachJob)
{
    Bytes content = {0xE0};
    Run(NULL, content, 1, 1, 1);
    EXPECT_EQ(Bytes({0xA0}), ReadBytes(output));
    int32_t off = 0;
    WriteSettingStruct("TODOS", &off, 4);
    remove(output.c_str());
    EXPECT_EQ(content, RunPrepared(1, 1, 1));
}

/* With no settings file the per-page look finds the same nothing each time:
 * the job reads each key once, however many pages it has. */
TEST_F(Job, NoSettingsFileIsReadOnceNotOncePerPage)
{
    uint32_t reads[2];
    int pages[2] = {3, 300};
    for (int run = 0; run < 2; run++) {
        std::string content;
        for (int page = 0; page < pages[run]; page++)
            content += page % 2 ? " \r\n\f" : "text\r\n\f";
        Prepare(NULL, ToBytes(content));
        uint32_t before = ProfileStructReads;
        RunPrepared(1, 1, (uint32_t)pages[run] + 1);
        reads[run] = ProfileStructReads - before;
        /* Every blank page, and the empty last one, was skipped. */
        EXPECT_EQ(3u + (uint32_t)pages[run] / 2 + 1u + 2u, Host.lines.size());
    }
    EXPECT_EQ(reads[0], reads[1]);
    EXPECT_LE(reads[1], 8u);
}

/* A settings file that appears in the middle of a job is obeyed from the
 * next page on, though there was none when the job began: in a folder just
 * made, and in one left alone for an hour. */
TEST_F(Job, SettingsFileWrittenBetweenPagesIsObeyedFromTheNextPage)
{
    for (bool oldFolder : {false, true}) {
        Prepare(NULL, ToBytes("a\f \f \f \fb"));
        if (oldFolder) {
            /* A folder of its own: the output made in the job's folder
             * would make that one new. */
            std::string settings = ScratchDirectory("SettingsFileWrittenBetweenPages_old");
            strcpy(IniPath, JoinPath(settings, "ini.ini").c_str());
            ASSERT_TRUE(SetLastWriteTime(settings, FileTimeFromNow(-3600)));
        }
        ResetHost(1, 1, 5);
        std::string ini = IniPath;
        Host.onLine = [&](const std::string &line) {
            if (line == TextBlankSkipped && !FileExists(ini))
                WriteText(ini, "[MAIN]\r\nSKIPEMPTY=0000000000\r\n");
        };
        result = PrintFile(TestLog(), input.c_str(), output.c_str());
        EXPECT_EQ(1, result);
        /* Page 2 was skipped before the file existed; 3 and 4 are written. */
        EXPECT_EQ(ToBytes("a\f \f \fb"), ReadBytes(output)) << "old folder: " << oldFolder;
        EXPECT_EQ(Expected({TextBlankSkipped}), Host.lines) << "old folder: " << oldFolder;
        remove(ini.c_str());
        remove(output.c_str());
    }
}

TEST_F(Job, SplittingSeesTheRecodedImage)
{
    /* With delimiter 128 every Windows-1251 capital A (192) ends a page once recoded. */
    Bytes content = {'a', 0xC0, 'b', 0xE0, 0xE0, 0xC0, 'c'};
    Prepare(NULL, content);
    PageDelimiter = 128;
    EXPECT_EQ(Bytes({'b', 0xA0, 0xA0, 0x80, 'c'}), RunPrepared(1, 2, 3));
    EXPECT_EQ(3u, Host.offeredCount);

    /* A Windows opening quote becomes '"', and so a page ends there too. */
    Prepare(NULL, Bytes({'x', 0xAB, 'y', 0xE0, 0xE0, 0xE0}));
    PageDelimiter = '"';
    EXPECT_EQ(Bytes({'x', '"'}), RunPrepared(1, 1, 1));
    EXPECT_EQ(2u, Host.offeredCount);
}

TEST_F(Job, FileEndingWithTheDelimiterOffersAnEmptyLastPage)
{
    Bytes content = ToBytes("one\ftwo\f");
    EXPECT_EQ(content, Run(SkipOnly, content, 1, 1, 3));
    EXPECT_EQ(3u, Host.offeredCount);
    EXPECT_EQ(Expected({TextBlankSkipped}), Host.lines);

    EXPECT_EQ(content, Run(SwitchesOff, content, 1, 1, 3));
    EXPECT_EQ(Expected({}), Host.lines);
    EXPECT_EQ(Bytes(), Run(SwitchesOff, content, 1, 3, 3));
}

TEST_F(Job, EmptyFileIsOnePageOfNothing)
{
    EXPECT_EQ(Bytes(), Run(SkipOnly, Bytes(), 1, 1, 1));
    EXPECT_EQ(1, result);
    EXPECT_EQ(1u, Host.offeredCount);
    EXPECT_EQ(Expected({TextBlankSkipped}), Host.lines);
}

TEST_F(Job, MissingInputStopsBeforeTheOutput)
{
    Prepare(SwitchesOff, Bytes());
    std::string missing = JoinPath(dir, "missing.txt");
    ResetHost(1, 1, 1);
    EXPECT_EQ(0, PrintFile(TestLog(), missing.c_str(), output.c_str()));
    EXPECT_EQ(Lines({Opening(missing), TextError}), Host.lines);
    EXPECT_FALSE(FileExists(output));
    EXPECT_FALSE(Host.asked);
}

TEST_F(Job, OutputThatCannotBeOpenedEndsTheJob)
{
    struct { const char *what; std::string name; } cases[] = {
        {"empty name", ""},
        {"the input itself", "<input>"},
        {"a directory", "<dir>"},
    };
    for (auto &c : cases) {
        Prepare(SwitchesOff, ThreePages);
        std::string name = c.name == "<input>" ? input : c.name == "<dir>" ? dir : c.name;
        ResetHost(1, 1, 3);
        EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), name.c_str())) << c.what;
        EXPECT_EQ(Lines({Opening(input), Opening(name), TextError}), Host.lines) << c.what;
        EXPECT_FALSE(Host.asked) << c.what;
        EXPECT_EQ(ThreePages, ReadBytes(input)) << c.what;
    }
    /* Both handles were closed: the input can be opened for writing now. */
    HANDLE again = CreateFileA(input.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    CloseHandle(again);
}

TEST_F(Job, LongNamesAreCutInTheLogNeverOverrun)
{
    Prepare(SwitchesOff, ThreePages);
    std::string missing = JoinPath(dir, std::string(400, 'n'));
    ResetHost(1, 1, 1);
    EXPECT_EQ(0, PrintFile(TestLog(), missing.c_str(), output.c_str()));
    ASSERT_EQ(2u, Host.lines.size());
    EXPECT_EQ(254u, Host.lines[0].size());
    EXPECT_EQ(Opening(missing).substr(0, 254), Host.lines[0]);
}

TEST_F(Job, FileOfFourGigabytesOrMoreIsAnError)
{
    Prepare(SwitchesOff, Bytes());
    MAKE_SPARSE_FILE_OR_SKIP(input, 0x100000000ull + 3);
    WriteText(output, "old contents");
    ResetHost(1, 1, 1);
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str()));
    EXPECT_EQ(Lines({Opening(input), Opening(output), TextError}), Host.lines);
    EXPECT_FALSE(Host.asked);
    EXPECT_EQ(ToBytes("old contents"), ReadBytes(output));
}

TEST_F(Job, FileLargerThanMemoryIsAnError)
{
    if (!RunningOnWindowsApi() || sizeof(void *) > 4)
        GTEST_SKIP() << "a 64-bit process can hold it; the fault test below covers this path";
    Prepare(SwitchesOff, Bytes());
    MAKE_SPARSE_FILE_OR_SKIP(input, 0xF0000000ull);
    ResetHost(1, 1, 1);
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str()));
    EXPECT_EQ(Lines({Opening(input), Opening(output), TextError}), Host.lines);
}

/* A device that refuses every write: /dev/full, which Wine reaches as Z:. */
TEST_F(Job, FullDeviceIsReported)
{
    if (RunningOnWindowsApi() && !RunningUnderWine())
        GTEST_SKIP() << "Windows has no device that is always full";
    std::string device = RunningUnderWine() ? "Z:\\dev\\full" : "/dev/full";
    Prepare(SwitchesOff, ThreePages);
    ResetHost(1, 1, 3);
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), device.c_str()));
    EXPECT_EQ(Lines({Opening(input), Opening(device), TextAnalysis, TextError,
                     Closing(device), Closing(input)}), Host.lines);
}

/* A file of nothing but delimiters is that many blank pages and one more. */
TEST_F(Job, DelimiterOnlyFileIsBlankPages)
{
    Bytes content(3, '\f');
    EXPECT_EQ(Bytes(), Run(SkipOnly, content, 1, 1, 4));
    EXPECT_EQ(4u, Host.offeredCount);
    EXPECT_EQ(Expected({TextBlankSkipped, TextBlankSkipped, TextBlankSkipped, TextBlankSkipped}), Host.lines);
    EXPECT_EQ(content, Run(SwitchesOff, content, 1, 1, 4));
}

/* An input another program holds open without read sharing cannot be read:
 * the job stops at its first line. */
TEST_F(Job, LockedInputIsAnError)
{
    Prepare(SwitchesOff, ThreePages);
    HANDLE holder = CreateFileA(input.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ResetHost(1, 1, 3);
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str()));
    CloseHandle(holder);
    EXPECT_EQ(Lines({Opening(input), TextError}), Host.lines);
    EXPECT_FALSE(FileExists(output));
}

/* An input that is no file: a folder never opens; a device or a FIFO opens
 * but has no size, so the job stops at "Ошибка" instead of printing one blank
 * page, and never waits for a FIFO's writer. */
TEST_F(Job, InputThatIsNoFileIsAnError)
{
    Prepare(SwitchesOff, Bytes());
    ResetHost(1, 1, 1);
    EXPECT_EQ(0, PrintFile(TestLog(), dir.c_str(), output.c_str()));
    EXPECT_EQ(Lines({Opening(dir), TextError}), Host.lines);

#ifndef _WIN32
    std::string fifo = JoinPath(dir, "pipe");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    alarm(60);
    int writer = -1;
    for (int round = 0; round < 3; round++) {
        /* No writer; then a writer with bytes waiting; then /dev/zero. */
        std::string name = round < 2 ? fifo : "/dev/zero";
        if (round == 1) {
            int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            ASSERT_EQ(5, write(writer, "bytes", 5));
            close(reader);
        }
        remove(output.c_str());
        ResetHost(1, 1, 1);
        EXPECT_EQ(0, PrintFile(TestLog(), name.c_str(), output.c_str())) << name;
        EXPECT_EQ(Lines({Opening(name), Opening(output), TextError}), Host.lines) << name;
        EXPECT_FALSE(Host.asked);
        EXPECT_EQ(Bytes(), ReadBytes(output));
    }
    close(writer);
    alarm(0);
#endif
}

#ifndef _WIN32
/* Faults the real platform cannot be made to show on demand. */

TEST_F(Job, ImageAllocationFailureIsAnError)
{
    Prepare(SwitchesOff, ThreePages);
    ResetHost(1, 1, 3);
    PosixFaults.failHeapAlloc = 2; /* the scratch line, then the image */
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str()));
    PosixFaults.failHeapAlloc = 0;
    EXPECT_EQ(Lines({Opening(input), Opening(output), TextError}), Host.lines);
    EXPECT_EQ(Bytes(), ReadBytes(output));
}

TEST_F(Job, ScratchLineAllocationFailureIsAnError)
{
    Prepare(SwitchesOff, ThreePages);
    ResetHost(1, 1, 3);
    PosixFaults.failHeapAlloc = 1;
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str()));
    PosixFaults.failHeapAlloc = 0;
    EXPECT_EQ(Lines({TextError}), Host.lines);
    EXPECT_FALSE(FileExists(output));
}

TEST_F(Job, PageTableAllocationFailureIsAnError)
{
    Prepare(SwitchesOff, ThreePages);
    ResetHost(1, 1, 3);
    PosixFaults.failHeapAlloc = 3; /* scratch line, image, first table array */
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str()));
    PosixFaults.failHeapAlloc = 0;
    EXPECT_EQ(Lines({Opening(input), Opening(output), TextAnalysis, TextError}), Host.lines);
    EXPECT_FALSE(Host.asked);
}

TEST_F(Job, ShortReadIsAnErrorAndNoUnreadByteIsUsed)
{
    Prepare(SwitchesOff, ThreePages);
    WriteText(output, "old contents");
    ResetHost(1, 1, 3);
    PosixFaults.shortRead = 1;
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str()));
    PosixFaults.shortRead = 0;
    EXPECT_EQ(Lines({Opening(input), Opening(output), TextError}), Host.lines);
    EXPECT_EQ(ToBytes("old contents"), ReadBytes(output));
}

TEST_F(Job, FailedWriteStopsThePagesAndIsReported)
{
    Prepare(SwitchesOff, ThreePages);
    WriteText(output, std::string(100, 'o')); /* its tail must not follow page one */
    ResetHost(1, 1, 3);
    PosixFaults.failWrite = 2; /* page one goes out, page two fails */
    EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str()));
    EXPECT_EQ(0u, PosixFaults.failWrite);
    EXPECT_EQ(Expected({TextError}), Host.lines);
    EXPECT_EQ(ToBytes("page one\r\n\f"), ReadBytes(output));
}

#endif

/* ---- The printer's form: set-up bytes and pages by line count ------------------ */

static std::string WithForm(const char *switches, const char *form)
{
    return std::string(switches) + form;
}

static const Bytes SetupBytes = {27, 64, 15};

static Bytes Concat(const Bytes &a, const Bytes &b)
{
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

TEST_F(Job, SetupBytesComeOnceBeforeTheFirstPageWritten)
{
    std::string ini = WithForm(SwitchesOff, "SETUP=27 64 15\r\n");
    EXPECT_EQ(Concat(SetupBytes, ThreePages), Run(ini.c_str(), ThreePages, 1, 1, 3));
    EXPECT_EQ(1, result);
    EXPECT_EQ(Expected({}), Host.lines);
    EXPECT_EQ(Concat(SetupBytes, ToBytes("page two\r\n\f")), Run(ini.c_str(), ThreePages, 1, 2, 2));

    /* Skipped blank pages first: still just before the first page written. */
    ini = WithForm(SkipOnly, "SETUP=15\r\n");
    EXPECT_EQ(ToBytes("\x0fpage\f"), Run(ini.c_str(), ToBytes(" \r\n\f\f  \fpage\f"), 1, 1, 4));
    EXPECT_EQ(Expected({TextBlankSkipped, TextBlankSkipped, TextBlankSkipped}), Host.lines);
}

TEST_F(Job, SetupBytesNotSentWhenNoPageIsWritten)
{
    std::string ini = WithForm(SkipOnly, "SETUP=27 64 15\r\n");
    struct { const char *what; Bytes content; int button; uint32_t from, to; } cases[] = {
        {"Cancel", ThreePages, 2, 1, 3},
        {"From above To", ThreePages, 1, 3, 2},
        {"From 0", ThreePages, 1, 0, 3},
        {"only blank pages", ToBytes(" \f\r\n\f"), 1, 1, 3},
        {"empty file", Bytes(), 1, 1, 1},
        {"only the empty page after a final delimiter", ToBytes("a\f"), 1, 2, 2},
    };
    for (auto &c : cases) {
        Prepare(ini.c_str(), c.content);
        WriteText(output, "old contents");
        Bytes out = RunPrepared(c.button, c.from, c.to);
        EXPECT_EQ(1, result) << c.what;
        /* A confirmed job that wrote nothing still leaves an empty file. */
        EXPECT_EQ(c.button == 1 ? Bytes() : ToBytes("old contents"), out) << c.what;
    }
}

TEST_F(Job, MalformedSetupEndsTheJobBeforeTheDialog)
{
    std::string tooLong = "15";
    while (tooLong.size() < 256)
        tooLong += ",1"; /* 257 characters, each number a byte */
    const std::string texts[] = {"ESC @", "27 64 256", "27,,64", tooLong};
    for (const std::string &text : texts) {
        std::string ini = std::string(SwitchesOff) + "SETUP=" + text + "\r\n";
        Prepare(ini.c_str(), ThreePages);
        WriteText(output, "old contents");
        /* Windows text: the error comes before the recoding line would. */
        WriteBytes(input, Bytes({0xE0, 0xE0, '\f', 'x'}));
        WriteSettingStruct("TODOS", "\x01\0\0\0", 4);
        EXPECT_EQ(ToBytes("old contents"), RunPrepared(1, 1, 3)) << text;
        EXPECT_EQ(0, result) << text;
        EXPECT_FALSE(Host.asked) << text;
        EXPECT_EQ(Lines({Opening(input), Opening(output), TextAnalysis, TextError}), Host.lines) << text;
    }
    /* A new output is created by the open, and stays empty. */
    Prepare("[MAIN]\r\nSETUP=reset\r\n", ThreePages);
    EXPECT_EQ(Bytes(), RunPrepared(1, 1, 3));
    EXPECT_TRUE(FileExists(output));
    EXPECT_EQ(0, result);
}

static Bytes ReportLines(int first, int last)
{
    std::string text;
    for (int n = first; n <= last; n++)
        text += "Report line " + std::to_string(n) + "\r\n";
    return ToBytes(text);
}

TEST_F(Job, PageLinesMakePagesOfAReportWithoutFormFeeds)
{
    std::string ini = WithForm(SwitchesOff, "PAGELINES=4200000042\r\n"); /* 66 */
    Bytes report = ReportLines(1, 150);
    EXPECT_EQ(ReportLines(67, 132), Run(ini.c_str(), report, 1, 2, 2));
    EXPECT_EQ(3u, Host.offeredCount);
    EXPECT_EQ(Expected({}), Host.lines);
    EXPECT_EQ(report, Run(ini.c_str(), report, 1, 1, 3));

    /* Set-up bytes and the line count together; a form feed still cuts. */
    ini = WithForm(SwitchesOff, "PAGELINES=0200000002\r\nSETUP=27,64\r\n");
    /* Pages "a b", the form feed alone, "c d". */
    EXPECT_EQ(ToBytes("\x1b@c\r\nd\r\n"), Run(ini.c_str(), ToBytes("a\r\nb\r\n\fc\r\nd\r\n"), 1, 3, 3));
    EXPECT_EQ(3u, Host.offeredCount);

    /* Off when missing, 0 or unreadable: one page. */
    for (const char *off : {"", "PAGELINES=0000000000\r\n", "PAGELINES=42\r\n"}) {
        ini = WithForm(SwitchesOff, off);
        Run(ini.c_str(), report, 2, 1, 1);
        EXPECT_EQ(1u, Host.offeredCount) << off;
    }
}

/* The line count cuts the recoded image: recoding leaves line feeds alone. */
TEST_F(Job, PageLinesCountOnTheRecodedImage)
{
    Bytes windows = {0xE0, '\n', 0xE1, '\n', 0xE2};
    EXPECT_EQ(Bytes({0xA1, '\n'}), Run("[MAIN]\r\nPAGELINES=0100000001\r\n", windows, 1, 2, 2));
    EXPECT_EQ(3u, Host.offeredCount);
    EXPECT_EQ(Expected({TextRecoding}), Host.lines);
}

#ifndef _WIN32
/* The set-up bytes are a write of their own: a failure there writes no
 * page, and one at the first page leaves the set-up alone in the output. */
TEST_F(Job, SetupBytesAreAWriteOfTheirOwn)
{
    std::string ini = WithForm(SwitchesOff, "SETUP=27 64 15\r\n");
    for (unsigned at : {1u, 2u}) {
        Prepare(ini.c_str(), ThreePages);
        ResetHost(1, 1, 3);
        PosixFaults.failWrite = at;
        EXPECT_EQ(0, PrintFile(TestLog(), input.c_str(), output.c_str())) << at;
        PosixFaults.failWrite = 0;
        EXPECT_EQ(Expected({TextError}), Host.lines) << at;
        EXPECT_EQ(at == 1 ? Bytes() : SetupBytes, ReadBytes(output)) << at;
    }
}
#endif

/* ---- Unicode input and the printer's code page ---------------------------- */

static const char CodePage1125[] = "[MAIN]\r\nTODOS=0100000001\r\nSKIPEMPTY=0000000000\r\nCODEPAGE=6504000069\r\n";
/* "Їжак і ґанок" in Windows-1251, and as code pages 1125 and 866 print it. */
static const Bytes UkrainianWindows = {0xAF, 0xE6, 0xE0, 0xEA, ' ', 0xB3, ' ', 0xB4, 0xE0, 0xED, 0xEE, 0xEA};
static const Bytes Ukrainian1125 = {0xF8, 0xA6, 0xA0, 0xAA, ' ', 0xF7, ' ', 0xF3, 0xA0, 0xAD, 0xAE, 0xAA};
static const Bytes Ukrainian866 = {0xF4, 0xA6, 0xA0, 0xAA, ' ', 'i', ' ', 0xA3, 0xA0, 0xAD, 0xAE, 0xAA};

/* The pages are cut from the decoded text, which is shorter than the file:
 * their bytes, their number and the one recoding line all follow it. */
TEST_F(Job, UnicodeFileIsRecodedOnceThenSplit)
{
    /* "абв\fгде\fёжз" in UTF-8 with its mark. */
    Bytes utf8 = {0xEF, 0xBB, 0xBF, 0xD0, 0xB0, 0xD0, 0xB1, 0xD0, 0xB2, '\f', 0xD0, 0xB3, 0xD0, 0xB4,
                  0xD0, 0xB5, '\f', 0xD1, 0x91, 0xD0, 0xB6, 0xD0, 0xB7};
    EXPECT_EQ(Bytes({0xA3, 0xA4, 0xA5, '\f', 0xF1, 0xA6, 0xA7}), Run(NULL, utf8, 1, 2, 3));
    EXPECT_EQ(1, result);
    EXPECT_EQ(3u, Host.offeredCount);
    EXPECT_EQ(Expected({TextRecoding}), Host.lines);

    /* UTF-16LE "аПб" with delimiter 143, which only the decoded П is. */
    Prepare(NULL, Bytes({0xFF, 0xFE, 0x30, 0x04, 0x1F, 0x04, 0x31, 0x04}));
    PageDelimiter = 0x8F;
    EXPECT_EQ(Bytes({0xA1}), RunPrepared(1, 2, 2));
    EXPECT_EQ(2u, Host.offeredCount);

    /* A file of nothing but the mark is one page of nothing. */
    EXPECT_EQ(Bytes(), Run(NULL, Bytes({0xEF, 0xBB, 0xBF}), 1, 1, 1));
    EXPECT_EQ(1u, Host.offeredCount);
    EXPECT_EQ(Expected({TextRecoding, TextBlankSkipped}), Host.lines);
}

TEST_F(Job, UnicodeFileGoesOutUnchangedWithConvertToDosOff)
{
    Bytes utf8 = {0xEF, 0xBB, 0xBF, 0xD0, 0x9F, '\r', '\n'};
    EXPECT_EQ(utf8, Run(SwitchesOff, utf8, 1, 1, 1));
    EXPECT_EQ(Expected({}), Host.lines);
}

/* CODEPAGE is read with TODOS at the start of every job. */
TEST_F(Job, CodePageComesFromTheSettingsFileAtEachJob)
{
    EXPECT_EQ(Ukrainian1125, Run(CodePage1125, UkrainianWindows, 1, 1, 1));
    EXPECT_EQ(Expected({TextRecoding}), Host.lines);

    uint32_t codePage = 866;
    ASSERT_TRUE(WriteSettingStruct("CODEPAGE", &codePage, sizeof codePage));
    remove(output.c_str());
    EXPECT_EQ(Ukrainian866, RunPrepared(1, 1, 1));

    /* A value that is not 1125, and no key at all, mean 866. */
    codePage = 1251;
    ASSERT_TRUE(WriteSettingStruct("CODEPAGE", &codePage, sizeof codePage));
    remove(output.c_str());
    EXPECT_EQ(Ukrainian866, RunPrepared(1, 1, 1));
    EXPECT_EQ(Ukrainian866, Run(NULL, UkrainianWindows, 1, 1, 1));

    /* The same text from a UTF-16 file, for 1125. */
    Bytes utf16 = {0xFF, 0xFE, 0x07, 0x04, 0x36, 0x04, 0x30, 0x04, 0x3A, 0x04, ' ', 0, 0x56, 0x04,
                   ' ', 0, 0x91, 0x04, 0x30, 0x04, 0x3D, 0x04, 0x3E, 0x04, 0x3A, 0x04};
    EXPECT_EQ(Ukrainian1125, Run(CodePage1125, utf16, 1, 1, 1));
}
