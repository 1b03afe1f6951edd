/* layout.h - what a character printer would put on paper: the printer's
 * state, the sheets laid out from a page's bytes, and how a sheet is fitted
 * to a device's printable area.
 *
 * Portable engine code: bytes and a code page go in, sheets of character
 * cells come out. Drawing a sheet is the host's business (shell/draw.h).
 *
 * Units: across the carriage 1/360 inch (a column at 10 cpi is 36, at
 * 12 cpi 30, at 15 cpi 24, condensed 21 or 18); bit-image dots are placed
 * finer across, 1/720 inch, which holds every density's column and twice
 * the text grid. Down the form, for lines, forms, feeds and dots alike,
 * 1/2160 inch: it holds every step a printer takes down the paper exactly
 * (1/216 inch is 10, 1/180 12, 1/360 6, 1/72 30, 1/60 36, and the units
 * 5/3600 to 60/3600 inch a program may choose), so that feeds of any mix
 * add up on the sheet as they do on paper. A line at 6 lpi is 360, a form
 * of 66 such lines 23,760, the longest form 47,520: each fits 16 bits.
 */
#ifndef VELMAR_LAYOUT_H
#define VELMAR_LAYOUT_H

#include <stdint.h>

#include "engine.h"
#include "escp.h"

enum {
    LAYOUT_UNITS_PER_INCH_X = 360,
    LAYOUT_UNITS_PER_INCH_Y = 2160,
    LAYOUT_MAX_CARRIAGE = 4896,     /* 13.6 inches, 136 columns at 10 cpi */
    LAYOUT_DEFAULT_SPACING = 360,   /* 1/6 inch */
    LAYOUT_DEFAULT_FORM_LINES = 66, /* 11 inches */
    LAYOUT_MAX_FORM = 22 * 2160,    /* the longest form ESC C allows, 22 inches */
    LAYOUT_SHEET_CELLS = 32768,     /* cells one sheet can hold; more are dropped */
    LAYOUT_LINE_CELLS = 1024,       /* cells one printed line can hold */
    LAYOUT_DOT_UNITS_X = 720,       /* bit-image units across, per inch */
    LAYOUT_DOT_UNITS_Y = 2160,      /* and down: the text's own grid */
    LAYOUT_SHEET_DOTS = 65536,      /* rectangles of dots a sheet holds at first */
    /* and at most, as it grows: 128 MB of them, which a 32-bit process
     * can hold; more than a sheet of 360 x 360 dpi raster ever makes but
     * for a checkerboard of dots none of which can join. */
    LAYOUT_MAX_SHEET_DOTS = 16 << 20,
    /* Raster images kept as pictures: at most this many a sheet, and this
     * many bytes of their dots (a sheet of 720 x 720 dpi raster, 13.6 by
     * 22 inches, is 19 MB); past either, the dots go on as rectangles. */
    LAYOUT_MAX_PICTURES = 65536,
    LAYOUT_MAX_PICTURE_BYTES = 32 << 20,
    LAYOUT_TAB_STOPS = 32
};

/* The printer's state that carries from one page to the next. Plain data:
 * copy it to keep the state at the start of a page. */
