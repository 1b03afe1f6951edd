/* The kernel services under the engine: the same checks run against the
 * POSIX layer natively and against the real functions under Wine, so the
 * two are known to agree. */
#include <gtest/gtest.h>
#include <string.h>
#include <time.h>
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "test_support.h"

static HANDLE OpenForJobInput(const std::string &path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

static HANDLE OpenForJobOutput(const std::string &path)
{
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

TEST(Files, ReadSharingKeepsWritersOutButLetsReadersIn)
{
    std::string dir = ScratchDirectory("share");
    std::string path = JoinPath(dir, "in.txt");
    WriteText(path, "text");

    HANDLE input = OpenForJobInput(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, input);
    HANDLE secondReader = OpenForJobInput(path);
    EXPECT_NE(INVALID_HANDLE_VALUE, secondReader);

    HANDLE writer = OpenForJobOutput(path);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());

    CloseHandle(secondReader);
    CloseHandle(input);
    writer = OpenForJobOutput(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);

    /* An unshared writer keeps readers out in turn. */
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForJobInput(path));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    CloseHandle(writer);
}

TEST(Files, OpenAlwaysCreatesButNeverTruncates)
{
    std::string dir = ScratchDirectory("open_always");
    std::string existing = JoinPath(dir, "existing.txt");
    std::string fresh = JoinPath(dir, "fresh.txt");
    WriteText(existing, "ABCDEFGH");

    HANDLE out = OpenForJobOutput(existing);
    ASSERT_NE(INVALID_HANDLE_VALUE, out);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(out, "xy", 2, &written, NULL));
    EXPECT_EQ(2u, written);
    CloseHandle(out);
    EXPECT_EQ("xyCDEFGH", ReadText(existing));

    out = OpenForJobOutput(fresh);
    ASSERT_NE(INVALID_HANDLE_VALUE, out);
    CloseHandle(out);
    EXPECT_TRUE(FileExists(fresh));
    EXPECT_EQ("", ReadText(fresh));
}

TEST(Files, OpenFailsForMissingEmptyAndDirectoryNames)
{
    std::string dir = ScratchDirectory("open_fail");
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForJobInput(JoinPath(dir, "missing.txt")));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForJobInput(""));
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForJobOutput(""));
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForJobInput(dir));
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForJobOutput(dir));
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForJobOutput(JoinPath(JoinPath(dir, "no_such_dir"), "x")));
}

TEST(Files, SizeAndWholeReadAgree)
{
    std::string dir = ScratchDirectory("read");
    std::string path = JoinPath(dir, "in.bin");
    Bytes content;
    for (int i = 0; i < 200000; i++)
        content.push_back((unsigned char)(i * 7));
    WriteBytes(path, content);

    HANDLE in = OpenForJobInput(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, in);
    DWORD high = 99;
    DWORD size = GetFileSize(in, &high);
    EXPECT_EQ(0u, high);
    ASSERT_EQ(content.size(), size);
    Bytes got(size + 10);
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(in, got.data(), (DWORD)got.size(), &read, NULL));
    EXPECT_EQ(size, read); /* a request past the end stops there */
    got.resize(read);
    EXPECT_EQ(content, got);
    CloseHandle(in);
}

TEST(Files, SizeBeyondThirtyTwoBitsReportsTheHighPart)
{
    std::string dir = ScratchDirectory("huge");
    std::string path = JoinPath(dir, "huge.bin");
    MAKE_SPARSE_FILE_OR_SKIP(path, 0x100000005ull);
    HANDLE in = OpenForJobInput(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, in);
    DWORD high = 0;
    EXPECT_EQ(5u, GetFileSize(in, &high));
    EXPECT_EQ(1u, high);
    CloseHandle(in);
}

