/* version.h - the program's version, read by the version block and the
 * About box in app.rc. Plain #defines only, so the resource compiler can
 * read this file. */
#ifndef VELMAR_VERSION_H
#define VELMAR_VERSION_H

#define VELMAR_VERSION_MAJOR      1
#define VELMAR_VERSION_MINOR      2
#define VELMAR_VERSION_PATCH      0
#define VELMAR_VERSION_BUILD      0

/* The same numbers as text, in the form the version block has always used. */
#define VELMAR_VERSION_TEXT       "1, 2, 0, 0"
/* The About box line. */
#define VELMAR_ABOUT_TEXT         "velmar Version 1.2"

#define VELMAR_COMPANY            "velmar team"
/* Short enough for its line in the About box. */
#define VELMAR_COPYRIGHT          "(C) velmar team"

#endif
