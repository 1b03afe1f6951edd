/* printer_menu.cpp - the "..." buttons of the Setting dialog.
 *
 * Beside Print To: a pop-up menu of the installed printers, the default one
 * first and checked, the others in alphabetical order, then the three
 * parallel ports. Beside Printer setup: a few common set-up strings. The
 * choice goes into the box; nothing is stored before OK. */
#include <stdlib.h>
#include <string.h>

#include "shell.h"
#include "resource_ids.h"

enum { FIRST_PORT_ITEM = 1, PORT_COUNT = 3, FIRST_PRINTER_ITEM = FIRST_PORT_ITEM + PORT_COUNT };

static const char *const Ports[PORT_COUNT] = {"LPT1", "LPT2", "LPT3"};

static int CompareNames(const void *a, const void *b)
{
    return lstrcmpiA(*(const char *const *)a, *(const char *const *)b);
}

/* A menu text shows "&" only when doubled. */
static void AppendItem(HMENU menu, UINT id, const char *name, char *text, size_t textSize)
{
    size_t n = 0;

    for (const char *p = name; *p && n + 2 < textSize; p++) {
        if (*p == '&')
            text[n++] = '&';
        text[n++] = *p;
    }
    text[n] = '\0';
    AppendMenuA(menu, MF_STRING, id, text);
}

/* Puts the printers in menu order: the default first when it is among
 * them (*defaultIndex 0, else -1), the rest sorted without regard to case. */
static void OrderPrinters(const char **names, DWORD count, int *defaultIndex)
{
    char defaultName[SHELL_TEXT_SIZE] = "";
    DWORD size = sizeof defaultName;
    DWORD first = 0;

    *defaultIndex = -1;
    if (GetDefaultPrinterA(defaultName, &size)) {
        for (DWORD i = 0; i < count; i++) {
            if (lstrcmpiA(names[i], defaultName) != 0)
                continue;
            const char *found = names[i];
            names[i] = names[0];
            names[0] = found;
            *defaultIndex = 0;
            first = 1;
            break;
        }
    }
    qsort(names + first, count - first, sizeof *names, CompareNames);
}

/* The menu's place: under the button, as a drop-down would open. */
static UINT TrackUnder(HWND dialog, int buttonId, HMENU menu)
{
    HWND button = GetDlgItem(dialog, buttonId);
    RECT place;

    if (!button || !GetWindowRect(button, &place))
        GetWindowRect(dialog, &place);
    return (UINT)TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY,
                                place.left, place.bottom, 0, dialog, NULL);
}

void PickSetup(HWND dialog)
{
    static const char *const Names[] = {"Reset (ESC @)", "Condensed (SI)", "Reset + condensed", "None"};
    static const char *const Values[] = {"27 64", "15", "27 64 15", ""};
    HMENU menu = CreatePopupMenu();
    UINT chosen;

    if (!menu)
        return;
    for (UINT i = 0; i < sizeof Names / sizeof Names[0]; i++)
        AppendMenuA(menu, MF_STRING, 1 + i, Names[i]);
    chosen = TrackUnder(dialog, IDC_SETTINGS_PICK_SETUP, menu);
    if (chosen >= 1 && chosen <= sizeof Values / sizeof Values[0])
        SetDlgItemTextA(dialog, IDC_SETTINGS_SETUP, Values[chosen - 1]);
    DestroyMenu(menu);
}

void PickPrinter(HWND dialog)
{
    HANDLE heap = GetProcessHeap();
    DWORD count = 0;
    PRINTER_INFO_4A *printers = ListInstalledPrinters(&count);
    const char **names = (const char **)HeapAlloc(heap, 0, (count ? count : 1) * sizeof *names);
    char *text = (char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, 2 * SHELL_TEXT_SIZE);
    HMENU menu = CreatePopupMenu();
    DWORD shown = 0;
    int defaultIndex = -1;
    UINT chosen;

    if (!names || !text || !menu)
        goto done;
    for (DWORD i = 0; i < count; i++) {
        if (printers[i].pPrinterName && printers[i].pPrinterName[0])
            names[shown++] = printers[i].pPrinterName;
    }
    OrderPrinters(names, shown, &defaultIndex);
    for (DWORD i = 0; i < shown; i++)
        AppendItem(menu, FIRST_PRINTER_ITEM + i, names[i], text, 2 * SHELL_TEXT_SIZE);
    if (defaultIndex >= 0)
        CheckMenuItem(menu, FIRST_PRINTER_ITEM + defaultIndex, MF_BYCOMMAND | MF_CHECKED);
    if (shown)
        AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    for (int i = 0; i < PORT_COUNT; i++)
        AppendMenuA(menu, MF_STRING, FIRST_PORT_ITEM + i, Ports[i]);

    chosen = TrackUnder(dialog, IDC_SETTINGS_PICK_PRINTER, menu);
    if (chosen >= FIRST_PRINTER_ITEM && chosen < FIRST_PRINTER_ITEM + shown)
        SetDlgItemTextA(dialog, IDC_SETTINGS_PRINT_TO, names[chosen - FIRST_PRINTER_ITEM]);
    else if (chosen >= FIRST_PORT_ITEM && chosen < FIRST_PORT_ITEM + PORT_COUNT)
        SetDlgItemTextA(dialog, IDC_SETTINGS_PRINT_TO, Ports[chosen - FIRST_PORT_ITEM]);

done:
    if (menu)
        DestroyMenu(menu);
    if (text)
        HeapFree(heap, 0, text);
    if (names)
        HeapFree(heap, 0, names);
    if (printers)
        HeapFree(heap, 0, printers);
}
