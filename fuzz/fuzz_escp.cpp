/* fuzz_escp.cpp - on any bytes, every user of the command reader agrees on
 * which bytes are printer commands: the reader a byte at a time (the
 * reference), its stretch search, the page cutting, the recoding and the
 * layout's state-only pass.
 *
 * Input: byte 0 is the delimiter, byte 1 picks the code page (bit 0: 1125),
 * the rest is the file. */
#include <stdlib.h>
#include <string.h>

#include "escp.h"
#include "fuzz_support.h"
#include "layout.h"
#include "test_support.h" /* the engine tests' recording host */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputReader in = ReadFrom(data, size);
    unsigned char delimiter = TakeByte(&in);
    uint32_t codePage = TakeByte(&in) & 1 ? 1125 : 866;
    std::string file = TakeRest(&in);
    uint32_t n = (uint32_t)file.size();
    const unsigned char *bytes = (const unsigned char *)file.data();

    /* The reference: a byte at a time, and the reader's state after each. */
    std::vector<bool> text(n);
    std::vector<EscpReader> after(n);
    EscpReader reader;
    EscpReset(&reader);
    for (uint32_t i = 0; i < n; i++) {
        text[i] = EscpRead(&reader, bytes[i]) == ESCP_TEXT;
        after[i] = reader;
    }

    /* The stretches of text are exactly the text bytes. */
    EscpText stretches;
    uint32_t from, to, covered = 0;
    EscpBeginText(&stretches, bytes, n);
    while (EscpNextText(&stretches, &from, &to)) {
        Check(from == covered || (from > covered && from <= n), "stretches in order");
        for (uint32_t i = covered; i < from; i++)
            Check(!text[i], "a byte between stretches of text is a command's");
        for (uint32_t i = from; i < to; i++)
            Check(text[i], "a stretch of text holds text only");
        Check(to <= n && to >= from, "a stretch inside the file");
        covered = to;
    }
    for (uint32_t i = covered; i < n; i++)
        Check(!text[i], "what follows the last stretch is a command's");
    Check(EscpFirstCommand(bytes, n) <= n, "the first command inside the file");

    /* The page cutting: a page ends at a delimiter exactly where it is text. */
    PageTable table;
    uint32_t pageCount = 0;
    if (SplitPages(bytes, n, delimiter, &table, &pageCount)) {
        std::vector<bool> ends(n);
        for (uint32_t k = 0; k < table.Entries; k++) {
            Check(table.PageStarts[k] == (k ? table.PageEnds[k - 1] + 1 : 0), "pages follow each other");
            ends[table.PageEnds[k]] = true;
        }
        Check(table.Entries == 0 || table.PageEnds[table.Entries - 1] == n - 1, "the last page ends the file");
        uint32_t cuts = 0;
        for (uint32_t i = 0; i < n; i++) {
            bool cut = text[i] && bytes[i] == delimiter;
            cuts += cut;
            Check(cut == (ends[i] && i != n - 1) || i == n - 1, "a page ends at a delimiter of the text");
        }
        Check(pageCount == 1 + cuts, "the count says the delimiters of the text");
        FreePageTable(&table);
    }

    /* The recoding leaves every command byte as it is. */
    unsigned char *block = (unsigned char *)malloc(n + 1);
    memcpy(block, bytes, n);
    ResetHost(1, 1, 1);
    RecodeToCodePage(block, n, codePage, TestLog());
    for (uint32_t i = 0; i < n; i++)
        Check(text[i] || block[i] == bytes[i], "a command byte is not recoded");
    free(block);

    /* The layout's reader, fed a byte at a time, is where the reference is. */
    PrinterState state;
    InitialPrinterState(&state, NULL, 0, 0, 9);
    for (uint32_t i = 0; i < n; i++) {
        AdvancePrinterState(&state, bytes + i, 1);
        Check(state.reader.parse == after[i].parse, "the layout reads the commands the reader does");
        Check(state.reader.parse == ESCP_IN_TEXT || state.reader.count == after[i].count,
              "and the lengths of their data");
        Check(memcmp(state.reader.imageModes, after[i].imageModes, 4) == 0, "and the modes of K L Y Z");
    }
    return 0;
}
