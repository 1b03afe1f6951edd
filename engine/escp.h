/* escp.h - the one reader of a printer's command stream: which bytes of a
 * file are printer commands (ESC/P, ESC/P2, and NEC's FS 3 n) and which are
 * text.
 *
 * Every byte from the one after ESC (or FS) to the command's end belongs to
 * the command: the command byte, its parameters, and bit-image, raster or
 * other data. Such bytes are never recoded, never counted as letters, never
 * end a page or a line; only the layout reads them. The ESC and FS bytes
 * themselves are text bytes that start a command.
 *
 * The reader takes one byte at a time and says what the byte is; its state
 * is plain data, so a command cut by a page's end goes on with the next
 * page's bytes, as the printer sees one stream. Bulk users (the recoding,
 * the page cutting) ask for the next stretch of command bytes and run their
 * own fast loops over the text between; a file without ESC or FS costs them
 * one search.
 */
#ifndef VELMAR_ESCP_H
#define VELMAR_ESCP_H

#include <stdint.h>

enum { ESCP_PARAMS = 12, ESCP_ESC = 27, ESCP_FS = 28 };

/* What a byte is. */
enum {
    ESCP_TEXT = 0, /* outside any command: a character or a control byte (ESC and FS too) */
    ESCP_PARAM,    /* a byte of a command's header: nothing to do yet */
    ESCP_COMMAND,  /* the header's last byte: the command, with its parameters, is complete */
    ESCP_LIST,     /* one value of the list of ESC D, ESC B or ESC b */
    ESCP_DATA,     /* one byte of dots (bit image or raster), drawn repeat times */
    ESCP_SKIP      /* any other data of a command: passed over */
};

/* The reader's state. After ESCP_COMMAND: prefix is ESC or FS, command its
 * byte, params[0 .. have) its parameters. For ESC ( the parameters are the
 * sub-command, the two length bytes and the first data bytes (ESCP_PARAMS in
 * all); ESCP_COMMAND comes with the last data byte. Bit images (ESC K L Y Z
 * * ^) and raster (ESC .) report ESCP_COMMAND at the header's end, then
 * their data bytes as ESCP_DATA; the image ends when parse is ESCP_IN_TEXT
 * again. */
struct EscpReader {
    uint8_t parse;      /* ESCP_IN_TEXT outside a command */
    uint8_t prefix;     /* ESC or FS */
    uint8_t command;
    uint8_t have;       /* parameters so far */
    uint8_t need;       /* parameters of the header */
    uint8_t last;       /* a list's value before */
    uint8_t repeat;     /* with ESCP_DATA: times the byte is drawn (a run) */
    uint8_t uses24Pin;  /* a command only 24-pin and ESC/P2 printers know was read */
    uint8_t params[ESCP_PARAMS];
    uint8_t imageModes[4]; /* the bit-image modes of ESC K, L, Y, Z (ESC ?) */
    uint32_t count;     /* data bytes still to come (raster: bytes once decoded) */
    uint32_t count2;    /* raster run: literal bytes left in it */
};

enum { ESCP_IN_TEXT = 0 };

/* The power-on state: outside any command, K L Y Z in modes 0 1 2 3. */
void EscpReset(EscpReader *reader);

/* Reads one byte; returns what it is (ESCP_TEXT ...). */
int EscpRead(EscpReader *reader, unsigned char b);

/* From offset on, in the state the reader is in: the next stretch of
 * command bytes, [*start, *end). The bytes from offset to *start are text.
 * Returns 0 when the bytes end with no further command byte (*start and
 * *end are then length); the reader is left where the bytes end, inside a
 * command that runs on, or after it. */
int EscpNextCommand(EscpReader *reader, const unsigned char *bytes, uint32_t length,
                    uint32_t offset, uint32_t *start, uint32_t *end);

/* Walking the text of an image: each call gives the next stretch of text,
 * [*from, *to), between commands; 0 once the image is done. A stretch may
 * be empty.
 *   EscpText text;
 *   EscpBeginText(&text, image, size);
 *   while (EscpNextText(&text, &from, &to)) ... */
struct EscpText {
    EscpReader reader;
    const unsigned char *bytes;
    uint32_t length;
    uint32_t offset;
    int done;
};
void EscpBeginText(EscpText *text, const unsigned char *bytes, uint32_t length);
int EscpNextText(EscpText *text, uint32_t *from, uint32_t *to);

/* The first ESC or FS in bytes, or length: where a file of plain text
 * stops being one. */
uint32_t EscpFirstCommand(const unsigned char *bytes, uint32_t length);

/* For the print job, which hands on what one pass found: the recoding and
 * the page cutting of engine.h, told or telling that the image is plain
 * text, with no ESC or FS at all. RecodeToCodePagePlain returns 1, and
 * RecodeForPrinterPlain sets *plain to 1, when the image it leaves is
 * such; 0 is "not known". SplitPagesByLinesPlain with plain 1 cuts as the
 * image is, with no look for commands. */
int RecodeToCodePagePlain(unsigned char *image, uint32_t size, uint32_t codePage, struct ActivityLogTag *log);
uint32_t RecodeForPrinterPlain(unsigned char *image, uint32_t size, uint32_t codePage,
                               struct ActivityLogTag *log, int *plain);
int SplitPagesByLinesPlain(const unsigned char *image, uint32_t size, unsigned char delimiter,
                           uint32_t lines, struct PageTable *table, uint32_t *pageCount, int plain);

/* A bit-image mode's column, 1/720 inch; 0 for a mode not drawn. Modes
 * from 32 up are 24 dots high, three bytes a column. */
uint32_t EscpDotStep(uint8_t mode);

/* 1 when the bytes use a command only 24-pin and ESC/P2 printers know:
 * ESC * 32-40, ESC ? with a mode of 32 or more, ESC +, FS 3, ESC ., and
 * ESC ( G U V v C c i e. */
int EscpUses24Pin(const unsigned char *bytes, uint32_t length);

#endif
