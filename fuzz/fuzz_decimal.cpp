/* fuzz_decimal.cpp - decimal text as the dialogs read and write it, against
 * a plain reference: any bytes as text to read, and the first four bytes as
 * a count to write. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"

/* Blanks and controls 9 to 13 first, one sign, then digits; the number is
 * kept modulo 2^32, and a minus negates it modulo 2^32. */
static uint32_t ReferenceRead(const std::string &text)
{
    const uint64_t modulus = 4294967296ull;
    size_t i = 0;
    bool negative = false;
    uint64_t value = 0;

    while (i < text.size() && (text[i] == ' ' || (text[i] >= 9 && text[i] <= 13)))
        i++;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        i++;
    }
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = (value * 10 + (uint64_t)(text[i] - '0')) % modulus;
        i++;
    }
    return (uint32_t)(negative ? (modulus - value) % modulus : value);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* The text ends at its first NUL, as the dialog boxes hand it over. */
    std::string text((const char *)data, size);
    text = text.substr(0, text.find('\0'));
    char *heapText = (char *)malloc(text.size() + 1);
    memcpy(heapText, text.c_str(), text.size() + 1);
    Check(ReadDecimal(heapText) == ReferenceRead(text), "ReadDecimal agrees with the reference");
    free(heapText);

    uint32_t bits = 0;
    for (size_t i = 0; i < 4 && i < size; i++)
        bits |= (uint32_t)data[i] << (8 * i);

    /* The buffer is exactly as large as the callers' smallest: a byte
     * written beyond it is caught. */
    char expected[32];
    char *buffer = (char *)malloc(11);
    snprintf(expected, sizeof expected, "%lu", (unsigned long)bits);
    WriteDecimalUnsigned(bits, buffer);
    CheckSame(expected, buffer, "WriteDecimalUnsigned");
    Check(ReadDecimal(buffer) == bits, "a written count reads back");
    free(buffer);
    return 0;
}
