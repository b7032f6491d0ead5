#pragma once

#include <windows.h>

#include <exception>

namespace stagehand {

// Runs the body of a callback that a system enumeration calls (EnumWindows,
// EnumDisplayMonitors). An exception must not unwind through the system's frames: it is
// kept, the enumeration is told to stop, and rethrowIfCaught() raises it again once the
// system call has returned. Internal to the library.
class CallbackGuard {
public:
    template <class Body>
    BOOL run(Body body) noexcept
    {
        try {
            return body();
        } catch (...) {
            m_caught = std::current_exception();
            return FALSE;
        }
    }

    void rethrowIfCaught()
    {
        if (m_caught)
            std::rethrow_exception(m_caught);
    }

private:
    std::exception_ptr m_caught;
};

}  // namespace stagehand
