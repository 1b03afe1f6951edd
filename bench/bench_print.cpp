/* bench_print - a whole print job on a large Windows-1251 text, against a
 * plain copy of the same file (read whole, one write) measured in the same
 * run, each job split into its time up to the page range dialog (reading,
 * recoding, cutting) and its time for the pages. Then the engine's passes
 * over the image in memory alone, in MB/s against memcpy of the same image
 * in the same process. Prints speeds, ratios and peak memory; it passes or
 * fails nothing.
 *
 *   bench_print [directory] [megabytes]
 *
 * Each measurement runs in a child process of its own, so that its peak
 * resident size is its own. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "engine.h"
#include "layout.h"

static uint32_t LinesLogged;
static double DialogAt; /* when the job reached ChoosePageRange */

static double Now();

void LogLine(ActivityLog log, const char *text) { LinesLogged++; }

int ChoosePageRange(ActivityLog log, uint32_t pageCount)
{
    DialogAt = Now();
    PageCount = pageCount;
    PageFrom = 1;
    PageTo = pageCount;
    return 1;
}

/* The jobs here print raw; a drawn one would find no printer to draw on. */
DrawnDocument StartDrawing(ActivityLog, const char *, const char *, uint32_t, uint32_t) { return NULL; }
int DrawJobSheet(DrawnDocument, const LayoutSheet *) { return 0; }
int EndDrawing(DrawnDocument) { return 0; }
void AbortDrawing(DrawnDocument) {}

static double Now()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* Windows-1251 text: Russian words, line ends CR LF, a form feed every 60
 * lines, and now and then a blank page. */
static void MakeInput(const char *path, size_t megabytes, size_t *pages)
{
    static const char *words[] = {"\xcf\xf0\xe8\xe2\xe5\xf2", "\xec\xe8\xf0", "\xf1\xf7\xb8\xf2",
                                  "\xd1\xf3\xec\xec\xe0", "12345.67", "\xe8\xf2\xee\xe3\xee",
                                  "\xc8\xe2\xe0\xed\xee\xe2", "\xed\xe0\xeb\xee\xe3"};
    FILE *file = fopen(path, "wb");
    size_t target = megabytes * 1000000;
    size_t written = 0;
    size_t line = 0;
    uint32_t seed = 1;
    char buffer[256];

    *pages = 1;
    while (written < target) {
        size_t used = 0;
        if (line % 60 == 59) {
            buffer[used++] = '\f';
            (*pages)++;
            if (*pages % 50 == 0) { /* a blank page now and then */
                memcpy(buffer + used, "\r\n  \r\n\f", 7);
                used += 7;
                (*pages)++;
            }
        }
        for (int w = 0; w < 8; w++) {
            seed = seed * 1103515245u + 12345u;
            const char *word = words[(seed >> 16) % 8];
            size_t length = strlen(word);
            memcpy(buffer + used, word, length);
            used += length;
            buffer[used++] = ' ';
        }
        buffer[used++] = '\r';
        buffer[used++] = '\n';
        fwrite(buffer, 1, used, file);
        written += used;
        line++;
    }
    fclose(file);
}

