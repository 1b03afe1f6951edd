/* escp.cpp - the one reader of a printer's command stream (escp.h).
 *
 * How long each command is, in one place:
 *  - a fixed number of parameters (FixedParams), ESC C taking a second one
 *    after a NUL (the form in inches);
 *  - lists that a NUL or a value not above the one before ends, or their
 *    longest length: ESC D (32 stops), ESC B and ESC b m (16);
 *  - data whose length the header gives: bit images (ESC K L Y Z by the
 *    mode ESC ? gave them, ESC * m, ESC ^), ESC ( c nL nH, user-defined
 *    characters (ESC & NUL n m, each a0 a1 a2 and 3 x a1 bytes);
 *  - ESC/P2 raster (ESC . c v h m nL nH): m rows of nL + 256 nH dots, as they
 *    stand (c 0) or run-length coded (c 1), whose length is found by walking
 *    the counts: a count below 128 is that many + 1 bytes as they stand, from
 *    128 up it is one byte 257 - count times, until the rows are full;
 *  - FS 3 n, NEC's line spacing; FS before any other byte is a control byte
 *    alone. */
#include <string.h>

#include "escp.h"

#include "byte_words.h"

/* Where the reader is. */
enum {
    ST_TEXT = ESCP_IN_TEXT,
    ST_ESCAPE,       /* ESC seen: the command byte next */
    ST_FS,           /* FS seen: a command only when 3 follows */
    ST_PARAMS,       /* the header's fixed parameters */
    ST_PAREN,        /* ESC ( : the sub-command and the length */
    ST_PAREN_DATA,   /* ESC ( : count data bytes */
    ST_DATA,         /* count bytes of dots */
    ST_SKIP,         /* count bytes passed over */
    ST_LIST,         /* a list of at most need values */
    ST_RLE,          /* raster: a count byte next */
    ST_RLE_LITERAL,  /* raster: count2 bytes as they stand */
    ST_RLE_REPEAT,   /* raster: the byte repeated repeat times */
    ST_CHARS         /* user-defined characters: count left */
};

/* Parameter bytes after the command byte of ESC; 0 for every command not
 * listed. Those with data or a list after them go on in Finish. */
static uint8_t FixedParams(unsigned char command)
{
    switch (command) {
    case ' ': case '!': case '%': case '+': case '-': case '/': case '3': case 'A': case 'C':
    case 'I': case 'J': case 'N': case 'Q': case 'R': case 'S': case 'U': case 'W': case 'a':
    case 'i': case 'j': case 'k': case 'l': case 'p': case 'q': case 'r': case 's': case 't':
    case 'w': case 'x': case 'h': case 'm': case 'u': case 0x19: case 'b':
        return 1;
    case '$': case '?': case '\\': case 'c': case 'e': case 'f': case 'K': case 'L': case 'Y':
    case 'Z':
        return 2;
    case ':': case 'X': case '*': case '^': case '&':
        return 3;
    case '.':
        return 6;
    default:
        return 0;
    }
}

uint32_t EscpDotStep(uint8_t mode)
{
    static const uint8_t eightDot[8] = {12, 6, 6, 3, 9, 10, 8, 5}; /* 60 120 120 240 80 72 90 144 dpi */

    if (mode < 8)
        return eightDot[mode];
    switch (mode) {
    case 32: return 12;
    case 33: return 6;
    case 35: return 3; /* 240 dpi, as drivers of 216-line printers send it */
    case 38: return 8;
    case 39: return 4;
    case 40: return 2;
    default: return 0;
    }
}

void EscpReset(EscpReader *reader)
{
    memset(reader, 0, sizeof *reader);
    for (uint8_t i = 0; i < 4; i++)
        reader->imageModes[i] = i; /* K 60, L 120, Y 120, Z 240 dpi */
}

static void StartList(EscpReader *r, uint8_t longest)
{
    r->parse = ST_LIST;
    r->need = longest;
    r->have = 0;
    r->last = 0;
}

/* Data of count bytes in state kind; none leaves the command done. */
static void StartData(EscpReader *r, uint8_t kind, uint32_t count)
{
    r->count = count;
    r->parse = count ? kind : (uint8_t)ST_TEXT;
}

