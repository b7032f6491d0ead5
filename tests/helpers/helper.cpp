// The program the tests start as another process (spare_helper.exe is a copy under another
// name, for sparing programs by name).
//
//   helper windows TITLE...   opens one visible window per title and prints "hwnd N" for each
//                             (N in decimal), then "ready"; exits at the end of its input
//   helper hung TITLE...      the same, but pumps no message until it reads a line, as a
//                             program that has stopped responding
//   helper slow TITLE...      the same, but pumps its messages once a second
//   helper clear              clears the desktop in three steps, printing "cleared" after each
//                             and waiting for a line before the next: a RenderWindowManager
//                             hides the windows of every program but spare_helper.exe; so does
//                             a second copy of stagehand.dll, loaded from a copy of the file in
//                             %LOCALAPPDATA%, through the C interface, with a table of its own;
//                             the manager hides all. It restores them at the end of its input
//   helper window             holds a render window (and so the screen saver off), prints
//                             "ready", and ends at the end of its input
//   helper saver              prints "on" or "off": whether the screen saver is active, read by
//                             a new process (Wine's processes keep the setting they read first)
//   helper verify HWND...     a test that stagehand runs: shows a window of its own and exits
//                             with 7 when it is visible and every window named (in decimal) is
//                             hidden, else with 1
//   helper crash              ends with an access violation
#include <stagehand/RenderWindowManager.h>
#include <stagehand/stagehand_c.h>

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

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void waitForLine()
{
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
    }
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
        waitForLine();
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

int clearInSteps()
{
    stagehand::RenderWindowManager manager;
    vela::Array<vela::String> spared;
    spared.append("spare_helper.exe");
    manager.hideAllTopLevelProcessExcept(spared);
    say("cleared");
    waitForLine();

    wchar_t original[MAX_PATH], copy[MAX_PATH];
    GetModuleFileNameW(GetModuleHandleW(L"stagehand.dll"), original, MAX_PATH);
    GetEnvironmentVariableW(L"LOCALAPPDATA", copy, MAX_PATH - 32);
    lstrcatW(copy, L"\\stagehand_copy.dll");
    HMODULE second = CopyFileW(original, copy, FALSE) ? LoadLibraryW(copy) : nullptr;
    auto create = reinterpret_cast<decltype(&stagehand_manager_create)>(GetProcAddress(second, "stagehand_manager_create"));
    auto hide =
        reinterpret_cast<decltype(&stagehand_hide_all_except)>(GetProcAddress(second, "stagehand_hide_all_except"));
    stagehand_manager* other = nullptr;
    const char* spare = "spare_helper.exe";
    if (!second || !create || create(&other) != STAGEHAND_OK || hide(other, &spare, 1, nullptr, 0) != STAGEHAND_OK)
        return 1;
    say("cleared");
    waitForLine();
    manager.hideAllTopLevelProcess();
    say("cleared");
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "windows" || mode == "hung" || mode == "slow")
        return showWindows(argc - 2, argv + 2, mode == "hung" ? HUNG : mode == "slow" ? SLOW : PROMPT);
    if (mode == "clear")
        return clearInSteps();
    if (mode == "window") {
        stagehand::GenericWindows window(GetModuleHandleW(nullptr), nullptr, "helper render window", WS_POPUP);
        say(window.isInitialized() ? "ready" : "no window");
        while (std::fgetc(stdin) != EOF) {
        }
        return 0;
    }
    if (mode == "verify") {
        HWND own = CreateWindowExW(0, L"STATIC", L"verify", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr);
        bool hidden = true;
        for (int i = 2; i < argc; ++i)
            hidden &= !IsWindowVisible(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoull(argv[i], nullptr, 10))));
        return IsWindowVisible(own) && hidden ? 7 : 1;
    }
    if (mode == "crash") {
        int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    if (mode == "saver") {
        BOOL active = FALSE;
        SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
        say(active ? "on" : "off");
        return 0;
    }
    std::fprintf(stderr, "usage: helper windows|hung|slow TITLE... | helper clear | helper window | helper saver\n");
    return 2;
}
