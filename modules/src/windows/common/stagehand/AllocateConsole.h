#pragma once

#include <stagehand/Export.h>

#include <windows.h>

namespace stagehand {

// Makes sure that the process has a console window, shows it and gives it the focus.
// The object that had to create the console frees it again when it is destroyed; an
// object that found a console already there leaves it alone.
//
// Copies and assignments share the console window but not its ownership: the console is
// freed once, by the object that allocated it.
class STAGEHAND_API AllocateConsole {
public:
    AllocateConsole();
    AllocateConsole(const AllocateConsole& other);
    AllocateConsole& operator=(const AllocateConsole& other);
    ~AllocateConsole();

    // The console window, or null when the process has none.
    HWND consoleHandle();

    // Whether this object created the console and will free it.
    bool ownsConsole() const { return m_allocated != FALSE; }

private:
    BOOL m_allocated;
    HWND m_consoleHandle;
};

}  // namespace stagehand
