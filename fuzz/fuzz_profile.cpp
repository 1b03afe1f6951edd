/* fuzz_profile.cpp - the settings file: any bytes at all as ini.ini, read
 * with every key and size the program uses, then written in turn.
 *
 * Input: one byte that says whether there is a file and how many writes
 * follow, the writes (what, which key, the value), then the file's bytes.
 * Every read must give what the reference reader finds in the file (so a
 * value only ever comes from a well-formed entry, and a failed read leaves
 * the variable alone); every write must read back exactly, leave the other
 * keys as they were, and leave a file the reference reads the same way. */
#include <string.h>

#include "fuzz_support.h"

/* A value with a line break in it would become several lines, and so several
 * keys: the writer refuses it and leaves the file alone. */
static const bool RefusesLineBreaks = true;

struct StructKey {
    const char *name;
    unsigned size;
};

/* The keys and sizes the program reads and writes as structures. */
static const StructKey StructKeys[] = {
    {"LIMITER", 1},
    {"TODOS", 4},
    {"SKIPEMPTY", 4},
    {"RECT", 16},
};
enum { STRUCT_KEYS = sizeof StructKeys / sizeof StructKeys[0], LARGEST = 16 };

/* What every key reads as, through the engine and, for comparison, through
 * the reference on the file's bytes. */
struct Snapshot {
    int found[STRUCT_KEYS];
    unsigned char value[STRUCT_KEYS][LARGEST];
    std::string printTo;
};

static const unsigned char Untouched = 0xA5;

static void ReadThroughEngine(Snapshot *s)
{
    for (int k = 0; k < STRUCT_KEYS; k++) {
        /* One byte beyond the size shows a read that runs over. */
        unsigned char buffer[LARGEST + 1];
        memset(buffer, Untouched, sizeof buffer);
        s->found[k] = ReadSettingStruct(StructKeys[k].name, buffer, StructKeys[k].size);
        Check(buffer[StructKeys[k].size] == Untouched, "a structure read stays inside its size");
        memcpy(s->value[k], buffer, LARGEST);
    }
    char text[SETTING_TEXT_SIZE];
    ReadSettingString("POPT", "LPT1", text);
    Check(memchr(text, 0, sizeof text) != NULL, "a string read is terminated");
    s->printTo = text;
}

static void ReadThroughReference(const std::string *file, Snapshot *s)
{
    for (int k = 0; k < STRUCT_KEYS; k++) {
        memset(s->value[k], Untouched, LARGEST);
        s->found[k] = ReferenceReadStruct(file, StructKeys[k].name, s->value[k], StructKeys[k].size) ? 1 : 0;
    }
    s->printTo = ReferenceReadString(file, "POPT", "LPT1");
}

static void CheckSameSnapshot(const Snapshot &expected, const Snapshot &actual, int skipKey,
                              bool skipPrintTo, const char *what)
{
    for (int k = 0; k < STRUCT_KEYS; k++) {
        if (k == skipKey)
            continue;
        Check(expected.found[k] == actual.found[k], what);
        CheckSame(std::string((const char *)expected.value[k], LARGEST),
                  std::string((const char *)actual.value[k], LARGEST), what);
    }
    if (!skipPrintTo)
        CheckSame(expected.printTo, actual.printTo, what);
}

/* The file as it now stands, or NULL when there is none. */
static const std::string *CurrentFile(std::string *bytes)
{
    bool exists = false;
    *bytes = ReadWholeFile(IniPath, &exists);
    return exists ? bytes : NULL;
}

static void CheckReadsAgreeWithReference(const char *what)
{
    std::string bytes;
    Snapshot engine, reference;
    ReadThroughEngine(&engine);
    ReadThroughReference(CurrentFile(&bytes), &reference);
    CheckSameSnapshot(reference, engine, -1, false, what);
}

static void WriteStruct(int k, std::string value)
{
    const StructKey &key = StructKeys[k];
    Snapshot before, after;

    value.resize(key.size, '\0');
    ReadThroughEngine(&before);
    Check(WriteSettingStruct(key.name, value.data(), key.size) == 1, "a structure write succeeds");
    ReadThroughEngine(&after);
    Check(after.found[k] == 1, "a written structure reads back");
    CheckSame(value, std::string((const char *)after.value[k], key.size), "the structure read back");
    CheckSameSnapshot(before, after, k, false, "the other keys after a structure write");
}

static void WriteString(std::string value)
{
    std::string fileBefore, fileAfter;
    const std::string *hadFile;
    Snapshot before, after;
    bool breaks;

    value = value.substr(0, value.find('\0'));
    breaks = value.find_first_of("\r\n") != std::string::npos;
    if (breaks && !RefusesLineBreaks)
        return;
    hadFile = CurrentFile(&fileBefore);
    ReadThroughEngine(&before);
    int written = WriteSettingString("POPT", value.c_str());
    ReadThroughEngine(&after);
    if (breaks) {
        bool exists = false;
        Check(written == 0, "a value with a line break is refused");
        fileAfter = ReadWholeFile(IniPath, &exists);
        Check(exists == (hadFile != NULL), "a refused write leaves the file as it was");
        CheckSame(fileBefore, fileAfter, "the file after a refused write");
        return;
    }
    Check(written == 1, "a string write succeeds");
    /* Read back as the reader reads any value: blanks around it and one pair
     * of quotes around it are not part of it. */
    std::string line = "[MAIN]\r\nPOPT=" + value + "\r\n";
    CheckSame(ReferenceReadString(&line, "POPT", ""), after.printTo, "the string read back");
    CheckSameSnapshot(before, after, -1, true, "the other keys after a string write");
}

struct PlannedWrite {
    bool isString;
    int key;
    std::string value;
};

/* Input: a control byte (bit 7: no file; bits 0-1: how many writes), then
 * each write as three parts: what (bit 0: a string), which structure key,
 * a length and that many bytes of value; the rest is the file. */
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputReader in = ReadFrom(data, size);
    uint8_t control = TakeByte(&in);
    std::vector<PlannedWrite> writes;

    for (int i = 0; i < (control & 3); i++) {
        PlannedWrite w;
        w.isString = (TakeByte(&in) & 1) != 0;
        w.key = TakeByte(&in) % STRUCT_KEYS;
        w.value = TakeBytes(&in, TakeByte(&in));
        writes.push_back(w);
    }
    std::string file = TakeRest(&in);

    strcpy(IniPath, ScratchPath("ini.ini").c_str());
    if (control & 0x80)
        RemoveFile(IniPath);
    else
        WriteWholeFile(IniPath, file);
    CheckReadsAgreeWithReference("reads of the file as given");

    for (const PlannedWrite &w : writes) {
        if (w.isString)
            WriteString(w.value);
        else
            WriteStruct(w.key, w.value);
        CheckReadsAgreeWithReference("reads of the file as written");
    }
    RemoveFile(IniPath);
    return 0;
}
