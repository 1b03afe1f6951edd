/* driver.c - remote control for velmar.exe in end-to-end tests.
 *
 * Runs under Wine next to the program under test and works on its windows
 * from the outside: finds them, reads the activity log, fills in and presses
 * dialog controls, sends menu commands and keystrokes, waits for windows and
 * processes to go away. run_e2e.sh calls it once per step:
 *
 *   driver find [-v] [-p PID] [-t MS] CLASS TITLE
 *            waits for a top-level window ("*" matches any class or title);
 *            prints "HWND PID LEFT TOP RIGHT BOTTOM CLASS|TITLE"
 *   driver gone HWND MS                     waits until the window is destroyed
 *   driver desktop                          prints the desktop rectangle
 *   driver rect HWND                        prints LEFT TOP RIGHT BOTTOM
 *   driver move HWND LEFT TOP WIDTH HEIGHT  moves and sizes a window
 *   driver lines HWND                       activity log lines, one per line, as
 *                                           hex of their ANSI (code page) bytes
 *   driver gettext HWND ID                  text of a dialog control (UTF-8)
 *   driver settext HWND ID TEXT             sets the text of a dialog control
 *   driver click HWND ID                    clicks a dialog button (BM_CLICK)
 *   driver checked HWND ID                  prints a check box's state (0 or 1)
 *   driver listbox HWND                     prints the window's list box
 *   driver command HWND NUMBER              posts WM_COMMAND NUMBER (menu command)
 *   driver close HWND                       posts WM_CLOSE
 *   driver send HWND MESSAGE WPARAM         sends a message (lParam 0) and
 *                                           waits until it is handled
 *   driver keys HWND KEY...                 brings HWND to the front, then types
 *                                           KEY: enter, esc, tab, down, alt+CHAR
 *                                           or text
 *   driver owner HWND                       prints the window's owner (0 if none)
 *   driver openfile PID PATH MS             fills in the open-file dialog of
 *                                           process PID with PATH and confirms
 *                                           it; PATH "-" cancels the dialog
 *   driver start COMMANDLINE                starts a program with exactly this
 *                                           command line; prints its PID
 *   driver wait-exit PID MS                 waits for process PID to end and
 *                                           prints its exit code
 *   driver kill PID                         ends process PID
 *   driver children HWND                    the window's children, one a line:
 *                                           "HWND ID CLASS STYLE ICON|TEXT" (ICON
 *                                           is 1 when a static shows an icon)
 *   driver clickat HWND                     brings HWND's top-level window to the
 *                                           front and clicks the middle of HWND
 *                                           with the mouse
 *   driver focus HWND                       prints the window that has the
 *                                           keyboard focus in HWND's thread
 *   driver modules PID                      the full paths of the modules
 *                                           loaded in process PID, one a line
 *   driver title HWND                       prints the window's title (UTF-8)
 *   driver pagekeys HWND KEY...             brings HWND to the front, then
 *                                           presses KEY: pgdn, pgup, home,
 *                                           end, left, right, up, down, enter,
 *                                           esc
 *   driver wheel HWND DELTA...              turns the mouse wheel over HWND by
 *                                           each DELTA (120 a notch, positive
 *                                           away from the user)
 *
 * Exit status: 0 done, 1 timed out or not found, 2 bad usage. Every wait has
 * a timeout: a hung program must fail the test, never hang it.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <io.h>
#include <fcntl.h>
#include <tlhelp32.h>

#define POLL_MS 50
#define SEND_TIMEOUT_MS 5000

/* Id of the file name combo box (cmb13) and of the old-style file name edit
 * (edt1) in the common open-file dialog. */
#define FILE_NAME_COMBO 0x47C
#define FILE_NAME_EDIT  0x480

static void PrintUtf8(const wchar_t *text)
{
    char buffer[1024];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    if (n > 0)
        fwrite(buffer, 1, (size_t)n - 1, stdout);
}

static HWND ParseWindow(const wchar_t *text)
{
    return (HWND)(ULONG_PTR)wcstoul(text, NULL, 0);
}

static DWORD Elapsed(DWORD start)
{
    return GetTickCount() - start;
}

static BOOL Matches(const wchar_t *pattern, const wchar_t *value)
{
    return wcscmp(pattern, L"*") == 0 || wcscmp(pattern, value) == 0;
}

/* ---- find ---------------------------------------------------------------- */

