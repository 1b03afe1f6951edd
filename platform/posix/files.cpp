/* files.cpp - the stand-in that lets the engine run and be tested on Linux:
 * heap, files and handles, the module path and the last error, under their
 * Windows names. Only what the engine and its tests call is here, with the
 * Windows meaning they rely on:
 * - CreateFileA honours access and share modes between this process's
 *   handles (an input held open with read sharing keeps writers out), never
 *   truncates, refuses directories and never waits (a FIFO with no writer
 *   opens at once, one with no reader fails);
 * - a backslash in a name is a separator, as on Windows;
 * - reads and writes move the whole request, as on a disk file;
 * - only a disk file has a size, so nothing takes a pipe or device for empty;
 * - a named mutex is found again by its name while a handle to it is open
 *   (within this process: the tests run in one).
 */
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "posix_faults.h"
#include "posix_internal.h"

PosixFaultPlan PosixFaults;

static thread_local DWORD LastError;

DWORD GetLastError(void) { return LastError; }
void SetLastError(DWORD error) { LastError = error; }

DWORD ErrorFromErrno(int error, const char *name)
{
    switch (error) {
    case ENOENT: {
        /* Windows names a missing directory on the way differently. */
        const char *slash = name ? strrchr(name, '/') : NULL;
        struct stat st;
        if (slash && slash != name) {
            char *parent = strndup(name, (size_t)(slash - name));
            bool found = parent && stat(parent, &st) == 0 && S_ISDIR(st.st_mode);
            free(parent);
            if (!found)
                return ERROR_PATH_NOT_FOUND;
        }
        return ERROR_FILE_NOT_FOUND;
    }
    case ENOTDIR: case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    case ENXIO: return ERROR_FILE_NOT_FOUND; /* a FIFO with no reader, a device not there */
    case EACCES: case EPERM: case EISDIR: case EROFS: return ERROR_ACCESS_DENIED;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    default: return ERROR_WRITE_FAULT;
    }
}

size_t MoveFully(int fd, void *buffer, size_t size, bool writing, int *error)
{
    size_t done = 0;

    *error = 0;
    while (done < size) {
        char *at = (char *)buffer + done;
        ssize_t moved = writing ? write(fd, at, size - done) : read(fd, at, size - done);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0) {
            *error = moved < 0 ? errno : 0;
            break;
        }
        done += (size_t)moved;
    }
    return done;
}

bool FaultDue(unsigned *counter)
{
    return *counter != 0 && --*counter == 0;
}

/* ---- Heap ---------------------------------------------------------------- */

static int HeapToken;

HANDLE GetProcessHeap(void) { return &HeapToken; }

/* A request of zero bytes still yields a block. */
LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes)
{
    void *block = FaultDue(&PosixFaults.failHeapAlloc) ? NULL
                : (flags & HEAP_ZERO_MEMORY) ? calloc(bytes ? bytes : 1, 1) : malloc(bytes ? bytes : 1);

    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    free(block);
    return TRUE;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, size_t bytes)
{
    void *grown = FaultDue(&PosixFaults.failHeapAlloc) ? NULL : realloc(block, bytes ? bytes : 1);

    if (!grown)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return grown;
}

/* ---- Working set ----------------------------------------------------------- */

static int ProcessToken;
static SIZE_T WorkingSetMinimum = 200 * 1024, WorkingSetMaximum = 1380 * 1024;

HANDLE GetCurrentProcess(void) { return &ProcessToken; }

BOOL GetProcessWorkingSetSize(HANDLE process, PSIZE_T minimum, PSIZE_T maximum)
{
    *minimum = WorkingSetMinimum;
    *maximum = WorkingSetMaximum;
    return TRUE;
}

BOOL SetProcessWorkingSetSize(HANDLE process, SIZE_T minimum, SIZE_T maximum)
{
    if (minimum > maximum) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WorkingSetMinimum = minimum;
    WorkingSetMaximum = maximum;
    return TRUE;
}

