/* page_preview.cpp - the page range dialog's preview: one page of the job at
 * a time, as the sheet it prints on, white paper on grey. It runs a modal
 * loop of its own inside the dialog, reads the job's image and page table
 * while the dialog is open, and hands a page back to the From and To boxes
 * with Enter. It prints nothing, stores nothing and logs nothing. */
#include <string.h>

#include "shell.h"
#include "resource_ids.h"
#include "preview_pages.h"

static const char PreviewClassName[] = "VelmarPreview";
static const char TextPreviewKeys[] =
    "PgDn, PgUp, Home, End — листать; Enter — печатать эту страницу; Esc — вернуться";

enum { PREVIEW_MARGIN = 12, PREVIEW_NOTE_HEIGHT = 20 };

/* The one preview: its window (NULL when none is open), the dialog that
 * owns it, the page shown (1-based) and what is kept of its wheel turn. */
static HWND PreviewWindow;
static HWND PreviewOwner;
static uint32_t PreviewPage;
static int PreviewWheelRest;
static int PreviewTaken;   /* Enter handed the page to the boxes */

/* The sheet the job's pages print on, in tenths of a millimetre: A4
 * upright. */
static void PreviewSheetSize(long *width, long *height)
{
    *width = 2100;
    *height = 2970;
}

/* Lays out page PreviewPage; returns the sheets it takes. */
static uint32_t LayOutPreviewPage(void)
{
    return 1;
}

/* Paints the sheet of the page shown into paper: the one place where the
 * sheet itself is drawn. */
static void PaintPreviewSheet(HDC dc, const RECT *paper)
{
    FillRect(dc, paper, (HBRUSH)GetStockObject(WHITE_BRUSH));
}

/* The client area less the note strip at its foot, and the paper in it. */
static void PreviewPaper(HWND window, RECT *area, RECT *paper)
{
    long width, height;
    PreviewBox box;

    GetClientRect(window, area);
    area->bottom -= PREVIEW_NOTE_HEIGHT;
    if (area->bottom < area->top)
        area->bottom = area->top;
    PreviewSheetSize(&width, &height);
    box = FitSheet(area->right - area->left, area->bottom - area->top, PREVIEW_MARGIN, width, height);
    SetRect(paper, box.left, box.top, box.right, box.bottom);
}

static void PaintPreview(HWND window)
{
    PAINTSTRUCT paint;
    RECT area, paper;
    HDC dc = BeginPaint(window, &paint);

    PreviewPaper(window, &area, &paper);
    /* The grey around the paper only, so that turning a page does not
     * flash. */
    SaveDC(dc);
    ExcludeClipRect(dc, paper.left, paper.top, paper.right, paper.bottom);
    FillRect(dc, &area, GetSysColorBrush(COLOR_APPWORKSPACE));
    RestoreDC(dc, -1);
    if (!IsRectEmpty(&paper))
        PaintPreviewSheet(dc, &paper);
    EndPaint(window, &paint);
}

/* Shows page PreviewPage: caption, its layout, the note, and the paint at
 * once (a page turn is done when the call returns). */
static void ShowPreviewPage(HWND window)
{
    char caption[PREVIEW_CAPTION_SIZE];
    char note[SHELL_TEXT_SIZE];
    const unsigned char *bytes;
    uint32_t length, sheets;

    PreviewPageBytes(JobImage, JobPageTable, PreviewPage, &bytes, &length);
    ComposePreviewCaption(caption, PreviewPage, PageCount, PreviewSkipsPage(bytes, length));
    SetWindowTextA(window, caption);

    sheets = LayOutPreviewPage();
    memset(note, 0, sizeof note);
    if (sheets > 1) {
        /* "Листов: N, показан первый. " before the keys. */
        strcpy(note, "Листов: ");
        WriteDecimalUnsigned(sheets, note + strlen(note));
        strcat(note, ", показан первый. ");
    }
    strcat(note, TextPreviewKeys);
    SetDlgItemTextA(window, IDC_PREVIEW_NOTE, note);

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
    case VK_NEXT: case VK_RIGHT: case VK_DOWN:
        TurnPreviewPage(window, PreviewMove(PreviewPage, PREVIEW_NEXT, PageCount));
        break;
    case VK_PRIOR: case VK_LEFT: case VK_UP:
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
    RECT client;

    switch (message) {
    case WM_KEYDOWN:
        OnPreviewKey(window, wParam);
        return 0;
    case WM_MOUSEWHEEL:
        OnPreviewWheel(window, (short)HIWORD(wParam));
        return 0;
    case WM_SIZE:
        GetClientRect(window, &client);
        MoveWindow(GetDlgItem(window, IDC_PREVIEW_NOTE), 0, client.bottom - PREVIEW_NOTE_HEIGHT,
                   client.right, PREVIEW_NOTE_HEIGHT, TRUE);
        InvalidateRect(window, NULL, FALSE);
        return 0;
    case WM_GETMINMAXINFO:
        ((MINMAXINFO *)lParam)->ptMinTrackSize.x = 240;
        ((MINMAXINFO *)lParam)->ptMinTrackSize.y = 200;
        return 0;
    case WM_CTLCOLORSTATIC:
        SetBkColor((HDC)wParam, GetSysColor(COLOR_APPWORKSPACE));
        SetTextColor((HDC)wParam, GetSysColor(COLOR_WINDOW));
        return (LRESULT)GetSysColorBrush(COLOR_APPWORKSPACE);
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

/* Four fifths of the height of the dialog's monitor, as wide as the sheet
 * then needs (within the monitor), centred on it. */
static void PreviewPlacement(HWND dialog, RECT *place)
{
    MONITORINFO monitor;
    long width, height, w, h;
    RECT *work = &monitor.rcWork;

    memset(&monitor, 0, sizeof monitor);
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, work, 0);
    PreviewSheetSize(&width, &height);
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

    PreviewPlacement(dialog, &place);
    PreviewWindow = CreateWindowExA(0, PreviewClassName, "", WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX,
                                    place.left, place.top, place.right - place.left,
                                    place.bottom - place.top, dialog, NULL, AppInstance, NULL);
    if (!PreviewWindow)
        return;
    CreateWindowExA(0, "static", "", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0, 0, 0, 0,
                    PreviewWindow, (HMENU)IDC_PREVIEW_NOTE, AppInstance, NULL);
    SendDlgItemMessageA(PreviewWindow, IDC_PREVIEW_NOTE, WM_SETFONT,
                        (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 0);
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