TEST(Files, TypeTellsDisksFromDevices)
{
    std::string path = JoinPath(ScratchDirectory("type"), "file.txt");
    WriteText(path, "text");
    HANDLE file = OpenForJobInput(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ((DWORD)FILE_TYPE_DISK, GetFileType(file));
    CloseHandle(file);

    HANDLE device = OpenForJobOutput(RunningOnWindowsApi() ? "NUL" : "/dev/null");
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    EXPECT_EQ((DWORD)FILE_TYPE_CHAR, GetFileType(device));
    CloseHandle(device);
}

TEST(Files, SetEndOfFileCutsAtTheHandlesPosition)
{
    std::string path = JoinPath(ScratchDirectory("end_of_file"), "out.txt");
    WriteText(path, "0123456789");
    HANDLE out = OpenForJobOutput(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, out);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(out, "abc", 3, &written, NULL));
    EXPECT_TRUE(SetEndOfFile(out));
    CloseHandle(out);
    EXPECT_EQ("abc", ReadText(path));
}

/* A name that opens but holds no file: Windows has no size for it, so no job
 * takes it for an empty file. */
TEST(Files, DevicesHaveNoSize)
{
    if (RunningOnWindowsApi())
        GTEST_SKIP() << "the devices below are the POSIX layer's";
    for (const char *name : {"/dev/zero", "/dev/null"}) {
        HANDLE device = OpenForJobInput(name);
        ASSERT_NE(INVALID_HANDLE_VALUE, device) << name;
        DWORD high = 7;
        EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(device, &high)) << name;
        EXPECT_NE((DWORD)NO_ERROR, GetLastError()) << name;
        CloseHandle(device);
    }
}

#ifndef _WIN32
/* Opening a FIFO never waits for its other end: with no writer it opens at
 * once (and has no size), with no reader an open for writing fails. */
TEST(Files, FifoOpensWithoutWaiting)
{
    std::string fifo = JoinPath(ScratchDirectory("fifo"), "pipe");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    alarm(60); /* a wait here would otherwise hang the whole run */

    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForJobOutput(fifo));
    HANDLE reader = OpenForJobInput(fifo);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_EQ((DWORD)FILE_TYPE_PIPE, GetFileType(reader));
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(reader, NULL));
    EXPECT_NE((DWORD)NO_ERROR, GetLastError());

    CloseHandle(reader);

    /* With a reader there (another program's), a writer opens and writes. */
    int other = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_LE(0, other);
    HANDLE writer = OpenForJobOutput(fifo);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    DWORD moved = 0;
    EXPECT_TRUE(WriteFile(writer, "abc", 3, &moved, NULL));
    CloseHandle(writer);
    char got[4] = {0};
    EXPECT_EQ(3, read(other, got, 3));
    EXPECT_STREQ("abc", got);
    close(other);
    alarm(0);
}
#endif

