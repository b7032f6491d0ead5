#include "JUnitReport.h"

#include <cstdio>

namespace {

// Text for an attribute or an element: markup escaped, and the control characters that XML
// cannot hold at all replaced by U+FFFD.
std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#10;"; break;  // kept in an attribute too
        default: out += static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' ? "\xEF\xBF\xBD" : std::string(1, c);
        }
    }
    return out;
}

}  // namespace

std::string junitReport(const RunRecord& run)
{
    bool failed = run.outcome == RunRecord::EXITED && run.status != 0;
    bool error = run.outcome != RunRecord::EXITED;
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", run.seconds);
    std::string verdict;
    if (failed || error)
        verdict = std::string("    <") + (failed ? "failure" : "error") + " message=\"" + escaped(run.verdictWithStatus()) +
                  "\" type=\"" + outcomeName(run.outcome) + "\"/>\n";
    // The attachment line is the form that CI servers' JUnit readers take files from.
    std::string err = escaped(run.summary());
    if (run.screenshotTaken)
        err += "\n[[ATTACHMENT|" + escaped(run.screenshot) + "]]";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<testsuite name=\"stagehand run\" tests=\"1\" failures=\"" + std::to_string(failed) + "\" errors=\"" +
           std::to_string(error) + "\" skipped=\"0\" time=\"" + time + "\" timestamp=\"" + escaped(run.start) + "\">\n" +
           "  <testcase name=\"" + escaped(run.name) + "\" classname=\"stagehand\" time=\"" + time + "\">\n" + verdict +
           "    <system-err>" + err + "</system-err>\n  </testcase>\n</testsuite>\n";
}