/* Read whole, one write: the floor any job stands on. */
static void PlainCopy(const char *input, const char *output)
{
    HANDLE in = CreateFileA(input, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE out = CreateFileA(output, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    DWORD high = 0, size = GetFileSize(in, &high), done = 0;
    void *image = HeapAlloc(GetProcessHeap(), 0, size);
    ReadFile(in, image, size, &done, NULL);
    WriteFile(out, image, size, &done, NULL);
    HeapFree(GetProcessHeap(), 0, image);
    CloseHandle(out);
    CloseHandle(in);
}

/* Read whole, split, one write per page and nothing else: the floor under a
 * job, set by the cost of a system call per page. */
static void PageWrites(const char *input, const char *output, unsigned char delimiter)
{
    HANDLE in = CreateFileA(input, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE out = CreateFileA(output, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    DWORD high = 0, size = GetFileSize(in, &high), done = 0;
    unsigned char *image = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, size);
    PageTable table;
    uint32_t count;
    ReadFile(in, image, size, &done, NULL);
    SplitPages(image, size, delimiter, &table, &count);
    for (uint32_t k = 0; k < table.Entries; k++)
        WriteFile(out, image + table.PageStarts[k], table.PageEnds[k] - table.PageStarts[k] + 1, &done, NULL);
    FreePageTable(&table);
    HeapFree(GetProcessHeap(), 0, image);
    CloseHandle(out);
    CloseHandle(in);
}

struct Measure {
    double seconds;
    double toDialog; /* start to ChoosePageRange (jobs only) */
    long peakKilobytes;
};

/* Runs one case in a child; best time of three runs (with its split),
 * peak of the child. */
static Measure RunCase(int which, const char *input, const char *output)
{
    Measure best = {1e30, 0, 0};
    for (int round = 0; round < 3; round++) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            exit(1);
        unlink(output);
        pid_t child = fork();
        if (child == 0) {
            close(pipeEnds[0]);
            /* Case 5: the form-feed job with pages also cut at 66 lines. */
            uint32_t pageLines = 66;
            if (which == 5)
                WriteSettingStruct("PAGELINES", &pageLines, sizeof pageLines);
            double start = Now();
            DialogAt = 0;
            if (which == 0) {
                PlainCopy(input, output);
            } else if (which == 3 || which == 4) {
                PageWrites(input, output, which == 3 ? 12 : 10);
            } else {
                PageDelimiter = which == 2 ? 10 : 12;
                PrintFile((ActivityLog)0, input, output);
            }
            double times[2] = {Now() - start, DialogAt ? DialogAt - start : 0};
            if (which == 5)
                unlink(IniPath);
            if (write(pipeEnds[1], times, sizeof times) != sizeof times)
                _exit(1);
            _exit(0);
        }
        close(pipeEnds[1]);
        double times[2] = {0, 0};
        if (read(pipeEnds[0], times, sizeof times) != sizeof times)
            exit(1);
        close(pipeEnds[0]);
        int status;
        struct rusage usage;
        wait4(child, &status, 0, &usage);
        if (times[0] < best.seconds) {
            best.seconds = times[0];
            best.toDialog = times[1];
        }
        if (usage.ru_maxrss > best.peakKilobytes)
            best.peakKilobytes = usage.ru_maxrss;
    }
    return best;
}

/* The engine's passes over an image already in memory, each the best of
 * three rounds, against memcpy of the same image in the same process. */
struct Passes {
    double readFresh;   /* one read into a fresh block, as a job reads */
    double readWarm;    /* the same read into a block already touched */
    double copy;        /* memcpy of the image into the touched block */
    double recode;      /* RecodeForPrinter (test, recoding) */
    double recodeTest;  /* RecodeForPrinter on the recoded image: the test alone */
    double split;       /* SplitPages, form feeds (count, cut) */
    double splitLines;  /* SplitPagesByLines, form feeds + 66 lines */
};

static double Best(double a, double b) { return a < b ? a : b; }

static void TimePasses(const char *input, Passes *best)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        exit(1);
    pid_t child = fork();
    if (child == 0) {
        Passes p = {1e30, 1e30, 1e30, 1e30, 1e30, 1e30, 1e30};
        HANDLE in = CreateFileA(input, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        DWORD high = 0, size = GetFileSize(in, &high), done = 0;
        double start = Now();
        unsigned char *pristine = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, size);
        ReadFile(in, pristine, size, &done, NULL);
        p.readFresh = Now() - start;
        unsigned char *image = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, size);
        memset(image, 0, size);
        for (int round = 0; round < 3; round++) {
            HANDLE again = CreateFileA(input, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
            start = Now();
            ReadFile(again, image, size, &done, NULL);
            CloseHandle(again);
            p.readWarm = Best(p.readWarm, Now() - start);
            start = Now();
            memcpy(image, pristine, size);
            p.copy = Best(p.copy, Now() - start);
            start = Now();
            uint32_t kept = RecodeForPrinter(image, size, 866, (ActivityLog)0);
            p.recode = Best(p.recode, Now() - start);
            start = Now();
            RecodeForPrinter(image, kept, 866, (ActivityLog)0);
            p.recodeTest = Best(p.recodeTest, Now() - start);
            PageTable table;
            uint32_t count;
            start = Now();
            SplitPages(image, kept, 12, &table, &count);
            p.split = Best(p.split, Now() - start);
            FreePageTable(&table);
            start = Now();
            SplitPagesByLines(image, kept, 12, 66, &table, &count);
            p.splitLines = Best(p.splitLines, Now() - start);
            FreePageTable(&table);
        }
        CloseHandle(in);
        if (write(pipeEnds[1], &p, sizeof p) != sizeof p)
            _exit(1);
        _exit(0);
    }
    close(pipeEnds[1]);
    if (read(pipeEnds[0], best, sizeof *best) != sizeof *best)
        exit(1);
    close(pipeEnds[0]);
    int status;
    waitpid(child, &status, 0);
}

int main(int argc, char **argv)
{
    const char *directory = argc > 1 ? argv[1] : ".";
    size_t megabytes = argc > 2 ? (size_t)atoi(argv[2]) : 100;
    char input[200], output[200], ini[200];
    size_t formFeedPages = 0;

    snprintf(input, sizeof input, "%s/bench-input.txt", directory);
    snprintf(output, sizeof output, "%s/bench-output.prn", directory);
    snprintf(ini, sizeof ini, "%s/ini.ini", directory);
    unlink(ini); /* no settings file: recoding and blank-page skipping on */
    strncpy(IniPath, ini, sizeof IniPath - 1);

    MakeInput(input, megabytes, &formFeedPages);
    FILE *probe = fopen(input, "rb");
    fseek(probe, 0, SEEK_END);
    double bytes = (double)ftell(probe);
    fclose(probe);
    /* Pages when split at line feeds: one per line. */
    size_t lineFeedPages = 1;
    {
        FILE *f = fopen(input, "rb");
        int c;
        static char chunk[1 << 16];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, f)) > 0)
            for (size_t i = 0; i < got; i++)
                lineFeedPages += chunk[i] == '\n';
        fclose(f);
        (void)c;
    }

    Measure copy = RunCase(0, input, output);
    Measure formFeed = RunCase(1, input, output);
    Measure lineFeed = RunCase(2, input, output);
    Measure formFeedFloor = RunCase(3, input, output);
    Measure lineFeedFloor = RunCase(4, input, output);
    Measure pageLines = RunCase(5, input, output);
    Passes passes;
    TimePasses(input, &passes);

    double mb = bytes / 1e6;
    printf("input: %.1f MB Windows-1251 text, %zu form-feed pages, %zu line-feed pages\n", mb,
           formFeedPages, lineFeedPages);
    printf("%-28s %8.3f s %8.1f MB/s  peak %7.1f MB\n", "plain copy (baseline)", copy.seconds,
           mb / copy.seconds, copy.peakKilobytes / 1024.0);
    const Measure *jobs[] = {&formFeed, &lineFeed, &pageLines};
    const char *jobNames[] = {"job, form feeds", "job, line feeds", "job, form feeds + 66 lines"};
    for (int j = 0; j < 3; j++) {
        printf("%-28s %8.3f s %8.1f MB/s  peak %7.1f MB  (to the dialog %.3f s, pages %.3f s)\n",
               jobNames[j], jobs[j]->seconds, mb / jobs[j]->seconds, jobs[j]->peakKilobytes / 1024.0,
               jobs[j]->toDialog, jobs[j]->seconds - jobs[j]->toDialog);
    }
    printf("%-28s %8.3f s %8.1f MB/s\n", "page writes alone, form feeds", formFeedFloor.seconds,
           mb / formFeedFloor.seconds);
    printf("%-28s %8.3f s %8.1f MB/s\n", "page writes alone, line feeds", lineFeedFloor.seconds,
           mb / lineFeedFloor.seconds);
    printf("ratio job(form feeds) / plain copy:      %.2f (target <= 2.0)\n", formFeed.seconds / copy.seconds);
    printf("ratio job(line feeds) / job(form feeds): %.2f (target <= 3.0)\n", lineFeed.seconds / formFeed.seconds);
    printf("ratio job(form feeds + 66 lines) / job(form feeds): %.2f\n", pageLines.seconds / formFeed.seconds);
    printf("ratio page writes alone(form feeds) / plain copy: %.2f\n", formFeedFloor.seconds / copy.seconds);
    printf("ratio job / its page writes alone: form feeds %.2f, line feeds %.2f\n",
           formFeed.seconds / formFeedFloor.seconds, lineFeed.seconds / lineFeedFloor.seconds);
    printf("the engine alone on the image in memory (MB/s, and time over memcpy's):\n");
    const double passTimes[] = {passes.readFresh, passes.readWarm, passes.copy, passes.recode,
                                passes.recodeTest, passes.split, passes.splitLines};
    const char *passNames[] = {"read into a fresh block", "read into a touched block", "memcpy (baseline)",
                               "recode (test + table)", "recode test alone", "split, form feeds",
                               "split, form feeds + 66 lines"};
    for (int k = 0; k < 7; k++)
        printf("  %-28s %8.3f s %8.1f MB/s  %5.2f x memcpy\n", passNames[k], passTimes[k],
               mb / passTimes[k], passTimes[k] / passes.copy);
    printf("  reading, recoding and cutting in the job (to the dialog): %.3f s; the passes alone %.3f s\n",
           formFeed.toDialog, passes.recode + passes.split);
    double budgetFF = (bytes + 8.0 * formFeedPages + 4 * 1048576.0) / 1048576.0;
    double budgetLF = (bytes + 8.0 * lineFeedPages + 4 * 1048576.0) / 1048576.0;
    printf("peak memory, form feeds: %.1f MB of a budget of %.1f MB (file + 8 B/page + 4 MB)\n",
           formFeed.peakKilobytes / 1024.0, budgetFF);
    printf("peak memory, line feeds: %.1f MB of a budget of %.1f MB\n", lineFeed.peakKilobytes / 1024.0, budgetLF);
    unlink(output);
    unlink(input);
    return 0;
}
