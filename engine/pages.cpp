/* pages.cpp - cutting the file image into pages at the delimiter byte. */
#include <string.h>

#include "engine.h"

#include "byte_words.h"
#include "escp.h"

/* Both passes look at a word of bytes at a time (byte_words.h). The loops
 * count what is left (size - i) rather than i + WORD_BYTES, which wraps
 * just under 4 GB in a 32-bit process. */
/* With look, also says whether a byte may start a printer command
 * (CommandStartBytes), looked for on the way; without, *commands is 0 and
 * the loop is the count alone. Always inlined, so each caller gets the loop
 * it asks for. */
static inline __attribute__((always_inline)) uint32_t CountDelimiters(const unsigned char *image,
                                                                      uint32_t size, unsigned char delimiter,
                                                                      int look, int *commands)
{
    const ByteWord pattern = delimiter * EveryByte;
    uint32_t count = 0;
    uint32_t i = 0;
    ByteWord starts = 0;

    for (; size - i >= 2 * WORD_BYTES; i += 2 * WORD_BYTES) {
        ByteWord firstWord = LoadWord(image + i), secondWord = LoadWord(image + i + WORD_BYTES);
        ByteWord first = MatchingBytes(firstWord, pattern);
        ByteWord second = MatchingBytes(secondWord, pattern);
        /* At most two a byte, 16 in all: one sum for both words. */
        count += SumOfBytes((first >> 7) + (second >> 7));
        if (look)
            starts |= CommandStartBits(firstWord) | CommandStartBits(secondWord);
    }
    starts &= TopBits;
    for (; i < size; i++) {
        count += image[i] == delimiter;
        if (look)
            starts |= image[i] == ESCP_ESC || image[i] == ESCP_FS;
    }
    *commands = starts != 0;
    return count;
}

/* The first delimiter in [p, end), or end. Two words a step, with the
 * count of steps worked out once: the pair that holds one, and what is
 * left after the last pair, are looked at byte by byte. */
static const unsigned char *FindDelimiter(const unsigned char *p, const unsigned char *end,
                                          unsigned char delimiter)
{
    const ByteWord pattern = delimiter * EveryByte;

    for (size_t pairs = (size_t)(end - p) / (2 * WORD_BYTES); pairs; pairs--, p += 2 * WORD_BYTES) {
        if (AnyMatchingByte(LoadWord(p), pattern) | AnyMatchingByte(LoadWord(p + WORD_BYTES), pattern))
            break;
    }
    while (p < end && *p != delimiter)
        p++;
    return p;
}

void FreePageTable(PageTable *table)
{
    HANDLE heap = GetProcessHeap();

    if (table->PageStarts)
        HeapFree(heap, 0, table->PageStarts);
    if (table->PageEnds)
        HeapFree(heap, 0, table->PageEnds);
    table->PageStarts = NULL;
    table->PageEnds = NULL;
    table->Entries = 0;
}

/* Both arrays at their exact size, once; 0 (and no table) when they cannot
 * be had. In a 32-bit process a gigabyte of pages would make the byte count
 * wrap: no table then either. */
static int AllocatePageTable(PageTable *table, uint32_t entries)
{
    HANDLE heap = GetProcessHeap();

    if (entries > SIZE_MAX / sizeof(uint32_t))
        return 0;
    table->PageStarts = (uint32_t *)HeapAlloc(heap, 0, (size_t)entries * sizeof(uint32_t));
    table->PageEnds = (uint32_t *)HeapAlloc(heap, 0, (size_t)entries * sizeof(uint32_t));
    if (!table->PageStarts || !table->PageEnds) {
        FreePageTable(table);
        return 0;
    }
    return 1;
}

static int SplitText(const unsigned char *image, uint32_t size, unsigned char delimiter,
                     uint32_t lines, PageTable *table, uint32_t *pageCount);

/* The table is sized from a first counting pass, so it is allocated once at
 * its exact size: linear in the image whatever the page count, and no
 * spare capacity (8 bytes a page). Every entry but possibly the last ends at
 * a delimiter; the last ends at the image's last byte. */
static int CutAtDelimiters(const unsigned char *image, uint32_t size, unsigned char delimiter,
                           PageTable *table, uint32_t *pageCount, int plain)
{
    int commands;
    uint32_t delimiters = plain ? CountDelimiters(image, size, delimiter, 0, &commands)
                                : CountDelimiters(image, size, delimiter, 1, &commands);
    uint32_t entries;
    uint32_t start = 0;
    uint32_t k = 0;
    const unsigned char *p = image;
    const unsigned char *end = image + size;

    if (commands && EscpFirstCommand(image, size) < size)
        return SplitText(image, size, delimiter, 0, table, pageCount);
    table->PageStarts = NULL;
    table->PageEnds = NULL;
    table->Entries = 0;
    *pageCount = 1 + delimiters;

    if (size == 0)
        return 1;
    entries = delimiters + (image[size - 1] == delimiter ? 0u : 1u);
    if (!AllocatePageTable(table, entries))
        return 0;

    while (p < end) {
        const unsigned char *hit = FindDelimiter(p, end, delimiter);
        uint32_t last = hit < end ? (uint32_t)(hit - image) : size - 1;
        table->PageStarts[k] = start;
        table->PageEnds[k] = last;
        k++;
        start = last + 1;
        p = image + start;
    }
    table->Entries = k;
    return 1;
}

int SplitPages(const unsigned char *image, uint32_t size, unsigned char delimiter,
               PageTable *table, uint32_t *pageCount)
{
    return CutAtDelimiters(image, size, delimiter, table, pageCount, 0);
}

