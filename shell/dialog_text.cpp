/* dialog_text.cpp - reading the dialogs' text boxes into bounded buffers. */
#include <string.h>

#include "shell.h"

void ReadBoxText(HWND dialog, int control, char *text)
{
    memset(text, 0, SETTING_TEXT_SIZE);
    GetDlgItemTextA(dialog, control, text, SETTING_TEXT_SIZE);
}

void LimitBoxText(HWND dialog, int control)
{
    SendDlgItemMessageA(dialog, control, EM_LIMITTEXT, SETTING_TEXT_SIZE - 1, 0);
}

uint32_t ReadNumberBox(HWND dialog, int control, char *text)
{
    ReadBoxText(dialog, control, text);
    return ReadDecimal(text);
}
