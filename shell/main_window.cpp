/* main_window.cpp - the main window: the activity log list box filling its
 * client area, the menu commands, and the saved window placement. */
#include <stddef.h>
#include <string.h>

#include "shell.h"
#include "resource_ids.h"

#include <commdlg.h>

static const char AllAndTextFilter[] = "All\0*.*\0Text\0*.TXT\0";

/* The watched folder is looked at four times a second; each look does a
 * bounded part of the work, so the window answers between them. After a
 * job the next look comes as soon as nothing else waits (a timer message
 * is only made when the queue is empty, so input still goes first): a
 * full folder empties at the speed of its jobs. */
enum { WATCH_TIMER = 1, WATCH_TICK_MS = 250, WATCH_BUSY_MS = USER_TIMER_MINIMUM };

void LogLine(ActivityLog log, const char *text)
{
    SendMessageA((HWND)log, LB_ADDSTRING, 0, (LPARAM)text);
}

static void FitActivityLog(HWND window)
{
    RECT client;

    GetClientRect(window, &client);
    if (ActivityLogWindow)
        MoveWindow(ActivityLogWindow, client.left, client.top, client.right, client.bottom, TRUE);
}

/* True when some monitor shows a part of the window's title bar, so the
 * user can take hold of it. */
static int TitleBarVisible(HWND window)
{
    RECT strip;

    GetWindowRect(window, &strip);
    strip.bottom = strip.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
    return MonitorFromRect(&strip, MONITOR_DEFAULTTONULL) != NULL;
}

/* The saved rectangle, unless it would leave the title bar on no monitor
 * (a screen since removed, a hand-edited file): the window then stays
 * centred, as on the first start. */
static void RestorePlacement(HWND window)
{
    int32_t rect[4];   /* left, top, right, bottom */
    RECT centred;

    memset(rect, 0, sizeof rect);
    ReadSettingStruct("RECT", rect, sizeof rect);
    if (rect[2] == 0 || rect[3] == 0)
        return;
    GetWindowRect(window, &centred);
    /* Width and height as unsigned: a rectangle of any four numbers has
     * one, and the window system cuts it to what a window may have. */
    MoveWindow(window, rect[0], rect[1], (int)((uint32_t)rect[2] - (uint32_t)rect[0]),
               (int)((uint32_t)rect[3] - (uint32_t)rect[1]), TRUE);
    if (!TitleBarVisible(window))
        MoveWindow(window, centred.left, centred.top, centred.right - centred.left,
                   centred.bottom - centred.top, TRUE);
}

static void SaveAndQuit(HWND window)
{
    RECT placement;
    int32_t rect[4];

    memset(&placement, 0, sizeof placement);
    GetWindowRect(window, &placement);
    rect[0] = placement.left;
    rect[1] = placement.top;
    rect[2] = placement.right;
    rect[3] = placement.bottom;
    WriteSettingStruct("RECT", rect, sizeof rect);
    PostQuitMessage(0);
}

static LRESULT OnCreate(HWND window)
{
    HANDLE heap = GetProcessHeap();
    RECT client;
    char *line;
    int printed = 0;

    RestorePlacement(window);

    GetClientRect(window, &client);
    ActivityLogWindow = CreateWindowExA(0, "listbox", "listbox", WS_CHILD | WS_VISIBLE,
                                        client.left, client.top, client.right, client.bottom,
                                        window, (HMENU)0, AppInstance, NULL);

    line = (char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, LOG_LINE_SIZE);
    if (line) {
        ComposeLogLine(line, TextStarted, NULL);
        LogLine((ActivityLog)ActivityLogWindow, line);
    } else {
        LogLine((ActivityLog)ActivityLogWindow, TextStarted);
    }

    if (CommandLineFileCut) {
        /* Reported the way a file that cannot be opened is; the name's first
         * characters stand in the line. */
        if (line) {
            LogWithName((ActivityLog)ActivityLogWindow, line, TextOpeningFile, CommandLineFile);
            LogLine((ActivityLog)ActivityLogWindow, TextError);
        }
    } else if (CommandLineFile[0] != '\0') {
        /* A command-line job always goes to the first parallel port. */
        printed = PrintFile((ActivityLog)ActivityLogWindow, CommandLineFile, "LPT1");
    }

    if (line)
        HeapFree(heap, 0, line);
    SetTimer(window, WATCH_TIMER, WATCH_TICK_MS, NULL);
    /* A command-line job is only its own file: no folder is watched at
     * its start (Setting may name one later, should the window stay). */
    if (CommandLineFile[0] == '\0') {
        char folder[SETTING_TEXT_SIZE];
        ReadSettingString("WATCH", "", folder);
        StartWatching((ActivityLog)ActivityLogWindow, folder);
    }
    /* The job ran: quit without saving the placement. The window is still
     * created and shown; the loop ends on the quit message. */
    if (printed)
        PostQuitMessage(0);
    return 0;
}

