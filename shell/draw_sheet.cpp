/* draw_sheet.cpp - one laid-out sheet on a device context: its text and its
 * bit-image dots. The printer's job and the preview both draw with it. */
#include <stdlib.h>
#include <string.h>

#include "draw.h"
#include "shell.h"

/* ---- Drawing one sheet ------------------------------------------------------ */

static const char *const FontNames[] = {"Courier New", "Liberation Mono", "DejaVu Sans Mono",
                                        "Lucida Console"};
static char FontFace[LF_FACESIZE]; /* chosen on the first sheet, for the program's life */

static int CALLBACK FontFound(const LOGFONTA *font, const TEXTMETRICA *metric, DWORD type,
                              LPARAM found)
{
    *(int *)found = 1;
    return 0;
}

static void ChooseFace(HDC dc)
{
    if (FontFace[0])
        return;
    for (const char *name : FontNames) {
        LOGFONTA wanted;
        int found = 0;
        memset(&wanted, 0, sizeof wanted);
        wanted.lfCharSet = DEFAULT_CHARSET;
        lstrcpynA(wanted.lfFaceName, name, LF_FACESIZE);
        EnumFontFamiliesExA(dc, &wanted, FontFound, (LPARAM)&found, 0);
        if (found) {
            lstrcpynA(FontFace, name, LF_FACESIZE);
            return;
        }
    }
    /* None of them: the system's substitute for the first. */
    lstrcpynA(FontFace, FontNames[0], LF_FACESIZE);
}

/* The fonts of one sheet, by cell width and look. */
enum { SHEET_FONTS = 8 };
struct SheetFonts {
    HFONT font[SHEET_FONTS];
    uint8_t width[SHEET_FONTS];
    uint8_t attributes[SHEET_FONTS];
    int count;
    int height;
    float dotsPerX;
};

static void FreeFonts(SheetFonts *fonts)
{
    for (int i = 0; i < fonts->count; i++)
        DeleteObject(fonts->font[i]);
    fonts->count = 0;
}

static HFONT FontFor(SheetFonts *fonts, uint8_t width, uint8_t attributes)
{
    int i;

    for (i = 0; i < fonts->count; i++) {
        if (fonts->width[i] == width && fonts->attributes[i] == attributes)
            return fonts->font[i];
    }
    if (fonts->count == SHEET_FONTS)
        return NULL; /* the caller frees them and asks again */
    /* Type as a printer's: the em is the line's height (pica, 12 points
     * at 6 lines an inch) or, for the narrower pitches, what makes the
     * font's own advance (0.6 em in each of the fonts taken) the column's
     * width: elite 10 points, 15 cpi 8, condensed 7 and 6. The width is
     * asked of the font only for double width; a driver that does not
     * stretch type (Wine's PostScript driver) then spaces the letters.
     * Box-drawing glyphs reach beyond the
     * em and so meet the next line's. */
    int em = (int)(width * fonts->dotsPerX / 0.6f + 0.5f);
    if (em > fonts->height)
        em = fonts->height;
    /* Super- and subscript: two thirds high. */
    if (attributes & (CELL_SUPERSCRIPT | CELL_SUBSCRIPT))
        em = em * 2 / 3;
    int stretched = width > 36 ? (int)(width * fonts->dotsPerX + 0.5f) : 0;
    HFONT font = CreateFontA(-(em > 0 ? em : 1), stretched, 0, 0,
                             (attributes & CELL_BOLD) ? FW_BOLD : FW_NORMAL,
                             (attributes & CELL_ITALIC) ? TRUE : FALSE,
                             (attributes & CELL_UNDERLINE) ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             FIXED_PITCH | FF_MODERN, FontFace);
    if (!font)
        return NULL;
    fonts->font[i] = font;
    fonts->width[i] = width;
    fonts->attributes[i] = attributes;
    fonts->count++;
    return font;
}

/* ---- The sheet's bit-image dots ------------------------------------------------ */

/* The largest band drawn as one picture, in bytes (a sheet of 720 x 720
 * dpi raster on the widest carriage is 19 MB); a larger one is drawn as
 * rectangles. */
enum { BAND_PICTURE_BYTES = 32 << 20 };

/* What a sheet's dots are drawn from: its rectangles, items 0 to
 * dotCount - 1, then its raster pictures. */
