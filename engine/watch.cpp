/* watch.cpp - the watched folder: every complete file at its top is printed,
 * oldest first, one job at a time, and then moved to its subfolder
 * "printed", or "failed" after a job that ended in "Ошибка".
 *
 * Nothing grows with the folder: a step lists at most WATCH_STEP_ENTRIES
 * entries, and of a whole pass over the folder only the WATCH_KNOWN_FILES
 * oldest files are kept, each with the time it was first seen as it is.
 * A file is complete once it has kept its size and last-write time for
 * WATCH_STABLE_MS and opens with no sharing (its writer has closed it).
 * Both are needed: Wine lets a file be opened without sharing while a
 * Linux program still writes it, and a writer may pause for a moment.
 */
#include <string.h>

#include "engine.h"

/* The longest number a taken name gets (" (9999)"), and the longer of the
 * two subfolders: a file whose moved name could not be spelt within
 * MAX_PATH is left alone, never printed. */
static const char NumberRoom[] = " (9999)";
static const char PrintedFolder[] = "printed";
static const char FailedFolder[] = "failed";
enum { NUMBER_MAX = 9999 };

struct WatchedFile {
    char name[MAX_PATH];
    uint64_t written;   /* last-write time */
    uint64_t size;
    DWORD seenAt;       /* when it was first seen with this size and time */
};

static char Given[SETTING_TEXT_SIZE];    /* the folder as stored */
static size_t FolderLength;              /* of Given, without separators at its end */
static HANDLE WatchMutex;                /* held while watching, else NULL */
static HANDLE Search = INVALID_HANDLE_VALUE;
static WatchedFile Known[WATCH_KNOWN_FILES];   /* from the last whole pass, oldest first */
static uint32_t KnownCount;
static WatchedFile Listed[WATCH_KNOWN_FILES];  /* the pass under way */
static uint32_t ListedCount;

static uint64_t Ticks(FILETIME time)
{
    return ((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

static int EndsWithTmp(const char *name, size_t length)
{
    static const char Tmp[] = ".tmp";

    if (length < 4)
        return 0;
    for (int i = 0; i < 4; i++) {
        char c = name[length - 4 + i];
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        if (c != Tmp[i])
            return 0;
    }
    return 1;
}

int WatchTakesEntry(const char *name, DWORD attributes)
{
    size_t length = strlen(name);

    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                      FILE_ATTRIBUTE_DEVICE))
        return 0;
    return length > 0 && name[0] != '~' && !EndsWithTmp(name, length) && !strchr(name, '?');
}

int NumberedName(const char *name, uint32_t number, char *buffer, uint32_t size)
{
    size_t length = strlen(name);
    const char *dot = strrchr(name, '.');
    size_t stem = dot && dot != name ? (size_t)(dot - name) : length;
    char suffix[16];
    size_t suffixLength = 0;

    if (number > 1) {
        char digits[11];
        WriteDecimalUnsigned(number, digits);
        suffix[0] = ' ';
        suffix[1] = '(';
        suffixLength = 2 + strlen(digits);
        memcpy(suffix + 2, digits, suffixLength - 2);
        suffix[suffixLength++] = ')';
    }
    if (length + suffixLength >= size)
        return 0;
    memcpy(buffer, name, stem);
    memcpy(buffer + stem, suffix, suffixLength);
    memcpy(buffer + stem + suffixLength, name + stem, length - stem + 1);
    return 1;
}

/* The watched folder, one backslash and each of the names given (NULL
 * ends them), in path (MAX_PATH bytes). 0 when it does not fit. */
static int FolderPath(char *path, const char *first, const char *second)
{
    size_t used = FolderLength;
    const char *names[2] = {first, second};

    memcpy(path, Given, used);
    for (int i = 0; i < 2 && names[i]; i++) {
        size_t length = strlen(names[i]);
        if (used + 1 + length >= MAX_PATH)
            return 0;
        path[used++] = '\\';
        memcpy(path + used, names[i], length);
        used += length;
    }
    path[used] = '\0';
    return 1;
}

/* ---- Watching ------------------------------------------------------------- */

const char *WatchedFolder(void)
{
    return WatchMutex ? Given : NULL;
}

void StopWatching(void)
{
    if (Search != INVALID_HANDLE_VALUE)
        FindClose(Search);
    Search = INVALID_HANDLE_VALUE;
    if (WatchMutex)
        CloseHandle(WatchMutex);
    WatchMutex = NULL;
    KnownCount = 0;
    ListedCount = 0;
}

/* One watcher per folder: a mutex named after its full path, in one letter
 * case, with one kind of separator (a mutex name holds no backslash) and
 * none at its end. NULL when another one holds it. */
static HANDLE TakeFolder(const char *folder)
{
    static const char Prefix[] = "velmar watch ";
    char full[MAX_PATH];
    char name[sizeof Prefix + MAX_PATH];
    DWORD length = GetFullPathNameA(folder, MAX_PATH, full, NULL);
    size_t used = sizeof Prefix - 1;
    HANDLE mutex;

    if (length == 0 || length >= MAX_PATH)
        return NULL;
    memcpy(name, Prefix, used);
    for (DWORD i = 0; i < length; i++) {
        char c = full[i];
        if (c == '\\' || c == '/') {
            if (name[used - 1] == '/')
                continue;
            c = '/';
        } else if (c >= 'a' && c <= 'z') {
            c = (char)(c - 'a' + 'A');
        }
        name[used++] = c;
    }
    if (name[used - 1] == '/')
        used--;
    name[used] = '\0';
    SetLastError(NO_ERROR);
    mutex = CreateMutexA(NULL, FALSE, name);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        mutex = NULL;
    }
    return mutex;
}