struct PrinterState {
    uint8_t pitch;          /* 10, 12 or 15 characters per inch */
    uint8_t condensed;      /* SI / ESC SI, until DC2 */
    uint8_t wide;           /* ESC W 1, until ESC W 0 */
    uint8_t wideLine;       /* SO / ESC SO, until DC4 or the end of the line */
    uint8_t emphasized;     /* ESC E, until ESC F */
    uint8_t doubleStrike;   /* ESC G, until ESC H */
    uint8_t underline;      /* ESC - 1, until ESC - 0 */
    uint16_t lineSpacing;   /* 1/2160 inch */
    uint16_t formLength;    /* 1/2160 inch, 1 .. LAYOUT_MAX_FORM */
    uint16_t powerOnForm;   /* the form ESC @ returns to */
    /* Where the reader is in the command stream: a command cut by the end
     * of a page goes on with the next page's bytes, as the printer would
     * take them. */
    EscpReader reader;
    uint8_t column[3];      /* the bytes of a bit image's column so far */
    uint8_t columnHave;
    uint8_t italic;         /* ESC 4, until ESC 5 */
    uint8_t script;         /* ESC S 0: 1 (superscript), ESC S 1: 2 (subscript); ESC T 0 */
    uint8_t tabWidth;       /* of a column when ESC D set the stops; 0: every 8 columns */
    uint8_t tabCount;
    uint8_t tabs[LAYOUT_TAB_STOPS]; /* ESC D: the stops, in columns, ascending */
    /* How the printer reads the commands whose units differ between 9-pin
     * and 24-pin printers (ESC 3, ESC A, ESC J, ESC backslash, and ESC .
     * without graphics mode): 9 or 24, kept over ESC @. */
    uint8_t pins;
    uint8_t letterQuality;  /* ESC x 1, until ESC x 0: draft otherwise */
    uint8_t graphicsMode;   /* ESC ( G */
    uint8_t unitDown;       /* ESC ( U: the unit of moves down, m/3600 inch; 0 until given */
    uint8_t unitAcross;     /* and across */
    uint16_t leftMargin;    /* ESC l: 1/360 inch from the carriage's start */
    uint16_t rightMargin;   /* ESC Q: where lines wrap, 1/360 inch; 0: the carriage's end */
    uint32_t rasterAt;      /* bytes of the raster image (ESC .) decoded so far */
    uint16_t topMargin;     /* ESC ( c: where ESC ( V counts from, 1/2160 inch */
    uint8_t colour;         /* ESC r, ESC ( r: what prints from now on */
};

/* Cell attributes. */
enum { CELL_BOLD = 1, CELL_UNDERLINE = 2, CELL_ITALIC = 4, CELL_SUPERSCRIPT = 8, CELL_SUBSCRIPT = 16 };

/* One character struck on the sheet. */
struct LayoutCell {
    uint16_t ch;        /* Unicode (UTF-16) */
    uint16_t x;         /* left edge, 1/360 inch from the carriage's start */
    uint8_t width;      /* 1/360 inch: the pitch's column, doubled when wide */
    uint8_t attributes; /* CELL_BOLD, CELL_UNDERLINE */
    uint8_t colour;     /* LAYOUT_BLACK ... of ESC r */
};

/* The colours of ESC r n (n 0 to 6) and ESC ( r: on a device without
 * colour all are black. */
enum {
    LAYOUT_BLACK, LAYOUT_MAGENTA, LAYOUT_CYAN, LAYOUT_VIOLET, LAYOUT_YELLOW, LAYOUT_RED,
    LAYOUT_GREEN, LAYOUT_COLOURS
};

/* The cells of one printed line, in the order of their x. */
struct LayoutLine {
    uint32_t first; /* index of the line's first cell */
    uint16_t count;
    uint16_t y;     /* top of the line, 1/2160 inch from the top of the form */
};

/* Bit-image dots: a black rectangle, runs of dots of one or more rows of a
 * band; 1/720 inch across from the carriage's start, 1/2160 inch down from
 * the top of the form. Right and bottom are the edges after the last dot. */
struct LayoutDots {
    uint16_t left;
    uint16_t right;
    uint16_t top;
    uint16_t bottom;
    uint8_t colour;     /* LAYOUT_BLACK ... */
};

/* A raster image's dots as they came, one bit a dot: rows top down, each
 * stride bytes from the sheet's pictureBits[bits], the leftmost dot the
 * highest bit, 0 past the width. Dots are stepX/720 inch apart across from
 * left (1/720 inch), rows stepY/2160 inch apart down from top (1/2160
 * inch); the rows are those above the form's end, and bottom is the edge
 * below the last, cut there. A picture holds at least one dot. */
