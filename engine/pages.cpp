/* pages.cpp - cutting the file image into pages at the delimiter byte. */
#include <string.h>

#include "engine.h"

/* Counts the delimiter bytes: a plain loop the compiler vectorises, as fast
 * for an image of nothing but delimiters as for one with few. */
static uint32_t CountDelimiters(const unsigned char *image, uint32_t size, unsigned char delimiter)
{
    uint32_t count = 0;

    for (uint32_t i = 0; i < size; i++)
        count += image[i] == delimiter;
    return count;
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
        const unsigned char *hit = (const unsigned char *)memchr(p, delimiter, (size_t)(end - p));
        uint32_t last = hit ? (uint32_t)(hit - image) : size - 1;
        table->PageStarts[k] = start;
        table->PageEnds[k] = last;
        k++;
        start = last + 1;
        p = image + start;
    }
    table->Entries = k;
    return 1;
}
