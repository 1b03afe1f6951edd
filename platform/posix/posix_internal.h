/* posix_internal.h - what the two halves of the POSIX stand-in share. */
#ifndef VELMAR_POSIX_INTERNAL_H
#define VELMAR_POSIX_INTERNAL_H

#include <stddef.h>

#include "platform.h"

/* The Windows error code for a failed call on name (NULL: no name); a
 * missing directory on the way is ERROR_PATH_NOT_FOUND, as Windows tells it
 * from a missing file. */
DWORD ErrorFromErrno(int error, const char *name);

/* Reads (or writes) until size bytes are done, end of file, or an error,
 * which leaves its errno in *error (0 at end of file or a write of nothing).
 * Returns the count of bytes moved. */
size_t MoveFully(int fd, void *buffer, size_t size, bool writing, int *error);

/* Counts a fault counter of PosixFaults down; true on the call that brings
 * it to zero. */
bool FaultDue(unsigned *counter);

/* A Windows name as a path here: backslashes become slashes. False when it
 * is empty or does not fit size. */
bool ToUnixPath(const char *name, char *path, size_t size);

/* 100-nanosecond ticks since 1601-01-01. */
struct timespec;
FILETIME ToFileTime(const struct timespec &t);

/* Whether an open handle holds the file without sharing it for deletion,
 * which keeps it from being moved. */
struct stat;
bool HeldWithoutDeleteSharing(const struct stat &st);

#endif
