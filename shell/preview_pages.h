/* preview_pages.h - the rules of the page preview that need no window:
 * which page it opens at and turns to, its caption, which page bytes it
 * shows, whether the job would skip them, and where the sheet sits in the
 * window.
 *
 * Pure engine-level code, so the rules are tested on any host. */
#ifndef VELMAR_PREVIEW_PAGES_H
#define VELMAR_PREVIEW_PAGES_H

#include <stdint.h>

#include "engine.h"
#include "layout.h"

enum { PREVIEW_CAPTION_SIZE = 96 };

/* How the user turns the pages. */
enum { PREVIEW_NEXT, PREVIEW_PREVIOUS, PREVIEW_FIRST, PREVIEW_LAST };

/* The page the preview opens at: the From box's text read as the dialog
 * reads it, when that names a page (1 to pageCount), else page 1. */
uint32_t PreviewFirstPage(const char *fromText, uint32_t pageCount);

/* The page after a move from page; it stops at the first and the last. */
uint32_t PreviewMove(uint32_t page, int move, uint32_t pageCount);

/* Pages to move for a wheel turn of delta (WHEEL_DELTA = 120 a notch):
 * turned toward the user (negative) goes forward, as a document scrolls
 * down; parts of a notch add up in *rest until they make one, and a turn
 * the other way drops them. */
int PreviewWheelPages(int *rest, int delta);

/* "Страница N из M", and " (пустая, будет пропущена)" when skipped; caption
 * holds PREVIEW_CAPTION_SIZE bytes. */
void ComposePreviewCaption(char *caption, uint32_t page, uint32_t pageCount, int skipped);

/* The bytes of page (1-based) as the job writes them: none for the counted
 * page after a final delimiter, or for any page beyond the table. */
void PreviewPageBytes(const unsigned char *image, const PageTable *table, uint32_t page,
                      const unsigned char **bytes, uint32_t *length);

/* 1 when the job would leave these bytes out: SKIPEMPTY read as the job
 * reads it (its switch starts at 1, takes TODOS, then SKIPEMPTY) is 1 and
 * the page has no text. Reads the settings file; logs nothing. */
int PreviewSkipsPage(const unsigned char *bytes, uint32_t length);

/* 1 when the job would be drawn through the printer's driver: DRAW is 1
 * and the output is an installed printer. */
int PreviewJobIsDrawn(const char *outputName);

/* The drawn job's rule: 1 when a page that draws nothing (drawsNothing)
 * would be left out, by SKIPEMPTY read as the job reads it, or because it
 * is the job's last page (last) and feeds no form (formFeeds 0). */
int PreviewSkipsDrawnPage(int drawsNothing, int last, uint32_t formFeeds);

/* A rectangle in the preview's client area, right and bottom exclusive. */
struct PreviewBox {
    long left, top, right, bottom;
};

/* The largest box of the sheet's proportions (sheetWidth by sheetHeight, any
 * unit) that fits width by height less margin on every side, centred. An
 * area or sheet without room gives an empty box. */
PreviewBox FitPaper(long width, long height, long margin, long sheetWidth, long sheetHeight);

/* The printer's state at the start of any page, as the drawn job carries
 * it from page 1, got quickly in whatever order the pages are shown: the
 * state of the page last asked for, and marks every stride pages, filled
 * as the pages go by. Page turns forward cost one page's pass, back at most
 * stride pages'. */
enum { PREVIEW_MARKS = 256 };
struct PreviewStates {
    PrinterState current;     /* at the start of page index currentPage */
    uint32_t currentPage;
    uint32_t stride;          /* pages between marks */
    uint32_t markCount;       /* marks[k] is the state at page index k * stride */
    PrinterState marks[PREVIEW_MARKS];
};

void BeginPreviewStates(PreviewStates *states, const PrinterState *initial, uint32_t pageCount);
/* The state at the start of page index page (0-based) of the table. */
void PreviewStateAt(PreviewStates *states, const unsigned char *image, const PageTable *table,
                    uint32_t page, PrinterState *state);

/* Lays out the first sheet of page index page into sheet, from state, and
 * returns how many sheets the page takes (at least 1). The sheet's arrays
 * are reused for the count, then hold the first sheet again. When not
 * NULL, *drawsNothing gets 1 when no sheet of the page draws anything, and
 * *formFeeds the form feeds it obeys. */
uint32_t LayOutFirstSheet(const PrinterState *state, const unsigned char *bytes, uint32_t length,
                          uint32_t codePage, uint32_t carriage, LayoutSheet *sheet,
                          int *drawsNothing = NULL, uint32_t *formFeeds = NULL);

#endif
