/* settings.cpp - the settings file ini.ini beside the executable, section MAIN. */
#include <string.h>

#include "engine.h"

static const char SectionName[] = "MAIN";
static const char IniFileName[] = "ini.ini";

char IniPath[SETTING_TEXT_SIZE];
unsigned char PageDelimiter = 12;

void MakeIniPath(const char *modulePath, char iniPath[SETTING_TEXT_SIZE])
{
    size_t length = strlen(modulePath);
    size_t keep = length;
    size_t used;

    memset(iniPath, 0, SETTING_TEXT_SIZE);
    /* Backwards from the last character down to the second: the first one
     * is never taken for a separator. */
    for (size_t i = length; i-- > 1;) {
        if (modulePath[i] == '\\' || modulePath[i] == '/') {
            keep = i + 1;
            break;
        }
    }
    /* An over-long result is cut at 255 characters, never overrun. */
    used = keep < SETTING_TEXT_SIZE - 1 ? keep : SETTING_TEXT_SIZE - 1;
    memcpy(iniPath, modulePath, used);
    for (size_t i = 0; IniFileName[i] && used < SETTING_TEXT_SIZE - 1; i++)
        iniPath[used++] = IniFileName[i];
}

void BuildIniPath(HINSTANCE instance)
{
    char modulePath[SETTING_TEXT_SIZE];

    memset(modulePath, 0, sizeof modulePath);
    /* One byte short of the buffer: the last byte stays NUL even where the
     * platform does not terminate a cut path. */
    GetModuleFileNameA((HMODULE)instance, modulePath, sizeof modulePath - 1);
    MakeIniPath(modulePath, IniPath);
}

int ReadSettingStruct(const char *key, void *variable, unsigned size)
{
    return GetPrivateProfileStructA(SectionName, key, variable, size, IniPath) ? 1 : 0;
}

int WriteSettingStruct(const char *key, const void *variable, unsigned size)
{
    return WritePrivateProfileStructA(SectionName, key, (LPVOID)variable, size, IniPath) ? 1 : 0;
}

void ReadSettingString(const char *key, const char *defaultValue, char buffer[SETTING_TEXT_SIZE])
{
    memset(buffer, 0, SETTING_TEXT_SIZE);
    GetPrivateProfileStringA(SectionName, key, defaultValue, buffer, SETTING_TEXT_SIZE, IniPath);
    buffer[SETTING_TEXT_SIZE - 1] = '\0';
}

int WriteSettingString(const char *key, const char *text)
{
    return WritePrivateProfileStringA(SectionName, key, text, IniPath) ? 1 : 0;
}
