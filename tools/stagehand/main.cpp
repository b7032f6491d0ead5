// stagehand: looks at the desktop the way the library sees it.
#include <stagehand/ProcessEnumerator.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The executable's base name, or an empty string when the process cannot be read.
void executableName(DWORD pid, wchar_t* name, DWORD capacity)
{
    name[0] = L'\0';
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return;
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &length)) {
        const wchar_t* base = wcsrchr(path, L'\\');
        lstrcpynW(name, base ? base + 1 : path, static_cast<int>(capacity));
    }
    CloseHandle(process);
}

int listProcesses()
{
    stagehand::ProcessEnumerator processes;
    if (!processes.enumerate()) {
        std::fprintf(stderr, "stagehand: the process list cannot be read\n");
        return 1;
    }
    std::printf("%8s  %s\n", "PID", "EXECUTABLE");
    for (unsigned int i = 0; i < processes.numPids(); ++i) {
        DWORD pid = processes.processIds()[i];
        wchar_t name[MAX_PATH];
        executableName(pid, name, MAX_PATH);
        std::printf("%8lu  %ls\n", pid, name);
    }
    return 0;
}

void usage(FILE* out)
{
    std::fprintf(out,
                 "usage: stagehand COMMAND\n"
                 "\n"
                 "commands:\n"
                 "  processes   list the running processes: pid and executable name\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "processes") == 0)
        return listProcesses();
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    usage(stderr);
    return 2;
}
