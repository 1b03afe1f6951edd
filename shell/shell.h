/* shell.h - the Windows front end: shared state of the one thread and the
 * entry points of the main window, the dialogs and the help launcher. */
#ifndef VELMAR_SHELL_H
#define VELMAR_SHELL_H

#include <windows.h>
#include <commdlg.h>

#include "command_line.h"
#include "engine.h"

enum { SHELL_TEXT_SIZE = 256 };

/* The open-file request in its original layout, up to lpTemplateName, which
 * every version of the common dialogs accepts (the header's
 * OPENFILENAME_SIZE_VERSION_400A, which is no constant expression): 76 bytes
 * on 32-bit Windows, 136 on 64-bit. */
enum { OPEN_FILE_REQUEST_SIZE = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) };

/* ---- Process-wide state (main.cpp) --------------------------------------- */

extern HINSTANCE AppInstance;
extern char WindowTitle[SHELL_TEXT_SIZE];      /* string 103 */
extern char WindowClassName[SHELL_TEXT_SIZE];  /* string 109 */
/* The file named first on the command line, or empty. */
extern char CommandLineFile[COMMAND_LINE_FILE_SIZE];
/* Set when that name was too long for CommandLineFile, which then holds only
 * its first 255 characters: the file is reported as not opened and nothing
 * is printed. */
extern int CommandLineFileCut;
/* The activity log list box; every log line goes to it. */
extern HWND ActivityLogWindow;

/* ---- Start-up (main.cpp) -------------------------------------------------- */

/* Runs the program and returns its exit code. */
int StartApplication(HINSTANCE instance, const char *commandTail, int showState);

/* ---- Main window (main_window.cpp) ---------------------------------------- */

/* The main window's own "save the placement and quit" message, sent, never
 * posted. It shares its number with the system's quit message, which never
 * reaches a window procedure, so the two cannot meet. */
enum { MSG_SAVE_AND_QUIT = 18 };

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/* ---- Dialogs, one file each ------------------------------------------------ */

/* The Setting dialog's printer menu (printer_menu.cpp): shows it under the
 * "..." button and puts the chosen name into the Print To box. */
void PickPrinter(HWND dialog);
/* The menu of the "..." button beside Printer setup: a few common set-up
 * strings; the choice fills the box, nothing is stored before OK. */
void PickSetup(HWND dialog);

/* Modal dialogs owned by owner; each returns what the dialog ended with.
 * The page range dialog opens through the engine's ChoosePageRange. */
INT_PTR ShowSettingsDialog(HWND owner);
INT_PTR ShowAboutDialog(HWND owner);

/* The page range dialog's preview (page_preview.cpp): shows the job's pages
 * in a modal window owned by dialog, from the page in its From box, and
 * returns when that window has gone. Enter there puts the page shown into
 * From and To and leaves the focus on Print. Only while a job lends its
 * pages (JobPageTable); nothing happens otherwise. */
void ShowPagePreview(HWND dialog);
/* Closes the preview if one is open; the dialog calls it before it ends. */
void ClosePagePreview(void);

/* ---- Dialog boxes (dialog_text.cpp) --------------------------------------- */

/* Clears text (SETTING_TEXT_SIZE bytes) and reads the box's first 255
 * characters into it. */
void ReadBoxText(HWND dialog, int control, char *text);
/* The box's text read as a decimal number (ReadDecimal); text is scratch. */
uint32_t ReadNumberBox(HWND dialog, int control, char *text);
/* Lets the user type or paste no more than ReadBoxText takes. */
void LimitBoxText(HWND dialog, int control);

/* ---- Help (help.cpp) ------------------------------------------------------ */

enum { HELP_DISPLAY_TOPIC = 0 };

/* Calls the HTML Help control with these arguments, loading it on first use.
 * Returns its result, or 0 when the control is not available. */
HWND ShowHelp(HWND owner, const char *file, UINT command, DWORD_PTR data);

/* Opens velmar.chm from the program's own folder at its default topic. */
HWND ShowProgramHelp(HWND owner);

/* Called first thing at start-up: DLLs loaded later by name (the help
 * control's own helpers, the dialogs' libraries) come from the system
 * folder, never from the current folder. */
void RemoveCurrentFolderFromDllSearch(void);

#endif
