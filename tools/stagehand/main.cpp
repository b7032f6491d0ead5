// stagehand: looks at the desktop the way the library sees it, and runs a live demo of
// the road of a test.
#include "Demo.h"
#include "Listings.h"
#include "Restore.h"
#include "UsageError.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: stagehand COMMAND [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  monitors [--json]              one row per monitor: adapter id, monitor rectangle,\n"
    "                                 work area, primary or not\n"
    "  processes [--json]             one row per process: pid, visible top-level windows,\n"
    "                                 executable name where readable\n"
    "  windows PID-OR-NAME [--json]   the visible top-level windows of one process:\n"
    "                                 handle, show state, title\n"
    "  demo [OPTIONS]                 tiles render windows over a monitor, hides the other\n"
    "                                 programs' windows, pumps until Escape, Alt+F4 or the\n"
    "                                 time is up, then restores the desktop\n"
    "  restore [OPTIONS]              shows again the windows that test programs which\n"
    "                                 died left hidden\n"
    "\n"
    "Run 'stagehand COMMAND --help' for a command's options.\n";

const char kDemoUsage[] =
    "usage: stagehand demo [--adapter ID] [--grid ROWSxCOLUMNS] [--spare NAME]...\n"
    "                      [--seconds N] [--screenshot FILE]\n"
    "\n"
    "  --adapter ID       the monitor's adapter id, as 'stagehand monitors' lists it\n"
    "                     (default: the primary monitor)\n"
    "  --grid RxC         rows and columns of render windows, each 1 to 16 (default 2x3)\n"
    "  --spare NAME       an executable name whose windows stay visible; repeatable\n"
    "  --seconds N        how long to run, 0 to 3600 (default 10)\n"
    "  --screenshot FILE  save the monitor as a BMP file while the tiles are up\n";

const char kRestoreUsage[] =
    "usage: stagehand restore [--dry-run] [--force] [--json]\n"
    "\n"
    "Shows again the windows recorded in the desktop-clearing journals of test programs\n"
    "that are no longer running, gives the foreground back and removes the journals.\n"
    "\n"
    "  --dry-run  change nothing; report what would be done\n"
    "  --force    also restore the journals of test programs that are running\n"
    "  --json     print JSON instead of a table\n";

const char kListingUsage[] =
    "usage: stagehand monitors [--json]\n"
    "       stagehand processes [--json]\n"
    "       stagehand windows PID-OR-NAME [--json]\n"
    "\n"
    "  --json   print JSON instead of a table\n";

bool wantsHelp(const std::vector<std::string>& arguments)
{
    for (const std::string& a : arguments)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

// Takes the flag out of the arguments.
bool takeFlag(std::vector<std::string>& arguments, const char* flag)
{
    bool given = false;
    std::vector<std::string> rest;
    for (const std::string& a : arguments) {
        if (a == flag)
            given = true;
        else
            rest.push_back(a);
    }
    arguments.swap(rest);
    return given;
}

int run(const std::string& command, std::vector<std::string> arguments)
{
    if (command == "demo") {
        if (wantsHelp(arguments)) {
            std::fputs(kDemoUsage, stdout);
            return 0;
        }
        return runDemo(parseDemoOptions(arguments));
    }
    if (command != "monitors" && command != "processes" && command != "windows" && command != "restore")
        throw UsageError("unknown command '" + command + "'");
    if (wantsHelp(arguments)) {
        std::fputs(command == "restore" ? kRestoreUsage : kListingUsage, stdout);
        return 0;
    }
    bool json = takeFlag(arguments, "--json");
    if (command == "restore") {
        bool dryRun = takeFlag(arguments, "--dry-run");
        bool force = takeFlag(arguments, "--force");
        if (!arguments.empty())
            throw UsageError("unexpected argument '" + arguments[0] + "'");
        return restoreDesktop(dryRun, force, json);
    }
    if (command == "windows") {
        if (arguments.empty())
            throw UsageError("windows needs a pid or an executable name");
        if (arguments.size() > 1)
            throw UsageError("unexpected argument '" + arguments[1] + "'");
        return listWindows(arguments[0], json);
    }
    if (!arguments.empty())
        throw UsageError("unexpected argument '" + arguments[0] + "'");
    return command == "monitors" ? listMonitors(json) : listProcesses(json);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        std::fputs(kUsage, arguments.empty() ? stderr : stdout);
        return arguments.empty() ? 2 : 0;
    }
    try {
        std::string command = arguments[0];
        arguments.erase(arguments.begin());
        return run(command, arguments);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "stagehand: %s\nRun 'stagehand --help' for the usage.\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stagehand: %s\n", e.what());
        return 1;
    }
}
