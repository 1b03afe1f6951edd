/* draw.cpp - the drawn job's document on a printer's own driver, and the
 * printable area its sheets are fitted to. */
#include <string.h>

#include "draw.h"
#include "shell.h"

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
