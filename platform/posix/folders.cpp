/* folders.cpp - the stand-in's folders, moves and clock, for the watched
 * folder. Like files.cpp it covers only what the engine calls,
 * with the Windows meaning it relies on:
 * - a backslash separates names as a slash does;
 * - a search lists every entry of one folder ("FOLDER\*"), "." and ".."
 *   among them, a name beginning with a dot as hidden (as Wine shows it);
 * - a move never replaces what is there, and fails on a file that an open
 *   handle does not share for deletion.
 */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "posix_internal.h"

enum { UNIX_PATH_SIZE = 4096 };

bool ToUnixPath(const char *name, char *path, size_t size)
{
    size_t length = name ? strlen(name) : 0;

    if (length == 0 || length >= size)
        return false;
    for (size_t i = 0; i <= length; i++)
        path[i] = name[i] == '\\' ? '/' : name[i];
    return true;
}

static DWORD AttributesOf(const char *name, const struct stat &st)
{
    DWORD attributes = 0;

    if (S_ISDIR(st.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else if (!S_ISREG(st.st_mode))
        attributes |= FILE_ATTRIBUTE_DEVICE;
    if (name[0] == '.' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0)
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetFileAttributesA(LPCSTR fileName)
{
    char path[UNIX_PATH_SIZE];
    struct stat st;

    if (!ToUnixPath(fileName, path, sizeof path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (stat(path, &st) != 0) {
        SetLastError(ErrorFromErrno(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    const char *slash = strrchr(path, '/');
    return AttributesOf(slash && slash[1] ? slash + 1 : path, st);
}

/* ---- Searches -------------------------------------------------------------- */

struct SearchHandle {
    DIR *folder;
    char path[UNIX_PATH_SIZE];   /* the folder, with a slash at its end */
    size_t pathLength;
    SearchHandle *next;
};

static SearchHandle *OpenSearches;

/* The next entry that fits the record; false at the end of the folder. An
 * entry gone since it was listed is passed over. */
static bool NextEntry(SearchHandle *search, WIN32_FIND_DATAA *found)
{
    struct dirent *entry;
    struct stat st;

    while ((entry = readdir(search->folder)) != NULL) {
        size_t length = strlen(entry->d_name);
        if (length >= MAX_PATH || search->pathLength + length >= UNIX_PATH_SIZE)
            continue;
        memcpy(search->path + search->pathLength, entry->d_name, length + 1);
        int status = stat(search->path, &st);
        search->path[search->pathLength] = '\0';
        if (status != 0)
            continue;
        memset(found, 0, sizeof *found);
        found->dwFileAttributes = AttributesOf(entry->d_name, st);
        found->ftCreationTime = ToFileTime(st.st_ctim);
        found->ftLastAccessTime = ToFileTime(st.st_atim);
        found->ftLastWriteTime = ToFileTime(st.st_mtim);
        uint64_t size = S_ISREG(st.st_mode) ? (uint64_t)st.st_size : 0;
        found->nFileSizeHigh = (DWORD)(size >> 32);
        found->nFileSizeLow = (DWORD)size;
        memcpy(found->cFileName, entry->d_name, length + 1);
        return true;
    }
    return false;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found)
{
    SearchHandle *search;
    size_t length;

    if (!(search = (SearchHandle *)calloc(1, sizeof *search))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (!ToUnixPath(pattern, search->path, sizeof search->path) ||
        (length = strlen(search->path)) < 2 || strcmp(search->path + length - 2, "/*") != 0) {
        free(search);
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    search->path[length - 1] = '\0';
    search->pathLength = length - 1;
    search->folder = opendir(search->path);
    if (!search->folder) {
        DWORD error = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno, NULL);
        free(search);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (!NextEntry(search, found)) {
        closedir(search->folder);
        free(search);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    search->next = OpenSearches;
    OpenSearches = search;
    SetLastError(NO_ERROR);
    return search;
}

static SearchHandle **FindSearch(HANDLE handle)
{
    SearchHandle **link = &OpenSearches;

    while (*link && *link != (SearchHandle *)handle)
        link = &(*link)->next;
    if (!*link)
        SetLastError(ERROR_INVALID_HANDLE);
    return link;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA *found)
{
    SearchHandle *search = *FindSearch(handle);

    if (!search)
        return FALSE;
    if (!NextEntry(search, found)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE handle)
{
    SearchHandle **link = FindSearch(handle), *search = *link;

    if (!search)
        return FALSE;
    *link = search->next;
    closedir(search->folder);
    free(search);
    return TRUE;
}

/* ---- Folders and moves ----------------------------------------------------- */

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security)
{
    char path[UNIX_PATH_SIZE];

    if (!ToUnixPath(pathName, path, sizeof path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (mkdir(path, 0777) != 0) {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno, path));
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileA(LPCSTR existingName, LPCSTR newName)
{
    char from[UNIX_PATH_SIZE], to[UNIX_PATH_SIZE];
    struct stat st;

    if (!ToUnixPath(existingName, from, sizeof from) || !ToUnixPath(newName, to, sizeof to)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (stat(from, &st) != 0) {
        SetLastError(ErrorFromErrno(errno, from));
        return FALSE;
    }
    if (HeldWithoutDeleteSharing(st)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    /* Linked under the new name first: that fails when the name is taken,
     * where a rename would replace it. Folders, and file systems without
     * links, are renamed after a look at the new name. */
    errno = 0;
    if (!S_ISDIR(st.st_mode) && link(from, to) == 0) {
        unlink(from);
        return TRUE;
    }
    if (errno != EEXIST && lstat(to, &st) != 0) {
        if (rename(from, to) == 0)
            return TRUE;
        SetLastError(ErrorFromErrno(errno, to));
        return FALSE;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
}

DWORD GetFullPathNameA(LPCSTR fileName, DWORD size, LPSTR buffer, LPSTR *filePart)
{
    char path[UNIX_PATH_SIZE], full[UNIX_PATH_SIZE];
    size_t used = 0;

    if (!ToUnixPath(fileName, path, sizeof path)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    if (path[0] != '/') {
        if (!getcwd(full, sizeof full)) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return 0;
        }
        used = strlen(full);
        if (used == 1)
            used = 0;   /* the root's own slash comes with the first name */
    }
    for (char *name = strtok(path, "/"); name; name = strtok(NULL, "/")) {
        if (strcmp(name, ".") == 0)
            continue;
        if (strcmp(name, "..") == 0) {
            while (used > 0 && full[--used] != '/') {
            }
            continue;
        }
        size_t length = strlen(name);
        if (used + 1 + length >= sizeof full) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        full[used++] = '/';
        memcpy(full + used, name, length);
        used += length;
    }
    if (used == 0)
        full[used++] = '/';
    full[used] = '\0';
    if (used + 1 > size)
        return (DWORD)(used + 1);
    memcpy(buffer, full, used + 1);
    if (filePart) {
        char *slash = strrchr(buffer, '/');
        *filePart = slash && slash[1] ? slash + 1 : NULL;
    }
    return (DWORD)used;
}

/* ---- The clock -------------------------------------------------------------- */

DWORD GetTickCount(void)
{
    struct timespec now;

    clock_gettime(CLOCK_MONOTONIC, &now);
    return (DWORD)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}
