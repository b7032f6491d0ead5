// The window primitives: a render window, subclassing, the screen saver, the console.
#include <stagehand/AllocateConsole.h>
#include <stagehand/Genericwindows.h>

#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/JournalFolder.h"
#include "support/LogCapture.h"
#include "support/ReleaseLedger.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

using stagehand::GenericWindows;

namespace {

const DWORD kStyle = WS_POPUP | WS_VISIBLE;
const HINSTANCE kExecutable = GetModuleHandleW(nullptr);

// Takes WM_QUIT off the thread's queue; its exit code, or -1 when none was posted.
int takeQuitMessage()
{
    MSG msg;
    return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? static_cast<int>(msg.wParam) : -1;
}

// Counts the WM_USER messages that reach the object.
class CountingWindow : public GenericWindows {
public:
    using GenericWindows::GenericWindows;
    int userMessages = 0;

    void drain()
    {
        MSG msg;
        while (PeekMessageW(&msg, getHWND(), 0, 0, PM_NOREMOVE))
            listenOnce();
    }

protected:
    int messageProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        userMessages += message == WM_USER ? 1 : 0;
        return GenericWindows::messageProc(message, wParam, lParam);
    }
};

}  // namespace

TEST(GenericWindows, OwnsOneTopmostWindowOrOneSubclassedWindowAndReleasesItOnceWhicheverWayItGoes)
{
    ReleaseLedger ledger;
    {
        GenericWindows window;
        ASSERT_TRUE(window.initialize(kExecutable, nullptr, "", kStyle));
        wchar_t name[32] = {};
        GetClassNameW(window.getHWND(), name, 32);
        EXPECT_STREQ(L"GenericWindows", name);
        EXPECT_FALSE(window.initialize(kExecutable, nullptr, "second", kStyle)) << "a live object is refused";
        // The system's code comes back, through the temporary's destructor too.
        for (const auto& [name, style, error] : {std::make_tuple("GenericWindows", kStyle, ERROR_CLASS_ALREADY_EXISTS),
                                                 std::make_tuple("orphan", DWORD(WS_CHILD), ERROR_TLW_WITH_WSCHILD)}) {
            SetLastError(0xdeadbeef);
            EXPECT_FALSE(GenericWindows().initialize(kExecutable, nullptr, name, style)) << name;
            EXPECT_EQ(DWORD(error), GetLastError()) << name;
        }
        LogCapture log(vela::LoggerPriority::FAILURE);
        EXPECT_FALSE(GenericWindows().initialize(kExecutable, nullptr, std::string(280, 'n').c_str(), kStyle));
        EXPECT_EQ(std::vector<std::string>{"3 stagehand.GenericWindows: 346 Refused the window name of 280 characters: "
                                           "a window class name has at most 255"}, log.lines);
        EXPECT_EQ(1, ledger.acquired(ReleaseLedger::DeviceContext)) << "no device context without a window";

        // Subclassing, routed and undone on the sweep's road, takes one live window, once.
        HWND probe = probeWindow();
        GenericWindows owner;
        EXPECT_EQ((std::vector<bool>{true, false, false}),
                  (std::vector<bool>{stagehand::subclassWindow(owner, probe), stagehand::subclassWindow(owner, probe),
                                     stagehand::subclassWindow(*std::make_unique<GenericWindows>(), nullptr)}));
        DestroyWindow(probe);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, stagehand::getWindowInstance(probe));
        EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        EXPECT_EQ(kExecutable, stagehand::getWindowInstance(nullptr));
        for (const char* line : {"408 Console procedure is already subclassed", "416 Invalid superclass window handle",
                                 "32 GetWindowLong call fails, last error code = 1400"})
            EXPECT_EQ(1u, log.count(std::string("3 stagehand.GenericWindows: ") + line));
    }
    WNDCLASSEXW info = {sizeof info};
    EXPECT_FALSE(GetClassInfoExW(kExecutable, L"orphan", &info)) << "a class is unregistered whatever failed";
    EXPECT_EQ(0, takeQuitMessage()) << "a render window's end ends the test's message loop";
    {
        GenericWindows closing(kExecutable, nullptr, "closing", kStyle);
        SendMessageW(closing.getHWND(), WM_CLOSE, 0, 0);
        EXPECT_FALSE(closing.isInitialized());
        EXPECT_EQ(0, takeQuitMessage());
    }
    EXPECT_EQ(-1, takeQuitMessage()) << "the destructor of a window already gone posts no quit";
    {
        GenericWindows orphaned(kExecutable, nullptr, "orphaned", kStyle);
        DestroyWindow(orphaned.getHWND());  // behind the object's back
    }
    EXPECT_EQ(2, ledger.released(ReleaseLedger::Window)) << "no DestroyWindow on a stale handle";
    EXPECT_TRUE(ledger.allReleased());
}

