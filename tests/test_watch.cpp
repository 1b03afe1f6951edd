/* The watched folder: which files are taken and when, in what order, where
 * they go after their job, and what stops watching. The clock is the
 * test's own (the steps are handed their time); the files are real. */
#include <gtest/gtest.h>
#include <string.h>
#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#endif

#include "test_support.h"

typedef std::vector<std::string> Lines;

static void MakeFolder(const std::string &path)
{
#ifdef _WIN32
    _mkdir(path.c_str());
#else
    mkdir(path.c_str(), 0777);
#endif
}

class Watch : public ::testing::Test {
protected:
    std::string dir, spool, output;

    void SetUp() override
    {
        dir = ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        spool = JoinPath(dir, "spool");
        MakeFolder(spool);
        Print(JoinPath(dir, "out.prn"));
        PageDelimiter = 12;
        ResetHost(2, 1, 1);
    }

    void TearDown() override { StopWatching(); }

    /* Both switches off, so the bytes go out as they stand. */
    void Print(const std::string &to)
    {
        output = to;
        std::string ini = JoinPath(dir, "ini.ini");
        strcpy(IniPath, ini.c_str());
        WriteText(ini, "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nPOPT=" + to + "\r\n");
    }

    /* A file of the folder, last written that many seconds ago. */
    std::string Put(const std::string &name, const std::string &text, int secondsAgo = 60)
    {
        std::string path = JoinPath(spool, name);
        WriteText(path, text);
        EXPECT_TRUE(SetLastWriteTime(path, FileTimeFromNow(-secondsAgo))) << name;
        return path;
    }

    /* The name as a job opens it: the folder, one backslash, the name. */
    std::string Taken(const std::string &name) { return spool + "\\" + name; }

    Lines JobLines(const std::string &name)
    {
        return {std::string(TextOpeningFile) + Taken(name), std::string(TextOpeningFile) + output,
                TextAnalysis, std::string(TextClosingFile) + output, std::string(TextClosingFile) + Taken(name)};
    }

    void Start()
    {
        ASSERT_EQ(1, StartWatching(TestLog(), spool.c_str()));
        ASSERT_EQ(Lines({TextWatching + spool}), Host.lines);
        Host.lines.clear();
    }

    /* Steps from time from on, every 250 ms, until a job ran or time to
     * passed; returns the time of the job's step, or 0. */
    DWORD StepUntilJob(DWORD from, DWORD to)
    {
        for (DWORD now = from; now <= to; now += 250) {
            if (WatchStep(TestLog(), now))
                return now;
        }
        return 0;
    }
};

