/* bench_driver.c - times programs from inside Wine for bench_wine.sh.
 *
 *   bench_driver run MS FILE SIZE COMMANDLINE
 *       starts the command line and waits for it to end; prints
 *       "last_byte_us exit_us EXITCODE", both counted from the start, where
 *       the last byte is the moment FILE (the output) first holds SIZE bytes
 *   bench_driver job MS FILE SIZE COMMANDLINE
 *       starts velmar.exe's command line, waits for its page range dialog,
 *       reads the process's memory counters, confirms the dialog at once and
 *       waits for the last byte and the end of the process; prints
 *       "start_us last_byte_us exit_us peak_working_set peak_commit EXITCODE"
 *       where start_us runs from process creation to the dialog being found
 *       and the other two from the confirmation.
 *
 *   bench_driver preview MS TURNS COMMANDLINE
 *       starts velmar.exe's command line, waits for its page range dialog,
 *       opens the page preview and turns its pages with the keys, each key
 *       sent and waited for until the page is painted; then closes the
 *       preview, cancels the dialog and waits for the end; prints
 *       "open_us pgdn_mean_us pgdn_max_us first_end_us home_us end_us
 *       pgup_mean_us pgup_max_us empty_message_us commit_growth EXITCODE":
 *       TURNS Page Downs from page 1, Home, End (the first walk over the
 *       whole file), Home, End again, TURNS Page Ups from the last page; the
 *       round trip of a message the preview does nothing with; and the
 *       commit it added by the end, over that before it opened
 *
 *   bench_driver calls FILE OUTPUT BYTES COUNT
 *       the floor under a page: prints the microseconds of one
 *       GetFileAttributesExA on FILE (the settings file) and of one
 *       WriteFile of BYTES bytes to OUTPUT, each the mean of COUNT calls
 *
 * Times come from QueryPerformanceCounter; the dialog is looked for every
 * millisecond. Exit status: 0 done, 1 failed or timed out, 2 bad usage. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static LARGE_INTEGER Frequency;

static double MicrosecondsSince(LARGE_INTEGER start)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - start.QuadPart) * 1e6 / (double)Frequency.QuadPart;
}

static int Start(wchar_t *commandLine, PROCESS_INFORMATION *process)
{
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, process)) {
        fprintf(stderr, "bench_driver: cannot start %ls (error %lu)\n", commandLine, GetLastError());
        return 0;
    }
    CloseHandle(process->hThread);
    return 1;
}

struct Search {
    DWORD pid;
    HWND found;
};

static BOOL CALLBACK FindDialog(HWND window, LPARAM param)
{
    struct Search *search = (struct Search *)param;
    DWORD pid = 0;
    wchar_t name[64], title[64];

    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window))
        return TRUE;
    GetClassNameW(window, name, 64);
    GetWindowTextW(window, title, 64);
    if (wcscmp(name, L"#32770") == 0 && wcscmp(title, L"Print") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

static int Holds(const wchar_t *file, ULONGLONG size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(file, GetFileExInfoStandard, &data) &&
           (((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow) >= size;
}

/* Waits for FILE to hold size bytes, then for the process to end; both
 * times in microseconds from since. */
static int WaitForJob(HANDLE process, DWORD timeout, const wchar_t *file, ULONGLONG size,
                      LARGE_INTEGER since, double *lastByte, double *ended)
{
    int exited = 0;

    while (!Holds(file, size)) {
        if (exited || MicrosecondsSince(since) > timeout * 1000.0) {
            fprintf(stderr, "bench_driver: the output never reached %lu bytes\n", (unsigned long)size);
            TerminateProcess(process, 1);
            return 0;
        }
        /* One more look after the end: the last write may come just before. */
        exited = WaitForSingleObject(process, 1) == WAIT_OBJECT_0;
    }
    *lastByte = MicrosecondsSince(since);
    if (WaitForSingleObject(process, timeout) != WAIT_OBJECT_0) {
        fprintf(stderr, "bench_driver: the program did not end\n");
        TerminateProcess(process, 1);
        return 0;
    }
    *ended = MicrosecondsSince(since);
    return 1;
}