typedef struct {
    const wchar_t *className;
    const wchar_t *title;
    DWORD pid;
    BOOL mustBeVisible;
    HWND found;
} FindRequest;

static BOOL CALLBACK FindProc(HWND window, LPARAM param)
{
    FindRequest *request = (FindRequest *)param;
    wchar_t className[256] = L"", title[256] = L"";
    DWORD pid = 0;

    GetWindowThreadProcessId(window, &pid);
    if (request->pid && pid != request->pid)
        return TRUE;
    if (request->mustBeVisible && !IsWindowVisible(window))
        return TRUE;
    GetClassNameW(window, className, 256);
    GetWindowTextW(window, title, 256);
    if (Matches(request->className, className) && Matches(request->title, title)) {
        request->found = window;
        return FALSE;
    }
    return TRUE;
}

static void ShowWindowInfo(HWND window)
{
    wchar_t className[256] = L"", title[256] = L"";
    DWORD pid = 0;
    RECT rect = {0, 0, 0, 0};

    GetWindowThreadProcessId(window, &pid);
    GetWindowRect(window, &rect);
    GetClassNameW(window, className, 256);
    GetWindowTextW(window, title, 256);
    printf("0x%lx %lu %ld %ld %ld %ld ", (unsigned long)(ULONG_PTR)window, (unsigned long)pid,
           rect.left, rect.top, rect.right, rect.bottom);
    PrintUtf8(className);
    printf("|");
    PrintUtf8(title);
    printf("\n");
}

static int CmdFind(int argc, wchar_t **argv)
{
    FindRequest request;
    DWORD timeout = 10000, start;
    int i = 0;

    memset(&request, 0, sizeof request);
    while (i < argc && argv[i][0] == L'-') {
        if (wcscmp(argv[i], L"-v") == 0) {
            request.mustBeVisible = TRUE;
            i++;
        } else if (wcscmp(argv[i], L"-p") == 0 && i + 1 < argc) {
            request.pid = wcstoul(argv[i + 1], NULL, 0);
            i += 2;
        } else if (wcscmp(argv[i], L"-t") == 0 && i + 1 < argc) {
            timeout = wcstoul(argv[i + 1], NULL, 0);
            i += 2;
        } else {
            return 2;
        }
    }
    if (argc - i != 2)
        return 2;
    request.className = argv[i];
    request.title = argv[i + 1];

    start = GetTickCount();
    for (;;) {
        request.found = NULL;
        EnumWindows(FindProc, (LPARAM)&request);
        if (request.found) {
            ShowWindowInfo(request.found);
            return 0;
        }
        if (Elapsed(start) >= timeout)
            break;
        Sleep(POLL_MS);
    }
    fprintf(stderr, "driver: no window of class \"%ls\" titled \"%ls\" after %lu ms\n",
            request.className, request.title, (unsigned long)timeout);
    return 1;
}

static int CmdGone(HWND window, DWORD timeout)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (Elapsed(start) >= timeout) {
            fprintf(stderr, "driver: window 0x%lx still there after %lu ms\n",
                    (unsigned long)(ULONG_PTR)window, (unsigned long)timeout);
            return 1;
        }
        Sleep(POLL_MS);
    }
    return 0;
}

/* ---- the activity log ---------------------------------------------------- */

static BOOL CALLBACK FindListBoxProc(HWND child, LPARAM param)
{
    wchar_t className[64] = L"";
    GetClassNameW(child, className, 64);
    if (_wcsicmp(className, L"ListBox") == 0) {
        *(HWND *)param = child;
        return FALSE;
    }
    return TRUE;
}

/* The list box itself, or the first list box among the window's children. */
static HWND ListBoxOf(HWND window)
{
    wchar_t className[64] = L"";
    HWND listBox = NULL;

    GetClassNameW(window, className, 64);
    if (_wcsicmp(className, L"ListBox") == 0)
        return window;
    EnumChildWindows(window, FindListBoxProc, (LPARAM)&listBox);
    return listBox;
}

/* Across processes Wine hands list box text over as UTF-16 whatever message
 * is used, so the text is asked for in UTF-16 and turned back into the
 * ANSI code page, which gives the bytes the program added. */
