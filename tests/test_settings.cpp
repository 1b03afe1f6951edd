/* The settings file: where it is, and how the keys read with their defaults. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "test_support.h"

struct IniPathCase {
    const char *module;
    const char *iniPath;
};

TEST(Settings, IniPathIsBesideTheExecutable)
{
    static const IniPathCase cases[] = {
        {"C:\\Tools\\print.exe", "C:\\Tools\\ini.ini"},
        {"C:/Tools/print.exe", "C:/Tools/ini.ini"},
        {"C:\\a/b\\c.exe", "C:\\a/b\\ini.ini"},        /* the last separator of either kind */
        {"/opt/velmar/velmar", "/opt/velmar/ini.ini"},
        {"print.exe", "print.exeini.ini"},              /* no separator: appended to the whole */
        {"\\print.exe", "\\print.exeini.ini"},          /* the first character is never examined */
        {"C:\\", "C:\\ini.ini"},
        {"", "ini.ini"},
    };
    char path[SETTING_TEXT_SIZE];
    for (const IniPathCase &c : cases) {
        MakeIniPath(c.module, path);
        EXPECT_STREQ(c.iniPath, path) << "module: " << c.module;
    }
}

TEST(Settings, IniPathThatWouldNotFitIsNoPathAtAll)
{
    char path[SETTING_TEXT_SIZE];
    /* A folder of 248 characters plus "ini.ini" is exactly 255: kept. */
    std::string fits = "C:\\" + std::string(244, 'd') + "\\velmar.exe";
    MakeIniPath(fits.c_str(), path);
    EXPECT_EQ(fits.substr(0, 248) + "ini.ini", std::string(path));

    /* One more character would leave "ini.in" in the same folder. */
    std::string longer = "C:\\" + std::string(245, 'd') + "\\velmar.exe";
    memset(path, 'x', sizeof path);
    MakeIniPath(longer.c_str(), path);
    EXPECT_EQ('\0', path[0]);

    std::string huge = std::string(400, 'x') + "\\velmar.exe";
    MakeIniPath(huge.c_str(), path);
    EXPECT_EQ('\0', path[0]);
}

/* The test program is <build tree>/tests/test_settings[.exe]; its settings
 * file must be <build tree>/tests/ini.ini. */
TEST(Settings, BuildIniPathUsesTheRunningProgram)
{
    const std::string program = RunningOnWindowsApi() ? "\\tests\\test_settings.exe" : "/tests/test_settings";
    const std::string ini = RunningOnWindowsApi() ? "\\tests\\ini.ini" : "/tests/ini.ini";
    std::string path = ProgramPath();
    ASSERT_GT(path.size(), program.size());
    ASSERT_EQ(program, path.substr(path.size() - program.size())) << path;
    std::string tree = path.substr(0, path.size() - program.size());

    BuildIniPath(NULL);
    EXPECT_EQ(tree + ini, std::string(IniPath));
}

#ifndef _WIN32
/* The program run from a path longer than the path buffer: a copy of this
 * test program, started from deep folders, checks that it has no settings
 * file (the same under Wine is an end-to-end case). */
TEST(Settings, ProgramPathTooLongGivesNoSettingsFile)
{
    if (getenv("VELMAR_LONG_PATH_CHILD")) {
        BuildIniPath(NULL);
        EXPECT_STREQ("", IniPath);
        return;
    }
    std::string deep = ScratchDirectory("settings_long_path");
    while (deep.size() < 300) {
        deep = JoinPath(deep, std::string(40, 'd'));
        mkdir(deep.c_str(), 0777);
    }
    std::string copy = JoinPath(deep, "test_settings");
    std::string command = "cp '" + ProgramPath() + "' '" + copy + "' && VELMAR_LONG_PATH_CHILD=1 '" + copy +
                          "' --gtest_filter=Settings.ProgramPathTooLongGivesNoSettingsFile >/dev/null";
    EXPECT_EQ(0, system(command.c_str()));
}
#endif

class SettingsFile : public ::testing::Test {
protected:
    std::string ini;
    void Use(const char *name, const char *content)
    {
        ini = JoinPath(ScratchDirectory(name), "ini.ini");
        if (content)
            WriteText(ini, content);
        strcpy(IniPath, ini.c_str());
    }
};

