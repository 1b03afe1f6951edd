/* page_preview.cpp - the page range dialog's preview: one page of the job at
 * a time, as the sheet it prints on, white paper on grey. It runs a modal
 * loop of its own inside the dialog, reads the job's image and page table
 * while the dialog is open, and hands a page back to the From and To boxes
 * with Enter. It prints nothing, stores nothing and logs nothing. */
#include <string.h>

#include "shell.h"
#include "resource_ids.h"
#include "preview_pages.h"
#include "draw.h"

static const char PreviewClassName[] = "VelmarPreview";

enum { PREVIEW_MARGIN = 12, PREVIEW_NOTE_HEIGHT = 20 };

/* The one preview: its window (NULL when none is open), the dialog that
 * owns it, the page shown (1-based) and what is kept of its wheel turn. */
static HWND PreviewWindow;
static HWND PreviewOwner;
static uint32_t PreviewPage;
static int PreviewWheelRest;
static int PreviewTaken;   /* Enter handed the page to the boxes */
static uint32_t PreviewSheets; /* sheets the page shown takes */

/* What the preview lays out and draws with, as the drawn job does: the
 * printer's state carried from page 1, the file's carriage, its code page;
 * one sheet's layout (the first sheet of the page shown), and the printable
 * area of the sheet it prints on, worked out again only when the form
 * length changes. */
static PreviewStates PreviewPrinter;
static uint32_t PreviewCodePage;
static uint32_t PreviewCarriage;
static LayoutSheet PreviewSheet;
static int PreviewHasSheet;
static DrawingArea PreviewArea;
static uint32_t PreviewAreaForm;
static int PreviewDrawn; /* the job will be drawn through the driver */

/* The paper around the printable area: a quarter inch on every side, in
 * thousandths of an inch, as a common printer leaves it. */
enum { PREVIEW_PAPER_EDGE = 250 };

static void StartPreviewLayout(void)
{
    PrinterState initial;
    const JobForm *form = JobPrinterForm;
    uint32_t pins;

    /* What the job itself read, once: the drawn job starts from the same,
     * the pins chosen from the whole job as it chooses them. */
    PreviewCodePage = CodePageFromSetting(JobCodePage);
    if (form) {
        pins = ChooseJobPins(form->setup, form->setupCount, JobImage, JobImageSize);
        InitialPrinterState(&initial, form->setup, form->setupCount, form->pageLines, pins);
    } else {
        pins = ChooseJobPins(NULL, 0, JobImage, JobImageSize);
        InitialPrinterState(&initial, NULL, 0, 0, pins);
    }
    BeginPreviewStates(&PreviewPrinter, &initial, PageCount);
    PreviewCarriage = MeasureCarriage(&initial, JobImage, JobPageTable);
    PreviewHasSheet = AllocateSheet(&PreviewSheet);
    PreviewAreaForm = 0;
    PreviewDrawn = PreviewJobIsDrawn(JobOutputName);
}

/* The state at the start of page PreviewPage, and the sheet it prints on:
 * the sheet the drawn job would take if it began with this page. */
static void PreviewPageState(PrinterState *state)
{
    int landscape;

    PreviewStateAt(&PreviewPrinter, JobImage, JobPageTable, PreviewPage - 1, state);
    if (state->formLength != PreviewAreaForm) {
        DrawingAreaFor(JobOutputName, PreviewCarriage, state->formLength, &PreviewArea, &landscape);
        PreviewAreaForm = state->formLength;
    }
}

/* Lays out the first sheet of page PreviewPage; returns the sheets it
 * takes, and whether the page draws nothing and the form feeds it obeys. */
static uint32_t LayOutPreviewPage(const unsigned char *bytes, uint32_t length, int *drawsNothing,
                                  uint32_t *formFeeds)
{
    PrinterState state;

    *drawsNothing = 0;
    *formFeeds = 1;
    PreviewPageState(&state);
    if (!PreviewHasSheet)
        return 1;
    return LayOutFirstSheet(&state, bytes, length, PreviewCodePage, PreviewCarriage, &PreviewSheet,
                            drawsNothing, formFeeds);
}