static uint64_t Ticks(const FILETIME &time)
{
    return (uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime;
}

static void PauseMilliseconds(unsigned milliseconds)
{
#ifdef _WIN32
    Sleep(milliseconds);
#else
    usleep(milliseconds * 1000);
#endif
}

TEST(Files, AttributesGiveSizeKindAndLastWrite)
{
    std::string dir = ScratchDirectory("attributes");
    std::string path = JoinPath(dir, "file.txt");
    WriteText(path, "12345");
    WIN32_FILE_ATTRIBUTE_DATA data;

    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(0u, data.nFileSizeHigh);
    EXPECT_EQ(5u, data.nFileSizeLow);
    /* Counted from 1601 in 100 ns ticks: within a minute of the clock. */
    uint64_t now = ((uint64_t)time(NULL) + 11644473600ull) * 10000000ull;
    uint64_t before = Ticks(data.ftLastWriteTime);
    EXPECT_LT(before, now + 600000000ull);
    EXPECT_GT(before, now - 600000000ull);

    PauseMilliseconds(50);
    HANDLE out = OpenForJobOutput(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, out);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(out, "abcdefgh", 8, &written, NULL));
    CloseHandle(out);
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(8u, data.nFileSizeLow);
    EXPECT_GT(Ticks(data.ftLastWriteTime), before);

    ASSERT_TRUE(GetFileAttributesExA(dir.c_str(), GetFileExInfoStandard, &data));
    EXPECT_NE(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);

    EXPECT_FALSE(GetFileAttributesExA(JoinPath(dir, "missing.txt").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    std::string deeper = JoinPath(JoinPath(dir, "no_such_dir"), "x.txt");
    EXPECT_FALSE(GetFileAttributesExA(deeper.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
}

/* A search lists every entry once, "." and ".." too, with the sizes and
 * kinds the attributes tell; a dot file is hidden (as Wine shows it). */
TEST(Folders, SearchListsEveryEntryWithItsKindAndSize)
{
    std::string dir = ScratchDirectory("search");
    WriteText(JoinPath(dir, "five.txt"), "12345");
    WriteText(JoinPath(dir, ".dot"), "x");
    ASSERT_TRUE(CreateDirectoryA(JoinPath(dir, "sub").c_str(), NULL));
    EXPECT_FALSE(CreateDirectoryA(JoinPath(dir, "sub").c_str(), NULL));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());

    WIN32_FIND_DATAA found;
    std::string listed;
    /* A backslash separates, whatever the platform. */
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    int entries = 0;
    do {
        std::string name = found.cFileName;
        entries++;
        bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        bool hidden = found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN;
        if (name == "five.txt") {
            EXPECT_FALSE(folder || hidden);
            EXPECT_EQ(5u, found.nFileSizeLow);
            EXPECT_EQ(0u, found.nFileSizeHigh);
        } else if (name == ".dot") {
            EXPECT_TRUE(hidden && !folder);
        } else {
            EXPECT_TRUE(name == "sub" || name == "." || name == "..") << name;
            EXPECT_TRUE(folder) << name;
        }
    } while (FindNextFileA(search, &found));
    EXPECT_EQ((DWORD)ERROR_NO_MORE_FILES, GetLastError());
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(5, entries);

    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(JoinPath(JoinPath(dir, "none"), "*").c_str(), &found));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_TRUE(GetFileAttributesA(JoinPath(dir, "sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(GetFileAttributesA(JoinPath(dir, "five.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(JoinPath(dir, "none").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

/* A move never replaces, and a file held without delete sharing stays. */
TEST(Folders, MoveNeverReplacesAndLeavesHeldFiles)
{
    std::string dir = ScratchDirectory("move");
    std::string from = JoinPath(dir, "from.txt"), taken = JoinPath(dir, "taken.txt");
    std::string to = JoinPath(dir, "sub") + "\\to.txt";
    WriteText(from, "moving");
    WriteText(taken, "staying");
    ASSERT_TRUE(CreateDirectoryA(JoinPath(dir, "sub").c_str(), NULL));

    EXPECT_FALSE(MoveFileA(from.c_str(), taken.c_str()));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ("staying", ReadText(taken));
    EXPECT_EQ("moving", ReadText(from));

    HANDLE held = OpenForJobInput(from);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(MoveFileA(from.c_str(), to.c_str()));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    CloseHandle(held);

    EXPECT_TRUE(MoveFileA(from.c_str(), to.c_str()));
    EXPECT_FALSE(FileExists(from));
    EXPECT_EQ("moving", ReadText(JoinPath(JoinPath(dir, "sub"), "to.txt")));
    EXPECT_FALSE(MoveFileA(from.c_str(), JoinPath(dir, "again.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

/* One object per name while a handle is open; the full path of a relative
 * name is the current folder's, "." and ".." taken out. */
TEST(Folders, NamedMutexesAndFullPaths)
{
    HANDLE first = CreateMutexA(NULL, FALSE, "velmar test mutex");
    ASSERT_TRUE(first != NULL);
    EXPECT_NE((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    HANDLE second = CreateMutexA(NULL, FALSE, "velmar test mutex");
    ASSERT_TRUE(second != NULL);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    HANDLE other = CreateMutexA(NULL, FALSE, "velmar test mutex 2");
    EXPECT_NE((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(other));
    SetLastError(ERROR_ALREADY_EXISTS);
    first = CreateMutexA(NULL, FALSE, "velmar test mutex");
    EXPECT_EQ((DWORD)NO_ERROR, GetLastError());
    CloseHandle(first);

    char here[MAX_PATH], full[MAX_PATH];
    char *name = NULL;
    DWORD length = GetFullPathNameA(".", sizeof here, here, NULL);
    ASSERT_TRUE(length > 0 && length < sizeof here);
    length = GetFullPathNameA("a\\..\\b\\.\\c.txt", sizeof full, full, &name);
    std::string expected = here;
    const char *separator = RunningOnWindowsApi() ? "\\" : "/";
    if (expected.back() != separator[0])
        expected += separator;
    expected += RunningOnWindowsApi() ? "b\\c.txt" : "b/c.txt";
    EXPECT_EQ(expected, std::string(full));
    EXPECT_EQ(expected.size(), (size_t)length);
    EXPECT_STREQ("c.txt", name);
    /* Too small a buffer: the size needed, NUL included. */
    EXPECT_EQ(expected.size() + 1, (size_t)GetFullPathNameA("a\\..\\b\\.\\c.txt", 4, full, NULL));
}

TEST(Files, ModulePathNamesTheProgramAndIsCutSafely)
{
    char path[600];
    memset(path, 'x', sizeof path);
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof path);
    EXPECT_EQ(length, strlen(path));
    std::string name = path;
    EXPECT_NE(std::string::npos, name.find("test_platform"));

    /* A cut path fills the buffer and returns its size. Whether the last
     * byte is a NUL differs between Windows versions (and Wine), which is
     * why the engine always passes one byte less than it has. */
    char small[16];
    memset(small, 'x', sizeof small);
    DWORD cut = GetModuleFileNameA(NULL, small, 8);
    EXPECT_EQ(8u, cut);
    EXPECT_EQ(0, memcmp(small, path, 7));
    EXPECT_EQ(std::string(8, 'x'), std::string(small + 8, 8));
}

/* ---- Private profile ------------------------------------------------------ */

TEST(Profile, FirstWritesCreateFileAndSectionInThePlatformFormat)
{
    std::string dir = ScratchDirectory("profile_new");
    std::string ini = JoinPath(dir, "ini.ini");
    unsigned char limiter = 12;
    int32_t on = 1;

    EXPECT_TRUE(WritePrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str()));
    EXPECT_EQ("[MAIN]\r\nLIMITER=0C0C\r\n", ReadText(ini));
    EXPECT_TRUE(WritePrivateProfileStructA("MAIN", "TODOS", &on, 4, ini.c_str()));
    EXPECT_EQ("[MAIN]\r\nLIMITER=0C0C\r\nTODOS=0100000001\r\n", ReadText(ini));
}

/* The same writes as the fixture, which the Windows functions produced. */
TEST(Profile, WritesMatchAFileWrittenByThePlatform)
{
    std::string dir = ScratchDirectory("profile_same");
    std::string ini = JoinPath(dir, "ini.ini");
    unsigned char limiter = 12;
    int32_t on = 1, off = 0;
    int32_t rect[4] = {-8, 10, 1288, 730};

    WritePrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str());
    WritePrivateProfileStructA("MAIN", "TODOS", &on, 4, ini.c_str());
    WritePrivateProfileStructA("MAIN", "SKIPEMPTY", &off, 4, ini.c_str());
    WritePrivateProfileStringA("MAIN", "POPT", "LPT1", ini.c_str());
    WritePrivateProfileStructA("MAIN", "RECT", rect, 16, ini.c_str());
    WritePrivateProfileStringA("OTHER", "Name", "value", ini.c_str());
    limiter = 10;
    WritePrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str());
    WritePrivateProfileStringA("MAIN", "POPT", "", ini.c_str());

    EXPECT_EQ(ReadText(FixturePath("platform-written.ini")), ReadText(ini));
}

TEST(Profile, ReadsAFileWrittenByThePlatform)
{
    std::string ini = FixturePath("platform-written.ini");
    unsigned char limiter = 0;
    int32_t todos = 7, skip = 7;
    int32_t rect[4] = {0, 0, 0, 0};
    char text[256];

    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str()));
    EXPECT_EQ(10, limiter);
    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "TODOS", &todos, 4, ini.c_str()));
    EXPECT_EQ(1, todos);
    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "SKIPEMPTY", &skip, 4, ini.c_str()));
    EXPECT_EQ(0, skip);
    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "RECT", rect, 16, ini.c_str()));
    EXPECT_EQ(-8, rect[0]);
    EXPECT_EQ(10, rect[1]);
    EXPECT_EQ(1288, rect[2]);
    EXPECT_EQ(730, rect[3]);
    /* Present but empty reads as empty, not as the default. */
    EXPECT_EQ(0u, GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, ini.c_str()));
    EXPECT_STREQ("", text);
    EXPECT_EQ(5u, GetPrivateProfileStringA("OTHER", "Name", "", text, sizeof text, ini.c_str()));
    EXPECT_STREQ("value", text);
}

TEST(Profile, NamesIgnoreCaseAndTheFirstSectionAndKeyWin)
{
    std::string ini = FixturePath("hand-edited.ini");
    unsigned char limiter = 0;
    char text[256];

    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str()));
    EXPECT_EQ(10, limiter);
    /* Blanks around the value and its quotes are not part of it. */
    GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, ini.c_str());
    EXPECT_STREQ("LPT2", text);
    GetPrivateProfileStringA("other", "popt", "", text, sizeof text, ini.c_str());
    EXPECT_STREQ("elsewhere", text);
    GetPrivateProfileStringA("MAIN", "y", "none", text, sizeof text, ini.c_str());
    EXPECT_STREQ("none", text);
}