int StartWatching(ActivityLog log, const char *folder)
{
    WIN32_FIND_DATAA found;
    char line[LOG_LINE_SIZE];
    char pattern[MAX_PATH];
    size_t length = strlen(folder);
    HANDLE search;

    if (WatchMutex && strcmp(Given, folder) == 0)
        return 1;
    StopWatching();
    if (length == 0)
        return 0;
    if (length >= sizeof Given) {
        LogLine(log, TextError);
        return 0;
    }
    memcpy(Given, folder, length + 1);
    FolderLength = length;
    while (FolderLength > 0 && (Given[FolderLength - 1] == '\\' || Given[FolderLength - 1] == '/'))
        FolderLength--;
    /* A folder that can be listed; the root of an empty drive lists
     * nothing at all. */
    search = FolderPath(pattern, "*", NULL) ? FindFirstFileA(pattern, &found) : INVALID_HANDLE_VALUE;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    else if (GetLastError() != ERROR_FILE_NOT_FOUND)
        goto failed;
    WatchMutex = TakeFolder(folder);
    if (!WatchMutex)
        goto failed;
    LogWithName(log, line, TextWatching, folder);
    return 1;

failed:
    LogLine(log, TextError);
    return 0;
}

/* (time, name) order: older first, then by name. */
static int Before(const WatchedFile *a, const WatchedFile *b)
{
    int order;

    if (a->written != b->written)
        return a->written < b->written;
    order = lstrcmpiA(a->name, b->name);
    return order != 0 ? order < 0 : strcmp(a->name, b->name) < 0;
}

/* Keeps the entry in the pass's list when it is a file to take and among
 * the oldest. */
static void Consider(const WIN32_FIND_DATAA *found)
{
    WatchedFile file;
    size_t length = strlen(found->cFileName);
    uint32_t at;

    if (!WatchTakesEntry(found->cFileName, found->dwFileAttributes) ||
        FolderLength + 1 + sizeof PrintedFolder + length + sizeof NumberRoom > MAX_PATH)
        return;
    memcpy(file.name, found->cFileName, length + 1);
    file.written = Ticks(found->ftLastWriteTime);
    file.size = ((uint64_t)found->nFileSizeHigh << 32) | found->nFileSizeLow;
    file.seenAt = 0;
    at = ListedCount;
    while (at > 0 && Before(&file, &Listed[at - 1]))
        at--;
    if (at == WATCH_KNOWN_FILES)
        return;
    if (ListedCount < WATCH_KNOWN_FILES)
        ListedCount++;
    memmove(&Listed[at + 1], &Listed[at], (ListedCount - 1 - at) * sizeof file);
    Listed[at] = file;
}

/* A whole pass: a file seen before as it is now keeps the time it was first
 * seen so; the others are seen now. */
static void EndPass(DWORD now)
{
    for (uint32_t i = 0; i < ListedCount; i++) {
        WatchedFile *file = &Listed[i];
        file->seenAt = now;
        for (uint32_t k = 0; k < KnownCount; k++) {
            if (strcmp(Known[k].name, file->name) == 0) {
                if (Known[k].written == file->written && Known[k].size == file->size)
                    file->seenAt = Known[k].seenAt;
                break;
            }
        }
    }
    memcpy(Known, Listed, ListedCount * sizeof Listed[0]);
    KnownCount = ListedCount;
    ListedCount = 0;
}

