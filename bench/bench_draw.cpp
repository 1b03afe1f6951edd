/* bench_draw.cpp - the drawn job's speed under Wine, for bench_wine.sh.
 *
 *   bench_draw PRINTER FILE INI
 *
 * Runs the print job on FILE to PRINTER with the settings file INI (DRAW on
 * there, or off for the raw figure) through the shell's own drawing code,
 * its page range "dialog" confirming at once, and prints the microseconds
 * from the confirmation to the end of the document (the first closing line,
 * logged once the document is handed to the spooler) and the page count.
 *
 *   bench_draw PRINTER FILE INI floor
 *
 * The floor under it on the same printer: the same pages drawn without the
 * layout, one ExtTextOutW per line of the file as it stands (no advances,
 * no state), StartPage/EndPage per page. */
#include <stdio.h>
#include <string.h>

#include "draw.h"

static LARGE_INTEGER Frequency, Confirmed, Closed;
static int ClosedSeen;

void LogLine(ActivityLog log, const char *text)
{
    if (!ClosedSeen && strncmp(text, TextClosingFile, strlen(TextClosingFile)) == 0) {
        QueryPerformanceCounter(&Closed);
        ClosedSeen = 1;
    }
}

int ChoosePageRange(ActivityLog log, uint32_t pageCount)
{
    PageCount = pageCount;
    PageFrom = 1;
    PageTo = pageCount;
    QueryPerformanceCounter(&Confirmed);
    return 1;
}

static double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    return (double)(to.QuadPart - from.QuadPart) * 1e6 / (double)Frequency.QuadPart;
}

/* One ExtTextOutW per line, Unicode of the 866 bytes; the printer's fonts. */
static int Floor(const char *printer, const char *path, uint32_t *pages)
{
    static unsigned char image[4 << 20];
    static WCHAR line[512];
    const uint16_t *high = CodePageHighHalf(866);
    FILE *in = fopen(path, "rb");
    size_t size = in ? fread(image, 1, sizeof image, in) : 0;
    LARGE_INTEGER start, end;
    DOCINFOA info = {sizeof info, "floor", NULL, NULL, 0};

    if (in)
        fclose(in);
    QueryPerformanceCounter(&start);
    HDC dc = CreateDCA("WINSPOOL", printer, NULL, NULL);
    if (!dc || StartDocA(dc, &info) <= 0)
        return 0;
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    HFONT font = CreateFontA(-dpi / 6, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                             "Courier New");
    size_t i = 0;
    *pages = 0;
    while (i < size) {
        StartPage(dc);
        SelectObject(dc, font);
        int row = 0;
        while (i < size && image[i] != '\f') {
            int n = 0;
            while (i < size && image[i] != '\n' && image[i] != '\f') {
                unsigned char b = image[i++];
                if (b >= 32 && n < 511)
                    line[n++] = b < 128 ? b : high[b - 128];
            }
            if (i < size && image[i] == '\n')
                i++;
            ExtTextOutW(dc, 0, row * dpi / 6, 0, NULL, line, (UINT)n, NULL);
            row++;
        }
        i++;
        EndPage(dc);
        (*pages)++;
    }
    EndDoc(dc);
    QueryPerformanceCounter(&end);
    DeleteObject(font);
    DeleteDC(dc);
    printf("%.0f %u\n", Microseconds(start, end), *pages);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: bench_draw PRINTER FILE INI [floor]\n");
        return 2;
    }
    QueryPerformanceFrequency(&Frequency);
    lstrcpynA(IniPath, argv[3], SETTING_TEXT_SIZE);
    PageDelimiter = 12;
    if (argc > 4) {
        uint32_t pages;
        return Floor(argv[1], argv[2], &pages) ? 0 : 1;
    }
    if (PrintFile((ActivityLog)0, argv[2], argv[1]) != 1 || !ClosedSeen) {
        fprintf(stderr, "bench_draw: the job failed\n");
        return 1;
    }
    printf("%.0f %u\n", Microseconds(Confirmed, Closed), PageCount);
    return 0;
}
