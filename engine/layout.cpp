/* layout.cpp - a character printer's interpreter: the bytes of a page in,
 * the sheets it would print out.
 *
 * One byte at a time through a small state machine, so that a command cut
 * by a page's end goes on with the next page, as the printer sees one
 * stream. Three uses share it: the state-only pass (no position, no cells),
 * the measure of the widest line, and the layout of a page's sheets.
 *
 * Text semantics: CR returns to column 0; LF starts the next line at column
 * 0; FF ends the sheet; TAB goes to the next stop (every 8 columns, or
 * those of ESC D); BS goes back one column; a character struck again on
 * itself prints bold, "_" struck with a character underlines it. Of the
 * ESC/P commands, those that change the look are obeyed, and the 8-dot and
 * 24-dot bit images (ESC K, L, Y, Z, *) put their dots on the sheet; every
 * other one is passed over with its parameters and data. Other control
 * bytes print nothing.
 */
#include <string.h>

#include "layout.h"

static void PowerOn(PrinterState *s, uint16_t form, uint8_t pins)
{
    memset(s, 0, sizeof *s);
    EscpReset(&s->reader);
    s->pitch = 10;
    s->lineSpacing = LAYOUT_DEFAULT_SPACING;
    s->formLength = form;
    s->powerOnForm = form;
    s->pins = pins == 24 ? 24 : 9;
}

/* n of the ESC ( U unit down, 1/2160 inch; 1/360 inch until a unit is
 * given. Units of 5/3600 inch and their multiples come out exact. */
static uint32_t UnitsDown(const PrinterState *s, uint32_t n)
{
    uint32_t unit = s->unitDown ? s->unitDown : 10;
    return (n * unit * 3 + 2) / 5;
}

/* n steps of unit/3600 inch across, 1/720 inch. */
static uint32_t DotsAcross(uint32_t n, uint32_t unit)
{
    return (n * unit + 2) / 5;
}

/* A column of the pitch, 1/360 inch: what tab stops count in. */
static uint32_t PitchWidth(const PrinterState *s)
{
    if (s->condensed && s->pitch != 15)
        return s->pitch == 12 ? 18 : 21;
    return s->pitch == 12 ? 30 : s->pitch == 15 ? 24 : 36;
}

/* The width of the next character, 1/360 inch. */
static uint32_t CharWidth(const PrinterState *s)
{
    return (s->wide || s->wideLine) ? 2 * PitchWidth(s) : PitchWidth(s);
}

/* ---- The sink: what the text actions do in each use ---------------------- */

struct Run {
    PrinterState *s;
    const uint16_t *high;
    /* Position and output; NULL layout for the state-only pass. */
    PageLayout *layout;
    LayoutSheet *sheet;  /* NULL when only measuring */
    uint32_t widest;     /* the measure: right edge of the widest line */
    int sheetEnded;      /* 1 by a form feed, 2 by running off the form */
    int unread;          /* the last byte belongs to the next sheet */
    /* Where the next raster byte falls, once one has been read: its place
     * in the data, the row's bytes, its row and its first dot. */
    int rasterKnown;
    uint32_t rasterNext;
    uint32_t rasterPerRow;
    uint32_t rasterRow;
    uint32_t rasterFirst;
};

/* Where lines start: the left margin, while it leaves the carriage room
 * for the widest character. */
static uint32_t LineStart(const Run *r)
{
    uint32_t left = r->s->leftMargin;

    return left + 72 <= r->layout->carriage ? left : 0;
}

/* Where a line wraps: the carriage's end, or the right margin before it.
 * A blank that prints nothing wraps only at the widest carriage's end (or
 * the margin): the measure leaves such blanks out. */
static uint32_t LineEnd(const Run *r, int blank)
{
    uint32_t end = blank ? (uint32_t)LAYOUT_MAX_CARRIAGE : r->layout->carriage;
    uint32_t right = r->s->rightMargin;

    return right && right < end ? right : end;
}

/* Moves the paper to line y, 1/2160 inch from the top of the sheet. The
 * line being printed ends; past the form's end the next sheet starts, at
 * its top, as with line feeds. */
static void FeedTo(Run *r, uint32_t y)
{
    PageLayout *l = r->layout;

    if (!l || y == l->y)
        return;
    l->lineOpen = 0;
    if (y >= r->s->formLength) {
        l->y = 0;
        r->sheetEnded = 2;
        return;
    }
    l->y = y;
}

/* The head to fine, 1/720 inch from the carriage's start. */
static void HeadTo(PageLayout *l, uint32_t fine)
{
    l->dotX = fine;
    l->x = (fine + 1) / 2;
}

/* The head, 1/720 inch: the bit image's own place while nothing else
 * moved it. */
static uint32_t FineHead(const PageLayout *l)
{
    return (l->dotX + 1) / 2 == l->x ? l->dotX : 2 * l->x;
}

/* The next line. A line feed also ends one-line double width; a line that
 * wraps keeps it, so the state never depends on where the head is. */
static void NextLine(Run *r)
{
    PageLayout *l = r->layout;

    l->x = LineStart(r);
    /* A feed of nothing leaves the paper where it is: what follows strikes
     * on the same line. */
    if (r->s->lineSpacing != 0)
        l->lineOpen = 0;
    l->y += r->s->lineSpacing;
    if (l->y >= r->s->formLength) {
        l->y = 0;
        r->sheetEnded = 2;
    }
}

static void NewLine(Run *r)
{
    r->s->wideLine = 0;
    if (r->layout)
        NextLine(r);
}

static void FormFeed(Run *r)
{
    PageLayout *l = r->layout;

    r->s->wideLine = 0;
    if (!l)
        return;
    l->x = LineStart(r);
    l->y = 0;
    l->lineOpen = 0;
    l->formFeeds++;
    r->sheetEnded = 1;
}

