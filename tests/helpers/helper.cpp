// The program the tests start as another process (spare_helper.exe and hung_helper.exe are
// copies under other names). Its modes, by its first argument:
//   windows TITLE...  a visible window per title; prints "hwnd N" for each, then "ready";
//                     exits at the end of its input. hung: pumps nothing until it reads a line
//   window            holds a render window (so the screen saver off), prints "ready"
//   leave             holds a render window and hides the desktop, prints "ready", and returns
//                     from main with both alive once it reads a line
//   saver             prints whether the screen saver is "on" or "off", as a new process reads it
//   verify HWND...    exits with 7 when its own window and none of these is visible, else 1
//   nested            clears the desktop without waiting for it: exits 0 when it could, else 3
//   handles H...      prints "handles" and exits with the number of these handles it has
//   crash             ends with an access violation
//   hold ADAPTER W H  holds the adapter at W x H, prints "held WxH" as the adapter shows it,
//                     and ends with the hold alive
#include <stagehand/DesktopClearing.h>
#include <stagehand/DisplayModeHold.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/stagehand_c.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Reads the input up to the character, or to its end with EOF.
static void readUntil(int stop)
{
    for (int c = std::fgetc(stdin); c != EOF && c != stop; c = std::fgetc(stdin)) {
    }
}

static DWORD s_mainThread = 0;

// Reads its input to the end on a thread of its own, while the main thread pumps the windows.
static DWORD WINAPI waitForEndOfInput(void*)
{
    readUntil(EOF);
    PostThreadMessageW(s_mainThread, WM_QUIT, 0, 0);
    return 0;
}

static void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

static int showWindows(int count, char** titles, bool hung)
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
    say("ready");
    if (hung)
        readUntil('\n');
    s_mainThread = GetCurrentThreadId();
    CloseHandle(CreateThread(nullptr, 0, waitForEndOfInput, nullptr, 0, nullptr));
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "windows" || mode == "hung")
        return showWindows(argc - 2, argv + 2, mode == "hung");
    if (mode == "window") {
        stagehand::GenericWindows window(GetModuleHandleW(nullptr), nullptr, "helper render window", WS_POPUP);
        say(window.isInitialized() ? "ready" : "no window");
        readUntil(EOF);
        return 0;
    }
    if (mode == "leave") {
        new stagehand::GenericWindows(GetModuleHandleW(nullptr), nullptr, "left alive", WS_POPUP);
        (new stagehand::RenderWindowManager())->hideAllTopLevelProcess();
        say("ready");
        readUntil('\n');
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
    if (mode == "nested") {  // through the C interface: its status, and its message
        stagehand_manager* manager = nullptr;
        char message[256] = "";
        stagehand_set_desktop_wait(0);
        stagehand_manager_create(&manager);
        stagehand_status status = stagehand_hide_all(manager);
        stagehand_last_error(message, sizeof message, nullptr);
        stagehand_manager_destroy(manager);
        if (status != STAGEHAND_OK)
            say(message);
        return status;
    }
    if (mode == "handles") {
        int inherited = 0;
        DWORD flags = 0;
        for (int i = 2; i < argc; ++i)
            inherited += GetHandleInformation(reinterpret_cast<HANDLE>(std::strtoull(argv[i], nullptr, 10)), &flags);
        say("handles");
        return inherited;
    }
    if (mode == "crash") {
        int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    if (mode == "hold" && argc == 5) {
        // Never released: the library gives the mode back as the process ends.
        auto* hold = new stagehand::DisplayModeHold();
        unsigned int width = static_cast<unsigned int>(std::atoi(argv[3]));
        unsigned int height = static_cast<unsigned int>(std::atoi(argv[4]));
        hold->take(argv[2], {width, height, 0, 0});
        DEVMODEA shown = {};
        shown.dmSize = sizeof shown;
        EnumDisplaySettingsA(argv[2], ENUM_CURRENT_SETTINGS, &shown);
        std::printf("held %lux%lu\n", shown.dmPelsWidth, shown.dmPelsHeight);
        return 0;
    }
    if (mode == "saver") {
        BOOL active = FALSE;
        SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
        say(active ? "on" : "off");
        return 0;
    }
    return 2;
}
