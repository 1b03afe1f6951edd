/* preview_pages.cpp - the page preview's rules that need no window. */
#include <string.h>

#include "preview_pages.h"

static const char TextPage[] = "Страница ";
static const char TextOf[] = " из ";
static const char TextSkipped[] = " (пустая, будет пропущена)";

uint32_t PreviewFirstPage(const char *fromText, uint32_t pageCount)
{
    uint32_t page = ReadDecimal(fromText);

    /* 0, a negative number (read modulo 2^32) or a number past the end
     * names no page. */
    if (page == 0 || page > pageCount)
        return 1;
    return page;
}

uint32_t PreviewMove(uint32_t page, int move, uint32_t pageCount)
{
    if (pageCount == 0)
        return 1;
    switch (move) {
    case PREVIEW_NEXT:     return page < pageCount ? page + 1 : pageCount;
    case PREVIEW_PREVIOUS: return page > 1 ? page - 1 : 1;
    case PREVIEW_FIRST:    return 1;
    case PREVIEW_LAST:     return pageCount;
    }
    return page;
}

int PreviewWheelPages(int *rest, int delta)
{
    int pages;

    if ((delta < 0 && *rest > 0) || (delta > 0 && *rest < 0))
        *rest = 0;
    /* Kept within a few notches: a flood of wheel messages cannot make it
     * overflow. */
    if (delta > 1200)
        delta = 1200;
    if (delta < -1200)
        delta = -1200;
    *rest += delta;
    pages = -(*rest / 120);
    *rest %= 120;
    return pages;
}

static char *Append(char *at, const char *text)
{
    size_t length = strlen(text);
    memcpy(at, text, length);
    return at + length;
}

void ComposePreviewCaption(char *caption, uint32_t page, uint32_t pageCount, int skipped)
{
    char *at = caption;

    /* 9 + 10 + 4 + 10 + 26 characters at most: well within the buffer. */
    memset(caption, 0, PREVIEW_CAPTION_SIZE);
    at = Append(at, TextPage);
    WriteDecimalUnsigned(page, at);
    at += strlen(at);
    at = Append(at, TextOf);
    WriteDecimalUnsigned(pageCount, at);
    at += strlen(at);
    if (skipped)
        Append(at, TextSkipped);
}

void PreviewPageBytes(const unsigned char *image, const PageTable *table, uint32_t page,
                      const unsigned char **bytes, uint32_t *length)
{
    *bytes = NULL;
    *length = 0;
    if (!image || !table || page == 0 || page > table->Entries)
        return;
    *bytes = image + table->PageStarts[page - 1];
    *length = table->PageEnds[page - 1] - table->PageStarts[page - 1] + 1;
}

int PreviewSkipsPage(const unsigned char *bytes, uint32_t length)
{
    int32_t toggle = 1;

    ReadSettingStruct("TODOS", &toggle, sizeof toggle);
    ReadSettingStruct("SKIPEMPTY", &toggle, sizeof toggle);
    return toggle == 1 && !PageBytesHaveText(bytes, length);
}

int PreviewJobIsDrawn(const char *outputName)
{
    int32_t draw = 0;

    ReadSettingStruct("DRAW", &draw, sizeof draw);
    return draw == 1 && outputName && IsInstalledPrinter(outputName);
}

int PreviewSkipsDrawnPage(int drawsNothing, int last, uint32_t formFeeds)
{
    int32_t toggle = 1;

    if (!drawsNothing)
        return 0;
    ReadSettingStruct("TODOS", &toggle, sizeof toggle);
    ReadSettingStruct("SKIPEMPTY", &toggle, sizeof toggle);
    return toggle == 1 || (last && formFeeds == 0);
}

PreviewBox FitPaper(long width, long height, long margin, long sheetWidth, long sheetHeight)
{
    PreviewBox box = {0, 0, 0, 0};
    long roomWidth = width - 2 * margin;
    long roomHeight = height - 2 * margin;
    long w, h;

    if (roomWidth <= 0 || roomHeight <= 0 || sheetWidth <= 0 || sheetHeight <= 0)
        return box;
    /* Width-bound or height-bound, whichever leaves the sheet inside; in
     * 64 bits, so large sheet units cannot overflow. */
    if ((long long)roomWidth * sheetHeight <= (long long)roomHeight * sheetWidth) {
        w = roomWidth;
        h = (long)((long long)roomWidth * sheetHeight / sheetWidth);
    } else {
        h = roomHeight;
        w = (long)((long long)roomHeight * sheetWidth / sheetHeight);
    }
    if (w < 1 || h < 1)
        return box;
    box.left = (width - w) / 2;
    box.top = (height - h) / 2;
    box.right = box.left + w;
    box.bottom = box.top + h;
    return box;
}

void BeginPreviewStates(PreviewStates *states, const PrinterState *initial, uint32_t pageCount)
{
    states->current = *initial;
    states->currentPage = 0;
    /* Enough marks to reach past the last page. */
    states->stride = pageCount / PREVIEW_MARKS + 1;
    states->marks[0] = *initial;
    states->markCount = 1;
}

void PreviewStateAt(PreviewStates *states, const unsigned char *image, const PageTable *table,
                    uint32_t page, PrinterState *state)
{
    uint32_t mark = page / states->stride;
    uint32_t at;

    if (mark >= states->markCount)
        mark = states->markCount - 1;
    at = mark * states->stride;
    *state = states->marks[mark];
    if (states->currentPage <= page && states->currentPage > at) {
        at = states->currentPage;
        *state = states->current;
    }
    /* Pages past the table hold no bytes and leave the state as it is. */
    for (; at < page; at++) {
        if (at < table->Entries)
            AdvancePrinterState(state, image + table->PageStarts[at],
                                table->PageEnds[at] - table->PageStarts[at] + 1);
        if ((at + 1) % states->stride == 0 && (at + 1) / states->stride == states->markCount
            && states->markCount < PREVIEW_MARKS)
            states->marks[states->markCount++] = *state;
    }
    states->current = *state;
    states->currentPage = page;
}

uint32_t LayOutFirstSheet(const PrinterState *state, const unsigned char *bytes, uint32_t length,
                          uint32_t codePage, uint32_t carriage, LayoutSheet *sheet,
                          int *drawsNothing, uint32_t *formFeeds)
{
    PageLayout layout;
    uint32_t sheets = 0;
    int nothing = 1;

    BeginPageLayout(&layout, state, bytes, length, codePage, carriage);
    while (LayOutNextSheet(&layout, sheet)) {
        if (SheetDrawsSomething(sheet))
            nothing = 0;
        sheets++;
    }
    if (drawsNothing)
        *drawsNothing = nothing;
    if (formFeeds)
        *formFeeds = layout.formFeeds;
    if (sheets != 1) {
        BeginPageLayout(&layout, state, bytes, length, codePage, carriage);
        LayOutNextSheet(&layout, sheet);
    }
    return sheets ? sheets : 1;
}
