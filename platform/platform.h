/* platform.h - the kernel services the engine uses, under their Windows names.
 *
 * On Windows this is the real API. Elsewhere the stand-in in platform/posix/
 * supplies these functions, and only these, with the same meaning, so the
 * engine source is identical on both.
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

#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)

#define MAX_PATH 260

#define FILE_TYPE_UNKNOWN 0
#define FILE_TYPE_DISK 1
#define FILE_TYPE_CHAR 2
#define FILE_TYPE_PIPE 3

#define NO_ERROR 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_NO_MORE_FILES 18
#define ERROR_SHARING_VIOLATION 32
#define ERROR_FILE_EXISTS 80
#define ERROR_HANDLE_DISK_FULL 39
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_ALREADY_EXISTS 183
#define ERROR_FILENAME_EXCED_RANGE 206

#define HEAP_ZERO_MEMORY 0x00000008u

/* 100-nanosecond ticks since 1601-01-01 (UTC). */
typedef struct {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA;

typedef enum { GetFileExInfoStandard, GetFileExMaxInfoLevel } GET_FILEEX_INFO_LEVELS;

typedef struct {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
} WIN32_FIND_DATAA;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
DWORD GetFileType(HANDLE file);
BOOL SetEndOfFile(HANDLE file);
BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, LPVOID information);
void GetSystemTimeAsFileTime(FILETIME *time);
BOOL CloseHandle(HANDLE object);

/* Folders (posix/folders.cpp). A backslash is a separator, as a slash is;
 * a name beginning with a dot is hidden, as Wine shows it. The search takes
 * only "FOLDER\*", every entry of one folder, "." and ".." included. */
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA *found);
BOOL FindClose(HANDLE search);
DWORD GetFileAttributesA(LPCSTR fileName);
BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security);
/* Never replaces: an existing target fails with ERROR_ALREADY_EXISTS. */
BOOL MoveFileA(LPCSTR existingName, LPCSTR newName);
/* Made absolute against the current folder, "." and ".." taken out; the
 * separators stay as given. */
DWORD GetFullPathNameA(LPCSTR fileName, DWORD size, LPSTR buffer, LPSTR *filePart);
/* Named mutexes of this process only; a name already there gives the same
 * object, with ERROR_ALREADY_EXISTS. */
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
/* Milliseconds of a clock that only goes forward, wrapping at 2^32. */
DWORD GetTickCount(void);
DWORD GetLastError(void);
void SetLastError(DWORD error);

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
/* A larger or smaller block with the same first bytes; NULL (the old block
 * kept) when it cannot be had. */
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, size_t bytes);

/* The process's working set and locked pages. The stand-in keeps the sizes
 * it is given, and locks with mlock, which brings the pages in at once; a
 * lock beyond what the system allows fails, as Windows' does beyond the
 * working set. */
typedef size_t SIZE_T;
typedef SIZE_T *PSIZE_T;
HANDLE GetCurrentProcess(void);
BOOL GetProcessWorkingSetSize(HANDLE process, PSIZE_T minimum, PSIZE_T maximum);
BOOL SetProcessWorkingSetSize(HANDLE process, SIZE_T minimum, SIZE_T maximum);
BOOL VirtualLock(LPVOID address, SIZE_T size);
BOOL VirtualUnlock(LPVOID address, SIZE_T size);

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
#define ERROR_INVALID_DATATYPE 1804

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
#endif

#endif
