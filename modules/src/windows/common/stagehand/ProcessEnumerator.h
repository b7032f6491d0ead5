#pragma once

#include <stagehand/Export.h>
#include <vela/Array.h>

#include <windows.h>

namespace stagehand {

// A snapshot of the ids of all processes in the system.
class STAGEHAND_API ProcessEnumerator {
public:
    ProcessEnumerator();
    ProcessEnumerator(const ProcessEnumerator& other);
    ProcessEnumerator& operator=(const ProcessEnumerator& other);
    ~ProcessEnumerator();

    // Takes the snapshot, with a buffer of 1024 ids doubled while the system fills it.
    // On failure logs the error code and returns false; numPids() is then 0.
    bool enumerate();

    // The number of ids found by the last successful enumerate().
    unsigned int numPids() const;

    // The buffer last handed to the system: the first numPids() entries are the ids,
    // the rest are 0. Valid until the next enumerate, assignment or destruction.
    const vela::Array<DWORD>& processIds() const;

private:
    DWORD m_numPids;
    vela::Array<DWORD> m_processIds;
};

// Whether a process of that id exists now (whether or not this user may open it).
STAGEHAND_API bool processExists(DWORD pid);

}  // namespace stagehand
