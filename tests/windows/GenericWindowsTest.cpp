#include <stagehand/Genericwindows.h>

#include "support/CallHook.h"
#include "support/LogCapture.h"
#include "support/ReleaseLedger.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using stagehand::GenericWindows;

namespace {

const DWORD kStyle = WS_POPUP | WS_VISIBLE;

HINSTANCE executable()
{
    return GetModuleHandleW(nullptr);
}

std::wstring text(HWND window, bool className)
{
    wchar_t buffer[256] = {};
    className ? GetClassNameW(window, buffer, 256) : GetWindowTextW(window, buffer, 256);
    return buffer;
}

bool classExists(const wchar_t* name)
{
    WNDCLASSEXW info = {sizeof info};
    return GetClassInfoExW(executable(), name, &info) != 0;
}

// Takes WM_QUIT off the thread's queue; its exit code, or -1 when none was posted.
int takeQuitMessage()
{
    MSG msg;
    return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? static_cast<int>(msg.wParam) : -1;
}

bool queueIsEmpty(HWND window)
{
    MSG msg;
    return !PeekMessageW(&msg, window, 0, 0, PM_NOREMOVE);
}

// Counts the messages that reach the object.
class CountingWindow : public GenericWindows {
public:
    int userMessages = 0;

protected:
    int messageProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        userMessages += message == WM_USER + 1 ? 1 : 0;
        return GenericWindows::messageProc(message, wParam, lParam);
    }
};

}  // namespace

TEST(GenericWindows, InitializeMakesOneTopmostWindowOfItsOwnClass)
{
    ReleaseLedger ledger;
    GenericWindows window;
    EXPECT_EQ(nullptr, window.getWindowInstance());
    ASSERT_TRUE(window.initialize(executable(), nullptr, "", kStyle));
    HWND handle = window.getHWND();
    EXPECT_EQ(L"GenericWindows", text(handle, true));
    EXPECT_EQ(L"GenericWindows", text(handle, false));
    EXPECT_EQ(executable(), window.getWindowInstance());
    EXPECT_TRUE(GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(GetStockObject(BLACK_BRUSH)), GetClassLongPtrW(handle, GCLP_HBRBACKGROUND));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(&GenericWindows::messageHandler), GetClassLongPtrW(handle, GCLP_WNDPROC));
    window.setWindowTitle("renamed");
    EXPECT_EQ(L"renamed", text(handle, false));
    vela::String name;
    window.getWindowName(name);
    EXPECT_EQ("GenericWindows", name.toUtf8()) << "the name stays the class name";

    EXPECT_FALSE(window.initialize(executable(), nullptr, "second", kStyle)) << "a live object is refused";
    EXPECT_EQ(handle, window.getHWND());
    {
        GenericWindows twin;  // the name is a live window's class
        EXPECT_FALSE(twin.initialize(executable(), nullptr, "GenericWindows", kStyle));
        EXPECT_FALSE(twin.isInitialized());
    }
    EXPECT_TRUE(classExists(L"GenericWindows")) << "the class belongs to the first object";
    LogCapture log(vela::LoggerPriority::TRACE);
    for (HWND parent : {HWND(nullptr), reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ffe1234))}) {
        GenericWindows orphan;  // a child window needs a parent that exists
        EXPECT_FALSE(orphan.initialize(executable(), parent, "orphan", WS_CHILD));
    }
    EXPECT_EQ(2u, log.count("2 stagehand.GenericWindows: 189 Windows class name = orphan"));
    EXPECT_EQ(2u, log.count("1 stagehand.GenericWindows: 192 m_handle = NULL"));
    EXPECT_FALSE(classExists(L"orphan"));
    EXPECT_EQ(1, ledger.acquired(ReleaseLedger::DeviceContext)) << "no device context without a window";
    EXPECT_EQ(1, ledger.acquired(ReleaseLedger::Window));
}

TEST(GenericWindows, EscapeAndAltF4AbortTheTestAndOtherSystemKeysDoNothing)
{
    GenericWindows window(executable(), nullptr, "keys", kStyle);
    HWND handle = window.getHWND();
    while (!queueIsEmpty(handle))
        window.listenOnce();
    PostMessageW(handle, WM_KEYDOWN, VK_ESCAPE, 0);
    window.listenOnce();  // the key press, translated into a character
    EXPECT_FALSE(window.isTestAborted());
    window.listenOnce();  // the character
    EXPECT_TRUE(window.isTestAborted());
    window.resetTestAborted();
    EXPECT_FALSE(window.isTestAborted());

    struct Key {
        WPARAM key;
        LPARAM flags;
    };
    for (const Key& k : {Key{VK_F10, 0}, Key{'X', 1 << 29}, Key{VK_F4, 0}}) {
        EXPECT_EQ(0, SendMessageW(handle, WM_SYSKEYDOWN, k.key, k.flags));
        EXPECT_TRUE(queueIsEmpty(handle)) << k.key;
    }
    EXPECT_FALSE(window.isTestAborted());

    PostMessageW(handle, WM_SYSKEYDOWN, VK_F4, 1 << 29);
    for (int i = 0; i < 3 && !window.isTestAborted(); ++i)
        window.listenOnce();
    EXPECT_TRUE(window.isTestAborted()) << "Alt+F4 becomes Escape";
    EXPECT_TRUE(IsWindow(handle)) << "and closes nothing";
}