/* Strikes ch at x on the sheet's current line, which is its last. */
static void Strike(Run *r, uint16_t ch, uint32_t x, uint32_t w, uint8_t attributes)
{
    PageLayout *l = r->layout;
    LayoutSheet *sheet = r->sheet;
    LayoutLine *line;
    uint32_t lo, hi, end;

    if (!sheet) {
        if (ch != ' ' || (attributes & CELL_UNDERLINE)) {
            if (x + w > r->widest)
                r->widest = x + w;
        }
        return;
    }
    if (!l->lineOpen) {
        if (ch == ' ' && !(attributes & CELL_UNDERLINE))
            return;
        if (sheet->lineCount >= LAYOUT_SHEET_CELLS) {
            sheet->dropped++;
            return;
        }
        line = &sheet->lines[sheet->lineCount++];
        line->first = sheet->cellCount;
        line->count = 0;
        line->y = (uint16_t)l->y;
        l->lineOpen = 1;
    }
    line = &sheet->lines[sheet->lineCount - 1];
    /* The first cell at or right of x. */
    lo = line->first;
    hi = line->first + line->count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (sheet->cells[mid].x < x)
            lo = mid + 1;
        else
            hi = mid;
    }
    end = line->first + line->count;
    for (uint32_t i = lo; i < end && sheet->cells[i].x == x; i++) {
        LayoutCell *c = &sheet->cells[i];
        if (c->width != w)
            continue;
        if (ch == ' ') {
            c->attributes |= attributes & CELL_UNDERLINE;
            return;
        }
        if (c->ch == ch) {
            c->attributes |= attributes | CELL_BOLD;
            return;
        }
        /* An underlined blank takes whatever is struck on it. */
        if (c->ch == ' ') {
            c->attributes |= attributes;
            c->ch = ch;
            return;
        }
        if (ch == '_') {
            c->attributes |= attributes | CELL_UNDERLINE;
            return;
        }
        if (c->ch == '_') {
            c->attributes |= attributes | CELL_UNDERLINE;
            c->ch = ch;
            return;
        }
    }
    while (lo < end && sheet->cells[lo].x == x)
        lo++;
    if (ch == ' ' && !(attributes & CELL_UNDERLINE))
        return;
    if (sheet->cellCount >= LAYOUT_SHEET_CELLS || line->count >= LAYOUT_LINE_CELLS) {
        sheet->dropped++;
        return;
    }
    if (lo < sheet->cellCount)
        memmove(&sheet->cells[lo + 1], &sheet->cells[lo], (sheet->cellCount - lo) * sizeof(LayoutCell));
    sheet->cells[lo].ch = ch;
    sheet->cells[lo].x = (uint16_t)x;
    sheet->cells[lo].width = (uint8_t)w;
    sheet->cells[lo].attributes = attributes;
    sheet->cells[lo].colour = r->s->colour;
    sheet->cellCount++;
    line->count++;
}

static void PrintByte(Run *r, unsigned char b)
{
    PageLayout *l = r->layout;
    uint32_t w;
    uint8_t attributes;

    if (!l)
        return;
    w = CharWidth(r->s);
    attributes = (uint8_t)(((r->s->emphasized || r->s->doubleStrike) ? CELL_BOLD : 0) |
                           (r->s->underline ? CELL_UNDERLINE : 0) |
                           (r->s->italic ? CELL_ITALIC : 0) |
                           (r->s->script == 1 ? CELL_SUPERSCRIPT : 0) |
                           (r->s->script == 2 ? CELL_SUBSCRIPT : 0));
    /* A line too long for the carriage (or the right margin) goes on at
     * the start of the next. A blank that prints nothing moves the head as
     * on the widest carriage: a padded line must not wrap into a line of
     * its own. */
    if (l->x + w > LineEnd(r, b == ' ' && !(attributes & CELL_UNDERLINE)) && l->x > LineStart(r)) {
        NextLine(r);
        /* Off the form: the character opens the next sheet. */
        if (r->sheetEnded && r->sheet) {
            r->unread = 1;
            return;
        }
    }
    Strike(r, b < 128 ? b : r->high[b - 128], l->x, w, attributes);
    l->x += w;
}

static void Tab(Run *r)
{
    PageLayout *l = r->layout;
    const PrinterState *s = r->s;
    uint32_t column, start;

    if (!l)
        return;
    /* Stops count from the left margin. */
    start = LineStart(r);
    if (s->tabWidth) {
        /* The stops of ESC D; past the last one the head stays. */
        for (uint32_t i = 0; i < s->tabCount && i < LAYOUT_TAB_STOPS; i++) {
            if (start + (uint32_t)s->tabs[i] * s->tabWidth > l->x) {
                l->x = start + (uint32_t)s->tabs[i] * s->tabWidth;
                break;
            }
        }
    } else {
        column = CharWidth(s);
        l->x = l->x < start ? start : start + ((l->x - start) / (8 * column) + 1) * 8 * column;
    }
    /* Stops as on the widest carriage, as the measure's do; a character
     * past the carriage then wraps. */
    if (l->x > LAYOUT_MAX_CARRIAGE)
        l->x = LAYOUT_MAX_CARRIAGE;
}

static void Backspace(Run *r)
{
    PageLayout *l = r->layout;
    uint32_t w;

    if (!l)
        return;
    /* Never left of the margin. */
    w = CharWidth(r->s);
    l->x = l->x >= LineStart(r) + w ? l->x - w : LineStart(r) < l->x ? LineStart(r) : l->x;
}

/* ---- Bit images --------------------------------------------------------------- */

/* Doubles the room for the sheet's dots, up to the most a sheet holds. 0
 * when it is full or the memory cannot be had: the sheet keeps what it
 * has. */
static int GrowDots(LayoutSheet *sheet)
{
    uint32_t capacity = sheet->dotCapacity;
    LayoutDots *grown;

    if (!sheet->dots || capacity >= LAYOUT_MAX_SHEET_DOTS)
        return 0;
    capacity = capacity * 2 > LAYOUT_MAX_SHEET_DOTS ? (uint32_t)LAYOUT_MAX_SHEET_DOTS : capacity * 2;
    grown = (LayoutDots *)HeapReAlloc(GetProcessHeap(), 0, sheet->dots, (SIZE_T)capacity * sizeof(LayoutDots));
    if (!grown)
        return 0;
    sheet->dots = grown;
    sheet->dotCapacity = capacity;
    return 1;
}

/* Puts a rectangle of dots on the sheet, cut at the form's end. It joins
 * one of the last few put there that it continues downwards: the rows of
 * one run, and the same run of the band above. */
