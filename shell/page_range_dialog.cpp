/* page_range_dialog.cpp - the Print dialog: shows how many pages the job
 * found and takes the first and last page to print. */
#include <string.h>

#include "shell.h"
#include "resource_ids.h"

static void InitPageRange(HWND dialog, char *text)
{
    memset(text, 0, SETTING_TEXT_SIZE);
    WriteDecimalUnsigned(PageCount, text);
    SetDlgItemTextA(dialog, IDC_PAGE_RANGE_COUNT, text);
    SetDlgItemTextA(dialog, IDC_PAGE_RANGE_FROM, "1");
    SetDlgItemTextA(dialog, IDC_PAGE_RANGE_TO, text);
    LimitBoxText(dialog, IDC_PAGE_RANGE_COUNT);
    LimitBoxText(dialog, IDC_PAGE_RANGE_FROM);
    LimitBoxText(dialog, IDC_PAGE_RANGE_TO);
}

/* Print and Cancel both hand the boxes back: the job prints only after
 * Print. The count box is never read back. */
static void EndPageRange(HWND dialog, int command, char *text)
{
    /* A command that reaches the dialog while its preview is open (only a
     * program can send one then) takes the preview with it. */
    ClosePagePreview();
    PageFrom = ReadNumberBox(dialog, IDC_PAGE_RANGE_FROM, text);
    PageTo = ReadNumberBox(dialog, IDC_PAGE_RANGE_TO, text);
    EndDialog(dialog, command);
}

static INT_PTR CALLBACK PageRangeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    char text[SETTING_TEXT_SIZE];

    switch (message) {
    case WM_INITDIALOG:
        InitPageRange(dialog, text);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndPageRange(dialog, LOWORD(wParam), text);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_PAGE_RANGE_PREVIEW) {
            ShowPagePreview(dialog);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int ChoosePageRange(ActivityLog log, uint32_t pageCount)
{
    PageCount = pageCount;
    /* The log window is the parent; the dialog is owned by its top-level
     * window, the main window. A failure (-1) counts as not confirmed. */
    return (int)DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_PAGE_RANGE), (HWND)log,
                                PageRangeDialogProc, 0);
}