TEST(Profile, WritingKeepsOtherSectionsKeysAndComments)
{
    std::string dir = ScratchDirectory("profile_keep");
    std::string ini = JoinPath(dir, "ini.ini");
    WriteText(ini, ReadText(FixturePath("hand-edited.ini")));
    int32_t off = 0;
    char text[256];

    EXPECT_TRUE(WritePrivateProfileStructA("MAIN", "TODOS", &off, 4, ini.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("MAIN", "POPT", "PRN", ini.c_str()));

    std::string after = ReadText(ini);
    EXPECT_NE(std::string::npos, after.find("; velmar settings, edited by hand"));
    EXPECT_NE(std::string::npos, after.find("; the delimiter"));
    EXPECT_EQ(std::string::npos, after.find("LPT2"));
    GetPrivateProfileStringA("Other", "x", "", text, sizeof text, ini.c_str());
    EXPECT_STREQ("1", text);
    GetPrivateProfileStringA("Other", "POPT", "", text, sizeof text, ini.c_str());
    EXPECT_STREQ("elsewhere", text);
    GetPrivateProfileStringA("Third", "y", "", text, sizeof text, ini.c_str());
    EXPECT_STREQ("2", text);
    GetPrivateProfileStringA("MAIN", "POPT", "", text, sizeof text, ini.c_str());
    EXPECT_STREQ("PRN", text);
    int32_t todos = 5;
    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "TODOS", &todos, 4, ini.c_str()));
    EXPECT_EQ(0, todos);
    /* The new key went into the existing section, not a second one. */
    EXPECT_EQ(std::string::npos, after.find("[MAIN]"));
}