BOOL VirtualLock(LPVOID address, SIZE_T size)
{
    if (mlock(address, size) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

BOOL VirtualUnlock(LPVOID address, SIZE_T size) { return munlock(address, size) == 0; }

/* ---- Files ----------------------------------------------------------------- */

struct FileHandle {
    int fd;
    dev_t device;
    ino_t inode;
    DWORD access;
    DWORD share;
    FileHandle *next;
};

static FileHandle *OpenHandles;

/* Windows refuses an open when it asks for access that a handle already open
 * does not share, or when it does not share access that one of them holds. */
static bool ShareConflict(const struct stat &st, DWORD access, DWORD share)
{
    for (FileHandle *h = OpenHandles; h; h = h->next) {
        if (h->device == st.st_dev && h->inode == st.st_ino &&
            (((access & GENERIC_READ) && !(h->share & FILE_SHARE_READ)) ||
             ((access & GENERIC_WRITE) && !(h->share & FILE_SHARE_WRITE)) ||
             ((h->access & GENERIC_READ) && !(share & FILE_SHARE_READ)) ||
             ((h->access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE))))
            return true;
    }
    return false;
}

bool HeldWithoutDeleteSharing(const struct stat &st)
{
    for (FileHandle *h = OpenHandles; h; h = h->next) {
        if (h->device == st.st_dev && h->inode == st.st_ino && !(h->share & FILE_SHARE_DELETE))
            return true;
    }
    return false;
}

/* The link to the open handle; it holds NULL, with ERROR_INVALID_HANDLE set,
 * when there is no such handle. */
static FileHandle **FindLink(HANDLE handle)
{
    FileHandle **link = &OpenHandles;

    while (*link && *link != (FileHandle *)handle)
        link = &(*link)->next;
    if (!*link)
        SetLastError(ERROR_INVALID_HANDLE);
    return link;
}

/* Only the two dispositions the engine uses: OPEN_EXISTING and OPEN_ALWAYS. */
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile)
{
    /* Without O_NONBLOCK, opening a FIFO waits for the other end for ever. */
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (creationDisposition == OPEN_ALWAYS ? O_CREAT : 0);
    FileHandle *handle = NULL;
    DWORD error = NO_ERROR;
    struct stat st;
    bool existed = false;
    int fd = -1;
    char path[4096];

    if (desiredAccess & GENERIC_WRITE)
        flags |= (desiredAccess & GENERIC_READ) ? O_RDWR : O_WRONLY;
    if (!ToUnixPath(fileName, path, sizeof path))
        error = ERROR_PATH_NOT_FOUND;
    else if (creationDisposition != OPEN_EXISTING && creationDisposition != OPEN_ALWAYS)
        error = ERROR_INVALID_PARAMETER;
    else if ((existed = stat(path, &st) == 0) && S_ISDIR(st.st_mode))
        error = ERROR_ACCESS_DENIED;
    else if (existed && ShareConflict(st, desiredAccess, shareMode))
        error = ERROR_SHARING_VIOLATION;
    else if ((fd = open(path, flags, 0666)) < 0)
        error = ErrorFromErrno(errno, path);
    else if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
        error = ERROR_ACCESS_DENIED;
    else if (!(handle = (FileHandle *)malloc(sizeof *handle)))
        error = ERROR_NOT_ENOUGH_MEMORY;
    if (error) {
        if (fd >= 0)
            close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    /* Once open, reads and writes wait as on Windows. */
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *handle = FileHandle{fd, st.st_dev, st.st_ino, desiredAccess, shareMode, OpenHandles};
    OpenHandles = handle;
    SetLastError(existed && creationDisposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    FileHandle *h = *FindLink(file);
    int error = 0;
    DWORD done = 0;

    if (h) {
        if (FaultDue(&PosixFaults.shortRead) && toRead > 0)
            toRead--;
        done = (DWORD)MoveFully(h->fd, buffer, toRead, false, &error);
    }
    if (read)
        *read = done;
    if (error)
        SetLastError(ERROR_READ_FAULT);
    return h && !error;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    FileHandle *h = *FindLink(file);
    int error = 0;
    DWORD done = 0;

    if (h && FaultDue(&PosixFaults.failWrite)) {
        SetLastError(ERROR_DISK_FULL);
        h = NULL;
    } else if (h) {
        done = (DWORD)MoveFully(h->fd, (void *)buffer, toWrite, true, &error);
        if (done < toWrite)
            SetLastError(ErrorFromErrno(error, NULL));
    }
    if (written)
        *written = done;
    return h && done == toWrite;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    FileHandle *h = *FindLink(file);
    struct stat st;

    if (!h || fstat(h->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        SetLastError(h ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = (uint64_t)st.st_size;
    if (sizeHigh)
        *sizeHigh = (DWORD)(size >> 32);
    SetLastError(NO_ERROR);
    return (DWORD)size;
}

DWORD GetFileType(HANDLE file)
{
    FileHandle *h = *FindLink(file);
    struct stat st;

    if (!h || fstat(h->fd, &st) != 0)
        return FILE_TYPE_UNKNOWN;
    SetLastError(NO_ERROR);
    return S_ISREG(st.st_mode) ? FILE_TYPE_DISK : S_ISCHR(st.st_mode) ? FILE_TYPE_CHAR
         : S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ? FILE_TYPE_PIPE : FILE_TYPE_UNKNOWN;
}

/* The file ends (cut or grown) where the handle's position stands. */
BOOL SetEndOfFile(HANDLE file)
{
    FileHandle *h = *FindLink(file);
    off_t position;

    if (!h)
        return FALSE;
    position = lseek(h->fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(h->fd, position) != 0) {
        SetLastError(errno == EBADF || errno == EINVAL ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno, NULL));
        return FALSE;
    }
    return TRUE;
}

FILETIME ToFileTime(const struct timespec &t)
{
    uint64_t ticks = (uint64_t)(t.tv_sec + 11644473600LL) * 10000000u + (uint64_t)t.tv_nsec / 100u;
    return FILETIME{(DWORD)ticks, (DWORD)(ticks >> 32)};
}

/* The wall clock, as Windows tells it. */
void GetSystemTimeAsFileTime(FILETIME *time)
{
    struct timespec now;

    clock_gettime(CLOCK_REALTIME, &now);
    *time = ToFileTime(now);
}

BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, LPVOID information)
{
    WIN32_FILE_ATTRIBUTE_DATA *data = (WIN32_FILE_ATTRIBUTE_DATA *)information;
    struct stat st;
    uint64_t size;
    char path[4096];

    if (level != GetFileExInfoStandard || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ToUnixPath(fileName, path, sizeof path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (stat(path, &st) != 0) {
        SetLastError(ErrorFromErrno(errno, path));
        return FALSE;
    }
    size = S_ISREG(st.st_mode) ? (uint64_t)st.st_size : 0;
    data->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data->ftCreationTime = ToFileTime(st.st_ctim);
    data->ftLastAccessTime = ToFileTime(st.st_atim);
    data->ftLastWriteTime = ToFileTime(st.st_mtim);
    data->nFileSizeHigh = (DWORD)(size >> 32);
    data->nFileSizeLow = (DWORD)size;
    SetLastError(NO_ERROR);
    return TRUE;
}

/* ---- Named mutexes ---------------------------------------------------------- */

struct MutexObject {
    char name[MAX_PATH];
    unsigned handles;
    MutexObject *next;
};

struct MutexHandle {
    MutexObject *object;
    MutexHandle *next;
};

static MutexObject *Mutexes;
static MutexHandle *OpenMutexes;

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name)
{
    MutexObject *object = NULL;
    MutexHandle *handle;
    bool existed = false;

    if (name && strchr(name, '\\')) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return NULL;
    }
    if (name && strlen(name) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    for (object = Mutexes; name && object; object = object->next) {
        if (strcmp(object->name, name) == 0)
            break;
    }
    existed = object != NULL;
    if (!(handle = (MutexHandle *)calloc(1, sizeof *handle)) ||
        (!object && !(object = (MutexObject *)calloc(1, sizeof *object)))) {
        free(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    if (!existed) {
        if (name)
            strcpy(object->name, name);
        object->next = Mutexes;
        Mutexes = object;
    }
    object->handles++;
    handle->object = object;
    handle->next = OpenMutexes;
    OpenMutexes = handle;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return handle;
}

static bool CloseMutexHandle(HANDLE object)
{
    MutexHandle **link = &OpenMutexes, *handle;

    while (*link && *link != (MutexHandle *)object)
        link = &(*link)->next;
    if (!(handle = *link))
        return false;
    *link = handle->next;
    if (--handle->object->handles == 0) {
        MutexObject **at = &Mutexes;
        while (*at != handle->object)
            at = &(*at)->next;
        *at = handle->object->next;
        free(handle->object);
    }
    free(handle);
    return true;
}

BOOL CloseHandle(HANDLE object)
{
    if (CloseMutexHandle(object))
        return TRUE;

    FileHandle **link = FindLink(object), *h = *link;

    if (!h)
        return FALSE;
    *link = h->next;
    close(h->fd);
    free(h);
    return TRUE;
}

/* As on current Windows: a cut path is still terminated, and the buffer's
 * size is returned with ERROR_INSUFFICIENT_BUFFER. */
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    DWORD copied;

    if (size == 0 || length < 0) {
        SetLastError(size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_FILE_NOT_FOUND);
        if (size)
            fileName[0] = '\0';
        return 0;
    }
    copied = (DWORD)length < size ? (DWORD)length : size - 1;
    memcpy(fileName, path, copied);
    fileName[copied] = '\0';
    SetLastError(copied < (DWORD)length ? ERROR_INSUFFICIENT_BUFFER : NO_ERROR);
    return copied < (DWORD)length ? size : copied;
}
