#pragma once

#include <windows.h>

// Replaces, for its lifetime, one function that a module imports, by patching the
// module's import address table. A hook that finds no slot fails the running test:
// a fault injection that patched nothing would check nothing.
//
//     static decltype(&ShowCursor) realShowCursor;
//     ImportHook hook(stagehandModule(), "user32.dll", "ShowCursor", &countingShowCursor, realShowCursor);
class ImportHook {
public:
    template <class R, class... A>
    ImportHook(HMODULE module, const char* dll, const char* function, R (*replacement)(A...))
        : ImportHook(module, dll, function, reinterpret_cast<void*>(replacement))
    {
    }
    // The same, and stores the function it replaced in `original`, for the replacement to call.
    template <class R, class... A>
    ImportHook(HMODULE module, const char* dll, const char* function, R (*replacement)(A...),
               R (*&original)(A...))
        : ImportHook(module, dll, function, replacement)
    {
        original = this->original<R (*)(A...)>();
    }
    ImportHook(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportHook();

    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool found() const { return m_slot != nullptr; }

    template <class F>
    F original() const
    {
        return reinterpret_cast<F>(m_original);
    }

private:
    void** m_slot;
    void* m_original;
};

// stagehand.dll as loaded in this process.
HMODULE stagehandModule();
