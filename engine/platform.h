/* platform.h - the kernel services the engine uses, under their Windows names.
 *
 * On Windows this is the real API. Elsewhere platform_posix.cpp supplies the
 * same functions with the same meaning, so the engine source is identical on
 * both: share modes are honoured between handles of the process, OPEN_ALWAYS
 * never truncates, and the private-profile functions read and write the same
 * text format as Windows.
 */
#ifndef VELMAR_PLATFORM_H
#define VELMAR_PLATFORM_H

#ifdef _WIN32
#include <windows.h>
#include <winspool.h>
#else
#include <stddef.h>
#include <stdint.h>

typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef void *HANDLE;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef DWORD *LPDWORD;
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct SECURITY_ATTRIBUTES_ *LPSECURITY_ATTRIBUTES;
typedef struct OVERLAPPED_ *LPOVERLAPPED;

#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_NORMAL 0x00000080u

#define NO_ERROR 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_DISK_FULL 39
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_ALREADY_EXISTS 183

#define HEAP_ZERO_MEMORY 0x00000008u

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL CloseHandle(HANDLE object);
DWORD GetLastError(void);
void SetLastError(DWORD error);

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, size_t bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                               LPSTR returned, DWORD size, LPCSTR fileName);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName);
BOOL GetPrivateProfileStructA(LPCSTR section, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName);
BOOL WritePrivateProfileStructA(LPCSTR section, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName);

/* Case-insensitive comparison; the stand-in folds ASCII letters only. */
int lstrcmpiA(LPCSTR a, LPCSTR b);

/* ---- Print spooler (posix/spooler.cpp) ---- */

typedef unsigned char BYTE;
typedef BYTE *LPBYTE;
typedef HANDLE *LPHANDLE;
typedef struct PRINTER_DEFAULTSA_ *LPPRINTER_DEFAULTSA;

#define PRINTER_ENUM_LOCAL 0x00000002u
#define PRINTER_ENUM_CONNECTIONS 0x00000004u
#define ERROR_INVALID_PRINTER_NAME 1801
#define ERROR_INVALID_LEVEL 124
#define ERROR_SPL_NO_STARTDOC 3003
#define ERROR_PRINT_CANCELLED 63

typedef struct {
    LPSTR pPrinterName;
    LPSTR pServerName;
    DWORD Attributes;
} PRINTER_INFO_4A;

typedef struct {
    LPSTR pDocName;
    LPSTR pOutputFile;
    LPSTR pDatatype;
} DOC_INFO_1A;

BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size,
                   LPDWORD needed, LPDWORD returned);
BOOL OpenPrinterA(LPSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults);
DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo);
BOOL StartPagePrinter(HANDLE printer);
BOOL WritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written);
BOOL EndPagePrinter(HANDLE printer);
BOOL EndDocPrinter(HANDLE printer);
BOOL AbortPrinter(HANDLE printer);
BOOL ClosePrinter(HANDLE printer);

/* Fault injection for the engine's own tests. Each counter, when non-zero,
 * counts calls down and makes the call that brings it to zero fail: a heap
 * allocation returns nothing, a read delivers one byte less than asked, a
 * write fails with a full disk. Never set outside the tests. */
struct PosixFaultPlan {
    unsigned failHeapAlloc;
    unsigned shortRead;
    unsigned failWrite;
};
extern PosixFaultPlan PosixFaults;
#endif

#endif