struct LayoutPicture {
    uint32_t bits;
    uint16_t left;
    uint16_t top;
    uint16_t width;     /* dots across; those past the carriage left out */
    uint16_t rows;
    uint16_t stride;
    uint16_t bottom;
    uint8_t stepX;
    uint8_t stepY;
    uint8_t colour;     /* LAYOUT_BLACK ... */
};

/* One sheet of paper as laid out. The arrays belong to the sheet (see
 * AllocateSheet); a new sheet overwrites them. */
struct LayoutSheet {
    LayoutLine *lines;
    LayoutCell *cells;
    LayoutDots *dots;
    uint32_t lineCount;
    uint32_t cellCount;
    uint32_t dotCount;
    uint32_t dotCapacity; /* rectangles the dots array holds; it grows as they come */
    /* Raster images, as pictures; the arrays are taken when the first
     * comes and grow as more do. */
    LayoutPicture *pictures;
    unsigned char *pictureBits;
    uint32_t pictureCount;
    uint32_t pictureCapacity;
    uint32_t pictureBytes;     /* of pictureBits in use */
    uint32_t pictureRoom;      /* and held */
    uint32_t carriage;   /* width of the grid, 1/360 inch */
    uint32_t form;       /* height of the grid: the longest form in force on the
                          * sheet, 1/2160 inch */
    uint32_t dropped;    /* cells and rectangles of dots that did not fit */
};

/* Takes and gives back the arrays of a sheet: one heap block for the lines
 * and cells, one for the dots, which grows as needed. */
int AllocateSheet(LayoutSheet *sheet);
void FreeSheet(LayoutSheet *sheet);

/* The state at the start of a file: the power-on state (10 cpi, 6 lpi,
 * forms of 66 lines) of a printer of pins pins (24, or 9 for any other
 * value), with a form of formLines lines when formLines is not 0 (the
 * longest form at most), then setup[0 .. setupLength) fed through the
 * same interpreter as the page bytes (nothing of it prints). */
void InitialPrinterState(PrinterState *state, const unsigned char *setup, uint32_t setupLength,
                         uint32_t formLines, uint32_t pins);

/* The pins a job is read with: the setting PINS when it is 9 or 24, else
 * 24 when the set-up bytes and the image, read as one stream, use a command
 * only 24-pin printers know (EscpUses24Pin), else 9. The whole job is
 * looked at before its first sheet, so that a feed ahead of the first
 * 24-dot image is already read as the 24-pin printer reads it. */
uint32_t ChooseJobPins(const unsigned char *setup, uint32_t setupLength, const unsigned char *image,
                       uint32_t length);

/* The state after the bytes, without laying anything out: a state-only pass,
 * about as fast as a scan of the bytes. */
void AdvancePrinterState(PrinterState *state, const unsigned char *bytes, uint32_t length);

/* The state at the start of page index (0-based) of the table: the initial
 * state advanced over the pages before it. */
void PrinterStateAtPage(PrinterState *state, const PrinterState *initial,
                        const unsigned char *image, const PageTable *table, uint32_t page);

/* The carriage a file needs: the right edge of its widest printed line
 * (bit images' inked columns count), 1/360 inch, over every page of the table from the initial state, at least
 * one column and at most LAYOUT_MAX_CARRIAGE. */
uint32_t MeasureCarriage(const PrinterState *initial, const unsigned char *image,
                         const PageTable *table);

/* Laying out one page, a sheet at a time:
 *   PageLayout layout;
 *   BeginPageLayout(&layout, &state, bytes, length, codePage, carriage);
 *   while (LayOutNextSheet(&layout, &sheet)) ... draw the sheet ...
 *   state = layout.state;   // the state after the page
 * A page gives at least one sheet (an empty one when it prints nothing); a
 * form feed or a line beyond the form's end starts the next, and a form
 * feed that ends the page adds none. */
