/* The settings file: where it is, and how the keys read with their defaults. */
#include <gtest/gtest.h>
#include <string.h>

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

TEST(Settings, OverlongIniPathIsCutNeverOverrun)
{
    char path[SETTING_TEXT_SIZE];
    std::string module = "C:\\" + std::string(248, 'd') + "\\velmar.exe"; /* directory of 252 */
    MakeIniPath(module.c_str(), path);
    EXPECT_EQ(255u, strlen(path));
    EXPECT_EQ(0, strncmp(path, module.c_str(), 252));
    EXPECT_EQ("ini", std::string(path + 252));

    std::string longer = std::string(400, 'x') + "\\velmar.exe";
    MakeIniPath(longer.c_str(), path);
    EXPECT_EQ(255u, strlen(path));
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

TEST_F(SettingsFile, DelimiterOfTheWrongLengthReadsAsMissing)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine's GetPrivateProfileStructA reads a longer value anyway; Windows does not";
    Use("settings_length", "[MAIN]\r\nLIMITER=0A0A0A0A28\r\n");
    unsigned char limiter = 12;
    EXPECT_EQ(0, ReadSettingStruct("LIMITER", &limiter, 1));
    EXPECT_EQ(12, limiter);
}