static const LayoutPicture *ItemPicture(const LayoutSheet *sheet, uint32_t i)
{
    return i < sheet->dotCount ? NULL : &sheet->pictures[i - sheet->dotCount];
}

static uint32_t ItemTop(const LayoutSheet *sheet, uint32_t i)
{
    return i < sheet->dotCount ? sheet->dots[i].top : sheet->pictures[i - sheet->dotCount].top;
}

static uint32_t ItemBottom(const LayoutSheet *sheet, uint32_t i)
{
    return i < sheet->dotCount ? sheet->dots[i].bottom : sheet->pictures[i - sheet->dotCount].bottom;
}

static uint8_t ItemColour(const LayoutSheet *sheet, uint32_t i)
{
    return i < sheet->dotCount ? sheet->dots[i].colour : sheet->pictures[i - sheet->dotCount].colour;
}

/* Left and right edges, 1/720 inch. */
static void ItemAcross(const LayoutSheet *sheet, uint32_t i, uint32_t *left, uint32_t *right)
{
    const LayoutPicture *p = ItemPicture(sheet, i);

    if (p) {
        *left = p->left;
        *right = p->left + (uint32_t)p->width * p->stepX;
    } else {
        *left = sheet->dots[i].left;
        *right = sheet->dots[i].right;
    }
}

/* The sheet's items, top down: grown as sheets need, kept for the
 * program's life. */
static uint32_t *DotOrder;
static uint32_t DotOrderRoom;
static const LayoutSheet *OrderedSheet;

/* Room for count entries of DotOrder; 0 when the memory cannot be had. */
static int RoomForOrder(uint32_t count)
{
    uint32_t *grown;

    if (count <= DotOrderRoom)
        return 1;
    grown = DotOrder ? (uint32_t *)HeapReAlloc(GetProcessHeap(), 0, DotOrder, (SIZE_T)count * sizeof *DotOrder)
                     : (uint32_t *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)count * sizeof *DotOrder);
    if (!grown)
        return 0;
    DotOrder = grown;
    DotOrderRoom = count;
    return 1;
}

static int CompareTops(const void *a, const void *b)
{
    return (int)ItemTop(OrderedSheet, *(const uint32_t *)a) - (int)ItemTop(OrderedSheet, *(const uint32_t *)b);
}

