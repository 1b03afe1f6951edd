/* fake_host.cpp - the host services for the engine tests: a log recorder and
 * a page range "dialog" that answers what the test scripted. */
#include "test_support.h"

RecordingHost Host;

static int LogToken;

ActivityLog TestLog() { return (ActivityLog)&LogToken; }

void ResetHost(int button, uint32_t from, uint32_t to)
{
    Host.lines.clear();
    Host.button = button;
    Host.from = from;
    Host.to = to;
    Host.asked = false;
    Host.offeredCount = 0;
    Host.askedWith = NULL;
    Host.onLine = nullptr;
}

void LogLine(ActivityLog log, const char *text)
{
    if (log != TestLog())
        return;
    Host.lines.push_back(text);
    if (Host.onLine)
        Host.onLine(Host.lines.back());
}

int ChoosePageRange(ActivityLog log, uint32_t pageCount)
{
    Host.asked = true;
    Host.offeredCount = pageCount;
    Host.askedWith = log;
    PageCount = pageCount;
    PageFrom = Host.from;
    PageTo = Host.to;
    return Host.button;
}
