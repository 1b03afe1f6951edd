/* job_form.cpp - what the settings say about the printer's form for one
 * job: the page length in lines and the set-up bytes sent before the first
 * page. */
#include <string.h>

#include "engine.h"

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

/* Decimal byte values separated by blanks, commas or both. A comma stands
 * only between two numbers: a leading, trailing or doubled one may stand
 * for a number left out, and a guessed list must never reach the printer.
 * Blanks alone, or nothing, are an empty list. */
int ParseSetupBytes(const char *text, unsigned char *bytes, uint32_t *count)
{
    const char *p = text;
    uint32_t n = 0;
    int comma = 0;

    *count = 0;
    if (strlen(text) > SETUP_TEXT_MAX)
        return 0;
    for (;;) {
        unsigned value = 0;

        while (IsBlank(*p))
            p++;
        if (*p == '\0')
            break;
        if (*p == ',') {
            /* After a number, once. */
            if (n == 0 || comma)
                return 0;
            comma = 1;
            p++;
            continue;
        }
        if (*p < '0' || *p > '9')
            return 0;
        /* Two numbers need a blank or a comma between them, which the
         * digit run below guarantees: it takes every digit there is. */
        while (*p >= '0' && *p <= '9') {
            value = value * 10u + (unsigned)(*p - '0');
            if (value > 255)
                return 0;
            p++;
        }
        if (*p != '\0' && *p != ',' && !IsBlank(*p))
            return 0;
        bytes[n++] = (unsigned char)value;
        comma = 0;
    }
    if (comma)
        return 0;
    *count = n;
    return 1;
}

int ReadJobForm(JobForm *form)
{
    /* Twice the longest list: a longer text must be seen to be longer, not
     * cut by the read into a shorter list that might pass. */
    char text[SETUP_READ_SIZE];
    uint32_t length;

    form->pageLines = 0;
    form->setupCount = 0;
    ReadSettingStruct("PAGELINES", &form->pageLines, sizeof form->pageLines);

    length = ReadSettingText("SETUP", "", text, sizeof text);
    /* A NUL inside the value would hide its tail from the parser. */
    if (length != strlen(text))
        return 0;
    return ParseSetupBytes(text, form->setup, &form->setupCount);
}