static void AddDotsLooking(Run *r, uint32_t left, uint32_t right, uint32_t top, uint32_t bottom,
                           uint32_t lookBack)
{
    LayoutSheet *sheet = r->sheet;
    uint32_t end = r->s->formLength;
    LayoutDots *d;

    PageLayout *l = r->layout;
    uint32_t from = sheet->dotCount;

    if (top >= end)
        return;
    if (bottom > end)
        bottom = end;
    /* The rectangles of the row being put down start at rowFirst: each
     * is at least a dot high, so none of them ends where this one starts,
     * and the search passes over them. A halftone's row of many runs
     * searches none. */
    if (l->rowFirst <= from && l->rowTop == top)
        from = l->rowFirst;
    for (uint32_t i = from; i > 0 && i + lookBack > sheet->dotCount; i--) {
        d = &sheet->dots[i - 1];
        if (d->bottom == top && d->left == left && d->right == right && d->colour == r->s->colour) {
            d->bottom = (uint16_t)bottom;
            return;
        }
    }
    if (sheet->dotCount >= sheet->dotCapacity && !GrowDots(sheet)) {
        sheet->dropped++;
        return;
    }
    if (l->rowFirst > sheet->dotCount || l->rowTop != top) {
        l->rowFirst = sheet->dotCount;
        l->rowTop = top;
    }
    d = &sheet->dots[sheet->dotCount++];
    d->left = (uint16_t)left;
    d->right = (uint16_t)right;
    d->top = (uint16_t)top;
    d->bottom = (uint16_t)bottom;
    d->colour = r->s->colour;
}

/* Room for one more picture on the sheet; 0 when it holds the most or
 * the memory cannot be had. */
static int RoomForPicture(LayoutSheet *sheet)
{
    uint32_t capacity;
    LayoutPicture *grown;

    if (sheet->pictureCount < sheet->pictureCapacity)
        return 1;
    if (sheet->pictureCapacity >= LAYOUT_MAX_PICTURES)
        return 0;
    capacity = sheet->pictureCapacity ? 2 * sheet->pictureCapacity : 256;
    grown = sheet->pictures
                ? (LayoutPicture *)HeapReAlloc(GetProcessHeap(), 0, sheet->pictures,
                                               (SIZE_T)capacity * sizeof(LayoutPicture))
                : (LayoutPicture *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)capacity * sizeof(LayoutPicture));
    if (!grown)
        return 0;
    sheet->pictures = grown;
    sheet->pictureCapacity = capacity;
    return 1;
}

/* Room for bytes more of pictures' dots; 0 past the most a sheet holds or
 * when the memory cannot be had. */
static int RoomForPictureBits(LayoutSheet *sheet, uint32_t bytes)
{
    uint32_t room = sheet->pictureRoom ? sheet->pictureRoom : 64u << 10;
    unsigned char *grown;

    if (bytes <= sheet->pictureRoom - sheet->pictureBytes)
        return 1;
    if (bytes > (uint32_t)LAYOUT_MAX_PICTURE_BYTES - sheet->pictureBytes)
        return 0;
    while (room - sheet->pictureBytes < bytes)
        room = room > (uint32_t)LAYOUT_MAX_PICTURE_BYTES / 2 ? (uint32_t)LAYOUT_MAX_PICTURE_BYTES : 2 * room;
    grown = sheet->pictureBits ? (unsigned char *)HeapReAlloc(GetProcessHeap(), 0, sheet->pictureBits, room)
                               : (unsigned char *)HeapAlloc(GetProcessHeap(), 0, room);
    if (!grown)
        return 0;
    sheet->pictureBits = grown;
    sheet->pictureRoom = room;
    return 1;
}

/* The raster image's picture on the sheet, blank, at the image's top left
 * with its rows and width that can print. 0 when the sheet has no room. */
static __attribute__((noinline)) int StartPicture(Run *r)
{
    PageLayout *l = r->layout;
    LayoutSheet *sheet = r->sheet;
    const uint8_t *p = r->s->reader.params;
    uint32_t stride = (l->pictureWidth + 7) / 8, bytes = stride * l->pictureRows;
    uint32_t stepY = p[1] * 3u / 5, bottom = l->rasterTop + l->pictureRows * stepY;
    LayoutPicture *picture;

    if (!RoomForPicture(sheet) || !RoomForPictureBits(sheet, bytes))
        return 0;
    picture = &sheet->pictures[sheet->pictureCount++];
    picture->bits = sheet->pictureBytes;
    sheet->pictureBytes += bytes;
    memset(sheet->pictureBits + picture->bits, 0, bytes);
    picture->left = (uint16_t)l->rasterLeft;
    picture->top = (uint16_t)l->rasterTop;
    picture->width = (uint16_t)l->pictureWidth;
    picture->rows = (uint16_t)l->pictureRows;
    picture->stride = (uint16_t)stride;
    picture->bottom = (uint16_t)(bottom < r->s->formLength ? bottom : r->s->formLength);
    picture->stepX = (uint8_t)(p[2] / 5);
    picture->stepY = (uint8_t)stepY;
    picture->colour = r->s->colour;
    l->picture = sheet->pictureCount;
    return 1;
}

/* The raster image's picture takes bits, the dots first to first + 7 of
 * row row: 1 when they are on the sheet or cannot print (past the form's
 * end or the carriage), 0 when they are to go down as rectangles. */
static int PictureByte(Run *r, uint32_t row, uint32_t first, uint32_t bits)
{
    PageLayout *l = r->layout;
    LayoutPicture *picture;

    if (row >= l->pictureRows || first >= l->pictureWidth)
        return 1;
    if (first + 8 > l->pictureWidth)
        bits &= 0xFF00u >> (l->pictureWidth - first);
    if (!bits)
        return 1;
    if (!l->picture && !StartPicture(r)) {
        l->pictureRows = 0;
        return 0;
    }
    picture = &r->sheet->pictures[l->picture - 1];
    r->sheet->pictureBits[picture->bits + row * picture->stride + first / 8] |= (unsigned char)bits;
    return 1;
}

/* The byte b, repeat times, into the raster image's picture from dot
 * *first of row *row on (rows of perRow bytes), which it moves on. */
static void PictureRun(Run *r, unsigned char b, uint32_t repeat, uint32_t perRow, uint32_t *row,
                       uint32_t *first)
{
    const LayoutPicture *picture = &r->sheet->pictures[r->layout->picture - 1];
    unsigned char *bits = r->sheet->pictureBits + picture->bits;
    uint32_t width = picture->width, y = *row, at = *first / 8;

    while (repeat) {
        uint32_t n = perRow - at < repeat ? perRow - at : repeat;
        if (y < picture->rows) {
            unsigned char *out = bits + y * picture->stride;
            uint32_t end = at + n, whole = width / 8;
            /* Bytes wholly within the width, then the one the width cuts. */
            for (uint32_t k = at; k < end && k < whole; k++)
                out[k] |= b;
            if (whole < end && whole >= at && (width & 7))
                out[whole] |= (unsigned char)(b & (0xFF00u >> (width & 7)));
        }
        repeat -= n;
        at += n;
        if (at >= perRow) {
            at = 0;
            y++;
        }
    }
    *row = y;
    *first = at * 8;
}

/* An ESC . image about to come, at the head: a picture when its dots fall
 * on the grid (steps of 5/3600 inch) and the sheet is being laid out. */