static int Run(DWORD timeout, const wchar_t *file, ULONGLONG size, wchar_t *commandLine)
{
    PROCESS_INFORMATION process;
    LARGE_INTEGER start;
    DWORD code = 1;
    double lastByte, ended;

    QueryPerformanceCounter(&start);
    if (!Start(commandLine, &process))
        return 1;
    if (!WaitForJob(process.hProcess, timeout, file, size, start, &lastByte, &ended))
        return 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    printf("%.0f %.0f %lu\n", lastByte, ended, code);
    return 0;
}

static int Job(DWORD timeout, const wchar_t *file, ULONGLONG size, wchar_t *commandLine)
{
    PROCESS_INFORMATION process;
    PROCESS_MEMORY_COUNTERS memory;
    struct Search search;
    LARGE_INTEGER start, confirmed;
    DWORD code = 1;
    double untilDialog, lastByte, ended;

    QueryPerformanceCounter(&start);
    if (!Start(commandLine, &process))
        return 1;
    search.pid = process.dwProcessId;
    search.found = NULL;
    while (!search.found) {
        EnumWindows(FindDialog, (LPARAM)&search);
        if (search.found)
            break;
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) {
            fprintf(stderr, "bench_driver: the program ended without its dialog\n");
            return 1;
        }
        if (MicrosecondsSince(start) > timeout * 1000.0) {
            fprintf(stderr, "bench_driver: no dialog\n");
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
    }
    untilDialog = MicrosecondsSince(start);
    /* The image and the page table are in memory while the dialog waits. */
    ZeroMemory(&memory, sizeof memory);
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);

    QueryPerformanceCounter(&confirmed);
    PostMessageW(search.found, WM_COMMAND, IDOK, 0);
    if (!WaitForJob(process.hProcess, timeout, file, size, confirmed, &lastByte, &ended))
        return 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    printf("%.0f %.0f %.0f %lu %lu %lu\n", untilDialog, lastByte, ended,
           (unsigned long)memory.PeakWorkingSetSize, (unsigned long)memory.PeakPagefileUsage, code);
    return 0;
}

static int Calls(const wchar_t *file, const wchar_t *output, DWORD bytes, int count)
{
    char path[MAX_PATH], device[MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    LARGE_INTEGER start;
    double attributes, writes;
    char *page;
    HANDLE out;
    DWORD written;
    int i;

    WideCharToMultiByte(CP_ACP, 0, file, -1, path, MAX_PATH, NULL, NULL);
    WideCharToMultiByte(CP_ACP, 0, output, -1, device, MAX_PATH, NULL, NULL);
    QueryPerformanceCounter(&start);
    for (i = 0; i < count; i++)
        GetFileAttributesExA(path, GetFileExInfoStandard, &data);
    attributes = MicrosecondsSince(start) / count;

    page = (char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1);
    out = CreateFileA(device, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (!page || out == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "bench_driver: cannot write to %s\n", device);
        return 1;
    }
    QueryPerformanceCounter(&start);
    for (i = 0; i < count; i++)
        WriteFile(out, page, bytes, &written, NULL);
    writes = MicrosecondsSince(start) / count;
    CloseHandle(out);
    printf("%.2f %.2f\n", attributes, writes);
    return 0;
}

/* ---- the page preview ------------------------------------------------------ */

static BOOL CALLBACK FindPreview(HWND window, LPARAM param)
{
    struct Search *search = (struct Search *)param;
    DWORD pid = 0;
    wchar_t name[64];

    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window))
        return TRUE;
    GetClassNameW(window, name, 64);
    if (wcscmp(name, L"VelmarPreview") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

/* Waits until enumerating with find turns up a window of the process. */
static HWND WaitForWindow(WNDENUMPROC find, HANDLE process, DWORD pid, DWORD timeout)
{
    struct Search search;
    LARGE_INTEGER start;

    QueryPerformanceCounter(&start);
    search.pid = pid;
    search.found = NULL;
    while (!search.found) {
        EnumWindows(find, (LPARAM)&search);
        if (search.found)
            break;
        if (WaitForSingleObject(process, 1) == WAIT_OBJECT_0 || MicrosecondsSince(start) > timeout * 1000.0)
            return NULL;
    }
    return search.found;
}

/* Sends a key and waits until the preview has handled it (painted). */
static double Key(HWND window, WPARAM key, DWORD timeout)
{
    LARGE_INTEGER start;
    DWORD_PTR result;

    QueryPerformanceCounter(&start);
    SendMessageTimeoutW(window, WM_KEYDOWN, key, 0, SMTO_NORMAL, timeout, &result);
    return MicrosecondsSince(start);
}

static SIZE_T Commit(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS memory;
    ZeroMemory(&memory, sizeof memory);
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, &memory, sizeof memory);
    return memory.PagefileUsage;
}