static uint32_t CommonStep(uint32_t a, uint32_t b)
{
    while (b) {
        uint32_t rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

/* CommonStep, at one division when the step already divides b, as it
 * mostly does once a band's first rectangles have set it. */
static uint32_t JoinStep(uint32_t a, uint32_t b)
{
    return a && b % a == 0 ? a : CommonStep(a, b);
}

/* The inks of ESC r as the screen and a colour printer show them. */
static COLORREF InkColour(uint8_t colour)
{
    static const COLORREF inks[LAYOUT_COLOURS] = {
        RGB(0, 0, 0), RGB(255, 0, 255), RGB(0, 255, 255), RGB(128, 0, 255),
        RGB(255, 255, 0), RGB(255, 0, 0), RGB(0, 176, 80),
    };
    return colour < LAYOUT_COLOURS ? inks[colour] : inks[0];
}

/* 1 when the device shows colour: all is black on one that does not. */
static int HasColour(HDC dc)
{
    return GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) > 1 || GetDeviceCaps(dc, NUMCOLORS) > 2;
}

/* Where grid place v falls on the device: scaled and rounded, so that
 * pieces that meet on the grid meet on the device. */
static LONG Place(LONG origin, uint32_t v, float k) { return origin + (LONG)(v * k + 0.5f); }

/* The places of the sheet being drawn, worked out once for each grid
 * place across and down instead of once for each corner of each of its
 * rectangles (a sheet of dots has millions, and a float made a whole
 * number costs the 32-bit program dearly). Places past the tables, or on
 * a sheet of few dots (no tables), are worked out as they come. */
enum { PLACES_ACROSS = 2 * LAYOUT_MAX_CARRIAGE + 1, PLACES_DOWN = LAYOUT_MAX_FORM + 1, PLACES_FROM_DOTS = 4096 };
static LONG PlacesAcross[PLACES_ACROSS], PlacesDown[PLACES_DOWN];
static uint32_t PlacesAcrossKnown, PlacesDownKnown;

static void KnowPlaces(const RECT *rect, float kx, float ky, const LayoutSheet *sheet)
{
    PlacesAcrossKnown = 0;
    PlacesDownKnown = 0;
    if (sheet->dotCount < PLACES_FROM_DOTS && sheet->pictureCount == 0)
        return;
    uint32_t across = 2 * sheet->carriage + 1, down = sheet->form + 1;
    if (across > PLACES_ACROSS)
        across = PLACES_ACROSS;
    if (down > PLACES_DOWN)
        down = PLACES_DOWN;
    for (uint32_t v = 0; v < across; v++)
        PlacesAcross[v] = Place(rect->left, v, kx);
    for (uint32_t v = 0; v < down; v++)
        PlacesDown[v] = Place(rect->top, v, ky);
    PlacesAcrossKnown = across;
    PlacesDownKnown = down;
}

/* Place, of the sheet's dots across and down. */
static LONG PlaceAcross(const RECT *rect, uint32_t v, float kx)
{
    return v < PlacesAcrossKnown ? PlacesAcross[v] : Place(rect->left, v, kx);
}

static LONG PlaceDown(const RECT *rect, uint32_t v, float ky)
{
    return v < PlacesDownKnown ? PlacesDown[v] : Place(rect->top, v, ky);
}

/* Rectangles as filled polygons, a batch at a time, in black or in the
 * colour of a brush. */
enum { POLYGON_BATCH = 256 };
struct PolygonBatch {
    HDC dc;
    const RECT *rect;
    float kx, ky;
    POINT corners[4 * POLYGON_BATCH];
    INT counts[POLYGON_BATCH];
    int n;
    int ok;
};

static void FlushPolygons(PolygonBatch *batch)
{
    if (batch->n && !PolyPolygon(batch->dc, batch->corners, batch->counts, batch->n))
        batch->ok = 0;
    batch->n = 0;
}

static void AddPolygon(PolygonBatch *batch, const LayoutDots *d)
{
    LONG left = PlaceAcross(batch->rect, d->left, batch->kx), right = PlaceAcross(batch->rect, d->right, batch->kx);
    LONG top = PlaceDown(batch->rect, d->top, batch->ky), bottom = PlaceDown(batch->rect, d->bottom, batch->ky);
    POINT *c = &batch->corners[4 * batch->n];
    /* Never thinner than a device dot. */
    if (right == left)
        right++;
    if (bottom == top)
        bottom++;
    c[0].x = left, c[0].y = top;
    c[1].x = right, c[1].y = top;
    c[2].x = right, c[2].y = bottom;
    c[3].x = left, c[3].y = bottom;
    batch->counts[batch->n++] = 4;
    if (batch->n == POLYGON_BATCH)
        FlushPolygons(batch);
}

/* The items order[0..count) as rectangles, a picture a run of a row at a
 * time, in black or in the colour of ink (a brush of it). */
static int DrawInkRectangles(HDC dc, const RECT *rect, float kx, float ky, const LayoutSheet *sheet,
                             const uint32_t *order, uint32_t count, HBRUSH ink)
{
    static PolygonBatch batch;
    static LayoutDots runs[LAYOUT_MAX_CARRIAGE + 1];
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, ink ? (HGDIOBJ)ink : GetStockObject(BLACK_BRUSH));
    int oldFill = SetPolyFillMode(dc, WINDING);

    batch.dc = dc;
    batch.rect = rect;
    batch.kx = kx;
    batch.ky = ky;
    batch.n = 0;
    batch.ok = 1;
    for (uint32_t i = 0; i < count; i++) {
        const LayoutPicture *p = ItemPicture(sheet, order[i]);
        if (!p) {
            AddPolygon(&batch, &sheet->dots[order[i]]);
            continue;
        }
        for (uint32_t row = 0; row < p->rows; row++) {
            uint32_t n = PictureRowDots(sheet, p, row, runs, LAYOUT_MAX_CARRIAGE + 1);
            for (uint32_t k = 0; k < n; k++)
                AddPolygon(&batch, &runs[k]);
        }
    }
    FlushPolygons(&batch);
    SetPolyFillMode(dc, oldFill);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    return batch.ok;
}

static int DrawRectangles(HDC dc, const RECT *rect, float kx, float ky, const LayoutSheet *sheet,
                          const uint32_t *order, uint32_t count)
{
    return DrawInkRectangles(dc, rect, kx, ky, sheet, order, count, NULL);
}

/* Blackens picture bits from to to of one row (colour 0, the most
 * significant bit first). */
