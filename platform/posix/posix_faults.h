/* posix_faults.h - fault injection for the engine's own tests, in the POSIX
 * stand-in only (the real Windows functions cannot be made to fail on
 * demand). Each counter, when non-zero, counts calls down and makes the call
 * that brings it to zero fail: a heap allocation returns nothing, a read
 * delivers one byte less than asked, a write fails with a full disk; a read
 * of the settings file fails with an I/O error, a write of it stops half-way
 * with a full disk. Never set outside the tests. */
#ifndef VELMAR_POSIX_FAULTS_H
#define VELMAR_POSIX_FAULTS_H

struct PosixFaultPlan {
    unsigned failHeapAlloc;
    unsigned shortRead;
    unsigned failWrite;
    unsigned failProfileRead;
    unsigned failProfileWrite;
};
extern PosixFaultPlan PosixFaults;

#endif