static __attribute__((noinline)) void BeginPicture(Run *r)
{
    PageLayout *l = r->layout;
    const uint8_t *p = r->s->reader.params;
    uint32_t stepX = p[2] / 5u, stepY = p[1] * 3u / 5, width = p[4] + 256u * p[5];
    uint32_t end = r->s->formLength, fits;

    l->picture = 0;
    l->pictureRows = 0;
    l->pictureWidth = 0;
    if (!r->sheet || p[2] % 5 || p[1] % 5 || !stepX || !stepY || l->rasterTop >= end ||
        l->rasterLeft >= 2 * l->carriage)
        return;
    fits = (2 * l->carriage - l->rasterLeft) / stepX;
    l->pictureWidth = width < fits ? width : fits;
    l->pictureRows = (end - l->rasterTop + stepY - 1) / stepY;
    if (l->pictureRows > p[3])
        l->pictureRows = p[3];
    if (!l->pictureWidth)
        l->pictureRows = 0;
}

static void AddDots(Run *r, uint32_t left, uint32_t right, uint32_t top, uint32_t bottom)
{
    AddDotsLooking(r, left, right, top, bottom, 64);
}

/* Ends row k's run of dots, if it has one. */
static void EndRun(Run *r, uint32_t k)
{
    PageLayout *l = r->layout;

    if (l->runTo[k]) {
        uint32_t top = l->bandTop + k * l->bandPitch;
        AddDots(r, l->runFrom[k], l->runTo[k], top, top + l->bandPitch);
        l->runTo[k] = 0;
    }
}

/* Ends the raster row's run of dots, if there is one. */
static void EndRasterRun(Run *r)
{
    PageLayout *l = r->layout;

    /* A raster row's runs join those of the row above when it has a few:
     * a row of many (a halftone) joins none, and is not searched. */
    if (l && l->rasterTo) {
        AddDotsLooking(r, l->rasterFrom, l->rasterTo, l->rasterRunTop, l->rasterRunBottom, 16);
        l->rasterTo = 0;
    }
}

/* Puts the runs still open on the sheet: the image ended, or the page. */
static void EndRuns(Run *r)
{
    if (r->sheet) {
        for (uint32_t k = 0; k < 24; k++)
            EndRun(r, k);
        EndRasterRun(r);
    }
}

/* One column of rows dots (the top one the highest bit), step wide, at
 * the head, which it moves on. Columns past the carriage are dropped. */
static void DotColumn(Run *r, uint32_t bits, uint32_t rows, uint32_t step)
{
    PageLayout *l = r->layout;
    uint32_t left, right;

    if (!l)
        return;
    /* The head in dot units, unless something else moved it. */
    if ((l->dotX + 1) / 2 != l->x)
        l->dotX = 2 * l->x;
    left = l->dotX;
    right = left + step;
    l->dotX = right;
    l->x = (right + 1) / 2;
    if (l->x > LAYOUT_MAX_CARRIAGE)
        l->x = LAYOUT_MAX_CARRIAGE;
    if (right > 2 * l->carriage)
        bits = 0;
    if (!r->sheet) {
        if (bits && (right + 1) / 2 > r->widest)
            r->widest = (right + 1) / 2;
        return;
    }
    l->bandTop = l->y;
    /* 24-dot columns have dots 1/180 inch apart. 8-dot ones 1/72 inch on a
     * 9-pin printer, and 1/60 on a 24-pin one, which prints them with every
     * third pin (so that ESC 3 24 joins its bands); 9-dot ones 1/72. */
    l->bandPitch = rows == 24 ? 12 : rows == 8 && r->s->pins == 24 ? 36 : 30;
    for (uint32_t k = 0; k < rows; k++) {
        if (l->runTo[k] && (l->runTo[k] != left || !((bits >> (rows - 1 - k)) & 1)))
            EndRun(r, k);
        if ((bits >> (rows - 1 - k)) & 1) {
            if (!l->runTo[k])
                l->runFrom[k] = (uint16_t)left;
            l->runTo[k] = (uint16_t)right;
        }
    }
}

/* Raster images print where the printer knows them: in graphics mode
 * (ESC ( G), and on any 24-pin printer. */
static int RasterDraws(const PrinterState *s)
{
    return s->graphicsMode || s->pins == 24;
}

/* The dots of a raster row from top to bottom (1/2160 inch), columns j to
 * end: dots h/3600 inch apart across from the image's left. Dots that fall
 * on no width of the grid (h below 5) are not drawn; those past the
 * carriage are dropped. A row's run of dots is one rectangle. */
static void RasterDots(Run *r, uint32_t top, uint32_t bottom, uint32_t j, uint32_t end, uint32_t h)
{
    PageLayout *l = r->layout;
    uint32_t left = l->rasterLeft + j * h / 5, right = l->rasterLeft + end * h / 5;

    /* Past the carriage the dots are dropped, one by one. */
    while (right > 2 * l->carriage && end > j) {
        end--;
        right = l->rasterLeft + end * h / 5;
    }
    if (left >= right)
        return;
    if (!r->sheet) {
        if ((right + 1) / 2 > r->widest)
            r->widest = (right + 1) / 2;
        return;
    }
    if (l->rasterTo && l->rasterTo == left && l->rasterRunTop == top) {
        l->rasterTo = right;
        return;
    }
    EndRasterRun(r);
    l->rasterFrom = left;
    l->rasterTo = right;
    l->rasterRunTop = top;
    l->rasterRunBottom = bottom;
}

/* One byte of raster data, repeat times (a run): 8 dots of a row, the
 * highest bit on the left; the bits past the row's width are padding. Rows
 * are v/3600 inch apart down from the image's top; those that fall on no
 * height of the grid (v below 5) are not drawn. */
