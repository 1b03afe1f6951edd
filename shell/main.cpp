/* main.cpp - start-up: the command line, the main window class and window,
 * and the one message loop of the process. */
#include <string.h>

#include "shell.h"
#include "resource_ids.h"

HINSTANCE AppInstance;
char WindowTitle[SHELL_TEXT_SIZE];
char WindowClassName[SHELL_TEXT_SIZE];
char CommandLineFile[COMMAND_LINE_FILE_SIZE];
int CommandLineFileCut;
HWND ActivityLogWindow;

static void RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass;

    memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN_MENU);
    windowClass.lpszClassName = WindowClassName;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL_ICON));
    /* A failure shows up as a failed window creation. */
    RegisterClassExA(&windowClass);
}

/* Settings file, delimiter, and the main window centred on the desktop.
 * Creating the window runs its creation handling, a command-line job
 * included. Returns 0 when the window could not be created. */
static int InitInstance(HINSTANCE instance, int showState)
{
    RECT desktop;
    HWND window;

    AppInstance = instance;
    BuildIniPath(instance);
    PageDelimiter = 12;
    ReadSettingStruct("LIMITER", &PageDelimiter, 1);

    GetWindowRect(GetDesktopWindow(), &desktop);
    window = CreateWindowExA(0, WindowClassName, WindowTitle, WS_OVERLAPPEDWINDOW,
                             desktop.right / 2 - 175, desktop.bottom / 2 - 100, 350, 200,
                             NULL, NULL, instance, NULL);
    if (!window)
        return 0;
    ShowWindow(window, showState);
    UpdateWindow(window);
    return 1;
}

int StartApplication(HINSTANCE instance, const char *commandTail, int showState)
{
    HACCEL accelerators;
    MSG message;

    CommandLineFileCut = !TakeFirstToken(commandTail, CommandLineFile);

    LoadStringA(instance, IDS_WINDOW_TITLE, WindowTitle, SHELL_TEXT_SIZE);
    LoadStringA(instance, IDS_CLASS_NAME, WindowClassName, SHELL_TEXT_SIZE);
    RegisterMainWindowClass(instance);

    if (!InitInstance(instance, showState))
        return 0;

    accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_ACCELERATORS));
    memset(&message, 0, sizeof message);
    /* Only the quit message ends the loop. An accelerator goes to the window
     * the keystroke was meant for, which need not be the main window: once
     * the activity log has the focus, Alt+? goes to the list box, which
     * ignores the command. */
    while (GetMessageA(&message, NULL, 0, 0) != 0) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return (int)message.wParam;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR runtimeTail, int runtimeShow)
{
    STARTUPINFOA startup;
    int showState = SW_SHOWDEFAULT;

    RemoveCurrentFolderFromDllSearch();

    /* The runtime's own tail follows other quoting rules: work it out from
     * the raw command line instead. */
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    if (startup.dwFlags & STARTF_USESHOWWINDOW)
        showState = startup.wShowWindow;

    /* Nothing is to run at exit: no exit handlers, no static destructors. */
    ExitProcess((UINT)StartApplication(instance, SkipProgramName(GetCommandLineA()), showState));
    return 0;
}
