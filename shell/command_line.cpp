/* command_line.cpp - the program's own name and the file to print, taken
 * from the raw command line. */
#include <string.h>

#include "command_line.h"

static int IsBlankOrControl(unsigned char c)
{
    return c >= 1 && c <= 32;
}

const char *SkipProgramName(const char *commandLine)
{
    const unsigned char *p = (const unsigned char *)commandLine;

    if (!p)
        return "";
    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p++;
        /* The closing mark ends the name even with no blank after it. */
        if (*p == '"')
            p++;
    } else {
        while (*p && !IsBlankOrControl(*p))
            p++;
    }
    while (IsBlankOrControl(*p))
        p++;
    return (const char *)p;
}

int TakeFirstToken(const char *tail, char file[COMMAND_LINE_FILE_SIZE])
{
    size_t length = 0;
    size_t limit = COMMAND_LINE_FILE_SIZE - 1;

    memset(file, 0, COMMAND_LINE_FILE_SIZE);
    if (!tail)
        return 1;
    /* Only a blank ends the token: a quoted path keeps its mark and stops at
     * its first blank. */
    while (tail[length] != '\0' && tail[length] != ' ')
        length++;
    if (length > limit) {
        memcpy(file, tail, limit);
        return 0;
    }
    memcpy(file, tail, length);
    return 1;
}