/* The header is complete: what follows it, if anything. */
static int Finish(EscpReader *r)
{
    const uint8_t *p = r->params;
    uint32_t n;

    r->parse = ST_TEXT;
    if (r->prefix == ESCP_FS) {
        r->uses24Pin = 1; /* FS 3 n */
        return ESCP_COMMAND;
    }
    switch (r->command) {
    case '@':
        for (uint8_t i = 0; i < 4; i++)
            r->imageModes[i] = i;
        break;
    case '?': {
        /* ESC ? n m: ESC n prints in mode m from now on. */
        const char *which = "KLYZ";
        for (uint32_t i = 0; i < 4; i++) {
            if (p[0] == (uint8_t)which[i] && EscpDotStep(p[1]))
                r->imageModes[i] = p[1];
        }
        if (p[1] >= 32)
            r->uses24Pin = 1;
        break;
    }
    case 'K': case 'L': case 'Y': case 'Z': {
        uint8_t mode = r->imageModes[r->command == 'K' ? 0 : r->command == 'L' ? 1 : r->command == 'Y' ? 2 : 3];
        n = p[0] + 256u * p[1];
        StartData(r, ST_DATA, mode >= 32 ? 3 * n : n);
        break;
    }
    case '*':
        n = p[1] + 256u * p[2];
        n *= p[0] >= 64 ? 6 : p[0] >= 32 ? 3 : 1;
        if (p[0] >= 32 && p[0] <= 40)
            r->uses24Pin = 1;
        /* Modes that are not drawn are passed over. */
        StartData(r, EscpDotStep(p[0]) ? (uint8_t)ST_DATA : (uint8_t)ST_SKIP, n);
        break;
    case '^':
        StartData(r, ST_DATA, 2u * (p[1] + 256u * p[2]));
        break;
    case '.':
        /* ESC . c v h m nL nH: m rows of nL + 256 nH dots. */
        n = p[3] * ((p[4] + 256u * p[5] + 7) / 8);
        r->uses24Pin = 1;
        StartData(r, p[0] == 1 ? (uint8_t)ST_RLE : p[0] == 0 ? (uint8_t)ST_DATA : (uint8_t)ST_SKIP, n);
        break;
    case '&':
        /* ESC & NUL n m: characters n to m. */
        if (p[2] >= p[1]) {
            r->count = (uint32_t)(p[2] - p[1]) + 1;
            r->have = 0;
            r->parse = ST_CHARS;
        }
        break;
    case 'b':
        /* ESC b m n1 ... NUL: the list follows its channel. */
        StartList(r, 16);
        break;
    case '+':
        r->uses24Pin = 1;
        break;
    case '(':
        if (p[0] && strchr("GUVvCcie", p[0]))
            r->uses24Pin = 1;
        break;
    default:
        break;
    }
    return ESCP_COMMAND;
}

static int Start(EscpReader *r, uint8_t prefix, unsigned char command)
{
    r->prefix = prefix;
    r->command = command;
    r->have = 0;
    memset(r->params, 0, sizeof r->params);
    if (prefix == ESCP_FS) {
        r->need = 1;
        r->parse = ST_PARAMS;
        return ESCP_PARAM;
    }
    switch (command) {
    case 'D':
        /* A new list replaces the stops; ESC D NUL leaves none. */
        StartList(r, 32);
        return ESCP_COMMAND;
    case 'B':
        StartList(r, 16);
        return ESCP_COMMAND;
    case '(':
        r->need = 3;
        r->parse = ST_PAREN;
        return ESCP_PARAM;
    default:
        break;
    }
    r->need = FixedParams(command);
    if (r->need == 0)
        return Finish(r);
    r->parse = ST_PARAMS;
    return ESCP_PARAM;
}