static void Blacken(unsigned char *row, uint32_t from, uint32_t to)
{
    for (; from < to && (from & 7); from++)
        row[from >> 3] &= (unsigned char)~(0x80u >> (from & 7));
    if (to - from >= 8) {
        memset(row + (from >> 3), 0, (to - from) >> 3);
        from += (to - from) & ~7u;
    }
    for (; from < to; from++)
        row[from >> 3] &= (unsigned char)~(0x80u >> (from & 7));
}

/* The next run of set bits of a picture's row at or after *at, before
 * width: [*from, *to); 0 when there is none. */
static int NextRun(const unsigned char *row, uint32_t width, uint32_t *at, uint32_t *from, uint32_t *to)
{
    uint32_t i = *at;

    while (i < width) {
        uint32_t b = ((uint32_t)row[i >> 3] << (i & 7)) & 0xFFu;
        if (b) {
            i += (uint32_t)__builtin_clz(b) - 24;
            break;
        }
        i = (i | 7) + 1;
    }
    if (i >= width)
        return 0;
    *from = i;
    while (i < width) {
        /* The bits before i count as set: the clear one is at or past i. */
        uint32_t b = ~(((uint32_t)row[i >> 3] << (i & 7)) | ((1u << (i & 7)) - 1)) & 0xFFu;
        if (b) {
            i += (uint32_t)__builtin_clz(b) - 24;
            break;
        }
        i = (i | 7) + 1;
    }
    *to = i < width ? i : width;
    *at = *to;
    return 1;
}

/* A picture's row of dots onto a band's row on the same grid, dot for dot
 * (a band's dot at bit at of the row). */
static void InkRow(unsigned char *row, uint32_t rowBytes, const unsigned char *dots, uint32_t dotBytes,
                   uint32_t at)
{
    uint32_t shift = at & 7, base = at >> 3;

    for (uint32_t k = 0; k < dotBytes; k++) {
        uint32_t v = dots[k];
        if (!v)
            continue;
        row[base + k] &= (unsigned char)~(v >> shift);
        if (shift && base + k + 1 < rowBytes)
            row[base + k + 1] &= (unsigned char)~(v << (8 - shift));
    }
}

/* A band's picture being made: its bits (stored bottom up), and where the
 * grid falls on it. */
struct BandPicture {
    unsigned char *bits;
    uint32_t width, height, stride;
    uint32_t left, top, stepX, stepY; /* on the grid, or (onDevice) */
    int onDevice;                     /* on the device's dots, from x, y */
    LONG x, y;
};

/* Row row of the band's picture, top down. */
static unsigned char *BandRow(const BandPicture *band, uint32_t row)
{
    return band->bits + (size_t)(band->height - 1 - row) * band->stride;
}

/* Where a picture's dots go across the band's picture: the band's dot
 * each of its columns starts at, and how a row is put down. Dot for dot
 * (the same grid), a row is shifted in whole; when no dot is wider than a
 * band's dot (the device's, shrunk), each byte's dots are put down by
 * tables: the band's byte its first dot falls in, and for each of its 256
 * values the 16 band dots from there, as one of a few patterns (a shrunk
 * grid repeats every few bytes); else run by run. Worked out again only
 * when the picture's place across or the band's changes: a page of raster
 * is many pictures one under the other. */
enum { INK_SHIFT, INK_TABLE, INK_RUNS };
enum { SPREAD_PATTERNS = 128, PICTURE_BYTES_ACROSS = (2 * LAYOUT_MAX_CARRIAGE + 7) / 8 + 1 };
static LONG Columns[2 * LAYOUT_MAX_CARRIAGE + 2];
static uint16_t SpreadTables[SPREAD_PATTERNS][256];
static uint32_t SpreadKeys[SPREAD_PATTERNS];
static uint8_t SpreadOf[PICTURE_BYTES_ACROSS];
static uint32_t SpreadByte[PICTURE_BYTES_ACROSS];
struct SpreadPlace {
    uint32_t left, stepX, width, bandLeft, bandStepX;
    LONG x, origin;
    float kx;
    int onDevice;
};
static SpreadPlace Spread;
static int SpreadHow = -1;

