/* help.cpp - the help launcher: finds the HTML Help control on first use and
 * hands it the help file that sits beside the program. */
#include <string.h>

#include "shell.h"

typedef HWND (WINAPI *HtmlHelpProc)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

/* Loaded once and kept for the life of the process; a failure is final. */
static HMODULE HelpModule;
static HtmlHelpProc HtmlHelpEntry;
static int HelpLoadFailed;

static const char HelpServerKey[] =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
static const char HelpControlName[] = "hhctrl.ocx";
enum { HTML_HELP_ORDINAL = 14 };

/* "C:\..." or "\\server\...": only such a name is loaded from where it
 * says. Anything else would go through the DLL search, which may look in
 * folders the user can write to. */
static int IsAbsolutePath(const char *path)
{
    if (path[0] == '\\' && path[1] == '\\')
        return 1;
    return ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))
        && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

/* The path the control is registered under, environment references
 * expanded when the value says so; 0 when there is none. */
static int ReadRegisteredHelpControl(char path[PATH_BUFFER_SIZE])
{
    HKEY key;
    char value[PATH_BUFFER_SIZE];
    DWORD type = 0;
    DWORD size = PATH_BUFFER_SIZE - 1;   /* keeps a NUL at the end */
    DWORD expanded;
    LONG result;

    memset(value, 0, sizeof value);
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, HelpServerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    result = RegQueryValueExA(key, NULL, NULL, &type, (BYTE *)value, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || value[0] == '\0')
        return 0;
    memset(path, 0, PATH_BUFFER_SIZE);
    if (type == REG_SZ) {
        memcpy(path, value, sizeof value);
        return 1;
    }
    if (type != REG_EXPAND_SZ)
        return 0;
    /* The result counts its NUL; a path that does not fit is not used. */
    expanded = ExpandEnvironmentStringsA(value, path, PATH_BUFFER_SIZE);
    return expanded != 0 && expanded <= PATH_BUFFER_SIZE;
}

/* hhctrl.ocx in the system folder; 0 when that path does not fit. */
static int SystemHelpControl(char path[PATH_BUFFER_SIZE])
{
    UINT length;

    memset(path, 0, PATH_BUFFER_SIZE);
    length = GetSystemDirectoryA(path, PATH_BUFFER_SIZE);
    if (length == 0 || length + 1 + sizeof HelpControlName > PATH_BUFFER_SIZE)
        return 0;
    if (path[length - 1] != '\\')
        path[length++] = '\\';
    memcpy(path + length, HelpControlName, sizeof HelpControlName);
    return 1;
}

static HMODULE LoadHelpControl(void)
{
    char path[PATH_BUFFER_SIZE];
    HMODULE module = NULL;

    if (ReadRegisteredHelpControl(path) && IsAbsolutePath(path))
        module = LoadLibraryA(path);
    if (!module && SystemHelpControl(path))
        module = LoadLibraryA(path);
    return module;
}

HWND ShowHelp(HWND owner, const char *file, UINT command, DWORD_PTR data)
{
    if (HelpLoadFailed)
        return NULL;
    if (!HelpModule) {
        HelpModule = LoadHelpControl();
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

/* velmar.chm beside the program: the current folder moves with every
 * open-file dialog and may be anything at start-up. 0 when the path does
 * not fit. */
static int MakeHelpPath(char path[PATH_BUFFER_SIZE])
{
    static const char HelpFileName[] = "velmar.chm";
    DWORD length;
    char *name;

    memset(path, 0, PATH_BUFFER_SIZE);
    length = GetModuleFileNameA(NULL, path, PATH_BUFFER_SIZE);
    if (length == 0 || length >= PATH_BUFFER_SIZE - 1) {
        /* A cut path would name some other folder. */
        memset(path, 0, PATH_BUFFER_SIZE);
        return 0;
    }
    name = strrchr(path, '\\');
    name = name ? name + 1 : path;
    if ((size_t)(name - path) + sizeof HelpFileName > PATH_BUFFER_SIZE) {
        memset(path, 0, PATH_BUFFER_SIZE);
        return 0;
    }
    memcpy(name, HelpFileName, sizeof HelpFileName);
    return 1;
}

HWND ShowProgramHelp(HWND owner)
{
    char path[PATH_BUFFER_SIZE];

    if (!MakeHelpPath(path))
        return NULL;
    return ShowHelp(owner, path, HELP_DISPLAY_TOPIC, 0);
}

void RemoveCurrentFolderFromDllSearch(void)
{
    typedef BOOL (WINAPI *SetDllDirectoryProc)(LPCSTR folder);
    typedef BOOL (WINAPI *SetDefaultDllDirectoriesProc)(DWORD flags);
    /* LOAD_LIBRARY_SEARCH_SYSTEM32: velmar ships no DLL of its own, so its
     * own folder, which the user may write to, has nothing to offer. */
    enum { SEARCH_SYSTEM32 = 0x00000800 };
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDllDirectoryProc setDllDirectory;
    SetDefaultDllDirectoriesProc setDefaultDllDirectories;

    if (!kernel)
        return;
    /* Looked up, not imported: older systems lack one or both. */
    setDllDirectory = (SetDllDirectoryProc)(void (*)(void))GetProcAddress(kernel, "SetDllDirectoryA");
    setDefaultDllDirectories = (SetDefaultDllDirectoriesProc)(void (*)(void))GetProcAddress(
        kernel, "SetDefaultDllDirectories");
    if (setDllDirectory)
        setDllDirectory("");
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(SEARCH_SYSTEM32);
}
