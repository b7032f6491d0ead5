// A program of the test suite with visible top-level windows, for tests that act on the
// windows of other processes.
//
//   window_helper TITLE...   opens one visible window per title, prints "hwnd N" for each
//                            (N the handle in decimal), then "ready"
// Then it reads commands from standard input, one per line:
//   open TITLE               opens one more window and prints "hwnd N"
//   exit, or end of input    closes its windows and exits
//
//   window_helper --post-escape N   posts an Escape key press to window N and exits
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

DWORD g_mainThread;
const UINT kOpen = WM_APP + 1;

HWND openWindow(const char* title)
{
    HWND window = CreateWindowExA(0, "window_helper", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 320, 200,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    std::printf("hwnd %llu\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
    std::fflush(stdout);
    return window;
}

// Reads commands on a thread of its own; the main thread owns the windows and pumps them.
DWORD WINAPI readCommands(void*)
{
    char line[512];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        if (std::strncmp(line, "open ", 5) == 0)
            PostThreadMessageW(g_mainThread, kOpen, 0, reinterpret_cast<LPARAM>(_strdup(line + 5)));
        else if (std::strcmp(line, "exit") == 0)
            break;
    }
    PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--post-escape") == 0) {
        HWND target = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoull(argv[2], nullptr, 10)));
        return PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0) ? 0 : 1;
    }

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = "window_helper";
    RegisterClassA(&windowClass);

    g_mainThread = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists before the reader posts

    for (int i = 1; i < argc; ++i)
        openWindow(argv[i]);
    std::printf("ready\n");
    std::fflush(stdout);

    HANDLE reader = CreateThread(nullptr, 0, readCommands, nullptr, 0, nullptr);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == kOpen) {
            char* title = reinterpret_cast<char*>(msg.lParam);
            openWindow(title);
            std::free(title);
            continue;
        }
        DispatchMessageW(&msg);
    }
    CloseHandle(reader);
    return 0;
}