TEST(GenericWindows, ListenOnceTakesOneMessageOfItsWindowAndEscapeOrAltF4AbortsTheTest)
{
    CountingWindow window(kExecutable, nullptr, "keys", kStyle);
    CountingWindow other(kExecutable, nullptr, "other", kStyle);
    window.drain();
    for (HWND target : {window.getHWND(), window.getHWND(), other.getHWND()})
        PostMessageW(target, WM_USER, 0, 0);
    window.listenOnce();
    EXPECT_EQ(1, window.userMessages);
    window.drain();
    EXPECT_EQ(2, window.userMessages + other.userMessages) << "its own window's messages only";

    // Escape is the sweep's road's; Alt+F4 becomes Escape, F4 alone does nothing.
    PostMessageW(window.getHWND(), WM_SYSKEYDOWN, VK_F4, 0);
    window.drain();
    EXPECT_FALSE(window.isTestAborted());
    PostMessageW(window.getHWND(), WM_SYSKEYDOWN, VK_F4, 1 << 29);
    window.drain();
    EXPECT_EQ(std::make_pair(true, TRUE), std::make_pair(window.isTestAborted(), IsWindow(window.getHWND())))
        << "Alt+F4 aborts and closes nothing";
    window.resetTestAborted();
    EXPECT_FALSE(window.isTestAborted());

    CallHook<decltype(&ShowCursor)> cursor("user32.dll", "ShowCursor");
    int count = 2, hidden = 0;
    cursor.instead = [&](BOOL show) { return show ? ++count : --count; };
    window.turnOffCursor();
    hidden = count;
    window.turnOnCursor();
    EXPECT_EQ(std::make_pair(-1, 2), std::make_pair(hidden, count)) << "hidden until it counts below 0, then shown as often";
}

