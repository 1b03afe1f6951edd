/* settings_dialog.cpp - the Setting dialog: output device, page delimiter,
 * the switches, the printer's code page, lines per page, set-up bytes, the
 * watched folder and the printer's pins, read from and written to the
 * settings file. */
#include <string.h>

#include "shell.h"
#include "resource_ids.h"

#include <shlobj.h>

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

/* A drop-down list of the dialog: its items in order, and the value each
 * stores. A stored value no item has shows the first item, which is also
 * what is stored when nothing is chosen. */
struct ChoiceList {
    int control;
    const char *const *items;
    const uint32_t *values;
    int count;
};

static const char *const CodePageItems[] = {"866", "1125"};
static const uint32_t CodePageValues[] = {866, 1125};
/* Auto: the job tells a 9-pin from a 24-pin printer by its commands. */
static const char *const PinsItems[] = {"Auto", "9", "24"};
static const uint32_t PinsValues[] = {0, 9, 24};

static const ChoiceList CodePageList = {IDC_SETTINGS_CODEPAGE, CodePageItems, CodePageValues, 2};
static const ChoiceList PinsList = {IDC_SETTINGS_PINS, PinsItems, PinsValues, 3};

enum { PAGE_LINES_MAX = 1000 };

static void InitChoice(HWND dialog, const ChoiceList &list, uint32_t stored)
{
    HWND box = GetDlgItem(dialog, list.control);
    int chosen = 0;

    if (!box)
        return;
    for (int i = 0; i < list.count; i++) {
        SendMessageA(box, CB_ADDSTRING, 0, (LPARAM)list.items[i]);
        if (list.values[i] == stored)
            chosen = i;
    }
    SendMessageA(box, CB_SETCURSEL, (WPARAM)chosen, 0);
}

static uint32_t ReadChoice(HWND dialog, const ChoiceList &list)
{
    HWND box = GetDlgItem(dialog, list.control);
    LRESULT item = box ? SendMessageA(box, CB_GETCURSEL, 0, 0) : CB_ERR;

    return item >= 0 && item < list.count ? list.values[item] : list.values[0];
}

/* The settings added after the first four. */
static void InitLaterSettings(HWND dialog, char *text)
{
    uint32_t codePage = 866, pins = 0;
    int32_t draw = 0;
    uint32_t pageLines = 0;

    /* Any stored value but 1125 means 866, as in the job; any but 9 and
     * 24 means Auto. */
    ReadSettingStruct("CODEPAGE", &codePage, sizeof codePage);
    InitChoice(dialog, CodePageList, codePage);
    ReadSettingStruct("PINS", &pins, sizeof pins);
    InitChoice(dialog, PinsList, pins);
    ReadSettingStruct("DRAW", &draw, sizeof draw);
    ShowSwitch(dialog, IDC_SETTINGS_DRAW, draw);

    ReadSettingStruct("PAGELINES", &pageLines, sizeof pageLines);
    memset(text, 0, SETTING_TEXT_SIZE);
    WriteDecimalUnsigned(pageLines, text);
    SetDlgItemTextA(dialog, IDC_SETTINGS_PAGELINES, text);
    LimitBoxText(dialog, IDC_SETTINGS_PAGELINES);

    /* A stored text longer than the box takes is shown and kept whole:
     * cut to 255 characters it might become a valid list, which OK would
     * then store. The job refuses the long text. */
    char setup[SETUP_READ_SIZE];
    ReadSettingText("SETUP", "", setup, sizeof setup);
    SetDlgItemTextA(dialog, IDC_SETTINGS_SETUP, setup);
    LimitBoxText(dialog, IDC_SETTINGS_SETUP);

    ReadSettingString("WATCH", "", text);
    SetDlgItemTextA(dialog, IDC_SETTINGS_WATCH, text);
    LimitBoxText(dialog, IDC_SETTINGS_WATCH);
}

static int SaveLaterSettings(HWND dialog, char *text)
{
    uint32_t codePage = ReadChoice(dialog, CodePageList);
    uint32_t pins = ReadChoice(dialog, PinsList);
    int32_t draw = ReadSwitch(dialog, IDC_SETTINGS_DRAW, 0);
    uint32_t pageLines;
    int saved = 1;

    saved &= WriteSettingStruct("CODEPAGE", &codePage, sizeof codePage);
    saved &= WriteSettingStruct("PINS", &pins, sizeof pins);
    saved &= WriteSettingStruct("DRAW", &draw, sizeof draw);

    /* Unsigned: a negative number is a very large one, and so stored as
     * the largest page length taken. */
    pageLines = ReadNumberBox(dialog, IDC_SETTINGS_PAGELINES, text);
    if (pageLines > PAGE_LINES_MAX)
        pageLines = PAGE_LINES_MAX;
    saved &= WriteSettingStruct("PAGELINES", &pageLines, sizeof pageLines);

    /* Stored as typed, and whole (see InitLaterSettings): the job checks
     * it, and refuses a malformed list before anything reaches the
     * printer. */
    char setup[SETUP_READ_SIZE];
    memset(setup, 0, sizeof setup);
    GetDlgItemTextA(dialog, IDC_SETTINGS_SETUP, setup, sizeof setup);
    saved &= WriteSettingString("SETUP", setup);

    ReadBoxText(dialog, IDC_SETTINGS_WATCH, text);
    saved &= WriteSettingString("WATCH", text);
    return saved;
}

/* The "..." beside Watch folder: the system's folder browser; the choice
 * fills the box, nothing is stored before OK. */
static void PickWatchFolder(HWND dialog)
{
    BROWSEINFOA request;
    char path[MAX_PATH];
    LPITEMIDLIST chosen;

    memset(&request, 0, sizeof request);
    memset(path, 0, sizeof path);
    request.hwndOwner = dialog;
    request.pszDisplayName = path;
    request.lpszTitle = "Watch folder";
    request.ulFlags = BIF_RETURNONLYFSDIRS;
    /* The browser is a COM object of this thread's; a second call only
     * counts. */
    CoInitialize(NULL);
    chosen = SHBrowseForFolderA(&request);
    if (!chosen)
        return;
    if (SHGetPathFromIDListA(chosen, path) && strlen(path) < SETTING_TEXT_SIZE)
        SetDlgItemTextA(dialog, IDC_SETTINGS_WATCH, path);
    CoTaskMemFree(chosen);
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
    InitLaterSettings(dialog, text);
}

/* Writes every value, each whatever became of the others. Returns 0
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
    saved &= SaveLaterSettings(dialog, text);

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
            /* The folder typed is watched at once, stored or not. */
            ReadBoxText(dialog, IDC_SETTINGS_WATCH, text);
            StartWatching((ActivityLog)ActivityLogWindow, text);
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
        if (LOWORD(wParam) == IDC_SETTINGS_PICK_SETUP && HIWORD(wParam) == BN_CLICKED) {
            PickSetup(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_SETTINGS_PICK_WATCH && HIWORD(wParam) == BN_CLICKED) {
            PickWatchFolder(dialog);
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
