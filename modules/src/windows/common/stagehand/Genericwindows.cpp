#include <stagehand/Genericwindows.h>

#include "LogCodes.h"

#include <vela/ClassLogger.h>
#include <vela/LastErrorKeeper.h>
#include <vela/TraceLogger.h>

using vela::LoggerPriority;
using vela::TraceLogger;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.GenericWindows");

const char kDefaultName[] = "GenericWindows";

}  // namespace

GenericWindows::GenericWindows()
    : m_handle(nullptr),
      m_hdc(nullptr),
      m_testAborted(false),
      m_cursorCount(1),
      m_windowClass(),
      m_subclassedWindow(nullptr),
      m_oldWindowProc(0)
{
}

GenericWindows::GenericWindows(HINSTANCE instance, HWND parent, const vela::String& name, DWORD style)
    : GenericWindows()
{
    m_cursorCount = 0;
    TraceLogger trace(s_log.traceLogger(), "GenericWindows::GenericWindows", __FILE__, 334);
    initialize(instance, parent, name, style);
}

GenericWindows::~GenericWindows()
{
    vela::LastErrorKeeper keep;  // a destructor runs on failure paths too
    TraceLogger trace(s_log.traceLogger(), "GenericWindows::~GenericWindows", __FILE__, 214);
    if (m_subclassedWindow && m_oldWindowProc) {
        SetLastError(0);
        if (SetWindowLongPtrW(m_subclassedWindow, GWLP_WNDPROC, m_oldWindowProc) == 0) {
            DWORD error = GetLastError();
            s_log.log(LoggerPriority::TRACE, logcode::kUnsubclassFails, "SetWindowLong fails ", error);
            s_log.log(LoggerPriority::FAILURE, logcode::kProcedureNotBack,
                      "The subclassed window keeps this "
                      "library's procedure (error ",
                      error, "): its messages go to DefWindowProc");
        }
        m_subclassedWindow = nullptr;
        m_oldWindowProc = 0;
    }
    if (m_handle) {
        for (unsigned int i = 0; i < m_hotKeys.size(); ++i)
            UnregisterHotKey(m_handle, m_hotKeys[i]);
        // WM_NCDESTROY releases the DC and forgets the window.
        if (!DestroyWindow(m_handle)) {
            // Destroyed from another thread, say: the window outlives this object, which it
            // must no longer reach, and the DC is let go here.
            DWORD error = GetLastError();
            s_log.log(LoggerPriority::FAILURE, logcode::kDestroyWindowFails, "DestroyWindow fails ", error);
            SetWindowLongPtrW(m_handle, GWLP_USERDATA, 0);
            if (m_hdc)
                ReleaseDC(m_handle, m_hdc);
        }
        PostQuitMessage(0);
    }
    // Null when this object registered no class: then there is nothing of ours to unregister.
    if (m_windowClass.lpszClassName && !UnregisterClassW(m_windowClass.lpszClassName, m_windowClass.hInstance)) {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kUnregisterClassFails, "UnregisterClass fails ", error, ": ",
                  m_windowName, " stays registered");
    }
}

bool GenericWindows::initialize(HINSTANCE instance, HWND parent, const vela::String& name, DWORD style)
{
    TraceLogger trace(s_log.traceLogger(), "GenericWindows::initialize", __FILE__, 342);
    if (m_handle)
        return false;
    if (name.size() > kMaxNameLength) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNameTooLong, "Refused the window name of ", name.size(),
                  " characters: a window class name has at most 255");
        return false;
    }
    vela::String className = name.empty() ? vela::String(kDefaultName) : name;
    if (!registerClass(instance, className) || !create(parent, style))
        return false;
    // The screen saver is held off while a window lives: not for one that could not be made.
    if (!m_screenSaver.take()) {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::SEVERE, logcode::kScreenSaverUnreadable, "SystemParametersInfo failed ", error);
    }
    m_hdc = GetDC(m_handle);
    if (!m_hdc)
        s_log.log(LoggerPriority::FAILURE, logcode::kNoDeviceContext, "GetDC failed ",
                  static_cast<unsigned int>(GetLastError()), ": the window has no device context of its own");
    return true;
}

int GenericWindows::registerClass(HINSTANCE instance, const vela::String& className)
{
    TraceLogger trace(s_log.traceLogger(), "GenericWindows::registerClass", __FILE__, 77);
    // A class left from an earlier attempt whose window could not be created.
    if (m_windowClass.lpszClassName)
        UnregisterClassW(m_windowClass.lpszClassName, m_windowClass.hInstance);

    m_windowName = className;
    m_windowClass = WNDCLASSEXW();
    m_windowClass.cbSize = sizeof m_windowClass;
    m_windowClass.lpfnWndProc = &GenericWindows::messageHandler;
    m_windowClass.hInstance = instance;
    m_windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    m_windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    m_windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    m_windowClass.lpszClassName = m_windowName.wide();
    if (RegisterClassExW(&m_windowClass))
        return 1;
    // The name may be another object's class: ours to unregister only once registered.
    m_windowClass.lpszClassName = nullptr;
    return 0;
}

int GenericWindows::create(HWND parent, DWORD style)
{
    TraceLogger trace(s_log.traceLogger(), "GenericWindows::create", __FILE__, 175);
    m_handle = CreateWindowExW(WS_EX_TOPMOST, m_windowName.wide(), m_windowName.wide(), style, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, m_windowClass.hInstance,
                               this);
    s_log.log(LoggerPriority::DETAIL, logcode::kClassName, "Windows class name = ", m_windowName);
    if (!m_handle)
        s_log.log(LoggerPriority::TRACE, logcode::kNoWindowHandle, "m_handle = NULL");
    return m_handle ? 1 : 0;
}

