/* settings.cpp - the settings file ini.ini beside the executable, section MAIN. */
#include <string.h>

#include "engine.h"

static const char SectionName[] = "MAIN";
static const char IniFileName[] = "ini.ini";

char IniPath[SETTING_TEXT_SIZE];
unsigned char PageDelimiter = 12;

void MakeIniPath(const char *modulePath, char iniPath[SETTING_TEXT_SIZE])
{
    size_t length = strlen(modulePath);
    size_t keep = length;
    size_t used;

    memset(iniPath, 0, SETTING_TEXT_SIZE);
    /* Backwards from the last character down to the second: the first one
     * is never taken for a separator. */
    for (size_t i = length; i-- > 1;) {
        if (modulePath[i] == '\\' || modulePath[i] == '/') {
            keep = i + 1;
            break;
        }
    }
    /* A name that would not fit is no name at all: a cut one ("ini.in", or
     * a parent folder's name) would read and write some other file. */
    used = keep + sizeof IniFileName - 1;
    if (used > SETTING_TEXT_SIZE - 1)
        return;
    memcpy(iniPath, modulePath, keep);
    memcpy(iniPath + keep, IniFileName, sizeof IniFileName - 1);
}

void BuildIniPath(HINSTANCE instance)
{
    char modulePath[SETTING_TEXT_SIZE];
    DWORD length;

    memset(modulePath, 0, sizeof modulePath);
    /* One byte short of the buffer: the last byte stays NUL even where the
     * platform does not terminate a cut path. */
    length = GetModuleFileNameA((HMODULE)instance, modulePath, sizeof modulePath - 1);
    /* A full buffer means a cut path, whose last separator would name some
     * parent folder, and no path at all would give the bare "ini.ini" that
     * Windows looks for in its own folder: then there is no settings file
     * (IniPath empty), every read gives its default and every write fails. */
    if (length == 0 || length >= sizeof modulePath - 1) {
        memset(IniPath, 0, sizeof IniPath);
        return;
    }
    MakeIniPath(modulePath, IniPath);
}

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

/* Decodes text as size bytes in hex followed by their sum modulo 256, into
 * bytes. Returns 0 for anything else: another length, a character that is
 * no hex digit, or a wrong sum. */
static int DecodeStruct(const char *text, unsigned char *bytes, unsigned size)
{
    unsigned sum = 0;

    if (strlen(text) != 2 * (size_t)size + 2)
        return 0;
    for (unsigned i = 0; i <= size; i++) {
        int high = HexDigit(text[2 * i]);
        int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return 0;
        if (i == size)
            return (unsigned)(high * 16 + low) == (sum & 0xFFu);
        bytes[i] = (unsigned char)(high * 16 + low);
        sum += bytes[i];
    }
    return 0;
}

/* The last struct value read from the file, with the file's last-write
 * time and size at that moment, or the fact that there was no file.
 * SKIPEMPTY is read before every page, and the platform's profile read is
 * most of a page's cost under Wine; a look at the file's attributes is a
 * fraction of it.
 *
 * An existing file's value is used again only while the file is unchanged
 * and its last write was over two seconds old when the value was read: a
 * write within the file system's time granularity (two seconds on FAT)
 * could otherwise leave the time as it was although the contents changed.
 * A missing file is remembered as missing for as long as it stays missing:
 * the read found nothing, and the caller's variable keeps its default
 * again. A file that appears is read at the next look. Under Wine a look
 * for a file that is not there costs three times a look at one that is (the
 * folder is searched for the name in any letter case), so while the file is
 * missing the look is at its folder: making a file in a folder moves the
 * folder's last-write time, and while that stays, the file is still
 * missing. The folder's time is trusted only when it was over two seconds
 * old, for the same reason as the file's. (A file system that keeps no such
 * time for folders, as FAT, shows a file made during a job from the next
 * job on.) Any write of our own forgets what was read. */
static struct {
    int valid;
    int missing; /* there was no settings file */
    char path[SETTING_TEXT_SIZE];
    char key[16];
    unsigned size;
    int found;
    unsigned char bytes[16];
    FILETIME written;
    DWORD sizeHigh;
    DWORD sizeLow;
    int folderKnown;        /* missing: the folder's time below stands for the file */
    FILETIME folderWritten; /* the folder's last-write time while the file was missing */
} LastStructRead;

uint32_t ProfileStructReads;

static const uint64_t SettledTicks = 2 * 10000000ull; /* two seconds in file-time ticks */

