#pragma once

#include <vela/LastErrorKeeper.h>

#include <windows.h>

namespace stagehand {

// Internal to the library: one owner for a kernel object that is closed exactly once, when
// the owner goes, also when an exception passes. Closing keeps the last-error code, so that
// a failure path can still report it.
template <class Traits>
class UniqueHandle {
public:
    typedef typename Traits::Type Type;

    explicit UniqueHandle(Type handle = Traits::invalid()) : m_handle(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type get() const { return m_handle; }
    bool valid() const { return m_handle != Traits::invalid() && m_handle != nullptr; }
    void reset(Type handle = Traits::invalid())
    {
        if (valid()) {
            vela::LastErrorKeeper keep;
            Traits::close(m_handle);
        }
        m_handle = handle;
    }
    // Hands the handle over to the caller, who closes it.
    Type release()
    {
        Type handle = m_handle;
        m_handle = Traits::invalid();
        return handle;
    }

private:
    Type m_handle;
};

struct KernelTraits {
    typedef HANDLE Type;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};

struct FindTraits {
    typedef HANDLE Type;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { FindClose(handle); }
};

// A file of CreateFileW, or any kernel object that CloseHandle closes; a search of FindFirstFileW.
typedef UniqueHandle<KernelTraits> FileHandle;
typedef UniqueHandle<KernelTraits> KernelHandle;
typedef UniqueHandle<FindTraits> FindHandle;

}  // namespace stagehand
