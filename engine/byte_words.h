/* byte_words.h - the loops that run over every byte of a file image look at
 * a machine word of bytes at a time: four in the 32-bit program, eight in
 * the 64-bit one. Nothing here needs a vector unit. Loads and stores go
 * through memcpy, which the compiler turns into one unaligned move, so no
 * word is ever read through a cast pointer. */
#ifndef VELMAR_BYTE_WORDS_H
#define VELMAR_BYTE_WORDS_H

#include <stdint.h>
#include <string.h>

typedef uintptr_t ByteWord;
enum { WORD_BYTES = sizeof(ByteWord) };

static const ByteWord EveryByte = (ByteWord)-1 / 0xFF; /* 01 in each byte */
static const ByteWord TopBits = EveryByte * 0x80;
static const ByteWord LowSevenBits = EveryByte * 0x7F;

static inline ByteWord LoadWord(const unsigned char *p)
{
    ByteWord word;
    memcpy(&word, p, sizeof word);
    return word;
}

static inline void StoreWord(unsigned char *p, ByteWord word)
{
    memcpy(p, &word, sizeof word);
}

/* The top bit of each byte of word that equals the byte repeated in
 * pattern (byte * EveryByte), and no other bit: in this form no carry
 * crosses from one byte into the next, so it is exact for every byte. */
static inline ByteWord MatchingBytes(ByteWord word, ByteWord pattern)
{
    ByteWord x = word ^ pattern;
    return ~(((x & LowSevenBits) + LowSevenBits) | x | LowSevenBits);
}

/* Not 0 exactly when a byte of word equals the byte repeated in pattern:
 * a byte of word ^ pattern that is 0 borrows. The bits above the first
 * such byte may be wrong, so it says whether, not where or how many; a
 * search for the first one needs no more, and costs a step less than
 * MatchingBytes. */
static inline ByteWord AnyMatchingByte(ByteWord word, ByteWord pattern)
{
    ByteWord x = word ^ pattern;
    return (x - EveryByte) & ~x & TopBits;
}

/* Not 0 when a byte of word is from 0x18 to 0x1F: the bytes that may
 * start a printer command (ESC 0x1B and FS 0x1C among them, the others
 * rare in text). One test for both, for the loops that look at every byte
 * anyway; a word it finds sends the caller to the exact search. */
static inline ByteWord CommandStartBytes(ByteWord word)
{
    /* 0x18-0x1F become 0-7: a byte below 8 borrows, and only such a byte
     * leaves its top bit set with its own top bit clear. The bits above
     * the first such byte may be wrong, never the answer for the word. */
    ByteWord low = word ^ EveryByte * 0x18;
    return (low - EveryByte * 8) & ~low & TopBits;
}

/* The same before its last step: a loop over many words gathers these
 * with | and keeps only the top bits (& TopBits) once, at its end. */
static inline ByteWord CommandStartBits(ByteWord word)
{
    ByteWord low = word ^ EveryByte * 0x18;
    return (low - EveryByte * 8) & ~low;
}

/* The sum of the bytes of word, when it stays below 256. */
static inline uint32_t SumOfBytes(ByteWord word)
{
    return (uint32_t)((word * EveryByte) >> (8 * (WORD_BYTES - 1)));
}

/* The shift that brings to the bottom of a word the byte of the lowest top
 * bit set in tops (not 0); the byte's place in memory does not matter to a
 * word that is stored back as it was loaded. */
static inline unsigned LowestTopBitShift(ByteWord tops)
{
    unsigned bit = sizeof tops > sizeof(unsigned) ? (unsigned)__builtin_ctzll(tops) : (unsigned)__builtin_ctz((unsigned)tops);
    return bit & ~7u;
}

#endif