/* Lists the next part of the folder. A folder that cannot be listed just
 * now (a share gone for a moment) is tried again at the next step. */
static void ListStep(DWORD now)
{
    WIN32_FIND_DATAA found;
    char pattern[MAX_PATH];
    int entries = WATCH_STEP_ENTRIES;

    if (Search == INVALID_HANDLE_VALUE) {
        FolderPath(pattern, "*", NULL);
        Search = FindFirstFileA(pattern, &found);
        if (Search == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND)
                EndPass(now);
            return;
        }
        ListedCount = 0;
        Consider(&found);
        entries--;
    }
    while (entries-- > 0) {
        if (!FindNextFileA(Search, &found)) {
            FindClose(Search);
            Search = INVALID_HANDLE_VALUE;
            EndPass(now);
            return;
        }
        Consider(&found);
    }
}

static void Forget(uint32_t index)
{
    KnownCount--;
    memmove(&Known[index], &Known[index + 1], (KnownCount - index) * sizeof Known[0]);
}

/* Moves the file, unchanged, into the subfolder (made when missing), under
 * the first of its numbered names that is free. */
static int MoveInto(const char *path, const char *name, const char *subfolder)
{
    char target[MAX_PATH];
    char numbered[MAX_PATH];

    if (!FolderPath(target, subfolder, NULL))
        return 0;
    CreateDirectoryA(target, NULL);
    for (uint32_t n = 1; n <= NUMBER_MAX; n++) {
        if (!NumberedName(name, n, numbered, sizeof numbered) || !FolderPath(target, subfolder, numbered))
            return 0;
        if (MoveFileA(path, target))
            return 1;
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            return 0;
    }
    return 0;
}

/* Prints the file and moves it. A file that stays where it was would be
 * printed again: watching stops, unless the file is gone anyway. */
static void TakeFile(ActivityLog log, const char *path, const char *name, const char *output)
{
    int printed = PrintWholeFile(log, path, output);

    if (!MoveInto(path, name, printed ? PrintedFolder : FailedFolder) &&
        GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        LogLine(log, TextError);
        StopWatching();
    }
}

/* Whether path is the settings file or the job's output: a folder that
 * holds either would otherwise print them, and the output again after
 * every job. */
static int IsOwnFile(const char *path, const char *output)
{
    char full[MAX_PATH];
    char other[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, NULL);

    if (length == 0 || length >= MAX_PATH)
        return 0;
    if (lstrcmpiA(full, IniPath) == 0)
        return 1;
    length = output[0] ? GetFullPathNameA(output, MAX_PATH, other, NULL) : 0;
    return length > 0 && length < MAX_PATH && lstrcmpiA(full, other) == 0;
}

/* The oldest known file that is complete, if any, is printed. */
static int TakeStep(ActivityLog log, DWORD now)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    char path[MAX_PATH];
    char name[MAX_PATH];
    char output[SETTING_TEXT_SIZE];

    memset(&data, 0, sizeof data);
    output[0] = '\0';
    for (uint32_t i = 0; i < KnownCount; i++) {
        WatchedFile *file = &Known[i];
        if ((DWORD)(now - file->seenAt) < WATCH_STABLE_MS)
            continue;
        FolderPath(path, file->name, NULL);
        /* Print To is read as any job reads it, once a step. */
        if (!output[0])
            ReadSettingString("POPT", "LPT1", output);
        if (IsOwnFile(path, output)) {
            Forget(i--);
            continue;
        }
        HANDLE alone = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (alone == INVALID_HANDLE_VALUE) {
            /* Still held by its writer: the next one may be done. */
            if (GetLastError() == ERROR_FILE_NOT_FOUND)
                Forget(i--);
            continue;
        }
        int same = GetFileAttributesExA(path, GetFileExInfoStandard, &data) &&
                   Ticks(data.ftLastWriteTime) == file->written &&
                   (((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow) == file->size;
        CloseHandle(alone);
        if (!same) {
            /* Written since the pass saw it: seen as it is from now on. */
            file->written = Ticks(data.ftLastWriteTime);
            file->size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
            file->seenAt = now;
            continue;
        }
        memcpy(name, file->name, sizeof name);
        Forget(i);
        TakeFile(log, path, name, output);
        return 1;
    }
    return 0;
}

int WatchStep(ActivityLog log, DWORD now)
{
    if (!WatchMutex)
        return 0;
    ListStep(now);
    return TakeStep(log, now);
}