static int CmdLines(HWND window)
{
    HWND listBox = ListBoxOf(window);
    DWORD_PTR count = 0, length = 0;
    LRESULT i;

    if (!listBox) {
        fprintf(stderr, "driver: no list box in window 0x%lx\n", (unsigned long)(ULONG_PTR)window);
        return 1;
    }
    if (!SendMessageTimeoutW(listBox, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &count)
        || (LRESULT)count == LB_ERR) {
        fprintf(stderr, "driver: the list box does not answer\n");
        return 1;
    }
    for (i = 0; i < (LRESULT)count; i++) {
        wchar_t text[1024];
        char bytes[2048];
        int n, k;

        memset(text, 0, sizeof text);
        if (!SendMessageTimeoutW(listBox, LB_GETTEXTLEN, (WPARAM)i, 0, SMTO_ABORTIFHUNG,
                                 SEND_TIMEOUT_MS, &length)
            || (LRESULT)length == LB_ERR || length >= 1024)
            return 1;
        if (!SendMessageTimeoutW(listBox, LB_GETTEXT, (WPARAM)i, (LPARAM)text, SMTO_ABORTIFHUNG,
                                 SEND_TIMEOUT_MS, &length))
            return 1;
        n = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
        for (k = 0; k + 1 < n; k++)
            printf("%02x", (unsigned char)bytes[k]);
        printf("\n");
    }
    return 0;
}

/* ---- dialog controls ----------------------------------------------------- */

static HWND Control(HWND dialog, const wchar_t *id)
{
    HWND control = GetDlgItem(dialog, (int)wcstol(id, NULL, 0));
    if (!control)
        fprintf(stderr, "driver: no control %ls in window 0x%lx\n", id, (unsigned long)(ULONG_PTR)dialog);
    return control;
}

static int CmdGetText(HWND dialog, const wchar_t *id)
{
    HWND control = Control(dialog, id);
    wchar_t text[1024];
    DWORD_PTR result;

    if (!control)
        return 1;
    memset(text, 0, sizeof text);
    if (!SendMessageTimeoutW(control, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG,
                             SEND_TIMEOUT_MS, &result))
        return 1;
    PrintUtf8(text);
    printf("\n");
    return 0;
}

static int CmdSetText(HWND dialog, const wchar_t *id, const wchar_t *text)
{
    HWND control = Control(dialog, id);
    DWORD_PTR result;

    if (!control)
        return 1;
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, (LPARAM)text, SMTO_ABORTIFHUNG,
                             SEND_TIMEOUT_MS, &result))
        return 1;
    return 0;
}

/* Empties the box, then pastes text into it through the clipboard, as a
 * user would: unlike WM_SETTEXT, a paste is held to the box's limit. */
static int CmdPaste(HWND dialog, const wchar_t *id, const wchar_t *text)
{
    HWND control = Control(dialog, id);
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory;
    DWORD_PTR result;
    int tries;

    if (!control)
        return 1;
    memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return 1;
    memcpy(GlobalLock(memory), text, bytes);
    GlobalUnlock(memory);
    /* Another program may hold the clipboard for a moment. */
    for (tries = 0; !OpenClipboard(NULL); tries++) {
        if (tries == 50) {
            GlobalFree(memory);
            return 1;
        }
        Sleep(20);
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, memory)) {
        CloseClipboard();
        GlobalFree(memory);
        return 1;
    }
    CloseClipboard();
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, (LPARAM)L"", SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result))
        return 1;
    return SendMessageTimeoutW(control, WM_PASTE, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result) ? 0 : 1;
}

/* Posted, not sent: the click may start a modal loop (a print job, a
 * dialog) that would keep a sent message from returning. */
static int CmdClick(HWND dialog, const wchar_t *id)
{
    HWND control = Control(dialog, id);
    if (!control)
        return 1;
    return PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 1;
}

static int CmdChecked(HWND dialog, const wchar_t *id)
{
    HWND control = Control(dialog, id);
    DWORD_PTR state = 0;

    if (!control || !SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG,
                                         SEND_TIMEOUT_MS, &state))
        return 1;
    printf("%lu\n", (unsigned long)state);
    return 0;
}

/* ---- keyboard ------------------------------------------------------------ */

static void AddKey(INPUT *inputs, int *count, WORD vk, BOOL up)
{
    INPUT *input = &inputs[(*count)++];
    memset(input, 0, sizeof *input);
    input->type = INPUT_KEYBOARD;
    input->ki.wVk = vk;
    input->ki.wScan = (WORD)MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    input->ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
}

