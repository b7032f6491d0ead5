#include "Listings.h"

#include "Listing.h"
#include "Text.h"
#include "UsageError.h"

#include <stagehand/DisplayModeEnumerator.h>
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/WindowEnumerator.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

namespace {

const char* showStateName(unsigned int state)
{
    switch (state) {
    case SW_SHOWNORMAL: return "normal";
    case SW_SHOWMINIMIZED: return "minimized";
    case SW_SHOWMAXIMIZED: return "maximized";
    default: return "other";
    }
}

// Another process's window gives its title without being asked: this waits on no program.
std::string windowTitle(HWND window)
{
    wchar_t title[512] = {};
    int n = InternalGetWindowText(window, title, 512);
    return utf8(std::wstring(title, static_cast<size_t>(n > 0 ? n : 0)));
}

// The pid that `who` names: a number, or the first process whose executable has that name.
DWORD findProcess(const std::string& who)
{
    if (!who.empty() && who.find_first_not_of("0123456789") == std::string::npos) {
        unsigned long long pid = 0;
        for (char digit : who) {
            pid = pid * 10 + static_cast<unsigned int>(digit - '0');
            if (pid > 0xFFFFFFFFull)
                throw UsageError("the pid '" + who + "' is out of range: a pid is at most 4294967295");
        }
        if (!stagehand::processExists(static_cast<DWORD>(pid)))
            throw UsageError("no process has the pid " + who);
        return static_cast<DWORD>(pid);
    }
    stagehand::ProcessEnumerator processes;
    if (processes.enumerate()) {
        vela::String name(who.c_str());
        for (unsigned int i = 0; i < processes.numPids(); ++i) {
            DWORD pid = processes.processIds()[i];
            if (vela::String::compareNoCase(stagehand::executableName(pid), name) == 0)
                return pid;
        }
    }
    throw UsageError("no process named " + who);
}

int listMonitors(bool json)
{
    stagehand::MonitorInfoEnumerator monitors;
    vela::Array<vela::String> ids;
    monitors.getAdapterId(ids);
    Listing out(json, {{"adapter", "ADAPTER", -16},
                       {"monitor", "MONITOR", -24},
                       {"work", "WORK AREA", -24},
                       {"primary", "PRIMARY", 0}});
    for (unsigned int i = 0; i < ids.size(); ++i) {
        stagehand::MonitorInfoEnumerator::Info info;
        monitors.getMonitorInfo(ids[i], info);
        out.text("adapter", ids[i].toUtf8());
        out.rect("monitor", info.monitorInfo.rcMonitor).rect("work", info.monitorInfo.rcWork);
        out.flag("primary", (info.monitorInfo.dwFlags & MONITORINFOF_PRIMARY) != 0).endRow();
    }
    out.finish();
    return 0;
}

int listProcesses(bool json)
{
    stagehand::ProcessEnumerator processes;
    if (!processes.enumerate()) {
        std::fprintf(stderr, "stagehand: the process list cannot be read\n");
        return 1;
    }
    Listing out(json, {{"pid", "PID", 8}, {"windows", "WINDOWS", 8, 2}, {"executable", "EXECUTABLE", 0}});
    for (unsigned int i = 0; i < processes.numPids(); ++i) {
        DWORD pid = processes.processIds()[i];
        stagehand::WindowEnumerator windows;
        windows.enumerate(pid);
        out.number("pid", pid).textOrNull("executable", stagehand::executableName(pid).toUtf8());
        out.number("windows", windows.numWindows()).endRow();
    }
    out.finish();
    return 0;
}

int listWindows(const std::string& who, bool json)
{
    DWORD pid = findProcess(who);
    stagehand::WindowEnumerator windows;
    if (!windows.enumerate(pid)) {
        std::fprintf(stderr, "stagehand: the windows of process %lu cannot be listed\n", pid);
        return 1;
    }
    Listing out(json, {{"handle", "HANDLE", -18}, {"state", "STATE", -10}, {"title", "TITLE", 0}});
    for (unsigned int i = 0; i < windows.numWindows(); ++i) {
        HWND window = windows.windowHandles()[i];
        unsigned int state = windows.showWindowState(i);
        unsigned long long handle = reinterpret_cast<ULONG_PTR>(window);
        char hex[24];
        std::snprintf(hex, sizeof hex, "0x%llx", handle);
        out.number("handle", static_cast<long long>(handle), hex).text("title", windowTitle(window));
        out.number("showState", state).text("state", showStateName(state)).endRow();
    }
    out.finish();
    return 0;
}

// One row per mode, the current one marked; as JSON, one object per monitor.
int listModes(const std::string& adapter, bool json)
{
    vela::Array<vela::String> ids;
    stagehand::MonitorInfoEnumerator().getAdapterId(ids);
    if (!adapter.empty()) {
        ids.clear();
        ids.append(adapter.c_str());
    }
    std::vector<stagehand::DisplayModeEnumerator> listed(ids.size());
    for (unsigned int i = 0; i < ids.size(); ++i)
        if (listed[i].enumerate(ids[i]) == stagehand::DisplayModeEnumerator::UNKNOWN_ADAPTER)
            throw UsageError(unknownAdapter(adapter));
    Listing table(json, {{"adapter", "ADAPTER", -16}, {"mode", "MODE", -20}, {"current", "CURRENT", 0}});
    nlohmann::ordered_json monitors = nlohmann::ordered_json::array();
    int status = 0;
    for (unsigned int i = 0; i < ids.size(); ++i) {
        const vela::Array<stagehand::DisplayMode>& modes = listed[i].modes();
        if (modes.size() == 0) {
            std::fprintf(stderr, "stagehand: the display modes of %s cannot be read\n", ids[i].toUtf8().c_str());
            status = 1;
            continue;
        }
        nlohmann::ordered_json all = nlohmann::ordered_json::array();
        for (unsigned int m = 0; m < modes.size(); ++m) {
            all.push_back(modeJson(modes[m]));
            if (!json)
                table.text("adapter", listed[i].adapterId().toUtf8())
                    .text("mode", stagehand::displayModeText(modes[m]).toUtf8())
                    .text("current", modes[m] == listed[i].current() ? "yes" : "")
                    .endRow();
        }
        monitors.push_back(
            {{"adapter", listed[i].adapterId().toUtf8()}, {"current", modeJson(listed[i].current())}, {"modes", all}});
    }
    if (json)
        std::printf("%s\n", monitors.dump().c_str());
    return status;
}

}  // namespace