static uint64_t Ticks(const FILETIME &time)
{
    return ((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

static void ForgetLastRead(void)
{
    LastStructRead.valid = 0;
    LastStructRead.folderKnown = 0;
}

/* Whether a last write at this time was over two seconds ago. */
static int Settled(const FILETIME &written)
{
    FILETIME now;

    GetSystemTimeAsFileTime(&now);
    return Ticks(now) >= Ticks(written) && Ticks(now) - Ticks(written) > SettledTicks;
}

/* The attributes of the settings file; *absent says whether a failure means
 * that there is no such file. Any other failure (access denied, a busy
 * network) means nothing: such a file is read the slow way, every time. */
static int LookAtFile(WIN32_FILE_ATTRIBUTE_DATA *file, int *absent)
{
    DWORD error;

    *absent = 0;
    if (GetFileAttributesExA(IniPath, GetFileExInfoStandard, file))
        return 1;
    error = GetLastError();
    *absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return 0;
}

/* The folder of the settings file, with its last separator ("C:\Tools\",
 * so that a root stays a root); 0 when the name has no folder. */
static int LookAtFolder(WIN32_FILE_ATTRIBUTE_DATA *folder)
{
    char path[SETTING_TEXT_SIZE];
    size_t keep = 0;

    for (size_t i = 0; IniPath[i]; i++) {
        if (IniPath[i] == '\\' || IniPath[i] == '/')
            keep = i + 1;
    }
    if (keep == 0)
        return 0;
    memcpy(path, IniPath, keep);
    path[keep] = '\0';
    return GetFileAttributesExA(path, GetFileExInfoStandard, folder) &&
           (folder->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

static int SameReadAsLast(const char *key, unsigned size)
{
    return LastStructRead.valid && LastStructRead.size == size &&
           strcmp(LastStructRead.key, key) == 0 && strcmp(LastStructRead.path, IniPath) == 0;
}

/* file is NULL when the settings file does not exist. */
static int SameFileAsLastRead(const char *key, unsigned size, const WIN32_FILE_ATTRIBUTE_DATA *file)
{
    if (!SameReadAsLast(key, size))
        return 0;
    if (!file)
        return LastStructRead.missing;
    return !LastStructRead.missing && Ticks(LastStructRead.written) == Ticks(file->ftLastWriteTime) &&
           LastStructRead.sizeHigh == file->nFileSizeHigh && LastStructRead.sizeLow == file->nFileSizeLow;
}

static int KeyFits(const char *key, unsigned size)
{
    return size <= sizeof LastStructRead.bytes && strlen(key) < sizeof LastStructRead.key;
}

static void RememberKey(const char *key, unsigned size)
{
    strcpy(LastStructRead.path, IniPath);
    strcpy(LastStructRead.key, key);
    LastStructRead.size = size;
}

static void RememberRead(const char *key, unsigned size, int found, const unsigned char *bytes,
                         const WIN32_FILE_ATTRIBUTE_DATA &file)
{
    FILETIME now;

    ForgetLastRead();
    GetSystemTimeAsFileTime(&now);
    if (!KeyFits(key, size) || Ticks(now) < Ticks(file.ftLastWriteTime) ||
        Ticks(now) - Ticks(file.ftLastWriteTime) <= SettledTicks)
        return;
    RememberKey(key, size);
    LastStructRead.missing = 0;
    LastStructRead.found = found;
    if (found)
        memcpy(LastStructRead.bytes, bytes, size);
    LastStructRead.written = file.ftLastWriteTime;
    LastStructRead.sizeHigh = file.nFileSizeHigh;
    LastStructRead.sizeLow = file.nFileSizeLow;
    LastStructRead.valid = 1;
}

/* Lets the folder stand for the missing file from now on, when its time is
 * settled. The file is looked for once more after the folder: one that
 * appeared before the folder's time was taken is seen then, and one that
 * appears later moves that time. */
static void RememberFolder(void)
{
    WIN32_FILE_ATTRIBUTE_DATA folder, file;
    int absent;

    LastStructRead.folderKnown = 0;
    if (!LookAtFolder(&folder) || !Settled(folder.ftLastWriteTime))
        return;
    if (LookAtFile(&file, &absent) || !absent)
        return;
    LastStructRead.folderWritten = folder.ftLastWriteTime;
    LastStructRead.folderKnown = 1;
}

/* A read that found nothing in a file that was not there. One that found a
 * value after all (the file appeared during the read) is not remembered. */
static void RememberMissing(const char *key, unsigned size, int found)
{
    ForgetLastRead();
    if (found || !KeyFits(key, size))
        return;
    RememberKey(key, size);
    LastStructRead.missing = 1;
    LastStructRead.found = 0;
    LastStructRead.valid = 1;
    RememberFolder();
}

/* The file was missing at the last read of this key, and its folder has
 * not changed since. */
static int StillMissing(const char *key, unsigned size)
{
    WIN32_FILE_ATTRIBUTE_DATA folder;

    return SameReadAsLast(key, size) && LastStructRead.missing && LastStructRead.folderKnown &&
           LookAtFolder(&folder) && Ticks(folder.ftLastWriteTime) == Ticks(LastStructRead.folderWritten);
}

/* The raw text is checked here rather than trusted to the platform's struct
 * reader: Wine's takes a longer value or letters that are no hex digits,
 * where Windows refuses them, and the program must mean the same on both. */
int ReadSettingStruct(const char *key, void *variable, unsigned size)
{
    char text[SETTING_TEXT_SIZE];
    unsigned char bytes[SETTING_TEXT_SIZE / 2];
    WIN32_FILE_ATTRIBUTE_DATA file;
    int known;
    int absent;
    int found;

    if (!IniPath[0] || size == 0 || 2 * (size_t)size + 2 >= sizeof text)
        return 0;
    if (StillMissing(key, size))
        return 0;
    /* Taken before the read, so that a change during it shows next time. */
    known = LookAtFile(&file, &absent);
    if ((known || absent) && SameFileAsLastRead(key, size, known ? &file : NULL)) {
        /* Missing still, though the folder moved on: it stands for the
         * file again from its new time. */
        if (absent)
            RememberFolder();
        if (LastStructRead.found)
            memcpy(variable, LastStructRead.bytes, size);
        return LastStructRead.found;
    }

    memset(text, 0, sizeof text);
    ProfileStructReads++;
    GetPrivateProfileStringA(SectionName, key, "", text, sizeof text, IniPath);
    text[sizeof text - 1] = '\0';
    found = DecodeStruct(text, bytes, size);
    if (known)
        RememberRead(key, size, found, bytes, file);
    else if (absent)
        RememberMissing(key, size, found);
    else
        ForgetLastRead();
    if (!found)
        return 0;
    memcpy(variable, bytes, size);
    return 1;
}

/* With no settings file (IniPath empty) nothing reaches the platform: it
 * would take an empty or relative name for a file in the Windows folder. */
int WriteSettingStruct(const char *key, const void *variable, unsigned size)
{
    ForgetLastRead();
    if (!IniPath[0])
        return 0;
    return WritePrivateProfileStructA(SectionName, key, (LPVOID)variable, size, IniPath) ? 1 : 0;
}

void ReadSettingString(const char *key, const char *defaultValue, char buffer[SETTING_TEXT_SIZE])
{
    memset(buffer, 0, SETTING_TEXT_SIZE);
    if (!IniPath[0]) {
        for (size_t i = 0; defaultValue && defaultValue[i] && i < SETTING_TEXT_SIZE - 1; i++)
            buffer[i] = defaultValue[i];
        return;
    }
    GetPrivateProfileStringA(SectionName, key, defaultValue, buffer, SETTING_TEXT_SIZE, IniPath);
    buffer[SETTING_TEXT_SIZE - 1] = '\0';
}

uint32_t ReadSettingText(const char *key, const char *defaultValue, char *buffer, uint32_t size)
{
    uint32_t length = 0;

    if (size == 0)
        return 0;
    memset(buffer, 0, size);
    if (!IniPath[0]) {
        while (defaultValue && defaultValue[length] && length < size - 1) {
            buffer[length] = defaultValue[length];
            length++;
        }
        return length;
    }
    length = GetPrivateProfileStringA(SectionName, key, defaultValue, buffer, size, IniPath);
    buffer[size - 1] = '\0';
    return length < size ? length : size - 1;
}

/* A line break in the value would end the line early and make the rest a
 * line of its own: a second key, or a section header, in the file. */
int WriteSettingString(const char *key, const char *text)
{
    ForgetLastRead();
    if (!IniPath[0] || strpbrk(text, "\r\n"))
        return 0;
    return WritePrivateProfileStringA(SectionName, key, text, IniPath) ? 1 : 0;
}