static void AddTap(INPUT *inputs, int *count, WORD vk, BOOL alt)
{
    if (alt)
        AddKey(inputs, count, VK_MENU, FALSE);
    AddKey(inputs, count, vk, FALSE);
    AddKey(inputs, count, vk, TRUE);
    if (alt)
        AddKey(inputs, count, VK_MENU, TRUE);
}

/* A character by the key (and shift state) that types it. */
static void AddChar(INPUT *inputs, int *count, wchar_t ch, BOOL alt)
{
    SHORT scan = VkKeyScanW(ch);
    BOOL shift = (scan >> 8) & 1;
    if (shift)
        AddKey(inputs, count, VK_SHIFT, FALSE);
    AddTap(inputs, count, (WORD)(scan & 0xFF), alt);
    if (shift)
        AddKey(inputs, count, VK_SHIFT, TRUE);
}

/* Wine moves the foreground late, mostly after a dialog closed: ask again
 * until it sticks. */
static BOOL BringToFront(HWND window, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        SetForegroundWindow(window);
        if (GetForegroundWindow() == window)
            return TRUE;
        if (Elapsed(start) >= timeout)
            return FALSE;
        Sleep(POLL_MS);
    }
}

static int CmdKeys(HWND window, int argc, wchar_t **argv)
{
    INPUT inputs[256];
    int count = 0, i;

    if (!BringToFront(window, 5000)) {
        fprintf(stderr, "driver: window 0x%lx does not come to the front\n", (unsigned long)(ULONG_PTR)window);
        return 1;
    }
    for (i = 0; i < argc; i++) {
        const wchar_t *key = argv[i];
        if (count > 200)
            return 2;
        if (wcscmp(key, L"enter") == 0)
            AddTap(inputs, &count, VK_RETURN, FALSE);
        else if (wcscmp(key, L"esc") == 0)
            AddTap(inputs, &count, VK_ESCAPE, FALSE);
        else if (wcscmp(key, L"tab") == 0)
            AddTap(inputs, &count, VK_TAB, FALSE);
        else if (wcscmp(key, L"down") == 0)
            AddTap(inputs, &count, VK_DOWN, FALSE);
        else if (wcsncmp(key, L"alt+", 4) == 0 && key[4] && !key[5])
            AddChar(inputs, &count, key[4], TRUE);
        else {
            const wchar_t *p;
            for (p = key; *p && count < 200; p++)
                AddChar(inputs, &count, *p, FALSE);
        }
    }
    return SendInput((UINT)count, inputs, sizeof(INPUT)) == (UINT)count ? 0 : 1;
}

/* ---- the open-file dialog ------------------------------------------------ */

typedef struct {
    DWORD pid;
    HWND found;
} OpenFileRequest;

static BOOL CALLBACK FindOpenFileProc(HWND window, LPARAM param)
{
    OpenFileRequest *request = (OpenFileRequest *)param;
    wchar_t className[64] = L"";
    DWORD pid = 0;

    GetWindowThreadProcessId(window, &pid);
    if (pid != request->pid || !IsWindowVisible(window))
        return TRUE;
    GetClassNameW(window, className, 64);
    if (wcscmp(className, L"#32770") != 0)
        return TRUE;
    if (GetDlgItem(window, FILE_NAME_COMBO) || GetDlgItem(window, FILE_NAME_EDIT)) {
        request->found = window;
        return FALSE;
    }
    return TRUE;
}

/* The open-file dialog is told apart from the program's own dialogs by its
 * file name box, not by its title, which follows Wine's language. */