LRESULT CALLBACK GenericWindows::messageHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    GenericWindows* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<GenericWindows*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        // A window that cannot find its object again is not made: CreateWindowExW fails.
        SetLastError(0);
        if (SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self)) == 0 && GetLastError())
            return FALSE;
        if (self)
            self->m_handle = window;
    } else if (GetClassLongPtrW(window, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(&messageHandler)) {
        // Only a window of our own class keeps an object in its user data; a subclassed
        // window's user data belongs to its owner.
        self = reinterpret_cast<GenericWindows*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->messageProc(message, wParam, lParam);
}

int GenericWindows::messageProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(m_handle, &paint);
        EndPaint(m_handle, &paint);
        return 1;
    }
    case WM_CLOSE:
        DestroyWindow(m_handle);
        PostQuitMessage(static_cast<int>(lParam & 0xFFFFFFFF));
        return 0;
    case WM_QUIT:
        return static_cast<int>(wParam & 0xFFFFFFFF);
    case WM_CHAR:
        if ((wParam & 0xFFFFFFFF) == VK_ESCAPE)
            m_testAborted = true;
        return 1;
    case WM_SYSCOMMAND:
        // While it renders, neither the screen saver nor monitor power-saving may start.
        if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER)
            return 0;
        return static_cast<int>(DefWindowProcW(m_handle, message, wParam, lParam));
    case WM_SYSKEYDOWN:
        // Alt+F4 must not close a render window: it becomes Escape, which aborts the test.
        if (wParam == VK_F4 && (lParam & (1 << 29)))
            PostMessageW(m_handle, WM_KEYDOWN, VK_ESCAPE, 0);
        return 0;
    case WM_NCDESTROY: {
        // The window goes, whoever destroys it: its device context goes with it, and its
        // handle is forgotten, so that nothing stale is released or destroyed later.
        if (m_hdc) {
            ReleaseDC(m_handle, m_hdc);
            m_hdc = nullptr;
        }
        int result = static_cast<int>(DefWindowProcW(m_handle, message, wParam, lParam));
        m_handle = nullptr;
        return result;
    }
    default:
        return static_cast<int>(DefWindowProcW(m_handle, message, wParam, lParam));
    }
}

void GenericWindows::listenOnce()
{
    TraceLogger trace(s_log.traceLogger(), "GenericWindows::processMessage", __FILE__, 158);
    if (!m_handle)
        return;
    MSG msg;
    if (PeekMessageW(&msg, m_handle, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void GenericWindows::setWindowTitle(const vela::String& title)
{
    if (m_handle)
        SetWindowTextW(m_handle, title.wide());
}

vela::String GenericWindows::windowName() const
{
    return m_windowName;
}

void GenericWindows::getWindowName(vela::String& out)
{
    out = m_windowName;
}

HWND GenericWindows::getHWND() const
{
    return m_handle;
}

HINSTANCE GenericWindows::getWindowInstance()
{
    return m_windowClass.hInstance;
}

bool GenericWindows::isInitialized()
{
    return m_handle != nullptr;
}

bool GenericWindows::isTestAborted()
{
    return m_testAborted;
}

void GenericWindows::resetTestAborted()
{
    m_testAborted = false;
}

bool GenericWindows::setWindowDisplayMode(const POINT&, BYTE)
{
    return false;
}

void GenericWindows::turnOffCursor()
{
    int displayCount;
    do {
        displayCount = ShowCursor(FALSE);
        --m_cursorCount;
    } while (displayCount >= 0);
}

void GenericWindows::turnOnCursor()
{
    do {
        ShowCursor(TRUE);
        ++m_cursorCount;
    } while (m_cursorCount < 0);
}

void GenericWindows::setHWND(HWND window)
{
    m_handle = window;
}

bool GenericWindows::subclassWindow(HWND window)
{
    TraceLogger trace(s_log.traceLogger(), "GenericWindows::subclassWindow", __FILE__, 401);
    if (m_subclassedWindow) {
        s_log.log(LoggerPriority::FAILURE, logcode::kAlreadySubclassing,
                  "Generic window has a registered window handle");
        if (m_oldWindowProc) {
            s_log.log(LoggerPriority::FAILURE, logcode::kAlreadySubclassed, "Console procedure is already subclassed");
            return false;
        }
        // A retry on the window of an earlier, failed call.
    } else if (!window) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNoWindowToSubclass, "Invalid superclass window handle");
        return false;
    } else {
        m_subclassedWindow = window;
    }
    SetLastError(0);
    m_oldWindowProc = SetWindowLongPtrW(m_subclassedWindow, GWLP_WNDPROC,
                                        reinterpret_cast<LONG_PTR>(&GenericWindows::messageHandler));
    if (m_oldWindowProc)
        return true;
    DWORD error = GetLastError();
    s_log.log(LoggerPriority::SEVERE, logcode::kSubclassFails,
              "SetWindowLong fails to subclass current console message procedure ", error);
    return false;
}

bool subclassWindow(GenericWindows& owner, HWND window)
{
    return owner.subclassWindow(window);
}

HINSTANCE getWindowInstance(HWND window)
{
    TraceLogger trace(s_log.traceLogger(), "getWindowInstance", __FILE__, 13);
    HINSTANCE instance;
    if (window) {
        instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
        s_log.log(LoggerPriority::DETAIL, logcode::kGettingWindowLong, "Getting a window long pointer");
    } else {
        s_log.log(LoggerPriority::FAILURE, logcode::kNullWindowInstance,
                  "window handle is NULL, getting the topmost window instance");
        instance = GetModuleHandleW(nullptr);
    }
    if (!instance) {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kWindowLongFails,
                  "GetWindowLong call fails, last error code = ", error);
    }
    return instance;
}

}  // namespace stagehand
