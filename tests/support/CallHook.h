#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <tuple>
#include <type_traits>
#include <vector>

// The slot of a module's import address table that holds one imported function; null
// when the module imports no such function.
void** importSlot(HMODULE module, const char* dll, const char* function);
void writeImportSlot(void** slot, void* function);

// stagehand.dll as loaded in this process.
HMODULE stagehandModule();

// An import of stagehand.dll (or of `module`) replaced for the hook's lifetime by patching
// the import address table. A hook that finds no slot fails the running test: a fault
// injection that patched nothing would check nothing. Every call is recorded with its
// arguments, the calls chosen with failCall() fail with a result and a last-error code,
// and every other call runs `instead` when it is set, else the real function. A system
// callback has no context, so one hook of a function type is live at a time; Tag tells
// apart two functions of one type hooked together.
template <class F, int Tag = 0>
class CallHook;

template <class R, class... A, int Tag>
class CallHook<R (*)(A...), Tag> {
public:
    CallHook(const char* dll, const char* function, HMODULE module = stagehandModule())
        : m_slot(importSlot(module, dll, function))
    {
        if (!m_slot) {
            ADD_FAILURE() << "no import slot for " << dll << "!" << function;
            return;
        }
        s_real = reinterpret_cast<R (*)(A...)>(*m_slot);
        s_live = this;
        writeImportSlot(m_slot, reinterpret_cast<void*>(&call));
    }
    ~CallHook()
    {
        if (m_slot)
            writeImportSlot(m_slot, reinterpret_cast<void*>(s_real));
        s_live = nullptr;
    }
    CallHook(const CallHook&) = delete;
    CallHook& operator=(const CallHook&) = delete;

    // Call n, counted from 1, fails; n = 0 fails every call from now on.
    void failCall(unsigned int n, R result, DWORD error)
    {
        m_failing.push_back(n);
        m_result = result;
        m_error = error;
    }
    const std::vector<std::tuple<std::decay_t<A>...>>& calls() const { return m_calls; }
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
    void** m_slot;
    std::vector<std::tuple<std::decay_t<A>...>> m_calls;
    std::vector<unsigned int> m_failing;
    R m_result{};
    DWORD m_error = 0;
};
