#include <stagehand/Genericwindows.h>

#include "support/ImportHook.h"
#include "support/LogCapture.h"
#include "support/ResourceCounter.h"

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

std::wstring windowText(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring className(HWND window)
{
    wchar_t text[256] = {};
    GetClassNameW(window, text, 256);
    return text;
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
        if (message == WM_USER + 1)
            ++userMessages;
        return GenericWindows::messageProc(message, wParam, lParam);
    }
};

}  // namespace

TEST(GenericWindows, EmptyNameGivesTheDefaultClassAndTitle)
{
    GenericWindows window;
    EXPECT_EQ(nullptr, window.getWindowInstance());
    ASSERT_TRUE(window.initialize(executable(), nullptr, "", kStyle));
    HWND handle = window.getHWND();
    ASSERT_TRUE(IsWindow(handle));
    EXPECT_EQ(L"GenericWindows", className(handle));
    EXPECT_EQ(L"GenericWindows", windowText(handle));
    EXPECT_EQ("GenericWindows", window.windowName().toUtf8());
    EXPECT_EQ(executable(), window.getWindowInstance());
    EXPECT_TRUE(GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(GetStockObject(BLACK_BRUSH)), GetClassLongPtrW(handle, GCLP_HBRBACKGROUND));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(&GenericWindows::messageHandler), GetClassLongPtrW(handle, GCLP_WNDPROC));

    window.setWindowTitle("renamed");
    EXPECT_EQ(L"renamed", windowText(handle));
    vela::String name;
    window.getWindowName(name);
    EXPECT_EQ("GenericWindows", name.toUtf8()) << "the name stays the class name";
}

TEST(GenericWindows, SecondInitializeIsRefusedAndChangesNothing)
{
    GenericWindows window;
    ASSERT_TRUE(window.initialize(executable(), nullptr, "first", kStyle));
    HWND handle = window.getHWND();
    EXPECT_FALSE(window.initialize(executable(), nullptr, "second", kStyle));
    EXPECT_EQ(handle, window.getHWND());
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_EQ(L"first", className(handle));
    EXPECT_FALSE(classExists(L"second"));
}

TEST(GenericWindows, SameNameTwiceFailsToRegisterAndLeavesTheFirstAlone)
{
    ResourceCounter counter;
    auto first = std::make_unique<GenericWindows>(executable(), nullptr, "twin", kStyle);
    ASSERT_TRUE(first->isInitialized());
    {
        GenericWindows second;
        EXPECT_FALSE(second.initialize(executable(), nullptr, "twin", kStyle));
        EXPECT_FALSE(second.isInitialized());
        EXPECT_EQ(1, counter.counts().windowsCreated);
    }
    EXPECT_EQ(0, counter.counts().classesUnregistered) << "the class belongs to the first object";
    EXPECT_TRUE(classExists(L"twin"));
    EXPECT_TRUE(IsWindow(first->getHWND()));
    first.reset();
    EXPECT_FALSE(classExists(L"twin"));
}

TEST(GenericWindows, WindowThatCannotBeCreatedIsLoggedAndReleasesItsClass)
{
    LogCapture log(vela::LoggerPriority::TRACE);
    ResourceCounter counter;
    {
        GenericWindows window;
        // A child window needs a parent.
        EXPECT_FALSE(window.initialize(executable(), nullptr, "orphan", WS_CHILD));
        EXPECT_FALSE(window.isInitialized());
        EXPECT_EQ(1, log.count("1 stagehand.GenericWindows: 192 m_handle = NULL"));
        EXPECT_EQ(1, log.count("2 stagehand.GenericWindows: 189 Windows class name = orphan"));
        EXPECT_EQ(0, counter.counts().dcsTaken);
    }
    EXPECT_FALSE(classExists(L"orphan"));
    EXPECT_EQ(1, counter.counts().classesUnregistered);
}