static void OpenAndPrint(HWND window)
{
    HANDLE heap = GetProcessHeap();
    OPENFILENAMEA request;
    char *path;
    char *output;

    path = (char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, PATH_BUFFER_SIZE);
    if (!path)
        return;

    memset(&request, 0, sizeof request);
    request.lStructSize = OPEN_FILE_REQUEST_SIZE;
    request.hwndOwner = window;
    request.lpstrFilter = AllAndTextFilter;
    request.nFilterIndex = 2;   /* "Text" */
    request.lpstrFile = path;
    request.nMaxFile = PATH_BUFFER_SIZE;
    request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

    if (GetOpenFileNameA(&request) && path[0] != '\0') {
        /* The output name is read afresh for every job. */
        output = (char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, SETTING_TEXT_SIZE);
        if (output) {
            ReadSettingString("POPT", "LPT1", output);
            PrintFile((ActivityLog)ActivityLogWindow, path, output);
            HeapFree(heap, 0, output);
        }
    }
    HeapFree(heap, 0, path);
}

/* One job at a time: while a dialog is open (the window is disabled under
 * it, and its loop still delivers the timer) the files wait. */
static void OnWatchTimer(HWND window)
{
    static int running;
    static int busy;
    int ran;

    if (running || !IsWindowEnabled(window))
        return;
    running = 1;
    ran = WatchStep((ActivityLog)ActivityLogWindow, GetTickCount());
    if (ran != busy) {
        busy = ran;
        SetTimer(window, WATCH_TIMER, busy ? WATCH_BUSY_MS : WATCH_TICK_MS, NULL);
    }
    running = 0;
}

/* Returns 1 when the command is one of the menu's, else 0. */
static int OnCommand(HWND window, WORD command)
{
    switch (command) {
    case CMD_ABOUT:          ShowAboutDialog(window); break;
    case CMD_EXIT:           SendMessageA(window, MSG_SAVE_AND_QUIT, 0, 0); break;
    case CMD_OPEN_AND_PRINT: OpenAndPrint(window); break;
    case CMD_SETTINGS:       ShowSettingsDialog(window); break;
    case CMD_HELP:           ShowProgramHelp(window); break;
    default:                 return 0;
    }
    FitActivityLog(window);
    return 1;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PAINTSTRUCT paint;

    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
    case WM_CLOSE:
        /* Closing does not destroy the window: the quit message ends the
         * loop and the process goes with the window still in place. */
        SendMessageA(window, MSG_SAVE_AND_QUIT, 0, 0);
        return 0;
    case WM_SIZE:
        FitActivityLog(window);
        return 0;
    case WM_TIMER:
        if (wParam == WATCH_TIMER)
            OnWatchTimer(window);
        return 0;
    case WM_PAINT:
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    case MSG_SAVE_AND_QUIT:
        SaveAndQuit(window);
        return 0;
    case WM_COMMAND:
        if (OnCommand(window, LOWORD(wParam)))
            return 0;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