/* The sheet's paper and its printable area in thousandths of an inch. */
static void PreviewSheetSize(long *width, long *height, long *edgeX, long *edgeY)
{
    long dpiX = PreviewArea.dpiX > 0 ? PreviewArea.dpiX : 300;
    long dpiY = PreviewArea.dpiY > 0 ? PreviewArea.dpiY : 300;

    *edgeX = PREVIEW_PAPER_EDGE;
    *edgeY = PREVIEW_PAPER_EDGE;
    *width = (long)((long long)PreviewArea.width * 1000 / dpiX) + 2 * *edgeX;
    *height = (long)((long long)PreviewArea.height * 1000 / dpiY) + 2 * *edgeY;
}

/* The client area less the note strip at its foot, the paper in it, and
 * the printable area on the paper. */
static void PreviewPaper(HWND window, RECT *area, RECT *paper, RECT *printable)
{
    long width, height, edgeX, edgeY;
    PreviewBox box;

    GetClientRect(window, area);
    area->bottom -= PREVIEW_NOTE_HEIGHT;
    if (area->bottom < area->top)
        area->bottom = area->top;
    PreviewSheetSize(&width, &height, &edgeX, &edgeY);
    box = FitPaper(area->right - area->left, area->bottom - area->top, PREVIEW_MARGIN, width, height);
    SetRect(paper, box.left, box.top, box.right, box.bottom);
    SetRect(printable, 0, 0, 0, 0);
    if (box.right > box.left) {
        long dx = (long)((long long)(box.right - box.left) * edgeX / width);
        long dy = (long)((long long)(box.bottom - box.top) * edgeY / height);
        SetRect(printable, box.left + dx, box.top + dy, box.right - dx, box.bottom - dy);
    }
}

/* Paints the paper and on it the sheet of the page shown, with the drawn
 * job's own drawing. The paper is drawn off screen and put on it in one
 * piece, so that turning a page does not flicker; without the memory for
 * that, it is drawn straight on the window. */
static void PaintPreviewSheet(HDC dc, const RECT *paper, const RECT *printable)
{
    int width = paper->right - paper->left, height = paper->bottom - paper->top;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(dc, width, height) : NULL;
    HDC target = bitmap ? memory : dc;
    RECT sheet = *paper, inside = *printable;

    if (bitmap) {
        SelectObject(memory, bitmap);
        OffsetRect(&sheet, -paper->left, -paper->top);
        OffsetRect(&inside, -paper->left, -paper->top);
    }
    /* The drawing sets its own text alignment and colours: the note under
     * the paper gets the DC back as it was. */
    SaveDC(target);
    FillRect(target, &sheet, (HBRUSH)GetStockObject(WHITE_BRUSH));
    if (PreviewHasSheet && !IsRectEmpty(&inside))
        DrawSheet(target, &inside, &PreviewArea, &PreviewSheet);
    RestoreDC(target, -1);
    if (bitmap)
        BitBlt(dc, paper->left, paper->top, width, height, memory, 0, 0, SRCCOPY);
    if (memory)
        DeleteDC(memory);
    if (bitmap)
        DeleteObject(bitmap);
}

