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
    /* Explorer, shortcuts and scripts quote a path that holds blanks: the
     * name then runs to the closing mark (or the end), marks left out. An
     * unquoted name ends at the first blank only, a tab being part of it. */
    if (tail[0] == '"') {
        tail++;
        while (tail[length] != '\0' && tail[length] != '"')
            length++;
    } else {
        while (tail[length] != '\0' && tail[length] != ' ')
            length++;
    }
    if (length > limit) {
        memcpy(file, tail, limit);
        return 0;
    }
    memcpy(file, tail, length);
    return 1;
}
