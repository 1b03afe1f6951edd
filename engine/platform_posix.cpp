/* platform_posix.cpp - the kernel services of platform.h on POSIX systems.
 *
 * Behaves as Windows does where the engine depends on it:
 * - CreateFileA honours access and share modes between the handles of this
 *   process (an input held open with read sharing makes a write open of the
 *   same file fail with a sharing violation); OPEN_ALWAYS never truncates;
 *   directories cannot be opened as files.
 * - The private-profile functions read and write the platform's INI text:
 *   "[SECTION]" lines, "KEY=VALUE" lines, names compared without regard to
 *   case, CRLF line ends; every other line is kept as it stands. A write
 *   goes to a temporary file that is renamed over the old one, so a crash
 *   never leaves a half-written settings file.
 */
#include "platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

PosixFaultPlan PosixFaults;

static thread_local DWORD LastError;

DWORD GetLastError(void) { return LastError; }
void SetLastError(DWORD error) { LastError = error; }

static DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: case EISDIR: case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    default: return ERROR_WRITE_FAULT;
    }
}

/* Counts a fault counter down; true on the call that reaches zero. */
static bool FaultDue(unsigned *counter)
{
    if (*counter == 0)
        return false;
    return --*counter == 0;
}

/* ---- Heap ---------------------------------------------------------------- */

static int HeapToken;

