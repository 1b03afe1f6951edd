/* engine.h - the print engine: settings file, page splitting, DOS recoding
 * and the print job, with the two services it asks of its host.
 *
 * The engine holds no user-interface code. Its host (the Windows shell, or a
 * test) supplies LogLine and ChoosePageRange.
 */
#ifndef VELMAR_ENGINE_H
#define VELMAR_ENGINE_H

#include <stddef.h>
#include <stdint.h>

#include "platform.h"

/* ---- Services the host provides ------------------------------------------ */

/* The activity log: in the shell the list box window, in tests a recorder. */
typedef struct ActivityLogTag *ActivityLog;

/* Appends one line (Windows-1251 text) at the end of the log. */
void LogLine(ActivityLog log, const char *text);

/* Shows the page range dialog for pageCount pages, parented to the log
 * window. Stores pageCount in PageCount and the user's numbers in PageFrom
 * and PageTo (on both buttons). Returns 1 for Print, 2 for Cancel; anything
 * else counts as not confirmed. */
int ChoosePageRange(ActivityLog log, uint32_t pageCount);

/* ---- Process-wide state ---------------------------------------------------- */

enum { SETTING_TEXT_SIZE = 256, LOG_LINE_SIZE = 255, PATH_BUFFER_SIZE = 260 };

extern char IniPath[SETTING_TEXT_SIZE];   /* the settings file, set once at start-up */
extern unsigned char PageDelimiter;        /* the byte that ends a page */
extern uint32_t PageCount;                 /* pages of the last job, as offered in the dialog */
extern uint32_t PageFrom;                  /* first page to print, 1-based, as entered */
extern uint32_t PageTo;                    /* last page to print, inclusive */

/* ---- Settings file (section MAIN of IniPath) ----------------------------- */

/* Builds IniPath: "ini.ini" in the directory of the running executable.
 * When the platform fills the whole path buffer (a path that may have been
 * cut), IniPath stays empty: there is then no settings file, reads give
 * their defaults and writes fail. */
void BuildIniPath(HINSTANCE instance);

/* The same rule applied to a given executable path. A result longer than
 * 255 characters is not cut: iniPath is left empty (no settings file). */
void MakeIniPath(const char *modulePath, char iniPath[SETTING_TEXT_SIZE]);

/* Fills size bytes of variable from key; leaves it untouched and returns 0
 * when the key is missing or its text is not exactly 2 * size + 2 hex digits
 * with the right checksum. */
int ReadSettingStruct(const char *key, void *variable, unsigned size);
/* How many times ReadSettingStruct has asked the platform for a value (the
 * other reads came from what it remembered): for the tests and the
 * benchmark. */
extern uint32_t ProfileStructReads;
/* Writes key as hex digits plus checksum. Returns 0 when the write failed. */
int WriteSettingStruct(const char *key, const void *variable, unsigned size);
/* Reads a string of at most 255 characters into buffer (256 bytes, cleared
 * first); copies defaultValue when the key is missing. */
void ReadSettingString(const char *key, const char *defaultValue, char buffer[SETTING_TEXT_SIZE]);
/* Reads a string of any length into buffer (size bytes, cleared first),
 * copying defaultValue when the key is missing; a longer value is cut to
 * size - 1 characters. Returns the length the platform reports, which is
 * larger than strlen(buffer) when the value holds a NUL. */
uint32_t ReadSettingText(const char *key, const char *defaultValue, char *buffer, uint32_t size);
/* Writes text unchanged, empty or not. Returns 0 when the write failed, and
 * refuses (0, nothing written) a text holding a carriage return or line
 * feed, which would make one value several lines. */
int WriteSettingString(const char *key, const char *text);

/* ---- Decimal text ---------------------------------------------------------- */

/* Reads a decimal number: leading bytes 9-13 and 32 skipped, one optional
 * sign, digits accumulated modulo 2^32, negated modulo 2^32 after "-".
 * No digit reads as 0. */
uint32_t ReadDecimal(const char *text);
/* Writes an unsigned value (a page count) as decimal text; 11 bytes suffice. */
void WriteDecimalUnsigned(uint32_t value, char *buffer);

/* ---- Page splitting ------------------------------------------------------- */

/* Entry k describes page k+1: bytes PageStarts[k] .. PageEnds[k] inclusive. */
struct PageTable {
    uint32_t *PageStarts;
    uint32_t *PageEnds;
    uint32_t Entries;
};

/* Cuts image at every delimiter byte. Returns 1 and fills table and
 * pageCount (1 + the number of delimiters), or 0 when the table cannot be
 * allocated (table then empty). */
int SplitPages(const unsigned char *image, uint32_t size, unsigned char delimiter,
               PageTable *table, uint32_t *pageCount);
void FreePageTable(PageTable *table);
/* The same, and a page also ends at its lines-th line feed, counted from its
 * first byte (that line feed is its last byte); the count starts again after
 * every cut. A cut by the count at the image's last byte adds no page.
 * lines 0 is SplitPages itself. */
