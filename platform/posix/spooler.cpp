/* spooler.cpp - the spooler calls of platform.h on POSIX systems.
 *
 * A handful of printers that the tests install (spooler.h). The calls keep
 * the rules the engine relies on from Windows: printer names match without
 * regard to case, EnumPrintersA packs level-4 records and their strings into
 * the caller's buffer or asks for a bigger one, page and write calls need an
 * open document, and a document reaches the printer only when it is ended;
 * an aborted one never does.
 */
#include "platform.h"
#include "spooler.h"
#include "posix_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

PosixSpoolerFaultPlan PosixSpoolerFaults;

enum { MAX_PRINTERS = 8 };

struct Printer {
    bool installed;
    bool acceptsJobs;
    bool refusesRaw;
    char name[POSIX_PRINTER_NAME_SIZE];
    char *outputPath;
    PosixPrinterRecord record;
};

static Printer Printers[MAX_PRINTERS];

/* One open printer handle, with the document it is spooling. */
struct PrinterHandle {
    Printer *printer;
    bool documentOpen;
    bool pageOpen;
    unsigned char *bytes;
    size_t length;
    size_t capacity;
    PrinterHandle *next;
};

static PrinterHandle *OpenPrinters;
static DWORD LastJobId;

static char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c; }

int lstrcmpiA(LPCSTR a, LPCSTR b)
{
    for (;; a++, b++) {
        unsigned char x = (unsigned char)FoldCase(*a);
        unsigned char y = (unsigned char)FoldCase(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
}

int PosixAddPrinter(const char *name, const char *outputPath, int acceptsJobs)
{
    if (!name || !outputPath || strlen(name) >= POSIX_PRINTER_NAME_SIZE)
        return 0;
    for (Printer &p : Printers) {
        if (p.installed)
            continue;
        p.outputPath = strdup(outputPath);
        if (!p.outputPath)
            return 0;
        p.installed = true;
        p.acceptsJobs = acceptsJobs != 0;
        strcpy(p.name, name);
        memset(&p.record, 0, sizeof p.record);
        return 1;
    }
    return 0;
}

int PosixPrinterRefusesRaw(const char *name)
{
    for (Printer &p : Printers) {
        if (p.installed && strcmp(p.name, name) == 0) {
            p.refusesRaw = true;
            return 1;
        }
    }
    return 0;
}

void PosixRemovePrinters(void)
{
    for (Printer &p : Printers) {
        free(p.outputPath);
        memset(&p, 0, sizeof p);
    }
}

const PosixPrinterRecord *PosixPrinter(const char *name)
{
    for (Printer &p : Printers) {
        if (p.installed && strcmp(p.name, name) == 0)
            return &p.record;
    }
    return NULL;
}

BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size,
                   LPDWORD needed, LPDWORD returned)
{
    DWORD count = 0;
    size_t total = 0;

    if (!needed || !returned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *needed = 0;
    *returned = 0;
    if (level != 4) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    /* Every printer here is local; a server name asks for someone else's. */
    if (name || !(flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS))) {
        SetLastError(NO_ERROR);
        return TRUE;
    }
    for (Printer &p : Printers) {
        if (p.installed) {
            count++;
            total += sizeof(PRINTER_INFO_4A) + strlen(p.name) + 1;
        }
    }
    *needed = (DWORD)total;
    if (!buffer || size < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    {
        PRINTER_INFO_4A *info = (PRINTER_INFO_4A *)buffer;
        char *strings = (char *)buffer + count * sizeof(PRINTER_INFO_4A);
        for (Printer &p : Printers) {
            if (!p.installed)
                continue;
            strcpy(strings, p.name);
            info->pPrinterName = strings;
            info->pServerName = NULL;
            info->Attributes = 0;
            strings += strlen(p.name) + 1;
            info++;
        }
    }
    *returned = count;
    return TRUE;
}

static PrinterHandle *FindPrinterHandle(HANDLE handle)
{
    for (PrinterHandle *h = OpenPrinters; h; h = h->next) {
        if (h == (PrinterHandle *)handle)
            return h;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return NULL;
}

BOOL OpenPrinterA(LPSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults)
{
    if (!printer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *printer = NULL;
    for (Printer &p : Printers) {
        if (!p.installed || !printerName || lstrcmpiA(p.name, printerName) != 0)
            continue;
        PrinterHandle *h = (PrinterHandle *)calloc(1, sizeof *h);
        if (!h) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        h->printer = &p;
        h->next = OpenPrinters;
        OpenPrinters = h;
        p.record.openHandles++;
        *printer = h;
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
}

/* The handle when it has a document open; NULL with the error set else. */
static PrinterHandle *FindDocument(HANDLE handle)
{
    PrinterHandle *h = FindPrinterHandle(handle);

    if (h && !h->documentOpen) {
        SetLastError(ERROR_SPL_NO_STARTDOC);
        return NULL;
    }
    return h;
}

static void CopyField(char *to, size_t size, const char *from)
{
    size_t n = from ? strlen(from) : 0;

    if (n >= size)
        n = size - 1;
    if (n)
        memcpy(to, from, n);
    to[n] = '\0';
}

static void DropDocument(PrinterHandle *h)
{
    free(h->bytes);
    h->bytes = NULL;
    h->length = 0;
    h->capacity = 0;
    h->documentOpen = false;
    h->pageOpen = false;
}

DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo)
{
    PrinterHandle *h = FindPrinterHandle(printer);
    const DOC_INFO_1A *info = (const DOC_INFO_1A *)docInfo;

    if (!h)
        return 0;
    if (level != 1 || !info || h->documentOpen) {
        SetLastError(level != 1 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (h->printer->refusesRaw && (!info->pDatatype || lstrcmpiA(info->pDatatype, "RAW") == 0)) {
        h->printer->record.rawRefused++;
        SetLastError(ERROR_INVALID_DATATYPE);
        return 0;
    }
    h->documentOpen = true;
    h->printer->record.documents++;
    CopyField(h->printer->record.document, sizeof h->printer->record.document, info->pDocName);
    CopyField(h->printer->record.datatype, sizeof h->printer->record.datatype, info->pDatatype);
    return ++LastJobId;
}

BOOL StartPagePrinter(HANDLE printer)
{
    PrinterHandle *h = FindDocument(printer);

    if (!h)
        return FALSE;
    if (h->pageOpen)
        h->printer->record.unbalancedPages++;
    h->pageOpen = true;
    h->printer->record.pages++;
    return TRUE;
}

BOOL EndPagePrinter(HANDLE printer)
{
    PrinterHandle *h = FindDocument(printer);

    if (!h)
        return FALSE;
    if (!h->pageOpen)
        h->printer->record.unbalancedPages++;
    h->pageOpen = false;
    return TRUE;
}

BOOL WritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written)
{
    PrinterHandle *h = FindDocument(printer);

    if (written)
        *written = 0;
    if (!h)
        return FALSE;
    if (FaultDue(&PosixSpoolerFaults.failWritePrinter)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    if (FaultDue(&PosixSpoolerFaults.shortWritePrinter) && size > 0)
        size--;
    if (h->length + size > h->capacity) {
        size_t capacity = h->capacity ? h->capacity : 256;
        while (capacity < h->length + size)
            capacity *= 2;
        unsigned char *grown = (unsigned char *)realloc(h->bytes, capacity);
        if (!grown) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        h->bytes = grown;
        h->capacity = capacity;
    }
    if (size)
        memcpy(h->bytes + h->length, buffer, size);
    h->length += size;
    if (written)
        *written = size;
    return TRUE;
}

/* Appends the document to the printer's output file. */
static bool Deliver(PrinterHandle *h)
{
    FILE *out = fopen(h->printer->outputPath, "ab");
    bool ok;

    if (!out)
        return false;
    ok = h->length == 0 || fwrite(h->bytes, 1, h->length, out) == h->length;
    if (fclose(out) != 0)
        ok = false;
    return ok;
}

BOOL EndDocPrinter(HANDLE printer)
{
    PrinterHandle *h = FindDocument(printer);
    bool ok;

    if (!h)
        return FALSE;
    if (h->pageOpen)
        h->printer->record.unbalancedPages++;
    if (!h->printer->acceptsJobs) {
        h->printer->record.refused++;
        ok = false;
        SetLastError(ERROR_PRINT_CANCELLED);
    } else {
        ok = Deliver(h);
        if (ok)
            h->printer->record.delivered++;
        else
            SetLastError(ERROR_WRITE_FAULT);
    }
    DropDocument(h);
    return ok ? TRUE : FALSE;
}

BOOL AbortPrinter(HANDLE printer)
{
    PrinterHandle *h = FindDocument(printer);

    if (!h)
        return FALSE;
    h->printer->record.aborted++;
    DropDocument(h);
    return TRUE;
}

BOOL ClosePrinter(HANDLE printer)
{
    for (PrinterHandle **link = &OpenPrinters; *link; link = &(*link)->next) {
        PrinterHandle *h = *link;
        if (h != (PrinterHandle *)printer)
            continue;
        if (h->documentOpen)
            h->printer->record.abandoned++;
        h->printer->record.openHandles--;
        *link = h->next;
        DropDocument(h);
        free(h);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
