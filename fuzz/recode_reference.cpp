/* recode_reference.cpp - Convert To Dos as a user would state it, written
 * without regard to how the engine does it. */
#include "recode_reference.h"

#include <vector>

#include "engine.h"
#include "escp.h"

/* Recoding covers the whole Cyrillic range (Ё, №, quotes, dashes, the
 * Ukrainian letters), not only А-я. */
static const bool RecodesWholeCyrillicRange = true;

/* Windows-1251 to code page 866 for one byte; every byte not named stays. */
unsigned char ReferenceRecode(unsigned char c)
{
    if (c >= 0xC0 && c <= 0xEF) /* А-Я, а-п */
        return (unsigned char)(c - 64);
    if (c >= 0xF0) /* р-я */
        return (unsigned char)(c - 16);
    if (!RecodesWholeCyrillicRange)
        return c;
    switch (c) {
    /* characters with an exact counterpart */
    case 0xA0: return 0xFF; case 0xA1: return 0xF6; case 0xA2: return 0xF7;
    case 0xA4: return 0xFD; case 0xA8: return 0xF0; case 0xAA: return 0xF2;
    case 0xAF: return 0xF4; case 0xB0: return 0xF8; case 0xB7: return 0xFA;
    case 0xB8: return 0xF1; case 0xB9: return 0xFC; case 0xBA: return 0xF3;
    case 0xBF: return 0xF5;
    /* quotes */
    case 0x82: return 0x2C; case 0x84: return 0x22; case 0x93: return 0x22;
    case 0x94: return 0x22; case 0xAB: return 0x22; case 0xBB: return 0x22;
    case 0x91: return 0x27; case 0x92: return 0x27; case 0x8B: return 0x3C;
    case 0x9B: return 0x3E;
    /* dashes and the bullet */
    case 0x96: return 0x2D; case 0x97: return 0x2D; case 0xAD: return 0x2D;
    case 0x95: return 0xF9;
    /* Ukrainian letters */
    case 0xB2: return 0x49; case 0xB3: return 0x69; case 0xA5: return 0x83;
    case 0xB4: return 0xA3;
    default: return c;
    }
}

/* For 1125: Ґ ґ Є є І і Ї ї at F2-F9, Ў ў as У у; whatever the 866 table
 * put at F2-F9 (another letter in 1125) as "?"; the rest as for 866. */
unsigned char ReferenceRecode1125(unsigned char c)
{
    static const unsigned char Ukrainian[8] = {0xA5, 0xB4, 0xAA, 0xBA, 0xB2, 0xB3, 0xAF, 0xBF};
    for (int i = 0; i < 8; i++) {
        if (c == Ukrainian[i])
            return (unsigned char)(0xF2 + i);
    }
    if (c == 0xA1)
        return 0x93;
    if (c == 0xA2)
        return 0xE3;
    unsigned char dos = ReferenceRecode(c);
    return dos >= 0xF2 && dos <= 0xF9 ? '?' : dos;
}

/* The image cut into stretches of text and of printer commands, in order,
 * as the reader takes it a byte at a time: (true, text), (false, command
 * bytes), ... */
typedef std::vector<std::pair<bool, std::string> > Pieces;
static Pieces TextAndCommands(const std::string &image, size_t from)
{
    Pieces pieces;
    EscpReader reader;
    EscpReset(&reader);
    for (size_t i = from; i < image.size(); i++) {
        bool text = EscpRead(&reader, (unsigned char)image[i]) == ESCP_TEXT;
        if (pieces.empty() || pieces.back().first != text)
            pieces.push_back(std::make_pair(text, std::string()));
        pieces.back().second += image[i];
    }
    return pieces;
}

/* Only the text counts. */
bool LooksLikeWindowsText(const std::string &image)
{
    size_t windowsLike = 0, dosLike = 0;
    std::string text;
    for (auto &piece : TextAndCommands(image, 0))
        if (piece.first)
            text += piece.second;
    for (unsigned char c : text) {
        if (c >= 128 && c <= 223)
            windowsLike++;
        if (c >= 192)
            dosLike++;
    }
    return dosLike > windowsLike;
}

/* ---- Unicode ---------------------------------------------------------------- */

static const long Bad = -1; /* printed as "?" */

/* A UTF-8 sequence of length bytes is valid when its value is one that
 * needs exactly that many bytes and is no surrogate. A start of one (the
 * lead and some continuation bytes) could still become valid when some
 * completion of it is: the values it can reach run from the completion
 * with the lowest continuation bytes to that with the highest. */
static int SequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead >= 0xC0 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                                              : lead >= 0xF0 && lead < 0xF8 ? 4 : 0;
}

