/* fuzz_recode.cpp - Convert To Dos on any image, against the plain
 * reference in recode_reference.cpp: UTF-16 with a mark, UTF-8 with its
 * mark or valid with a Cyrillic letter, and everything else, for a printer
 * set to 866, 1125 or a stored value that means 866. The recoded bytes, the
 * new length and the log line must be exactly the reference's; for an
 * image that is not taken for Unicode with 866, they must also be exactly
 * what the Windows-1251 recoding alone makes of it. */
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "recode_reference.h"
#include "test_support.h" /* the engine tests' recording host */

/* Input: one byte for the stored code page (bits 0-1), then the image. */
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const uint32_t Stored[4] = {866, 1125, 0, 1251};
    InputReader in = ReadFrom(data, size);
    uint32_t stored = Stored[TakeByte(&in) & 3];
    std::string image = TakeRest(&in);

    bool logged;
    std::string expected = ReferenceRecodeForPrinter(image, stored, &logged);

    /* A block of exactly the image's size: a byte read or written beyond
     * it is caught. */
    unsigned char *block = (unsigned char *)malloc(image.size() + 1);
    memcpy(block, image.data(), image.size());
    ResetHost(1, 1, 1);
    uint32_t kept = RecodeForPrinter(block, (uint32_t)image.size(), stored, TestLog());
    Check(kept <= image.size(), "the image never grows");
    std::string actual((const char *)block, kept);
    std::vector<std::string> lines = Host.lines;
    CheckSame(expected, actual, "the recoded image");
    std::vector<std::string> expectedLines;
    if (logged)
        expectedLines.push_back(TextRecoding);
    CheckSameLines(expectedLines, lines, "the log lines");

    if (!ReferenceIsUnicode(image) && stored != 1125) {
        memcpy(block, image.data(), image.size());
        ResetHost(1, 1, 1);
        RecodeToDos(block, (uint32_t)image.size(), TestLog());
        CheckSame(std::string((const char *)block, image.size()), actual, "the Windows-1251 recoding alone");
        CheckSameLines(Host.lines, lines, "the Windows-1251 recoding's log");
    }
    free(block);
    return 0;
}