static int PlaceColumns(const BandPicture *band, const LayoutPicture *p, const RECT *rect, float kx)
{
    SpreadPlace place;
    uint32_t patterns = 0;

    memset(&place, 0, sizeof place);
    place.left = p->left;
    place.stepX = p->stepX;
    place.width = p->width;
    place.bandLeft = band->left;
    place.bandStepX = band->stepX;
    place.x = band->x;
    place.origin = rect->left;
    place.kx = kx;
    place.onDevice = band->onDevice;
    if (SpreadHow >= 0 && memcmp(&place, &Spread, sizeof place) == 0)
        return SpreadHow;
    Spread = place;
    SpreadHow = band->onDevice ? INK_TABLE : p->stepX == band->stepX ? INK_SHIFT : INK_RUNS;
    for (uint32_t j = 0; j <= p->width; j++)
        Columns[j] = band->onDevice ? PlaceAcross(rect, p->left + j * p->stepX, kx) - band->x
                                    : (LONG)((p->left + j * p->stepX - band->left) / band->stepX);
    for (uint32_t j = 0; SpreadHow == INK_TABLE && j < p->width; j++) {
        if (Columns[j + 1] - Columns[j] > 1)
            SpreadHow = INK_RUNS;
    }
    for (uint32_t k = 0; SpreadHow == INK_TABLE && k < p->stride; k++) {
        uint32_t base = (uint32_t)Columns[8 * k] & ~7u, key = 0, i;
        for (i = 0; i < 8; i++) {
            uint32_t j = 8 * k + i < p->width ? 8 * k + i : p->width - 1;
            key = key << 4 | ((uint32_t)Columns[j] - base);
        }
        for (i = 0; i < patterns && SpreadKeys[i] != key; i++) {
        }
        if (i == SPREAD_PATTERNS) {
            SpreadHow = INK_RUNS;
            break;
        }
        if (i == patterns) {
            SpreadKeys[patterns++] = key;
            SpreadTables[i][0] = 0;
            for (uint32_t v = 1; v < 256; v++) {
                uint32_t low = v & (0u - v), offset = key >> (4 * (uint32_t)__builtin_ctz(low)) & 15;
                SpreadTables[i][v] = (uint16_t)(SpreadTables[i][v ^ low] | (0x8000u >> offset));
            }
        }
        SpreadOf[k] = (uint8_t)i;
        SpreadByte[k] = base >> 3;
    }
    return SpreadHow;
}

/* One raster picture into the band's: its rows onto the band's rows they
 * cover (on the device, never less than one), each dot onto the band's
 * dots from its column's to the next's (never less than one). */
static void InkPicture(BandPicture *band, const LayoutPicture *p, const unsigned char *dots,
                       const RECT *rect, float kx, float ky)
{
    int how = PlaceColumns(band, p, rect, kx);

    for (uint32_t r = 0; r < p->rows; r++) {
        const unsigned char *source = dots + (size_t)r * p->stride;
        uint32_t top = p->top + r * p->stepY, bottom = top + p->stepY;
        LONG rowFrom, rowTo;
        if (bottom > p->bottom)
            bottom = p->bottom;
        if (band->onDevice) {
            rowFrom = PlaceDown(rect, top, ky) - band->y;
            rowTo = PlaceDown(rect, bottom, ky) - band->y;
        } else {
            rowFrom = (LONG)((top - band->top) / band->stepY);
            rowTo = (LONG)((bottom - band->top) / band->stepY);
        }
        if (rowTo == rowFrom)
            rowTo++;
        for (LONG row = rowFrom; row < rowTo && row < (LONG)band->height; row++) {
            unsigned char *target = BandRow(band, (uint32_t)row);
            uint32_t at = 0, from, to;
            if (how == INK_SHIFT) {
                InkRow(target, band->stride, source, p->stride, (uint32_t)Columns[0]);
            } else if (how == INK_TABLE) {
                for (uint32_t k = 0; k < p->stride; k++) {
                    uint32_t v = source[k];
                    if (v) {
                        uint32_t m = SpreadTables[SpreadOf[k]][v];
                        target[SpreadByte[k]] &= (unsigned char)~(m >> 8);
                        if (m & 0xFF)
                            target[SpreadByte[k] + 1] &= (unsigned char)~m;
                    }
                }
            } else {
                while (NextRun(source, p->width, &at, &from, &to))
                    Blacken(target, (uint32_t)Columns[from],
                            (uint32_t)(Columns[to] > Columns[from] ? Columns[to] : Columns[from] + 1));
            }
        }
    }
}