TEST(Profile, MissingFileSectionOrKeyGivesTheDefault)
{
    std::string dir = ScratchDirectory("profile_missing");
    std::string ini = JoinPath(dir, "ini.ini");
    char text[256];
    unsigned char limiter = 12;

    EXPECT_EQ(4u, GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, ini.c_str()));
    EXPECT_STREQ("LPT1", text);
    EXPECT_FALSE(GetPrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str()));
    EXPECT_EQ(12, limiter);
    EXPECT_FALSE(FileExists(ini));

    WriteText(ini, "[OTHER]\r\nPOPT=x\r\n");
    EXPECT_EQ(4u, GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, ini.c_str()));
    EXPECT_STREQ("LPT1", text);
}

TEST(Profile, LongValuesAreCutToTheBuffer)
{
    std::string dir = ScratchDirectory("profile_long");
    std::string ini = JoinPath(dir, "ini.ini");
    std::string value(600, 'v');
    WriteText(ini, "[MAIN]\r\nPOPT=" + value + "\r\n");
    char text[256];
    memset(text, 'x', sizeof text);

    DWORD length = GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, ini.c_str());
    EXPECT_EQ(255u, length);
    EXPECT_EQ(255u, strlen(text));
}

TEST(Profile, StructRejectsABadChecksum)
{
    std::string dir = ScratchDirectory("profile_checksum");
    std::string ini = JoinPath(dir, "ini.ini");
    WriteText(ini, "[MAIN]\r\nLIMITER=0A0B\r\nTODOS=0100000002\r\n");
    unsigned char limiter = 12;
    int32_t todos = 7;

    EXPECT_FALSE(GetPrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str()));
    EXPECT_FALSE(GetPrivateProfileStructA("MAIN", "TODOS", &todos, 4, ini.c_str()));
    if (RunningOnWindowsApi())
        return; /* whether the variable was touched is the platform's matter */
    EXPECT_EQ(12, limiter);
    EXPECT_EQ(7, todos);
}

