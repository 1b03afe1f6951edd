/* fuzz_print_job.cpp - the whole print job against an oracle written out
 * plainly below: any file bytes, delimiter, settings text (the printer's
 * set-up bytes and page length in lines among them), page range
 * answer, output kind, file names of any length, and injected allocation,
 * read and write faults. The output is a file, or the queue of an installed
 * printer named in any letter case, one that accepts jobs or one that
 * refuses them. The output's bytes (what the queue delivered), the log
 * lines, the result, what the dialog was offered and the queue's record of
 * documents, pages and aborts must all be exactly what the oracle says. */
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>

#include "escp.h"
#include "fuzz_support.h"
#include "recode_reference.h"
#include "posix/posix_faults.h" /* faults on demand, in the POSIX stand-in only */
#include "posix/spooler.h"      /* and its print spooler */
#include "test_support.h"       /* the engine tests' recording host */

/* Rules the job has taken on over time; each is one switch here so the
 * oracle follows the engine when it changes. */

/* After a confirmed job a disk file ends where the job's writes ended;
 * otherwise the old file's tail stays after them. */
static const bool CutsOutputAtJobEnd = true;

/* ---- The oracle's pieces ------------------------------------------------------ */

/* Pages end with the delimiter, which belongs to them, and with a page
 * length in lines also with their lines-th line feed; a file that ends with
 * the delimiter, and an empty file, have one more page of nothing, one that
 * ends with a page's last line feed has not. Only bytes of the text cut:
 * none of a printer command's (the reader's word, a byte at a time). */
static std::vector<std::string> ReferencePages(const std::string &image, unsigned char delimiter,
                                               uint32_t lines)
{
    std::vector<std::string> pages(1);
    uint32_t feeds = 0;
    bool cutLast = false;
    EscpReader reader;
    EscpReset(&reader);
    for (unsigned char c : image) {
        bool text = EscpRead(&reader, c) == ESCP_TEXT;
        pages.back() += (char)c;
        feeds += text && c == '\n';
        cutLast = text && c == delimiter;
        if (cutLast || (lines != 0 && feeds == lines)) {
            pages.push_back(std::string());
            feeds = 0;
        }
    }
    if (!image.empty() && !cutLast && pages.back().empty())
        pages.pop_back();
    return pages;
}

static bool HasText(const std::string &page)
{
    for (unsigned char c : page) {
        if (c > 32)
            return true;
    }
    return false;
}

/* A log line: the text and the name, cut after 254 characters. */
static std::string Named(const char *text, const std::string &name)
{
    return (std::string(text) + name).substr(0, 254);
}

/* ---- One job ---------------------------------------------------------------------- */

/* With a printer kind two printers are installed: the queue, which delivers
 * its documents, and one that refuses every job. A near miss is a file whose
 * name is the queue's name cut by one character. */
enum OutputKind { NEW_FILE, OLD_FILE, THE_INPUT, IN_MISSING_FOLDER, EMPTY_NAME, A_FOLDER, INPUT_MISSING,
                  THE_QUEUE, REFUSING_QUEUE, NEAR_MISS };
enum FaultKind { NO_FAULT, HEAP_FAULT, READ_FAULT, WRITE_FAULT };

struct Job {
    unsigned char delimiter;
    int button;
    uint32_t from, to;
    OutputKind output;
    std::string oldOutput;
    FaultKind fault;
    unsigned faultAt;       /* the fault hits this call of its kind, counted from 1 */
    bool stretched;         /* the settings text runs on past what one length byte gives */
    bool shortWrite;        /* a printer's write fault writes a byte less instead of failing */
    bool hasSettings;
    std::string settings;
    std::string file;
    std::string inputPath, outputName;
    std::string queuePath, refusingPath; /* the printers' names, when installed */
};

/* The set-up bytes: a list of numbers 0-255 with blanks or commas between
 * them, a comma only between two numbers; no key or an empty value is no
 * bytes. The value is read whole: one of more than 255 characters, or one
 * holding a NUL, is no list. Returns false for no list. */
