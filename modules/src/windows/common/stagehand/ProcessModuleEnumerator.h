#pragma once

#include <stagehand/Export.h>
#include <vela/Array.h>
#include <vela/FileHandleResManager.h>
#include <vela/SharedResource.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// A process handle shared by counting; the last holder closes it.
typedef vela::SharedResource<vela::DescriptorStorage<HANDLE, -1, vela::FileHandleResManager>, 0> ProcessHandle;

// Opens one process by id and lists its modules with their base names, the executable's
// first. The process handle is shared with copies and with processHandle().
class STAGEHAND_API ProcessModuleEnumerator {
public:
    // Holds a NULL handle of its own and no modules.
    ProcessModuleEnumerator();
    ProcessModuleEnumerator(const ProcessModuleEnumerator& other);
    ProcessModuleEnumerator& operator=(const ProcessModuleEnumerator& other);
    ~ProcessModuleEnumerator();

    // Lets go of the current handle and opens the process for query and reading (again
    // with the limited query right when that is denied). False, logged with the error
    // code, when the process cannot be opened; the lists then keep what they held.
    // Otherwise lists the modules, with a buffer of 1024 doubled while the system fills
    // it, and reads their names, and returns true: a failed listing is logged ("67 ...")
    // and leaves both lists empty; a name that cannot be read is logged and left out.
    bool enumerate(DWORD pid);

    // The modules the system listed, in its order: exactly numModules() of them.
    const vela::Array<HINSTANCE>& modules() const;
    // The names that could be read, in the same order.
    const vela::Array<vela::String>& moduleNames() const;
    unsigned int numModules() const;

    // One more holder of the process handle (NULL when the last open failed).
    ProcessHandle processHandle() const;

private:
    ProcessHandle m_processHandle;
    vela::Array<HINSTANCE> m_modules;
    vela::Array<vela::String> m_moduleNames;
};

// The base name of the process's executable ("notepad.exe"), as desktop clearing matches
// programs by name; empty when the process cannot be opened or read.
STAGEHAND_API vela::String executableName(DWORD pid);

}  // namespace stagehand
