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
 * and places each shows. Bit images are put down a dot at a time, each a
 * rectangle of its own; the layout's merged rectangles must cover exactly
 * the same area. The state-only pass must leave exactly the state the
 * layout does. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "fuzz_support.h"
#include "layout.h"

namespace {

/* One struck character: sheet-local line top, left edge, width, Unicode. */
typedef std::tuple<uint32_t, uint32_t, uint32_t, uint16_t> Mark;
/* A rectangle of dots: left, right, top, bottom (1/720, 1/2160 inch). */
typedef std::tuple<uint32_t, uint32_t, uint32_t, uint32_t> Box;
struct SheetMarks {
    std::set<Mark> marks;
    std::vector<Box> dots;
    bool empty() const { return marks.empty() && dots.empty(); }
};

/* The area a list of rectangles covers, in a form that does not depend on
 * how it is cut: for each strip between two rectangle edges down the
 * sheet, the covered stretches across, merged. */
std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> Coverage(const std::vector<Box> &boxes)
{
    std::vector<uint32_t> edges;
    for (const Box &b : boxes) {
        edges.push_back(std::get<2>(b));
        edges.push_back(std::get<3>(b));
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> strips;
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, size_t> open; /* by stretch and bottom */
    for (size_t e = 0; e + 1 < edges.size(); e++) {
        std::vector<std::pair<uint32_t, uint32_t>> across;
        for (const Box &b : boxes)
            if (std::get<2>(b) <= edges[e] && std::get<3>(b) >= edges[e + 1])
                across.push_back({std::get<0>(b), std::get<1>(b)});
        std::sort(across.begin(), across.end());
        for (size_t i = 0; i < across.size();) {
            uint32_t from = across[i].first, to = across[i].second;
            for (i++; i < across.size() && across[i].first <= to; i++)
                to = std::max(to, across[i].second);
            /* A strip that continues the one above with the same stretch
             * is one with it. */
            auto above = open.find(std::make_tuple(from, to, edges[e]));
            if (above != open.end()) {
                size_t k = above->second;
                open.erase(above);
                std::get<3>(strips[k]) = edges[e + 1];
                open[std::make_tuple(from, to, edges[e + 1])] = k;
            } else {
                open[std::make_tuple(from, to, edges[e + 1])] = strips.size();
                strips.push_back({from, to, edges[e], edges[e + 1]});
            }
        }
    }
    std::sort(strips.begin(), strips.end());
    return strips;
}

bool operator!=(const SheetMarks &a, const SheetMarks &b)
{
    return a.marks != b.marks || Coverage(a.dots) != Coverage(b.dots);
}

struct Reference {
    /* Look. */
    int pitch = 10, condensed = 0, wide = 0, wideLine = 0, underline = 0;
    uint32_t spacing = 360, form, powerOnForm;
    unsigned char modes[4] = {0, 1, 2, 3};
    std::vector<uint32_t> tabs; /* ESC D stops, 1/360 inch from the left margin */
    bool tabsSet = false;
    uint32_t pins = 9, letterQuality = 0, unitDown = 0, unitAcross = 0;
    uint32_t leftMargin = 0, rightMargin = 0; /* 1/360 inch; 0: none */
    bool graphics = false; /* ESC ( G */
    uint32_t topMargin = 0; /* ESC ( c, 1/2160 inch */
    /* Where. */
    uint32_t x = 0, y = 0, carriage;
    const uint16_t *high;
    std::vector<SheetMarks> sheets; /* of the current page */
    bool overflowed = false;

    uint32_t Column() const
    {
        uint32_t w = pitch == 12 ? 30 : pitch == 15 ? 24 : 36;
        if (condensed && pitch != 15)
            w = pitch == 12 ? 18 : 21;
        return w;
    }
    uint32_t Width() const { return (wide || wideLine) ? 2 * Column() : Column(); }
    void Reset()
    {
        pitch = 10;
        condensed = wide = wideLine = underline = 0;
        spacing = 360;
        form = powerOnForm;
        for (int i = 0; i < 4; i++)
            modes[i] = (unsigned char)i;
        tabs.clear();
        tabsSet = false;
        letterQuality = unitDown = unitAcross = 0;
        graphics = false;
        topMargin = 0;
        leftMargin = rightMargin = 0;
    }
    /* Where a line starts: the margin while the widest character fits
     * after it; where it wraps. */
    uint32_t LineStart() const { return leftMargin + 72 <= carriage ? leftMargin : 0; }
    uint32_t LineEnd(bool blank) const
    {
        uint32_t end = blank ? (uint32_t)LAYOUT_MAX_CARRIAGE : carriage;
        return rightMargin && rightMargin < end ? rightMargin : end;
    }
    /* n units of ESC ( U down, 1/2160 inch (1/360 inch without one). */
    uint32_t Down(uint32_t n) const { return (n * (unitDown ? unitDown : 10) * 3 + 2) / 5; }
    void FeedTo(uint32_t to)
    {
        if (to == y)
            return;
        if (to >= form) {
            y = 0;
            sheets.emplace_back();
            return;
        }
        y = to;
    }
    uint32_t FineHead() const { return (fineX + 1) / 2 == x ? fineX : 2 * x; }
    void MoveHead(int64_t to)
    {
        int64_t right = rightMargin ? rightMargin : (uint32_t)LAYOUT_MAX_CARRIAGE;
        if (to < 2 * (int64_t)LineStart() || to > 2 * right)
            return;
        fineX = (uint32_t)to;
        x = (fineX + 1) / 2;
    }
    /* One dot, at x (1/720 inch) of the line, row k of a band. */
    void Dot(uint32_t left, uint32_t step, uint32_t k, bool tall, uint32_t rows)
    {
        /* 8-dot images on 24 pins: every third pin, 1/60 inch apart. */
        uint32_t pitch = tall ? 12 : rows == 8 && pins == 24 ? 36 : 30, top = y + k * pitch, bottom = top + pitch;
        if (left + step > 2 * carriage || top >= form)
            return;
        sheets.back().dots.push_back(Box(left, left + step, top, std::min(bottom, form)));
    }
    /* One column of a bit image at the head, which moves on by its width
     * (kept in 1/720 inch while nothing else moves it). */
    uint32_t fineX = 0;
    void Column(uint32_t bits, bool tall, uint32_t step, uint32_t rows)
    {
        if ((fineX + 1) / 2 != x)
            fineX = 2 * x;
        uint32_t left = fineX;
        fineX += step;
        x = std::min((fineX + 1) / 2, (uint32_t)LAYOUT_MAX_CARRIAGE);
        for (uint32_t k = 0; k < rows; k++)
            if (bits >> (rows - 1 - k) & 1)
                Dot(left, step, k, tall, rows);
    }
    void NextLine(bool lineFeed = true)
    {
        if (lineFeed)
            wideLine = 0;
        x = LineStart();
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
        uint32_t limit = LineEnd(ch == ' ' && !underline);
        if (x + w > limit && x > LineStart())
            NextLine(false); /* a wrapped line stays double width */
        if (ch != ' ')
            sheets.back().marks.insert(Mark(y, x, w, ch));
        x += w;
    }
};

/* Bytes a command takes after ESC, its own byte included, or 0 when the
 * stream ends inside it (it then takes the rest). modes: those of ESC K, L,
 * Y, Z (24-dot modes take three bytes a column). */
size_t CommandLength(const unsigned char *s, size_t n, const unsigned char *modes)
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
        /* Ascending values, ended by a NUL or one not above the last. */
        size_t start = c == 'b' ? 3 : 2, limit = c == 'D' ? 32 : 16;
        if (c == 'b' && n < 3)
            return 0;
        for (size_t i = 0; i < limit; i++) {
            if (start + i >= n)
                return 0;
            if (s[start + i] == 0 || (i > 0 && s[start + i] <= s[start + i - 1]))
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
        return n < 4 ? 0 : fits(4 + (at(2) + 256 * at(3)) * (modes[strchr("KLYZ", c) - "KLYZ"] >= 32 ? 3 : 1));
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

/* Dots an inch across of a bit-image mode, 0 for a mode not drawn. */
uint32_t Density(uint32_t mode)
{
    static const std::map<uint32_t, uint32_t> dpi = {{0, 60}, {1, 120}, {2, 120}, {3, 240},
                                                     {4, 80}, {5, 72}, {6, 90}, {7, 144},
                                                     {32, 60}, {33, 120}, {35, 240}, {38, 90}, {39, 180},
                                                     {40, 360}};
    auto found = dpi.find(mode);
    return found == dpi.end() ? 0 : found->second;
}

/* The marks as they print: an underscore under another character only
 * underlines it. The layout may keep such an underscore as a cell of its
 * own (struck on a line the paper came back to), which prints the same, so
 * both sides are compared this way. */
std::set<Mark> Printed(const std::set<Mark> &marks)
{
    std::set<Mark> kept;
    for (const Mark &m : marks) {
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
    return kept;
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
            r.y = r.fineX = 0; /* each page starts the head anew, at the margin */
            r.x = r.LineStart();
            page++;
        }
        if (i == file.size())
            break;
        unsigned char b = s[i];
        if (b == 28 && i + 1 < file.size() && s[i + 1] == '3') {
            /* FS 3 n: lines n/360 inch apart. */
            if (i + 2 < file.size())
                r.spacing = 6u * s[i + 2];
            i = std::min(i + 3, file.size());
            continue;
        }
        if (b == 27) {
            const size_t start = i;
            size_t length = CommandLength(s + i, file.size() - i, r.modes);
            size_t taken = length ? length : file.size() - i;
            unsigned char c = i + 1 < file.size() ? s[i + 1] : 0;
            unsigned char p1 = i + 2 < file.size() ? s[i + 2] : 0;
            unsigned char p2 = i + 3 < file.size() ? s[i + 3] : 0;
            /* The command is obeyed at its header's last byte, on the page
             * that byte is on, as the printer takes it. */
            auto obey = [&]() {
                if (!length)
                    return;
                /* ESC ( x nL nH d0 d1 ...: the sub-command x, the data. */
                auto data = [&](size_t k) -> uint32_t { return start + 5 + k < start + taken ? s[start + 5 + k] : 0; };
                uint32_t extended = c == '(' ? p2 + 256u * (start + 4 < file.size() ? s[start + 4] : 0) : 0;
                int32_t signedParam = (int16_t)(uint16_t)(p1 | p2 << 8);
                switch (c) {
                case 14: r.wideLine = 1; break;
                case 15: r.condensed = 1; break;
                case 'W': r.wide = p1 == 1 || p1 == '1'; break;
                case '-': r.underline = p1 == 1 || p1 == '1'; break;
                case 'P': r.pitch = 10; break;
                case 'M': r.pitch = 12; break;
                case 'g': r.pitch = 15; break;
                case '0': r.spacing = 270; break;
                case '1':
                    if (r.pins == 9)
                        r.spacing = 210;
                    break;
                case '2': r.spacing = 360; break;
                case '3': r.spacing = (r.pins == 24 ? 12u : 10u) * p1; break;
                case 'A': r.spacing = (r.pins == 24 ? 36u : 30u) * p1; break;
                case '+': r.spacing = 6u * p1; break;
                case 'J': r.FeedTo(r.y + (r.pins == 24 ? 12u : 10u) * p1); break;
                case 'j': r.FeedTo(r.y > 10u * p1 ? r.y - 10u * p1 : 0); break;
                case '$':
                    r.MoveHead(2 * (int64_t)r.LineStart() +
                               ((p1 + 256u * p2) * (r.unitAcross ? r.unitAcross : 60) + 2) / 5);
                    break;
                case '\\': {
                    uint32_t unit = r.unitAcross ? r.unitAcross : r.pins == 24 && r.letterQuality ? 20 : 30;
                    int64_t d = ((uint32_t)std::abs(signedParam) * unit + 2) / 5;
                    r.MoveHead((int64_t)r.FineHead() + (signedParam < 0 ? -d : d));
                    break;
                }
                case 'x': r.letterQuality = p1 == 1 || p1 == '1'; break;
                case 'l':
                    if (p1 * r.Column() < LAYOUT_MAX_CARRIAGE && (!r.rightMargin || p1 * r.Column() < r.rightMargin))
                        r.leftMargin = p1 * r.Column();
                    break;
                case 'Q':
                    if (p1 * r.Column() > r.leftMargin)
                        r.rightMargin = std::min(p1 * r.Column(), (uint32_t)LAYOUT_MAX_CARRIAGE);
                    break;
                case '(':
                    if (p1 == 'G') {
                        r.graphics = true;
                    } else if (p1 == 'U' && extended == 1 && data(0)) {
                        r.unitDown = r.unitAcross = data(0);
                    } else if (p1 == 'U' && extended >= 5) {
                        uint32_t base = data(3) + 256 * data(4), v = data(1), h = data(2);
                        if (base && v && h && 3600 * v % base == 0 && 3600 * h % base == 0 &&
                            3600 * v / base <= 255 && 3600 * h / base <= 255) {
                            r.unitDown = 3600 * v / base;
                            r.unitAcross = 3600 * h / base;
                        }
                    } else if (p1 == 'C' && extended >= 2) {
                        uint32_t n = r.Down(data(0) + 256 * data(1));
                        if (n > 0 && n <= LAYOUT_MAX_FORM) {
                            r.form = n;
                            r.topMargin = 0;
                        }
                    } else if (p1 == 'c' && extended >= 4) {
                        uint32_t n = r.Down(data(0) + 256 * data(1));
                        if (n < r.form)
                            r.topMargin = n;
                    } else if (p1 == 'V' && extended >= 2) {
                        r.FeedTo(r.topMargin + r.Down(data(0) + 256 * data(1)));
                    } else if (p1 == 'v' && extended >= 2) {
                        int32_t m = (int16_t)(uint16_t)(data(0) | data(1) << 8);
                        uint32_t d = r.Down((uint32_t)std::abs(m));
                        r.FeedTo(m >= 0 ? r.y + d : r.y > d ? r.y - d : 0);
                    }
                    break;
                case 'C':
                    if (p1 && p1 * r.spacing > 0 && p1 * r.spacing <= 22 * 2160)
                        r.form = p1 * r.spacing;
                    else if (!p1 && p2 >= 1 && p2 <= 22)
                        r.form = 2160u * p2;
                    break;
                case '@': r.Reset(); break;
                case '?':
                    if (p1 && strchr("KLYZ", p1) && Density(p2))
                        r.modes[strchr("KLYZ", p1) - "KLYZ"] = p2;
                    break;
                case 'D':
                    r.tabsSet = true;
                    r.tabs.clear();
                    for (size_t k = start + 2; k < start + taken && s[k] != 0 &&
                                           (k == start + 2 || s[k] > s[k - 1]);
                         k++)
                        r.tabs.push_back(s[k] * r.Column());
                    break;
                }
            };
            /* A raster image (ESC . c v h m nL nH), its data decoded here
             * from the bytes there are: plain (c 0) or run-length (c 1). It
             * prints in graphics mode and on 24 pins. */
            /* Each decoded byte with the index of the byte that gave it: it
             * prints on the page that byte is on, a page started inside the
             * image going on from its head and top. */
            std::vector<std::pair<size_t, unsigned char>> decoded;
            uint32_t rasterV = 0, rasterH = 0, rasterWidth = 0, rasterLeft = 0, rasterTop = 0;
            size_t perRow = 1, next = 0;
            if (c == '.' && taken >= 8 && s[i + 2] <= 1 && (r.graphics || r.pins == 24)) {
                uint32_t rows = s[i + 5];
                rasterV = s[i + 3];
                rasterH = s[i + 4];
                rasterWidth = s[i + 6] + 256u * s[i + 7];
                perRow = (rasterWidth + 7) / 8;
                size_t total = rows * perRow;
                for (size_t k = i + 8; k < i + taken && decoded.size() < total;) {
                    if (s[i + 2] == 0) {
                        decoded.push_back({k, s[k]});
                        k++;
                    } else if (s[k] >= 128) {
                        if (k + 1 >= i + taken)
                            break;
                        size_t n = std::min((size_t)(257 - s[k]), total - decoded.size());
                        for (size_t m = 0; m < n; m++)
                            decoded.push_back({k + 1, s[k + 1]});
                        k += 2;
                    } else {
                        size_t literal = s[k] + 1u;
                        for (k++; literal > 0 && k < i + taken && decoded.size() < total; literal--, k++)
                            decoded.push_back({k, s[k]});
                    }
                }
                if (perRow == 0)
                    decoded.clear();
            }
            bool raster = c == '.' && taken >= 8 && s[i + 2] <= 1 && (r.graphics || r.pins == 24);
            /* Its top left where the head and the line are, the head past
             * its width. */
            auto rasterStart = [&]() {
                rasterLeft = r.FineHead();
                rasterTop = r.y;
                r.fineX = std::min(rasterLeft + rasterWidth * rasterH / 5, 2u * LAYOUT_MAX_CARRIAGE);
                r.x = (r.fineX + 1) / 2;
            };
            auto rasterDots = [&](size_t index) {
                for (; next < decoded.size() && decoded[next].first == index; next++) {
                    uint32_t row = (uint32_t)(next / perRow);
                    for (uint32_t bit = 0; bit < 8; bit++) {
                        uint32_t j = (uint32_t)(next % perRow) * 8 + bit;
                        uint32_t l = rasterLeft + j * rasterH / 5, rt = rasterLeft + (j + 1) * rasterH / 5;
                        uint32_t t = rasterTop + row * rasterV * 3 / 5, bt = rasterTop + (row + 1) * rasterV * 3 / 5;
                        if (j >= rasterWidth || !(decoded[next].second & (0x80 >> bit)) || l == rt || t == bt ||
                            rt > 2 * r.carriage || t >= r.form)
                            continue;
                        r.sheets.back().dots.push_back(Box(l, rt, t, std::min(bt, r.form)));
                    }
                }
            };
            /* A bit image: its columns, each on the page its last byte is. */
            uint32_t mode = 256, header = c == '*' || c == '^' ? 5 : 4;
            if (c && strchr("KLYZ", c))
                mode = r.modes[strchr("KLYZ", c) - "KLYZ"];
            else if (c == '*')
                mode = p1;
            size_t perColumn = mode >= 32 ? 3 : 1;
            bool image = mode < 256 && Density(mode) && taken >= header;
            /* ESC ^ m: 9 dots, two bytes a column, 60 or 120 dpi. */
            bool nine = c == '^' && p1 <= 1 && taken >= header;
            if (nine)
                perColumn = 2;
            /* The command's bytes may run over page starts: the loop above
             * opens those pages on the way. */
            size_t end = i + taken, data = i + header;
            size_t headerEnd = start + (c == '.' ? 8 : c && strchr("KLYZ*^", c) ? header : taken) - 1;
            while (i < end) {
                if (i == headerEnd) {
                    obey();
                    if (raster)
                        rasterStart();
                }
                if (image && i >= data && (i - data) % perColumn == perColumn - 1) {
                    uint32_t bits = perColumn == 3 ? (uint32_t)s[i - 2] << 16 | s[i - 1] << 8 | s[i] : s[i];
                    r.Column(bits, perColumn == 3, 720 / Density(mode), perColumn == 3 ? 24 : 8);
                }
                if (nine && i >= data && (i - data) % 2 == 1)
                    r.Column((uint32_t)s[i - 1] << 1 | s[i] >> 7, false, p1 ? 6 : 12, 9);
                rasterDots(i);
                i++;
                while (page < pageStarts.size() && pageStarts[page] <= i && i < end) {
                    pages.push_back(r.sheets);
                    r.sheets.assign(1, SheetMarks());
                    r.y = r.fineX = 0;
                    r.x = r.LineStart();
                    rasterLeft = 2 * r.x;
                    rasterTop = 0;
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
        case '\r': r.x = r.LineStart(); break;
        case '\n': r.NextLine(); break;
        case '\f':
            r.wideLine = 0;
            r.x = r.LineStart();
            r.y = 0;
            r.sheets.emplace_back();
            break;
        case '\t': {
            uint32_t column = r.Width(), start = r.LineStart();
            if (!r.tabsSet) {
                uint32_t to = r.x < start ? start : start + ((r.x - start) / (8 * column) + 1) * 8 * column;
                r.x = std::min((uint32_t)LAYOUT_MAX_CARRIAGE, to);
                break;
            }
            for (uint32_t stop : r.tabs)
                if (start + stop > r.x) {
                    r.x = std::min((uint32_t)LAYOUT_MAX_CARRIAGE, start + stop);
                    break;
                }
            break;
        }
        case '\b':
            /* Never left of the margin. */
            if (r.x >= r.LineStart() + r.Width())
                r.x -= r.Width();
            else if (r.LineStart() < r.x)
                r.x = r.LineStart();
            break;
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
        for (auto &sheet : sheets) {
            SheetMarks kept;
            kept.dots = sheet.dots;
            kept.marks = Printed(sheet.marks);
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
    /* The pins as a job chooses them without the setting: from the set-up
     * and the file together. */
    std::string whole((const char *)setup, setupLength);
    whole += file;
    uint32_t pins = EscpUses24Pin((const unsigned char *)whole.data(), (uint32_t)whole.size()) ? 24 : 9;
    InitialPrinterState(&initial, setup, (uint32_t)setupLength, formLines, pins);
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
                        marks.marks.insert(Mark(line.y, c.x, c.width, c.ch));
                }
            }
            Check(next == sheet.cellCount, "every cell on a line");
            Check(sheet.dotCount <= sheet.dotCapacity && sheet.dotCapacity <= LAYOUT_MAX_SHEET_DOTS,
                  "the sheet's array holds its dots");
            for (uint32_t i = 0; i < sheet.dotCount; i++) {
                const LayoutDots &d = sheet.dots[i];
                Check(d.left < d.right && d.right <= 2 * carriage, "dots on the carriage");
                Check(d.top < d.bottom && d.bottom <= sheet.form, "dots on the form");
                marks.dots.push_back(Box(d.left, d.right, d.top, d.bottom));
            }
            Check(sheet.pictureCount <= sheet.pictureCapacity && sheet.pictureBytes <= sheet.pictureRoom &&
                      sheet.pictureRoom <= LAYOUT_MAX_PICTURE_BYTES,
                  "the sheet's arrays hold its pictures");
            for (uint32_t i = 0; i < sheet.pictureCount; i++) {
                static LayoutDots runs[LAYOUT_MAX_CARRIAGE + 1];
                const LayoutPicture &p = sheet.pictures[i];
                uint32_t drawn = 0;
                Check(p.width > 0 && p.rows > 0 && p.stride == (p.width + 7) / 8 &&
                          p.bits + (uint32_t)p.rows * p.stride <= sheet.pictureBytes,
                      "a picture's dots within the sheet's");
                Check(p.left + (uint32_t)p.width * p.stepX <= 2 * carriage, "pictures on the carriage");
                Check(p.top < p.bottom && p.bottom <= sheet.form &&
                          p.top + (uint32_t)(p.rows - 1) * p.stepY < p.bottom,
                      "pictures on the form");
                for (uint32_t y = 0; y < p.rows; y++) {
                    uint32_t n = PictureRowDots(&sheet, &p, y, runs, LAYOUT_MAX_CARRIAGE + 1);
                    drawn += n;
                    for (uint32_t k = 0; k < n; k++)
                        marks.dots.push_back(Box(runs[k].left, runs[k].right, runs[k].top, runs[k].bottom));
                }
                Check(drawn > 0, "a picture draws");
            }
            marks.marks = Printed(marks.marks);
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
        r.pins = initial.pins;
        r.letterQuality = initial.letterQuality;
        r.unitDown = initial.unitDown;
        r.unitAcross = initial.unitAcross;
        r.leftMargin = initial.leftMargin;
        r.rightMargin = initial.rightMargin;
        r.graphics = initial.graphicsMode != 0;
        r.topMargin = initial.topMargin;
        r.form = initial.formLength;
        /* The set-up's tab stops and image modes too. */
        memcpy(r.modes, initial.reader.imageModes, sizeof r.modes);
        r.tabsSet = initial.tabWidth != 0;
        for (uint32_t i = 0; i < initial.tabCount; i++)
            r.tabs.push_back((uint32_t)initial.tabs[i] * initial.tabWidth);
        std::vector<size_t> starts;
        for (uint32_t p = 0; p < table.Entries; p++)
            starts.push_back(table.PageStarts[p]);
        /* The set-up's own command cut short would carry into the file;
         * the reference starts clean, so such inputs are not compared. */
        if (initial.reader.parse == ESCP_IN_TEXT) {
            auto expected = ReferenceSheets(r, file, starts);
            Check(expected.size() == laidOut.size(), "as many pages as the reference");
            for (size_t p = 0; p < expected.size(); p++) {
                Check(expected[p].size() == laidOut[p].size(), "as many printed sheets as the reference");
                for (size_t k = 0; k < expected[p].size(); k++) {
                    if (expected[p][k] != laidOut[p][k]) {
                        fprintf(stderr, "page %zu sheet %zu: marks (y x width ch) the reference has,\n", p, k);
                        for (const Mark &m : expected[p][k].marks)
                            if (!laidOut[p][k].marks.count(m))
                                fprintf(stderr, "  + %u %u %u U+%04X\n", std::get<0>(m), std::get<1>(m), std::get<2>(m), std::get<3>(m));
                        fprintf(stderr, "and the layout has:\n");
                        for (const Mark &m : laidOut[p][k].marks)
                            if (!expected[p][k].marks.count(m))
                                fprintf(stderr, "  - %u %u %u U+%04X\n", std::get<0>(m), std::get<1>(m), std::get<2>(m), std::get<3>(m));
                        fprintf(stderr, "dots (left right top bottom), the reference's then the layout's:\n");
                        for (const Box &b : Coverage(expected[p][k].dots))
                            fprintf(stderr, "  + %u %u %u %u\n", std::get<0>(b), std::get<1>(b), std::get<2>(b), std::get<3>(b));
                        for (const Box &b : Coverage(laidOut[p][k].dots))
                            fprintf(stderr, "  - %u %u %u %u\n", std::get<0>(b), std::get<1>(b), std::get<2>(b), std::get<3>(b));
                    }
                    Check(!(expected[p][k] != laidOut[p][k]), "each sheet shows what the reference does");
                }
            }
        }
    }
    FreeSheet(&sheet);
    FreePageTable(&table);
    free(image);
    return 0;
}