static bool ReferenceSetup(const Job &job, std::string *bytes)
{
    std::string value;
    std::vector<std::string> tokens;

    bytes->clear();
    if (!job.hasSettings || !ReferenceFindValue(job.settings, "MAIN", "SETUP", &value))
        return true;
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value[value.size() - 1] == value[0])
        value = value.substr(1, value.size() - 2);
    if (value.size() > 255)
        return false;
    for (size_t i = 0; i < value.size();) {
        char c = value[i];
        if (c == ' ' || c == '\t') {
            i++;
        } else if (c == ',') {
            tokens.push_back(",");
            i++;
        } else if (c >= '0' && c <= '9') {
            size_t j = i;
            while (j < value.size() && value[j] >= '0' && value[j] <= '9')
                j++;
            tokens.push_back(value.substr(i, j - i));
            i = j;
        } else {
            return false; /* a letter, a sign, a NUL, any other byte */
        }
    }
    for (size_t k = 0; k < tokens.size(); k++) {
        bool comma = tokens[k] == ",";
        bool edge = k == 0 || k + 1 == tokens.size();
        if (comma && (edge || tokens[k + 1] == ","))
            return false;
        if (comma)
            continue;
        std::string digits = tokens[k].substr(std::min(tokens[k].find_first_not_of('0'), tokens[k].size() - 1));
        if (digits.size() > 3 || atoi(digits.c_str()) > 255)
            return false;
        *bytes += (char)atoi(digits.c_str());
    }
    return true;
}

/* What a printer's queue went through in one job. */
struct QueueRecord {
    unsigned documents, delivered, refused, aborted, pages;
};

static bool ToPrinter(const Job &job) { return job.output == THE_QUEUE || job.output == REFUSING_QUEUE; }
static bool PrintersInstalled(const Job &job) { return ToPrinter(job) || job.output == NEAR_MISS; }

struct Outcome {
    int result;
    std::vector<std::string> lines;
    bool asked;
    uint32_t offered;
    uint32_t pageTo;
    bool outputExists;
    std::string output;
    QueueRecord queue, refusing;
};

/* A 32-bit switch read as the job reads it: the variable keeps what it held
 * when the key cannot be read. */
