/* spooler.cpp - the print spooler's functions, taken from the system
 * folder's winspool.drv on first use.
 *
 * winspool.drv is not one of the libraries the system always loads from its
 * own folder. Imported by name, it would be looked for beside velmar.exe
 * first, before the program could take the folder out of the search, so a
 * planted copy in a download folder would run. These definitions stand in
 * for the import library's: each loads the real one by its full path, once,
 * and forwards. When it cannot be had, each call fails as the spooler does
 * when it is not running, and every output name is opened as a file.
 */
#include <string.h>

#include "platform.h"

typedef BOOL (WINAPI *EnumPrintersProc)(DWORD, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
typedef BOOL (WINAPI *OpenPrinterProc)(LPSTR, LPHANDLE, LPPRINTER_DEFAULTSA);
typedef DWORD (WINAPI *StartDocPrinterProc)(HANDLE, DWORD, LPBYTE);
typedef BOOL (WINAPI *PrinterProc)(HANDLE);
typedef BOOL (WINAPI *WritePrinterProc)(HANDLE, LPVOID, DWORD, LPDWORD);
typedef BOOL (WINAPI *GetDefaultPrinterProc)(LPSTR, LPDWORD);

static HMODULE Spooler;
static int SpoolerLoadFailed;

/* The entry point name of winspool.drv in the system folder, or NULL (with
 * ERROR_PROC_NOT_FOUND) when the library or the entry is not there. */
static FARPROC SpoolerEntry(const char *name)
{
    char path[MAX_PATH];
    static const char FileName[] = "\\winspool.drv";
    UINT length;
    FARPROC entry;

    if (!Spooler && !SpoolerLoadFailed) {
        memset(path, 0, sizeof path);
        length = GetSystemDirectoryA(path, sizeof path);
        if (length > 0 && length + sizeof FileName <= sizeof path) {
            memcpy(path + length, FileName, sizeof FileName);
            Spooler = LoadLibraryA(path);
        }
        if (!Spooler)
            SpoolerLoadFailed = 1;
    }
    entry = Spooler ? GetProcAddress(Spooler, name) : NULL;
    if (!entry)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return entry;
}

/* The entry point as a function of type T; GetProcAddress hands out every
 * entry as one generic type. */
#define SPOOLER_ENTRY(T, name) ((T)(void (*)(void))SpoolerEntry(name))

BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size,
                          LPDWORD needed, LPDWORD returned)
{
    EnumPrintersProc call = SPOOLER_ENTRY(EnumPrintersProc, "EnumPrintersA");
    return call ? call(flags, name, level, buffer, size, needed, returned) : FALSE;
}

BOOL WINAPI OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults)
{
    OpenPrinterProc call = SPOOLER_ENTRY(OpenPrinterProc, "OpenPrinterA");
    return call ? call(name, printer, defaults) : FALSE;
}

DWORD WINAPI StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE info)
{
    StartDocPrinterProc call = SPOOLER_ENTRY(StartDocPrinterProc, "StartDocPrinterA");
    return call ? call(printer, level, info) : 0;
}

BOOL WINAPI WritePrinter(HANDLE printer, LPVOID bytes, DWORD length, LPDWORD written)
{
    WritePrinterProc call = SPOOLER_ENTRY(WritePrinterProc, "WritePrinter");
    return call ? call(printer, bytes, length, written) : FALSE;
}

BOOL WINAPI GetDefaultPrinterA(LPSTR buffer, LPDWORD size)
{
    GetDefaultPrinterProc call = SPOOLER_ENTRY(GetDefaultPrinterProc, "GetDefaultPrinterA");
    return call ? call(buffer, size) : FALSE;
}

static BOOL CallWithPrinter(const char *name, HANDLE printer)
{
    PrinterProc call = SPOOLER_ENTRY(PrinterProc, name);
    return call ? call(printer) : FALSE;
}

BOOL WINAPI StartPagePrinter(HANDLE printer) { return CallWithPrinter("StartPagePrinter", printer); }
BOOL WINAPI EndPagePrinter(HANDLE printer) { return CallWithPrinter("EndPagePrinter", printer); }
BOOL WINAPI EndDocPrinter(HANDLE printer) { return CallWithPrinter("EndDocPrinter", printer); }
BOOL WINAPI AbortPrinter(HANDLE printer) { return CallWithPrinter("AbortPrinter", printer); }
BOOL WINAPI ClosePrinter(HANDLE printer) { return CallWithPrinter("ClosePrinter", printer); }

typedef LONG (WINAPI *DocumentPropertiesProc)(HWND, HANDLE, LPSTR, PDEVMODEA, PDEVMODEA, DWORD);

LONG WINAPI DocumentPropertiesA(HWND window, HANDLE printer, LPSTR name, PDEVMODEA output,
                                PDEVMODEA input, DWORD mode)
{
    DocumentPropertiesProc call = SPOOLER_ENTRY(DocumentPropertiesProc, "DocumentPropertiesA");
    return call ? call(window, printer, name, output, input, mode) : -1;
}