static int CmdOpenFile(DWORD pid, const wchar_t *path, DWORD timeout)
{
    OpenFileRequest request;
    DWORD start = GetTickCount(), lastPress = 0;
    HWND nameBox;
    DWORD_PTR result;
    BOOL pressed = FALSE;
    const wchar_t *slash;

    request.pid = pid;
    for (;;) {
        request.found = NULL;
        EnumWindows(FindOpenFileProc, (LPARAM)&request);
        if (request.found)
            break;
        if (Elapsed(start) >= timeout) {
            fprintf(stderr, "driver: no open-file dialog in process %lu\n", (unsigned long)pid);
            return 1;
        }
        Sleep(POLL_MS);
    }
    ShowWindowInfo(request.found);

    if (wcscmp(path, L"-") == 0) {
        PostMessageW(request.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     (LPARAM)GetDlgItem(request.found, IDCANCEL));
        return CmdGone(request.found, timeout);
    }

    nameBox = GetDlgItem(request.found, FILE_NAME_COMBO);
    if (!nameBox)
        nameBox = GetDlgItem(request.found, FILE_NAME_EDIT);

    /* Browse to the file's folder first, as a user would. Wine's dialog
     * starts in the folder it last showed and leaves the current directory
     * there when handed a full path from elsewhere; browsing makes the
     * file's folder the current one, where Windows leaves it too. */
    slash = wcsrchr(path, L'\\');
    if (slash && slash > path) {
        wchar_t folder[MAX_PATH];

        lstrcpynW(folder, path, (int)(slash - path + 2 < MAX_PATH ? slash - path + 2 : MAX_PATH));
        if (!SendMessageTimeoutW(nameBox, WM_SETTEXT, 0, (LPARAM)folder, SMTO_ABORTIFHUNG,
                                 SEND_TIMEOUT_MS, &result))
            return 1;
        /* Sent, so that the dialog has moved when the call returns. */
        SendMessageTimeoutW(request.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                            (LPARAM)GetDlgItem(request.found, IDOK), SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS,
                            &result);
        path = slash + 1;
    }
    if (!SendMessageTimeoutW(nameBox, WM_SETTEXT, 0, (LPARAM)path, SMTO_ABORTIFHUNG,
                             SEND_TIMEOUT_MS, &result))
        return 1;

    /* Open is the dialog's IDOK. The dialog may still be busy filling in its
     * file list when the first press arrives, so press again now and then
     * until it has gone. */
    while (IsWindow(request.found) && IsWindowVisible(request.found)) {
        if (!pressed || Elapsed(lastPress) >= 2000) {
            PostMessageW(request.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         (LPARAM)GetDlgItem(request.found, IDOK));
            pressed = TRUE;
            lastPress = GetTickCount();
        }
        if (Elapsed(start) >= timeout) {
            fprintf(stderr, "driver: the open-file dialog stays open\n");
            return 1;
        }
        Sleep(POLL_MS);
    }
    return 0;
}

/* The command line is handed over as it is, so that the program under test
 * sees exactly the blanks, tabs and quotation marks a test wants. */
static int CmdStart(const wchar_t *commandLine)
{
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    wchar_t buffer[1024];

    lstrcpynW(buffer, commandLine, 1024);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessW(NULL, buffer, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "driver: cannot start %ls (error %lu)\n", commandLine, GetLastError());
        return 1;
    }
    printf("%lu\n", process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

/* start-watch: the same, and then stays with the program: its exit code
 * follows on a line of its own, "exit CODE", when it ends. Keeping the
 * handle keeps the code; a later wait-exit finds no process when the
 * program has already ended. */
static int CmdStartWatch(const wchar_t *commandLine)
{
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    wchar_t buffer[1024];
    DWORD code = 0;

    lstrcpynW(buffer, commandLine, 1024);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessW(NULL, buffer, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "driver: cannot start %ls (error %lu)\n", commandLine, GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);
    printf("%lu\n", process.dwProcessId);
    fflush(stdout);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    printf("exit %lu\n", (unsigned long)code);
    return 0;
}

static int CmdWaitExit(DWORD pid, DWORD timeout)
{
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    DWORD status, code = 0;

    if (!process) {
        fprintf(stderr, "driver: no process %lu\n", (unsigned long)pid);
        return 1;
    }
    status = WaitForSingleObject(process, timeout);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (status != WAIT_OBJECT_0) {
        fprintf(stderr, "driver: process %lu still running after %lu ms\n", (unsigned long)pid,
                (unsigned long)timeout);
        return 1;
    }
    printf("%lu\n", (unsigned long)code);
    return 0;
}

static int CmdKill(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    BOOL done;

    if (!process)
        return 0;  /* already gone */
    done = TerminateProcess(process, 1);
    CloseHandle(process);
    return done ? 0 : 1;
}

/* ---- children, mouse, focus, modules ---------------------------------- */

static BOOL CALLBACK ShowChildProc(HWND child, LPARAM param)
{
    wchar_t className[64] = L"", text[256] = L"";
    LONG style = GetWindowLongW(child, GWL_STYLE);
    DWORD_PTR icon = 0;

    (void)param;
    GetClassNameW(child, className, 64);
    GetWindowTextW(child, text, 256);
    if (_wcsicmp(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
        SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &icon);
    printf("0x%lx %d ", (unsigned long)(ULONG_PTR)child, GetDlgCtrlID(child));
    PrintUtf8(className);
    printf(" 0x%08lx %d|", (unsigned long)style, icon != 0);
    PrintUtf8(text);
    printf("\n");
    return TRUE;
}

static void AddMouse(INPUT *input, DWORD flags)
{
    memset(input, 0, sizeof *input);
    input->type = INPUT_MOUSE;
    input->mi.dwFlags = flags;
}

/* A real click, as a user makes it: the window under the pointer gets the
 * mouse message and, for a list box, the keyboard focus. */
static int CmdClickAt(HWND window)
{
    INPUT inputs[2];
    RECT rect;

    if (!BringToFront(GetAncestor(window, GA_ROOT), 5000) || !GetWindowRect(window, &rect))
        return 1;
    if (!SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2))
        return 1;
    AddMouse(&inputs[0], MOUSEEVENTF_LEFTDOWN);
    AddMouse(&inputs[1], MOUSEEVENTF_LEFTUP);
    return SendInput(2, inputs, sizeof(INPUT)) == 2 ? 0 : 1;
}

static int CmdFocus(HWND window)
{
    GUITHREADINFO info;

    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info))
        return 1;
    printf("0x%lx\n", (unsigned long)(ULONG_PTR)info.hwndFocus);
    return 0;
}

