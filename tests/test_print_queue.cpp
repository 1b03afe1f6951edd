/* The print job into a printer's queue. Natively the POSIX stand-in's
 * spooler holds the printers; cross-built, the real spooler under Wine sees
 * the queues of a CUPS server that tests/with_cups.sh starts for the run
 * (without it the tests are skipped there). Either way a queue's jobs are
 * read back as the bytes its printer received, one entry per job. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "test_support.h"
#ifndef _WIN32
#include "posix/spooler.h"
#else
#include <windows.h>
#endif

typedef std::vector<std::string> Lines;

static const char SwitchesOff[] = "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\n";
static const char SkipOnly[] = "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0100000001\r\n";
static const Bytes ThreePages = ToBytes("page one\r\n\fpage two\r\n\fpage three\r\n");

static std::string Opening(const std::string &name) { return std::string(TextOpeningFile) + name; }
static std::string Closing(const std::string &name) { return std::string(TextClosingFile) + name; }

#ifdef _WIN32
static std::string Environment(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}
#endif

class Queue : public ::testing::Test {
protected:
    std::string dir, input, printer, refusing, jobs;
    int result;
    size_t jobsBefore;

    void SetUp() override
    {
        dir = ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        input = JoinPath(dir, "in.txt");
        std::string iniPath = JoinPath(dir, "ini.ini");
        strcpy(IniPath, iniPath.c_str());
        PageDelimiter = 12;
#ifndef _WIN32
        printer = "Velmar Queue";
        refusing = "Velmar Refusing";
        jobs = JoinPath(dir, "printed");
        PosixRemovePrinters();
        ASSERT_TRUE(PosixAddPrinter(printer.c_str(), jobs.c_str(), 1));
        ASSERT_TRUE(PosixAddPrinter(refusing.c_str(), JoinPath(dir, "refused").c_str(), 0));
#else
        printer = Environment("VELMAR_TEST_QUEUE");
        refusing = Environment("VELMAR_TEST_REFUSING_QUEUE");
        jobs = Environment("VELMAR_TEST_QUEUE_JOBS");
        if (printer.empty() || refusing.empty() || jobs.empty())
            GTEST_SKIP() << "no print server for this run (tests/with_cups.sh starts one)";
#endif
        jobsBefore = Jobs().size();
    }

#ifndef _WIN32
    void TearDown() override
    {
        for (const char *name : {printer.c_str(), refusing.c_str()}) {
            const PosixPrinterRecord *record = PosixPrinter(name);
            ASSERT_TRUE(record);
            EXPECT_EQ(0u, record->openHandles) << name;
            EXPECT_EQ(0u, record->abandoned) << name;
            EXPECT_EQ(0u, record->unbalancedPages) << name;
        }
        PosixRemovePrinters();
    }
#endif

    /* Every job the printer has received so far, oldest first. */
    std::vector<Bytes> Jobs()
    {
#ifndef _WIN32
        /* The stand-in appends each document to one file; its record counts
         * them. Tests here print at most one job each. */
        const PosixPrinterRecord *record = PosixPrinter(printer.c_str());
        std::vector<Bytes> all;
        if (record && record->delivered > 0)
            all.push_back(ReadBytes(jobs));
        EXPECT_LE(record ? record->delivered : 0u, 1u);
        return all;
#else
        /* The capture backend writes job-<id>.prn per job, after the
         * server has taken it. */
        std::vector<std::pair<unsigned long, std::string>> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(JoinPath(jobs, "job-*.prn").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                names.push_back({strtoul(found.cFileName + 4, NULL, 10), found.cFileName});
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        std::sort(names.begin(), names.end());
        std::vector<Bytes> all;
        for (auto &n : names)
            all.push_back(ReadBytes(JoinPath(jobs, n.second)));
        return all;
#endif
    }

    /* The jobs printed since the test began, once count of them are there
     * (a real server hands them to the printer a moment later). */
    std::vector<Bytes> NewJobs(size_t count)
    {
        std::vector<Bytes> all = Jobs();
        for (int waited = 0; all.size() < jobsBefore + count && waited < 300; waited++) {
#ifdef _WIN32
            Sleep(100);
#endif
            all = Jobs();
        }
        return std::vector<Bytes>(all.begin() + (long)std::min(jobsBefore, all.size()), all.end());
    }

    /* A job that printed nothing leaves no job: a marked job printed after
     * it is the only new one. */
    void ExpectNoJobSinceStart(const char *what)
    {
#ifndef _WIN32
        const PosixPrinterRecord *record = PosixPrinter(printer.c_str());
        EXPECT_EQ(0u, record->documents) << what;
        EXPECT_EQ(0u, record->delivered) << what;
#else
        Bytes marker = ToBytes("marker\r\n");
        WriteBytes(input, marker);
        ResetHost(1, 1, 1);
        ASSERT_EQ(1, PrintFile(TestLog(), input.c_str(), printer.c_str()));
        EXPECT_EQ(std::vector<Bytes>({marker}), NewJobs(1)) << what;
#endif
    }

    void Run(const char *ini, const Bytes &content, const std::string &output, int button,
             uint32_t from, uint32_t to)
    {
        WriteText(JoinPath(dir, "ini.ini"), ini);
        WriteBytes(input, content);
        ResetHost(button, from, to);
        result = PrintFile(TestLog(), input.c_str(), output.c_str());
    }

    Lines Expected(const std::string &output, std::initializer_list<std::string> middle)
    {
        Lines lines = {Opening(input), Opening(output), TextAnalysis};
        lines.insert(lines.end(), middle.begin(), middle.end());
        lines.push_back(Closing(output));
        lines.push_back(Closing(input));
        return lines;
    }
};