TEST_F(SettingsFile, NoFileLeavesEveryDefault)
{
    Use("settings_none", NULL);
    unsigned char limiter = 12;
    int32_t toggle = 1;
    int32_t rect[4] = {0, 0, 0, 0};
    char text[SETTING_TEXT_SIZE];

    EXPECT_EQ(0, ReadSettingStruct("LIMITER", &limiter, 1));
    EXPECT_EQ(12, limiter);
    EXPECT_EQ(0, ReadSettingStruct("TODOS", &toggle, 4));
    EXPECT_EQ(0, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(1, toggle);
    EXPECT_EQ(0, ReadSettingStruct("RECT", rect, 16));
    EXPECT_EQ(0, rect[2]);
    ReadSettingString("POPT", "LPT1", text);
    EXPECT_STREQ("LPT1", text);
}

TEST_F(SettingsFile, MissingSkipEmptyKeepsTheTodosValue)
{
    Use("settings_todos", "[MAIN]\r\nTODOS=0000000000\r\n");
    int32_t toggle = 1;
    ReadSettingStruct("TODOS", &toggle, 4);
    ReadSettingStruct("SKIPEMPTY", &toggle, 4);
    EXPECT_EQ(0, toggle);
}

TEST_F(SettingsFile, EmptyPrintToIsEmptyNotTheDefault)
{
    Use("settings_popt", "[MAIN]\r\nPOPT=\r\n");
    char text[SETTING_TEXT_SIZE];
    ReadSettingString("POPT", "LPT1", text);
    EXPECT_STREQ("", text);
}

TEST_F(SettingsFile, OverlongPrintToIsCutAt255)
{
    Use("settings_long", ("[MAIN]\r\nPOPT=" + std::string(1000, 'p') + "\r\n").c_str());
    char text[SETTING_TEXT_SIZE];
    ReadSettingString("POPT", "LPT1", text);
    EXPECT_EQ(255u, strlen(text));
}

/* Megabytes of other text before the section: still read and written. */
TEST_F(SettingsFile, HugeFileIsReadAndWritten)
{
    std::string junk;
    for (int i = 0; junk.size() < 8u << 20; i++)
        junk += "[S" + std::to_string(i % 97) + "]\r\nKEY=" + std::string(60, (char)('a' + i % 26)) + "\r\n";
    Use("settings_huge", (junk + "[MAIN]\r\nLIMITER=0A0A\r\n").c_str());
    unsigned char limiter = 12;
    EXPECT_EQ(1, ReadSettingStruct("LIMITER", &limiter, 1));
    EXPECT_EQ(10, limiter);
    EXPECT_EQ(1, WriteSettingString("POPT", "PRN"));
    char text[SETTING_TEXT_SIZE];
    ReadSettingString("POPT", "LPT1", text);
    EXPECT_STREQ("PRN", text);
    EXPECT_EQ(junk, ReadText(ini).substr(0, junk.size()));
}

TEST_F(SettingsFile, WrittenValuesReadBackInTheirStoredForm)
{
    Use("settings_write", NULL);
    unsigned char limiter = 10;
    int32_t todos = 0, skip = 1;
    int32_t rect[4] = {-5, 20, 400, -1};

    WriteSettingStruct("LIMITER", &limiter, 1);
    WriteSettingStruct("TODOS", &todos, 4);
    WriteSettingStruct("SKIPEMPTY", &skip, 4);
    WriteSettingString("POPT", "\\\\server\\printer");
    WriteSettingStruct("RECT", rect, 16);

    std::string text = ReadText(ini);
    EXPECT_NE(std::string::npos, text.find("LIMITER=0A0A\r\n"));
    EXPECT_NE(std::string::npos, text.find("TODOS=0000000000\r\n"));
    EXPECT_NE(std::string::npos, text.find("SKIPEMPTY=0100000001\r\n"));
    EXPECT_NE(std::string::npos, text.find("POPT=\\\\server\\printer\r\n"));

    unsigned char limiterBack = 0;
    int32_t rectBack[4] = {0, 0, 0, 0};
    char popt[SETTING_TEXT_SIZE];
    EXPECT_EQ(1, ReadSettingStruct("LIMITER", &limiterBack, 1));
    EXPECT_EQ(10, limiterBack);
    EXPECT_EQ(1, ReadSettingStruct("RECT", rectBack, 16));
    EXPECT_EQ(0, memcmp(rect, rectBack, sizeof rect));
    ReadSettingString("POPT", "LPT1", popt);
    EXPECT_STREQ("\\\\server\\printer", popt);

    WriteSettingString("POPT", "");
    ReadSettingString("POPT", "LPT1", popt);
    EXPECT_STREQ("", popt);
}

TEST_F(SettingsFile, SwitchValueTwoIsStoredAsIs)
{
    Use("settings_two", "[MAIN]\r\nSKIPEMPTY=0200000002\r\n");
    int32_t toggle = 1;
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(2, toggle);
}

/* Only exactly 2 * size + 2 hex digits with the right sum are a value, on
 * every platform; anything else reads as missing and leaves the variable
 * alone. */
TEST_F(SettingsFile, OnlyExactHexWithItsChecksumIsAValue)
{
    Use("settings_strict",
        "[MAIN]\r\nLONG=0A0A0A0A28\r\nSHORT=0A\r\nLETTERS=ZZZZ\r\nSUM=0A0B\r\n"
        "HALF=0G0G\r\nBLANK=0A 0A\r\nEMPTY=\r\nLOWER=0a0a\r\nMIXED=fE000000fe\r\n"
        "WIDE=0100000002\r\nSIGN=-1-1\r\n");
    static const char *const refused[] = {"LONG", "SHORT", "LETTERS", "SUM", "HALF", "BLANK",
                                          "EMPTY", "SIGN", "NOKEY"};
    for (const char *key : refused) {
        unsigned char limiter = 12;
        EXPECT_EQ(0, ReadSettingStruct(key, &limiter, 1)) << key;
        EXPECT_EQ(12, limiter) << key;
    }
    int32_t toggle = 7;
    EXPECT_EQ(0, ReadSettingStruct("WIDE", &toggle, 4));
    EXPECT_EQ(7, toggle);

    unsigned char limiter = 12;
    EXPECT_EQ(1, ReadSettingStruct("LOWER", &limiter, 1));
    EXPECT_EQ(10, limiter);
    EXPECT_EQ(1, ReadSettingStruct("MIXED", &toggle, 4));
    EXPECT_EQ(254, toggle);
}

TEST_F(SettingsFile, DelimiterOfTheWrongLengthReadsAsMissing)
{
    Use("settings_length", "[MAIN]\r\nLIMITER=0A0A0A0A28\r\n");
    unsigned char limiter = 12;
    EXPECT_EQ(0, ReadSettingStruct("LIMITER", &limiter, 1));
    EXPECT_EQ(12, limiter);
}

/* A value with a line break would turn into a line of its own in the file. */
TEST_F(SettingsFile, StringWithALineBreakIsRefusedAndNothingChanges)
{
    Use("settings_break", "[MAIN]\r\nPOPT=LPT2\r\n");
    std::string before = ReadText(ini);
    static const char *const values[] = {"out.prn\r\n[MAIN]\r\nLIMITER=0A0A", "a\nb", "a\rb", "\n"};
    for (const char *value : values) {
        EXPECT_EQ(0, WriteSettingString("POPT", value));
        EXPECT_EQ(before, ReadText(ini));
    }
    char text[SETTING_TEXT_SIZE];
    ReadSettingString("POPT", "LPT1", text);
    EXPECT_STREQ("LPT2", text);
    EXPECT_EQ(1, WriteSettingString("POPT", "a\tb"));
    ReadSettingString("POPT", "LPT1", text);
    EXPECT_STREQ("a\tb", text);
}

/* No settings file (the program's path did not fit): defaults, failed
 * writes, and no file anywhere, not even under an empty name. */
TEST_F(SettingsFile, NoIniPathGivesDefaultsAndFailsWrites)
{
    Use("settings_nopath", NULL);
    IniPath[0] = '\0';
    unsigned char limiter = 12;
    int32_t toggle = 1;
    char text[SETTING_TEXT_SIZE];

    EXPECT_EQ(0, WriteSettingStruct("LIMITER", &limiter, 1));
    EXPECT_EQ(0, WriteSettingStruct("TODOS", &toggle, 4));
    EXPECT_EQ(0, WriteSettingString("POPT", "out.prn"));
    EXPECT_EQ(0, ReadSettingStruct("LIMITER", &limiter, 1));
    EXPECT_EQ(12, limiter);
    ReadSettingString("POPT", "LPT1", text);
    EXPECT_STREQ("LPT1", text);
    ReadSettingString("POPT", std::string(300, 'd').c_str(), text);
    EXPECT_EQ(255u, strlen(text));
    EXPECT_FALSE(FileExists("ini.ini"));
    EXPECT_FALSE(FileExists(ini));
}

/* The per-page read of SKIPEMPTY: a file left alone for a while is not read
 * again while its time and size stay; any change is seen at the next read. */
TEST_F(SettingsFile, UnchangedOldFileIsNotReadAgainButAnEditIsSeen)
{
    Use("settings_cached", "[MAIN]\r\nSKIPEMPTY=0100000001\r\n");
    FILETIME old = FileTimeFromNow(-3600);
    ASSERT_TRUE(SetLastWriteTime(ini, old));
    int32_t toggle = 7;
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(1, toggle);

    /* Same size, same time: only a re-read could see the new value. */
    WriteText(ini, "[MAIN]\r\nSKIPEMPTY=0000000000\r\n");
    ASSERT_TRUE(SetLastWriteTime(ini, old));
    for (int page = 0; page < 3; page++) {
        EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
        EXPECT_EQ(1, toggle);
    }

    /* A new time, or a new size, is an edit. */
    ASSERT_TRUE(SetLastWriteTime(ini, FileTimeFromNow(-1800)));
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(0, toggle);
    WriteText(ini, "[MAIN]\r\nSKIPEMPTY=0200000002\r\n;\r\n");
    ASSERT_TRUE(SetLastWriteTime(ini, FileTimeFromNow(-1800)));
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(2, toggle);

    /* Another key, or another file, is read for itself. */
    toggle = 7;
    EXPECT_EQ(0, ReadSettingStruct("TODOS", &toggle, 4));
    EXPECT_EQ(7, toggle);
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(2, toggle);
}

/* No file is remembered as no file: the platform is asked once, and the
 * caller keeps its default. A file that then appears is read at once. */
TEST_F(SettingsFile, MissingFileIsAskedOnceUntilItAppears)
{
    Use("settings_missing", NULL);
    int32_t toggle = 7;
    uint32_t before = ProfileStructReads;
    for (int page = 0; page < 50; page++) {
        EXPECT_EQ(0, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
        EXPECT_EQ(7, toggle);
    }
    EXPECT_EQ(1u, ProfileStructReads - before);

    /* Another key is a read of its own. */
    EXPECT_EQ(0, ReadSettingStruct("TODOS", &toggle, 4));
    EXPECT_EQ(2u, ProfileStructReads - before);

    WriteText(ini, "[MAIN]\r\nSKIPEMPTY=0000000000\r\n");
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(0, toggle);

    /* Gone again: missing once more, whatever was read before. */
    ASSERT_EQ(0, remove(ini.c_str()));
    toggle = 7;
    EXPECT_EQ(0, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(0, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(7, toggle);
}

/* In a folder left alone for a while, the folder stands for the missing
 * file: nothing is read again while only other entries come and go, and a
 * settings file made in it is read at the next look. */
TEST_F(SettingsFile, MissingFileInAnOldFolderIsSeenWhenItAppears)
{
    Use("settings_missing_old", NULL);
    std::string folder = ini.substr(0, ini.size() - strlen("ini.ini"));
    ASSERT_TRUE(SetLastWriteTime(folder, FileTimeFromNow(-3600)));
    int32_t toggle = 7;
    uint32_t before = ProfileStructReads;
    for (int page = 0; page < 20; page++)
        EXPECT_EQ(0, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(7, toggle);
    EXPECT_EQ(1u, ProfileStructReads - before);

    WriteText(folder + "other.txt", "x");
    ASSERT_TRUE(SetLastWriteTime(folder, FileTimeFromNow(-1800)));
    EXPECT_EQ(0, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(0, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(1u, ProfileStructReads - before);

    WriteText(ini, "[MAIN]\r\nSKIPEMPTY=0000000000\r\n");
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(0, toggle);
}

/* A file written within the last two seconds may change again without its
 * time moving: it is read every time. */
TEST_F(SettingsFile, RecentlyWrittenFileIsReadEveryTime)
{
    Use("settings_recent", "[MAIN]\r\nSKIPEMPTY=0100000001\r\n");
    /* Now rather than a moment ago: the whole window of two seconds is left
     * for the two reads on a busy machine. */
    FILETIME recent = FileTimeFromNow(0);
    ASSERT_TRUE(SetLastWriteTime(ini, recent));
    int32_t toggle = 7;
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(1, toggle);
    WriteText(ini, "[MAIN]\r\nSKIPEMPTY=0000000000\r\n");
    ASSERT_TRUE(SetLastWriteTime(ini, recent));
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(0, toggle);
}

/* Our own write is never hidden behind an earlier read, even when the file
 * keeps its size and the clock its time. */
TEST_F(SettingsFile, OwnWriteIsSeenAtOnce)
{
    Use("settings_own", "[MAIN]\r\nSKIPEMPTY=0100000001\r\n");
    FILETIME old = FileTimeFromNow(-3600);
    ASSERT_TRUE(SetLastWriteTime(ini, old));
    int32_t toggle = 7;
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    int32_t off = 0;
    EXPECT_EQ(1, WriteSettingStruct("SKIPEMPTY", &off, 4));
    ASSERT_TRUE(SetLastWriteTime(ini, old));
    EXPECT_EQ(1, ReadSettingStruct("SKIPEMPTY", &toggle, 4));
    EXPECT_EQ(0, toggle);
}