TEST(GenericWindows, EscapeAbortsTheTestUntilReset)
{
    GenericWindows window(executable(), nullptr, "escape", kStyle);
    ASSERT_TRUE(window.isInitialized());
    PostMessageW(window.getHWND(), WM_KEYDOWN, VK_ESCAPE, 0);
    window.listenOnce();  // the key press, translated into a character
    EXPECT_FALSE(window.isTestAborted());
    window.listenOnce();  // the character
    EXPECT_TRUE(window.isTestAborted());

    PostMessageW(window.getHWND(), WM_CHAR, 'a', 0);
    PostMessageW(window.getHWND(), WM_USER + 1, 0, 0);
    window.listenOnce();
    window.listenOnce();
    EXPECT_TRUE(window.isTestAborted());
    window.resetTestAborted();
    EXPECT_FALSE(window.isTestAborted());
}

TEST(GenericWindows, AltF4BecomesEscapeAndDoesNotClose)
{
    GenericWindows window(executable(), nullptr, "altf4", kStyle);
    HWND handle = window.getHWND();
    PostMessageW(handle, WM_SYSKEYDOWN, VK_F4, 1 << 29);
    for (int i = 0; i < 3 && !window.isTestAborted(); ++i)
        window.listenOnce();
    EXPECT_TRUE(window.isTestAborted());
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_TRUE(window.isInitialized());
}

TEST(GenericWindows, OtherSystemKeysAreConsumedAndPostNothing)
{
    GenericWindows window(executable(), nullptr, "syskeys", kStyle);
    HWND handle = window.getHWND();
    MSG drain;
    while (PeekMessageW(&drain, handle, 0, 0, PM_REMOVE))
        DispatchMessageW(&drain);
    struct Key {
        WPARAM key;
        LPARAM flags;
    };
    for (const Key& k : {Key{VK_F10, 0}, Key{'X', 1 << 29}, Key{VK_F4, 0}}) {
        EXPECT_EQ(0, SendMessageW(handle, WM_SYSKEYDOWN, k.key, k.flags));
        EXPECT_TRUE(queueIsEmpty(handle)) << k.key;
    }
    EXPECT_FALSE(window.isTestAborted());
    EXPECT_TRUE(IsWindow(handle));
}

TEST(GenericWindows, CloseDestroysTheWindowAndPostsQuitOnce)
{
    ResourceCounter counter;
    {
        GenericWindows window(executable(), nullptr, "closing", kStyle);
        HWND handle = window.getHWND();
        takeQuitMessage();
        EXPECT_EQ(0, SendMessageW(handle, WM_CLOSE, 0, 0));
        EXPECT_FALSE(IsWindow(handle));
        EXPECT_FALSE(window.isInitialized());
        EXPECT_EQ(1, counter.counts().dcsReleased) << "the device context goes with its window";
        EXPECT_EQ(0, takeQuitMessage());
        window.listenOnce();  // nothing to pump any more
        window.setWindowTitle("gone");
    }
    EXPECT_EQ(-1, takeQuitMessage()) << "the destructor of a closed window posts no quit";
    EXPECT_EQ(1, counter.counts().windowsDestroyed);
    EXPECT_EQ(1, counter.counts().dcsReleased);
    EXPECT_EQ(1, counter.counts().classesUnregistered);
    EXPECT_FALSE(classExists(L"closing"));
}

TEST(GenericWindows, DestroyingALiveWindowPostsQuitWithCodeZero)
{
    HWND handle;
    {
        GenericWindows window(executable(), nullptr, "dying", kStyle);
        handle = window.getHWND();
        takeQuitMessage();
    }
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(0, takeQuitMessage());
}

TEST(GenericWindows, WindowDestroyedBehindItsBackIsForgotten)
{
    ResourceCounter counter;
    {
        GenericWindows window(executable(), nullptr, "orphaned", kStyle);
        DestroyWindow(window.getHWND());
        EXPECT_FALSE(window.isInitialized());
        EXPECT_EQ(1, counter.counts().dcsReleased);
    }
    EXPECT_EQ(0, counter.counts().windowsDestroyed) << "no second DestroyWindow on a stale handle";
    EXPECT_EQ(1, counter.counts().dcsReleased);
    EXPECT_FALSE(classExists(L"orphaned"));
}

