#pragma once

#include <stagehand/Export.h>
#include <stagehand/ScreenSaverHold.h>
#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// A bare, always-on-top render window of a window class of its own, painted only by the
// black class background. The caller renders into it and pumps its messages with
// listenOnce(), which never blocks. Escape, or Alt+F4 (turned into Escape), marks the
// test as aborted. While any such window is initialized the screen saver is off.
//
// The object owns its window, the window's device context and its window class, and
// releases them in its destructor. The window, and its device context with it, may go
// earlier, when it is closed or destroyed behind the object's back. It is
// never copied; share it through SharedResource. The window belongs to the thread that
// called initialize(), which must pump it.
class STAGEHAND_API GenericWindows {
public:
    // The longest name a window may have: it is also its class's name, which Windows limits.
    static const unsigned int kMaxNameLength = 255;

    GenericWindows();
    // Initializes at once; ask isInitialized() whether that worked.
    GenericWindows(HINSTANCE instance, HWND parent, const vela::String& name, DWORD style);
    virtual ~GenericWindows();

    GenericWindows(const GenericWindows&) = delete;
    GenericWindows& operator=(const GenericWindows&) = delete;

    // Registers the class `name` ("GenericWindows" when empty) for the instance and
    // creates the window with that title and style, topmost, at the default place.
    // False if this object already has a window, if the name is longer than
    // kMaxNameLength (logged, and refused before Windows sees it), or if registering or
    // creating fails.
    bool initialize(HINSTANCE instance, HWND parent, const vela::String& name, DWORD style);

    // The window procedure of the class; routes each message to the object's messageProc.
    static LRESULT CALLBACK messageHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Handles at most one pending message of this window; returns at once on an empty queue.
    void listenOnce();

    void setWindowTitle(const vela::String& title);
    // The class name, which was also the first title.
    vela::String windowName() const;
    void getWindowName(vela::String& out);
    HWND getHWND() const;
    // The instance given to initialize(); null before.
    HINSTANCE getWindowInstance();
    bool isInitialized();

    bool isTestAborted();
    void resetTestAborted();

    // Not supported: always false, changes nothing.
    bool setWindowDisplayMode(const POINT& position, BYTE mode);

    // Hides the cursor (ShowCursor(FALSE) until the display count is negative) and
    // shows it again; the object keeps the balance of its calls.
    void turnOffCursor();
    void turnOnCursor();

protected:
    // The object's handling of one message; override to handle more, and call this one.
    virtual int messageProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual int create(HWND parent, DWORD style);
    virtual int registerClass(HINSTANCE instance, const vela::String& className);

private:
    friend STAGEHAND_API bool subclassWindow(GenericWindows& owner, HWND window);

    void setHWND(HWND window);
    bool subclassWindow(HWND window);

    HWND m_handle;
    HDC m_hdc;
    bool m_testAborted;
    int m_cursorCount;
    vela::String m_windowName;
    WNDCLASSEXW m_windowClass;
    ScreenSaverHold m_screenSaver;
    HWND m_subclassedWindow;
    LONG_PTR m_oldWindowProc;
    vela::Array<int> m_hotKeys;
};

// Routes the messages of another window of this process (a console window, say) through
// GenericWindows::messageHandler until `owner` is destroyed, which puts the window's own
// procedure back. Refuses a null window and a second subclass; a failed attempt is
// retried on the first window by the next call. Windows of other processes cannot be
// subclassed. The routed messages go to DefWindowProcW.
STAGEHAND_API bool subclassWindow(GenericWindows& owner, HWND window);

// The instance that owns the window; for a null window, the executable's module.
// Null (and logged with the error code) when the window does not exist.
STAGEHAND_API HINSTANCE getWindowInstance(HWND window);

}  // namespace stagehand
