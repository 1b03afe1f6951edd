/* fuzz_command_line.cpp - the file name start-up takes from the command
 * line: any bytes as a whole command line, and as the tail after the
 * program's name, against plain references. */
#include <stdlib.h>
#include <string.h>

#include "command_line.h"
#include "fuzz_support.h"

/* A first token that opens with a quotation mark runs to the next one (or
 * the end), the marks not part of the name. */
static const bool QuotedFirstToken = true;

/* The program's name (quoted: through its closing mark; else up to the
 * first byte from 1 to 32), then every byte from 1 to 32. */
static size_t ReferenceTailStart(const std::string &line)
{
    size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        i = close == std::string::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && !((unsigned char)line[i] >= 1 && (unsigned char)line[i] <= 32))
            i++;
    }
    while (i < line.size() && (unsigned char)line[i] >= 1 && (unsigned char)line[i] <= 32)
        i++;
    return i;
}

/* The name: up to the first blank (only the blank ends it); with quoted
 * names, a first quotation mark runs to the next one. More than 255
 * characters: the first 255, and the name is not to be used. */
static std::string ReferenceToken(const std::string &tail, bool *fits)
{
    std::string token;
    if (QuotedFirstToken && !tail.empty() && tail[0] == '"') {
        size_t close = tail.find('"', 1);
        token = tail.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        token = tail.substr(0, tail.find(' '));
    }
    *fits = token.size() <= 255;
    return token.substr(0, 255);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text((const char *)data, size);
    text = text.substr(0, text.find('\0'));
    char *line = (char *)malloc(text.size() + 1);
    memcpy(line, text.c_str(), text.size() + 1);

    const char *tail = SkipProgramName(line);
    Check(tail == line + ReferenceTailStart(text), "the tail starts after the program's name");

    /* Exactly the buffer the shell has: a byte beyond it is caught. */
    char *file = (char *)malloc(COMMAND_LINE_FILE_SIZE);
    memset(file, 'x', COMMAND_LINE_FILE_SIZE);
    bool fits = false;
    std::string expected = ReferenceToken(text, &fits);
    int whole = TakeFirstToken(line, file);
    Check(whole == (fits ? 1 : 0), "TakeFirstToken says whether the name fitted");
    CheckSame(expected, std::string(file, strnlen(file, COMMAND_LINE_FILE_SIZE)), "the name taken");
    for (size_t i = expected.size(); i < COMMAND_LINE_FILE_SIZE; i++)
        Check(file[i] == '\0', "the rest of the name's buffer is cleared");

    free(file);
    free(line);
    return 0;
}