TEST(WatchRules, NamesAndAttributesThatAreTaken)
{
    static const struct {
        const char *name;
        DWORD attributes;
        int taken;
    } rows[] = {
        {"report.txt", FILE_ATTRIBUTE_NORMAL, 1},
        {"REPORT", FILE_ATTRIBUTE_READONLY, 1},
        {"job.tmp.txt", FILE_ATTRIBUTE_NORMAL, 1},
        {"tmp", FILE_ATTRIBUTE_NORMAL, 1},
        {"a~b.txt", FILE_ATTRIBUTE_NORMAL, 1},
        {"~$report.doc", FILE_ATTRIBUTE_NORMAL, 0},
        {"~", FILE_ATTRIBUTE_NORMAL, 0},
        {"copy.tmp", FILE_ATTRIBUTE_NORMAL, 0},
        {"COPY.TmP", FILE_ATTRIBUTE_NORMAL, 0},
        {".tmp", FILE_ATTRIBUTE_NORMAL, 0},
        {"a?b.txt", FILE_ATTRIBUTE_NORMAL, 0},
        {"sub", FILE_ATTRIBUTE_DIRECTORY, 0},
        {"seen.txt", FILE_ATTRIBUTE_HIDDEN, 0},
        {"boot.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, 0},
        {"lpt.txt", FILE_ATTRIBUTE_DEVICE, 0},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.taken, WatchTakesEntry(row.name, row.attributes)) << row.name;
}

TEST(WatchRules, NumberedNamesKeepTheExtension)
{
    static const struct {
        const char *name;
        uint32_t number;
        const char *numbered;
    } rows[] = {
        {"report.txt", 1, "report.txt"},
        {"report.txt", 2, "report (2).txt"},
        {"report.txt", 9999, "report (9999).txt"},
        {"README", 3, "README (3)"},
        {".profile", 2, ".profile (2)"},
        {"a.b.c", 10, "a.b (10).c"},
        {"end.", 2, "end (2)."},
    };
    char buffer[MAX_PATH];
    for (const auto &row : rows) {
        ASSERT_EQ(1, NumberedName(row.name, row.number, buffer, sizeof buffer)) << row.name;
        EXPECT_STREQ(row.numbered, buffer);
    }
    /* Never beyond the buffer: the NUL must fit too. */
    EXPECT_EQ(1, NumberedName("ab.c", 2, buffer, 9));
    EXPECT_STREQ("ab (2).c", buffer);
    EXPECT_EQ(0, NumberedName("ab.c", 2, buffer, 8));
    EXPECT_EQ(0, NumberedName("ab.c", 1, buffer, 4));
}

/* Oldest first, then by name; what is not a plain file at the top, hidden
 * or a writer's temporary name stays where it is. */
TEST_F(Watch, CompleteFilesPrintOldestFirstAndOthersStay)
{
    Put("b.txt", "B", 30);
    Put("a.txt", "A", 90);
    Put("c.txt", "C", 30);
    Put("~lock.txt", "lock");
    Put("part.TMP", "part");
    Put(".hidden", "hidden");
    MakeFolder(JoinPath(spool, "sub"));
    WriteText(JoinPath(JoinPath(spool, "sub"), "inner.txt"), "inner");
#ifdef _WIN32
    std::string marked = Put("marked.txt", "marked");
    SetFileAttributesA(marked.c_str(), FILE_ATTRIBUTE_HIDDEN);
    bool canMark = GetFileAttributesA(marked.c_str()) & FILE_ATTRIBUTE_HIDDEN;
    if (!canMark)
        remove(marked.c_str());
#endif
    Start();

    /* Waiting at the start: taken once they have stood still for 2 s. */
    EXPECT_EQ(0, WatchStep(TestLog(), 1000));
    EXPECT_EQ(0, WatchStep(TestLog(), 1000 + WATCH_STABLE_MS - 1));
    EXPECT_EQ(1, WatchStep(TestLog(), 1000 + WATCH_STABLE_MS));
    EXPECT_EQ(JobLines("a.txt"), Host.lines);
    EXPECT_EQ("A", ReadText(output));
    EXPECT_EQ("A", ReadText(JoinPath(JoinPath(spool, "printed"), "a.txt")));
    EXPECT_FALSE(FileExists(JoinPath(spool, "a.txt")));

    Host.lines.clear();
    EXPECT_EQ(1, WatchStep(TestLog(), 3250));
    EXPECT_EQ(1, WatchStep(TestLog(), 3500));
    Lines both = JobLines("b.txt");
    Lines c = JobLines("c.txt");
    both.insert(both.end(), c.begin(), c.end());
    EXPECT_EQ(both, Host.lines);
    EXPECT_EQ(0u, StepUntilJob(3750, 10000));

    for (const char *left : {"~lock.txt", "part.TMP", ".hidden"})
        EXPECT_TRUE(FileExists(JoinPath(spool, left))) << left;
    EXPECT_TRUE(FileExists(JoinPath(JoinPath(spool, "sub"), "inner.txt")));
#ifdef _WIN32
    if (canMark) {
        EXPECT_TRUE(FileExists(marked));
    }
#endif
    EXPECT_FALSE(Host.asked);
}

/* A file that grows is seen anew; one its writer holds open waits, and a
 * newer file that is done goes first. */
TEST_F(Watch, AFileBeingWrittenWaits)
{
    std::string a = Put("a.txt", "first part ", 90);
    std::string b = Put("b.txt", "held", 60);
    Put("c.txt", "done", 30);
    HANDLE writer = CreateFileA(b.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    Start();

    EXPECT_EQ(0, WatchStep(TestLog(), 0));
    WriteText(a, "first part second part");
    EXPECT_EQ(0, WatchStep(TestLog(), 1500));
    /* a.txt changed at 1500: not before 3500. b.txt is held: c.txt first. */
    EXPECT_EQ(2000u, StepUntilJob(1750, 5000));
    EXPECT_EQ(JobLines("c.txt"), Host.lines);
    EXPECT_EQ(3500u, StepUntilJob(2250, 5000));
    EXPECT_EQ("first part second part", ReadText(output));
    EXPECT_EQ(0u, StepUntilJob(3750, 6000));
    EXPECT_TRUE(FileExists(b));

    CloseHandle(writer);
    EXPECT_EQ(6250u, StepUntilJob(6250, 7000));
    EXPECT_EQ("held", ReadText(output));
    EXPECT_EQ("held", ReadText(JoinPath(JoinPath(spool, "printed"), "b.txt")));
}

/* A name taken in printed gets the next free number; what was there stays. */
TEST_F(Watch, MovedFilesNeverReplaceOthers)
{
    std::string printed = JoinPath(spool, "printed");
    MakeFolder(printed);
    WriteText(JoinPath(printed, "report.txt"), "old one");
    WriteText(JoinPath(printed, "report (2).txt"), "old two");
    Put("report.txt", "new");
    Start();

    EXPECT_EQ(WATCH_STABLE_MS, (int)StepUntilJob(0, 5000));
    EXPECT_EQ("old one", ReadText(JoinPath(printed, "report.txt")));
    EXPECT_EQ("old two", ReadText(JoinPath(printed, "report (2).txt")));
    EXPECT_EQ("new", ReadText(JoinPath(printed, "report (3).txt")));

    /* The same name again, then an empty file: no page printed, still
     * printed. */
    Put("report.txt", "newer");
    Put("empty.txt", "", 30);
    EXPECT_EQ(7000u, StepUntilJob(5000, 10000));
    EXPECT_EQ(7250u, StepUntilJob(7250, 10000));
    EXPECT_EQ("newer", ReadText(JoinPath(printed, "report (4).txt")));
    EXPECT_TRUE(FileExists(JoinPath(printed, "empty.txt")));
    EXPECT_EQ("", ReadText(JoinPath(printed, "empty.txt")));
}

/* A job that ends in "Ошибка" (here: Print To in a missing folder) moves its
 * file to failed; watching goes on and nothing is tried again. */
TEST_F(Watch, AFailedJobGoesToFailedOnce)
{
    std::string nowhere = JoinPath(JoinPath(dir, "missing"), "out.prn");
    Print(nowhere);
    Put("bad.txt", "bad", 60);
    Start();

    EXPECT_NE(0u, StepUntilJob(0, 5000));
    EXPECT_EQ(Lines({std::string(TextOpeningFile) + Taken("bad.txt"), std::string(TextOpeningFile) + nowhere,
                     TextError}),
              Host.lines);
    EXPECT_EQ("bad", ReadText(JoinPath(JoinPath(spool, "failed"), "bad.txt")));
    EXPECT_FALSE(FileExists(JoinPath(spool, "printed")));

    Print(JoinPath(dir, "out.prn"));
    Put("good.txt", "good", 30);
    Host.lines.clear();
    EXPECT_NE(0u, StepUntilJob(5000, 10000));
    EXPECT_EQ(JobLines("good.txt"), Host.lines);
    EXPECT_EQ(0u, StepUntilJob(10000, 15000));
    EXPECT_EQ("good", ReadText(output));
}

/* A move that cannot be made would leave the file to be printed again:
 * "Ошибка", and watching stops with the file where it was. */
TEST_F(Watch, AMoveThatFailsStopsWatching)
{
    WriteText(JoinPath(spool, "printed"), "a file where the folder should be");
    SetLastWriteTime(JoinPath(spool, "printed"), FileTimeFromNow(-10));
    std::string job = Put("job.txt", "job", 60);
    Start();

    EXPECT_NE(0u, StepUntilJob(0, 5000));
    Lines expected = JobLines("job.txt");
    /* "printed" is a plain file of the folder too, and younger: it would
     * come next. */
    expected.push_back(TextError);
    EXPECT_EQ(expected, Host.lines);
    EXPECT_TRUE(WatchedFolder() == NULL);
    EXPECT_EQ("job", ReadText(job));
    EXPECT_EQ(0u, StepUntilJob(5000, 10000));
}

/* The line names the folder as given; a job's path has one backslash. A
 * folder that is not there, or is a file, is "Ошибка" and nothing else. */
TEST_F(Watch, StartingNamesTheFolderOrFails)
{
    std::string given = spool + "\\";
    ASSERT_EQ(1, StartWatching(TestLog(), given.c_str()));
    EXPECT_STREQ(given.c_str(), WatchedFolder());
    Put("one.txt", "1");
    EXPECT_NE(0u, StepUntilJob(0, 5000));
    Lines expected = {TextWatching + given};
    Lines job = JobLines("one.txt");
    expected.insert(expected.end(), job.begin(), job.end());
    EXPECT_EQ(expected, Host.lines);

    /* The same folder again (OK in Setting with nothing changed) goes on
     * as it is: no line, and what was seen stays seen. */
    Put("two.txt", "2");
    Host.lines.clear();
    EXPECT_EQ(0, WatchStep(TestLog(), 6000));
    EXPECT_EQ(1, StartWatching(TestLog(), given.c_str()));
    EXPECT_TRUE(Host.lines.empty());
    EXPECT_EQ(6000u + WATCH_STABLE_MS, StepUntilJob(6000 + WATCH_STABLE_MS, 10000));

    for (const std::string &bad : {JoinPath(dir, "none"), JoinPath(dir, "ini.ini")}) {
        Host.lines.clear();
        EXPECT_EQ(0, StartWatching(TestLog(), bad.c_str())) << bad;
        EXPECT_EQ(Lines({TextError}), Host.lines) << bad;
        EXPECT_TRUE(WatchedFolder() == NULL);
    }
    Host.lines.clear();
    EXPECT_EQ(0, StartWatching(TestLog(), ""));
    EXPECT_TRUE(Host.lines.empty());
    EXPECT_EQ(0, WatchStep(TestLog(), 0));
}

/* Far more files than are kept: each step lists a bounded part of the
 * folder, and every file still comes in the order of its age. */
TEST_F(Watch, AFullFolderIsTakenInOrderAPartAtATime)
{
    enum { FILES = 600 };
    std::vector<std::string> names;
    for (int i = 0; i < FILES; i++) {
        char name[32];
        /* The names run against the ages, so the order is the times'. */
        snprintf(name, sizeof name, "f%03d.txt", FILES - 1 - i);
        Put(name, name, 10000 - i);
        names.push_back(name);
    }
    Start();

    /* 602 entries with "." and "..": the first pass ends at the third step. */
    EXPECT_EQ(0, WatchStep(TestLog(), 0));
    EXPECT_EQ(0, WatchStep(TestLog(), 1));
    EXPECT_EQ(0, WatchStep(TestLog(), 2));
    EXPECT_EQ(0, WatchStep(TestLog(), 2 + WATCH_STABLE_MS - 1));
    DWORD now = 2 + WATCH_STABLE_MS;
    EXPECT_EQ(1, WatchStep(TestLog(), now));
    for (int jobs = 1; jobs < FILES && now < 200000;) {
        now += 250;
        jobs += WatchStep(TestLog(), now);
    }
    std::vector<std::string> opened;
    for (size_t i = 0; i < Host.lines.size(); i += 5)
        opened.push_back(Host.lines[i].substr(strlen(TextOpeningFile) + spool.size() + 1));
    EXPECT_EQ(names, opened);
    EXPECT_FALSE(FileExists(JoinPath(spool, names.back())));
}

/* A name whose numbered place in printed could not be spelt within
 * MAX_PATH is never taken, so that it cannot end in a move that fails; one
 * character less is taken. */
TEST_F(Watch, ANameTooLongToMoveIsLeftAlone)
{
    /* The folder, "\printed\", the name, " (9999)" and the NUL. */
    size_t longest = MAX_PATH - spool.size() - 17;
    ASSERT_GT(longest, 20u);
    std::string fits = std::string(longest - 4, 'f') + ".txt";
    std::string over = std::string(longest - 3, 'o') + ".txt";
    Put(fits, "fits", 60);
    std::string left = Put(over, "over", 90);
    ASSERT_TRUE(FileExists(left));
    Start();

    /* (The log lines are cut at 254 characters, as any.) */
    EXPECT_NE(0u, StepUntilJob(0, 5000));
    EXPECT_EQ("fits", ReadText(JoinPath(JoinPath(spool, "printed"), fits)));
    EXPECT_EQ(0u, StepUntilJob(5000, 10000));
    EXPECT_TRUE(FileExists(left));
}

/* The settings file and the job's own output, should they lie in the
 * folder, are never taken: the output would otherwise print after every
 * job, for ever. */
TEST_F(Watch, TheSettingsFileAndTheOutputAreLeftAlone)
{
    std::string ini = JoinPath(spool, "ini.ini");
    output = JoinPath(spool, "out.prn");
    strcpy(IniPath, ini.c_str());
    WriteText(ini, "[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nPOPT=" + output + "\r\n");
    SetLastWriteTime(ini, FileTimeFromNow(-120));
    Put("job.txt", "job", 60);
    Start();

    EXPECT_NE(0u, StepUntilJob(0, 5000));
    EXPECT_EQ(JobLines("job.txt"), Host.lines);
    EXPECT_EQ("job", ReadText(output));
    EXPECT_EQ(0u, StepUntilJob(5000, 12000));
    EXPECT_TRUE(FileExists(ini));
    EXPECT_TRUE(FileExists(output));
}
