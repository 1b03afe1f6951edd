/* output.cpp - where a job's pages go: the queue of an installed printer,
 * or anything that opens as a file (a port, a share, a path).
 *
 * A printer is recognised only by finding its name among the installed
 * printers. Asking OpenPrinterA first and falling back to CreateFileA would
 * work too, but a spooler that fails for another reason would then leave a
 * file named after the printer in the current folder.
 */
#include <string.h>

#include "engine.h"

PRINTER_INFO_4A *ListInstalledPrinters(DWORD *count)
{
    HANDLE heap = GetProcessHeap();
    DWORD size = 0;

    *count = 0;
    SetLastError(NO_ERROR);
    /* The list may grow between asking for its size and fetching it. */
    for (int attempt = 0; attempt < 3; attempt++) {
        DWORD needed = 0;
        BYTE *buffer = size ? (BYTE *)HeapAlloc(heap, 0, size) : NULL;

        if (size && !buffer) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return NULL;
        }
        if (EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, NULL, 4, buffer, size,
                          &needed, count))
            return (PRINTER_INFO_4A *)buffer;
        if (buffer)
            HeapFree(heap, 0, buffer);
        *count = 0;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= size)
            return NULL;
        size = needed;
    }
    return NULL;
}

/* Whether name is the name of an installed printer (any letter case): 1 with
 * the printer's own spelling in *found as a heap copy, 0 when it is not (also
 * when there is no spooler to list printers), -1 when memory ran out before
 * that could be told. Taking such a name for a file would print to a stray
 * file named after the printer. */
static int FindInstalledPrinter(const char *name, char **found)
{
    HANDLE heap = GetProcessHeap();
    size_t length = strlen(name);
    DWORD count = 0;
    PRINTER_INFO_4A *printers;
    int status = 0;

    *found = NULL;
    if (length == 0)
        return 0;
    printers = ListInstalledPrinters(&count);
    if (!printers && GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
        return -1;
    for (DWORD i = 0; i < count && status == 0; i++) {
        const char *candidate = printers[i].pPrinterName;
        /* Equal length first: the system comparison passes over a few
         * characters it deems ignorable. */
        if (!candidate || strlen(candidate) != length || lstrcmpiA(candidate, name) != 0)
            continue;
        *found = (char *)HeapAlloc(heap, 0, length + 1);
        if (*found) {
            memcpy(*found, candidate, length + 1);
            status = 1;
        } else {
            status = -1;
        }
    }
    if (printers)
        HeapFree(heap, 0, printers);
    return status;
}

int IsInstalledPrinter(const char *name)
{
    char *found;

    if (FindInstalledPrinter(name, &found) <= 0)
        return 0;
    HeapFree(GetProcessHeap(), 0, found);
    return 1;
}

/* The document's name in the queue: the input's file name, without its
 * folders. */
static const char *BaseName(const char *path)
{
    const char *base = path;

    for (const char *p = path; *p; p++) {
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    }
    return *base ? base : path;
}

int OpenJobOutput(JobOutput *out, const char *outputName, const char *documentPath)
{
    char *printerName;
    int printer;

    out->file = INVALID_HANDLE_VALUE;
    out->printer = NULL;
    out->document = BaseName(documentPath);
    out->started = 0;
    out->printerName = NULL;
    out->refusesRaw = 0;

    printer = FindInstalledPrinter(outputName, &printerName);
    if (printer < 0)
        return 0;
    if (printer > 0) {
        HANDLE handle = NULL;
        BOOL opened = OpenPrinterA(printerName, &handle, NULL);
        if (!opened) {
            HeapFree(GetProcessHeap(), 0, printerName);
            return 0;
        }
        /* Kept for a job drawn through the printer's driver. */
        out->printerName = printerName;
        out->printer = handle;
        return 1;
    }
    /* Open-always: an existing file is not truncated here, so that a job
     * cancelled in the dialog leaves it as it was; FinishJobOutput cuts it. */
    out->file = CreateFileA(outputName, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
    return out->file != INVALID_HANDLE_VALUE;
}

/* Throws the queue's document away after a failure, so that a half-printed
 * job never comes out. (Wine 8 only pretends to: there the document still
 * goes out when the printer is closed.) */
static void AbortDocument(JobOutput *out)
{
    if (out->started) {
        AbortPrinter(out->printer);
        out->started = 0;
    }
}

/* The document starts with the job's first write, so a job that writes no
 * page leaves nothing in the queue. */
static int StartDocument(JobOutput *out)
{
    DOC_INFO_1A info;

    if (out->started)
        return 1;
    info.pDocName = (LPSTR)out->document;
    info.pOutputFile = NULL;
    info.pDatatype = (LPSTR) "RAW";
    if (StartDocPrinterA(out->printer, 1, (LPBYTE)&info) == 0) {
        /* A printer whose driver takes no raw data (v4 and XPS drivers):
         * the job is drawn through the driver instead. */
        out->refusesRaw = GetLastError() == ERROR_INVALID_DATATYPE;
        return 0;
    }
    out->started = 1;
    return 1;
}

int WriteJobBytes(JobOutput *out, const unsigned char *bytes, uint32_t length)
{
    DWORD written = 0;

    if (!out->printer)
        return WriteFile(out->file, bytes, length, &written, NULL) && written == length;
    if (!StartDocument(out))
        return 0;
    /* Outside any page mark: the queue still counts the job's pages. */
    if (!WritePrinter(out->printer, (LPVOID)bytes, length, &written) || written != length) {
        AbortDocument(out);
        return 0;
    }
    return 1;
}

int WriteJobPage(JobOutput *out, const unsigned char *bytes, uint32_t length)
{
    DWORD written = 0;

    if (!out->printer)
        return WriteFile(out->file, bytes, length, &written, NULL) && written == length;
    if (!StartDocument(out))
        return 0;
    /* One page mark per page, so the queue shows the page count. */
    if (!StartPagePrinter(out->printer) ||
        !WritePrinter(out->printer, (LPVOID)bytes, length, &written) || written != length ||
        !EndPagePrinter(out->printer)) {
        AbortDocument(out);
        return 0;
    }
    return 1;
}

int FinishJobOutput(JobOutput *out)
{
    /* Opened without truncating, which a port needs, a file on disk would
     * keep an older, longer file's tail after this job's pages. Ports,
     * devices and pipes are never cut. */
    if (out->file != INVALID_HANDLE_VALUE)
        return GetFileType(out->file) != FILE_TYPE_DISK || SetEndOfFile(out->file) ? 1 : 0;
    if (!out->started)
        return 1;
    /* A queue that refuses the job says so only here. */
    out->started = 0;
    return EndDocPrinter(out->printer) ? 1 : 0;
}

void CloseJobOutput(JobOutput *out)
{
    if (out->printer) {
        AbortDocument(out);
        ClosePrinter(out->printer);
        out->printer = NULL;
    }
    if (out->printerName) {
        HeapFree(GetProcessHeap(), 0, out->printerName);
        out->printerName = NULL;
    }
    if (out->file != INVALID_HANDLE_VALUE) {
        CloseHandle(out->file);
        out->file = INVALID_HANDLE_VALUE;
    }
}