HANDLE GetProcessHeap(void) { return &HeapToken; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes)
{
    void *block;

    if (FaultDue(&PosixFaults.failHeapAlloc)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    /* A request of zero bytes still yields a block. */
    if (flags & HEAP_ZERO_MEMORY)
        block = calloc(bytes ? bytes : 1, 1);
    else
        block = malloc(bytes ? bytes : 1);
    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, size_t bytes)
{
    void *grown;

    if (FaultDue(&PosixFaults.failHeapAlloc)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    grown = realloc(block, bytes ? bytes : 1);
    if (!grown)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return grown;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    free(block);
    return TRUE;
}

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
static bool ShareConflict(dev_t device, ino_t inode, DWORD access, DWORD share)
{
    for (FileHandle *h = OpenHandles; h; h = h->next) {
        if (h->device != device || h->inode != inode)
            continue;
        if ((access & GENERIC_READ) && !(h->share & FILE_SHARE_READ))
            return true;
        if ((access & GENERIC_WRITE) && !(h->share & FILE_SHARE_WRITE))
            return true;
        if ((h->access & GENERIC_READ) && !(share & FILE_SHARE_READ))
            return true;
        if ((h->access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE))
            return true;
    }
    return false;
}

static FileHandle *FindHandle(HANDLE handle)
{
    for (FileHandle *h = OpenHandles; h; h = h->next) {
        if (h == (FileHandle *)handle)
            return h;
    }
    return NULL;
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile)
{
    struct stat before;
    struct stat after;
    bool existed;
    int flags = O_CLOEXEC | O_NOCTTY;
    int fd;
    FileHandle *handle;

    if (!fileName || !*fileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if ((desiredAccess & GENERIC_READ) && (desiredAccess & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (desiredAccess & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;

    existed = stat(fileName, &before) == 0;
    if (existed && S_ISDIR(before.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && ShareConflict(before.st_dev, before.st_ino, desiredAccess, shareMode)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }

    switch (creationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    fd = open(fileName, flags, 0666);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    if (fstat(fd, &after) != 0 || S_ISDIR(after.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    handle = (FileHandle *)malloc(sizeof *handle);
    if (!handle) {
        close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    handle->fd = fd;
    handle->device = after.st_dev;
    handle->inode = after.st_ino;
    handle->access = desiredAccess;
    handle->share = shareMode;
    handle->next = OpenHandles;
    OpenHandles = handle;
    SetLastError(existed && (creationDisposition == OPEN_ALWAYS || creationDisposition == CREATE_ALWAYS)
                     ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    FileHandle *h = FindHandle(file);
    size_t done = 0;

    if (read)
        *read = 0;
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (FaultDue(&PosixFaults.shortRead) && toRead > 0)
        toRead--;
    /* Like Windows on a disk file: the whole request, or up to end of file. */
    while (done < toRead) {
        ssize_t got = ::read(h->fd, (char *)buffer + done, toRead - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            if (read)
                *read = (DWORD)done;
            SetLastError(errno == EISDIR ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT);
            return FALSE;
        }
        if (got == 0)
            break;
        done += (size_t)got;
    }
    if (read)
        *read = (DWORD)done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    FileHandle *h = FindHandle(file);
    size_t done = 0;

    if (written)
        *written = 0;
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (FaultDue(&PosixFaults.failWrite)) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    while (done < toWrite) {
        ssize_t put = ::write(h->fd, (const char *)buffer + done, toWrite - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (written)
                *written = (DWORD)done;
            SetLastError(put < 0 ? ErrorFromErrno(errno) : ERROR_WRITE_FAULT);
            return FALSE;
        }
        done += (size_t)put;
    }
    if (written)
        *written = (DWORD)done;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    FileHandle *h = FindHandle(file);
    struct stat st;
    uint64_t size;

    if (!h || fstat(h->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    size = S_ISREG(st.st_mode) ? (uint64_t)st.st_size : 0;
    if (sizeHigh)
        *sizeHigh = (DWORD)(size >> 32);
    SetLastError(NO_ERROR);
    return (DWORD)size;
}

BOOL CloseHandle(HANDLE object)
{
    for (FileHandle **link = &OpenHandles; *link; link = &(*link)->next) {
        FileHandle *h = *link;
        if (h == (FileHandle *)object) {
            *link = h->next;
            close(h->fd);
            free(h);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    char path[4096];
    ssize_t length;

    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length < 0) {
        fileName[0] = '\0';
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    /* As on current Windows: a cut path is still terminated, and the full
     * size is returned with ERROR_INSUFFICIENT_BUFFER. */
    if ((DWORD)length >= size) {
        memcpy(fileName, path, size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(fileName, path, (size_t)length);
    fileName[length] = '\0';
    SetLastError(NO_ERROR);
    return (DWORD)length;
}

/* ---- Private profile (INI) files ------------------------------------------ */

/* The last file read, kept while its identity and time stamps are unchanged:
 * the print job asks for a switch before every page. A file changed within
 * the last two seconds when it was read is never trusted from the cache: a
 * second change in the same clock tick, leaving the size as it was, would
 * not show in the time stamps. */
static struct {
    char *path;
    char *text;
    size_t length;
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;
    struct timespec changed;
    bool trusted;
} ProfileCache;

static void ForgetProfile(void)
{
    free(ProfileCache.path);
    free(ProfileCache.text);
    memset(&ProfileCache, 0, sizeof ProfileCache);
}

static bool SameTime(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

/* The file's bytes (owned by the cache), or NULL when it cannot be read. */
static const char *LoadProfile(const char *path, size_t *length)
{
    struct stat st;
    int fd;
    char *text;
    size_t done = 0;

    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return NULL;
    if (ProfileCache.trusted && strcmp(ProfileCache.path, path) == 0 &&
        ProfileCache.device == st.st_dev && ProfileCache.inode == st.st_ino &&
        ProfileCache.size == st.st_size && SameTime(ProfileCache.modified, st.st_mtim) &&
        SameTime(ProfileCache.changed, st.st_ctim)) {
        *length = ProfileCache.length;
        return ProfileCache.text;
    }
    ForgetProfile();
    fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return NULL;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return NULL;
    }
    text = (char *)malloc((size_t)st.st_size + 1);
    if (!text) {
        close(fd);
        return NULL;
    }
    while (done < (size_t)st.st_size) {
        ssize_t got = read(fd, text + done, (size_t)st.st_size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += (size_t)got;
    }
    close(fd);
    text[done] = '\0';
    ProfileCache.path = strdup(path);
    if (!ProfileCache.path) {
        free(text);
        return NULL;
    }
    ProfileCache.text = text;
    ProfileCache.length = done;
    ProfileCache.device = st.st_dev;
    ProfileCache.inode = st.st_ino;
    ProfileCache.size = st.st_size;
    ProfileCache.modified = st.st_mtim;
    ProfileCache.changed = st.st_ctim;
    {
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        ProfileCache.trusted = done == (size_t)st.st_size && now.tv_sec - st.st_mtim.tv_sec >= 2 &&
                               now.tv_sec - st.st_ctim.tv_sec >= 2;
    }
    *length = done;
    return text;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

static char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c; }

static bool SameName(const char *a, size_t aLength, const char *b)
{
    size_t bLength = strlen(b);

    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; i++) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

/* One line of the file, split into its parts. Offsets are into the text. */
struct ProfileLine {
    size_t start;       /* first byte of the line */
    size_t next;        /* first byte of the next line */
    bool blank;         /* nothing but white space */
    bool isSection;
    bool isKey;
    const char *name;   /* section or key name, trimmed */
    size_t nameLength;
    const char *value;  /* key value, trimmed; empty when there is no "=" */
    size_t valueLength;
};

/* Splits the line starting at offset into a ProfileLine. */
static void ParseLine(const char *text, size_t length, size_t offset, ProfileLine *line)
{
    size_t end = offset;
    size_t first;
    size_t last;

    while (end < length && text[end] != '\n')
        end++;
    memset(line, 0, sizeof *line);
    line->start = offset;
    line->next = end < length ? end + 1 : end;

    first = offset;
    last = end;
    while (first < last && IsBlank(text[first]))
        first++;
    while (last > first && IsBlank(text[last - 1]))
        last--;
    line->blank = first == last;
    if (line->blank || text[first] == ';')
        return;

    if (text[first] == '[') {
        size_t close = last;
        while (close > first && text[close - 1] != ']')
            close--;
        if (close > first + 1) {
            size_t nameStart = first + 1;
            size_t nameEnd = close - 1;
            while (nameStart < nameEnd && IsBlank(text[nameStart]))
                nameStart++;
            while (nameEnd > nameStart && IsBlank(text[nameEnd - 1]))
                nameEnd--;
            line->isSection = true;
            line->name = text + nameStart;
            line->nameLength = nameEnd - nameStart;
            return;
        }
    }

    {
        size_t equals = first;
        size_t nameEnd;
        size_t valueStart;

        while (equals < last && text[equals] != '=')
            equals++;
        nameEnd = equals;
        while (nameEnd > first && IsBlank(text[nameEnd - 1]))
            nameEnd--;
        line->isKey = true;
        line->name = text + first;
        line->nameLength = nameEnd - first;
        valueStart = equals < last ? equals + 1 : last;
        while (valueStart < last && IsBlank(text[valueStart]))
            valueStart++;
        line->value = text + valueStart;
        line->valueLength = last - valueStart;
    }
}

/* Where a key stands, or where it would go. */
struct ProfilePlace {
    bool sectionFound;
    size_t sectionStart;  /* the section's header line */
    size_t sectionEnd;    /* first byte after the section's last non-blank line */
    size_t sectionStop;   /* the next section's header, or the end of the text */
    bool keyFound;
    ProfileLine key;
};

/* Finds the first section named section and, when key is given, the first
 * key of that name in it. */
static void FindKey(const char *text, size_t length, const char *section, const char *key,
                    ProfilePlace *place)
{
    ProfileLine line;
    bool inside = false;

    memset(place, 0, sizeof *place);
    for (size_t offset = 0; offset < length; offset = line.next) {
        ParseLine(text, length, offset, &line);
        if (line.isSection) {
            if (inside) {
                place->sectionStop = line.start;
                return;
            }
            if (SameName(line.name, line.nameLength, section)) {
                inside = true;
                place->sectionFound = true;
                place->sectionStart = line.start;
                place->sectionEnd = line.next;
                place->sectionStop = length;
            }
            continue;
        }
        if (!inside)
            continue;
        if (!line.blank)
            place->sectionEnd = line.next;
        if (key && line.isKey && !place->keyFound && SameName(line.name, line.nameLength, key)) {
            place->keyFound = true;
            place->key = line;
        }
    }
}

/* Copies at most size - 1 bytes and terminates; returns the count copied. */
static DWORD CopyOut(LPSTR returned, DWORD size, const char *text, size_t length)
{
    size_t n = length < (size_t)size - 1 ? length : (size_t)size - 1;

    memcpy(returned, text, n);
    returned[n] = '\0';
    return (DWORD)n;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                               LPSTR returned, DWORD size, LPCSTR fileName)
{
    const char *text;
    size_t length = 0;
    ProfilePlace place;

    if (!returned || size == 0)
        return 0;
    if (section && key && fileName && (text = LoadProfile(fileName, &length)) != NULL) {
        FindKey(text, length, section, key, &place);
        if (place.keyFound) {
            const char *value = place.key.value;
            size_t valueLength = place.key.valueLength;
            /* A value in matching quotes is read without them. */
            if (valueLength >= 2 && (value[0] == '"' || value[0] == '\'') &&
                value[valueLength - 1] == value[0]) {
                value++;
                valueLength -= 2;
            }
            return CopyOut(returned, size, value, valueLength);
        }
    }
    if (!defaultValue)
        defaultValue = "";
    length = strlen(defaultValue);
    while (length > 0 && defaultValue[length - 1] == ' ')
        length--;
    return CopyOut(returned, size, defaultValue, length);
}

/* Writes text to fileName through a temporary file in the same directory,
 * renamed over the old file once it is complete. */
static BOOL ReplaceFile(const char *fileName, const char *text, size_t length)
{
    size_t nameLength = strlen(fileName);
    char *temporary = (char *)malloc(nameLength + 8);
    struct stat st;
    mode_t mask;
    int fd;
    size_t done = 0;
    bool ok;

    if (!temporary) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    memcpy(temporary, fileName, nameLength);
    memcpy(temporary + nameLength, ".XXXXXX", 8);
    fd = mkstemp(temporary);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        free(temporary);
        return FALSE;
    }
    /* The new file keeps the old one's permissions, or gets the usual ones. */
    if (stat(fileName, &st) == 0) {
        fchmod(fd, st.st_mode & 07777);
    } else {
        mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    while (done < length) {
        ssize_t put = write(fd, text + done, length - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += (size_t)put;
    }
    ok = done == length;
    if (close(fd) != 0)
        ok = false;
    if (ok && rename(temporary, fileName) != 0)
        ok = false;
    if (!ok) {
        SetLastError(ErrorFromErrno(errno ? errno : ENOSPC));
        unlink(temporary);
    }
    free(temporary);
    ForgetProfile();
    return ok ? TRUE : FALSE;
}

/* A growing byte string for composing the new file. */
struct TextBuilder {
    char *bytes;
    size_t length;
    size_t capacity;
    bool failed;
};

static void Append(TextBuilder *b, const char *bytes, size_t length)
{
    if (b->failed || length == 0)
        return;
    if (b->length + length > b->capacity) {
        size_t capacity = b->capacity ? b->capacity : 256;
        char *grown;
        while (capacity < b->length + length)
            capacity *= 2;
        grown = (char *)realloc(b->bytes, capacity);
        if (!grown) {
            b->failed = true;
            return;
        }
        b->bytes = grown;
        b->capacity = capacity;
    }
    memcpy(b->bytes + b->length, bytes, length);
    b->length += length;
}

static void AppendString(TextBuilder *b, const char *text) { Append(b, text, strlen(text)); }

/* Ends the text so far with a line break, unless it is empty or ends with one. */
static void EndLine(TextBuilder *b)
{
    if (b->length > 0 && b->bytes[b->length - 1] != '\n')
        Append(b, "\r\n", 2);
}

static void AppendKeyLine(TextBuilder *b, const char *name, size_t nameLength, const char *value)
{
    size_t first = 0;
    size_t last = strlen(value);

    /* Blanks around a value are not kept: reading trims them anyway. */
    while (first < last && IsBlank(value[first]))
        first++;
    while (last > first && IsBlank(value[last - 1]))
        last--;
    Append(b, name, nameLength);
    Append(b, "=", 1);
    Append(b, value + first, last - first);
    Append(b, "\r\n", 2);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName)
{
    const char *text;
    size_t length = 0;
    ProfilePlace place;
    TextBuilder b = {NULL, 0, 0, false};
    BOOL result;

    if (!section || !fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    text = LoadProfile(fileName, &length);
    if (!text) {
        text = "";
        length = 0;
    }
    FindKey(text, length, section, key, &place);

    if (!key) {
        /* No key: the whole section goes. */
        if (!place.sectionFound)
            return TRUE;
        Append(&b, text, place.sectionStart);
        Append(&b, text + place.sectionStop, length - place.sectionStop);
    } else if (!value) {
        /* No value: the key goes. */
        if (!place.keyFound)
            return TRUE;
        Append(&b, text, place.key.start);
        Append(&b, text + place.key.next, length - place.key.next);
    } else if (place.keyFound) {
        /* The key keeps its place and the spelling it had. */
        Append(&b, text, place.key.start);
        AppendKeyLine(&b, place.key.name, place.key.nameLength, value);
        Append(&b, text + place.key.next, length - place.key.next);
    } else if (place.sectionFound) {
        Append(&b, text, place.sectionEnd);
        EndLine(&b);
        AppendKeyLine(&b, key, strlen(key), value);
        Append(&b, text + place.sectionEnd, length - place.sectionEnd);
    } else {
        Append(&b, text, length);
        EndLine(&b);
        AppendString(&b, "[");
        AppendString(&b, section);
        AppendString(&b, "]\r\n");
        AppendKeyLine(&b, key, strlen(key), value);
    }

    if (b.failed) {
        free(b.bytes);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    result = ReplaceFile(fileName, b.bytes ? b.bytes : "", b.length);
    free(b.bytes);
    return result;
}

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

/* Two hex digits as a byte, or -1. */
static int HexByte(const char *digits)
{
    int high = HexValue(digits[0]);
    int low = HexValue(digits[1]);

    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

/* A structure is read only when its text is exactly two hex digits per byte
 * plus two for the checksum (the byte sum modulo 256) and the checksum
 * matches; otherwise the caller's data stays untouched. */
BOOL GetPrivateProfileStructA(LPCSTR section, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName)
{
    const char *text;
    size_t length = 0;
    ProfilePlace place;
    unsigned char *bytes;
    unsigned sum = 0;
    int checksum;

    if (!section || !key || !fileName || (!data && size))
        return FALSE;
    text = LoadProfile(fileName, &length);
    if (!text)
        return FALSE;
    FindKey(text, length, section, key, &place);
    if (!place.keyFound || place.key.valueLength != (size_t)size * 2 + 2)
        return FALSE;
    bytes = (unsigned char *)malloc(size ? size : 1);
    if (!bytes)
        return FALSE;
    for (size_t i = 0; i < size; i++) {
        int value = HexByte(place.key.value + 2 * i);
        if (value < 0) {
            free(bytes);
            return FALSE;
        }
        bytes[i] = (unsigned char)value;
        sum += bytes[i];
    }
    checksum = HexByte(place.key.value + 2 * (size_t)size);
    if (checksum != (int)(sum & 0xFF)) {
        free(bytes);
        return FALSE;
    }
    if (size)
        memcpy(data, bytes, size);
    free(bytes);
    return TRUE;
}

BOOL WritePrivateProfileStructA(LPCSTR section, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName)
{
    static const char Digits[] = "0123456789ABCDEF";
    const unsigned char *bytes = (const unsigned char *)data;
    char *textValue;
    unsigned sum = 0;
    BOOL result;

    if (!key || (!data && size))
        return WritePrivateProfileStringA(section, key, NULL, fileName);
    textValue = (char *)malloc((size_t)size * 2 + 3);
    if (!textValue) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    for (size_t i = 0; i < size; i++) {
        textValue[2 * i] = Digits[bytes[i] >> 4];
        textValue[2 * i + 1] = Digits[bytes[i] & 15];
        sum += bytes[i];
    }
    textValue[2 * (size_t)size] = Digits[(sum >> 4) & 15];
    textValue[2 * (size_t)size + 1] = Digits[sum & 15];
    textValue[2 * (size_t)size + 2] = '\0';
    result = WritePrivateProfileStringA(section, key, textValue, fileName);
    free(textValue);
    return result;
}
