/* unicode_input.cpp - UTF-16 and UTF-8 text recoded for the printer's DOS
 * code page, in front of the Windows-1251 rule.
 *
 * With Convert To Dos on, the image is looked at in this order:
 *  1. FF FE or FE FF first: UTF-16, little- or big-endian, the mark dropped;
 *     an unpaired surrogate or an odd last byte prints as "?";
 *  2. EF BB BF first, or no mark but valid UTF-8 throughout (shortest forms,
 *     no surrogates, nothing above U+10FFFF) with at least one Cyrillic
 *     letter (U+0400-U+04FF): UTF-8, the mark dropped; after a mark every
 *     ill-formed piece (the longest start of a sequence that could still
 *     have been valid, else one byte) prints as one "?";
 *  3. anything else: the Windows-1251 rule and table (recode.cpp).
 * A decoded character goes to its place in the code page; the quotes,
 * dashes, bullet and the letters the code page lacks print as the same
 * look-alikes as in the Windows-1251 table; anything else is "?". ASCII
 * passes unchanged. Every character takes at least one byte of the input
 * and gives exactly one, so the text is rewritten in place and only ever
 * shrinks. */
#include <string.h>

#include "engine.h"

/* Unicode to the printer's byte for the rows that hold a character of
 * either code page: Latin-1 signs, Cyrillic, punctuation, №, ∙ √, box
 * drawing and blocks. Every other character is "?". */
enum { MAP_ROWS = 6, NO_CHARACTER = 0xFFFFFFFFu };
struct DosMap {
    unsigned char rows[MAP_ROWS][256];
};

static int MapRow(uint32_t unicode)
{
    switch (unicode >> 8) {
    case 0x00: return 0;
    case 0x04: return 1;
    case 0x20: return 2;
    case 0x21: return 3;
    case 0x22: return 4;
    case 0x25: return 5;
    default: return -1;
    }
}

static inline unsigned char ToDos(const DosMap *map, uint32_t unicode)
{
    int row;

    if (unicode < 0x80)
        return (unsigned char)unicode;
    row = MapRow(unicode);
    return row < 0 ? '?' : map->rows[row][unicode & 255];
}

/* Characters without a place of their own, and what they print as when
 * that one has a place: the Windows-1251 table's look-alikes. */
static const uint16_t LookAlikes[][2] = {
    {0x201A, ','},    {0x201E, '"'},    {0x201C, '"'},    {0x201D, '"'},    {0x00AB, '"'},
    {0x00BB, '"'},    {0x2018, '\''},   {0x2019, '\''},   {0x2039, '<'},    {0x203A, '>'},
    {0x2013, '-'},    {0x2014, '-'},    {0x00AD, '-'},    {0x2022, 0x2219}, /* • as ∙ */
    {0x0406, 'I'},    {0x0456, 'i'},    {0x0490, 0x0413}, {0x0491, 0x0433}, /* І і Ґ ґ as I i Г г */
    {0x040E, 0x0423}, {0x045E, 0x0443},                                     /* Ў ў as У у */
};

static void BuildDosMap(DosMap *map, uint32_t codePage)
{
    const uint16_t *high = CodePageHighHalf(codePage);

    memset(map, '?', sizeof *map);
    for (unsigned i = 0; i < 128; i++) {
        int row = MapRow(high[i]);
        if (row >= 0)
            map->rows[row][high[i] & 255] = (unsigned char)(128 + i);
    }
    /* Only where the character has no place, and never a look-alike that
     * has none itself (the bullet in 1125, where ∙ gave way to ї). */
    for (unsigned i = 0; i < sizeof LookAlikes / sizeof LookAlikes[0]; i++) {
        unsigned char *place = &map->rows[MapRow(LookAlikes[i][0])][LookAlikes[i][0] & 255];
        if (*place == '?')
            *place = ToDos(map, LookAlikes[i][1]);
    }
}

/* ---- UTF-8 ------------------------------------------------------------------ */

/* One sequence at p (left bytes, at least 1, p[0] above 127). Returns the
 * bytes it takes and sets *unicode, or NO_CHARACTER for an ill-formed piece:
 * the bytes up to the first that cannot continue it (at least one). The
 * bounds on the second byte keep out overlong forms (C0 C1, E0 below A0,
 * F0 below 90), surrogates (ED from A0) and what lies above U+10FFFF (F4
 * from 90, F5 on). */
