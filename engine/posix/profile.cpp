/* profile.cpp - the private-profile (INI) functions of the POSIX stand-in,
 * reading and writing the same text as Windows does so that a settings file
 * moves between the two unchanged. Like files.cpp it exists only so the
 * engine runs on Linux; it covers what the engine calls: one key's string or
 * structure read and written, never a key or section deleted.
 *
 * "[SECTION]" lines and "KEY=VALUE" lines, names compared without regard to
 * case, the first section and key of a name winning. Lines end with CR LF
 * (what a write adds), LF or CR; every other line is kept as it stands.
 *
 * A write rewrites the file in place, through its name, under an exclusive
 * lock: a symbolic link stays a link to the file it names, hard links all
 * see the new text, and the file keeps its owner and permissions, as on
 * Windows. Renaming a new file over it would break all of that. The lock
 * makes the read, change and write one step against other processes, and
 * readers take it shared, so none sees a file half-written. Room for a
 * longer text is reserved before the first byte is overwritten, so a full
 * disk fails the write and leaves the file as it was; any other failure
 * part-way puts the old text back. Only a missing file counts as empty: a
 * file that is there but cannot be read fails the write untouched.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "posix_faults.h"
#include "posix_internal.h"

/* The last file read, kept while its identity and time stamps are unchanged:
 * the print job asks for a switch before every page. A file changed within
 * the last two seconds when it was read is never trusted from the cache: a
 * second change in the same clock tick, leaving the size as it was, would
 * not show in the time stamps. */
static struct {
    char *path;
    char *text;
    size_t length;
    struct stat st;
    bool trusted;
} Cache;

static void ForgetProfile(void)
{
    free(Cache.path);
    free(Cache.text);
    memset(&Cache, 0, sizeof Cache);
}

