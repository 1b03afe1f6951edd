/* bench_driver.c - times programs from inside Wine for bench_wine.sh.
 *
 *   bench_driver run MS COMMANDLINE
 *       starts the command line, waits for it to end; prints
 *       "total_us EXITCODE"
 *   bench_driver job MS COMMANDLINE
 *       starts velmar.exe's command line, waits for its page range dialog,
 *       reads the process's memory counters, confirms the dialog at once and
 *       waits for the process to end; prints
 *       "start_us job_us peak_working_set peak_commit EXITCODE"
 *       where start_us runs from process creation to the dialog being found
 *       and job_us from the confirmation to the end of the process.
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

static int Run(DWORD timeout, wchar_t *commandLine)
{
    PROCESS_INFORMATION process;
    LARGE_INTEGER start;
    DWORD code = 1;
    double total;

    QueryPerformanceCounter(&start);
    if (!Start(commandLine, &process))
        return 1;
    if (WaitForSingleObject(process.hProcess, timeout) != WAIT_OBJECT_0) {
        fprintf(stderr, "bench_driver: timed out\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    total = MicrosecondsSince(start);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    printf("%.0f %lu\n", total, code);
    return 0;
}

static int Job(DWORD timeout, wchar_t *commandLine)
{
    PROCESS_INFORMATION process;
    PROCESS_MEMORY_COUNTERS memory;
    struct Search search;
    LARGE_INTEGER start, confirmed;
    DWORD code = 1;
    double untilDialog, job;

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
    if (WaitForSingleObject(process.hProcess, timeout) != WAIT_OBJECT_0) {
        fprintf(stderr, "bench_driver: the job did not end\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    job = MicrosecondsSince(confirmed);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    printf("%.0f %.0f %lu %lu %lu\n", untilDialog, job, (unsigned long)memory.PeakWorkingSetSize,
           (unsigned long)memory.PeakPagefileUsage, code);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    QueryPerformanceFrequency(&Frequency);
    if (argc != 4) {
        fprintf(stderr, "usage: bench_driver run|job MS COMMANDLINE\n");
        return 2;
    }
    if (wcscmp(argv[1], L"run") == 0)
        return Run((DWORD)_wtoi(argv[2]), argv[3]);
    if (wcscmp(argv[1], L"job") == 0)
        return Job((DWORD)_wtoi(argv[2]), argv[3]);
    fprintf(stderr, "bench_driver: unknown command\n");
    return 2;
}
