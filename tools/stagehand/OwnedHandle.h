#pragma once

#include <vela/LastErrorKeeper.h>

#include <windows.h>

// The tool's owner of a kernel handle (a file, an event): closed once, when the owner goes,
// leaving the last-error code for the caller to report. Null and INVALID_HANDLE_VALUE both
// mean none.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void reset(HANDLE handle = nullptr)
    {
        if (m_handle) {
            vela::LastErrorKeeper keep;
            CloseHandle(m_handle);
        }
        m_handle = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    HANDLE m_handle;
};