/* One band of dots, grid rows top to bottom, no item crossing its edges:
 * one 1-bit picture on the coarsest grid its edges share (or, shrunk, on
 * the device's own), put onto the band's place. A logo or a bar code printed as bands, or a page of
 * raster, is then one image for the driver however many runs it has (on
 * PostScript, one compressed image mask). */
static int DrawBand(HDC dc, const RECT *rect, float kx, float ky, const LayoutSheet *sheet,
                    const uint32_t *order, uint32_t count, uint32_t top, uint32_t bottom)
{
    static struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info;
    uint32_t left = 0xFFFF, right = 0, stepX = 0, stepY = bottom - top;
    BandPicture band;
    int ok;

    for (uint32_t i = 0; i < count; i++) {
        uint32_t l, r;
        ItemAcross(sheet, order[i], &l, &r);
        if (l < left)
            left = l;
        if (r > right)
            right = r;
    }
    for (uint32_t i = 0; i < count; i++) {
        const LayoutPicture *p = ItemPicture(sheet, order[i]);
        uint32_t l, r;
        ItemAcross(sheet, order[i], &l, &r);
        stepX = JoinStep(JoinStep(stepX, l - left), r - left);
        stepY = JoinStep(JoinStep(stepY, ItemTop(sheet, order[i]) - top), ItemBottom(sheet, order[i]) - top);
        if (p) {
            stepX = JoinStep(stepX, p->stepX);
            stepY = JoinStep(stepY, p->stepY);
        }
    }
    memset(&band, 0, sizeof band);
    band.left = left;
    band.top = top;
    band.stepX = stepX;
    band.stepY = stepY;
    band.width = (right - left) / stepX;
    band.height = (bottom - top) / stepY;
    band.stride = (band.width + 31) / 32 * 4;
    LONG x = PlaceAcross(rect, left, kx), y = PlaceDown(rect, top, ky);
    LONG w = PlaceAcross(rect, right, kx) - x, h = PlaceDown(rect, bottom, ky) - y;
    if (w < 1)
        w = 1;
    if (h < 1)
        h = 1;
    /* Shrunk, a picture's dot may fall between a printer's when the driver
     * scales it, and GDI's own shrinking of a large picture is slow: such a
     * band is a picture on the device's own grid instead, each dot where it
     * falls and never thinner than a device dot, so nothing is scaled and
     * no dot is lost. */
    band.onDevice = w < (LONG)band.width || h < (LONG)band.height;
    band.x = x;
    band.y = y;
    if (band.onDevice) {
        /* A rectangle thinner than a dot takes the device dot it starts in,
         * which may be one past the band's rounded end. */
        band.width = (uint32_t)w + 1;
        band.height = (uint32_t)h + 1;
        band.stride = (band.width + 31) / 32 * 4;
    }
    if ((uint64_t)band.stride * band.height > BAND_PICTURE_BYTES)
        return DrawRectangles(dc, rect, kx, ky, sheet, order, count);
    band.bits = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)band.stride * band.height);
    if (!band.bits)
        return DrawRectangles(dc, rect, kx, ky, sheet, order, count);
    memset(band.bits, 0xFF, (size_t)band.stride * band.height);
    for (uint32_t i = 0; i < count; i++) {
        const LayoutPicture *p = ItemPicture(sheet, order[i]);
        if (p) {
            InkPicture(&band, p, sheet->pictureBits + p->bits, rect, kx, ky);
            continue;
        }
        const LayoutDots *d = &sheet->dots[order[i]];
        uint32_t from, to, rowFrom, rowTo;
        if (band.onDevice) {
            from = (uint32_t)(PlaceAcross(rect, d->left, kx) - x);
            to = (uint32_t)(PlaceAcross(rect, d->right, kx) - x);
            rowFrom = (uint32_t)(PlaceDown(rect, d->top, ky) - y);
            rowTo = (uint32_t)(PlaceDown(rect, d->bottom, ky) - y);
            if (to == from)
                to++;
            if (rowTo == rowFrom)
                rowTo++;
        } else {
            from = (d->left - left) / stepX;
            to = (d->right - left) / stepX;
            rowFrom = (d->top - top) / stepY;
            rowTo = (d->bottom - top) / stepY;
        }
        for (uint32_t row = rowFrom; row < rowTo && row < band.height; row++)
            Blacken(BandRow(&band, row), from, to < band.width ? to : band.width);
    }
    if (band.onDevice) {
        w = (LONG)band.width;
        h = (LONG)band.height;
    }
    info.header.biSize = sizeof info.header;
    info.header.biWidth = (LONG)band.width;
    info.header.biHeight = (LONG)band.height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    info.colors[1].rgbRed = info.colors[1].rgbGreen = info.colors[1].rgbBlue = 255;
    /* Never shrunk here (see above): each dot takes whole device dots. */
    int lines = StretchDIBits(dc, x, y, w, h, 0, 0, (int)band.width, (int)band.height,
                              band.bits, (const BITMAPINFO *)&info, DIB_RGB_COLORS, SRCCOPY);
    HeapFree(GetProcessHeap(), 0, band.bits);
    ok = lines != 0 && lines != (int)GDI_ERROR;
    /* A device that cannot take the picture still gets the dots. */
    return ok ? 1 : DrawRectangles(dc, rect, kx, ky, sheet, order, count);
}

