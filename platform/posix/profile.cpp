/* profile.cpp - the private-profile (INI) functions of the POSIX stand-in,
 * reading and writing the same text as Windows so that a settings file moves
 * between the two unchanged. Like files.cpp it exists only so the engine runs
 * on Linux, and covers only what the engine calls: one key read or written.
 *
 * "[SECTION]" and "KEY=VALUE" lines, names compared without regard to case,
 * the first section and key of a name winning. Lines end with CR LF (what a
 * write adds), LF or CR; every other line is kept as it stands.
 *
 * A write rewrites the file in place through its name, under an exclusive
 * lock, so a symbolic link stays a link, hard links all see the new text and
 * the owner and permissions stay, as on Windows. Readers take the lock shared
 * and never see a file half-written. Room for a longer text is reserved
 * first, so a full disk leaves the file as it was; any other failure part-way
 * puts the old text back. Only a missing file counts as empty: one that is
 * there but cannot be read fails the write untouched.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix_faults.h"
#include "posix_internal.h"

/* The whole open file under a lock of the kind given, with a NUL after it;
 * NULL with errno set when it is no regular file or cannot be read whole. */
static char *ReadLocked(int fd, int lock, size_t *length)
{
    struct stat st;
    char *text = NULL;
    int error = 0;

    if (flock(fd, lock) != 0 || fstat(fd, &st) != 0)
        return NULL;
    *length = (size_t)st.st_size;
    if (!S_ISREG(st.st_mode))
        error = EACCES;
    else if (!(text = (char *)malloc(*length + 1)))
        error = ENOMEM;
    else if (FaultDue(&PosixFaults.failProfileRead))
        error = EIO;
    else if (MoveFully(fd, text, *length, false, &error) != *length)
        error = error ? error : EIO;
    if (error) {
        free(text);
        errno = error;
        return NULL;
    }
    text[*length] = '\0';
    return text;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

static bool SameName(const char *a, size_t aLength, const char *b)
{
    return aLength == strlen(b) && strncasecmp(a, b, aLength) == 0;
}

/* Narrows [*first, *last) of text to leave out blanks at both ends. */
static void Trim(const char *text, size_t *first, size_t *last)
{
    while (*first < *last && IsBlank(text[*first]))
        ++*first;
    while (*last > *first && IsBlank(text[*last - 1]))
        --*last;
}

/* Where a key stands in the text: [cut, resume) is its line, or the empty
 * place a new line goes (after the section's last line that is not blank, or
 * at the end). */
struct ProfilePlace {
    bool sectionFound;
    bool keyFound;
    size_t cut;
    size_t resume;
    const char *name;  /* the key as the file spells it */
    size_t nameLength;
    const char *value; /* trimmed; empty when the line has no "=" */
    size_t valueLength;
};

/* A line opening with "[" but with no "]" after it is a key line. */
static void FindKey(const char *text, size_t length, const char *section, const char *key,
                    ProfilePlace *place)
{
    bool inside = false;

    *place = ProfilePlace{false, false, length, length, NULL, 0, "", 0};
    for (size_t start = 0, next; start < length; start = next) {
        size_t first = start, last = start;
        while (last < length && text[last] != '\n' && text[last] != '\r')
            last++;
        next = last + (last < length) + (last + 1 < length && text[last] == '\r' && text[last + 1] == '\n');
        Trim(text, &first, &last);
        if (first == last)
            continue;
        const char *bracket =
            text[first] == '[' ? (const char *)memrchr(text + first + 1, ']', last - first - 1) : NULL;
        if (bracket) {
            size_t nameStart = first + 1, nameEnd = (size_t)(bracket - text);
            if (inside)
                return;
            Trim(text, &nameStart, &nameEnd);
            inside = place->sectionFound = SameName(text + nameStart, nameEnd - nameStart, section);
        } else if (inside && text[first] != ';') {
            const char *equals = (const char *)memchr(text + first, '=', last - first);
            size_t nameEnd = equals ? (size_t)(equals - text) : last, valueStart = equals ? nameEnd + 1 : last;
            Trim(text, &first, &nameEnd);
            Trim(text, &valueStart, &last);
            if (SameName(text + first, nameEnd - first, key)) {
                *place = ProfilePlace{true, true, start, next, text + first, nameEnd - first,
                                      text + valueStart, last - valueStart};
                return;
            }
        }
        if (inside)
            place->cut = place->resume = next;
    }
}

/* The file's text (to be freed) with the key found in it, or NULL when there
 * is no regular file to read. Nothing else is opened: opening a device may do
 * something of its own. */
static char *FindInFile(const char *fileName, const char *section, const char *key, ProfilePlace *place)
{
    struct stat st;
    size_t length = 0;
    char *text;
    int fd;

    if (!fileName || stat(fileName, &st) != 0 || !S_ISREG(st.st_mode) ||
        (fd = open(fileName, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) < 0)
        return NULL;
    text = ReadLocked(fd, LOCK_SH, &length);
    close(fd);
    if (text)
        FindKey(text, length, section, key, place);
    return text;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                               LPSTR returned, DWORD size, LPCSTR fileName)
{
    ProfilePlace place;
    char *text = NULL;
    const char *from = defaultValue ? defaultValue : "";
    size_t length = strlen(from);

    if (!returned || size == 0)
        return 0;
    while (length > 0 && from[length - 1] == ' ')
        length--;
    if (section && key && (text = FindInFile(fileName, section, key, &place)) && place.keyFound) {
        from = place.value;
        length = place.valueLength;
        /* A value in matching quotes is read without them. */
        if (length >= 2 && (from[0] == '"' || from[0] == '\'') && from[length - 1] == from[0]) {
            from++;
            length -= 2;
        }
    }
    if (length > (size_t)size - 1)
        length = (size_t)size - 1;
    memcpy(returned, from, length);
    returned[length] = '\0';
    free(text);
    return (DWORD)length;
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

/* The old text with the key's line put in: a key keeps its place and
 * spelling, a new key ends its section, a new section ends the file. Blanks
 * around the value are not kept: reading trims them anyway. */
static char *Rewrite(const char *old, size_t length, const char *section, const char *key,
                     const char *value, size_t *used)
{
    ProfilePlace p;
    size_t first = 0, last = strlen(value);
    char *text = (char *)malloc(length + strlen(section) + strlen(key) + last + 10);

    if (!text)
        return NULL;
    FindKey(old, length, section, key, &p);
    Trim(value, &first, &last);
    memcpy(text, old, p.cut);
    *used = p.cut + (size_t)sprintf(text + p.cut, "%s%s%s%s%.*s=%.*s\r\n",
        p.cut > 0 && old[p.cut - 1] != '\n' && old[p.cut - 1] != '\r' ? "\r\n" : "",
        p.sectionFound ? "" : "[", p.sectionFound ? "" : section, p.sectionFound ? "" : "]\r\n",
        (int)(p.keyFound ? p.nameLength : strlen(key)), p.keyFound ? p.name : key,
        (int)(last - first), value + first);
    memcpy(text + *used, old + p.resume, length - p.resume);
    *used += length - p.resume;
    return text;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName)
{
    int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    size_t length = 0, used = 0;
    char *old = NULL, *text = NULL;
    bool ok = false;
    int error = 0, fd;

    if (!section || !key || !value || !fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    /* Only a missing file is created: any other failure (no permission, a
     * directory, a loop of links) is the caller's error. */
    fd = open(fileName, flags);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR))
        fd = open(fileName, flags | O_CREAT, 0666);
    if (fd < 0 || !(old = ReadLocked(fd, LOCK_EX, &length)))
        error = errno;
    else if (!(text = Rewrite(old, length, section, key, value, &used)))
        error = ENOMEM;
    else if (used > length && (error = posix_fallocate(fd, 0, (off_t)used)) != 0) {
        int kept = ftruncate(fd, (off_t)length); /* only the size may have changed */
        (void)kept;
    } else if (!Overwrite(fd, text, used, &error)) {
        int ignored;
        Overwrite(fd, old, length, &ignored);
    } else {
        ok = true;
    }
    free(old);
    free(text);
    if (fd >= 0 && close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        SetLastError(ErrorFromErrno(error ? error : EIO, fileName));
    return ok;
}

static int HexDigit(char c)
{
    c = (char)(c | 0x20);
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/* Two hex digits as a byte, or -1. */
static int HexByte(const char *digits)
{
    int high = HexDigit(digits[0]), low = HexDigit(digits[1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

/* A structure is read only when its text is exactly two hex digits per byte
 * plus two for the checksum (the byte sum modulo 256) and the checksum
 * matches; otherwise the caller's data stays untouched. */
BOOL GetPrivateProfileStructA(LPCSTR section, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName)
{
    ProfilePlace place;
    char *text;
    unsigned sum = 0;
    bool ok;

    if (!section || !key || (!data && size) || !(text = FindInFile(fileName, section, key, &place)))
        return FALSE;
    ok = place.keyFound && place.valueLength == (size_t)size * 2 + 2;
    for (size_t i = 0; ok && i <= size; i++) {
        int byte = HexByte(place.value + 2 * i);
        ok = byte >= 0 && (i < size || byte == (int)(sum & 0xFF));
        sum += (unsigned)byte;
    }
    for (size_t i = 0; ok && i < size; i++)
        ((unsigned char *)data)[i] = (unsigned char)HexByte(place.value + 2 * i);
    free(text);
    return ok;
}

BOOL WritePrivateProfileStructA(LPCSTR section, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName)
{
    char *value = !data && size ? NULL : (char *)malloc((size_t)size * 2 + 3);
    unsigned sum = 0;
    BOOL result;

    if (!value) {
        SetLastError(!data && size ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    for (size_t i = 0; i <= size; i++) {
        unsigned byte = i < size ? ((const unsigned char *)data)[i] : sum & 0xFF;
        snprintf(value + 2 * i, 3, "%02X", byte);
        sum += byte;
    }
    result = WritePrivateProfileStringA(section, key, value, fileName);
    free(value);
    return result;
}
