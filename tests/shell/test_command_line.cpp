/* How start-up finds the file to print in the raw command line: the
 * program's name is passed over, then the first token (quoted, or up to a
 * blank) is copied into its fixed buffer. */
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "command_line.h"

struct TailCase {
    const char *commandLine;
    const char *tail;
};

/* The program's name, however it is written, and the bytes 1..32 after it. */
TEST(SkipProgramName, LeavesTheTailAfterTheNameAndItsBlanks)
{
    const TailCase cases[] = {
        {"velmar.exe report.txt", "report.txt"},
        {"velmar.exe\treport.txt", "report.txt"},
        {"velmar.exe \t\r\n\x01\x1f report.txt extra", "report.txt extra"},
        {"\"C:\\Program Files\\velmar.exe\" report.txt", "report.txt"},
        /* The closing mark ends the name with no blank after it. */
        {"\"velmar.exe\"report.txt", "report.txt"},
        {"\"velmar.exe\"\"quoted.txt\"", "\"quoted.txt\""},
        /* A name that never closes its quotation mark takes the whole line. */
        {"\"C:\\velmar.exe report.txt", ""},
        {"velmar.exe", ""},
        {"velmar.exe   ", ""},
        {"\"velmar.exe\"", ""},
        {"", ""},
        /* Bytes from 127 up are neither blanks nor separators. */
        {"vel\xA0mar.exe\x7F x", "x"},
        {"velmar.exe \x7Freport.txt", "\x7Freport.txt"},
        {"velmar.exe \xA0report.txt", "\xA0report.txt"},
        /* A quotation mark inside an unquoted name is an ordinary byte. */
        {"vel\"mar.exe report.txt", "report.txt"},
    };
    for (const TailCase &c : cases)
        EXPECT_STREQ(c.tail, SkipProgramName(c.commandLine)) << "command line: " << c.commandLine;
}

TEST(SkipProgramName, PointsIntoTheGivenLineAndSurvivesNull)
{
    const char line[] = "velmar.exe  a.txt";
    EXPECT_EQ(line + 12, SkipProgramName(line));
    EXPECT_STREQ("", SkipProgramName(NULL));
}

struct TokenCase {
    const char *tail;
    const char *token;
};

TEST(TakeFirstToken, CopiesUpToTheFirstBlankOnly)
{
    const TokenCase cases[] = {
        {"report.txt", "report.txt"},
        {"report.txt extra", "report.txt"},
        /* A tab does not end an unquoted token. */
        {"a\tb.txt c", "a\tb.txt"},
        /* A quoted name runs to its closing mark, blanks and all, marks
         * left out; without a closing mark it runs to the end. */
        {"\"C:\\My Files\\a.txt\"", "C:\\My Files\\a.txt"},
        {"\"C:\\Documents and Settings\\\xD0\xE0\xE1\xEE\xF7\xE8\xE9 \xF1\xF2\xEE\xEB\\a.txt\" x",
         "C:\\Documents and Settings\\\xD0\xE0\xE1\xEE\xF7\xE8\xE9 \xF1\xF2\xEE\xEB\\a.txt"},
        {"\"my file.txt\"extra", "my file.txt"},
        {"\"open ended.txt", "open ended.txt"},
        {"\"tab\tinside\"", "tab\tinside"},
        {"\"\"", ""},
        {"\"", ""},
        /* A mark inside an unquoted name is an ordinary byte. */
        {"a\"b c\"", "a\"b"},
        {"\xC0\xE1\xE2.txt x", "\xC0\xE1\xE2.txt"},
        {"", ""},
        {" leading", ""},
    };
    for (const TokenCase &c : cases) {
        char file[COMMAND_LINE_FILE_SIZE];
        EXPECT_EQ(1, TakeFirstToken(c.tail, file)) << "tail: " << c.tail;
        EXPECT_STREQ(c.token, file) << "tail: " << c.tail;
    }
}

TEST(TakeFirstToken, ClearsTheWholeBuffer)
{
    char file[COMMAND_LINE_FILE_SIZE];
    memset(file, 'X', sizeof file);
    TakeFirstToken("ab", file);
    EXPECT_STREQ("ab", file);
    for (size_t i = 2; i < sizeof file; i++)
        ASSERT_EQ('\0', file[i]) << "byte " << i;

    memset(file, 'X', sizeof file);
    EXPECT_EQ(1, TakeFirstToken(NULL, file));
    EXPECT_EQ('\0', file[0]);
    EXPECT_EQ('\0', file[sizeof file - 1]);
}

/* The 255-character rule counts the name without its marks. */
TEST(TakeFirstToken, QuotedNameOfMoreThan255IsCut)
{
    const size_t lengths[] = {255, 256, 1000};
    for (size_t length : lengths) {
        std::string name(length, 'q');
        std::string tail = "\"" + name + "\" next";
        char file[COMMAND_LINE_FILE_SIZE];
        EXPECT_EQ(length <= 255 ? 1 : 0, TakeFirstToken(tail.c_str(), file)) << "length " << length;
        EXPECT_EQ(name.substr(0, 255), file);
    }
}

/* The buffer sits between guard bytes that must come through untouched. */
struct GuardedFile {
    char before[16];
    char file[COMMAND_LINE_FILE_SIZE];
    char after[16];
};

static void ExpectGuardsIntact(const GuardedFile &g)
{
    for (size_t i = 0; i < sizeof g.before; i++) {
        ASSERT_EQ('G', g.before[i]);
        ASSERT_EQ('G', g.after[i]);
    }
}

TEST(TakeFirstToken, NeverWritesBeyondItsBuffer)
{
    const size_t lengths[] = {254, 255, 256, 257, 300, 100000};
    for (size_t length : lengths) {
        std::string tail(length, 'a');
        tail[length - 1] = 'z';
        tail += " next";
        GuardedFile g;
        memset(&g, 'G', sizeof g);

        int whole = TakeFirstToken(tail.c_str(), g.file);

        ExpectGuardsIntact(g);
        EXPECT_EQ('\0', g.file[COMMAND_LINE_FILE_SIZE - 1]) << "length " << length;
        if (length <= 255) {
            EXPECT_EQ(1, whole) << "length " << length;
            EXPECT_EQ(tail.substr(0, length), g.file);
        } else {
            /* Too long for the buffer: the first 255 characters, flagged, so
             * the caller never takes the cut name for another file. */
            EXPECT_EQ(0, whole) << "length " << length;
            EXPECT_EQ(std::string(255, 'a'), g.file);
        }
    }
}

TEST(CommandLine, WholeLineToFileName)
{
    const TokenCase cases[] = {
        {"velmar.exe report.txt", "report.txt"},
        {"velmar.exe report.txt extra", "report.txt"},
        {"\"C:\\Tools\\velmar.exe\"report.txt", "report.txt"},
        {"velmar.exe\treport.txt", "report.txt"},
        {"velmar.exe \"C:\\My Files\\a.txt\"", "C:\\My Files\\a.txt"},
        {"\"C:\\Program Files\\velmar.exe\" \"C:\\My Files\\a.txt\" more", "C:\\My Files\\a.txt"},
        {"velmar.exe", ""},
    };
    for (const TokenCase &c : cases) {
        char file[COMMAND_LINE_FILE_SIZE];
        TakeFirstToken(SkipProgramName(c.tail), file);
        EXPECT_STREQ(c.token, file) << "command line: " << c.tail;
    }
}
