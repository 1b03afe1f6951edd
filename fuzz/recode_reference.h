/* recode_reference.h - Convert To Dos written out plainly, for the fuzz
 * targets' oracles: the Windows-1251 rule and tables, and UTF-16 and UTF-8
 * input decoded for a printer set to code page 866 or 1125. */
#ifndef VELMAR_RECODE_REFERENCE_H
#define VELMAR_RECODE_REFERENCE_H

#include <stdint.h>

#include <string>

/* Windows text when the bytes 192-255 outnumber the bytes 128-223. */
bool LooksLikeWindowsText(const std::string &image);

/* One Windows-1251 byte for a printer set to code page 866 or 1125. */
unsigned char ReferenceRecode(unsigned char c);
unsigned char ReferenceRecode1125(unsigned char c);

/* True when the image is taken for Unicode text: a UTF-16 mark, the UTF-8
 * mark, or valid UTF-8 with a Cyrillic letter. */
bool ReferenceIsUnicode(const std::string &image);

/* The whole step for a stored CODEPAGE value (1125, else 866): the
 * recoded image, and whether the recoding line is logged. */
std::string ReferenceRecodeForPrinter(const std::string &image, uint32_t storedCodePage, bool *logged);

#endif