struct PageLayout {
    const unsigned char *bytes;
    uint32_t length;
    uint32_t offset;        /* next byte to interpret */
    const uint16_t *high;   /* Unicode of bytes 128-255 */
    uint32_t carriage;
    PrinterState state;     /* the state so far; after the page once done */
    uint32_t x;             /* the print head, 1/360 inch */
    uint32_t y;             /* the line, 1/2160 inch from the top of the sheet */
    uint32_t sheets;        /* sheets handed out */
    int lineOpen;           /* the sheet's last line is the one being printed */
    /* The bit image being printed: the head in dot units, and each row's
     * run of dots not yet put on the sheet (runTo 0: none). */
    uint32_t dotX;
    uint32_t bandTop;
    uint16_t runFrom[24];
    uint16_t runTo[24];
    uint8_t bandPitch;
    uint8_t bandRows;
    /* The raster image being printed (ESC .): its top left, and the run of
     * dots of its current row not yet put on the sheet (rasterTo 0: none). */
    uint32_t rasterLeft;    /* 1/720 inch */
    uint32_t rasterTop;     /* 1/2160 inch */
    uint32_t rasterFrom;
    uint32_t rasterTo;
    uint32_t rasterRunTop;
    uint32_t rasterRunBottom;
    /* The sheet's last rectangles of dots, from rowFirst on, all have
     * their top at rowTop. */
    uint32_t rowFirst;
    uint32_t rowTop;
    /* The raster image as a picture: its rows and dots across that can
     * print (0: it is put down as rectangles), and its picture on the
     * sheet, 1-based, once a dot has come (0: none yet). */
    uint32_t pictureRows;
    uint32_t pictureWidth;
    uint32_t picture;
    int overflowed;         /* the current sheet began where a long page ran on */
    int done;
    uint32_t formFeeds;     /* form feeds obeyed so far */
};

void BeginPageLayout(PageLayout *layout, const PrinterState *state, const unsigned char *bytes,
                     uint32_t length, uint32_t codePage, uint32_t carriage);
/* Fills sheet with the page's next sheet: 1, or 0 when the page has none
 * left (its state is then the state after the page). */
int LayOutNextSheet(PageLayout *layout, LayoutSheet *sheet);

/* The runs of dots of row row of a picture of the sheet, as rectangles
 * one row high: out[0 .. the count returned), at most max of them (a row
 * has at most (width + 1) / 2). */
uint32_t PictureRowDots(const LayoutSheet *sheet, const LayoutPicture *picture, uint32_t row,
                        LayoutDots *out, uint32_t max);

/* 1 when the sheet draws something: a character, an underline, a dot. */
int SheetDrawsSomething(const LayoutSheet *sheet);

/* 1 when the page, laid out from state, draws nothing on any of its
 * sheets: no character, no underline, no dot. *formFeeds (when not NULL)
 * gets the form feeds it obeys. Uses the sheet's arrays; stops at the
 * first sheet that draws something. */
int PageDrawsNothing(const PrinterState *state, const unsigned char *bytes, uint32_t length,
                     uint32_t codePage, uint32_t carriage, LayoutSheet *sheet, uint32_t *formFeeds);

/* ---- Fitting a sheet to a device ----------------------------------------- */

/* The printable area of a device's sheet, in its dots, and its resolution
 * (GetDeviceCaps HORZRES, VERTRES, LOGPIXELSX, LOGPIXELSY). */
struct DrawingArea {
    int32_t width;
    int32_t height;
    int32_t dpiX;
    int32_t dpiY;
};

/* A4 at 300 dpi, portrait, with the margins of a common laser driver:
 * 2329 x 3358 printable dots. What a preview shows when there is no printer. */
void A4DrawingArea(DrawingArea *area);