static void RasterByte(Run *r, unsigned char b, uint32_t repeat)
{
    PrinterState *s = r->s;
    const uint8_t *p = s->reader.params;
    uint32_t width = p[4] + 256u * p[5], perRow = (width + 7) / 8;

    /* The measure passes over an image that cannot reach past the widest
     * line: every row, once a row has shown how far it goes. */
    if (!r->layout || !b || !RasterDraws(s) || perRow == 0 ||
        (!r->sheet && (r->layout->rasterLeft + width * p[2] / 5 + 1) / 2 <= r->widest)) {
        s->rasterAt += repeat;
    } else {
        PageLayout *l = r->layout;
        uint32_t at = s->rasterAt, row, first;
        /* Where the byte falls: carried on from the byte before, or worked
         * out afresh. */
        if (r->rasterKnown && r->rasterNext == at && r->rasterPerRow == perRow) {
            row = r->rasterRow;
            first = r->rasterFirst;
        } else {
            row = at / perRow;
            first = at % perRow * 8;
        }
        s->rasterAt += repeat;
        for (uint32_t n = 0; n < repeat; n++) {
            /* Once the image has its picture, the rest of the run goes
             * there at once. */
            if (l->picture) {
                PictureRun(r, b, repeat - n, perRow, &row, &first);
                break;
            }
            uint32_t top = l->rasterTop + row * p[1] * 3 / 5, bottom = l->rasterTop + (row + 1) * p[1] * 3 / 5;
            /* The byte's dots, the padding past the row's width left out,
             * at the top of a word: each run of set bits at once. */
            uint32_t bits = first + 8 > width ? b & (0xFF00u >> (width - first)) : b;
            if (l->pictureRows && PictureByte(r, row, first, bits))
                bits = 0;
            bits <<= 24;
            /* The measure: the byte's last run reaches farthest, unless
             * it falls past the carriage or on no width; the runs before
             * it are looked at only then. */
            while (!r->sheet && bits && top != bottom) {
                uint32_t to = 32 - (uint32_t)__builtin_ctz(bits), gaps = ~bits & ~(0xFFFFFFFFu >> to);
                uint32_t from = gaps ? 32 - (uint32_t)__builtin_ctz(gaps) : 0;
                RasterDots(r, top, bottom, first + from, first + to, p[2]);
                if ((l->rasterLeft + (first + from) * p[2] / 5 + 1) / 2 <= r->widest)
                    bits = 0;
                bits &= ~(0xFFFFFFFFu >> from);
            }
            while (bits && top != bottom) {
                uint32_t from = (uint32_t)__builtin_clz(bits);
                uint32_t to = from + (uint32_t)__builtin_clz(~(bits << from));
                RasterDots(r, top, bottom, first + from, first + to, p[2]);
                bits &= 0xFFFFFFFFu >> to;
            }
            first += 8;
            if (first >= perRow * 8) {
                first = 0;
                row++;
            }
        }
        r->rasterKnown = 1;
        r->rasterNext = s->rasterAt;
        r->rasterPerRow = perRow;
        r->rasterRow = row;
        r->rasterFirst = first;
    }
    if (s->reader.parse == ESCP_IN_TEXT)
        EndRasterRun(r);
}

/* One byte of a bit image's data: a column once it has all its bytes. The
 * image ends when the reader is back in the text. */
static void ImageByte(Run *r, unsigned char b)
{
    PrinterState *s = r->s;
    const EscpReader *e = &s->reader;
    uint8_t mode;
    uint32_t rows;

    if (e->command == '.') {
        RasterByte(r, b, e->repeat);
        return;
    }
    if (e->command == '^') {
        /* 9-dot columns of two bytes, the ninth dot the second byte's top
         * bit: 60 dpi (m 0) or 120 dpi (m 1); other densities pass. */
        if (e->params[0] > 1)
            return;
        s->column[s->columnHave++] = b;
        if (s->columnHave < 2)
            return;
        s->columnHave = 0;
        DotColumn(r, (uint32_t)s->column[0] << 1 | s->column[1] >> 7, 9, e->params[0] ? 6 : 12);
        if (e->parse == ESCP_IN_TEXT)
            EndRuns(r);
        return;
    }
    if (e->command == '*')
        mode = e->params[0];
    else if (e->command == 'K' || e->command == 'L' || e->command == 'Y' || e->command == 'Z')
        mode = e->imageModes[e->command == 'K' ? 0 : e->command == 'L' ? 1 : e->command == 'Y' ? 2 : 3];
    else
        return;
    rows = mode >= 32 ? 24 : 8;
    s->column[s->columnHave++] = b;
    if (rows == 24 && s->columnHave < 3)
        return;
    s->columnHave = 0;
    DotColumn(r, rows == 24 ? (uint32_t)s->column[0] << 16 | (uint32_t)s->column[1] << 8 | s->column[2] : s->column[0],
              rows, EscpDotStep(mode));
    if (e->parse == ESCP_IN_TEXT)
        EndRuns(r);
}

/* ---- Commands ------------------------------------------------------------- */

static int On(unsigned char n) { return n == 1 || n == '1'; }

/* A signed 16-bit parameter, low byte first. */
static int32_t Signed16(const uint8_t *p) { return (int16_t)(uint16_t)(p[0] | p[1] << 8); }

/* ESC $ and ESC backslash: the head to fine (1/720 inch), or left where it
 * is when that is left of the margin or past the right one. */
static void MoveHead(Run *r, int64_t fine)
{
    PageLayout *l = r->layout;
    uint32_t right;

    if (!l)
        return;
    right = r->s->rightMargin ? r->s->rightMargin : (uint32_t)LAYOUT_MAX_CARRIAGE;
    if (fine < 2 * (int64_t)LineStart(r) || fine > 2 * (int64_t)right)
        return;
    HeadTo(l, (uint32_t)fine);
}

/* ESC ( x nL nH data: the sub-commands that move the paper or set how far
 * its units go. params[3..] are the data. */
static void ObeyExtended(Run *r)
{
    PrinterState *s = r->s;
    const EscpReader *e = &s->reader;
    const uint8_t *p = e->params;
    uint32_t length = p[1] + 256u * p[2], n;

    switch (p[0]) {
    case 'U':
        /* ESC ( U 1 0 m: m/3600 inch both ways. The long form, P V H and a
         * base b, gives V/b and H/b inch: kept when they are whole 3600ths. */
        if (length == 1 && p[3] != 0) {
            s->unitDown = p[3];
            s->unitAcross = p[3];
        } else if (length >= 5) {
            uint32_t base = p[6] + 256u * p[7];
            if (base && p[4] && p[5] && (3600u * p[4]) % base == 0 && (3600u * p[5]) % base == 0 &&
                3600u * p[4] / base <= 255 && 3600u * p[5] / base <= 255) {
                s->unitDown = (uint8_t)(3600u * p[4] / base);
                s->unitAcross = (uint8_t)(3600u * p[5] / base);
            }
        }
        break;
    case 'r':
        /* ESC ( r 2 0 m n: colour n (of ESC r's), ink dark or light. */
        if (length >= 2 && p[4] < LAYOUT_COLOURS)
            s->colour = p[4];
        break;
    case 'G':
        /* Graphics mode: ESC . prints on a 9-pin printer too. */
        s->graphicsMode = 1;
        break;
    case 'C':
        /* The page length in the unit; it takes the top margin away. */
        if (length >= 2) {
            n = UnitsDown(s, p[3] + 256u * p[4]);
            if (n > 0 && n <= LAYOUT_MAX_FORM) {
                s->formLength = (uint16_t)n;
                s->topMargin = 0;
            }
        }
        break;
    case 'c':
        /* ESC ( c tL tH bL bH: the top margin, in the unit, on the form. */
        if (length >= 4) {
            n = UnitsDown(s, p[3] + 256u * p[4]);
            if (n < s->formLength)
                s->topMargin = (uint16_t)n;
        }
        break;
    case 'V':
        /* The paper to mL mH units below the top margin (without one, the
         * top of the sheet). */
        if (length >= 2 && r->layout)
            FeedTo(r, s->topMargin + UnitsDown(s, p[3] + 256u * p[4]));
        break;
    case 'v':
        /* Down (or up, below zero) by mL mH units; never above the top. */
        if (length >= 2 && r->layout) {
            int32_t m = Signed16(p + 3);
            uint32_t d = UnitsDown(s, (uint32_t)(m < 0 ? -m : m));
            uint32_t y = r->layout->y;
            FeedTo(r, m >= 0 ? y + d : y > d ? y - d : 0);
        }
        break;
    default:
        break;
    }
}

