#include <stagehand/AllocateConsole.h>

#include "LogCodes.h"

#include <vela/ClassLogger.h>

using vela::LoggerPriority;

namespace stagehand {

namespace {
vela::ClassLogger s_log("stagehand.allocateConsole");
}

AllocateConsole::AllocateConsole() : m_allocated(FALSE), m_consoleHandle(GetConsoleWindow())
{
    if (!m_consoleHandle) {
        m_allocated = AllocConsole();
        if (m_allocated) {
            m_consoleHandle = GetConsoleWindow();
        } else {
            DWORD error = GetLastError();
            s_log.log(LoggerPriority::FAILURE, logcode::kAllocConsoleFails, " AllocConsole fails ", error);
        }
    }
    if (m_consoleHandle) {
        ShowWindow(m_consoleHandle, SW_SHOW);
        SetFocus(m_consoleHandle);
    } else {
        s_log.log(LoggerPriority::FAILURE, logcode::kNoConsole, "Console handle returns NULL");
    }
}

AllocateConsole::AllocateConsole(const AllocateConsole& other)
    : m_allocated(FALSE), m_consoleHandle(other.m_consoleHandle)
{
}

AllocateConsole& AllocateConsole::operator=(const AllocateConsole& other)
{
    // Ownership stays with the object that allocated: two owners would free one console
    // twice, the second time perhaps a console that someone else allocated since.
    m_consoleHandle = other.m_consoleHandle;
    return *this;
}

AllocateConsole::~AllocateConsole()
{
    if (m_allocated)
        FreeConsole();
}

HWND AllocateConsole::consoleHandle()
{
    return m_consoleHandle;
}

}  // namespace stagehand
