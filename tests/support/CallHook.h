#pragma once

#include "ImportHook.h"

#include <windows.h>

#include <functional>
#include <tuple>
#include <type_traits>
#include <vector>

// One import of a module replaced for the hook's lifetime: every call is recorded with its
// arguments, the calls chosen with failCall() fail with a given result and last-error code,
// and every other call runs `instead` when it is set, else the real function.
//
//     CallHook<decltype(&OpenProcess)> open(stagehandModule(), "kernel32.dll", "OpenProcess");
//     open.failCall(1, nullptr, ERROR_ACCESS_DENIED);  // the first call is denied
//     ...
//     EXPECT_EQ(2u, open.calls().size());
//
// A system callback has no context, so one hook of a function type is live at a time;
// Tag tells apart two functions of one type hooked together.
template <class F, int Tag = 0>
class CallHook;

template <class R, class... A, int Tag>
class CallHook<R (*)(A...), Tag> {
public:
    using Arguments = std::tuple<std::decay_t<A>...>;

    CallHook(HMODULE module, const char* dll, const char* function) : m_hook(module, dll, function, &call, s_real)
    {
        s_live = this;
    }
    ~CallHook() { s_live = nullptr; }

    CallHook(const CallHook&) = delete;
    CallHook& operator=(const CallHook&) = delete;

    // Call n, counted from 1, fails; n = 0 fails every call from now on.
    void failCall(unsigned int n, R result, DWORD error)
    {
        m_failing.push_back(n);
        m_result = result;
        m_error = error;
    }
    const std::vector<Arguments>& calls() const { return m_calls; }
    static R real(A... arguments) { return s_real(arguments...); }

    std::function<R(A...)> instead;

private:
    static R WINAPI call(A... arguments)
    {
        CallHook& self = *s_live;
        self.m_calls.emplace_back(arguments...);
        for (unsigned int n : self.m_failing)
            if (n == 0 || n == self.m_calls.size()) {
                SetLastError(self.m_error);
                return self.m_result;
            }
        return self.instead ? self.instead(arguments...) : s_real(arguments...);
    }

    static inline R (*s_real)(A...) = nullptr;
    static inline CallHook* s_live = nullptr;
    ImportHook m_hook;
    std::vector<Arguments> m_calls;
    std::vector<unsigned int> m_failing;
    R m_result{};
    DWORD m_error = 0;
};