TEST(Profile, ChangesMadeBetweenReadsAreSeen)
{
    std::string dir = ScratchDirectory("profile_fresh");
    std::string ini = JoinPath(dir, "ini.ini");
    int32_t value = 0;

    WriteText(ini, "[MAIN]\r\nSKIPEMPTY=0100000001\r\n");
    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "SKIPEMPTY", &value, 4, ini.c_str()));
    EXPECT_EQ(1, value);
    /* Same length, written by someone else: must not come from a stale copy. */
    WriteText(ini, "[MAIN]\r\nSKIPEMPTY=0000000000\r\n");
    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "SKIPEMPTY", &value, 4, ini.c_str()));
    EXPECT_EQ(0, value);
}

TEST(Profile, WriteLeavesNoTemporaryFilesBehind)
{
    std::string dir = ScratchDirectory("profile_tmp");
    std::string ini = JoinPath(dir, "ini.ini");
    for (int i = 0; i < 20; i++) {
        int32_t value = i;
        WritePrivateProfileStructA("MAIN", "TODOS", &value, 4, ini.c_str());
    }
#ifndef _WIN32
    DIR *directory = opendir(dir.c_str());
    ASSERT_TRUE(directory != NULL);
    int entries = 0;
    while (struct dirent *entry = readdir(directory))
        entries += entry->d_name[0] != '.';
    closedir(directory);
    EXPECT_EQ(1, entries);
#endif
    int32_t value = -1;
    EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "TODOS", &value, 4, ini.c_str()));
    EXPECT_EQ(19, value);
}

/* CR LF, LF and a lone CR all end a line, in any mix. */
TEST(Profile, EveryLineEndEndsALine)
{
    std::string ini = JoinPath(ScratchDirectory("profile_line_ends"), "ini.ini");
    for (const char *end : {"\r", "\n", "\r\n"}) {
        std::string e = end;
        WriteText(ini, "[OTHER]" + e + "POPT=no" + e + "[MAIN]" + e + "LIMITER=0A0A" + e + "POPT=PRN" + e +
                       "TODOS=0000000000");
        char text[16];
        unsigned char limiter = 12;
        EXPECT_EQ(3u, GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, ini.c_str()));
        EXPECT_STREQ("PRN", text);
        EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str()));
        EXPECT_EQ(10, limiter);

        /* A write replaces the key's line and no other (Wine writes every
         * line anew, with CR LF). */
        ASSERT_TRUE(WritePrivateProfileStringA("MAIN", "POPT", "COM1", ini.c_str()));
        if (!RunningOnWindowsApi()) {
            EXPECT_EQ("[OTHER]" + e + "POPT=no" + e + "[MAIN]" + e + "LIMITER=0A0A" + e + "POPT=COM1\r\n" +
                      "TODOS=0000000000", ReadText(ini));
        }
        ASSERT_TRUE(WritePrivateProfileStringA("MAIN", "RECT", "00", ini.c_str()));
        GetPrivateProfileStringA("MAIN", "TODOS", "", text, sizeof text, ini.c_str());
        EXPECT_STREQ("0000000000", text);
        GetPrivateProfileStringA("MAIN", "RECT", "", text, sizeof text, ini.c_str());
        EXPECT_STREQ("00", text);
    }
}