int SplitPagesByLines(const unsigned char *image, uint32_t size, unsigned char delimiter,
                      uint32_t lines, PageTable *table, uint32_t *pageCount);

/* The job's own data while it waits in ChoosePageRange, for a host that
 * shows the pages (the page range dialog's preview): the image as split
 * (recoded when it was), its page table and the output name. Set right
 * before ChoosePageRange and cleared (NULL, 0) right after it; the job
 * keeps owning the memory. */
extern const unsigned char *JobImage;
extern uint32_t JobImageSize;
extern const PageTable *JobPageTable;
extern const char *JobOutputName;
/* And what a drawn job would start from: the form's set-up bytes and page
 * length (JobPrinterForm), and the printer's code page (866 or 1125). */
extern const struct JobForm *JobPrinterForm;
extern uint32_t JobCodePage;

/* ---- DOS recoding ----------------------------------------------------------- */

/* Recodes Windows-1251 Cyrillic letters to code page 866 in place when the
 * image looks like Windows-1251 text, logging "Перекодировка в DOS". */
void RecodeToDos(unsigned char *image, uint32_t size, ActivityLog log);
/* The same rule, with the table for a printer set to codePage: 1125 sends
 * the Ukrainian letters to their places there; any other value means 866. */
void RecodeToCodePage(unsigned char *image, uint32_t size, uint32_t codePage, ActivityLog log);

/* ---- DOS code pages (codepages.cpp) -------------------------------------- */

/* The printer's code page: CODEPAGE 1125 selects 1125 (Ukrainian); any other
 * value, or none, means 866. */
uint32_t CodePageFromSetting(uint32_t stored);
/* The Unicode characters of bytes 128-255 in that code page (866 for any
 * value but 1125); bytes 0-127 are ASCII. */
const uint16_t *CodePageHighHalf(uint32_t codePage);

/* ---- Text recoded for the printer (unicode_input.cpp) ------------------ */

/* Convert To Dos for the whole image, in place, for a printer set to
 * codePage (1125, else 866): UTF-16 with a byte-order mark, and UTF-8 with
 * its mark or valid throughout with a Cyrillic letter, are decoded into it
 * (the mark dropped, what it lacks as a look-alike or "?"), logging
 * "Перекодировка в DOS"; anything else goes to RecodeToCodePage. Returns
 * the image's new length, never more than size. */
uint32_t RecodeForPrinter(unsigned char *image, uint32_t size, uint32_t codePage, ActivityLog log);

/* ---- Job output (output.cpp) ---------------------------------------------- */

/* Where one job's pages go. An output name that is the name of an installed
 * printer (any letter case) means that printer's queue: one RAW document,
 * named after the input file, started with the first page written. Any
 * other name is opened as a file, as a port or share is. */
struct JobOutput {
    HANDLE file;          /* the open file or device, else INVALID_HANDLE_VALUE */
    HANDLE printer;       /* the open printer, else NULL */
    const char *document; /* the document's name in the queue (inside the input path) */
    int started;          /* a document is open in the queue */
    char *printerName;    /* the printer's own spelling of its name (heap), else NULL */
    int refusesRaw;       /* the printer refused a RAW document: nothing was sent */
};

/* The installed printers, local and connections, in the system's order, as
 * level-4 records in one heap block (HeapFree it); NULL and *count 0 when
 * there are none or they cannot be listed; the last error is then
 * ERROR_NOT_ENOUGH_MEMORY only when the block could not be had. */
PRINTER_INFO_4A *ListInstalledPrinters(DWORD *count);
/* Whether name is an installed printer's (any letter case): what makes a
 * job's output a printer's queue. 0 also when they cannot be listed. */
int IsInstalledPrinter(const char *name);

/* Opens the output; 0 when it cannot be opened. */
int OpenJobOutput(JobOutput *out, const char *outputName, const char *documentPath);
/* Writes one page, unchanged, in one call. 0 when the write fails or comes
 * back short; a queue's document is then thrown away. */
int WriteJobPage(JobOutput *out, const unsigned char *bytes, uint32_t length);
/* Writes bytes that are not a page (the printer's set-up), unchanged, in
 * one call: into a queue's document, started here when needed, without a
 * page mark. 0 as for WriteJobPage. */
int WriteJobBytes(JobOutput *out, const unsigned char *bytes, uint32_t length);
/* Ends the job after its last page, a failed one included: a queue's
 * document is finished (0 when the queue refuses it), a disk file is cut
 * where this job's writes ended (0 when it cannot be). */
int FinishJobOutput(JobOutput *out);
/* Closes the output; an unfinished document is thrown away. */
void CloseJobOutput(JobOutput *out);

/* ---- The printer's form (job_form.cpp) ---------------------------------- */

/* SETUP holds at most 255 characters, so at most 128 numbers. It is read
 * into a buffer twice that size, so that a longer text is seen whole. */