TEST_F(Queue, EveryPageGoesOutInOneRawJobByteForByte)
{
    Run(SwitchesOff, ThreePages, printer, 1, 1, 3);
    EXPECT_EQ(1, result);
    EXPECT_EQ(Expected(printer, {}), Host.lines);
    EXPECT_EQ(std::vector<Bytes>({ThreePages}), NewJobs(1));
    /* Nothing was created under the printer's name. */
    EXPECT_FALSE(FileExists(printer));
#ifndef _WIN32
    const PosixPrinterRecord *record = PosixPrinter(printer.c_str());
    EXPECT_EQ(1u, record->documents);
    EXPECT_EQ(3u, record->pages);
    EXPECT_EQ(std::string("RAW"), record->datatype);
    EXPECT_EQ(std::string("in.txt"), record->document);
#endif
}

TEST_F(Queue, NameInOtherLetterCaseIsTheSamePrinter)
{
    std::string shouted = printer;
    for (char &c : shouted)
        c = (char)((c >= 'a' && c <= 'z') ? c - 32 : (c >= 'A' && c <= 'Z') ? c + 32 : c);
    ASSERT_NE(printer, shouted);
    Run(SwitchesOff, ThreePages, shouted, 1, 2, 2);
    EXPECT_EQ(1, result);
    /* The log names the output as it was given. */
    EXPECT_EQ(Expected(shouted, {}), Host.lines);
    EXPECT_EQ(std::vector<Bytes>({ToBytes("page two\r\n\f")}), NewJobs(1));
    EXPECT_FALSE(FileExists(shouted));
}

TEST_F(Queue, CancelOrAnEmptyRangeLeavesNoJob)
{
    Run(SwitchesOff, ThreePages, printer, 2, 1, 3);
    EXPECT_EQ(1, result);
    EXPECT_EQ(Expected(printer, {}), Host.lines);
    Run(SwitchesOff, ThreePages, printer, 1, 3, 2);
    EXPECT_EQ(1, result);
    ExpectNoJobSinceStart("after Cancel and From 3 To 2");
}

TEST_F(Queue, AllPagesBlankLeavesNoJob)
{
    Run(SkipOnly, ToBytes(" \r\n\f\t\f"), printer, 1, 1, 3);
    EXPECT_EQ(1, result);
    EXPECT_EQ(Expected(printer, {TextBlankSkipped, TextBlankSkipped, TextBlankSkipped}), Host.lines);
    ExpectNoJobSinceStart("after three blank pages");
}

TEST_F(Queue, QueueThatRefusesTheJobIsAnError)
{
    Run(SwitchesOff, ThreePages, refusing, 1, 1, 3);
    EXPECT_EQ(0, result);
    EXPECT_EQ(Expected(refusing, {TextError}), Host.lines);
    EXPECT_FALSE(FileExists(refusing));
#ifndef _WIN32
    EXPECT_EQ(1u, PosixPrinter(refusing.c_str())->refused);
    EXPECT_EQ(0u, PosixPrinter(refusing.c_str())->delivered);
#endif
}

TEST_F(Queue, NameThatIsNoPrinterIsOpenedAsAFile)
{
    std::string output = JoinPath(dir, "out.prn");
    Run(SwitchesOff, ThreePages, output, 1, 1, 3);
    EXPECT_EQ(1, result);
    EXPECT_EQ(ThreePages, ReadBytes(output));
    /* A printer's name with something added is no printer's name. */
    std::string longer = JoinPath(dir, printer + "x");
    Run(SwitchesOff, ThreePages, longer, 1, 1, 1);
    EXPECT_EQ(ToBytes("page one\r\n\f"), ReadBytes(longer));
    ExpectNoJobSinceStart("after two jobs into files");
}

