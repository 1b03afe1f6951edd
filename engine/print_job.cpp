/* print_job.cpp - one print job: open, read, recode, split, ask, write, close. */
#include <string.h>

#include "engine.h"
#include "escp.h"
#include "layout.h"

uint32_t PageCount;
uint32_t PageFrom;
uint32_t PageTo;
const unsigned char *JobImage;
uint32_t JobImageSize;
const PageTable *JobPageTable;
const char *JobOutputName;
const JobForm *JobPrinterForm;
uint32_t JobCodePage;

int PageBytesHaveText(const unsigned char *bytes, uint32_t length)
{
    for (uint32_t i = 0; i < length; i++) {
        if (bytes[i] > 32)
            return 1;
    }
    return 0;
}

int PageHasText(const unsigned char *bytes, uint32_t length, ActivityLog log)
{
    if (PageBytesHaveText(bytes, length))
        return 1;
    LogLine(log, TextBlankSkipped);
    return 0;
}

/* Brings a fresh block's pages into memory a stretch at a time, before the
 * read fills it. Memory first touched takes a fault a page, and in some
 * virtual machines that costs more than reading the page's bytes; a lock
 * brings a stretch in in one call, and unlocked at once it stays, as
 * touched memory does. Each stretch is small enough for any lock limit, and
 * the working set grows by one stretch only while it is locked. Only a
 * speed-up: where a lock is refused the read brings the pages in. */
static void BringIn(unsigned char *block, DWORD size)
{
    /* A stretch not on a page boundary spans one page more, and Windows
     * keeps a few pages of the minimum for itself: the working set grows by
     * a little more than the stretch. */
    enum { STRETCH = 1 << 20, GROWTH = STRETCH + (64 << 10) };
    HANDLE self = GetCurrentProcess();
    SIZE_T least = 0, most = 0;

    if (size < STRETCH || !GetProcessWorkingSetSize(self, &least, &most) ||
        most > (SIZE_T)-1 - GROWTH || !SetProcessWorkingSetSize(self, least + GROWTH, most + GROWTH))
        return;
    for (DWORD done = 0; done < size;) {
        DWORD stretch = size - done < (DWORD)STRETCH ? size - done : (DWORD)STRETCH;
        if (!VirtualLock(block + done, stretch))
            break;
        VirtualUnlock(block + done, stretch);
        done += stretch;
    }
    SetProcessWorkingSetSize(self, least, most);
}

/* Reads the whole input into a fresh heap block. Returns 0 when the size does
 * not fit 32 bits, the block cannot be had, or the read comes back short: no
 * byte that was not read is ever used. */
static int ReadImage(HANDLE input, unsigned char **image, uint32_t *size)
{
    HANDLE heap = GetProcessHeap();
    DWORD high = 0;
    DWORD low = GetFileSize(input, &high);
    DWORD got = 0;

    *image = NULL;
    *size = 0;
    if (high != 0 || (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR))
        return 0;
    /* A zero-byte request still yields a block, so an empty file is a job. */
    *image = (unsigned char *)HeapAlloc(heap, 0, low);
    if (!*image)
        return 0;
    BringIn(*image, low);
    if (low != 0 && (!ReadFile(input, *image, low, &got, NULL) || got != low)) {
        HeapFree(heap, 0, *image);
        *image = NULL;
        return 0;
    }
    *size = low;
    return 1;
}

/* Writes pages PageFrom..PageTo (To already cut to pageCount). The counted
 * page after a final delimiter has no table entry: it is a page of no bytes.
 * The form's set-up bytes go first, in a write of their own, just before
 * the first page that is written; a job that writes no page sends nothing.
 * Returns 0 when a write fails or comes back short. */
static int WritePages(ActivityLog log, JobOutput *output, const unsigned char *image,
                      const PageTable *table, const JobForm *form, uint32_t from, uint32_t to,
                      int32_t *toggle, DrawnJob *drawn, int draw)
{
    int setupSent = form->setupCount == 0;

    for (uint32_t p = from - 1; p < to; p++) {
        const unsigned char *bytes = NULL;
        uint32_t length = 0;

        if (p < table->Entries) {
            bytes = image + table->PageStarts[p];
            length = table->PageEnds[p] - table->PageStarts[p] + 1;
        }
        /* Re-read for every page into the job's one switch variable, so a
         * missing key leaves the TODOS value in force. A drawn page is
         * blank when it draws nothing: the drawn job tells. */
        ReadSettingStruct("SKIPEMPTY", toggle, sizeof *toggle);
        if (!draw && *toggle == 1 && !PageHasText(bytes, length, log))
            continue;
        if (length == 0)
            continue;
        if (!draw) {
            int sent = setupSent || WriteJobBytes(output, form->setup, form->setupCount);
            if (sent) {
                setupSent = 1;
                sent = WriteJobPage(output, bytes, length);
            }
            if (sent)
                continue;
            /* Refused before anything was sent: this page and the rest are
             * drawn through the printer's driver, set-up bytes and all. */
            if (!output->refusesRaw)
                return 0;
            draw = 1;
        }
        if (!DrawJobPage(drawn, p, *toggle == 1))
            return 0;
    }
    return 1;
}

/* The job; with ask 0 every page is printed without the page range
 * dialog. */
