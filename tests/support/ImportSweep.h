#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// The imports of a module, made to fail at one call site at a time: each import address table
// slot gets a stub that asks whether this call, from this return address, fails, else jumps
// on to the real function untouched. The patches stay for the life of the process.
class ImportSweep {
public:
    // How a failing call fails: the value it returns and the last-error code it leaves.
    struct Failure {
        ULONG_PTR result;
        DWORD error;
        bool throws;  // operator new: std::bad_alloc instead
    };
    struct Import {
        std::string function;
        void* real;
        Failure failure;
    };
    typedef std::pair<unsigned int, void*> Site;  // an import's index and a return address
    enum Mode { ONCE, FROM_THEN_ON };

    // Patches the imports of `module` that `failures` names. One sweep at a time.
    ImportSweep(HMODULE module, const std::map<std::string, Failure>& failures);

    const std::vector<Import>& imports() const { return m_imports; }
    // The call sites seen so far, each with the site that was armed when it was first seen.
    const std::map<Site, Site>& seen() const { return m_seen; }
    static const Site kNone;

    // Arms the site: in ONCE mode its first call fails, in FROM_THEN_ON every call from it.
    void arm(const Site& site, Mode mode);
    void disarm() { m_armed = kNone; }
    unsigned int injected() const { return m_injected; }  // calls made to fail since arm()
    std::function<void()> failing;  // called as each call is made to fail

    // The stubs' question: the real function to go on to, or null with the failure's result.
    void* decide(unsigned int index, void* returnAddress, ULONG_PTR* result);

private:
    std::vector<Import> m_imports;
    std::map<Site, Site> m_seen;
    Site m_armed = kNone;
    Mode m_mode = ONCE;
    unsigned int m_injected = 0;
    std::mutex m_lock;
};
