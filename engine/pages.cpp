/* pages.cpp - cutting the file image into pages at the delimiter byte. */
#include <string.h>

#include "engine.h"

/* The i686 target has no vector unit to count on, so both passes look at
 * four bytes at a time in a plain 32-bit register. Matches(w, pattern) has
 * the top bit set in each byte of w equal to the delimiter, and nowhere
 * else (no borrow crosses bytes in this form). */
static const uint32_t LowSeven = 0x7F7F7F7Fu;

static uint32_t LoadWord(const unsigned char *p)
{
    uint32_t word;
    memcpy(&word, p, sizeof word);
    return word;
}

static uint32_t Matches(uint32_t word, uint32_t pattern)
{
    uint32_t x = word ^ pattern;
    return ~(((x & LowSeven) + LowSeven) | x | LowSeven);
}

static uint32_t CountDelimiters(const unsigned char *image, uint32_t size, unsigned char delimiter)
{
    uint32_t pattern = delimiter * 0x01010101u;
    uint32_t count = 0;
    uint32_t i = 0;

    for (; i + 4 <= size; i += 4) {
        uint32_t hits = Matches(LoadWord(image + i), pattern);
        /* One per matching byte, summed into the top byte. */
        count += ((hits >> 7) * 0x01010101u) >> 24;
    }
    for (; i < size; i++)
        count += image[i] == delimiter;
    return count;
}

/* The first delimiter in [p, end), or end. */
static const unsigned char *FindDelimiter(const unsigned char *p, const unsigned char *end,
                                          unsigned char delimiter)
{
    uint32_t pattern = delimiter * 0x01010101u;

    while (end - p >= 4 && !Matches(LoadWord(p), pattern))
        p += 4;
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

/* The table is sized from a first counting pass, so it is allocated once at
 * its exact size: linear in the image whatever the page count, and no
 * spare capacity (8 bytes a page). Every entry but possibly the last ends at
 * a delimiter; the last ends at the image's last byte. */
int SplitPages(const unsigned char *image, uint32_t size, unsigned char delimiter,
               PageTable *table, uint32_t *pageCount)
{
    HANDLE heap = GetProcessHeap();
    uint32_t delimiters = CountDelimiters(image, size, delimiter);
    uint32_t entries;
    uint32_t start = 0;
    uint32_t k = 0;
    const unsigned char *p = image;
    const unsigned char *end = image + size;

    table->PageStarts = NULL;
    table->PageEnds = NULL;
    table->Entries = 0;
    *pageCount = 1 + delimiters;

    if (size == 0)
        return 1;
    entries = delimiters + (image[size - 1] == delimiter ? 0u : 1u);
    /* In a 32-bit process a gigabyte of delimiters would make the byte
     * count wrap: no table then, as when it cannot be allocated. */
    if (entries > SIZE_MAX / sizeof(uint32_t))
        return 0;

    table->PageStarts = (uint32_t *)HeapAlloc(heap, 0, (size_t)entries * sizeof(uint32_t));
    table->PageEnds = (uint32_t *)HeapAlloc(heap, 0, (size_t)entries * sizeof(uint32_t));
    if (!table->PageStarts || !table->PageEnds) {
        FreePageTable(table);
        return 0;
    }

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