int EscpRead(EscpReader *r, unsigned char b)
{
    switch (r->parse) {
    case ST_TEXT:
        if (b == ESCP_ESC)
            r->parse = ST_ESCAPE;
        else if (b == ESCP_FS)
            r->parse = ST_FS;
        return ESCP_TEXT;
    case ST_ESCAPE:
        return Start(r, ESCP_ESC, b);
    case ST_FS:
        if (b == '3')
            return Start(r, ESCP_FS, b);
        /* A lone FS: this byte is text again, and may start a command. */
        r->parse = ST_TEXT;
        return EscpRead(r, b);
    case ST_PARAMS:
        r->params[r->have++] = b;
        /* ESC C NUL n: the form in inches. */
        if (r->prefix == ESCP_ESC && r->command == 'C' && r->have == 1 && b == 0)
            r->need = 2;
        return r->have < r->need ? ESCP_PARAM : Finish(r);
    case ST_PAREN:
        r->params[r->have++] = b;
        if (r->have < 3)
            return ESCP_PARAM;
        r->count = r->params[1] + 256u * r->params[2];
        if (r->count == 0)
            return Finish(r);
        r->parse = ST_PAREN_DATA;
        return ESCP_PARAM;
    case ST_PAREN_DATA:
        /* The first data bytes are kept with the header. */
        if (r->have < ESCP_PARAMS)
            r->params[r->have++] = b;
        return --r->count ? ESCP_PARAM : Finish(r);
    case ST_DATA:
        r->repeat = 1;
        if (--r->count == 0)
            r->parse = ST_TEXT;
        return ESCP_DATA;
    case ST_SKIP:
        if (--r->count == 0)
            r->parse = ST_TEXT;
        return ESCP_SKIP;
    case ST_LIST:
        /* Ascending values: a NUL or one not above the last ends the list. */
        if (b <= r->last) {
            r->parse = ST_TEXT;
            return ESCP_PARAM;
        }
        r->last = b;
        if (++r->have >= r->need)
            r->parse = ST_TEXT;
        return ESCP_LIST;
    case ST_RLE:
        if (b >= 128) {
            r->repeat = (uint8_t)(257 - b);
            r->parse = ST_RLE_REPEAT;
        } else {
            r->count2 = (uint32_t)b + 1;
            r->parse = ST_RLE_LITERAL;
        }
        return ESCP_PARAM;
    case ST_RLE_REPEAT:
        /* A run longer than what is left of the rows is cut there. */
        if (r->repeat > r->count)
            r->repeat = (uint8_t)r->count;
        r->count -= r->repeat;
        r->parse = r->count ? ST_RLE : ST_TEXT;
        return ESCP_DATA;
    case ST_RLE_LITERAL:
        r->repeat = 1;
        r->count--;
        r->count2--;
        r->parse = r->count == 0 ? ST_TEXT : r->count2 == 0 ? ST_RLE : ST_RLE_LITERAL;
        return ESCP_DATA;
    case ST_CHARS:
        /* params[3..5]: the character's a0 a1 a2; then its 3 x a1 bytes. */
        if (r->have < 3) {
            r->params[3 + r->have++] = b;
            if (r->have < 3)
                return ESCP_SKIP;
            r->count2 = 3u * r->params[4];
            if (r->count2 > 0)
                return ESCP_SKIP;
        } else if (--r->count2 > 0) {
            return ESCP_SKIP;
        }
        r->have = 0;
        if (--r->count == 0)
            r->parse = ST_TEXT;
        return ESCP_SKIP;
    default:
        r->parse = ST_TEXT;
        return ESCP_TEXT;
    }
}

uint32_t EscpFirstCommand(const unsigned char *bytes, uint32_t length)
{
    const ByteWord escapes = ESCP_ESC * EveryByte;
    const ByteWord separators = ESCP_FS * EveryByte;
    uint32_t i = 0;

    /* What is left is counted as length - i: i + WORD_BYTES wraps just under
     * 4 GB. */
    for (; length - i >= 2 * WORD_BYTES; i += 2 * WORD_BYTES) {
        ByteWord first = LoadWord(bytes + i);
        ByteWord second = LoadWord(bytes + i + WORD_BYTES);
        if (MatchingBytes(first, escapes) | MatchingBytes(first, separators) |
            MatchingBytes(second, escapes) | MatchingBytes(second, separators))
            break;
    }
    for (; i < length; i++) {
        if (bytes[i] == ESCP_ESC || bytes[i] == ESCP_FS)
            return i;
    }
    return length;
}

int EscpNextCommand(EscpReader *r, const unsigned char *bytes, uint32_t length, uint32_t offset,
                    uint32_t *start, uint32_t *end)
{
    uint32_t i = offset;

    while (i < length) {
        if (r->parse == ST_TEXT) {
            i += EscpFirstCommand(bytes + i, length - i);
            if (i >= length)
                break;
            EscpRead(r, bytes[i++]);
            continue;
        }
        if (r->parse == ST_FS && bytes[i] != '3') {
            r->parse = ST_TEXT;
            continue;
        }
        *start = i;
        while (i < length && r->parse != ST_TEXT) {
            /* Dots and other counted data: all but the last byte at once. */
            if ((r->parse == ST_DATA || r->parse == ST_SKIP) && r->count > 1) {
                uint32_t n = r->count - 1 < length - i ? r->count - 1 : length - i;
                r->count -= n;
                i += n;
                continue;
            }
            EscpRead(r, bytes[i++]);
        }
        *end = i;
        return 1;
    }
    *start = length;
    *end = length;
    return 0;
}

int EscpUses24Pin(const unsigned char *bytes, uint32_t length)
{
    EscpReader reader;
    uint32_t offset = 0, start, end;

    EscpReset(&reader);
    while (!reader.uses24Pin && EscpNextCommand(&reader, bytes, length, offset, &start, &end))
        offset = end;
    return reader.uses24Pin;
}

void EscpBeginText(EscpText *text, const unsigned char *bytes, uint32_t length)
{
    EscpReset(&text->reader);
    text->bytes = bytes;
    text->length = length;
    text->offset = 0;
    text->done = 0;
}

int EscpNextText(EscpText *text, uint32_t *from, uint32_t *to)
{
    uint32_t start, end;

    if (text->done)
        return 0;
    *from = text->offset;
    if (!EscpNextCommand(&text->reader, text->bytes, text->length, text->offset, &start, &end))
        text->done = 1;
    *to = start;
    text->offset = end;
    return 1;
}