std::vector<CLI::App*> addListingCommands(CLI::App& tool, ListingOptions& options)
{
    CLI::App* monitors = tool.add_subcommand("monitors", "one row per monitor: adapter id, monitor rectangle, "
                                                         "work area, primary or not");
    CLI::App* processes = tool.add_subcommand("processes", "one row per process: pid, visible top-level windows, "
                                                           "executable name where readable");
    CLI::App* windows = tool.add_subcommand("windows", "the visible top-level windows of one process: handle, show "
                                                       "state, title");
    windows->add_option("PID-OR-NAME", options.process, "a pid, or an executable name (the first process of that name)")
        ->required();
    CLI::App* modes = tool.add_subcommand("modes", "the display modes of each monitor, or of one: width x height @ "
                                                   "refresh rate, bits per pixel, and which is current");
    modes->add_option("ADAPTER", options.adapter, "an adapter id, as 'stagehand monitors' lists it");
    for (CLI::App* command : {monitors, processes, windows, modes})
        command->add_flag("--json", options.json, "print JSON instead of a table");
    return {monitors, processes, windows, modes};
}

int runListing(const CLI::App& command, const ListingOptions& options)
{
    if (command.get_name() == "monitors")
        return listMonitors(options.json);
    if (command.get_name() == "processes")
        return listProcesses(options.json);
    if (command.get_name() == "modes")
        return listModes(options.adapter, options.json);
    return listWindows(options.process, options.json);
}