#ifndef _WIN32
/* A write goes through the settings file's name: a symbolic link stays a link
 * and its target takes the text, hard links all see it, the permissions
 * stay. */
TEST(Profile, WritesGoThroughLinks)
{
    std::string dir = ScratchDirectory("profile_links");
    std::string target = JoinPath(dir, "real.ini");
    std::string symbolic = JoinPath(dir, "ini.ini");
    std::string hard = JoinPath(dir, "hard.ini");
    WriteText(target, "[MAIN]\r\nTODOS=0000000000\r\n");
    ASSERT_EQ(0, chmod(target.c_str(), 0640));
    ASSERT_EQ(0, symlink("real.ini", symbolic.c_str()));
    ASSERT_EQ(0, link(target.c_str(), hard.c_str()));

    ASSERT_TRUE(WritePrivateProfileStringA("MAIN", "POPT", "PRN", symbolic.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("MAIN", "LIMITER", "0A0A", hard.c_str()));

    struct stat st;
    ASSERT_EQ(0, lstat(symbolic.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(0, stat(target.c_str(), &st));
    EXPECT_EQ(2u, (unsigned)st.st_nlink);
    EXPECT_EQ(0640u, (unsigned)(st.st_mode & 07777));
    const std::string expected = "[MAIN]\r\nTODOS=0000000000\r\nPOPT=PRN\r\nLIMITER=0A0A\r\n";
    EXPECT_EQ(expected, ReadText(target));
    EXPECT_EQ(expected, ReadText(hard));
}

/* Only a missing file is an empty one: a file that is there but cannot be
 * read, or is no file at all, fails the write and stays as it was. */
TEST(Profile, FileThatCannotBeReadFailsTheWriteUntouched)
{
    std::string dir = ScratchDirectory("profile_unreadable");
    std::string ini = JoinPath(dir, "ini.ini");
    const std::string old = "[MAIN]\r\nPOPT=PRN\r\nTODOS=0000000000\r\n";
    WriteText(ini, old);
    PosixFaults.failProfileRead = 1;
    EXPECT_FALSE(WritePrivateProfileStringA("MAIN", "POPT", "LPT2", ini.c_str()));
    EXPECT_EQ(0u, PosixFaults.failProfileRead);
    EXPECT_EQ((DWORD)ERROR_WRITE_FAULT, GetLastError());
    EXPECT_EQ(old, ReadText(ini));

    if (geteuid() != 0) { /* the superuser reads whatever the mode says */
        ASSERT_EQ(0, chmod(ini.c_str(), 0200));
        EXPECT_FALSE(WritePrivateProfileStringA("MAIN", "POPT", "LPT2", ini.c_str()));
        ASSERT_EQ(0, chmod(ini.c_str(), 0600));
        EXPECT_EQ(old, ReadText(ini));
    }

    /* A FIFO in its place: no wait, no write, and reads give the defaults. */
    std::string fifo = JoinPath(dir, "fifo.ini");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    alarm(60);
    EXPECT_FALSE(WritePrivateProfileStringA("MAIN", "POPT", "LPT2", fifo.c_str()));
    char text[8];
    GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, fifo.c_str());
    EXPECT_STREQ("LPT1", text);
    alarm(0);
}

/* A write that fails part-way puts the old text back, and says it failed. */
TEST(Profile, WriteThatFailsPartWayLeavesTheOldText)
{
    std::string ini = JoinPath(ScratchDirectory("profile_half"), "ini.ini");
    const std::string old = "[MAIN]\r\nPOPT=PRN\r\nTODOS=0000000000\r\n";
    for (const std::string &value : {std::string("P"), std::string(200, 'L')}) {
        WriteText(ini, old);
        PosixFaults.failProfileWrite = 1;
        EXPECT_FALSE(WritePrivateProfileStringA("MAIN", "POPT", value.c_str(), ini.c_str()));
        EXPECT_EQ(0u, PosixFaults.failProfileWrite);
        EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
        EXPECT_EQ(old, ReadText(ini));
        char text[8];
        GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, ini.c_str());
        EXPECT_STREQ("PRN", text);
    }
}
#endif

/* A folder where the settings file should be: reads give the defaults and
 * writes fail, on either platform. */
TEST(Profile, FolderInPlaceOfTheFileFailsWrites)
{
    std::string ini = JoinPath(ScratchDirectory("profile_folder"), "ini.ini");
#ifdef _WIN32
    ASSERT_TRUE(CreateDirectoryA(ini.c_str(), NULL));
#else
    ASSERT_EQ(0, mkdir(ini.c_str(), 0700));
#endif
    EXPECT_FALSE(WritePrivateProfileStringA("MAIN", "POPT", "PRN", ini.c_str()));
    char text[8];
    GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, sizeof text, ini.c_str());
    EXPECT_STREQ("LPT1", text);
    unsigned char limiter = 12;
    EXPECT_FALSE(GetPrivateProfileStructA("MAIN", "LIMITER", &limiter, 1, ini.c_str()));
    EXPECT_EQ(12, limiter);
}

