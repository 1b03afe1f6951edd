/* draw.cpp - laid-out sheets on a device context, and the drawn job's
 * document on a printer's own driver. */
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

/* The sheet's bit-image dots, as filled polygons a batch at a time. Each
 * edge is the scaled grid position of its place, rounded, so rectangles
 * that meet on the grid meet on the device: no white line between bands. */
static int DrawDots(HDC dc, const RECT *rect, float kx, float ky, const LayoutSheet *sheet)
{
    enum { BATCH = 256 };
    static POINT corners[4 * BATCH];
    static INT counts[BATCH];
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
    int oldFill = SetPolyFillMode(dc, WINDING);
    int ok = 1, n = 0;

    for (uint32_t i = 0; i < sheet->dotCount; i++) {
        const LayoutDots *d = &sheet->dots[i];
        LONG left = rect->left + (LONG)(d->left * kx + 0.5f);
        LONG right = rect->left + (LONG)(d->right * kx + 0.5f);
        LONG top = rect->top + (LONG)(d->top * ky + 0.5f);
        LONG bottom = rect->top + (LONG)(d->bottom * ky + 0.5f);
        POINT *c = &corners[4 * n];
        /* Never thinner than a device dot. */
        if (right == left)
            right++;
        if (bottom == top)
            bottom++;
        c[0].x = left, c[0].y = top;
        c[1].x = right, c[1].y = top;
        c[2].x = right, c[2].y = bottom;
        c[3].x = left, c[3].y = bottom;
        counts[n++] = 4;
        if (n == BATCH || i + 1 == sheet->dotCount) {
            if (!PolyPolygon(dc, corners, counts, n))
                ok = 0;
            n = 0;
        }
    }
    SetPolyFillMode(dc, oldFill);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
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
    /* Every size on one baseline: where the pica em's would be. */
    SetTextAlign(dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
    if (sheet->dotCount && !DrawDots(dc, rect, kx / 2, ky / 5, sheet))
        ok = 0;

    for (uint32_t l = 0; l < sheet->lineCount; l++) {
        const LayoutLine *line = &sheet->lines[l];
        const LayoutCell *cells = sheet->cells + line->first;
        float top = rect->top + line->y * ky;
        uint32_t i = 0;

        while (i < line->count) {
            uint8_t width = cells[i].width, attributes = cells[i].attributes;
            uint32_t n = 0;
            while (i + n < line->count && cells[i + n].width == width &&
                   cells[i + n].attributes == attributes)
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

/* ---- The printer's sheet ------------------------------------------------------ */

static void AreaOf(HDC dc, DrawingArea *area)
{
    area->width = GetDeviceCaps(dc, HORZRES);
    area->height = GetDeviceCaps(dc, VERTRES);
    area->dpiX = GetDeviceCaps(dc, LOGPIXELSX);
    area->dpiY = GetDeviceCaps(dc, LOGPIXELSY);
}

/* A device context on the printer (an information context when
 * information is set) for a carriage x form job, turned when that prints
 * it larger; NULL when the printer cannot be had. */
static HDC PrinterContext(const char *name, uint32_t carriage, uint32_t form, int information,
                          int *landscape)
{
    HANDLE printer = NULL;
    DEVMODEA *mode = NULL;
    DrawingArea area;
    HDC dc;

    *landscape = 0;
    if (OpenPrinterA((LPSTR)name, &printer, NULL)) {
        LONG size = DocumentPropertiesA(NULL, printer, (LPSTR)name, NULL, NULL, 0);
        if (size >= (LONG)sizeof(DEVMODEA))
            mode = (DEVMODEA *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (SIZE_T)size);
        if (mode && DocumentPropertiesA(NULL, printer, (LPSTR)name, mode, NULL, DM_OUT_BUFFER) < 0) {
            HeapFree(GetProcessHeap(), 0, mode);
            mode = NULL;
        }
    }
    if (mode) {
        mode->dmFields |= DM_ORIENTATION;
        mode->dmOrientation = DMORIENT_PORTRAIT;
    }
    dc = CreateICA("WINSPOOL", name, NULL, mode);
    if (dc) {
        AreaOf(dc, &area);
        DeleteDC(dc);
        *landscape = mode && ChooseLandscape(&area, carriage, form);
        if (*landscape) {
            mode->dmOrientation = DMORIENT_LANDSCAPE;
            DocumentPropertiesA(NULL, printer, (LPSTR)name, mode, mode,
                                DM_IN_BUFFER | DM_OUT_BUFFER);
        }
    }
    dc = information ? CreateICA("WINSPOOL", name, NULL, mode)
                     : CreateDCA("WINSPOOL", name, NULL, mode);
    if (mode)
        HeapFree(GetProcessHeap(), 0, mode);
    if (printer)
        ClosePrinter(printer);
    return dc;
}

int DrawingAreaFor(const char *outputName, uint32_t carriage, uint32_t form, DrawingArea *area,
                   int *landscape)
{
    if (outputName && IsInstalledPrinter(outputName)) {
        HDC dc = PrinterContext(outputName, carriage, form, 1, landscape);
        if (dc) {
            AreaOf(dc, area);
            DeleteDC(dc);
            if (area->width > 0 && area->height > 0 && area->dpiX > 0 && area->dpiY > 0)
                return 1;
        }
    }
    A4DrawingArea(area);
    *landscape = ChooseLandscape(area, carriage, form);
    if (*landscape)
        TurnArea(area, area);
    return 0;
}

/* ---- The drawn job's document ---------------------------------------------- */

struct DrawnDocumentTag {
    HDC dc;
    DrawingArea area;
};
static DrawnDocumentTag Document; /* one job at a time */

DrawnDocument StartDrawing(ActivityLog log, const char *printerName, const char *documentName,
                           uint32_t carriage, uint32_t form)
{
    DOCINFOA info;
    int landscape;
    HDC dc = PrinterContext(printerName, carriage, form, 0, &landscape);

    if (!dc)
        return NULL;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.lpszDocName = documentName;
    if (StartDocA(dc, &info) <= 0) {
        AbortDoc(dc);
        DeleteDC(dc);
        return NULL;
    }
    Document.dc = dc;
    AreaOf(dc, &Document.area);
    return &Document;
}

int DrawJobSheet(DrawnDocument document, const LayoutSheet *sheet)
{
    RECT rect = {0, 0, document->area.width, document->area.height};

    int drawn;

    if (StartPage(document->dc) <= 0)
        return 0;
    /* A sheet whose type could not be had or put down would come out blank
     * or short: a failed job, not a printed one. */
    drawn = DrawSheet(document->dc, &rect, &document->area, sheet);
    return EndPage(document->dc) > 0 && drawn;
}

int EndDrawing(DrawnDocument document)
{
    int ended = EndDoc(document->dc) > 0;

    DeleteDC(document->dc);
    document->dc = NULL;
    return ended;
}

void AbortDrawing(DrawnDocument document)
{
    AbortDoc(document->dc);
    DeleteDC(document->dc);
    document->dc = NULL;
}