static bool SameTime(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

static bool Unchanged(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           SameTime(a.st_mtim, b.st_mtim) && SameTime(a.st_ctim, b.st_ctim);
}

/* Reads size bytes of a settings file from its start; false with errno set
 * when the read fails or comes back short. */
static bool ReadWhole(int fd, char *text, size_t size)
{
    int error = 0;

    if (FaultDue(&PosixFaults.failProfileRead)) {
        errno = EIO;
        return false;
    }
    if (MoveFully(fd, text, size, false, &error) != size) {
        errno = error ? error : EIO;
        return false;
    }
    return true;
}

/* The file's bytes (owned by the cache), or NULL when it cannot be read. */
static const char *LoadProfile(const char *path, size_t *length)
{
    struct stat st;
    struct timespec now;
    int fd;

    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return NULL;
    if (!Cache.trusted || strcmp(Cache.path, path) != 0 || !Unchanged(Cache.st, st)) {
        ForgetProfile();
        fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return NULL;
        /* Shared: a writer holds the lock until its text is complete. */
        if (flock(fd, LOCK_SH) == 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            Cache.text = (char *)malloc((size_t)st.st_size + 1);
            Cache.path = strdup(path);
        }
        if (Cache.text && Cache.path && !ReadWhole(fd, Cache.text, (size_t)st.st_size)) {
            free(Cache.text);
            Cache.text = NULL;
        }
        if (Cache.text && Cache.path) {
            Cache.length = (size_t)st.st_size;
            Cache.text[Cache.length] = '\0';
            Cache.st = st;
            clock_gettime(CLOCK_REALTIME, &now);
            Cache.trusted = now.tv_sec - st.st_mtim.tv_sec >= 2 && now.tv_sec - st.st_ctim.tv_sec >= 2;
        }
        close(fd);
        if (!Cache.text || !Cache.path) {
            ForgetProfile();
            return NULL;
        }
    }
    *length = Cache.length;
    return Cache.text;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

static char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c; }

static bool SameName(const char *a, size_t aLength, const char *b)
{
    if (aLength != strlen(b))
        return false;
    for (size_t i = 0; i < aLength; i++) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

/* Narrows [*first, *last) of text to leave out blanks at both ends. */
static void Trim(const char *text, size_t *first, size_t *last)
{
    while (*first < *last && IsBlank(text[*first]))
        ++*first;
    while (*last > *first && IsBlank(text[*last - 1]))
        --*last;
}

/* Where a key stands in the text, or where it would go. */
struct ProfilePlace {
    bool sectionFound;
    bool keyFound;
    size_t sectionEnd;    /* after the section's last line that is not blank */
    size_t keyStart;      /* the key's line, and the line after it */
    size_t keyNext;
    const char *keyName;  /* as the file spells it */
    size_t keyNameLength;
    const char *value;    /* trimmed; empty when the line has no "=" */
    size_t valueLength;
};

/* Finds the first section named section and the first key named key in it.
 * A line opening with "[" but with no "]" after it is a key line. */
static void FindKey(const char *text, size_t length, const char *section, const char *key,
                    ProfilePlace *place)
{
    bool inside = false;

    memset(place, 0, sizeof *place);
    for (size_t start = 0, next; start < length && !place->keyFound; start = next) {
        size_t first = start, last = start, nameEnd, equals, valueStart;
        while (last < length && text[last] != '\n' && text[last] != '\r')
            last++;
        next = last < length ? last + 1 : last;
        if (next < length && text[last] == '\r' && text[next] == '\n')
            next++;
        Trim(text, &first, &last);
        nameEnd = last;
        while (text[first] == '[' && nameEnd > first + 1 && text[nameEnd - 1] != ']')
            nameEnd--;
        if (first < last && text[first] == '[' && nameEnd > first + 1) {
            size_t nameStart = first + 1;
            if (inside)
                return;
            nameEnd--;
            Trim(text, &nameStart, &nameEnd);
            inside = place->sectionFound = SameName(text + nameStart, nameEnd - nameStart, section);
            place->sectionEnd = next;
            continue;
        }
        if (!inside || first == last)
            continue;
        place->sectionEnd = next;
        if (text[first] == ';')
            continue;
        for (equals = first; equals < last && text[equals] != '='; equals++) {
        }
        nameEnd = equals;
        valueStart = equals < last ? equals + 1 : last;
        Trim(text, &first, &nameEnd);
        Trim(text, &valueStart, &last);
        if (SameName(text + first, nameEnd - first, key))
            *place = ProfilePlace{true, true, next, start, next, text + first, nameEnd - first,
                                  text + valueStart, last - valueStart};
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
            const char *value = place.value;
            size_t valueLength = place.valueLength;
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

/* Opens the settings file for rewriting, creating it when it is missing.
 * Only a missing file is created: any other failure (no permission, a
 * directory, a loop of links) is the caller's error. */
static int OpenForRewrite(const char *fileName)
{
    int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(fileName, flags);

    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR))
        fd = open(fileName, flags | O_CREAT, 0666);
    return fd;
}

/* Writes text over the file from its first byte and makes it end there. */
static bool Overwrite(int fd, const char *text, size_t length, int *error)
{
    *error = 0;
    if (lseek(fd, 0, SEEK_SET) != 0) {
        *error = errno;
        return false;
    }
    if (FaultDue(&PosixFaults.failProfileWrite)) {
        /* Stopped half-way, as a failing disk would. */
        MoveFully(fd, (void *)text, length / 2, true, error);
        *error = ENOSPC;
        return false;
    }
    if (MoveFully(fd, (void *)text, length, true, error) != length)
        return false;
    if (ftruncate(fd, (off_t)length) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

/* Fails a write with the Windows error for errno value error. */
static BOOL FailRewrite(int fd, char *old, char *text, int error, const char *fileName)
{
    if (fd >= 0)
        close(fd);
    free(old);
    free(text);
    ForgetProfile();
    SetLastError(ErrorFromErrno(error ? error : EIO, fileName));
    return FALSE;
}

static size_t Put(char *to, size_t used, const char *bytes, size_t length)
{
    memcpy(to + used, bytes, length);
    return used + length;
}

/* A key keeps its place and spelling; a new key ends its section; a new
 * section ends the file. Blanks around the value are not kept: reading
 * trims them anyway. */
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName)
{
    struct stat st;
    size_t length, cut, resume, first = 0, last, used = 0, keyLength;
    ProfilePlace place;
    char *old = NULL;
    char *text = NULL;
    int fd;
    int error = 0;

    if (!section || !key || !value || !fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    fd = OpenForRewrite(fileName);
    if (fd < 0)
        return FailRewrite(fd, old, text, errno, fileName);
    if (flock(fd, LOCK_EX) != 0 || fstat(fd, &st) != 0)
        return FailRewrite(fd, old, text, errno, fileName);
    if (!S_ISREG(st.st_mode))
        return FailRewrite(fd, old, text, EACCES, fileName);

    /* The text as it is now, under the lock, never from the cache. */
    length = (size_t)st.st_size;
    old = (char *)malloc(length + 1);
    if (!old)
        return FailRewrite(fd, old, text, ENOMEM, fileName);
    if (!ReadWhole(fd, old, length))
        return FailRewrite(fd, old, text, errno, fileName);
    old[length] = '\0';

    FindKey(old, length, section, key, &place);
    cut = resume = place.sectionFound ? place.sectionEnd : length;
    if (place.keyFound) {
        cut = place.keyStart;
        resume = place.keyNext;
        key = place.keyName;
    }
    keyLength = place.keyFound ? place.keyNameLength : strlen(key);
    last = strlen(value);
    Trim(value, &first, &last);

    text = (char *)malloc(length + strlen(section) + keyLength + (last - first) + 9);
    if (!text)
        return FailRewrite(fd, old, text, ENOMEM, fileName);
    used = Put(text, used, old, cut);
    if (!place.keyFound && cut > 0 && old[cut - 1] != '\n' && old[cut - 1] != '\r')
        used = Put(text, used, "\r\n", 2);
    if (!place.sectionFound) {
        used = Put(text, used, "[", 1);
        used = Put(text, used, section, strlen(section));
        used = Put(text, used, "]\r\n", 3);
    }
    used = Put(text, used, key, keyLength);
    used = Put(text, used, "=", 1);
    used = Put(text, used, value + first, last - first);
    used = Put(text, used, "\r\n", 2);
    used = Put(text, used, old + resume, length - resume);

    /* Room first: a full disk then fails the write before anything changed. */
    if (used > length && (error = posix_fallocate(fd, 0, (off_t)used)) != 0) {
        /* Only the size may have changed: put it back. */
        int kept = ftruncate(fd, (off_t)length);
        (void)kept;
        return FailRewrite(fd, old, text, error, fileName);
    }
    if (!Overwrite(fd, text, used, &error)) {
        int ignored;
        Overwrite(fd, old, length, &ignored);
        return FailRewrite(fd, old, text, error, fileName);
    }
    free(old);
    free(text);
    ForgetProfile();
    if (close(fd) != 0) {
        SetLastError(ErrorFromErrno(errno, fileName));
        return FALSE;
    }
    return TRUE;
}

static int HexValue(char c)
{
    c = FoldCase(c);
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
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
    const char *digits;
    size_t length = 0;
    ProfilePlace place;
    unsigned sum = 0;

    if (!section || !key || !fileName || (!data && size))
        return FALSE;
    text = LoadProfile(fileName, &length);
    if (!text)
        return FALSE;
    FindKey(text, length, section, key, &place);
    if (!place.keyFound || place.valueLength != (size_t)size * 2 + 2)
        return FALSE;
    digits = place.value;
    for (size_t i = 0; i < size; i++) {
        int byte = HexByte(digits + 2 * i);
        if (byte < 0)
            return FALSE;
        sum += (unsigned)byte;
    }
    if (HexByte(digits + 2 * (size_t)size) != (int)(sum & 0xFF))
        return FALSE;
    for (size_t i = 0; i < size; i++)
        ((unsigned char *)data)[i] = (unsigned char)HexByte(digits + 2 * i);
    return TRUE;
}

BOOL WritePrivateProfileStructA(LPCSTR section, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName)
{
    static const char Digits[] = "0123456789ABCDEF";
    const unsigned char *bytes = (const unsigned char *)data;
    char *value;
    unsigned sum = 0;
    BOOL result;

    if (!data && size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    value = (char *)malloc((size_t)size * 2 + 3);
    if (!value) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    for (size_t i = 0; i <= size; i++) {
        unsigned byte = i < size ? bytes[i] : sum & 0xFF;
        value[2 * i] = Digits[byte >> 4];
        value[2 * i + 1] = Digits[byte & 15];
        sum += byte;
    }
    value[2 * (size_t)size + 2] = '\0';
    result = WritePrivateProfileStringA(section, key, value, fileName);
    free(value);
    return result;
}