/* The device row below a band from top to bottom: a band is never less
 * than a row high. */
static LONG BandEnd(const RECT *rect, float ky, uint32_t top, uint32_t bottom)
{
    LONG start = PlaceDown(rect, top, ky), end = PlaceDown(rect, bottom, ky);
    return end > start ? end : start + 1;
}

/* The sheet's dots, under its text: each band one picture. A band is the
 * items down the sheet that touch or overlap, or that reach the same
 * device row: a picture paints its white too, and must never paint over
 * the dots of another. */
static int DrawDots(HDC dc, const RECT *rect, float kx, float ky, const LayoutSheet *sheet)
{
    uint32_t count = sheet->dotCount + sheet->pictureCount;
    int sorted = 1, ok = 1;

    KnowPlaces(rect, kx, ky, sheet);

    /* Without the memory to order them, the dots are drawn all the same,
     * each a rectangle. */
    if (!RoomForOrder(count)) {
        static uint32_t one[256];
        for (uint32_t first = 0; first < count; first += 256) {
            uint32_t n = count - first < 256 ? count - first : 256;
            for (uint32_t i = 0; i < n; i++)
                one[i] = first + i;
            if (!DrawRectangles(dc, rect, kx, ky, sheet, one, n))
                ok = 0;
        }
        return ok;
    }
    for (uint32_t i = 0; i < count; i++) {
        DotOrder[i] = i;
        if (i > 0 && ItemTop(sheet, i) < ItemTop(sheet, i - 1))
            sorted = 0;
    }
    OrderedSheet = sheet;
    /* Bands and raster come top down already: no sort for them. */
    if (!sorted)
        qsort(DotOrder, count, sizeof *DotOrder, CompareTops);
    /* On a device with colour, the coloured dots go after the black ones,
     * each colour in order, drawn over the black bands' pictures (whose
     * white would paint them out). */
    uint32_t black = count, inkFrom[LAYOUT_COLOURS], inkTo[LAYOUT_COLOURS];
    memset(inkFrom, 0, sizeof inkFrom);
    memset(inkTo, 0, sizeof inkTo);
    if (HasColour(dc)) {
        uint32_t kept = 0, at;
        for (uint32_t i = 0; i < count; i++) {
            if (ItemColour(sheet, DotOrder[i]) == LAYOUT_BLACK)
                DotOrder[kept++] = DotOrder[i];
        }
        black = kept;
        at = kept;
        for (uint8_t colour = 1; colour < LAYOUT_COLOURS && at < count; colour++) {
            uint32_t from = at;
            for (uint32_t i = 0; i < count; i++) {
                if (ItemColour(sheet, i) == colour)
                    DotOrder[at++] = i;
            }
            inkFrom[colour] = from;
            inkTo[colour] = at;
        }
    }
    count = black;
    for (uint32_t first = 0; first < count;) {
        uint32_t top = ItemTop(sheet, DotOrder[first]), bottom = ItemBottom(sheet, DotOrder[first]);
        uint32_t end = first + 1;
        while (end < count && (ItemTop(sheet, DotOrder[end]) <= bottom ||
                               PlaceDown(rect, ItemTop(sheet, DotOrder[end]), ky) <
                                   BandEnd(rect, ky, top, bottom))) {
            if (ItemBottom(sheet, DotOrder[end]) > bottom)
                bottom = ItemBottom(sheet, DotOrder[end]);
            end++;
        }
        if (!DrawBand(dc, rect, kx, ky, sheet, DotOrder + first, end - first, top, bottom))
            ok = 0;
        first = end;
    }
    for (uint8_t colour = 1; colour < LAYOUT_COLOURS; colour++) {
        if (inkTo[colour] > inkFrom[colour]) {
            HBRUSH ink = CreateSolidBrush(InkColour(colour));
            if (!ink || !DrawInkRectangles(dc, rect, kx, ky, sheet, DotOrder + inkFrom[colour],
                                           inkTo[colour] - inkFrom[colour], ink))
                ok = 0;
            if (ink)
                DeleteObject(ink);
        }
    }
    return ok;
}

