/* fuzz_layout.cpp - the sheet layout of any bytes, against a plain
 * reference of what each sheet shows.
 *
 * Input: byte 0 picks the code page (bit 0: 1125) and the carriage (bits
 * 1-7: 8 to 135 columns), byte 1 the set-up bytes' length (up to 15) and
 * the form in lines (bits 4-7, times 8; 0 the default), then the set-up
 * bytes, then the file, cut into pages at form feeds.
 *
 * The reference reads the whole file as one stream with look-ahead (the
 * engine goes a byte at a time), puts every struck character on an
 * unbounded map, and is compared, sheet by sheet, as the set of characters
 * and places each shows. The state-only pass must leave exactly the state
 * the layout does. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <set>
#include <tuple>

#include "fuzz_support.h"
#include "layout.h"

namespace {

/* One struck character: sheet-local line top, left edge, width, Unicode. */
typedef std::tuple<uint32_t, uint32_t, uint32_t, uint16_t> Mark;
typedef std::set<Mark> SheetMarks;

struct Reference {
    /* Look. */
    int pitch = 10, condensed = 0, wide = 0, wideLine = 0, underline = 0;
    uint32_t spacing = 36, form, powerOnForm;
    /* Where. */
    uint32_t x = 0, y = 0, carriage;
    const uint16_t *high;
    std::vector<SheetMarks> sheets; /* of the current page */
    bool overflowed = false;

    uint32_t Width() const
    {
        uint32_t w = pitch == 12 ? 30 : pitch == 15 ? 24 : 36;
        if (condensed && pitch != 15)
            w = pitch == 12 ? 18 : 21;
        return (wide || wideLine) ? 2 * w : w;
    }
    void Reset()
    {
        pitch = 10;
        condensed = wide = wideLine = underline = 0;
        spacing = 36;
        form = powerOnForm;
    }
    void NextLine(bool lineFeed = true)
    {
        if (lineFeed)
            wideLine = 0;
        x = 0;
        y += spacing;
        if (y >= form) {
            y = 0;
            sheets.emplace_back();
        }
    }
    void Put(unsigned char b)
    {
        uint32_t w = Width();
        uint16_t ch = b < 128 ? b : high[b - 128];
        /* A blank that prints nothing wraps only on the widest carriage. */
        uint32_t limit = ch == ' ' && !underline ? (uint32_t)LAYOUT_MAX_CARRIAGE : carriage;
        if (x + w > limit && x > 0)
            NextLine(false); /* a wrapped line stays double width */
        if (ch != ' ')
            sheets.back().insert(Mark(y, x, w, ch));
        x += w;
    }
};

/* Bytes a command takes after ESC, its own byte included, or 0 when the
 * stream ends inside it (it then takes the rest). */
size_t CommandLength(const unsigned char *s, size_t n)
{
    auto at = [&](size_t i) -> uint32_t { return i < n ? s[i] : 0; };
    auto fits = [&](size_t length) -> size_t { return length <= n ? length : 0; };
    if (n < 2)
        return 0;
    unsigned char c = s[1];
    const char *one = " !%+-/3ACIJNQRSUWaijklpqrstwxhmu\x19";
    const char *two = "$?\\cefKLYZ";
    const char *three = ":X*^(&";
    if (c == 'B' || c == 'D' || c == 'b') {
        size_t start = c == 'b' ? 3 : 2, limit = c == 'D' ? 32 : 16;
        if (c == 'b' && n < 3)
            return 0;
        for (size_t i = 0; i < limit; i++) {
            if (start + i >= n)
                return 0;
            if (s[start + i] == 0)
                return start + i + 1;
        }
        return start + limit;
    }
    if (c == 'C') {
        if (n < 3)
            return 0;
        return fits(at(2) == 0 ? 4 : 3);
    }
    if (c != 0 && strchr(one, c))
        return fits(3);
    if (c == 'K' || c == 'L' || c == 'Y' || c == 'Z')
        return n < 4 ? 0 : fits(4 + at(2) + 256 * at(3));
    if (c != 0 && strchr(two, c))
        return fits(4);
    if (c == '*' || c == '^' || c == '(') {
        if (n < 5)
            return 0;
        size_t columns = at(3) + 256 * at(4);
        size_t bytes = c == '^' ? 2 * columns : c == '(' ? columns
                       : columns * (at(2) >= 64 ? 6 : at(2) >= 32 ? 3 : 1);
        return fits(5 + bytes);
    }
    if (c == '&') {
        if (n < 5)
            return 0;
        size_t i = 5;
        if (at(4) >= at(3)) {
            for (uint32_t k = 0; k <= at(4) - at(3); k++) {
                if (i + 3 > n)
                    return 0;
                i += 3 + 3 * (size_t)s[i + 1];
            }
        }
        return fits(i);
    }
    if (c != 0 && strchr(three, c))
        return fits(5);
    if (c == '.') {
        if (n < 8)
            return 0;
        size_t total = at(5) * ((at(6) + 256 * at(7) + 7) / 8);
        if (at(2) != 1 || total == 0)
            return fits(8 + total);
        size_t i = 8;
        while (total > 0) {
            if (i >= n)
                return 0;
            unsigned char counter = s[i++];
            if (counter >= 128) {
                if (i >= n)
                    return 0;
                i++;
                size_t produced = 257 - counter;
                total = produced >= total ? 0 : total - produced;
            } else {
                for (int k = 0; k <= counter && total > 0; k++, total--) {
                    if (i >= n)
                        return 0;
                    i++;
                }
            }
        }
        return i;
    }
    return 2;
}

