/* help.cpp - the help launcher: finds the HTML Help control on first use and
 * hands it the help file. */
#include <string.h>

#include "shell.h"

typedef HWND (WINAPI *HtmlHelpProc)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

/* Loaded once and kept for the life of the process; a failure is final. */
static HMODULE HelpModule;
static HtmlHelpProc HtmlHelpEntry;
static int HelpLoadFailed;

static const char HelpServerKey[] =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
enum { HTML_HELP_ORDINAL = 14 };

/* Loads the control from the path it is registered under, if any. The
 * value is used as stored: environment references are not expanded. */
static HMODULE LoadRegisteredHelpControl(void)
{
    HKEY key;
    char path[PATH_BUFFER_SIZE];
    DWORD type = 0;
    DWORD size = PATH_BUFFER_SIZE - 1;   /* keeps a NUL at the end */
    LONG result;

    memset(path, 0, sizeof path);
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, HelpServerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return NULL;
    result = RegQueryValueExA(key, NULL, NULL, &type, (BYTE *)path, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || path[0] == '\0')
        return NULL;
    return LoadLibraryA(path);
}

HWND ShowHelp(HWND owner, const char *file, UINT command, DWORD_PTR data)
{
    if (HelpLoadFailed)
        return NULL;
    if (!HelpModule) {
        HelpModule = LoadRegisteredHelpControl();
        if (!HelpModule)
            HelpModule = LoadLibraryA("hhctrl.ocx");
        if (!HelpModule) {
            HelpLoadFailed = 1;
            return NULL;
        }
    }
    if (!HtmlHelpEntry) {
        HtmlHelpEntry = (HtmlHelpProc)(void (*)(void))GetProcAddress(
            HelpModule, MAKEINTRESOURCEA(HTML_HELP_ORDINAL));
        if (!HtmlHelpEntry) {
            HelpLoadFailed = 1;
            return NULL;
        }
    }
    return HtmlHelpEntry(owner, file, command, data);
}
