/* recode.cpp - Windows-1251 Cyrillic to DOS code page 866. */
#include "engine.h"

/* Counts the bytes in [low, low + span) and at or above from 'high', in one
 * pass. Written as plain comparisons so the compiler can vectorise it; the
 * result is what a 256-entry frequency table summed over the ranges gives. */
static void CountRanges(const unsigned char *image, uint32_t size,
                        uint32_t *windowsLike, uint32_t *dosLike)
{
    uint32_t a = 0, b = 0;

    for (uint32_t i = 0; i < size; i++) {
        unsigned char c = image[i];
        a += (unsigned char)(c - 128u) < 96u; /* 128-223 */
        b += c >= 192u;                       /* 192-255 */
    }
    *windowsLike = a;
    *dosLike = b;
}

void RecodeToDos(unsigned char *image, uint32_t size, ActivityLog log)
{
    uint32_t windowsLike; /* bytes 128-223 */
    uint32_t dosLike;     /* bytes 192-255 */

    CountRanges(image, size, &windowsLike, &dosLike);

    /* B > A exactly when Windows lower case (224-255) outnumbers what code
     * page 866 keeps in 128-191; ties stay as they are. */
    if (dosLike <= windowsLike)
        return;

    LogLine(log, TextRecoding);
    /* 192-239 move down by 64 (А-Я, а-п), 240-255 by 16 (р-я); 0-191 stay. */
    for (uint32_t i = 0; i < size; i++) {
        unsigned char c = image[i];
        unsigned char shift = c >= 240u ? 16u : (c >= 192u ? 64u : 0u);
        image[i] = (unsigned char)(c - shift);
    }
}
