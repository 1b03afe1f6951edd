/* The printer's form as the settings give it: the set-up list and the page
 * length in lines. */
#include <gtest/gtest.h>
#include <string.h>

#include "test_support.h"

/* The bytes of a list, or "bad" for a text that is none. */
static std::string Parsed(const std::string &text)
{
    unsigned char bytes[SETUP_BYTES_MAX];
    uint32_t count = 77;
    memset(bytes, 0xEE, sizeof bytes);
    if (!ParseSetupBytes(text.c_str(), bytes, &count)) {
        EXPECT_EQ(0u, count) << text;
        return "bad";
    }
    EXPECT_LE(count, (uint32_t)SETUP_BYTES_MAX);
    std::string out;
    for (uint32_t i = 0; i < count; i++)
        out += (out.empty() ? "" : ".") + std::to_string(bytes[i]);
    return out;
}

TEST(SetupBytes, SeparatorsBoundsAndEmpty)
{
    struct { const char *text, *bytes; } cases[] = {
        {"27 64 15", "27.64.15"},
        {"27, 64, 15", "27.64.15"},
        {"27,64,15", "27.64.15"},
        {"27 ,64 , 15", "27.64.15"},
        {"\t27\t64  15 ", "27.64.15"},
        {"0 255", "0.255"},
        {"027 0000064", "27.64"},     /* leading zeros are the same number */
        {"15", "15"},
        {"", ""},
        {"   \t ", ""},
    };
    for (auto &c : cases)
        EXPECT_EQ(c.bytes, Parsed(c.text)) << "\"" << c.text << "\"";
}

TEST(SetupBytes, AnythingElseIsMalformed)
{
    const char *cases[] = {
        "256", "27 64 1000", "99999999999999999999", /* above a byte, however far */
        "ESC @", "27 x", "27x", "0x1B", "1B", "+27", "-1", "27.5", "27;64", /* words and signs */
        ",27", "27,", "27,,64", "27, ,64", ",", /* a comma with no number on one side */
        "27\r64", "27\n", "\xA0" "27", /* other blanks are no separators */
    };
    for (const char *text : cases)
        EXPECT_EQ("bad", Parsed(text)) << "\"" << text << "\"";
}

/* The longest text, 255 characters, holds 128 numbers; one character more
 * is malformed, never the list it starts with. */
TEST(SetupBytes, LongestTextAndOneMore)
{
    std::string longest = "0";
    while (longest.size() < 255)
        longest += ",0";
    ASSERT_EQ(255u, longest.size());
    std::string expected = "0";
    for (int i = 1; i < SETUP_BYTES_MAX; i++)
        expected += ".0";
    EXPECT_EQ(expected, Parsed(longest));
    EXPECT_EQ("bad", Parsed(longest + " "));
    EXPECT_EQ("bad", Parsed(std::string(300, ' ') + "27"));
}

class Form : public ::testing::Test {
protected:
    std::string iniPath;

    void SetUp() override
    {
        std::string dir = ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        iniPath = JoinPath(dir, "ini.ini");
        strcpy(IniPath, iniPath.c_str());
    }
    void TearDown() override { IniPath[0] = '\0'; }

    int Read(const std::string &ini, JobForm *form)
    {
        WriteText(iniPath, ini);
        memset(form, 0xEE, sizeof *form);
        return ReadJobForm(form);
    }
};

TEST_F(Form, BothOffWhenMissing)
{
    JobForm form;
    EXPECT_EQ(1, Read("[MAIN]\r\nPOPT=LPT1\r\n", &form));
    EXPECT_EQ(0u, form.pageLines);
    EXPECT_EQ(0u, form.setupCount);

    IniPath[0] = '\0'; /* no settings file at all */
    memset(&form, 0xEE, sizeof form);
    EXPECT_EQ(1, ReadJobForm(&form));
    EXPECT_EQ(0u, form.pageLines);
    EXPECT_EQ(0u, form.setupCount);
}

TEST_F(Form, ValuesAsStored)
{
    JobForm form;
    EXPECT_EQ(1, Read("[MAIN]\r\nPAGELINES=4200000042\r\nSETUP=27, 64 15\r\n", &form));
    EXPECT_EQ(66u, form.pageLines);
    ASSERT_EQ(3u, form.setupCount);
    EXPECT_EQ(Bytes({27, 64, 15}), Bytes(form.setup, form.setup + 3));

    /* A value in quotes is read without them; an unreadable PAGELINES is off. */
    EXPECT_EQ(1, Read("[MAIN]\r\nPAGELINES=42000000\r\nSETUP=\"15\"\r\n", &form));
    EXPECT_EQ(0u, form.pageLines);
    ASSERT_EQ(1u, form.setupCount);
    EXPECT_EQ(15, form.setup[0]);
}

/* The settings file may hold a longer text than the dialog takes: read
 * whole, it is malformed, however valid its first 255 characters are. */
TEST_F(Form, LongStoredTextIsMalformedNotCut)
{
    JobForm form;
    std::string list = "27";
    while (list.size() < 255)
        list += " 1";
    /* 255 characters: "27" and 127 times " 1" is 256, so drop one. */
    list = list.substr(0, 255);
    ASSERT_EQ(' ', list[254]);
    EXPECT_EQ(1, Read("[MAIN]\r\nSETUP=" + list + "\r\n", &form));
    EXPECT_EQ(127u, form.setupCount);
    /* 256 characters and more: every one still a list but for its length. */
    for (size_t extra : {0u, 300u, 700u}) {
        std::string longer = list + "1" + (extra ? std::string(extra, ' ') + "1" : "");
        EXPECT_EQ(0, Read("[MAIN]\r\nSETUP=" + longer + "\r\n", &form)) << longer.size();
        EXPECT_EQ(0u, form.setupCount);
    }
}

#ifndef _WIN32
/* A NUL inside the value would make the list look shorter than it is. */
TEST_F(Form, ValueWithANulIsMalformed)
{
    JobForm form;
    static const char ini[] = "[MAIN]\r\nSETUP=27\0 x\r\n";
    EXPECT_EQ(0, Read(std::string(ini, sizeof ini - 1), &form));
}
#endif