/* The last byte of the page that starts at p: the first delimiter, or the
 * lines-th line feed, whichever comes first; end when neither comes. A word
 * without either byte is passed over whole; one that holds one is looked
 * at byte by byte. *left counts down the line feeds still to come, over
 * calls. */
static const unsigned char *FindPageEnd(const unsigned char *p, const unsigned char *end,
                                        unsigned char delimiter, uint32_t *left)
{
    const ByteWord pattern = delimiter * EveryByte;
    const ByteWord lineFeeds = '\n' * EveryByte;

    while (p < end) {
        if ((size_t)(end - p) >= WORD_BYTES) {
            ByteWord word = LoadWord(p);
            if (!(MatchingBytes(word, pattern) | MatchingBytes(word, lineFeeds))) {
                p += WORD_BYTES;
                continue;
            }
        }
        if (*p == delimiter || (*p == '\n' && --*left == 0))
            return p;
        p++;
    }
    return end;
}

/* ---- Files with printer commands ------------------------------------------
 *
 * The bytes of a command (escp.h: its parameters, its dots) end no page and
 * no line: a form feed among the dots of a bit image is a column of dots.
 * The cuts are made in the text between commands, and the count of line
 * feeds runs on over a command. */

/* Goes over the cuts: with a table (of the size a first call without one
 * gave), fills it. Returns the entries; *delimiters counts the delimiters
 * that cut, *final whether the last byte was one of them. */
static uint32_t CutText(const unsigned char *image, uint32_t size, unsigned char delimiter,
                        uint32_t lines, PageTable *table, uint32_t *delimiters, int *final)
{
    EscpText text;
    uint32_t from, to, start = 0, k = 0, left = lines;

    *delimiters = 0;
    *final = 0;
    EscpBeginText(&text, image, size);
    while (EscpNextText(&text, &from, &to)) {
        const unsigned char *p = image + from, *end = image + to;
        while (p < end) {
            const unsigned char *hit = lines ? FindPageEnd(p, end, delimiter, &left)
                                             : FindDelimiter(p, end, delimiter);
            uint32_t at = (uint32_t)(hit - image);
            if (hit == end)
                break;
            if (*hit == delimiter)
                ++*delimiters;
            if (at == size - 1)
                *final = *hit == delimiter;
            if (table) {
                table->PageStarts[k] = start;
                table->PageEnds[k] = at;
            }
            k++;
            start = at + 1;
            left = lines;
            p = hit + 1;
        }
    }
    /* The rest after the last cut. */
    if (start < size) {
        if (table) {
            table->PageStarts[k] = start;
            table->PageEnds[k] = size - 1;
        }
        k++;
    }
    return k;
}

/* SplitPagesByLines (SplitPages with lines 0) for such a file: a pass to
 * count, a pass to fill a table of exactly that size. */
static int SplitText(const unsigned char *image, uint32_t size, unsigned char delimiter,
                     uint32_t lines, PageTable *table, uint32_t *pageCount)
{
    uint32_t delimiters, entries;
    int final;

    table->PageStarts = NULL;
    table->PageEnds = NULL;
    table->Entries = 0;
    entries = CutText(image, size, delimiter, lines, NULL, &delimiters, &final);
    /* Only a delimiter at the last byte counts one more, empty, page; by
     * lines the entries are the pages. */
    *pageCount = lines ? entries + (uint32_t)final : 1 + delimiters;
    if (!AllocatePageTable(table, entries))
        return 0;
    table->Entries = CutText(image, size, delimiter, lines, table, &delimiters, &final);
    return 1;
}

/* Pages that also end at their lines-th line feed. Two passes as above:
 * one to count the pages, one to fill the table of exactly that size. A
 * page cut by the count at the image's last byte is the last page; only a
 * delimiter there counts one more, empty, page. */
int SplitPagesByLinesPlain(const unsigned char *image, uint32_t size, unsigned char delimiter,
                           uint32_t lines, PageTable *table, uint32_t *pageCount, int plain)
{
    const unsigned char *end = image + size;
    const unsigned char *p;
    uint32_t entries = 0;
    uint32_t k = 0;

    /* With line feeds for the delimiter every line is a page already. */
    if (lines == 0 || delimiter == '\n')
        return CutAtDelimiters(image, size, delimiter, table, pageCount, plain);

    table->PageStarts = NULL;
    table->PageEnds = NULL;
    table->Entries = 0;
    *pageCount = 1;
    if (size == 0)
        return 1;

    if (!plain && EscpFirstCommand(image, size) < size)
        return SplitText(image, size, delimiter, lines, table, pageCount);
    for (p = image; p < end; entries++) {
        uint32_t left = lines;
        const unsigned char *last = FindPageEnd(p, end, delimiter, &left);
        p = last < end ? last + 1 : end;
    }
    *pageCount = entries + (image[size - 1] == delimiter ? 1u : 0u);
    if (!AllocatePageTable(table, entries))
        return 0;
    for (p = image; p < end && k < entries; k++) {
        uint32_t left = lines;
        const unsigned char *last = FindPageEnd(p, end, delimiter, &left);
        if (last == end)
            last = end - 1;
        table->PageStarts[k] = (uint32_t)(p - image);
        table->PageEnds[k] = (uint32_t)(last - image);
        p = last + 1;
    }
    table->Entries = k;
    return 1;
}

int SplitPagesByLines(const unsigned char *image, uint32_t size, unsigned char delimiter,
                      uint32_t lines, PageTable *table, uint32_t *pageCount)
{
    return SplitPagesByLinesPlain(image, size, delimiter, lines, table, pageCount, 0);
}