/* A command is complete: obey it. Those not listed change nothing that is
 * drawn. */
static void ObeyCommand(Run *r)
{
    PrinterState *s = r->s;
    const EscpReader *e = &s->reader;
    const uint8_t *p = e->params;
    PageLayout *l = r->layout;
    uint32_t n;

    if (e->prefix == ESCP_FS) {
        /* FS 3 n: lines n/360 inch apart. */
        s->lineSpacing = (uint16_t)(6 * p[0]);
        return;
    }
    if (e->prefix != ESCP_ESC)
        return;
    switch (e->command) {
    case 'E': s->emphasized = 1; break;
    case 'F': s->emphasized = 0; break;
    case 'G': s->doubleStrike = 1; break;
    case 'H': s->doubleStrike = 0; break;
    case '-': s->underline = (uint8_t)On(p[0]); break;
    case 0x0E: s->wideLine = 1; break;
    case 'W': s->wide = (uint8_t)On(p[0]); break;
    case 0x0F: s->condensed = 1; break;
    case 'P': s->pitch = 10; break;
    case 'M': s->pitch = 12; break;
    case 'g': s->pitch = 15; break;
    /* Line spacing: 1/8 and 1/6 inch on any printer; n/216 and n/72 inch
     * on 9 pins, n/180 and n/60 on 24; n/360 (ESC +, 24 pins only). */
    case '0': s->lineSpacing = 270; break;
    case '1':
        if (s->pins == 9)
            s->lineSpacing = 210; /* 7/72 inch */
        break;
    case '2': s->lineSpacing = 360; break;
    case '3': s->lineSpacing = (uint16_t)((s->pins == 24 ? 12 : 10) * p[0]); break;
    case 'A': s->lineSpacing = (uint16_t)((s->pins == 24 ? 36 : 30) * p[0]); break;
    case '+': s->lineSpacing = (uint16_t)(6 * p[0]); break;
    /* Paper moves: forward n/216 inch (n/180 on 24 pins), back n/216 inch,
     * never above the top of the sheet. */
    case 'J':
        if (l)
            FeedTo(r, l->y + (s->pins == 24 ? 12u : 10u) * p[0]);
        break;
    case 'j':
        if (l)
            FeedTo(r, l->y > 10u * p[0] ? l->y - 10u * p[0] : 0);
        break;
    /* The head: absolute from the left margin, 1/60 inch or the unit of
     * ESC ( U; relative, 1/120 inch in draft and on 9 pins, 1/180 in letter
     * quality on 24, or the unit. */
    case '$':
        if (l)
            MoveHead(r, 2 * (int64_t)LineStart(r) +
                            DotsAcross(p[0] + 256u * p[1], s->unitAcross ? s->unitAcross : 60));
        break;
    case '\\':
        if (l) {
            int32_t m = Signed16(p);
            uint32_t unit = s->unitAcross ? s->unitAcross : s->pins == 24 && s->letterQuality ? 20 : 30;
            int64_t d = DotsAcross((uint32_t)(m < 0 ? -m : m), unit);
            MoveHead(r, (int64_t)FineHead(l) + (m < 0 ? -d : d));
        }
        break;
    case 'x': s->letterQuality = (uint8_t)On(p[0]); break;
    /* ESC r n: the colour of what prints next; an unknown one changes
     * nothing. */
    case 'r':
        if (p[0] < LAYOUT_COLOURS)
            s->colour = p[0];
        break;
    /* Margins, in columns of the pitch in force: where CR returns to, and
     * where lines wrap. One that leaves no room between them is ignored. */
    case 'l':
        n = (uint32_t)p[0] * PitchWidth(s);
        if (n < LAYOUT_MAX_CARRIAGE && (!s->rightMargin || n < s->rightMargin))
            s->leftMargin = (uint16_t)n;
        break;
    case 'Q':
        n = (uint32_t)p[0] * PitchWidth(s);
        if (n > s->leftMargin)
            s->rightMargin = (uint16_t)(n < LAYOUT_MAX_CARRIAGE ? n : (uint32_t)LAYOUT_MAX_CARRIAGE);
        break;
    case '(':
        ObeyExtended(r);
        break;
    case 'C':
        if (p[0] != 0) {
            n = (uint32_t)p[0] * s->lineSpacing;
            if (n > 0 && n <= LAYOUT_MAX_FORM)
                s->formLength = (uint16_t)n;
        } else if (p[1] >= 1 && p[1] <= 22) {
            s->formLength = (uint16_t)(p[1] * LAYOUT_UNITS_PER_INCH_Y);
        }
        break;
    case '@': PowerOn(s, s->powerOnForm, s->pins); break;
    case '4': s->italic = 1; break;
    case '5': s->italic = 0; break;
    case 'S':
        if (p[0] == 0 || p[0] == '0')
            s->script = 1;
        else if (On(p[0]))
            s->script = 2;
        break;
    case 'T': s->script = 0; break;
    case 'D':
        /* A new list replaces the stops; ESC D NUL leaves none. */
        s->tabWidth = (uint8_t)PitchWidth(s);
        s->tabCount = 0;
        break;
    case 'K': case 'L': case 'Y': case 'Z': case '*': case '^':
        s->columnHave = 0;
        break;
    case '.':
        /* ESC . c v h m nL nH: the image's top row at the line's top, the
         * head past its width; only the plain (c 0) and run-length (c 1)
         * data is drawn. */
        s->rasterAt = 0;
        if (l && RasterDraws(s) && p[0] <= 1) {
            uint32_t end;
            EndRasterRun(r);
            l->rasterLeft = FineHead(l);
            l->rasterTop = l->y;
            BeginPicture(r);
            end = l->rasterLeft + (p[4] + 256u * p[5]) * p[2] / 5;
            HeadTo(l, end < 2u * LAYOUT_MAX_CARRIAGE ? end : 2u * LAYOUT_MAX_CARRIAGE);
        }
        break;
    default:
        break;
    }
}

