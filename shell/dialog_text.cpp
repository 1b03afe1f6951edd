/* dialog_text.cpp - reading the dialogs' text boxes into bounded buffers. */
#include <string.h>

#include "shell.h"

void ReadBoxText(HWND dialog, int control, char *text)
{
    memset(text, 0, SETTING_TEXT_SIZE);
    GetDlgItemTextA(dialog, control, text, SETTING_TEXT_SIZE);
}

uint32_t ReadNumberBox(HWND dialog, int control, char *text)
{
    ReadBoxText(dialog, control, text);
    return ReadDecimal(text);
}