static void PaintPreview(HWND window)
{
    PAINTSTRUCT paint;
    RECT area, paper, printable;
    HDC dc = BeginPaint(window, &paint);

    PreviewPaper(window, &area, &paper, &printable);
    /* The grey around the paper only, so that turning a page does not
     * flash. */
    SaveDC(dc);
    ExcludeClipRect(dc, paper.left, paper.top, paper.right, paper.bottom);
    FillRect(dc, &area, GetSysColorBrush(COLOR_APPWORKSPACE));
    RestoreDC(dc, -1);
    if (!IsRectEmpty(&paper))
        PaintPreviewSheet(dc, &paper, &printable);
    /* Under the paper, when the page takes more than the sheet shown. */
    GetClientRect(window, &area);
    area.top = area.bottom - PREVIEW_NOTE_HEIGHT;
    FillRect(dc, &area, GetSysColorBrush(COLOR_APPWORKSPACE));
    if (PreviewSheets > 1) {
        char note[48];
        memset(note, 0, sizeof note);
        strcpy(note, "Листов: ");
        WriteDecimalUnsigned(PreviewSheets, note + strlen(note));
        strcat(note, ", показан первый");
        SetBkMode(dc, TRANSPARENT);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        DrawTextA(dc, note, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    EndPaint(window, &paint);
}

/* Shows page PreviewPage: caption, its layout, the note, and the paint at
 * once (a page turn is done when the call returns). */
static void ShowPreviewPage(HWND window)
{
    char caption[PREVIEW_CAPTION_SIZE];
    const unsigned char *bytes;
    uint32_t length, formFeeds;
    int drawsNothing, skipped;

    PreviewPageBytes(JobImage, JobPageTable, PreviewPage, &bytes, &length);
    PreviewSheets = LayOutPreviewPage(bytes, length, &drawsNothing, &formFeeds);
    /* Blank as the job will judge it: a drawn job by what the page draws,
     * a raw one by its bytes. */
    if (PreviewDrawn)
        skipped = PreviewSkipsDrawnPage(drawsNothing, PreviewPage >= JobPageTable->Entries, formFeeds);
    else
        skipped = PreviewSkipsPage(bytes, length);
    ComposePreviewCaption(caption, PreviewPage, PageCount, skipped);
    SetWindowTextA(window, caption);

    InvalidateRect(window, NULL, FALSE);
    UpdateWindow(window);
}

static void TurnPreviewPage(HWND window, uint32_t page)
{
    if (page == PreviewPage)
        return;
    PreviewPage = page;
    ShowPreviewPage(window);
}

/* Enter: the page shown becomes the whole range. */
static void TakePreviewPage(void)
{
    char text[16];

    memset(text, 0, sizeof text);
    WriteDecimalUnsigned(PreviewPage, text);
    SetDlgItemTextA(PreviewOwner, IDC_PAGE_RANGE_FROM, text);
    SetDlgItemTextA(PreviewOwner, IDC_PAGE_RANGE_TO, text);
    PreviewTaken = 1;
    ClosePagePreview();
}

static void OnPreviewKey(HWND window, WPARAM key)
{
    switch (key) {
    case VK_NEXT: case VK_RIGHT:
        TurnPreviewPage(window, PreviewMove(PreviewPage, PREVIEW_NEXT, PageCount));
        break;
    case VK_PRIOR: case VK_LEFT:
        TurnPreviewPage(window, PreviewMove(PreviewPage, PREVIEW_PREVIOUS, PageCount));
        break;
    case VK_HOME:
        TurnPreviewPage(window, PreviewMove(PreviewPage, PREVIEW_FIRST, PageCount));
        break;
    case VK_END:
        TurnPreviewPage(window, PreviewMove(PreviewPage, PREVIEW_LAST, PageCount));
        break;
    case VK_RETURN:
        TakePreviewPage();
        break;
    case VK_ESCAPE:
        ClosePagePreview();
        break;
    }
}

static void OnPreviewWheel(HWND window, int delta)
{
    int pages = PreviewWheelPages(&PreviewWheelRest, delta);
    uint32_t page = PreviewPage;

    for (; pages > 0; pages--)
        page = PreviewMove(page, PREVIEW_NEXT, PageCount);
    for (; pages < 0; pages++)
        page = PreviewMove(page, PREVIEW_PREVIOUS, PageCount);
    TurnPreviewPage(window, page);
}

static LRESULT CALLBACK PreviewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        OnPreviewKey(window, wParam);
        return 0;
    case WM_MOUSEWHEEL:
        OnPreviewWheel(window, (short)HIWORD(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;   /* WM_PAINT covers every pixel */
    case WM_PAINT:
        PaintPreview(window);
        return 0;
    case WM_CLOSE:
        ClosePagePreview();
        return 0;
    case WM_DESTROY:
        /* Gone with its owner, or by ClosePagePreview: either way the
         * dialog takes the keys again. */
        if (window == PreviewWindow) {
            PreviewWindow = NULL;
            EnableWindow(PreviewOwner, TRUE);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int RegisterPreviewClass(void)
{
    WNDCLASSA windowClass;

    if (GetClassInfoA(AppInstance, PreviewClassName, &windowClass))
        return 1;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = PreviewWindowProc;
    windowClass.hInstance = AppInstance;
    windowClass.hIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.lpszClassName = PreviewClassName;
    return RegisterClassA(&windowClass) != 0;
}

/* Four fifths of the height of the desktop's work area, as wide as the
 * sheet then needs (within the work area), centred on it. */
static void PreviewPlacement(RECT *place)
{
    RECT workArea;
    RECT *work = &workArea;
    long width, height, edgeX, edgeY, w, h;

    SetRect(work, 0, 0, 800, 600);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, work, 0);
    PreviewSheetSize(&width, &height, &edgeX, &edgeY);
    h = (work->bottom - work->top) * 4 / 5;
    w = h * width / height + 2 * PREVIEW_MARGIN;
    if (w > work->right - work->left)
        w = work->right - work->left;
    place->left = work->left + (work->right - work->left - w) / 2;
    place->top = work->top + (work->bottom - work->top - h) / 2;
    place->right = place->left + w;
    place->bottom = place->top + h;
}

void ShowPagePreview(HWND dialog)
{
    char from[SETTING_TEXT_SIZE];
    PrinterState state;
    RECT place;
    MSG message;

    /* Only inside a job, and one preview at a time. */
    if (PreviewWindow || !JobPageTable || !RegisterPreviewClass())
        return;
    ReadBoxText(dialog, IDC_PAGE_RANGE_FROM, from);
    PreviewPage = PreviewFirstPage(from, PageCount);
    PreviewWheelRest = 0;
    PreviewTaken = 0;
    PreviewOwner = dialog;
    StartPreviewLayout();
    /* The sheet of the first page shown sets the window's proportions. */
    PreviewPageState(&state);

    PreviewPlacement(&place);
    PreviewWindow = CreateWindowExA(0, PreviewClassName, "", WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX,
                                    place.left, place.top, place.right - place.left,
                                    place.bottom - place.top, dialog, NULL, AppInstance, NULL);
    if (!PreviewWindow) {
        if (PreviewHasSheet)
            FreeSheet(&PreviewSheet);
        PreviewHasSheet = 0;
        return;
    }
    ShowPreviewPage(PreviewWindow);
    EnableWindow(dialog, FALSE);
    ShowWindow(PreviewWindow, SW_SHOW);

    /* The preview's own modal loop; it ends when the window goes, however
     * it goes. A quit message closes the preview and is passed on to the
     * dialog's loop, which ends the dialog with it. */
    while (PreviewWindow) {
        BOOL got = GetMessageA(&message, NULL, 0, 0);
        if (got == 0 || got == -1) {
            ClosePagePreview();
            if (got == 0)
                PostQuitMessage((int)message.wParam);
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (PreviewHasSheet)
        FreeSheet(&PreviewSheet);
    PreviewHasSheet = 0;
    /* After Enter the Print button takes the focus (and is the default
     * again), so that Enter prints the page. */
    if (PreviewTaken && IsWindow(dialog))
        SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDOK), TRUE);
}

void ClosePagePreview(void)
{
    HWND window = PreviewWindow;

    if (!window)
        return;
    /* The owner first, so that it becomes the active window again. */
    EnableWindow(PreviewOwner, TRUE);
    PreviewWindow = NULL;
    DestroyWindow(window);
}