static uint32_t TakeSequence(const unsigned char *p, uint32_t left, uint32_t *unicode)
{
    unsigned lead = p[0];
    unsigned low = 0x80, high = 0xBF;
    uint32_t need, value, n;

    *unicode = NO_CHARACTER;
    if (lead < 0xC2 || lead > 0xF4)
        return 1;
    if (lead < 0xE0) {
        need = 1;
        value = lead & 0x1F;
    } else if (lead < 0xF0) {
        need = 2;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else {
        need = 3;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    for (n = 1; n <= need; n++) {
        if (n >= left || p[n] < low || p[n] > high)
            return n;
        value = value << 6 | (p[n] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *unicode = value;
    return n;
}

/* Four ASCII bytes at p (the image need not be aligned). */
static inline int FourAscii(const unsigned char *p)
{
    uint32_t word;

    memcpy(&word, p, sizeof word);
    return (word & 0x80808080u) == 0;
}

/* 1 when the whole image is valid UTF-8 and holds a Cyrillic letter; one
 * pass that stops at the first byte that makes it invalid. */
static int IsCyrillicUtf8(const unsigned char *image, uint32_t size)
{
    int cyrillic = 0;
    uint32_t i = 0;

    while (i < size) {
        unsigned c = image[i];
        uint32_t unicode;

        if (c < 0x80) {
            i++;
            while (size - i >= 4 && FourAscii(image + i))
                i += 4;
            continue;
        }
        /* D0-D3 with a continuation: Cyrillic, the bulk of such a text. */
        if (c >= 0xD0 && c <= 0xD3 && size - i >= 2 && (image[i + 1] & 0xC0) == 0x80) {
            cyrillic = 1;
            i += 2;
            continue;
        }
        i += TakeSequence(image + i, size - i, &unicode);
        if (unicode == NO_CHARACTER)
            return 0;
        if (unicode >= 0x0400 && unicode <= 0x04FF)
            cyrillic = 1;
    }
    return cyrillic;
}

/* Decodes image[start..size) into the image's own first bytes; returns how
 * many it wrote. */
static uint32_t DecodeUtf8(unsigned char *image, uint32_t size, uint32_t start, const DosMap *map)
{
    const unsigned char *cyrillic = map->rows[1];
    uint32_t out = 0, i = start;

    while (i < size) {
        unsigned c = image[i];
        uint32_t unicode;

        if (c < 0x80) {
            image[out++] = (unsigned char)c;
            i++;
            continue;
        }
        if (c >= 0xD0 && c <= 0xD3 && size - i >= 2 && (image[i + 1] & 0xC0) == 0x80) {
            image[out++] = cyrillic[(c & 0x03) << 6 | (image[i + 1] & 0x3F)];
            i += 2;
            continue;
        }
        i += TakeSequence(image + i, size - i, &unicode);
        image[out++] = unicode == NO_CHARACTER ? '?' : ToDos(map, unicode);
    }
    return out;
}

/* ---- UTF-16 ----------------------------------------------------------------- */

static uint32_t DecodeUtf16(unsigned char *image, uint32_t size, int bigEndian, const DosMap *map)
{
    const int first = bigEndian ? 0 : 1; /* the index of the high byte of a unit */
    uint32_t out = 0, i = 2;

    while (size - i >= 2) {
        uint32_t unit = (uint32_t)image[i + first] << 8 | image[i + 1 - first];
        i += 2;
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            /* A pair is a character beyond every DOS code page: one "?",
             * as is a surrogate without its partner. */
            if (unit <= 0xDBFF && size - i >= 2) {
                uint32_t next = (uint32_t)image[i + first] << 8 | image[i + 1 - first];
                if (next >= 0xDC00 && next <= 0xDFFF)
                    i += 2;
            }
            image[out++] = '?';
            continue;
        }
        image[out++] = ToDos(map, unit);
    }
    if (i < size)
        image[out++] = '?'; /* the odd last byte */
    return out;
}

/* ---- The whole image ---------------------------------------------------- */

uint32_t RecodeForPrinter(unsigned char *image, uint32_t size, uint32_t codePage, ActivityLog log)
{
    /* On the stack, like the byte counts: nothing here can fail. */
    DosMap map;
    uint32_t kept;

    codePage = CodePageFromSetting(codePage);
    if (size >= 2 && ((image[0] == 0xFF && image[1] == 0xFE) || (image[0] == 0xFE && image[1] == 0xFF))) {
        BuildDosMap(&map, codePage);
        kept = DecodeUtf16(image, size, image[0] == 0xFE, &map);
    } else if (size >= 3 && image[0] == 0xEF && image[1] == 0xBB && image[2] == 0xBF) {
        BuildDosMap(&map, codePage);
        kept = DecodeUtf8(image, size, 3, &map);
    } else if (IsCyrillicUtf8(image, size)) {
        BuildDosMap(&map, codePage);
        kept = DecodeUtf8(image, size, 0, &map);
    } else {
        RecodeToCodePage(image, size, codePage, log);
        return size;
    }
    LogLine(log, TextRecoding);
    return kept;
}