static int CmdModules(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    MODULEENTRY32W module;
    BOOL more;

    if (snapshot == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "driver: no module list for process %lu\n", (unsigned long)pid);
        return 1;
    }
    memset(&module, 0, sizeof module);
    module.dwSize = sizeof module;
    for (more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module)) {
        PrintUtf8(module.szExePath);
        printf("\n");
    }
    CloseHandle(snapshot);
    return 0;
}

/* ---- drop-down lists -------------------------------------------------- */

/* Prints the items of the list ID, one a line. */
static int CmdItems(HWND dialog, const wchar_t *id)
{
    HWND list = Control(dialog, id);
    DWORD_PTR count = 0, length = 0, ignored;
    wchar_t text[256];

    if (!list || !SendMessageTimeoutW(list, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &count) ||
        (LRESULT)count < 0)
        return 1;
    for (DWORD_PTR i = 0; i < count; i++) {
        if (!SendMessageTimeoutW(list, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &length) ||
            length >= 256)
            return 1;
        memset(text, 0, sizeof text);
        SendMessageTimeoutW(list, CB_GETLBTEXT, i, (LPARAM)text, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &ignored);
        PrintUtf8(text);
        printf("\n");
    }
    return 0;
}

/* Picks the item TEXT in the list ID as the keyboard does: the list gets
 * the focus, and Home and Down move its selection, which the list tells
 * its dialog as a user's choice. */
static int CmdChoose(HWND dialog, const wchar_t *id, const wchar_t *text)
{
    HWND list = Control(dialog, id);
    DWORD_PTR index = 0, ignored;
    INPUT inputs[64];
    int count = 0;

    if (!list || !SendMessageTimeoutW(list, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text, SMTO_ABORTIFHUNG,
                                      SEND_TIMEOUT_MS, &index) ||
        (LRESULT)index < 0 || index > 30) {
        fprintf(stderr, "driver: no item %ls in list %ls\n", text, id);
        return 1;
    }
    if (!BringToFront(dialog, 5000))
        return 1;
    SendMessageTimeoutW(dialog, WM_NEXTDLGCTL, (WPARAM)list, TRUE, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &ignored);
    AddTap(inputs, &count, VK_HOME, FALSE);
    for (DWORD_PTR i = 0; i < index; i++)
        AddTap(inputs, &count, VK_DOWN, FALSE);
    return SendInput((UINT)count, inputs, sizeof(INPUT)) == (UINT)count ? 0 : 1;
}

/* ---- page keys, the wheel, window titles --------------------------------- */

static int CmdTitle(HWND window)
{
    wchar_t title[256];
    DWORD_PTR result;

    memset(title, 0, sizeof title);
    if (!IsWindow(window) || !SendMessageTimeoutW(window, WM_GETTEXT, 256, (LPARAM)title, SMTO_ABORTIFHUNG,
                                                  SEND_TIMEOUT_MS, &result))
        return 1;
    PrintUtf8(title);
    printf("\n");
    return 0;
}