static int32_t ReadSwitch(const Job &job, const char *key, int32_t held)
{
    unsigned char bytes[4];
    if (!ReferenceReadStruct(job.hasSettings ? &job.settings : NULL, key, bytes, 4))
        return held;
    return (int32_t)((uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
                     (uint32_t)bytes[3] << 24);
}

static Outcome Expect(const Job &job)
{
    Outcome o;
    const std::string &input = job.inputPath;
    const std::string &output = job.outputName;

    o.result = 0;
    o.asked = false;
    o.offered = 0;
    o.pageTo = 0;
    /* What stands under the output's name before the job. */
    o.outputExists = job.output == OLD_FILE || job.output == THE_INPUT;
    o.output = job.output == THE_INPUT ? job.file : job.oldOutput;
    memset(&o.queue, 0, sizeof o.queue);
    memset(&o.refusing, 0, sizeof o.refusing);
    QueueRecord *queue = job.output == THE_QUEUE ? &o.queue : job.output == REFUSING_QUEUE ? &o.refusing : NULL;

    /* The heap blocks the job takes, in order: its log line; with printers
     * installed, their list and, for a printer's name, its copy; the image;
     * and (for a file of at least one byte) the two arrays of the page
     * table. */
    unsigned heapAt = job.fault == HEAP_FAULT ? job.faultAt : 0;
    unsigned imageAt = 2 + (PrintersInstalled(job) ? 1 : 0) + (queue ? 1 : 0);
    bool lineFails = heapAt == 1;
    bool lookupFails = heapAt >= 2 && heapAt < imageAt;
    bool imageFails = heapAt == imageAt;
    bool tableFails = (heapAt == imageAt + 1 || heapAt == imageAt + 2) && !job.file.empty();
    /* One read, of the whole file, when it has a byte. */
    bool readFails = job.fault == READ_FAULT && job.faultAt == 1 && !job.file.empty();

    if (lineFails) {
        o.lines.push_back(TextError);
        return o;
    }
    o.lines.push_back(Named(TextOpeningFile, input));
    if (job.output == INPUT_MISSING) {
        o.lines.push_back(TextError);
        return o;
    }
    o.lines.push_back(Named(TextOpeningFile, output));
    if (job.output == THE_INPUT || job.output == IN_MISSING_FOLDER || job.output == EMPTY_NAME ||
        job.output == A_FOLDER || lookupFails) {
        o.lines.push_back(TextError);
        return o;
    }
    /* A queue's output is what it delivered: nothing until a document ends. */
    o.outputExists = !queue;
    if (imageFails || readFails) {
        o.lines.push_back(TextError);
        return o;
    }

    o.lines.push_back(TextAnalysis);
    /* The form is read first: a set-up that is no list ends the job here. */
    std::string setup;
    if (!ReferenceSetup(job, &setup)) {
        o.lines.push_back(TextError);
        return o;
    }
    uint32_t pageLines = (uint32_t)ReadSwitch(job, "PAGELINES", 0);
    std::string image = job.file;
    int32_t toggle = ReadSwitch(job, "TODOS", 1);
    if (toggle == 1) {
        /* The printer's code page is read with the switch. */
        bool logged;
        image = ReferenceRecodeForPrinter(image, (uint32_t)ReadSwitch(job, "CODEPAGE", 866), &logged);
        if (logged)
            o.lines.push_back(TextRecoding);
    }
    std::vector<std::string> pages = ReferencePages(image, job.delimiter, pageLines);
    if (tableFails) {
        o.lines.push_back(TextError);
        return o;
    }

    o.asked = true;
    o.offered = (uint32_t)pages.size();
    o.pageTo = job.to;
    o.result = 1;
    if (job.button == 1) {
        std::string written;
        unsigned writes = 0;
        /* One more write; when it is the one that fails, the job ends with
         * the error and a queue's document is thrown away. */
        auto WriteFails = [&]() {
            writes++;
            if (job.fault != WRITE_FAULT || job.faultAt != writes)
                return false;
            o.lines.push_back(TextError);
            o.result = 0;
            if (queue)
                queue->aborted = 1;
            return true;
        };
        uint32_t last = job.to < pages.size() ? job.to : (uint32_t)pages.size();
        o.pageTo = last;
        for (uint64_t page = job.from; page >= 1 && page <= last; page++) {
            const std::string &bytes = pages[page - 1];
            toggle = ReadSwitch(job, "SKIPEMPTY", toggle);
            if (toggle == 1 && !HasText(bytes)) {
                o.lines.push_back(TextBlankSkipped);
                continue;
            }
            if (bytes.empty())
                continue;
            /* Before the first page written, the set-up bytes: a write of
             * their own, in the same document, outside any page mark. */
            if (!setup.empty()) {
                if (queue)
                    queue->documents = 1;
                if (WriteFails())
                    break;
                written += setup;
                setup.clear();
            }
            if (queue) {
                /* The document starts with the first page written; every
                 * page is marked, the failing one too. */
                queue->documents = 1;
                queue->pages++;
            }
            if (WriteFails())
                break;
            written += bytes;
        }
        if (queue) {
            /* A queue that refuses jobs says so when the document ends. */
            if (o.result == 1 && queue->documents == 1 && job.output == REFUSING_QUEUE) {
                o.lines.push_back(TextError);
                o.result = 0;
                queue->refused = 1;
            }
            queue->delivered = o.result == 1 && queue->documents == 1 ? 1 : 0;
            o.outputExists = queue->delivered == 1;
            o.output = queue->delivered ? written : std::string();
        } else if (CutsOutputAtJobEnd || written.size() >= o.output.size()) {
            o.output = written;
        } else {
            o.output = written + o.output.substr(written.size());
        }
    }
    o.lines.push_back(Named(TextClosingFile, output));
    o.lines.push_back(Named(TextClosingFile, input));
    return o;
}

/* ---- Input ------------------------------------------------------------------------ */

/* Input: delimiter, answer, From, To (each a signed byte widened, so
 * negative numbers come as the dialog hands them over), output kind (below
 * 160 a file, new or old by bit 0; 160-199 a printer kind; 200 on the
 * others), old output length / 4, fault (kind in bits 6-7, a printer's
 * short write in bit 4, a stretched settings text in bit 5, which call in
 * bits 0-3), name length (for a printer also which letters of its name
 * change case; for a stretched text how far it runs on), settings length
 * (255: no settings file), the settings text, then the file. */
/* name with the case of its letter i changed when bit i % 8 of flips is set. */
static std::string FlipCase(std::string name, uint8_t flips)
{
    for (size_t i = 0; i < name.size(); i++) {
        char &c = name[i];
        if (flips >> (i % 8) & 1)
            c = (char)(c >= 'a' && c <= 'z' ? c - 32 : c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return name;
}

static Job ReadJob(const uint8_t *data, size_t size)
{
    static const int Answers[4] = {1, 1, 2, 7};
    InputReader in = ReadFrom(data, size);
    Job job;
    uint8_t kind, oldLength, fault, nameLength, settingsLength;

    job.delimiter = TakeByte(&in);
    job.button = Answers[TakeByte(&in) & 3];
    job.from = (uint32_t)(int32_t)(int8_t)TakeByte(&in);
    job.to = (uint32_t)(int32_t)(int8_t)TakeByte(&in);
    kind = TakeByte(&in);
    if (kind < 160)
        job.output = (kind & 1) ? OLD_FILE : NEW_FILE;
    else if (kind < 200)
        job.output = (kind & 3) == 2 ? REFUSING_QUEUE : (kind & 3) == 3 ? NEAR_MISS : THE_QUEUE;
    else
        job.output = (OutputKind)(THE_INPUT + (kind - 200) % 5);
    oldLength = TakeByte(&in);
    fault = TakeByte(&in);
    job.fault = (FaultKind)(fault >> 6);
    job.faultAt = (fault & 15) + 1u;
    job.shortWrite = (fault & 16) != 0;
    job.stretched = (fault & 32) != 0;
    nameLength = TakeByte(&in);
    settingsLength = TakeByte(&in);
    job.hasSettings = settingsLength != 255;
    job.settings = job.hasSettings ? TakeBytes(&in, settingsLength) : std::string();
    job.file = TakeRest(&in);
    /* Stretched: the text's last two characters repeated 1 to 128 times,
     * so that a value may run past 255 characters ("1 1 1 ..."). */
    if (job.stretched && job.settings.size() >= 2) {
        std::string tail = job.settings.substr(job.settings.size() - 2);
        for (unsigned i = 0; i <= nameLength / 2u; i++)
            job.settings += tail;
    }

    for (size_t i = 0; job.output == OLD_FILE && i < 4u * oldLength; i++)
        job.oldOutput += (char)('a' + i % 26);
    /* Names up to the longest a folder entry may have, so log lines get cut. */
    size_t name = 1 + nameLength % 240;
    job.inputPath = ScratchPath(std::string(name, 'i') + ".txt");
    /* The printers' names are paths in the scratch directory, so that a
     * name wrongly opened as a file is found there. */
    job.queuePath = ScratchPath("Velmar Queue");
    job.refusingPath = ScratchPath("Velmar Refusing");
    switch (job.output) {
    case THE_QUEUE: job.outputName = ScratchPath(FlipCase("Velmar Queue", nameLength)); break;
    case REFUSING_QUEUE: job.outputName = ScratchPath(FlipCase("Velmar Refusing", nameLength)); break;
    case NEAR_MISS: job.outputName = ScratchPath(FlipCase("Velmar Queu", nameLength)); break;
    case THE_INPUT: job.outputName = job.inputPath; break;
    case IN_MISSING_FOLDER: job.outputName = ScratchPath("missing/" + std::string(name, 'o') + ".prn"); break;
    case EMPTY_NAME: job.outputName = ""; break;
    case A_FOLDER: job.outputName = ScratchDirectory(); break;
    default: job.outputName = ScratchPath(std::string(name, 'o') + ".prn"); break;
    }
    return job;
}

/* What the stand-in's spooler recorded for the printer named name, after
 * checking what must hold after every job: no handle left open, no
 * document left behind, every page mark ended, and a RAW document named
 * after the input. */
static QueueRecord Recorded(const Job &job, const std::string &name)
{
    QueueRecord q;
    const PosixPrinterRecord *record = PosixPrinter(name.c_str());

    memset(&q, 0, sizeof q);
    if (!record)
        return q;
    Check(record->openHandles == 0, "no printer handle left open");
    Check(record->abandoned == 0, "no document left open at the close");
    Check(record->unbalancedPages == 0, "every page mark ended");
    if (record->documents) {
        std::string base = job.inputPath.substr(job.inputPath.rfind('/') + 1);
        CheckSame("RAW", record->datatype, "the document's datatype");
        CheckSame(base, record->document, "the document's name");
    }
    q.documents = record->documents;
    q.delivered = record->delivered;
    q.refused = record->refused;
    q.aborted = record->aborted;
    q.pages = record->pages;
    return q;
}

static void CheckSameRecord(const QueueRecord &expected, const QueueRecord &actual, const char *what)
{
    Check(expected.documents == actual.documents && expected.delivered == actual.delivered &&
              expected.refused == actual.refused && expected.aborted == actual.aborted &&
              expected.pages == actual.pages,
          what);
}

static Outcome Run(const Job &job)
{
    Outcome o;
    std::string iniPath = ScratchPath("ini.ini");
    std::string delivered = ScratchPath("queue.prn"), refused = ScratchPath("refused.prn");

    strcpy(IniPath, iniPath.c_str());
    if (job.hasSettings)
        WriteWholeFile(iniPath, job.settings);
    if (job.output != INPUT_MISSING)
        WriteWholeFile(job.inputPath, job.file);
    if (job.output == OLD_FILE)
        WriteWholeFile(job.outputName, job.oldOutput);
    PageDelimiter = job.delimiter;
    ResetHost(job.button, job.from, job.to);
    PageTo = 0;

    PosixRemovePrinters();
    if (PrintersInstalled(job)) {
        Check(PosixAddPrinter(job.queuePath.c_str(), delivered.c_str(), 1) &&
                  PosixAddPrinter(job.refusingPath.c_str(), refused.c_str(), 0),
              "the printers are installed");
    }

    memset(&PosixFaults, 0, sizeof PosixFaults);
    memset(&PosixSpoolerFaults, 0, sizeof PosixSpoolerFaults);
    if (job.fault == HEAP_FAULT)
        PosixFaults.failHeapAlloc = job.faultAt;
    else if (job.fault == READ_FAULT)
        PosixFaults.shortRead = job.faultAt;
    else if (job.fault == WRITE_FAULT && !ToPrinter(job))
        PosixFaults.failWrite = job.faultAt;
    else if (job.fault == WRITE_FAULT && job.shortWrite)
        PosixSpoolerFaults.shortWritePrinter = job.faultAt;
    else if (job.fault == WRITE_FAULT)
        PosixSpoolerFaults.failWritePrinter = job.faultAt;
    o.result = PrintFile(TestLog(), job.inputPath.c_str(), job.outputName.c_str());
    memset(&PosixFaults, 0, sizeof PosixFaults);
    memset(&PosixSpoolerFaults, 0, sizeof PosixSpoolerFaults);

    o.lines = Host.lines;
    o.asked = Host.asked;
    o.offered = Host.offeredCount;
    o.pageTo = Host.asked ? PageTo : 0;
    Check(!Host.asked || Host.askedWith == TestLog(), "the dialog is parented to the job's log");
    if (job.output == THE_INPUT || job.output == A_FOLDER || job.output == EMPTY_NAME) {
        o.outputExists = job.output == THE_INPUT;
        o.output = job.output == THE_INPUT ? ReadWholeFile(job.inputPath, &o.outputExists) : std::string();
    } else if (ToPrinter(job)) {
        bool stray;
        o.output = ReadWholeFile(job.output == THE_QUEUE ? delivered : refused, &o.outputExists);
        ReadWholeFile(job.outputName, &stray);
        Check(!stray, "no file under the name the printer was given");
    } else {
        o.output = ReadWholeFile(job.outputName, &o.outputExists);
    }
    if (PrintersInstalled(job)) {
        bool stray[2];
        ReadWholeFile(job.queuePath, &stray[0]);
        ReadWholeFile(job.refusingPath, &stray[1]);
        Check(!stray[0] && !stray[1], "no file named after a printer");
        o.queue = Recorded(job, job.queuePath);
        o.refusing = Recorded(job, job.refusingPath);
        PosixRemovePrinters();
    } else {
        memset(&o.queue, 0, sizeof o.queue);
        memset(&o.refusing, 0, sizeof o.refusing);
    }

    RemoveFile(iniPath);
    RemoveFile(job.inputPath);
    if (job.output != THE_INPUT && job.output != A_FOLDER && !job.outputName.empty() && !ToPrinter(job))
        RemoveFile(job.outputName);
    RemoveFile(delivered);
    RemoveFile(refused);
    return o;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Job job = ReadJob(data, size);
    /* A queue's job with DRAW on is drawn, not written: the layout target
     * and the drawn job's tests cover it, this oracle knows raw bytes only. */
    if ((job.output == THE_QUEUE || job.output == REFUSING_QUEUE) && ReadSwitch(job, "DRAW", 0) == 1)
        return 0;
    Outcome expected = Expect(job);
    Outcome actual = Run(job);

    CheckSameLines(expected.lines, actual.lines, "the log lines");
    Check(expected.result == actual.result, "the job's result");
    Check(expected.asked == actual.asked, "whether the range was asked for");
    Check(expected.offered == actual.offered, "the page count offered");
    Check(expected.pageTo == actual.pageTo, "To as the job leaves it");
    Check(expected.outputExists == actual.outputExists, "whether the output exists");
    CheckSame(expected.output, actual.output, "the output's bytes");
    CheckSameRecord(expected.queue, actual.queue, "the queue's record");
    CheckSameRecord(expected.refusing, actual.refusing, "the refusing queue's record");
    return 0;
}
