/* settings_dialog.cpp - the Setting dialog: output device, page delimiter
 * and the two switches, read from and written to the settings file. */
#include <string.h>

#include "shell.h"
#include "resource_ids.h"

/* The stored switch goes to its box unchanged, even when it is neither 0
 * nor 1. A missing box is passed over. */
static void ShowSwitch(HWND dialog, int control, int32_t value)
{
    HWND box = GetDlgItem(dialog, control);

    if (box)
        SendMessageA(box, BM_SETCHECK, (WPARAM)value, 0);
}

/* The box's check state, or value itself when the box is missing. */
static int32_t ReadSwitch(HWND dialog, int control, int32_t value)
{
    HWND box = GetDlgItem(dialog, control);

    if (box)
        value = (int32_t)SendMessageA(box, BM_GETCHECK, 0, 0);
    return value;
}

static void InitSettings(HWND dialog, char *text)
{
    int32_t toggle = 1;
    unsigned char delimiter = 12;

    /* SKIPEMPTY is read into the variable that holds TODOS, so a missing
     * SKIPEMPTY shows the TODOS value. */
    ReadSettingStruct("TODOS", &toggle, sizeof toggle);
    ShowSwitch(dialog, IDC_SETTINGS_TODOS, toggle);
    ReadSettingStruct("SKIPEMPTY", &toggle, sizeof toggle);
    ShowSwitch(dialog, IDC_SETTINGS_SKIPEMPTY, toggle);

    ReadSettingStruct("LIMITER", &delimiter, sizeof delimiter);
    memset(text, 0, SETTING_TEXT_SIZE);
    WriteDecimalUnsigned(delimiter, text);
    SetDlgItemTextA(dialog, IDC_SETTINGS_LIMITER, text);

    ReadSettingString("POPT", "LPT1", text);
    SetDlgItemTextA(dialog, IDC_SETTINGS_PRINT_TO, text);
    LimitBoxText(dialog, IDC_SETTINGS_LIMITER);
    LimitBoxText(dialog, IDC_SETTINGS_PRINT_TO);
}

/* Writes all four values, each whatever became of the others. Returns 0
 * when any write failed (a read-only file or folder, no settings file). */
static int SaveSettings(HWND dialog, char *text)
{
    int32_t toggle = 1;
    unsigned char delimiter;
    int saved = 1;

    toggle = ReadSwitch(dialog, IDC_SETTINGS_TODOS, toggle);
    saved &= WriteSettingStruct("TODOS", &toggle, sizeof toggle);
    toggle = ReadSwitch(dialog, IDC_SETTINGS_SKIPEMPTY, toggle);
    saved &= WriteSettingStruct("SKIPEMPTY", &toggle, sizeof toggle);

    /* Any number is taken modulo 256: 300 becomes 44, -1 becomes 255, and
     * text that is no number becomes 0. */
    delimiter = (unsigned char)(ReadNumberBox(dialog, IDC_SETTINGS_LIMITER, text) & 0xFFu);
    saved &= WriteSettingStruct("LIMITER", &delimiter, sizeof delimiter);

    /* Stored as typed, even empty: the next job then reports the failed
     * open. */
    ReadBoxText(dialog, IDC_SETTINGS_PRINT_TO, text);
    saved &= WriteSettingString("POPT", text);

    /* In force for the next job, whatever the writes above did. */
    PageDelimiter = delimiter;
    return saved;
}

static INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    char text[SETTING_TEXT_SIZE];

    switch (message) {
    case WM_INITDIALOG:
        InitSettings(dialog, text);
        return TRUE;
    case WM_COMMAND:
        /* The whole of wParam: what OK, Cancel, Enter and Escape send. */
        if (wParam == IDOK) {
            /* Settings that did not reach the file would be lost without a
             * word at the next start: one error line says so. */
            if (!SaveSettings(dialog, text))
                LogLine((ActivityLog)ActivityLogWindow, TextError);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (wParam == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_SETTINGS_PICK_PRINTER && HIWORD(wParam) == BN_CLICKED) {
            PickPrinter(dialog);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR ShowSettingsDialog(HWND owner)
{
    return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_SETTINGS), owner,
                           SettingsDialogProc, 0);
}
