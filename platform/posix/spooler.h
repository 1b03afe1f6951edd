/* spooler.h - the print spooler of the POSIX stand-in, as the tests fill it.
 *
 * The engine reaches it only through the Windows calls of platform.h. The
 * tests install named printers here; a document ended on a printer is
 * appended to that printer's output file, so a test reads what a queue
 * would have printed. Nothing reaches the file before EndDocPrinter, as
 * nothing leaves a real spooler before the document is complete.
 */
#ifndef VELMAR_POSIX_SPOOLER_H
#define VELMAR_POSIX_SPOOLER_H

enum { POSIX_PRINTER_NAME_SIZE = 256 };

/* What has happened on one printer since it was installed. */
struct PosixPrinterRecord {
    unsigned documents;   /* StartDocPrinterA calls that opened a document */
    unsigned delivered;   /* documents ended and appended to the output */
    unsigned refused;     /* documents ended on a printer that rejects jobs */
    unsigned aborted;     /* documents thrown away by AbortPrinter */
    unsigned abandoned;   /* documents still open at ClosePrinter, thrown away */
    unsigned pages;       /* StartPagePrinter calls */
    unsigned unbalancedPages; /* StartPagePrinter without EndPagePrinter, or the reverse */
    unsigned openHandles; /* handles not yet closed */
    char document[POSIX_PRINTER_NAME_SIZE]; /* name of the last document */
    char datatype[32];                      /* datatype of the last document */
    unsigned rawRefused;  /* RAW documents refused by a printer that takes none */
};

/* Installs a printer named name (at most 255 characters); its delivered
 * documents are appended to outputPath. A printer that does not accept jobs
 * takes a document but fails EndDocPrinter, as a rejecting queue does.
 * Returns 0 when the name is too long or there is no room for it. */
int PosixAddPrinter(const char *name, const char *outputPath, int acceptsJobs);

/* Makes the installed printer of exactly this name refuse the RAW datatype,
 * as printers with v4 or XPS drivers do: StartDocPrinterA then fails with
 * ERROR_INVALID_DATATYPE. Returns 0 when there is no such printer. */
int PosixPrinterRefusesRaw(const char *name);

/* Removes every printer. Only call it with no printer handle open. */
void PosixRemovePrinters(void);

/* The record of the printer of exactly this name, or NULL. */
const PosixPrinterRecord *PosixPrinter(const char *name);

/* Faults on demand, counted down like PosixFaults: the WritePrinter call
 * that brings a counter to zero fails outright, or writes one byte less
 * than asked and reports success. */
struct PosixSpoolerFaultPlan {
    unsigned failWritePrinter;
    unsigned shortWritePrinter;
};
extern PosixSpoolerFaultPlan PosixSpoolerFaults;

#endif