/* The navigation keys are extended keys: flagged so, as a keyboard sends
 * them, or they would read as the number pad's. */
static void AddExtendedTap(INPUT *inputs, int *count, WORD vk)
{
    AddKey(inputs, count, vk, FALSE);
    inputs[*count - 1].ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    AddKey(inputs, count, vk, TRUE);
    inputs[*count - 1].ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
}

static int CmdPageKeys(HWND window, int argc, wchar_t **argv)
{
    static const struct {
        const wchar_t *name;
        WORD vk;
    } keys[] = {
        {L"pgdn", VK_NEXT}, {L"pgup", VK_PRIOR}, {L"home", VK_HOME}, {L"end", VK_END},
        {L"left", VK_LEFT}, {L"right", VK_RIGHT}, {L"up", VK_UP}, {L"down", VK_DOWN},
    };
    INPUT inputs[128];
    int count = 0, i;
    size_t k;

    if (argc > 60)
        return 2;
    if (!BringToFront(window, 5000)) {
        fprintf(stderr, "driver: window 0x%lx does not come to the front\n", (unsigned long)(ULONG_PTR)window);
        return 1;
    }
    for (i = 0; i < argc; i++) {
        if (wcscmp(argv[i], L"enter") == 0) {
            AddTap(inputs, &count, VK_RETURN, FALSE);
            continue;
        }
        if (wcscmp(argv[i], L"esc") == 0) {
            AddTap(inputs, &count, VK_ESCAPE, FALSE);
            continue;
        }
        for (k = 0; k < sizeof keys / sizeof keys[0]; k++)
            if (wcscmp(argv[i], keys[k].name) == 0)
                break;
        if (k == sizeof keys / sizeof keys[0])
            return 2;
        AddExtendedTap(inputs, &count, keys[k].vk);
    }
    return SendInput((UINT)count, inputs, sizeof(INPUT)) == (UINT)count ? 0 : 1;
}

/* The wheel message goes to the window with the focus; the pointer is put
 * over the window all the same, as a user's hand would be. */
static int CmdWheel(HWND window, int argc, wchar_t **argv)
{
    INPUT input;
    RECT rect;
    int i;

    if (!BringToFront(window, 5000) || !GetWindowRect(window, &rect))
        return 1;
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    for (i = 0; i < argc; i++) {
        AddMouse(&input, MOUSEEVENTF_WHEEL);
        input.mi.mouseData = (DWORD)_wtoi(argv[i]);
        if (SendInput(1, &input, sizeof input) != 1)
            return 1;
    }
    return 0;
}

static int Usage(void)
{
    fprintf(stderr, "usage: driver find|gone|desktop|rect|move|lines|gettext|settext|click|"
                    "checked|listbox|paste|command|send|close|keys|owner|openfile|start|wait-exit|kill|"
                    "children|clickat|focus|modules|items|choose|title|pagekeys|wheel ...\n");
    return 2;
}

