/* fuzz_support.h - what the fuzz targets share: failing loudly, a scratch
 * directory, whole-file helpers, a reader over the fuzzer's bytes and a
 * plain reference reader of the settings file. The print job's host is the
 * engine tests' recording one (tests/fake_host.cpp).
 *
 * The references here are written from the rules as a user would state
 * them, not from the engine's code: when the two disagree, one of them is
 * wrong, and the fuzzer says so by aborting. */
#ifndef VELMAR_FUZZ_SUPPORT_H
#define VELMAR_FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

typedef std::vector<unsigned char> Bytes;

/* Aborts with what was expected and what came, so the fuzzer keeps the input. */
void Check(bool ok, const char *what);
void CheckSame(const std::string &expected, const std::string &actual, const char *what);
void CheckSameLines(const std::vector<std::string> &expected, const std::vector<std::string> &actual,
                    const char *what);

/* A fresh directory for this process, removed with its files at exit. */
const std::string &ScratchDirectory();
std::string ScratchPath(const std::string &name);
void WriteWholeFile(const std::string &path, const std::string &bytes);
/* The file's bytes; exists is false when it cannot be opened. */
std::string ReadWholeFile(const std::string &path, bool *exists);
void RemoveFile(const std::string &path);

/* Takes bytes from the front of the fuzzer's input; past its end every byte
 * reads as 0 and every string as empty. */
struct InputReader {
    const uint8_t *data;
    size_t size;
    size_t at;
};
InputReader ReadFrom(const uint8_t *data, size_t size);
uint8_t TakeByte(InputReader *in);
std::string TakeBytes(InputReader *in, size_t count);
std::string TakeRest(InputReader *in);

/* ---- Reference reader of the settings file ---------------------------------
 *
 * The file is lines ended by CR, LF or CR LF. Blanks (space, tab, CR, VT,
 * FF) around a line and around names and values do not count. A line whose
 * first character is ";" is a comment. A line that starts with "[" and has a
 * "]" later on heads a section named by what stands between the "[" and the
 * last "]". Any other line that is not blank is a key: its name is what
 * stands before the first "=", its value what follows it (nothing when there
 * is no "="). Names are compared without regard to ASCII case; the first
 * section of a name and the first key of a name in it count. */

/* The raw value of key in the first section named section. */
bool ReferenceFindValue(const std::string &text, const char *section, const char *key,
                        std::string *value);

/* A structure of size bytes: exactly two hex digits per byte plus two for the
 * checksum, the byte sum modulo 256. Fills data and returns true only then. */
bool ReferenceReadStruct(const std::string *text, const char *key, unsigned char *data, unsigned size);

/* A string read into a 256-byte buffer: the value without one pair of
 * matching quotes around it, or the default without its trailing blanks;
 * either ends at a NUL and after 255 characters. text NULL: no file. */
std::string ReferenceReadString(const std::string *text, const char *key, const char *defaultValue);

/* The hex text a structure value is written as. */
std::string StructText(const unsigned char *data, unsigned size);

#endif