/* Runs the reference over the whole file; sheets per page, empty ones left
 * out. pageStart[k] is where page k begins. */
std::vector<std::vector<SheetMarks>> ReferenceSheets(Reference &r, const std::string &file,
                                                     const std::vector<size_t> &pageStarts)
{
    std::vector<std::vector<SheetMarks>> pages;
    const unsigned char *s = (const unsigned char *)file.data();
    size_t page = 0;

    for (size_t i = 0; i <= file.size();) {
        while (page < pageStarts.size() && pageStarts[page] <= i) {
            if (page > 0)
                pages.push_back(r.sheets);
            r.sheets.assign(1, SheetMarks());
            r.x = r.y = 0;
            page++;
        }
        if (i == file.size())
            break;
        unsigned char b = s[i];
        if (b == 27) {
            size_t length = CommandLength(s + i, file.size() - i);
            size_t taken = length ? length : file.size() - i;
            unsigned char c = i + 1 < file.size() ? s[i + 1] : 0;
            unsigned char p1 = i + 2 < file.size() ? s[i + 2] : 0;
            unsigned char p2 = i + 3 < file.size() ? s[i + 3] : 0;
            if (length) {
                switch (c) {
                case 14: r.wideLine = 1; break;
                case 15: r.condensed = 1; break;
                case 'W': r.wide = p1 == 1 || p1 == '1'; break;
                case '-': r.underline = p1 == 1 || p1 == '1'; break;
                case 'P': r.pitch = 10; break;
                case 'M': r.pitch = 12; break;
                case 'g': r.pitch = 15; break;
                case '0': r.spacing = 27; break;
                case '2': r.spacing = 36; break;
                case '3': r.spacing = p1; break;
                case 'A': r.spacing = 3u * p1; break;
                case 'C':
                    if (p1 && p1 * r.spacing > 0 && p1 * r.spacing <= 22 * 216)
                        r.form = p1 * r.spacing;
                    else if (!p1 && p2 >= 1 && p2 <= 22)
                        r.form = 216u * p2;
                    break;
                case '@': r.Reset(); break;
                }
            }
            /* The command's bytes may run over page starts: the loop above
             * opens those pages on the way. */
            size_t end = i + taken;
            while (i < end) {
                i++;
                while (page < pageStarts.size() && pageStarts[page] <= i && i < end) {
                    pages.push_back(r.sheets);
                    r.sheets.assign(1, SheetMarks());
                    r.x = r.y = 0;
                    page++;
                }
            }
            continue;
        }
        i++;
        if (b >= 32 && b != 127) {
            r.Put(b);
            continue;
        }
        switch (b) {
        case '\r': r.x = 0; break;
        case '\n': r.NextLine(); break;
        case '\f':
            r.wideLine = 0;
            r.x = r.y = 0;
            r.sheets.emplace_back();
            break;
        case '\t': {
            uint32_t column = r.Width();
            r.x = std::min((uint32_t)LAYOUT_MAX_CARRIAGE, (r.x / (8 * column) + 1) * 8 * column);
            break;
        }
        case '\b': r.x = r.x > r.Width() ? r.x - r.Width() : 0; break;
        case 14: r.wideLine = 1; break;
        case 20: r.wideLine = 0; break;
        case 15: r.condensed = 1; break;
        case 18: r.condensed = 0; break;
        }
    }
    if (page > 0)
        pages.push_back(r.sheets);
    /* Only what prints is compared. */
    for (auto &sheets : pages) {
        std::vector<SheetMarks> printed;
        for (auto &marks : sheets) {
            SheetMarks kept;
            for (const Mark &m : marks) {
                /* An underscore under another character only underlines it. */
                if (std::get<3>(m) == '_') {
                    bool under = false;
                    for (const Mark &o : marks)
                        under |= std::get<0>(o) == std::get<0>(m) && std::get<1>(o) == std::get<1>(m) &&
                                 std::get<2>(o) == std::get<2>(m) && std::get<3>(o) != '_';
                    if (under)
                        continue;
                }
                kept.insert(m);
            }
            if (!kept.empty())
                printed.push_back(kept);
        }
        sheets = printed;
    }
    return pages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    uint32_t codePage = (data[0] & 1) ? 1125 : 866;
    uint32_t carriage = (8 + (data[0] >> 1)) * 36;
    size_t setupLength = data[1] & 15;
    uint32_t formLines = (data[1] >> 4) * 8;
    if (2 + setupLength > size)
        return 0;
    const unsigned char *setup = data + 2;
    std::string file((const char *)data + 2 + setupLength, size - 2 - setupLength);
    /* The image on the heap, exactly its size, so a read beyond is caught. */
    unsigned char *image = (unsigned char *)malloc(file.size() + 1);
    memcpy(image, file.data(), file.size());

    PageTable table = {NULL, NULL, 0};
    uint32_t pageCount = 0;
    Check(SplitPages(image, (uint32_t)file.size(), 12, &table, &pageCount) == 1, "pages split");

    PrinterState initial, state;
    InitialPrinterState(&initial, setup, (uint32_t)setupLength, formLines);
    state = initial;
    uint32_t measured = MeasureCarriage(&initial, image, &table);
    Check(measured >= 72 && measured <= LAYOUT_MAX_CARRIAGE, "the carriage is within its bounds");

    LayoutSheet sheet;
    Check(AllocateSheet(&sheet) == 1, "a sheet");
    std::vector<std::vector<SheetMarks>> laidOut;
    bool dropped = false;
    for (uint32_t p = 0; p < table.Entries; p++) {
        const unsigned char *bytes = image + table.PageStarts[p];
        uint32_t length = table.PageEnds[p] - table.PageStarts[p] + 1;
        PrinterState quick = state;
        AdvancePrinterState(&quick, bytes, length);

        PageLayout layout;
        BeginPageLayout(&layout, &state, bytes, length, codePage, carriage);
        std::vector<SheetMarks> sheets;
        unsigned count = 0;
        while (LayOutNextSheet(&layout, &sheet)) {
            count++;
            Check(count <= length + 1, "no more sheets than bytes");
            Check(sheet.cellCount <= LAYOUT_SHEET_CELLS && sheet.lineCount <= sheet.cellCount,
                  "the sheet's arrays hold its cells");
            dropped |= sheet.dropped > 0;
            SheetMarks marks;
            uint32_t next = 0;
            for (uint32_t l = 0; l < sheet.lineCount; l++) {
                const LayoutLine &line = sheet.lines[l];
                Check(line.first == next && line.count > 0 && line.count <= LAYOUT_LINE_CELLS,
                      "lines follow each other");
                Check(line.y < sheet.form || sheet.form == 0, "lines start on the form");
                next += line.count;
                for (uint32_t i = line.first; i < line.first + line.count; i++) {
                    const LayoutCell &c = sheet.cells[i];
                    Check(i == line.first || sheet.cells[i - 1].x <= c.x, "cells in order");
                    Check(c.x + c.width <= carriage || c.x == 0, "cells on the carriage");
                    if (c.ch != ' ')
                        marks.insert(Mark(line.y, c.x, c.width, c.ch));
                }
            }
            Check(next == sheet.cellCount, "every cell on a line");
            if (!marks.empty())
                sheets.push_back(marks);
        }
        Check(count >= 1, "every page has a sheet");
        Check(memcmp(&quick, &layout.state, sizeof quick) == 0,
              "the state-only pass leaves the layout's state");
        state = layout.state;
        laidOut.push_back(sheets);
    }

    if (!dropped) {
        Reference r;
        r.powerOnForm = initial.powerOnForm;
        r.carriage = carriage;
        r.high = CodePageHighHalf(codePage);
        r.pitch = initial.pitch;
        r.condensed = initial.condensed;
        r.wide = initial.wide;
        r.wideLine = initial.wideLine;
        r.underline = initial.underline;
        r.spacing = initial.lineSpacing;
        r.form = initial.formLength;
        std::vector<size_t> starts;
        for (uint32_t p = 0; p < table.Entries; p++)
            starts.push_back(table.PageStarts[p]);
        /* The set-up's own command cut short would carry into the file;
         * the reference starts clean, so such inputs are not compared. */
        if (initial.parse == 0) {
            auto expected = ReferenceSheets(r, file, starts);
            Check(expected.size() == laidOut.size(), "as many pages as the reference");
            for (size_t p = 0; p < expected.size(); p++) {
                Check(expected[p].size() == laidOut[p].size(), "as many printed sheets as the reference");
                for (size_t k = 0; k < expected[p].size(); k++) {
                    if (expected[p][k] != laidOut[p][k]) {
                        fprintf(stderr, "page %zu sheet %zu: marks (y x width ch) the reference has,\n", p, k);
                        for (const Mark &m : expected[p][k])
                            if (!laidOut[p][k].count(m))
                                fprintf(stderr, "  + %u %u %u U+%04X\n", std::get<0>(m), std::get<1>(m), std::get<2>(m), std::get<3>(m));
                        fprintf(stderr, "and the layout has:\n");
                        for (const Mark &m : laidOut[p][k])
                            if (!expected[p][k].count(m))
                                fprintf(stderr, "  - %u %u %u U+%04X\n", std::get<0>(m), std::get<1>(m), std::get<2>(m), std::get<3>(m));
                    }
                    Check(expected[p][k] == laidOut[p][k], "each sheet shows what the reference does");
                }
            }
        }
    }
    FreeSheet(&sheet);
    FreePageTable(&table);
    free(image);
    return 0;
}