/* The set-up bytes open the same document as the pages, and are no page
 * of the queue's count. */
TEST_F(Queue, SetupBytesStartTheSameDocument)
{
    std::string ini = std::string(SwitchesOff) + "SETUP=27, 64, 15\r\nPAGELINES=0100000001\r\n";
    Bytes report = ToBytes("one\ntwo\nthree\n");
    Run(ini.c_str(), report, printer, 1, 2, 3);
    EXPECT_EQ(1, result);
    EXPECT_EQ(Expected(printer, {}), Host.lines);
    EXPECT_EQ(3u, Host.offeredCount);
    Bytes expected = {27, 64, 15};
    expected.insert(expected.end(), report.begin() + 4, report.end());
    EXPECT_EQ(std::vector<Bytes>({expected}), NewJobs(1));
#ifndef _WIN32
    const PosixPrinterRecord *record = PosixPrinter(printer.c_str());
    EXPECT_EQ(1u, record->documents);
    EXPECT_EQ(2u, record->pages);
#endif
}

TEST_F(Queue, SetupAloneLeavesNoJob)
{
    std::string ini = std::string(SkipOnly) + "SETUP=27 64\r\n";
    Run(ini.c_str(), ThreePages, printer, 2, 1, 3);
    EXPECT_EQ(1, result);
    Run(ini.c_str(), ToBytes(" \f\r\n"), printer, 1, 1, 2);
    EXPECT_EQ(1, result);
    EXPECT_EQ(Expected(printer, {TextBlankSkipped, TextBlankSkipped}), Host.lines);
    ini = std::string(SwitchesOff) + "SETUP=27 64 300\r\n";
    Run(ini.c_str(), ThreePages, printer, 1, 1, 3);
    EXPECT_EQ(0, result);
    EXPECT_EQ(Lines({Opening(input), Opening(printer), TextAnalysis, TextError}), Host.lines);
    EXPECT_FALSE(Host.asked);
    WriteText(JoinPath(dir, "ini.ini"), SwitchesOff); /* for the marked job */
    ExpectNoJobSinceStart("after Cancel, blank pages and a malformed set-up");
}

#ifndef _WIN32
/* Faults the real spooler cannot be made to show on demand. */

TEST_F(Queue, FailedWriteAbortsTheJob)
{
    struct { const char *what; unsigned *fault; } cases[] = {
        {"failed write", &PosixSpoolerFaults.failWritePrinter},
        {"short write", &PosixSpoolerFaults.shortWritePrinter},
    };
    for (auto &c : cases) {
        *c.fault = 2; /* page one goes out, page two fails */
        Run(SwitchesOff, ThreePages, printer, 1, 1, 3);
        *c.fault = 0;
        EXPECT_EQ(0, result) << c.what;
        EXPECT_EQ(Expected(printer, {TextError}), Host.lines) << c.what;
    }
    const PosixPrinterRecord *record = PosixPrinter(printer.c_str());
    EXPECT_EQ(2u, record->aborted);
    EXPECT_EQ(0u, record->delivered);
    EXPECT_EQ(Bytes(), ReadBytes(jobs));
}

/* A failed write of the set-up bytes throws the document away unprinted. */
TEST_F(Queue, FailedSetupWriteAbortsTheJob)
{
    std::string ini = std::string(SwitchesOff) + "SETUP=27 64\r\n";
    PosixSpoolerFaults.shortWritePrinter = 1;
    Run(ini.c_str(), ThreePages, printer, 1, 1, 3);
    PosixSpoolerFaults.shortWritePrinter = 0;
    EXPECT_EQ(0, result);
    EXPECT_EQ(Expected(printer, {TextError}), Host.lines);
    const PosixPrinterRecord *record = PosixPrinter(printer.c_str());
    EXPECT_EQ(1u, record->aborted);
    EXPECT_EQ(0u, record->pages);
    EXPECT_EQ(0u, record->delivered);
}

/* With no memory to tell whether the name is a printer's, the job fails
 * rather than take the name for a file beside the program. */
TEST_F(Queue, NoMemoryToFindThePrinterIsAnError)
{
    /* The log line's block comes first, then the list, then the name's copy. */
    for (unsigned at : {2u, 3u}) {
        PosixFaults.failHeapAlloc = at;
        Run(SwitchesOff, ThreePages, printer, 1, 1, 3);
        PosixFaults.failHeapAlloc = 0;
        EXPECT_EQ(0, result) << at;
        EXPECT_EQ(Lines({Opening(input), Opening(printer), TextError}), Host.lines) << at;
        EXPECT_FALSE(FileExists(printer)) << at;
    }
    ExpectNoJobSinceStart("after the failed look-ups");
}
#endif