/* Any bytes at all in the settings file, on both platforms: reads stay
 * inside their buffers, and a value written is the value read back. */
TEST(Profile, HostileFilesNeverBreakReadsOrWrites)
{
    static const char alphabet[] = "[]=;\r\n\t MAINPOTDS0C1\xA0\x01";
    std::string dir = ScratchDirectory("profile_hostile");
    std::string ini = JoinPath(dir, "ini.ini");
    uint32_t seed = 99;
    for (int round = 0; round < 400; round++) {
        std::string content;
        seed = seed * 1103515245u + 12345u;
        size_t size = (seed >> 16) % 120;
        for (size_t i = 0; i < size; i++) {
            seed = seed * 1103515245u + 12345u;
            content += (seed >> 20) % 29 == 0 ? '\0' : alphabet[(seed >> 16) % (sizeof alphabet - 1)];
        }
        WriteBytes(ini, Bytes(content.begin(), content.end()));

        /* Reads given 8 bytes leave the guard bytes after them alone. */
        char text[16];
        unsigned char limiter[2] = {12, 'G'};
        memset(text, 'G', sizeof text);
        GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, 8, ini.c_str());
        EXPECT_LT(strlen(text), 8u) << "round " << round;
        EXPECT_EQ(std::string(8, 'G'), std::string(text + 8, 8)) << "round " << round;
        GetPrivateProfileStructA("MAIN", "LIMITER", limiter, 1, ini.c_str());
        EXPECT_EQ('G', limiter[1]) << "round " << round;

        ASSERT_TRUE(WritePrivateProfileStringA("MAIN", "POPT", "PRN", ini.c_str())) << "round " << round;
        unsigned char value = 0x3C;
        ASSERT_TRUE(WritePrivateProfileStructA("MAIN", "LIMITER", &value, 1, ini.c_str()));
        GetPrivateProfileStringA("MAIN", "POPT", "LPT1", text, 8, ini.c_str());
        EXPECT_STREQ("PRN", text) << "round " << round;
        limiter[0] = 0;
        EXPECT_TRUE(GetPrivateProfileStructA("MAIN", "LIMITER", limiter, 1, ini.c_str()));
        EXPECT_EQ(0x3C, limiter[0]) << "round " << round;
    }
}
