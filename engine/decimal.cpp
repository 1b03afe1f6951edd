/* decimal.cpp - decimal text as the dialogs read and write it. */
#include "engine.h"

uint32_t ReadDecimal(const char *text)
{
    const unsigned char *p = (const unsigned char *)text;
    uint32_t value = 0;
    int negative = 0;

    while (*p == ' ' || (*p >= 9 && *p <= 13))
        p++;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    /* Unsigned arithmetic: wraps modulo 2^32, as the number boxes always have. */
    while (*p >= '0' && *p <= '9') {
        value = value * 10u + (uint32_t)(*p - '0');
        p++;
    }
    return negative ? 0u - value : value;
}

void WriteDecimalUnsigned(uint32_t value, char *buffer)
{
    char digits[10];
    int count = 0;

    do {
        digits[count++] = (char)('0' + value % 10u);
        value /= 10u;
    } while (value != 0);
    while (count > 0)
        *buffer++ = digits[--count];
    *buffer = '\0';
}
