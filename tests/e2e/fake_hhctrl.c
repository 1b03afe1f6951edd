/* fake_hhctrl.c - a stand-in for the HTML Help control that must never be
 * loaded: the planting tests put it where a careless search would find it.
 * Loading it leaves a file "<its own path>.loaded" behind, so a test sees
 * the load even if the module went away again. Its ordinal 14 (HtmlHelpA
 * in the real control) opens nothing. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    char path[MAX_PATH + 8];
    DWORD length;
    HANDLE marker;

    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    length = GetModuleFileNameA(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcpyA(path + length, ".loaded");
    marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    return TRUE;
}

HWND WINAPI FakeHtmlHelpA(HWND owner, LPCSTR file, UINT command, DWORD_PTR data)
{
    (void)owner;
    (void)file;
    (void)command;
    (void)data;
    return NULL;
}
