/* command_line.h - the command line as start-up reads it: the tail after the
 * program's own name, and the file name at its front.
 *
 * Pure string work, no Windows headers, so the rules can be tested on any
 * host. */
#ifndef VELMAR_COMMAND_LINE_H
#define VELMAR_COMMAND_LINE_H

enum { COMMAND_LINE_FILE_SIZE = 256 };

/* Returns the part of commandLine after the program's name and the blanks
 * and control bytes that follow it. A name that opens with a quotation mark
 * runs to the next one (or to the end) and that mark goes with it, blank or
 * no blank after it; any other name runs to the first byte from 1 to 32.
 * Then every byte from 1 to 32 is skipped. A null commandLine counts as
 * empty. The result points into commandLine (or at a static empty string). */
const char *SkipProgramName(const char *commandLine);

/* Clears file (COMMAND_LINE_FILE_SIZE bytes) and copies into it the name at
 * the front of tail. A name that opens with a quotation mark runs to the
 * next one or to the end, the marks not included; any other name runs up
 * to, not including, the first NUL or blank (a tab is part of it). Returns
 * 1 when the whole name fitted. A name of more than 255 characters is cut
 * to its first 255 and 0 is returned: the caller must not take the cut name
 * for the file. */
int TakeFirstToken(const char *tail, char file[COMMAND_LINE_FILE_SIZE]);

#endif