static bool CouldBeValid(const std::string &text, size_t at, int have, int length)
{
    static const long Least[5] = {0, 0, 0x80, 0x800, 0x10000};
    static const long Most[5] = {0, 0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
    unsigned char lead = (unsigned char)text[at];
    long low = lead & (0x7F >> length), high = low;
    for (int k = 1; k < length; k++) {
        unsigned char c = k < have ? (unsigned char)text[at + k] : 0;
        if (k < have && (c & 0xC0) != 0x80)
            return false;
        low = low << 6 | (k < have ? (c & 0x3F) : 0);
        high = high << 6 | (k < have ? (c & 0x3F) : 0x3F);
    }
    if (low < Least[length])
        low = Least[length];
    if (high > Most[length])
        high = Most[length];
    if (low > high)
        return false;
    /* Some value in low..high outside D800-DFFF. */
    return low < 0xD800 || high > 0xDFFF;
}

static std::vector<long> DecodeUtf8(const std::string &text, size_t from, bool *valid)
{
    std::vector<long> out;
    *valid = true;
    size_t i = from;
    while (i < text.size()) {
        unsigned char lead = (unsigned char)text[i];
        int length = SequenceLength(lead);
        if (length == 1) {
            out.push_back(lead);
            i++;
            continue;
        }
        int have = 0;
        while (length > 1 && have < length && i + have < text.size() && CouldBeValid(text, i, have + 1, length))
            have++;
        if (length > 1 && have == length) {
            long value = lead & (0x7F >> length);
            for (int k = 1; k < length; k++)
                value = value << 6 | ((unsigned char)text[i + k] & 0x3F);
            out.push_back(value);
            i += length;
        } else {
            *valid = false;
            out.push_back(Bad);
            i += have > 0 ? have : 1;
        }
    }
    return out;
}

static std::vector<long> DecodeUtf16(const std::string &text, bool bigEndian)
{
    std::vector<long> units, out;
    for (size_t i = 2; i + 1 < text.size(); i += 2) {
        unsigned char a = (unsigned char)text[i], b = (unsigned char)text[i + 1];
        units.push_back(bigEndian ? a * 256 + b : b * 256 + a);
    }
    for (size_t k = 0; k < units.size(); k++) {
        long u = units[k];
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units.size() && units[k + 1] >= 0xDC00 && units[k + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((u - 0xD800) << 10) + (units[k + 1] - 0xDC00));
            k++;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out.push_back(Bad);
        } else {
            out.push_back(u);
        }
    }
    if (text.size() % 2 == 1)
        out.push_back(Bad);
    return out;
}

/* A character to the printer: ASCII as it is, its own place in the code
 * page, else the Windows-1251 table's look-alike, else "?". */
static unsigned char ToPrinter(long u, uint32_t codePage)
{
    struct LookAlike { long unicode; unsigned char in866, in1125; };
    static const LookAlike LookAlikes[] = {
        {0x201A, ',', ','}, {0x201E, '"', '"'}, {0x201C, '"', '"'}, {0x201D, '"', '"'},
        {0x00AB, '"', '"'}, {0x00BB, '"', '"'}, {0x2018, '\'', '\''}, {0x2019, '\'', '\''},
        {0x2039, '<', '<'}, {0x203A, '>', '>'}, {0x2013, '-', '-'}, {0x2014, '-', '-'},
        {0x00AD, '-', '-'}, {0x2022, 0xF9, '?'},
        {0x0406, 'I', 0}, {0x0456, 'i', 0}, {0x0490, 0x83, 0}, {0x0491, 0xA3, 0}, /* І і Ґ ґ */
        {0x040E, 0, 0x93}, {0x045E, 0, 0xE3},                                   /* Ў ў */
    };
    if (u >= 0 && u < 128)
        return (unsigned char)u;
    const uint16_t *high = CodePageHighHalf(codePage);
    for (int b = 0; b < 128; b++) {
        if (high[b] == u)
            return (unsigned char)(128 + b);
    }
    for (const LookAlike &l : LookAlikes) {
        if (l.unicode == u)
            return codePage == 1125 ? l.in1125 : l.in866;
    }
    return '?';
}

static bool HasCyrillic(const std::vector<long> &text)
{
    for (long u : text) {
        if (u >= 0x0400 && u <= 0x04FF)
            return true;
    }
    return false;
}

/* UTF-8 text among printer commands: each stretch of text decoded by
 * itself, the commands' bytes kept as characters of their own (Kept + the
 * byte). */
static const long Kept = 0x1000000;
static std::vector<long> DecodeUtf8Text(const std::string &image, size_t from, bool *valid)
{
    std::vector<long> out;
    *valid = true;
    for (auto &piece : TextAndCommands(image, from)) {
        if (piece.first) {
            bool stretchValid;
            std::vector<long> decoded = DecodeUtf8(piece.second, 0, &stretchValid);
            out.insert(out.end(), decoded.begin(), decoded.end());
            *valid = *valid && stretchValid;
        } else {
            for (unsigned char c : piece.second)
                out.push_back(Kept + c);
        }
    }
    return out;
}

/* The decoded text, when the image is taken for Unicode. */
static bool DecodeUnicode(const std::string &image, std::vector<long> *text)
{
    bool valid;
    if (image.size() >= 2 && ((unsigned char)image[0] == 0xFF && (unsigned char)image[1] == 0xFE)) {
        *text = DecodeUtf16(image, false);
        return true;
    }
    if (image.size() >= 2 && ((unsigned char)image[0] == 0xFE && (unsigned char)image[1] == 0xFF)) {
        *text = DecodeUtf16(image, true);
        return true;
    }
    if (image.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        *text = DecodeUtf8Text(image, 3, &valid);
        return true;
    }
    *text = DecodeUtf8Text(image, 0, &valid);
    return valid && HasCyrillic(*text);
}

bool ReferenceIsUnicode(const std::string &image)
{
    std::vector<long> text;
    return DecodeUnicode(image, &text);
}

std::string ReferenceRecodeForPrinter(const std::string &image, uint32_t storedCodePage, bool *logged)
{
    uint32_t codePage = storedCodePage == 1125 ? 1125 : 866;
    std::vector<long> text;
    std::string out;

    *logged = false;
    if (DecodeUnicode(image, &text)) {
        *logged = true;
        for (long u : text)
            out += (char)(u >= Kept ? u - Kept : u == Bad ? '?' : ToPrinter(u, codePage));
        return out;
    }
    if (!LooksLikeWindowsText(image))
        return image;
    *logged = true;
    for (auto &piece : TextAndCommands(image, 0)) {
        for (unsigned char c : piece.second)
            out += (char)(!piece.first ? c : codePage == 1125 ? ReferenceRecode1125(c) : ReferenceRecode(c));
    }
    return out;
}
