#pragma once

#include <stagehand/Export.h>
#include <stagehand/Genericwindows.h>
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/WindowEnumerator.h>
#include <vela/Array.h>
#include <vela/SharedResource.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

class ClearingJournal;

// A render window shared by counting: the last holder destroys it.
typedef vela::SharedResource<vela::PointerStorage<GenericWindows, 0, 3>, 0> SharedWindow;
// Shared render windows in the order they were added.
typedef vela::Array<SharedWindow> WindowList;
// A window list shared by counting.
typedef vela::SharedResource<vela::PointerStorage<WindowList, 0, 3>, 0> SharedWindowList;

// Creates render windows on the monitor of a chosen adapter id (a monitor's device name,
// compared without regard to letter case) and keeps them grouped by adapter; clears the
// desktop of other programs' windows while a test draws, and shows them again.
//
// The monitors are enumerated once, by the constructor. The table of the desktop's
// top-level processes (every process but the first of the system's list that can be
// opened and shows a visible top-level window, this one included) is built by the first
// lookup of a program by name and not rebuilt while it holds anything. Destroying the
// manager shows every recorded window again and gives the foreground back, then
// releases the render windows that nobody else holds.
//
// Before it hides windows, a manager records them in a journal file of its own, removed
// when it shows them again: should the process die first, DesktopRecovery (`stagehand
// restore`) shows them again.
//
// All of it runs on the caller's thread, which owns the render windows and must pump
// them (GenericWindows::listenOnce).
class STAGEHAND_API RenderWindowManager {
public:
    // What one render window should be.
    struct STAGEHAND_API WindowParam {
        // The final place and size of a window made by the single-window
        // createRenderWindow, in SetWindowPos coordinates (virtual-screen coordinates for
        // a window without parent), used as they are.
        RECT rect;
        // Window style for CreateWindowExW; the manager adds none of its own.
        DWORD style;
        // The class name and title; render windows need distinct names, since each
        // registers a class of its own.
        vela::String windowName;
        HWND parent;

        // An empty name, a zero rectangle, style 0 and no parent.
        WindowParam();
        WindowParam(const WindowParam& other);
        WindowParam& operator=(const WindowParam& other);
        ~WindowParam();
    };

    // The grid of a tiled request.
    struct STAGEHAND_API TileParam {
        unsigned int rows;
        unsigned int columns;

        // An aggregate: TileParam grid = {rows, columns}; default construction leaves both
        // fields without a value. Defaulted here, the assignment is not user-provided, so
        // the implicit copy constructor stays undeprecated.
        TileParam& operator=(const TileParam& other) = default;
    };

    // The render windows of one adapter.
    struct WindowGroupedByAdapterID {
        // As the call that created the group spelled it.
        vela::String adapterID;
        SharedWindowList windows;
    };

    RenderWindowManager();
    // Copies share the window lists of the groups that exist at the time of the copy; a
    // copy starts a journal of its own.
    RenderWindowManager(const RenderWindowManager& other);
    // Replaces everything, the process table included, without showing any window; the
    // journal of what this manager hid stays, for DesktopRecovery.
    RenderWindowManager& operator=(const RenderWindowManager& other);
    ~RenderWindowManager();

    // Whether the process table holds anything.
    bool isValid() const;

    // The render windows of the adapter, or an empty list. Valid while the group lives.
    const WindowList& getWindowsByAdapterID(const vela::String& adapterId) const;

    // One window, placed on param.rect and shown; shared between the caller and the
    // adapter's list. Empty when no monitor has that adapter id; holds a window without
    // a handle (isInitialized() false, not in the list) when it could not be initialized.
    SharedWindow createRenderWindow(const WindowParam& param, const vela::String& adapterId);
    // One window per entry, each left at the monitor's top-left corner, the last on top,
    // and held by the adapter's list alone. False for an empty array or an unknown
    // adapter id; windows that cannot be initialized are logged and skipped.
    bool createRenderWindow(const vela::Array<WindowParam>& creationParam, const vela::String& adapterId);
    // Replaces the adapter's windows by one window per entry, laid out column by column
    // over the monitor's work area (rows x columns tiles, top to bottom, then left to
    // right). params must have exactly rows x columns entries.
    bool createTiledRenderWindow(const vela::Array<WindowParam>& params, const vela::String& adapterId,
                                 const TileParam& tile);

    // Hides the recorded windows of the first recorded program of that name.
    void minimizeTopLevelProcess(const vela::String& name);
    // Hides every recorded window; remembers the foreground window.
    void hideAllTopLevelProcess();
    // Hides every recorded window but these; remembers the foreground window.
    void hideAllTopLevelProcessExcept(const vela::Array<HWND>& keepWindows);
    // Hides the recorded windows of every program but the first recorded one of each name.
    void hideAllTopLevelProcessExcept(const vela::Array<vela::String>& keepProcesses);
    // Both: spares the named programs, and these windows of the others.
    void hideAllTopLevelProcessExcept(const vela::Array<vela::String>& keepProcesses,
                                      const vela::Array<HWND>& keepWindows);
    // Shows every recorded window and gives the foreground back to the remembered window.
    void restoreAllTopLevelProcess();

private:
    static const unsigned int kNotFound = 0xFFFFFFFF;

    void initialize();
    SharedWindow addNewWindow(const WindowParam& param, const MonitorInfoEnumerator::Info& monitor,
                              WindowList& windowList);
    // The adapter's group: the first whose id matches, or a new, empty one.
    SharedWindowList adapterGroup(const vela::String& adapterId);
    // The list of the adapter's group, or an empty holder.
    SharedWindowList findAdapterGroup(const vela::String& adapterId) const;
    SharedWindowList newAdapterGroup(const vela::String& adapterId);
    // Creates a window for each parameter on the adapter's monitor, which it reads into
    // `monitor`, into `windows`, which it makes the adapter's new group when empty.
    // False, and nothing created, when there is no parameter or no such adapter.
    bool addNewWindows(const vela::Array<WindowParam>& creationParam, const vela::String& adapterId,
                       SharedWindowList& windows, MonitorInfoEnumerator::Info& monitor);

    // A program of the desktop-clearing table: a process that showed a top-level window when
    // the table was built, held open so that its pid is not reused while it is recorded, its
    // executable's name, and its shown windows in EnumWindows order.
    struct RecordedProgram {
        DWORD pid;
        unsigned long long created;  // the process's creation time, for the journal
        ProcessHandle process;
        vela::String executable;
        vela::Array<HWND> windows;
    };

    unsigned int findTopLevelProcess(const vela::String& name);
    vela::Array<unsigned int> keptProcesses(const vela::Array<vela::String>& names);
    // The recorded windows still owned by their process, in the table's order: of the
    // program `only` (kNotFound for all), but those of the kept processes (by index) and
    // the kept windows. A closed window's handle may since name another program's window.
    struct OwnedWindow {
        HWND window;
        unsigned int program;  // its index in the table
    };
    vela::Array<OwnedWindow> ownedWindows(unsigned int only, const vela::Array<unsigned int>& keptProcesses,
                                          const vela::Array<HWND>& keptWindows) const;
    // Records the windows in the journal, then hides them.
    void hide(const vela::Array<OwnedWindow>& windows);

    HWND m_foregroundWindow;
    vela::Array<RecordedProgram> m_programs;
    vela::Array<WindowGroupedByAdapterID> m_windowGroups;
    MonitorInfoEnumerator m_monitorEnumerator;
    ClearingJournal* m_journal;  // owned; each manager has its own
};

}  // namespace stagehand
