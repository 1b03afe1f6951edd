/* clock.cpp - the wall clock, as Windows tells it. */
#include <time.h>

#include "platform.h"

/* 100-nanosecond ticks since 1601-01-01 (UTC), the unit of file times. */
void GetSystemTimeAsFileTime(FILETIME *time)
{
    struct timespec now;
    uint64_t ticks;

    clock_gettime(CLOCK_REALTIME, &now);
    ticks = (uint64_t)(now.tv_sec + 11644473600LL) * 10000000u + (uint64_t)now.tv_nsec / 100u;
    time->dwLowDateTime = (DWORD)ticks;
    time->dwHighDateTime = (DWORD)(ticks >> 32);
}
