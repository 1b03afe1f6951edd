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
#include "escp.h"

/* Unicode to the printer's byte: one table for U+0000-U+07FF (ASCII,
 * Latin-1 signs, Cyrillic), so that a two-byte UTF-8 sequence costs one
 * look-up, and rows for the punctuation, №, ∙ √, box drawing and blocks.
 * Every other character is "?". */
enum { LOW_CHARACTERS = 0x800, MAP_ROWS = 4, NO_CHARACTER = 0xFFFFFFFFu };
struct DosMap {
    unsigned char low[LOW_CHARACTERS];
    unsigned char rows[MAP_ROWS][256];
};

/* Where the map keeps the character, or NULL for none of its rows. */
static inline const unsigned char *MapPlace(const DosMap *map, uint32_t unicode)
{
    if (unicode < LOW_CHARACTERS)
        return &map->low[unicode];
    switch (unicode >> 8) {
    case 0x20: return &map->rows[0][unicode & 255];
    case 0x21: return &map->rows[1][unicode & 255];
    case 0x22: return &map->rows[2][unicode & 255];
    case 0x25: return &map->rows[3][unicode & 255];
    default: return NULL;
    }
}

static inline unsigned char ToDos(const DosMap *map, uint32_t unicode)
{
    const unsigned char *place = MapPlace(map, unicode);

    return place ? *place : '?';
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
    for (unsigned c = 0; c < 128; c++)
        map->low[c] = (unsigned char)c;
    for (unsigned i = 0; i < 128; i++) {
        unsigned char *place = (unsigned char *)MapPlace(map, high[i]);
        if (place)
            *place = (unsigned char)(128 + i);
    }
    /* Only where the character has no place, and never a look-alike that
     * has none itself (the bullet in 1125, where ∙ gave way to ї). */
    for (unsigned i = 0; i < sizeof LookAlikes / sizeof LookAlikes[0]; i++) {
        unsigned char *place = (unsigned char *)MapPlace(map, LookAlikes[i][0]);
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

/* ---- Valid UTF-8, a byte and the next at a time ---------------------------
 *
 * Text made of ASCII and two-byte sequences (the whole of a Russian or
 * Ukrainian text but for the odd dash or №) is checked and decoded without
 * a branch that depends on it: every byte is looked up together with the
 * byte after it, PairTable[c | next << 8]. The entry says what c prints as
 * when it starts a character, and whether the pair is wrong: a lead
 * C2-DF not followed by a continuation byte, a continuation byte after
 * anything but such a lead (or a continuation that follows one), or a byte
 * that never occurs (C0 C1 F5-FF). Leads E0-F4 go to TakeSequence. The
 * table depends on nothing but the code page: it is built again only when
 * a job's code page is not the last one's. In .bss it costs nothing in the
 * program file. */
enum { PAIR_BAD = 0x100, PAIR_CYRILLIC = 0x200, PAIR_LONG = 0x400, PAIR_STARTS = 0x8000 };
static uint16_t PairTable[65536];
static uint32_t PairTableCodePage; /* 0: not built yet */

static inline int IsContinuation(unsigned c)
{
    return (c & 0xC0) == 0x80;
}

static void BuildPairTable(const DosMap *map, uint32_t codePage)
{
    if (PairTableCodePage == codePage)
        return;
    PairTableCodePage = codePage;
    for (unsigned c = 0; c < 256; c++) {
        unsigned lead = c >= 0xC2 && c <= 0xDF;
        for (unsigned next = 0; next < 256; next++) {
            unsigned entry;
            if (c >= 0xE0 && c <= 0xF4) {
                entry = PAIR_LONG;
            } else {
                entry = c < 0x80 ? c : lead ? map->low[(c & 0x1F) << 6 | (next & 0x3F)] : '?';
                if (c == 0xC0 || c == 0xC1 || c >= 0xF5 || lead != (unsigned)IsContinuation(next))
                    entry |= PAIR_BAD;
                if (c >= 0xD0 && c <= 0xD3)
                    entry |= PAIR_CYRILLIC;
                if (!IsContinuation(c))
                    entry |= PAIR_STARTS;
            }
            PairTable[c | next << 8] = (uint16_t)entry;
        }
    }
}

/* A branch the loops below seldom take: laid out away from their path. */
#define Rare(condition) __builtin_expect((condition) != 0, 0)

static inline unsigned PairAt(const unsigned char *p)
{
    return PairTable[p[0] | p[1] << 8];
}

enum { NOT_UTF8 = 0, UTF8_PLAIN = 1, UTF8_CYRILLIC = 2 };
enum { CHECK_BLOCK = 64 };

/* The sequence led by E0-F4 at p, before end: the byte after it, or NULL
 * when it is ill-formed or a stray continuation byte follows it. Out of
 * line, to leave the loops below their registers. */
static __attribute__((noinline)) const unsigned char *SkipLongSequence(const unsigned char *p,
                                                                      const unsigned char *end)
{
    uint32_t unicode;

    p += TakeSequence(p, (uint32_t)(end - p), &unicode);
    return unicode != NO_CHARACTER && (p == end || !IsContinuation(*p)) ? p : NULL;
}

/* Whether image[i..size) is valid UTF-8, and whether it holds a Cyrillic
 * letter (leads D0-D3: U+0400-U+04FF). One pass, which stops in the block
 * of 64 bytes that holds the first invalid byte. */
/* The two loops over every byte of a UTF-8 file are built for speed even
 * where the rest of the program is built for size. */
#if defined(__GNUC__) && !defined(__clang__)
#define HOT_LOOP __attribute__((optimize("O2")))
#else
#define HOT_LOOP
#endif

static HOT_LOOP int CheckUtf8(const unsigned char *image, uint32_t size, uint32_t i,
                              const unsigned char **stop)
{
    const unsigned char *p = image + i, *end = image + size;
    unsigned seen = 0;

    /* Where the answer came from: every byte it read lies before *stop. */
    *stop = end;
    if (p < end && IsContinuation(*p)) {
        *stop = p + 1;
        return NOT_UTF8;
    }
    /* Blocks that leave two bytes after them, so that both pairs of a
     * round are in the image. */
    while (end - p > CHECK_BLOCK + 1) {
        const unsigned char *blockEnd = p + CHECK_BLOCK;
        while (p < blockEnd) {
            unsigned first = PairAt(p), second = PairAt(p + 1);
            if (Rare((first | second) & PAIR_LONG)) {
                if (first & PAIR_LONG) {
                    const unsigned char *from = p;
                    p = SkipLongSequence(p, end);
                    if (!p) {
                        *stop = end - from > 5 ? from + 5 : end;
                        return NOT_UTF8;
                    }
                } else {
                    seen |= first;
                    p++;
                }
                continue;
            }
            seen |= first | second;
            p += 2;
        }
        if (seen & PAIR_BAD) {
            *stop = end - p > 2 ? p + 2 : end;
            return NOT_UTF8;
        }
    }
    while (p < end) {
        unsigned next = end - p >= 2 ? p[1] : 0;
        unsigned entry = PairTable[p[0] | next << 8];
        if (Rare(entry & PAIR_LONG)) {
            p = SkipLongSequence(p, end);
            if (!p)
                return NOT_UTF8;
            continue;
        }
        seen |= entry;
        p++;
    }
    if (seen & PAIR_BAD)
        return NOT_UTF8;
    return seen & PAIR_CYRILLIC ? UTF8_CYRILLIC : UTF8_PLAIN;
}

/* The same over the text of image[i..size) alone: the bytes of printer
 * commands (escp.h) are no characters, and each stretch of text must be
 * valid by itself. *commands says whether there are any. The whole image
 * is checked first: a text that fails before its first command fails
 * without a look further, and one without commands is checked once. */
static int CheckUtf8Text(const unsigned char *image, uint32_t size, uint32_t i, int *commands)
{
    EscpText text;
    uint32_t from, to;
    const unsigned char *stop;
    int found = CheckUtf8(image, size, i, &stop);
    uint32_t checked = (uint32_t)(stop - image) - i;

    *commands = 1;
    if (EscpFirstCommand(image + i, checked) == checked) {
        if (found == NOT_UTF8)
            return NOT_UTF8;
        if (checked == size - i) {
            *commands = 0;
            return found;
        }
    }
    found = UTF8_PLAIN;
    EscpBeginText(&text, image + i, size - i);
    while (EscpNextText(&text, &from, &to)) {
        int stretch = CheckUtf8(image, i + to, i + from, &stop);
        if (stretch == NOT_UTF8)
            return NOT_UTF8;
        if (stretch == UTF8_CYRILLIC)
            found = UTF8_CYRILLIC;
    }
    return found;
}

/* The character led by E0-F4 at p, before end, decoded to *to; returns
 * the byte after it. */
static __attribute__((noinline)) const unsigned char *DecodeLongSequence(const unsigned char *p,
                                                                        const unsigned char *end,
                                                                        unsigned char *to, const DosMap *map)
{
    uint32_t unicode;

    p += TakeSequence(p, (uint32_t)(end - p), &unicode);
    *to = ToDos(map, unicode);
    return p;
}

/* Decodes image[i..size), known to be valid, into the image's own first
 * bytes; returns how many it wrote. A continuation byte writes its pair's
 * entry too, but does not count it: the next character's byte goes over
 * it. Every byte is read before any write reaches it. */
static HOT_LOOP uint32_t DecodeValidUtf8(unsigned char *image, uint32_t size, uint32_t i,
                                          const DosMap *map, unsigned char *out)
{
    const unsigned char *p = image + i, *end = image + size;
    unsigned char *first = out;

    /* Two bytes a round: both pairs are read before either write. */
    while (end - p >= 3) {
        unsigned first = PairAt(p), second = PairAt(p + 1);
        if (Rare((first | second) & PAIR_LONG)) {
            if (first & PAIR_LONG) {
                p = DecodeLongSequence(p, end, out++, map);
            } else {
                *out = (unsigned char)first;
                out += first >> 15; /* PAIR_STARTS */
                p++;
            }
            continue;
        }
        *out = (unsigned char)first;
        out += first >> 15;
        *out = (unsigned char)second;
        out += second >> 15;
        p += 2;
    }
    if (end - p == 2) {
        unsigned entry = PairAt(p);
        if (entry & PAIR_LONG) {
            p = DecodeLongSequence(p, end, out++, map);
        } else {
            *out = (unsigned char)entry;
            out += entry >> 15;
            p++;
        }
    }
    if (p < end && *p < 0x80)
        *out++ = *p; /* else the end of the last character */
    return (uint32_t)(out - first);
}

/* The same for any bytes: every ill-formed piece becomes one "?". */
static uint32_t DecodeUtf8(unsigned char *image, uint32_t size, uint32_t i, const DosMap *map,
                           unsigned char *to)
{
    uint32_t out = 0;

    while (i < size) {
        unsigned c = image[i];
        uint32_t unicode;

        if (c < 0x80) {
            to[out++] = (unsigned char)c;
            i++;
            continue;
        }
        i += TakeSequence(image + i, size - i, &unicode);
        to[out++] = unicode == NO_CHARACTER ? '?' : ToDos(map, unicode);
    }
    return out;
}

/* Decodes the text of image[i..size) into the image's own first bytes,
 * valid or not; the bytes of printer commands are moved down as they are.
 * Returns the length written. */
static uint32_t DecodeUtf8Text(unsigned char *image, uint32_t size, uint32_t i, const DosMap *map,
                               int valid, int commands)
{
    EscpText text;
    uint32_t from, to, out = 0;

    if (!commands)
        return valid ? DecodeValidUtf8(image, size, i, map, image) : DecodeUtf8(image, size, i, map, image);

    EscpBeginText(&text, image + i, size - i);
    while (EscpNextText(&text, &from, &to)) {
        out += valid ? DecodeValidUtf8(image, i + to, i + from, map, image + out)
                     : DecodeUtf8(image, i + to, i + from, map, image + out);
        /* The command that follows, up to the next stretch of text. */
        if (text.offset > to) {
            memmove(image + out, image + i + to, text.offset - to);
            out += text.offset - to;
        }
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

uint32_t RecodeForPrinterPlain(unsigned char *image, uint32_t size, uint32_t codePage, ActivityLog log,
                               int *plain)
{
    /* On the stack, like the byte counts: nothing here can fail. */
    DosMap map;
    uint32_t kept;

    *plain = 0;
    codePage = CodePageFromSetting(codePage);
    BuildDosMap(&map, codePage);
    if (size >= 2 && ((image[0] == 0xFF && image[1] == 0xFE) || (image[0] == 0xFE && image[1] == 0xFF))) {
        kept = DecodeUtf16(image, size, image[0] == 0xFE, &map);
    } else {
        BuildPairTable(&map, codePage);
        int commands;
        if (size >= 3 && image[0] == 0xEF && image[1] == 0xBB && image[2] == 0xBF) {
            int valid = CheckUtf8Text(image, size, 3, &commands) != NOT_UTF8;
            kept = DecodeUtf8Text(image, size, 3, &map, valid, commands);
        } else if (CheckUtf8Text(image, size, 0, &commands) == UTF8_CYRILLIC) {
            kept = DecodeUtf8Text(image, size, 0, &map, 1, commands);
        } else {
            *plain = RecodeToCodePagePlain(image, size, codePage, log);
            return size;
        }
    }
    LogLine(log, TextRecoding);
    return kept;
}

uint32_t RecodeForPrinter(unsigned char *image, uint32_t size, uint32_t codePage, ActivityLog log)
{
    int plain;

    return RecodeForPrinterPlain(image, size, codePage, log, &plain);
}
