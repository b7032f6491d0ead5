// The program the tests start as another process (spare_helper.exe is a copy under another
// name, for sparing programs by name).
//
//   helper windows TITLE...   opens one visible window per title and prints "hwnd N" for each
//                             (N in decimal), then "ready"; exits at the end of its input
//   helper hung TITLE...      the same, but pumps no message until it reads a line, as a
//                             program that has stopped responding
//   helper slow TITLE...      the same, but pumps its messages once a second
//   helper clear              hides the windows of every program but spare_helper.exe with a
//                             RenderWindowManager, then all of them,
//                             prints "cleared", and restores them at the end of its input
#include <stagehand/RenderWindowManager.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Reads its input to the end on a thread of its own, while the main thread pumps the windows.
DWORD WINAPI waitForEndOfInput(void* mainThread)
{
    while (std::fgetc(stdin) != EOF) {
    }
    PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(mainThread)), WM_QUIT, 0, 0);
    return 0;
}

enum Pace { PROMPT, HUNG, SLOW };

int showWindows(int count, char** titles, Pace pace)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = "helper";
    RegisterClassA(&windowClass);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before the reader posts
    for (int i = 0; i < count; ++i) {
        HWND window = CreateWindowExA(0, "helper", titles[i], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 320, 200,
                                      nullptr, nullptr, windowClass.hInstance, nullptr);
        std::printf("hwnd %llu\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    if (pace == HUNG)
        for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
        }
    void* mainThread = reinterpret_cast<void*>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
    CloseHandle(CreateThread(nullptr, 0, waitForEndOfInput, mainThread, 0, nullptr));
    if (pace == SLOW) {
        // Each look at the queue handles every request sent to the windows meanwhile.
        for (;;) {
            Sleep(1000);
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                if (msg.message == WM_QUIT)
                    return 0;
                else
                    DispatchMessageW(&msg);
        }
    }
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "windows" || mode == "hung" || mode == "slow")
        return showWindows(argc - 2, argv + 2, mode == "hung" ? HUNG : mode == "slow" ? SLOW : PROMPT);
    if (mode == "clear") {
        stagehand::RenderWindowManager manager;
        vela::Array<vela::String> spared;
        spared.append("spare_helper.exe");
        manager.hideAllTopLevelProcessExcept(spared);  // builds the table
        manager.hideAllTopLevelProcess();
        std::printf("cleared\n");
        std::fflush(stdout);
        while (std::fgetc(stdin) != EOF) {
        }
        return 0;
    }
    std::fprintf(stderr, "usage: helper windows|hung|slow TITLE... | helper clear\n");
    return 2;
}
