#pragma once

#include <windows.h>

// Replaces, for its lifetime, one function that a module imports, by patching the
// module's import address table, and gives the function it replaced in `original`. A
// hook that finds no slot fails the running test: a fault injection that patched nothing
// would check nothing. CallHook is the form the tests use.
class ImportHook {
public:
    template <class R, class... A>
    ImportHook(HMODULE module, const char* dll, const char* function, R (*replacement)(A...), R (*&original)(A...))
        : ImportHook(module, dll, function, reinterpret_cast<void*>(replacement))
    {
        original = reinterpret_cast<R (*)(A...)>(m_original);
    }
    ~ImportHook();

    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

private:
    ImportHook(HMODULE module, const char* dll, const char* function, void* replacement);

    void** m_slot;
    void* m_original;
};

// stagehand.dll as loaded in this process.
HMODULE stagehandModule();
