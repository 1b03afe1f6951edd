/* test_support.h - what the engine tests share: a scratch directory, whole
 * file reads and writes, the recording host, and where they run. */
#ifndef VELMAR_TEST_SUPPORT_H
#define VELMAR_TEST_SUPPORT_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "engine.h"
#include "layout.h"
#ifndef _WIN32
#include "posix/posix_faults.h" /* faults on demand, in the POSIX stand-in only */
#endif

typedef std::vector<unsigned char> Bytes;

/* True when the tests run under Wine rather than natively or on Windows. */
bool RunningUnderWine();
/* True for the Windows build (real Win32 functions). */
bool RunningOnWindowsApi();

/* A fresh empty directory for one test, beside the test program. */
std::string ScratchDirectory(const char *name);
std::string JoinPath(const std::string &directory, const std::string &name);
std::string FixturePath(const char *name);
std::string ProgramPath();

void WriteBytes(const std::string &path, const Bytes &bytes);
void WriteText(const std::string &path, const std::string &text);
Bytes ReadBytes(const std::string &path);
std::string ReadText(const std::string &path);
bool FileExists(const std::string &path);
/* Makes a sparse file of the given size (beyond what can be held in memory),
 * removed again when the running test ends, passed or failed. Returns false
 * when it cannot; *whyNot then says so if the file system cannot leave a
 * file's bytes unwritten (WSL's /mnt/c, exFAT, some network mounts), where
 * the file would cost gigabytes of real writes, and stays empty otherwise. */
bool MakeSparseFile(const std::string &path, uint64_t size, std::string *whyNot);

/* Makes the sparse file, or ends the test: skipped with the reason where the
 * file system cannot make one, failed where the file cannot be made. */
#define MAKE_SPARSE_FILE_OR_SKIP(path, size)                                   \
    do {                                                                       \
        std::string whyNot_;                                                   \
        if (!MakeSparseFile((path), (size), &whyNot_)) {                       \
            if (whyNot_.empty())                                               \
                FAIL() << "cannot make the sparse file " << (path);           \
            GTEST_SKIP() << whyNot_;                                           \
        }                                                                      \
    } while (0)
Bytes ToBytes(const std::string &text);

#ifndef _WIN32
/* size bytes of zeros, read-only, that end exactly where an unreadable page
 * begins: a read past the end crashes the test instead of going unseen.
 * NULL when the address space cannot be had. Give it back with
 * UnmapGuardedZeros. */
unsigned char *MapGuardedZeros(uint32_t size);
void UnmapGuardedZeros(unsigned char *image, uint32_t size);
#endif
/* The current time moved by the given seconds, as a file time. */
FILETIME FileTimeFromNow(int64_t seconds);
/* Sets a file's (or a folder's) last-write time, as an editor that keeps it
 * would. */
bool SetLastWriteTime(const std::string &path, FILETIME time);

/* ---- Recording host ------------------------------------------------------ */

/* What LogLine received, and what ChoosePageRange will answer. */
struct RecordingHost {
    std::vector<std::string> lines;
    int button;          /* answer of ChoosePageRange: 1 print, 2 cancel */
    uint32_t from;
    uint32_t to;
    bool asked;
    uint32_t offeredCount;
    ActivityLog askedWith;
    /* Called after each line is recorded, while the job goes on: a test
     * can change the world between two pages. */
    std::function<void(const std::string &)> onLine;
    /* What the job lent for the dialog's preview, as the dialog saw it. */
    Bytes lentImage;
    uint32_t lentEntries;
    std::string lentOutput;
    bool lentAll;        /* image, size, table, output name and form all set */
    Bytes lentSetup;     /* the form's set-up bytes */
    uint32_t lentPageLines;
    uint32_t lentCodePage;
};
extern RecordingHost Host;

/* A sheet the drawing service was handed, copied. */
struct RecordedSheet {
    std::vector<LayoutLine> lines;
    std::vector<LayoutCell> cells;
    std::vector<LayoutDots> dots;
    uint32_t carriage;
    uint32_t form;
};

/* The sheet copied; its pictures' dots are added to the rectangles after
 * those of the sheet's own, a row's runs at a time, each run joined to the
 * same run of the row above. */
RecordedSheet RecordSheet(const LayoutSheet *sheet);

/* The drawing service: what it was asked, and how it is to fail. */
struct RecordingDrawer {
    unsigned documents;        /* StartDrawing calls that opened a document */
    unsigned ended;            /* EndDrawing calls */
    unsigned aborted;          /* AbortDrawing calls */
    std::string printerName;   /* of the last StartDrawing */
    std::string documentName;
    uint32_t carriage;
    uint32_t form;
    size_t logLinesAtStart;    /* log lines there were when drawing started */
    std::vector<RecordedSheet> sheets;
    bool failStart;            /* StartDrawing fails */
    unsigned failSheet;        /* the sheet of this number (1-based) fails; 0: none */
    bool failEnd;              /* EndDrawing fails */
};
extern RecordingDrawer Drawer;
void ResetDrawer();

/* A sheet's text in UTF-8: one line per row of 1/6 inch from the top (rows
 * that print nothing are empty), each cell at the column its left edge
 * falls in at its own width, cells struck on the same place one after
 * another. Lines end with '\n'; trailing empty rows are left out. */
std::string SheetText(const LayoutLine *lines, uint32_t lineCount, const LayoutCell *cells);
std::string SheetText(const LayoutSheet &sheet);
std::string SheetText(const RecordedSheet &sheet);

/* The log handle the tests pass to the engine. */
ActivityLog TestLog();
/* Clears the record; the next dialog answers button with from and to. */
void ResetHost(int button, uint32_t from, uint32_t to);

#endif