static int RunJob(ActivityLog log, const char *inputPath, const char *outputName, int ask)
{
    HANDLE heap = GetProcessHeap();
    char *line;
    HANDLE input = INVALID_HANDLE_VALUE;
    JobOutput output = {INVALID_HANDLE_VALUE, NULL, NULL, 0, NULL, 0};
    unsigned char *image = NULL;
    uint32_t size = 0;
    int32_t toggle = 1; /* TODOS, then SKIPEMPTY before each page */
    PageTable table = {NULL, NULL, 0};
    JobForm form;
    uint32_t codePage = 866;
    uint32_t pageCount = 0;
    int plain = 0; /* known to hold no ESC or FS */
    int result = 0;
    int opened;
    int chosen;

    line = (char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, LOG_LINE_SIZE);
    if (!line) {
        LogLine(log, TextError);
        return 0;
    }

    input = CreateFileA(inputPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, NULL);
    LogWithName(log, line, TextOpeningFile, inputPath);
    if (input == INVALID_HANDLE_VALUE) {
        LogLine(log, TextError);
        goto done;
    }

    opened = OpenJobOutput(&output, outputName, inputPath);
    LogWithName(log, line, TextOpeningFile, outputName);
    if (!opened) {
        LogLine(log, TextError);
        goto done;
    }

    if (!ReadImage(input, &image, &size)) {
        LogLine(log, TextError);
        goto done;
    }

    LogLine(log, TextAnalysis);
    /* The form is read once, for the whole job. A set-up text that is no
     * list of bytes ends the job here, before anything can reach the
     * printer. */
    if (!ReadJobForm(&form)) {
        LogLine(log, TextError);
        goto done;
    }
    /* The printer's code page, read with the switch, once a job: the
     * recoding writes for it, and a drawn job draws its letters. */
    ReadSettingStruct("TODOS", &toggle, sizeof toggle);
    ReadSettingStruct("CODEPAGE", &codePage, sizeof codePage);
    /* A plain text, with no printer command, is found so by the recoding's
     * first pass, and the cutting is told: no second look. */
    if (toggle == 1)
        size = RecodeForPrinterPlain(image, size, codePage, log, &plain);

    if (!SplitPagesByLinesPlain(image, size, PageDelimiter, form.pageLines, &table, &pageCount, plain)) {
        LogLine(log, TextError);
        goto done;
    }

    result = 1;
    if (ask) {
        /* Lent to the host for the dialog's preview, and taken back at once. */
        JobImage = image;
        JobImageSize = size;
        JobPageTable = &table;
        JobOutputName = outputName;
        JobPrinterForm = &form;
        JobCodePage = CodePageFromSetting(codePage);
        chosen = ChoosePageRange(log, pageCount);
        JobImage = NULL;
        JobImageSize = 0;
        JobPageTable = NULL;
        JobOutputName = NULL;
        JobPrinterForm = NULL;
        JobCodePage = 0;
    } else {
        PageCount = pageCount;
        PageFrom = 1;
        PageTo = pageCount;
        chosen = 1;
    }
    if (chosen == 1) {
        /* Unsigned throughout: a To typed as a negative number is cut to the
         * count, and a From of 0 or a negative one starts beyond every page. */
        if (PageTo > pageCount)
            PageTo = pageCount;
        /* Drawn through the printer's driver: only an installed printer,
         * when DRAW is on (read once) or the printer refuses raw data. */
        DrawnJob drawn;
        int32_t draw = 0;
        ReadSettingStruct("DRAW", &draw, sizeof draw);
        BeginDrawnJob(&drawn, log, output.printerName, output.document, image, &table,
                      CodePageFromSetting(codePage));
        /* The drawn job starts from the form's set-up bytes and length. */
        drawn.setup = form.setup;
        drawn.setupLength = form.setupCount;
        drawn.formLines = form.pageLines;
        /* Finished after a failed write too: a disk file then still ends
         * where this job's writes ended. */
        int written = WritePages(log, &output, image, &table, &form, PageFrom, PageTo, &toggle, &drawn,
                                 output.printer != NULL && draw == 1);
        if (written) {
            if (!FinishDrawnJob(&drawn))
                written = 0;
        } else {
            CancelDrawnJob(&drawn);
        }
        if (!FinishJobOutput(&output))
            written = 0;
        if (!written) {
            LogLine(log, TextError);
            result = 0;
        }
    }
    /* Only a job that came this far reports the closing of its files; the
     * memory goes in the one clean-up below. */
    LogWithName(log, line, TextClosingFile, outputName);
    CloseJobOutput(&output);
    LogWithName(log, line, TextClosingFile, inputPath);
    CloseHandle(input);
    input = INVALID_HANDLE_VALUE;

done:
    FreePageTable(&table);
    if (image)
        HeapFree(heap, 0, image);
    CloseJobOutput(&output);
    if (input != INVALID_HANDLE_VALUE)
        CloseHandle(input);
    HeapFree(heap, 0, line);
    return result;
}

int PrintFile(ActivityLog log, const char *inputPath, const char *outputName)
{
    return RunJob(log, inputPath, outputName, 1);
}

int PrintWholeFile(ActivityLog log, const char *inputPath, const char *outputName)
{
    return RunJob(log, inputPath, outputName, 0);
}
