/* page_range_dialog.cpp - the Print dialog: shows how many pages the job
 * found and takes the first and last page to print. */
#include <string.h>

#include "shell.h"
#include "resource_ids.h"

/* Reads a number box (at most 255 characters) as a decimal number. */
static uint32_t ReadNumberBox(HWND dialog, int control, char *text)
{
    memset(text, 0, SETTING_TEXT_SIZE);
    GetDlgItemTextA(dialog, control, text, SETTING_TEXT_SIZE);
    return ReadDecimal(text);
}

static void InitPageRange(HWND dialog, char *text)
{
    memset(text, 0, SETTING_TEXT_SIZE);
    WriteDecimalUnsigned(PageCount, text);
    SetDlgItemTextA(dialog, IDC_PAGE_RANGE_COUNT, text);
    SetDlgItemTextA(dialog, IDC_PAGE_RANGE_FROM, "1");
    SetDlgItemTextA(dialog, IDC_PAGE_RANGE_TO, text);
}

/* Print and Cancel both hand the boxes back: the job prints only after
 * Print. The count box is never read back. */
static void EndPageRange(HWND dialog, int command, char *text)
{
    PageFrom = ReadNumberBox(dialog, IDC_PAGE_RANGE_FROM, text);
    PageTo = ReadNumberBox(dialog, IDC_PAGE_RANGE_TO, text);
    EndDialog(dialog, command);
}

INT_PTR CALLBACK PageRangeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
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
        break;
    }
    return FALSE;
}
