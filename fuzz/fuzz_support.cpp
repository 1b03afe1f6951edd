/* fuzz_support.cpp - the shared parts of the fuzz targets (see fuzz_support.h). */
#include "fuzz_support.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* ---- Failing loudly ------------------------------------------------------- */

static void PrintBytes(const char *label, const std::string &bytes)
{
    fprintf(stderr, "  %s (%zu bytes):", label, bytes.size());
    for (size_t i = 0; i < bytes.size() && i < 200; i++)
        fprintf(stderr, " %02X", (unsigned char)bytes[i]);
    fprintf(stderr, bytes.size() > 200 ? " ...\n" : "\n");
}

void Check(bool ok, const char *what)
{
    if (ok)
        return;
    fprintf(stderr, "velmar fuzz: FAILED: %s\n", what);
    abort();
}

void CheckSame(const std::string &expected, const std::string &actual, const char *what)
{
    if (expected == actual)
        return;
    fprintf(stderr, "velmar fuzz: FAILED: %s differs\n", what);
    PrintBytes("expected", expected);
    PrintBytes("actual", actual);
    abort();
}

void CheckSameLines(const std::vector<std::string> &expected, const std::vector<std::string> &actual,
                    const char *what)
{
    if (expected == actual)
        return;
    fprintf(stderr, "velmar fuzz: FAILED: %s differ\n", what);
    for (size_t i = 0; i < expected.size(); i++)
        PrintBytes("expected line", expected[i]);
    for (size_t i = 0; i < actual.size(); i++)
        PrintBytes("actual line", actual[i]);
    abort();
}

/* ---- Scratch directory ------------------------------------------------------ */

static std::string Scratch;

static void RemoveScratch(void)
{
    DIR *dir = opendir(Scratch.c_str());
    if (dir) {
        while (struct dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            std::string path = Scratch + "/" + name;
            if (unlink(path.c_str()) != 0)
                rmdir(path.c_str());
        }
        closedir(dir);
    }
    rmdir(Scratch.c_str());
}

const std::string &ScratchDirectory()
{
    if (Scratch.empty()) {
        const char *base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/velmar-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        Check(mkdtemp(name.data()) != NULL, "a scratch directory can be made");
        Scratch = name.data();
        atexit(RemoveScratch);
    }
    return Scratch;
}

std::string ScratchPath(const std::string &name) { return ScratchDirectory() + "/" + name; }

void WriteWholeFile(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    Check(file != NULL, "a scratch file can be written");
    Check(fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "a scratch file takes its bytes");
    Check(fclose(file) == 0, "a scratch file closes");
}

std::string ReadWholeFile(const std::string &path, bool *exists)
{
    std::string bytes;
    char chunk[4096];
    size_t got;
    FILE *file = fopen(path.c_str(), "rb");

    *exists = file != NULL;
    if (!file)
        return bytes;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, got);
    fclose(file);
    return bytes;
}

void RemoveFile(const std::string &path) { unlink(path.c_str()); }

/* ---- Input reader --------------------------------------------------------------- */

InputReader ReadFrom(const uint8_t *data, size_t size)
{
    InputReader in = {data, size, 0};
    return in;
}

uint8_t TakeByte(InputReader *in) { return in->at < in->size ? in->data[in->at++] : 0; }

std::string TakeBytes(InputReader *in, size_t count)
{
    size_t left = in->size - in->at;
    size_t n = count < left ? count : left;
    std::string bytes((const char *)in->data + in->at, n);
    in->at += n;
    return bytes;
}

std::string TakeRest(InputReader *in) { return TakeBytes(in, in->size - in->at); }

/* ---- Reference reader of the settings file ---------------------------------------- */

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

static std::string Trim(const std::string &s)
{
    size_t first = 0, last = s.size();
    while (first < last && IsBlank(s[first]))
        first++;
    while (last > first && IsBlank(s[last - 1]))
        last--;
    return s.substr(first, last - first);
}

static bool SameName(const std::string &a, const char *b)
{
    std::string upperA = a, upperB = b;
    for (char &c : upperA)
        c = (c >= 'a' && c <= 'z') ? (char)(c - 32) : c;
    for (char &c : upperB)
        c = (c >= 'a' && c <= 'z') ? (char)(c - 32) : c;
    return upperA == upperB;
}

static std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.push_back(line);
            line.clear();
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                i++;
        } else {
            line += text[i];
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

bool ReferenceFindValue(const std::string &text, const char *section, const char *key, std::string *value)
{
    bool inside = false;
    bool seenSection = false;

    for (const std::string &raw : SplitLines(text)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';')
            continue;
        size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string::npos && close > 0) {
            if (inside)
                return false; /* the first section of that name ended without the key */
            inside = !seenSection && SameName(Trim(line.substr(1, close - 1)), section);
            seenSection = seenSection || inside;
            continue;
        }
        if (!inside)
            continue;
        size_t equals = line.find('=');
        std::string name = Trim(line.substr(0, equals));
        if (SameName(name, key)) {
            *value = equals == std::string::npos ? std::string() : Trim(line.substr(equals + 1));
            return true;
        }
    }
    return false;
}

static int HexDigit(char c)
{
    static const char upper[] = "0123456789ABCDEF";
    static const char lower[] = "0123456789abcdef";
    for (int i = 0; i < 16; i++) {
        if (c == upper[i] || c == lower[i])
            return i;
    }
    return -1;
}

/* Structures are read from the value as the string reader gives it (one
 * pair of quotes off, up to a NUL), not from the raw value. */
static const bool StructValuesReadAsStrings = true;

bool ReferenceReadStruct(const std::string *text, const char *key, unsigned char *data, unsigned size)
{
    std::string value;
    std::vector<unsigned char> bytes;
    unsigned sum = 0;

    if (!text || !ReferenceFindValue(*text, "MAIN", key, &value))
        return false;
    if (StructValuesReadAsStrings)
        value = ReferenceReadString(text, key, "");
    if (value.size() != 2 * (size_t)size + 2)
        return false;
    for (size_t i = 0; i < value.size(); i += 2) {
        int high = HexDigit(value[i]), low = HexDigit(value[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back((unsigned char)(high * 16 + low));
    }
    for (unsigned i = 0; i < size; i++)
        sum += bytes[i];
    if (bytes[size] != (sum & 0xFF))
        return false;
    for (unsigned i = 0; i < size; i++)
        data[i] = bytes[i];
    return true;
}

std::string ReferenceReadString(const std::string *text, const char *key, const char *defaultValue)
{
    std::string value;

    if (text && ReferenceFindValue(*text, "MAIN", key, &value)) {
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value[value.size() - 1] == value[0])
            value = value.substr(1, value.size() - 2);
    } else {
        value = defaultValue;
        while (!value.empty() && value[value.size() - 1] == ' ')
            value.erase(value.size() - 1);
    }
    value = value.substr(0, value.find('\0'));
    return value.substr(0, 255);
}

std::string StructText(const unsigned char *data, unsigned size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    unsigned sum = 0;

    for (unsigned i = 0; i < size; i++) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
        sum += data[i];
    }
    text += digits[(sum >> 4) & 15];
    text += digits[sum & 15];
    return text;
}