static void Step(Run *r, unsigned char b)
{
    PrinterState *s = r->s;

    switch (EscpRead(&s->reader, b)) {
    case ESCP_TEXT:
        break;
    case ESCP_COMMAND:
        ObeyCommand(r);
        return;
    case ESCP_LIST:
        if (s->reader.command == 'D' && s->tabCount < LAYOUT_TAB_STOPS)
            s->tabs[s->tabCount++] = b;
        return;
    case ESCP_DATA:
        ImageByte(r, b);
        return;
    default:
        return;
    }

    if (b >= 32 && b != 127) {
        PrintByte(r, b);
        return;
    }
    switch (b) {
    case '\r':
        if (r->layout)
            r->layout->x = LineStart(r);
        break;
    case '\n': NewLine(r); break;
    case '\f': FormFeed(r); break;
    case '\t': Tab(r); break;
    case '\b': Backspace(r); break;
    case 0x0E: s->wideLine = 1; break;
    case 0x14: s->wideLine = 0; break;
    case 0x0F: s->condensed = 1; break;
    case 0x12: s->condensed = 0; break;
    default: break;
    }
}

/* ---- Public functions ---------------------------------------------------- */

int AllocateSheet(LayoutSheet *sheet)
{
    size_t lines = (size_t)LAYOUT_SHEET_CELLS * sizeof(LayoutLine);
    size_t cells = (size_t)LAYOUT_SHEET_CELLS * sizeof(LayoutCell);
    size_t dots = (size_t)LAYOUT_SHEET_DOTS * sizeof(LayoutDots);
    unsigned char *block = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, lines + cells);
    LayoutDots *dotBlock = (LayoutDots *)HeapAlloc(GetProcessHeap(), 0, dots);

    memset(sheet, 0, sizeof *sheet);
    if (!block || !dotBlock) {
        if (block)
            HeapFree(GetProcessHeap(), 0, block);
        if (dotBlock)
            HeapFree(GetProcessHeap(), 0, dotBlock);
        return 0;
    }
    sheet->lines = (LayoutLine *)block;
    sheet->cells = (LayoutCell *)(block + lines);
    sheet->dots = dotBlock;
    sheet->dotCapacity = LAYOUT_SHEET_DOTS;
    return 1;
}

void FreeSheet(LayoutSheet *sheet)
{
    if (sheet->lines)
        HeapFree(GetProcessHeap(), 0, sheet->lines);
    if (sheet->dots)
        HeapFree(GetProcessHeap(), 0, sheet->dots);
    if (sheet->pictures)
        HeapFree(GetProcessHeap(), 0, sheet->pictures);
    if (sheet->pictureBits)
        HeapFree(GetProcessHeap(), 0, sheet->pictureBits);
    memset(sheet, 0, sizeof *sheet);
}

void InitialPrinterState(PrinterState *state, const unsigned char *setup, uint32_t setupLength,
                         uint32_t formLines, uint32_t pins)
{
    uint16_t form = LAYOUT_DEFAULT_FORM_LINES * LAYOUT_DEFAULT_SPACING;

    /* Any count of lines, as the pages are cut by it; the longest form is
     * the most a sheet takes. */
    if (formLines >= 1) {
        uint32_t units = formLines > LAYOUT_MAX_FORM / LAYOUT_DEFAULT_SPACING
                             ? (uint32_t)LAYOUT_MAX_FORM
                             : formLines * LAYOUT_DEFAULT_SPACING;
        form = (uint16_t)units;
    }
    PowerOn(state, form, (uint8_t)(pins == 24 ? 24 : 9));
    if (setup && setupLength)
        AdvancePrinterState(state, setup, setupLength);
}

void AdvancePrinterState(PrinterState *state, const unsigned char *bytes, uint32_t length)
{
    Run r;

    memset(&r, 0, sizeof r);
    r.s = state;
    for (uint32_t i = 0; i < length; i++) {
        unsigned char b = bytes[i];
        /* Plain text changes no state: pass over it quickly. */
        if (state->reader.parse == ESCP_IN_TEXT && b >= 32 && b != 127)
            continue;
        Step(&r, b);
    }
}

/* The bytes of page index p, or none for the counted page without an entry. */
static void PageBytes(const unsigned char *image, const PageTable *table, uint32_t p,
                      const unsigned char **bytes, uint32_t *length)
{
    *bytes = NULL;
    *length = 0;
    if (p < table->Entries) {
        *bytes = image + table->PageStarts[p];
        *length = table->PageEnds[p] - table->PageStarts[p] + 1;
    }
}

void PrinterStateAtPage(PrinterState *state, const PrinterState *initial,
                        const unsigned char *image, const PageTable *table, uint32_t page)
{
    *state = *initial;
    for (uint32_t p = 0; p < page && p < table->Entries; p++) {
        const unsigned char *bytes;
        uint32_t length;
        PageBytes(image, table, p, &bytes, &length);
        AdvancePrinterState(state, bytes, length);
    }
}

uint32_t MeasureCarriage(const PrinterState *initial, const unsigned char *image,
                         const PageTable *table)
{
    PrinterState state = *initial;
    PageLayout layout;
    Run r;

    memset(&r, 0, sizeof r);
    r.s = &state;
    r.high = CodePageHighHalf(866); /* any: only blanks are told apart */
    r.layout = &layout;
    for (uint32_t p = 0; p < table->Entries; p++) {
        const unsigned char *bytes;
        uint32_t length;
        PageBytes(image, table, p, &bytes, &length);
        memset(&layout, 0, sizeof layout);
        layout.carriage = LAYOUT_MAX_CARRIAGE;
        for (uint32_t i = 0; i < length; i++) {
            Step(&r, bytes[i]);
            r.sheetEnded = 0;
        }
    }
    if (r.widest < 72)
        return 72;
    return r.widest > LAYOUT_MAX_CARRIAGE ? (uint32_t)LAYOUT_MAX_CARRIAGE : r.widest;
}