enum { SETUP_TEXT_MAX = 255, SETUP_BYTES_MAX = 128, SETUP_READ_SIZE = 2 * SETTING_TEXT_SIZE };

/* What the settings say about the printer's form, read once by each job
 * after "Анализ ": PAGELINES (4 bytes, 0 or missing: off) and the bytes of
 * SETUP, which go to the output once, in a write of their own, before the
 * job's first page. */
struct JobForm {
    uint32_t pageLines;
    uint32_t setupCount;
    unsigned char setup[SETUP_BYTES_MAX];
};

/* Reads text as decimal byte values 0-255 separated by blanks (space, tab),
 * commas or both, a comma only between two numbers; empty or blank text is
 * no bytes. Returns 1 with the values in bytes (SETUP_BYTES_MAX of room)
 * and their number in *count, or 0 (*count 0) for anything else: a word, a
 * number above 255, a stray comma, more than 255 characters. */
int ParseSetupBytes(const char *text, unsigned char *bytes, uint32_t *count);
/* Reads PAGELINES and SETUP into form. Returns 0 when SETUP is not such a
 * list (form->setupCount then 0). */
int ReadJobForm(JobForm *form);

/* ---- Print job ----------------------------------------------------------- */

/* 1 if any byte of the page is above 32; else logs the blank-page line and
 * returns 0. */
int PageHasText(const unsigned char *bytes, uint32_t length, ActivityLog log);
/* The same test without the log line: 1 if any byte is above 32. */
int PageBytesHaveText(const unsigned char *bytes, uint32_t length);

/* The whole job. Returns 1 when it ran to its end after opening both files,
 * 0 when an open failed or the job broke off with "Ошибка". */
int PrintFile(ActivityLog log, const char *inputPath, const char *outputName);
/* The same job with every page and no page range dialog (PageCount, PageFrom
 * and PageTo are set as if the user had taken them all). */
int PrintWholeFile(ActivityLog log, const char *inputPath, const char *outputName);

/* ---- Watched folder (watch.cpp) --------------------------------------- */

/* A file is taken once it has kept its size and last-write time this long
 * and opens with no sharing. A step reads at most WATCH_STEP_ENTRIES
 * entries of the folder, and the oldest WATCH_KNOWN_FILES files it takes
 * are all it remembers between steps. */
enum { WATCH_STABLE_MS = 2000, WATCH_STEP_ENTRIES = 256, WATCH_KNOWN_FILES = 64 };

/* Whether an entry of the folder is one to print: a file, not hidden or
 * system, whose name neither starts with "~" nor ends in ".tmp" (those are
 * written by editors and copiers while they work), nor holds a "?" (a name
 * this code page cannot spell, so it could not be opened). */
int WatchTakesEntry(const char *name, DWORD attributes);
/* name with " (number)" before its extension (the part from its last dot,
 * unless that dot starts the name); number 1 is name itself. 0 when the
 * result does not fit size bytes. */
int NumberedName(const char *name, uint32_t number, char *buffer, uint32_t size);
/* Watches folder (text as stored, at most 255 characters) from now on:
 * logs "Слежение за папкой " + folder and returns 1; or, when the folder
 * cannot be listed or another velmar watches it, logs "Ошибка" and returns
 * 0 with nothing watched. The folder watched already (the same text) goes
 * on as it is, logging nothing; an empty one only stops watching. */
int StartWatching(ActivityLog log, const char *folder);
void StopWatching(void);
/* The folder watched, as it was given, or NULL. */
const char *WatchedFolder(void);
/* One step, called on a timer: lists a part of the folder and, when a
 * file is complete, prints it (PrintWholeFile, to POPT) and moves it to
 * "printed", or after "Ошибка" to "failed", under a numbered name when
 * its own is taken. A move that cannot be made logs "Ошибка" and stops
 * watching. now is GetTickCount's. Returns 1 when a job ran. */
int WatchStep(ActivityLog log, DWORD now);

/* ---- Log texts (Windows-1251) ------------------------------------------- */

extern const char TextStarted[];        /* Запуск */
extern const char TextOpeningFile[];    /* "Открытие файла " */
extern const char TextClosingFile[];    /* "Закрытие файла " */
extern const char TextError[];          /* Ошибка */
extern const char TextAnalysis[];       /* "Анализ " */
extern const char TextRecoding[];       /* Перекодировка в DOS */
extern const char TextBlankSkipped[];   /* Пустая страница пропущена */
extern const char TextDrawing[];        /* Печать через драйвер */
extern const char TextWatching[];       /* "Слежение за папкой " */

/* Composes prefix + tail into line (LOG_LINE_SIZE bytes), cut at 254
 * characters. */
void ComposeLogLine(char *line, const char *prefix, const char *tail);
/* Composes prefix + name into line and logs it. */
void LogWithName(ActivityLog log, char *line, const char *prefix, const char *name);

#endif
