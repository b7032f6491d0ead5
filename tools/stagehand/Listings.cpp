#include "Listings.h"

#include "Json.h"
#include "UsageError.h"

#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/WindowEnumerator.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string rectText(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

void rectJson(Json& json, const char* name, const RECT& r)
{
    json.key(name).beginObject();
    json.key("left").value(static_cast<long long>(r.left)).key("top").value(static_cast<long long>(r.top));
    json.key("right").value(static_cast<long long>(r.right)).key("bottom").value(static_cast<long long>(r.bottom));
    json.endObject();
}

// The executable's name, or an empty string when the process cannot be read.
std::string executableName(DWORD pid)
{
    stagehand::ProcessModuleEnumerator modules;
    if (!modules.enumerate(pid) || modules.moduleNames().size() == 0)
        return std::string();
    return modules.moduleNames()[0].toUtf8();
}

const char* showStateName(unsigned int state)
{
    switch (state) {
    case SW_SHOWNORMAL: return "normal";
    case SW_SHOWMINIMIZED: return "minimized";
    case SW_SHOWMAXIMIZED: return "maximized";
    default: return "other";
    }
}

std::string windowTitle(HWND window)
{
    wchar_t title[512] = {};
    int n = GetWindowTextW(window, title, 512);
    return vela::String(reinterpret_cast<const unsigned short*>(title), static_cast<unsigned int>(n)).toUtf8();
}

void print(const Json& json)
{
    std::printf("%s\n", json.text().c_str());
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
        return static_cast<DWORD>(pid);
    }
    stagehand::ProcessEnumerator processes;
    if (processes.enumerate()) {
        vela::String name(who.c_str());
        for (unsigned int i = 0; i < processes.numPids(); ++i) {
            stagehand::ProcessModuleEnumerator modules;
            DWORD pid = processes.processIds()[i];
            if (modules.enumerate(pid) && modules.moduleNames().size() != 0 &&
                vela::String::compareNoCase(modules.moduleNames()[0], name) == 0)
                return pid;
        }
    }
    throw UsageError("no process named " + who);
}

}  // namespace

int listMonitors(bool json)
{
    stagehand::MonitorInfoEnumerator monitors;
    vela::Array<vela::String> ids;
    monitors.getAdapterId(ids);
    Json out;
    out.beginArray();
    if (!json)
        std::printf("%-16s %-24s %-24s %s\n", "ADAPTER", "MONITOR", "WORK AREA", "PRIMARY");
    for (unsigned int i = 0; i < ids.size(); ++i) {
        stagehand::MonitorInfoEnumerator::Info info;
        monitors.getMonitorInfo(ids[i], info);
        bool primary = (info.monitorInfo.dwFlags & MONITORINFOF_PRIMARY) != 0;
        if (json) {
            out.beginObject().key("adapter").value(ids[i].toUtf8());
            rectJson(out, "monitor", info.monitorInfo.rcMonitor);
            rectJson(out, "work", info.monitorInfo.rcWork);
            out.key("primary").value(primary).endObject();
        } else {
            std::printf("%-16s %-24s %-24s %s\n", ids[i].toUtf8().c_str(), rectText(info.monitorInfo.rcMonitor).c_str(),
                        rectText(info.monitorInfo.rcWork).c_str(), primary ? "yes" : "no");
        }
    }
    if (json)
        print(out.endArray());
    return 0;
}

int listProcesses(bool json)
{
    stagehand::ProcessEnumerator processes;
    if (!processes.enumerate()) {
        std::fprintf(stderr, "stagehand: the process list cannot be read\n");
        return 1;
    }
    Json out;
    out.beginArray();
    if (!json)
        std::printf("%8s %8s  %s\n", "PID", "WINDOWS", "EXECUTABLE");
    for (unsigned int i = 0; i < processes.numPids(); ++i) {
        DWORD pid = processes.processIds()[i];
        std::string name = executableName(pid);
        stagehand::WindowEnumerator windows;
        windows.enumerate(pid);
        if (json) {
            out.beginObject().key("pid").value(static_cast<long long>(pid)).key("executable");
            if (name.empty())
                out.null();
            else
                out.value(name);
            out.key("windows").value(static_cast<long long>(windows.numWindows())).endObject();
        } else {
            std::printf("%8lu %8u  %s\n", pid, windows.numWindows(), name.c_str());
        }
    }
    if (json)
        print(out.endArray());
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
    Json out;
    out.beginArray();
    if (!json)
        std::printf("%-18s %-10s %s\n", "HANDLE", "STATE", "TITLE");
    for (unsigned int i = 0; i < windows.numWindows(); ++i) {
        HWND window = windows.windowHandles()[i];
        unsigned int state = windows.showWindowState(i);
        std::string title = windowTitle(window);
        long long handle = static_cast<long long>(reinterpret_cast<ULONG_PTR>(window));
        if (json) {
            out.beginObject().key("handle").value(handle).key("title").value(title);
            out.key("showState").value(static_cast<long long>(state)).key("state").value(std::string(showStateName(state)));
            out.endObject();
        } else {
            std::printf("0x%-16llx %-10s %s\n", handle, showStateName(state), title.c_str());
        }
    }
    if (json)
        print(out.endArray());
    return 0;
}
