/* resource_ids.h - ids shared by app.rc and the shell. The numbers are
 * published (other tools and the help file refer to them): never renumber.
 * Plain #defines only, so the resource compiler can read this file. */
#ifndef VELMAR_RESOURCE_IDS_H
#define VELMAR_RESOURCE_IDS_H

/* Commands */
#define CMD_ABOUT                 104
#define CMD_EXIT                  105
#define CMD_OPEN_AND_PRINT      32772
#define CMD_SETTINGS            32773
#define CMD_HELP                32774

/* Dialogs */
#define IDD_ABOUT                 103
#define IDD_PAGE_RANGE            129
#define IDD_SETTINGS              130

/* Icons */
#define IDI_APPLICATION_ICON      107
#define IDI_SMALL_ICON            108

/* Menu and accelerator table */
#define IDM_MAIN_MENU             109
#define IDA_ACCELERATORS          109

/* Strings */
#define IDS_WINDOW_TITLE          103
#define IDS_CLASS_NAME            109

/* Version block */
#define IDV_VERSION                 1

/* Page range dialog (129) */
#define IDC_PAGE_RANGE_COUNT     1000
#define IDC_PAGE_RANGE_TO        1003
#define IDC_PAGE_RANGE_FROM      1004
#define IDC_PAGE_RANGE_PREVIEW   1005  /* "Просмотр": the page preview */

/* Settings dialog (130) */
#define IDC_SETTINGS_TODOS       1001
#define IDC_SETTINGS_LIMITER     1002
#define IDC_SETTINGS_SKIPEMPTY   1003
#define IDC_SETTINGS_PRINT_TO    1004
#define IDC_SETTINGS_PICK_PRINTER 1005  /* "..." beside Print To: the printer menu */
#define IDC_SETTINGS_CODEPAGE    1006  /* "Code page": CODEPAGE, 866 or 1125 */
#define IDC_SETTINGS_DRAW        1007  /* "Draw pages": DRAW */
#define IDC_SETTINGS_PAGELINES   1008  /* "Lines per page": PAGELINES */
#define IDC_SETTINGS_SETUP       1009  /* "Printer setup": SETUP */
#define IDC_SETTINGS_PICK_SETUP  1010  /* "..." beside Printer setup: common choices */
#define IDC_SETTINGS_WATCH       1011  /* "Watch folder": WATCH */
#define IDC_SETTINGS_PICK_WATCH  1012  /* "..." beside Watch folder: the folder browser */
#define IDC_SETTINGS_PINS        1013  /* "Pins": PINS, 0 (Auto), 9 or 24 */

/* About box (103). The icon is a static control that sends no command, so
 * sharing its number with IDCANCEL (2) cannot be taken for a Cancel. */
#define IDC_ABOUT_ICON              2

#endif
