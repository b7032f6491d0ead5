#include "RunRecord.h"

#include "Text.h"

#include <cstdio>

std::string RunRecord::summary() const
{
    char after[32] = "";
    bool ran = outcome == EXITED || outcome == TIMED_OUT || outcome == INTERRUPTED;
    if (ran)
        std::snprintf(after, sizeof after, " after %.2f s", seconds);
    std::string line = command[0] + " " + verdict + after;
    if (ran || hidden.windows != 0)
        line += "; " + count(hidden.windows, "window") + " of " + count(hidden.programs, "program") +
                " hidden and shown again";
    for (unsigned int i = 0; i < modes.size(); ++i)
        line += "; " + modes[i].adapterId.toUtf8() + " held at " + stagehand::displayModeText(modes[i].mode).toUtf8();
    if (hidden.unresponsive.size() + shown.unresponsive.size() != 0)
        line += "; " + count(hidden.unresponsive.size() + shown.unresponsive.size(), "window") +
                " did not respond in time";
    return line;
}

std::string RunRecord::verdictWithStatus() const
{
    return command[0] + " " + verdict + " (status " + std::to_string(status) + ")";
}

const char* outcomeName(RunRecord::Outcome outcome)
{
    switch (outcome) {
    case RunRecord::EXITED: return "exited";
    case RunRecord::TIMED_OUT: return "timedOut";
    case RunRecord::INTERRUPTED: return "interrupted";
    case RunRecord::NOT_FOUND: return "notFound";
    case RunRecord::NOT_STARTED: return "notStarted";
    default: return "failed";
    }
}

std::string statusText(DWORD status)
{
    char text[32];
    std::snprintf(text, sizeof text, status >= 0x80000000 ? "%lu (0x%08lX)" : "%lu", status, status);
    return text;
}