void BeginPageLayout(PageLayout *layout, const PrinterState *state, const unsigned char *bytes,
                     uint32_t length, uint32_t codePage, uint32_t carriage)
{
    memset(layout, 0, sizeof *layout);
    layout->bytes = bytes;
    layout->length = bytes ? length : 0;
    layout->high = CodePageHighHalf(codePage);
    layout->carriage = carriage < 72 ? 72u : carriage > LAYOUT_MAX_CARRIAGE ? (uint32_t)LAYOUT_MAX_CARRIAGE : carriage;
    layout->state = *state;
    /* Each page starts the head at the left margin; a raster image cut by
     * the page before goes on from there, at the top of the sheet. */
    layout->x = (uint32_t)state->leftMargin + 72 <= layout->carriage ? state->leftMargin : 0u;
    layout->rasterLeft = 2 * layout->x;
}

int LayOutNextSheet(PageLayout *layout, LayoutSheet *sheet)
{
    Run r;

    while (!layout->done) {
        int overflowed = layout->overflowed;

        memset(&r, 0, sizeof r);
        r.s = &layout->state;
        r.high = layout->high;
        r.layout = layout;
        r.sheet = sheet;
        sheet->lineCount = 0;
        sheet->cellCount = 0;
        sheet->dotCount = 0;
        sheet->pictureCount = 0;
        sheet->pictureBytes = 0;
        sheet->dropped = 0;
        /* An image cut by the sheet's end goes on as rectangles. */
        layout->picture = 0;
        layout->pictureRows = 0;
        layout->rowFirst = 0;
        layout->rowTop = 0xFFFFFFFFu;
        sheet->carriage = layout->carriage;
        sheet->form = layout->state.formLength;
        layout->lineOpen = 0;
        while (layout->offset < layout->length && !r.sheetEnded) {
            Step(&r, layout->bytes[layout->offset++]);
            if (r.unread)
                layout->offset--;
            /* The grid reaches as far down as any form of the sheet. */
            if (layout->state.formLength > sheet->form)
                sheet->form = layout->state.formLength;
        }
        /* An image cut by the page's end: its dots so far are this sheet's. */
        EndRuns(&r);
        layout->overflowed = r.sheetEnded == 2;
        if (layout->offset >= layout->length)
            layout->done = 1;
        /* A sheet that prints nothing comes out only when a form feed ejects
         * it on its own, or when it is all the page prints. */
        if (SheetDrawsSomething(sheet) || (r.sheetEnded == 1 && !overflowed) ||
            (layout->done && layout->sheets == 0)) {
            layout->sheets++;
            return 1;
        }
    }
    return 0;
}

int SheetDrawsSomething(const LayoutSheet *sheet)
{
    return sheet->cellCount > 0 || sheet->dotCount > 0 || sheet->pictureCount > 0;
}

uint32_t PictureRowDots(const LayoutSheet *sheet, const LayoutPicture *picture, uint32_t row,
                        LayoutDots *out, uint32_t max)
{
    const unsigned char *bits = sheet->pictureBits + picture->bits + (size_t)row * picture->stride;
    uint32_t top = picture->top + row * picture->stepY, bottom = top + picture->stepY, count = 0, x = 0;

    if (row >= picture->rows)
        return 0;
    if (bottom > picture->bottom)
        bottom = picture->bottom;
    while (x < picture->width && count < max) {
        uint32_t from;
        while (x < picture->width && !((bits[x >> 3] << (x & 7)) & 0x80))
            x++;
        if (x >= picture->width)
            break;
        from = x;
        while (x < picture->width && ((bits[x >> 3] << (x & 7)) & 0x80))
            x++;
        out[count].left = (uint16_t)(picture->left + from * picture->stepX);
        out[count].right = (uint16_t)(picture->left + x * picture->stepX);
        out[count].top = (uint16_t)top;
        out[count].bottom = (uint16_t)bottom;
        out[count].colour = picture->colour;
        count++;
    }
    return count;
}

int PageDrawsNothing(const PrinterState *state, const unsigned char *bytes, uint32_t length,
                     uint32_t codePage, uint32_t carriage, LayoutSheet *sheet, uint32_t *formFeeds)
{
    PageLayout layout;
    int nothing = 1;

    BeginPageLayout(&layout, state, bytes, length, codePage, carriage);
    while (nothing && LayOutNextSheet(&layout, sheet)) {
        if (SheetDrawsSomething(sheet))
            nothing = 0;
    }
    if (formFeeds)
        *formFeeds = layout.formFeeds;
    return nothing;
}

/* ---- Fitting ---------------------------------------------------------------- */

void A4DrawingArea(DrawingArea *area)
{
    area->width = 2329;
    area->height = 3358;
    area->dpiX = 300;
    area->dpiY = 300;
}

void TurnArea(const DrawingArea *portrait, DrawingArea *landscape)
{
    DrawingArea turned;

    turned.width = portrait->height;
    turned.height = portrait->width;
    turned.dpiX = portrait->dpiY;
    turned.dpiY = portrait->dpiX;
    *landscape = turned;
}

void FitSheet(const DrawingArea *area, uint32_t carriage, uint32_t form, SheetFit *fit)
{
    float dpiX = area->dpiX > 0 ? (float)area->dpiX : 1.0f;
    float dpiY = area->dpiY > 0 ? (float)area->dpiY : 1.0f;
    float widthInches = (float)(carriage ? carriage : 1) / LAYOUT_UNITS_PER_INCH_X;
    float heightInches = (float)(form ? form : 1) / LAYOUT_UNITS_PER_INCH_Y;
    float across = area->width > 0 ? (float)area->width / dpiX / widthInches : 0.0f;
    float down = area->height > 0 ? (float)area->height / dpiY / heightInches : 0.0f;
    float scale = across < down ? across : down;

    if (scale > 1.0f)
        scale = 1.0f;
    if (scale <= 0.0f)
        scale = 1e-6f;
    fit->scale = scale;
    fit->dotsPerX = scale * dpiX / LAYOUT_UNITS_PER_INCH_X;
    fit->dotsPerY = scale * dpiY / LAYOUT_UNITS_PER_INCH_Y;
}

int ChooseLandscape(const DrawingArea *portrait, uint32_t carriage, uint32_t form)
{
    DrawingArea turned;
    SheetFit upright, sideways;

    TurnArea(portrait, &turned);
    FitSheet(portrait, carriage, form, &upright);
    FitSheet(&turned, carriage, form, &sideways);
    /* Upright unless turning prints it larger by more than rounding. */
    return sideways.scale > upright.scale * 1.01f;
}