TEST(GenericWindows, ListenOnceHandlesAtMostOneMessage)
{
    CountingWindow window;
    ASSERT_TRUE(window.initialize(executable(), nullptr, "pump", kStyle));
    MSG drain;
    while (PeekMessageW(&drain, window.getHWND(), 0, 0, PM_REMOVE))
        DispatchMessageW(&drain);

    for (int i = 0; i < 3; ++i)
        PostMessageW(window.getHWND(), WM_USER + 1, 0, 0);
    for (int i = 1; i <= 3; ++i) {
        window.listenOnce();
        EXPECT_EQ(i, window.userMessages);
    }
    // An empty queue returns at once.
    DWORD start = GetTickCount();
    for (int i = 0; i < 100; ++i)
        window.listenOnce();
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(3, window.userMessages);
}

TEST(GenericWindows, MessagesOfOtherWindowsAreLeftAlone)
{
    GenericWindows first(executable(), nullptr, "mine", kStyle);
    CountingWindow second;
    ASSERT_TRUE(second.initialize(executable(), nullptr, "theirs", kStyle));
    PostMessageW(second.getHWND(), WM_USER + 1, 0, 0);
    for (int i = 0; i < 20; ++i)
        first.listenOnce();
    EXPECT_EQ(0, second.userMessages);
    second.listenOnce();
    while (!queueIsEmpty(second.getHWND()))
        second.listenOnce();
    EXPECT_EQ(1, second.userMessages);
}

namespace {

// A fake ShowCursor: a display count of its own, and every call recorded.
struct FakeCursor {
    static inline int count;
    static inline std::vector<BOOL> calls;
    static int WINAPI showCursor(BOOL show)
    {
        calls.push_back(show);
        return show ? ++count : --count;
    }
};

int callsOf(BOOL show)
{
    int n = 0;
    for (BOOL c : FakeCursor::calls)
        n += c == show ? 1 : 0;
    return n;
}

}  // namespace

TEST(GenericWindows, CursorBalanceOfBothConstructors)
{
    ImportHook hook(stagehandModule(), "user32.dll", "ShowCursor", &FakeCursor::showCursor);

    // The initializing constructor starts the balance at 0: k hiding calls, k showing calls.
    GenericWindows initialized(executable(), nullptr, "cursor", kStyle);
    FakeCursor::count = 2;
    FakeCursor::calls.clear();
    initialized.turnOffCursor();
    EXPECT_EQ(3, callsOf(FALSE));
    EXPECT_EQ(-1, FakeCursor::count);
    initialized.turnOnCursor();
    EXPECT_EQ(3, callsOf(TRUE));
    EXPECT_EQ(2, FakeCursor::count);

    // The default constructor starts it at 1: the larger of 1 and k - 1 showing calls,
    // which shows the cursor again since hiding stops at the first negative count.
    GenericWindows plain;
    FakeCursor::calls.clear();
    plain.turnOffCursor();
    EXPECT_EQ(3, callsOf(FALSE));
    plain.turnOnCursor();
    EXPECT_EQ(2, callsOf(TRUE));
    EXPECT_GE(FakeCursor::count, 0);

    GenericWindows fresh;
    FakeCursor::calls.clear();
    fresh.turnOnCursor();
    EXPECT_EQ(1, callsOf(TRUE));
}

TEST(GenericWindows, NothingLeaksOverAHundredWindows)
{
    ResourceCounter counter;
    for (int i = 0; i < 100; ++i) {
        GenericWindows window(executable(), nullptr, ("leak" + std::to_string(i)).c_str(), kStyle);
        ASSERT_TRUE(window.isInitialized());
        window.listenOnce();
    }
    const ResourceCounter::Counts& c = counter.counts();
    EXPECT_EQ(100, c.windowsCreated);
    EXPECT_EQ(100, c.windowsDestroyed);
    EXPECT_EQ(100, c.dcsTaken);
    EXPECT_EQ(100, c.dcsReleased);
    EXPECT_EQ(100, c.classesRegistered);
    EXPECT_EQ(100, c.classesUnregistered);
    for (HWND window : c.windows)
        EXPECT_FALSE(IsWindow(window));
    for (const std::wstring& name : c.classNames)
        EXPECT_FALSE(classExists(name.c_str())) << std::string(name.begin(), name.end());
}