/* The grid scaled to the area: device dots per 1/360 inch across and per
 * 1/2160 inch down (the same scale both ways, at most 1, the nominal size),
 * the grid's origin at the area's top left. */
struct SheetFit {
    float scale;    /* of the nominal size, 0 < scale <= 1 */
    float dotsPerX; /* device dots per 1/360 inch */
    float dotsPerY; /* device dots per 1/2160 inch */
};

/* The scale at which a carriage x form grid fits the area. */
void FitSheet(const DrawingArea *area, uint32_t carriage, uint32_t form, SheetFit *fit);

/* 1 when the job is to be printed on landscape sheets: when, on the sheet
 * turned (the portrait area's sides swapped), its grid is printed larger
 * than upright. */
int ChooseLandscape(const DrawingArea *portrait, uint32_t carriage, uint32_t form);

/* The area turned a quarter: width and height swapped, and the resolutions. */
void TurnArea(const DrawingArea *portrait, DrawingArea *landscape);

/* ---- The drawn job's host service ---------------------------------------- */

/* The drawing service of the host, as ChoosePageRange is its dialog. The
 * shell draws through the printer's driver (CreateDC, StartDoc, StartPage,
 * EndPage, EndDoc); the engine tests record the sheets.
 *
 * StartDrawing opens a document named documentName on printerName, landscape
 * when ChooseLandscape says so for the grid carriage x form (the form at the
 * start of the first sheet). Returns a handle, or NULL when it fails. */
typedef struct DrawnDocumentTag *DrawnDocument;
DrawnDocument StartDrawing(ActivityLog log, const char *printerName, const char *documentName,
                           uint32_t carriage, uint32_t form);
/* One sheet: StartPage, the sheet drawn, EndPage. 0 when the device fails. */
int DrawJobSheet(DrawnDocument document, const LayoutSheet *sheet);
/* Ends the document (EndDoc), or throws it away (AbortDoc), and lets go of
 * the handle. EndDrawing returns 0 when the document could not be ended. */
int EndDrawing(DrawnDocument document);
void AbortDrawing(DrawnDocument document);

/* ---- The drawn job (drawn_job.cpp) ----------------------------------------- */

/* One job's drawing: the pages go through DrawJobPage in ascending order;
 * the printer's state is carried over the pages between, printed or not,
 * from page 1. Holds one sheet's layout at a time. */
struct DrawnJob {
    ActivityLog log;
    const char *printerName;
    const char *documentName;
    const unsigned char *image;
    const PageTable *table;
    uint32_t codePage;
    /* Where the layout starts: set-up bytes and a form in lines (0: the
     * default), as for InitialPrinterState. */
    const unsigned char *setup;
    uint32_t setupLength;
    uint32_t formLines;
    /* Filled as the job goes. */
    PrinterState state;     /* at the start of page statePage */
    uint32_t statePage;
    uint32_t carriage;
    DrawnDocument document;
    LayoutSheet sheet;
    int started;
};

/* Prepares job (nothing is drawn or opened yet). */
void BeginDrawnJob(DrawnJob *job, ActivityLog log, const char *printerName,
                   const char *documentName, const unsigned char *image, const PageTable *table,
                   uint32_t codePage);
/* Draws page index p (0-based, above any page drawn before): the first call
 * logs "Печать через драйвер" and opens the document. A page that draws
 * nothing is left out, with "Пустая страница пропущена", when skipBlank is
 * set; so is, silently, the job's last page when it draws nothing and
 * feeds no form (what a driver's closing ESC @ leaves): neither spends a
 * sheet. 0 on a failure; the document is then thrown away. */
int DrawJobPage(DrawnJob *job, uint32_t p, int skipBlank);
/* Ends the document, if one was opened (0 when that fails), and frees the
 * job's memory. */
int FinishDrawnJob(DrawnJob *job);
/* Throws an open document away and frees the job's memory. */
void CancelDrawnJob(DrawnJob *job);

#endif