int DrawSheet(HDC dc, const RECT *rect, const DrawingArea *area, const LayoutSheet *sheet)
{
    static WCHAR text[LAYOUT_LINE_CELLS];
    static INT advances[LAYOUT_LINE_CELLS];
    SheetFit fit;
    SheetFonts fonts;
    float toRectX, toRectY, kx, ky;
    HGDIOBJ oldFont = NULL;
    HFONT selected = NULL;
    int ok = 1;

    if (area->width <= 0 || area->height <= 0)
        return 0;
    FitSheet(area, sheet->carriage, sheet->form, &fit);
    toRectX = (float)(rect->right - rect->left) / (float)area->width;
    toRectY = (float)(rect->bottom - rect->top) / (float)area->height;
    kx = fit.dotsPerX * toRectX;
    ky = fit.dotsPerY * toRectY;

    ChooseFace(dc);
    memset(&fonts, 0, sizeof fonts);
    fonts.height = (int)(LAYOUT_DEFAULT_SPACING * ky + 0.5f);
    if (fonts.height < 1)
        fonts.height = 1;
    fonts.dotsPerX = kx;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    int coloured = HasColour(dc);
    uint8_t inked = LAYOUT_BLACK;
    /* Every size on one baseline: where the pica em's would be. */
    SetTextAlign(dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
    if ((sheet->dotCount || sheet->pictureCount) && !DrawDots(dc, rect, kx / 2, ky, sheet))
        ok = 0;

    for (uint32_t l = 0; l < sheet->lineCount; l++) {
        const LayoutLine *line = &sheet->lines[l];
        const LayoutCell *cells = sheet->cells + line->first;
        float top = rect->top + line->y * ky;
        uint32_t i = 0;

        while (i < line->count) {
            uint8_t width = cells[i].width, attributes = cells[i].attributes, colour = cells[i].colour;
            uint32_t n = 0;
            while (i + n < line->count && cells[i + n].width == width &&
                   cells[i + n].attributes == attributes && cells[i + n].colour == colour)
                n++;
            for (uint32_t k = 0; k < n; k++) {
                const LayoutCell *c = &cells[i + k];
                uint32_t next = k + 1 < n ? cells[i + k + 1].x : (uint32_t)c->x + c->width;
                text[k] = c->ch;
                advances[k] = (int)(next * kx + 0.5f) - (int)(c->x * kx + 0.5f);
            }
            HFONT font = FontFor(&fonts, width, attributes);
            if (!font) {
                /* Back to the DC's own font before the sheet's are freed. */
                if (oldFont)
                    SelectObject(dc, oldFont);
                selected = NULL;
                FreeFonts(&fonts);
                font = FontFor(&fonts, width, attributes);
            }
            if (font) {
                /* Selected again only when it changes: a driver may set up
                 * its font anew on every selection. */
                if (font != selected) {
                    HGDIOBJ previous = SelectObject(dc, font);
                    if (!oldFont)
                        oldFont = previous;
                    selected = font;
                }
                if (colour != inked) {
                    SetTextColor(dc, coloured ? InkColour(colour) : RGB(0, 0, 0));
                    inked = colour;
                }
                /* Superscript in the line's upper two thirds, subscript
                 * in its lower. */
                float baseline = (attributes & CELL_SUPERSCRIPT)   ? 0.8f * 2 / 3
                                 : (attributes & CELL_SUBSCRIPT) ? 1.0f / 3 + 0.8f * 2 / 3
                                                                 : 0.8f;
                if (!ExtTextOutW(dc, rect->left + (int)(cells[i].x * kx + 0.5f),
                                 (int)(top + baseline * fonts.height + 0.5f), 0, NULL, text,
                                 (UINT)n, advances))
                    ok = 0;
            } else {
                ok = 0;
            }
            i += n;
        }
    }
    if (oldFont)
        SelectObject(dc, oldFont);
    FreeFonts(&fonts);
    return ok;
}
