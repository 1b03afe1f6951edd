/* log_text.cpp - the activity log's texts, as Windows-1251 bytes.
 *
 * The file is UTF-8; the compiler turns the literals into Windows-1251
 * (-fexec-charset=CP1251), and a test pins the resulting bytes. */
#include <string.h>

#include "engine.h"

const char TextStarted[] = "Запуск";
const char TextOpeningFile[] = "Открытие файла ";
const char TextClosingFile[] = "Закрытие файла ";
const char TextError[] = "Ошибка";
const char TextAnalysis[] = "Анализ ";
const char TextRecoding[] = "Перекодировка в DOS";
const char TextBlankSkipped[] = "Пустая страница пропущена";
const char TextDrawing[] = "Печать через драйвер";
const char TextWatching[] = "Слежение за папкой ";

void ComposeLogLine(char *line, const char *prefix, const char *tail)
{
    size_t used = 0;
    const size_t limit = LOG_LINE_SIZE - 1;

    memset(line, 0, LOG_LINE_SIZE);
    for (const char *p = prefix; *p && used < limit; p++)
        line[used++] = *p;
    for (const char *p = tail; p && *p && used < limit; p++)
        line[used++] = *p;
}

void LogWithName(ActivityLog log, char *line, const char *prefix, const char *name)
{
    ComposeLogLine(line, prefix, name);
    LogLine(log, line);
}
