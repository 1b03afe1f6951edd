/* drawn_job.cpp - a job drawn through the printer's own driver: each page
 * laid out a sheet at a time and handed to the host's drawing service. */
#include <string.h>

#include "layout.h"

void BeginDrawnJob(DrawnJob *job, ActivityLog log, const char *printerName,
                   const char *documentName, const unsigned char *image, const PageTable *table,
                   uint32_t codePage)
{
    memset(job, 0, sizeof *job);
    job->log = log;
    job->printerName = printerName;
    job->documentName = documentName;
    job->image = image;
    job->table = table;
    job->codePage = codePage;
}

uint32_t ChooseJobPins(const unsigned char *setup, uint32_t setupLength, const unsigned char *image,
                       uint32_t length)
{
    EscpReader reader;
    uint32_t offset = 0, start, end;
    int32_t pins = 0;

    ReadSettingStruct("PINS", &pins, sizeof pins);
    if (pins == 9 || pins == 24)
        return (uint32_t)pins;
    /* The set-up bytes and the image as one stream: a command the set-up
     * leaves open goes on in the file. */
    EscpReset(&reader);
    if (setup) {
        while (!reader.uses24Pin && EscpNextCommand(&reader, setup, setupLength, offset, &start, &end))
            offset = end;
    }
    offset = 0;
    if (image) {
        while (!reader.uses24Pin && EscpNextCommand(&reader, image, length, offset, &start, &end))
            offset = end;
    }
    return reader.uses24Pin ? 24 : 9;
}

/* The bytes the table covers: the image up to its last page's end. */
static uint32_t TableLength(const PageTable *table)
{
    return table->Entries ? table->PageEnds[table->Entries - 1] + 1 : 0;
}

/* The layout's start: the state at page 1 and the carriage of the file. */
static int StartDrawnJob(DrawnJob *job)
{
    PrinterState initial;
    uint32_t pins;

    if (!AllocateSheet(&job->sheet))
        return 0;
    pins = ChooseJobPins(job->setup, job->setupLength, job->image, TableLength(job->table));
    InitialPrinterState(&initial, job->setup, job->setupLength, job->formLines, pins);
    job->state = initial;
    job->statePage = 0;
    job->carriage = MeasureCarriage(&initial, job->image, job->table);
    job->started = 1;
    return 1;
}

int DrawJobPage(DrawnJob *job, uint32_t p, int skipBlank)
{
    PageLayout layout;
    const unsigned char *bytes = NULL;
    uint32_t length = 0;

    if (!job->started && !StartDrawnJob(job))
        return 0;
    /* The pages before this one, printed or not, leave their state. */
    while (job->statePage < p && job->statePage < job->table->Entries) {
        uint32_t q = job->statePage++;
        AdvancePrinterState(&job->state, job->image + job->table->PageStarts[q],
                            job->table->PageEnds[q] - job->table->PageStarts[q] + 1);
    }
    if (p < job->table->Entries) {
        bytes = job->image + job->table->PageStarts[p];
        length = job->table->PageEnds[p] - job->table->PageStarts[p] + 1;
    }
    /* Blank is what the printer would put on paper: nothing drawn, whatever
     * commands the bytes hold. The page's state still carries on. The
     * sheets are laid out until one draws something: when it is the
     * page's first, it is drawn as it stands and the layout goes on from
     * there; when blank sheets come before it, the page is laid out anew
     * and drawn from its start. */
    uint32_t blanks = 0;
    int draws = 0, inHand = 0;
    BeginPageLayout(&layout, &job->state, bytes, length, job->codePage, job->carriage);
    while (LayOutNextSheet(&layout, &job->sheet)) {
        if (SheetDrawsSomething(&job->sheet)) {
            draws = 1;
            break;
        }
        blanks++;
    }
    if (!draws && (skipBlank || (p + 1 >= job->table->Entries && layout.formFeeds == 0))) {
        if (skipBlank)
            LogLine(job->log, TextBlankSkipped);
        AdvancePrinterState(&job->state, bytes, length);
        job->statePage = p + 1;
        return 1;
    }
    if (!job->document) {
        LogLine(job->log, TextDrawing);
        job->document = StartDrawing(job->log, job->printerName, job->documentName, job->carriage,
                                     job->state.formLength);
        if (!job->document)
            return 0;
    }
    if (draws && blanks == 0)
        inHand = 1;
    else
        BeginPageLayout(&layout, &job->state, bytes, length, job->codePage, job->carriage);
    while (inHand || LayOutNextSheet(&layout, &job->sheet)) {
        inHand = 0;
        if (!DrawJobSheet(job->document, &job->sheet)) {
            AbortDrawing(job->document);
            job->document = NULL;
            return 0;
        }
    }
    job->state = layout.state;
    job->statePage = p + 1;
    return 1;
}

int FinishDrawnJob(DrawnJob *job)
{
    int ended = 1;

    if (job->document)
        ended = EndDrawing(job->document);
    job->document = NULL;
    FreeSheet(&job->sheet);
    return ended;
}

void CancelDrawnJob(DrawnJob *job)
{
    if (job->document)
        AbortDrawing(job->document);
    job->document = NULL;
    FreeSheet(&job->sheet);
}
