#pragma once

#include <stagehand/DesktopClearing.h>
#include <stagehand/Export.h>
#include <stagehand/Genericwindows.h>
#include <stagehand/MonitorInfoEnumerator.h>
#include <vela/Array.h>
#include <vela/SharedResource.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// A render window shared by counting: the last holder destroys it.
typedef vela::SharedResource<vela::PointerStorage<GenericWindows, 0, 3>, 0> SharedWindow;
// Shared render windows in the order they were added.
typedef vela::Array<SharedWindow> WindowList;
// A window list shared by counting.
typedef vela::SharedResource<vela::PointerStorage<WindowList, 0, 3>, 0> SharedWindowList;

// Creates render windows on the monitor of a chosen adapter id (a monitor's device name,
// compared without regard to letter case) and keeps them grouped by adapter; clears the
// desktop of other programs' windows while a test draws, and shows them again, through a
// DesktopClearing of its own (which says how).
//
// The monitors are enumerated by the constructor, and again by the forms that place windows
// by the monitor (at its corner, or tiled), which so see a display mode changed since; windows
// made before a change keep their rectangle. Destroying the manager shows every
// recorded window again and gives the foreground back (unless another program holds the
// desktop by then), then releases the render windows that nobody else holds.
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

    // What the last creating call made of its request, beyond its result.
    enum Creation {
        CREATED,          // every window it was asked for
        NO_SUCH_ADAPTER,  // no monitor has the adapter id: nothing was made
        NO_PARAMETERS,    // an empty parameter array: nothing was made
        GRID_MISMATCH,    // the parameters do not fill the grid: nothing changed
        NOT_ALL_CREATED   // some windows could not be initialized (logged)
    };

    // The render windows of one adapter.
    struct WindowGroupedByAdapterID {
        // As the call that created the group spelled it.
        vela::String adapterID;
        SharedWindowList windows;
    };

    RenderWindowManager();
    // Copies share the window lists of the groups that exist at the time of the copy, and
    // copy the clearing's table; a copy starts a journal of its own.
    RenderWindowManager(const RenderWindowManager& other);
    // Replaces everything, the clearing's table included, without showing any window; the
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

    // Desktop clearing. Each form builds the table if it is empty and saves the foreground
    // window unless an earlier one did since the last restore.

    // Hides the recorded windows of the first recorded program of that name.
    void minimizeTopLevelProcess(const vela::String& name);
    // Hides every recorded window.
    void hideAllTopLevelProcess();
    // Hides every recorded window but these.
    void hideAllTopLevelProcessExcept(const vela::Array<HWND>& keepWindows);
    // Hides the recorded windows of every program but the first recorded one of each name.
    void hideAllTopLevelProcessExcept(const vela::Array<vela::String>& keepProcesses);
    // Both: spares the named programs, and these windows of the others.
    void hideAllTopLevelProcessExcept(const vela::Array<vela::String>& keepProcesses,
                                      const vela::Array<HWND>& keepWindows);
    // Shows every recorded window and gives the foreground back to the saved window.
    void restoreAllTopLevelProcess();

    // How long desktop clearing waits for another program to let go of the desktop, in
    // milliseconds (DesktopClearing::kDefaultDesktopWait unless set).
    void setDesktopWait(DWORD milliseconds);
    // What the last creating call did, and what the last clearing call did (its windows,
    // those that did not respond, and whether another program held the desktop).
    Creation lastCreation() const;
    const DesktopClearing::Outcome& lastClearing() const;

private:
    static const unsigned int kNotFound = 0xFFFFFFFF;

    // Builds the table of the desktop's programs when it is empty (through the clearing,
    // which takes the desktop first).
    void initialize();
    // The index of the first recorded program of that name, or 0xFFFFFFFF (logged).
    unsigned int findTopLevelProcess(const vela::String& name);
    // A window for the parameter on the monitor, made hidden, in the list when it could be
    // initialized; it is shown where the calling form places it.
    SharedWindow addNewWindow(const WindowParam& param, const MonitorInfoEnumerator::Info& monitor,
                              WindowList& windowList);
    // Places and shows one window in one move; the move's failure is logged ("261").
    static void show(const SharedWindow& window, int x, int y, int width, int height, UINT flags);
    // The adapter's group: the first whose id matches, or a new, empty one.
    SharedWindowList adapterGroup(const vela::String& adapterId);
    // The list of the adapter's group, or an empty holder.
    SharedWindowList findAdapterGroup(const vela::String& adapterId) const;
    SharedWindowList newAdapterGroup(const vela::String& adapterId);
    // Creates a hidden window for each parameter on the adapter's monitor, which it reads into
    // `monitor`, into `windows`, which it makes the adapter's new group when empty, and into
    // `added` those that could be initialized. False, and nothing created, when there is no
    // parameter or no such adapter.
    bool addNewWindows(const vela::Array<WindowParam>& creationParam, const vela::String& adapterId,
                       SharedWindowList& windows, MonitorInfoEnumerator::Info& monitor, WindowList& added);

    // Applies the show command to the recorded windows of the first program of that name.
    void setTopLevelProcessShowState(const vela::String& name, unsigned int showCmd);

    vela::Array<WindowGroupedByAdapterID> m_windowGroups;
    MonitorInfoEnumerator m_monitorEnumerator;
    Creation m_lastCreation;
    DesktopClearing::Outcome m_lastClearing;
    // Last, so that it goes first, after the destructor's own restore.
    DesktopClearing m_clearing;
};

}  // namespace stagehand