TEST(GenericWindows, ListenOnceHandlesAtMostOneMessageOfItsOwnWindow)
{
    CountingWindow mine;
    CountingWindow other;
    ASSERT_TRUE(mine.initialize(executable(), nullptr, "mine", kStyle));
    ASSERT_TRUE(other.initialize(executable(), nullptr, "other", kStyle));
    while (!queueIsEmpty(mine.getHWND()))
        mine.listenOnce();
    for (int i = 0; i < 3; ++i)
        PostMessageW(mine.getHWND(), WM_USER + 1, 0, 0);
    PostMessageW(other.getHWND(), WM_USER + 1, 0, 0);
    for (int i = 1; i <= 3; ++i) {
        mine.listenOnce();
        EXPECT_EQ(i, mine.userMessages);
    }
    DWORD start = GetTickCount();
    for (int i = 0; i < 100; ++i)
        mine.listenOnce();
    EXPECT_LT(GetTickCount() - start, 2000u) << "an empty queue returns at once";
    EXPECT_EQ(0, other.userMessages);
    while (!queueIsEmpty(other.getHWND()))
        other.listenOnce();
    EXPECT_EQ(1, other.userMessages);
}

TEST(GenericWindows, EveryWayAWindowGoesReleasesItOnceAndPostsQuitOnlyForALiveOne)
{
    ReleaseLedger ledger;
    {
        GenericWindows closing(executable(), nullptr, "closing", kStyle);
        takeQuitMessage();
        EXPECT_EQ(0, SendMessageW(closing.getHWND(), WM_CLOSE, 0, 0));
        EXPECT_FALSE(closing.isInitialized());
        EXPECT_EQ(1, ledger.released(ReleaseLedger::DeviceContext)) << "the device context goes with its window";
        EXPECT_EQ(0, takeQuitMessage());
        closing.listenOnce();  // nothing to pump any more
        closing.setWindowTitle("gone");
    }
    EXPECT_EQ(-1, takeQuitMessage()) << "the destructor of a closed window posts no quit";
    {
        GenericWindows orphaned(executable(), nullptr, "orphaned", kStyle);
        DestroyWindow(orphaned.getHWND());  // behind the object's back
        EXPECT_FALSE(orphaned.isInitialized());
        EXPECT_EQ(2, ledger.released(ReleaseLedger::DeviceContext));
    }
    EXPECT_EQ(1, ledger.released(ReleaseLedger::Window)) << "no DestroyWindow on a stale handle";
    takeQuitMessage();
    { GenericWindows live(executable(), nullptr, "live", kStyle); }
    EXPECT_EQ(0, takeQuitMessage());
    for (int i = 0; i < 100; ++i) {
        GenericWindows window(executable(), nullptr, ("leak" + std::to_string(i)).c_str(), kStyle);
        ASSERT_TRUE(window.isInitialized());
        window.listenOnce();
    }
    EXPECT_EQ(103, ledger.acquired(ReleaseLedger::WindowClass));
    EXPECT_TRUE(ledger.allReleased());
}

TEST(GenericWindows, CursorBalanceOfBothConstructors)
{
    CallHook<decltype(&ShowCursor)> cursor(stagehandModule(), "user32.dll", "ShowCursor");
    int count = 0;
    cursor.instead = [&](BOOL show) { return show ? ++count : --count; };
    auto callsOf = [&](BOOL show) {
        int n = 0;
        for (const auto& call : cursor.calls())
            n += std::get<0>(call) == show ? 1 : 0;
        return n;
    };

    // The initializing constructor starts the balance at 0: k hiding calls, k showing calls.
    GenericWindows initialized(executable(), nullptr, "cursor", kStyle);
    count = 2;
    initialized.turnOffCursor();
    EXPECT_EQ(3, callsOf(FALSE));
    EXPECT_EQ(-1, count);
    initialized.turnOnCursor();
    EXPECT_EQ(3, callsOf(TRUE));
    EXPECT_EQ(2, count);

    // The default constructor starts it at 1: the larger of 1 and k - 1 showing calls,
    // which shows the cursor again since hiding stops at the first negative count.
    GenericWindows plain;
    plain.turnOffCursor();
    EXPECT_EQ(6, callsOf(FALSE));
    plain.turnOnCursor();
    EXPECT_EQ(5, callsOf(TRUE));
    EXPECT_GE(count, 0);
    GenericWindows fresh;
    fresh.turnOnCursor();
    EXPECT_EQ(6, callsOf(TRUE));
}
