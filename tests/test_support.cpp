/* test_support.cpp - scratch directories and whole-file helpers for the
 * engine tests, on POSIX and on Windows (or Wine). */
#include "test_support.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <direct.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32
static const char Separator = '\\';
#else
static const char Separator = '/';
#endif

bool RunningUnderWine()
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != NULL;
#else
    return false;
#endif
}

bool RunningOnWindowsApi()
{
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

std::string ProgramPath()
{
    char path[4096] = {0};
    GetModuleFileNameA(NULL, path, sizeof path - 1);
    return path;
}

std::string JoinPath(const std::string &directory, const std::string &name)
{
    return directory + Separator + name;
}

static std::string ProgramDirectory()
{
    std::string path = ProgramPath();
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

std::string FixturePath(const char *name)
{
    return JoinPath(JoinPath(ProgramDirectory(), "fixtures"), name);
}

static void RemoveTree(const std::string &path)
{
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(path, "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = JoinPath(path, name);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
#else
    DIR *directory = opendir(path.c_str());
    if (directory) {
        struct dirent *entry;
        while ((entry = readdir(directory)) != NULL) {
            std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            std::string child = JoinPath(path, name);
            struct stat st;
            if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                RemoveTree(child);
            else
                unlink(child.c_str());
        }
        closedir(directory);
    }
    rmdir(path.c_str());
#endif
}

std::string ScratchDirectory(const char *name)
{
    std::string root = JoinPath(ProgramDirectory(), "scratch");
    std::string path = JoinPath(root, name);
#ifdef _WIN32
    _mkdir(root.c_str());
    RemoveTree(path);
    _mkdir(path.c_str());
#else
    mkdir(root.c_str(), 0777);
    RemoveTree(path);
    mkdir(path.c_str(), 0777);
#endif
    return path;
}

void WriteBytes(const std::string &path, const Bytes &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return;
    if (!bytes.empty())
        fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

void WriteText(const std::string &path, const std::string &text)
{
    WriteBytes(path, ToBytes(text));
}

Bytes ReadBytes(const std::string &path)
{
    Bytes bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    unsigned char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

std::string ReadText(const std::string &path)
{
    Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool FileExists(const std::string &path)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    fclose(file);
    return true;
}

/* Sets the size of a new file without writing its bytes. */
static bool MakeFileOfSize(const std::string &path, uint64_t size)
{
#ifdef _WIN32
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD ignored;
    DeviceIoControl(file, FSCTL_SET_SPARSE, NULL, 0, NULL, 0, &ignored, NULL);
    LARGE_INTEGER position;
    position.QuadPart = (LONGLONG)size;
    bool ok = SetFilePointerEx(file, position, NULL, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
#else
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = ftruncate(fileno(file), (off_t)size) == 0;
    fclose(file);
    return ok;
#endif
}

FILETIME FileTimeFromNow(int64_t seconds)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = (((uint64_t)now.dwHighDateTime << 32) | now.dwLowDateTime) + (uint64_t)(seconds * 10000000);
    FILETIME moved = {(DWORD)ticks, (DWORD)(ticks >> 32)};
    return moved;
}

bool SetLastWriteTime(const std::string &path, FILETIME time)
{
#ifdef _WIN32
    /* Backup semantics: a folder opens only so. */
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = SetFileTime(file, NULL, NULL, &time) != 0;
    CloseHandle(file);
    return ok;
#else
    uint64_t ticks = ((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime;
    struct timespec times[2];
    times[0].tv_sec = (time_t)(ticks / 10000000u) - 11644473600LL;
    times[0].tv_nsec = (long)(ticks % 10000000u) * 100;
    times[1] = times[0];
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

/* The bytes the file takes on disk. */
static uint64_t AllocatedBytes(const std::string &path)
{
#ifdef _WIN32
    /* Windows tells it by the compressed size, Wine only by the allocation. */
    DWORD high = 0;
    DWORD low = GetCompressedFileSizeA(path.c_str(), &high);
    uint64_t bytes = (uint64_t)high << 32 | low;
    FILE_STANDARD_INFO info;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        if (GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) &&
            (uint64_t)info.AllocationSize.QuadPart < bytes)
            bytes = (uint64_t)info.AllocationSize.QuadPart;
        CloseHandle(file);
    }
    return bytes;
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (uint64_t)st.st_blocks * 512u : UINT64_MAX;
#endif
}

/* Sparse files of the running test, removed when it ends. */
static std::vector<std::string> SparseFiles;

struct SparseFileSweeper : ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &) override
    {
        for (const std::string &path : SparseFiles)
            remove(path.c_str());
        SparseFiles.clear();
    }
};

bool MakeSparseFile(const std::string &path, uint64_t size, std::string *whyNot)
{
    static bool sweeping;
    if (!sweeping) {
        ::testing::UnitTest::GetInstance()->listeners().Append(new SparseFileSweeper);
        sweeping = true;
    }
    whyNot->clear();

    /* A small probe first, so that a file system without holes costs 16 MB
     * of writes, not gigabytes. */
    const uint64_t probeSize = 16u << 20;
    std::string probe = path + ".probe";
    SparseFiles.push_back(probe);
    if (!MakeFileOfSize(probe, probeSize))
        return false;
    bool holes = AllocatedBytes(probe) < probeSize / 2;
    remove(probe.c_str());
    if (!holes) {
        *whyNot = "the file system of " + path + " cannot make sparse files; a file of " +
                  std::to_string(size) + " bytes would be written out in full";
        return false;
    }
    SparseFiles.push_back(path);
    return MakeFileOfSize(path, size);
}

Bytes ToBytes(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

#ifndef _WIN32
/* The zeros are the kernel's one shared zero page, mapped again and again:
 * gigabytes of them cost address space and page tables, not memory. */
static size_t GuardedSpan(uint32_t size, size_t *lead)
{
    size_t page = (size_t)sysconf(_SC_PAGESIZE);
    size_t pages = ((size_t)size + page - 1) / page * page;
    *lead = pages - size;
    return pages + page;
}

unsigned char *MapGuardedZeros(uint32_t size)
{
    size_t lead = 0;
    size_t span;
    void *base;

    /* A 32-bit host has not the room, and its sizes would wrap below. */
    if (sizeof(size_t) < 8)
        return NULL;
    span = GuardedSpan(size, &lead);
    base = mmap(NULL, span, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED)
        return NULL;
    if (mprotect((char *)base + span - (size_t)sysconf(_SC_PAGESIZE), (size_t)sysconf(_SC_PAGESIZE),
                 PROT_NONE) != 0) {
        munmap(base, span);
        return NULL;
    }
    return (unsigned char *)base + lead;
}

void UnmapGuardedZeros(unsigned char *image, uint32_t size)
{
    size_t lead = 0;
    size_t span = GuardedSpan(size, &lead);
    munmap(image - lead, span);
}
#endif
