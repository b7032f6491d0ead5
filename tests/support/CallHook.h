#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <tuple>
#include <type_traits>
#include <vector>

// Each named import of a module: its DLL, its function, its import address table slot.
void forEachImport(HMODULE module, const std::function<void(const char*, const char*, void**)>& visit);
// The slot that holds one imported function; null when the module imports no such function.
void** importSlot(HMODULE module, const char* dll, const char* function);
void writeImportSlot(void** slot, void* function);

HMODULE stagehandModule();

// An import of stagehand.dll (or `module`) patched for the hook's lifetime: each call is
// recorded, then runs `instead` if set, else the real function. Finding no slot fails the
// test. One hook of a function type is live at a time; Tag tells two of one type apart.
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

    const std::vector<std::tuple<std::decay_t<A>...>>& calls() const { return m_calls; }
    static R real(A... arguments) { return s_real(arguments...); }

    std::function<R(A...)> instead;

private:
    static R WINAPI call(A... arguments)
    {
        CallHook& self = *s_live;
        self.m_calls.emplace_back(arguments...);
        return self.instead ? self.instead(arguments...) : s_real(arguments...);
    }

    static inline R (*s_real)(A...) = nullptr;
    static inline CallHook* s_live = nullptr;
    void** m_slot;
    std::vector<std::tuple<std::decay_t<A>...>> m_calls;
};