TEST(ScreenSaver, IsOffWhileAnyWindowLivesThenComesBackAsItWas)
{
    JournalFolder journals;
    auto saverActive = [] {
        BOOL active = FALSE;
        return SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) && active;
    };
    // Wine: the process's first window loads the display driver, which sets the flag again
    // from the registry. Load it before the flag is measured.
    DestroyWindow(probeWindow());
    {
        ChildProcess before(L"helper.exe", L"window");  // another program's render window came and went
        ASSERT_TRUE(before.waitFor("ready"));
    }
    int timeout = 0, now = 0;
    SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &timeout, 0);
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
    CallHook<decltype(&SetThreadExecutionState)> display("kernel32.dll", "SetThreadExecutionState");
    CallHook<decltype(&DefWindowProcW), 1> defaults("user32.dll", "DefWindowProcW");
    auto first = std::make_unique<GenericWindows>(kExecutable, nullptr, "saverA", WS_POPUP);
    EXPECT_FALSE(saverActive());
    for (WPARAM command : {SC_SCREENSAVE, SC_MONITORPOWER, SC_RESTORE})
        SendMessageW(first->getHWND(), WM_SYSCOMMAND, command, 0);
    size_t passed = std::count_if(defaults.calls().begin(), defaults.calls().end(),
                                  [](const auto& call) { return std::get<1>(call) == WM_SYSCOMMAND; });
    EXPECT_EQ(1u, passed) << "the screen saver and monitor power-saving may not start, and nothing else is kept";
    ASSERT_EQ(1u, journals.names().size());
    EXPECT_EQ(0u, journals.names()[0].find("stagehand-screensaver-")) << "journaled, for a crash";
    SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, timeout + 60, nullptr, SPIF_SENDWININICHANGE);  // the user
    auto second = std::make_unique<GenericWindows>(kExecutable, nullptr, "saverB", WS_POPUP);
    first.reset();
    EXPECT_FALSE(saverActive()) << "the second window still renders";
    second.reset();
    EXPECT_EQ(std::make_pair(true, std::vector<std::string>()), std::make_pair(saverActive(), journals.names()));
    EXPECT_EQ((std::vector<std::tuple<EXECUTION_STATE>>{{ES_CONTINUOUS | ES_DISPLAY_REQUIRED}, {ES_CONTINUOUS}}),
              display.calls()) << "the display is kept on from the first window to the last";
    SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &now, 0);
    EXPECT_EQ(timeout + 60, now) << "the user's change stays";
    SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, timeout, nullptr, SPIF_SENDWININICHANGE);
    EXPECT_EQ("on", ChildProcess(L"helper.exe", L"saver").readLine()) << "as a program started now reads it";

    // Render windows made and destroyed on four threads at once: the holds count exactly, and
    // the display request is made and ended on one thread, whichever thread lets go.
    std::vector<DWORD> requesters;
    display.instead = [&](EXECUTION_STATE state) {
        requesters.push_back(GetCurrentThreadId());
        return display.real(state);
    };
    std::atomic<int> onWhileHeld{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                GenericWindows window(kExecutable, nullptr, ("thread " + std::to_string(t)).c_str(), WS_POPUP);
                onWhileHeld += saverActive();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, onWhileHeld.load());
    EXPECT_EQ(std::make_pair(true, std::vector<std::string>()), std::make_pair(saverActive(), journals.names()));
    ASSERT_FALSE(requesters.empty());
    EXPECT_EQ(ES_CONTINUOUS, std::get<0>(display.calls().back())) << "released";
    for (size_t i = 0; i + 1 < requesters.size(); i += 2)
        EXPECT_EQ(requesters[i], requesters[i + 1]) << "a request ends on the thread that made it";
}

// Each test runs in a process of its own, and a process has at most one console: this one
// starts without, and keeps its standard handles, which a new console would take over.
TEST(AllocateConsole, OwnsOnlyAConsoleItAllocatedAndFreesItOnce)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    {
        stagehand::AllocateConsole owner;
        ASSERT_TRUE(owner.ownsConsole());
        EXPECT_EQ(GetConsoleWindow(), owner.consoleHandle());
        EXPECT_TRUE(IsWindowVisible(owner.consoleHandle()));
        {
            stagehand::AllocateConsole user, copy(owner);
            user = owner;
            EXPECT_EQ(std::make_pair(false, false), std::make_pair(user.ownsConsole(), copy.ownsConsole()))
                << "ownership stays with the object that allocated";
            EXPECT_EQ(std::make_pair(owner.consoleHandle(), owner.consoleHandle()),
                      std::make_pair(user.consoleHandle(), copy.consoleHandle()));
        }
        EXPECT_NE(nullptr, GetConsoleWindow()) << "only the owner frees the console";
    }
    EXPECT_EQ(nullptr, GetConsoleWindow());
    AllocConsole();
    EXPECT_FALSE(stagehand::AllocateConsole().ownsConsole()) << "a console that was there is not ours";
    FreeConsole();
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SetStdHandle(STD_ERROR_HANDLE, err);

    CallHook<decltype(&AllocConsole)> allocate("kernel32.dll", "AllocConsole");
    CallHook<decltype(&FreeConsole), 1> release("kernel32.dll", "FreeConsole");
    allocate.instead = [] {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    };
    LogCapture log(vela::LoggerPriority::FAILURE);
    EXPECT_FALSE(stagehand::AllocateConsole().ownsConsole());
    EXPECT_TRUE(release.calls().empty());
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.allocateConsole: 27  AllocConsole fails 5",
                                        "3 stagehand.allocateConsole: 37 Console handle returns NULL"}),
              log.lines);
}