static int Preview(DWORD timeout, int turns, wchar_t *commandLine)
{
    PROCESS_INFORMATION process;
    LARGE_INTEGER start;
    HWND dialog, preview;
    DWORD code = 1;
    DWORD_PTR result;
    double open, down = 0, downMax = 0, up = 0, upMax = 0, firstEnd, home, end, empty, t;
    SIZE_T before, after;
    int i;

    if (!Start(commandLine, &process))
        return 1;
    dialog = WaitForWindow(FindDialog, process.hProcess, process.dwProcessId, timeout);
    if (!dialog) {
        fprintf(stderr, "bench_driver: no dialog\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    before = Commit(process.hProcess);
    QueryPerformanceCounter(&start);
    PostMessageW(dialog, WM_COMMAND, 1005, 0); /* Просмотр */
    preview = WaitForWindow(FindPreview, process.hProcess, process.dwProcessId, timeout);
    if (!preview) {
        fprintf(stderr, "bench_driver: no preview\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    SendMessageTimeoutW(preview, WM_NULL, 0, 0, SMTO_NORMAL, timeout, &result);
    open = MicrosecondsSince(start);

    QueryPerformanceCounter(&start);
    for (i = 0; i < 100; i++)
        SendMessageTimeoutW(preview, WM_NULL, 0, 0, SMTO_NORMAL, timeout, &result);
    empty = MicrosecondsSince(start) / 100;

    for (i = 0; i < turns; i++) {
        t = Key(preview, VK_NEXT, timeout);
        down += t;
        if (t > downMax)
            downMax = t;
    }
    Key(preview, VK_HOME, timeout);
    firstEnd = Key(preview, VK_END, timeout);
    home = Key(preview, VK_HOME, timeout);
    end = Key(preview, VK_END, timeout);
    for (i = 0; i < turns; i++) {
        t = Key(preview, VK_PRIOR, timeout);
        up += t;
        if (t > upMax)
            upMax = t;
    }
    after = Commit(process.hProcess);

    Key(preview, VK_ESCAPE, timeout);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(process.hProcess, timeout) != WAIT_OBJECT_0) {
        fprintf(stderr, "bench_driver: the program did not end\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    printf("%.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f %ld %lu\n", open, down / turns, downMax, firstEnd, home,
           end, up / turns, upMax, empty, (long)(after - before), code);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    QueryPerformanceFrequency(&Frequency);
    if (argc == 5 && wcscmp(argv[1], L"preview") == 0 && _wtoi(argv[3]) > 0)
        return Preview((DWORD)_wtoi(argv[2]), _wtoi(argv[3]), argv[4]);
    if (argc == 6 && wcscmp(argv[1], L"calls") == 0)
        return Calls(argv[2], argv[3], (DWORD)_wtoi(argv[4]), _wtoi(argv[5]));
    if (argc != 6) {
        fprintf(stderr, "usage: bench_driver run|job MS FILE SIZE COMMANDLINE\n"
                        "       bench_driver calls FILE OUTPUT BYTES COUNT\n");
        return 2;
    }
    if (wcscmp(argv[1], L"run") == 0)
        return Run((DWORD)_wtoi(argv[2]), argv[3], (ULONGLONG)_wtoi64(argv[4]), argv[5]);
    if (wcscmp(argv[1], L"job") == 0)
        return Job((DWORD)_wtoi(argv[2]), argv[3], (ULONGLONG)_wtoi64(argv[4]), argv[5]);
    fprintf(stderr, "bench_driver: unknown command\n");
    return 2;
}