int wmain(int argc, wchar_t **argv)
{
    const wchar_t *cmd;
    RECT rect;

    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2)
        return Usage();
    cmd = argv[1];
    argc -= 2;
    argv += 2;

    if (wcscmp(cmd, L"find") == 0)
        return CmdFind(argc, argv);
    if (wcscmp(cmd, L"desktop") == 0) {
        GetWindowRect(GetDesktopWindow(), &rect);
        printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
        return 0;
    }
    if (argc < 1)
        return Usage();
    if (wcscmp(cmd, L"gone") == 0 && argc == 2)
        return CmdGone(ParseWindow(argv[0]), wcstoul(argv[1], NULL, 0));
    if (wcscmp(cmd, L"rect") == 0 && argc == 1) {
        if (!GetWindowRect(ParseWindow(argv[0]), &rect))
            return 1;
        printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
        return 0;
    }
    if (wcscmp(cmd, L"move") == 0 && argc == 5)
        return SetWindowPos(ParseWindow(argv[0]), NULL, _wtoi(argv[1]), _wtoi(argv[2]), _wtoi(argv[3]),
                            _wtoi(argv[4]), SWP_NOZORDER | SWP_NOACTIVATE) ? 0 : 1;
    if (wcscmp(cmd, L"lines") == 0 && argc == 1)
        return CmdLines(ParseWindow(argv[0]));
    if (wcscmp(cmd, L"gettext") == 0 && argc == 2)
        return CmdGetText(ParseWindow(argv[0]), argv[1]);
    if (wcscmp(cmd, L"settext") == 0 && argc == 3)
        return CmdSetText(ParseWindow(argv[0]), argv[1], argv[2]);
    if (wcscmp(cmd, L"paste") == 0 && argc == 3)
        return CmdPaste(ParseWindow(argv[0]), argv[1], argv[2]);
    if (wcscmp(cmd, L"click") == 0 && argc == 2)
        return CmdClick(ParseWindow(argv[0]), argv[1]);
    if (wcscmp(cmd, L"command") == 0 && argc == 2)
        return PostMessageW(ParseWindow(argv[0]), WM_COMMAND, wcstoul(argv[1], NULL, 0), 0) ? 0 : 1;
    if (wcscmp(cmd, L"checked") == 0 && argc == 2)
        return CmdChecked(ParseWindow(argv[0]), argv[1]);
    if (wcscmp(cmd, L"listbox") == 0 && argc == 1) {
        HWND listBox = ListBoxOf(ParseWindow(argv[0]));
        printf("0x%lx\n", (unsigned long)(ULONG_PTR)listBox);
        return listBox ? 0 : 1;
    }
    if (wcscmp(cmd, L"send") == 0 && argc == 3) {
        DWORD_PTR result;
        return SendMessageTimeoutW(ParseWindow(argv[0]), wcstoul(argv[1], NULL, 0), wcstoul(argv[2], NULL, 0),
                                   0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result) ? 0 : 1;
    }
    if (wcscmp(cmd, L"close") == 0 && argc == 1)
        return PostMessageW(ParseWindow(argv[0]), WM_CLOSE, 0, 0) ? 0 : 1;
    if (wcscmp(cmd, L"keys") == 0 && argc >= 2)
        return CmdKeys(ParseWindow(argv[0]), argc - 1, argv + 1);
    if (wcscmp(cmd, L"owner") == 0 && argc == 1) {
        printf("0x%lx\n", (unsigned long)(ULONG_PTR)GetWindow(ParseWindow(argv[0]), GW_OWNER));
        return 0;
    }
    if (wcscmp(cmd, L"start") == 0 && argc == 1)
        return CmdStart(argv[0]);
    if (wcscmp(cmd, L"start-watch") == 0 && argc == 1)
        return CmdStartWatch(argv[0]);
    if (wcscmp(cmd, L"kill") == 0 && argc == 1)
        return CmdKill(wcstoul(argv[0], NULL, 0));
    if (wcscmp(cmd, L"openfile") == 0 && argc == 3)
        return CmdOpenFile(wcstoul(argv[0], NULL, 0), argv[1], wcstoul(argv[2], NULL, 0));
    if (wcscmp(cmd, L"children") == 0 && argc == 1)
        return EnumChildWindows(ParseWindow(argv[0]), ShowChildProc, 0), 0;
    if (wcscmp(cmd, L"clickat") == 0 && argc == 1)
        return CmdClickAt(ParseWindow(argv[0]));
    if (wcscmp(cmd, L"focus") == 0 && argc == 1)
        return CmdFocus(ParseWindow(argv[0]));
    if (wcscmp(cmd, L"modules") == 0 && argc == 1)
        return CmdModules(wcstoul(argv[0], NULL, 0));
    if (wcscmp(cmd, L"wait-exit") == 0 && argc == 2)
        return CmdWaitExit(wcstoul(argv[0], NULL, 0), wcstoul(argv[1], NULL, 0));
    if (wcscmp(cmd, L"items") == 0 && argc == 2)
        return CmdItems(ParseWindow(argv[0]), argv[1]);
    if (wcscmp(cmd, L"choose") == 0 && argc == 3)
        return CmdChoose(ParseWindow(argv[0]), argv[1], argv[2]);
    if (wcscmp(cmd, L"title") == 0 && argc == 1)
        return CmdTitle(ParseWindow(argv[0]));
    if (wcscmp(cmd, L"pagekeys") == 0 && argc >= 2)
        return CmdPageKeys(ParseWindow(argv[0]), argc - 1, argv + 1);
    if (wcscmp(cmd, L"wheel") == 0 && argc >= 2)
        return CmdWheel(ParseWindow(argv[0]), argc - 1, argv + 1);
    return Usage();
}
