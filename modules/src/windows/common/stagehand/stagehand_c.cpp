// The C interface: each entry point checks its arguments, calls the C++ classes and turns
// every way they can fail, exceptions included, into a status and a message for the thread.
#include <stagehand/stagehand_c.h>

#include <stagehand/DesktopRecovery.h>
#include <stagehand/DisplayModeHold.h>
#include <stagehand/Genericwindows.h>
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/TestRun.h>
#include <stagehand/WindowEnumerator.h>
#include <vela/Exception.h>

#include "ThreadMessage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

using stagehand::RenderWindowManager;
using stagehand::SharedWindow;
using vela::String;

struct stagehand_window {
    stagehand_manager* manager;
    SharedWindow window;
};

struct stagehand_mode_hold {
    stagehand::DisplayModeHold hold;
};

struct stagehand_manager {
    // Declared first, destroyed last: the handles let go of their windows before the
    // manager shows the desktop again and destroys the rest.
    RenderWindowManager manager;
    std::vector<std::unique_ptr<stagehand_window>> windows;
};

namespace {

const unsigned int kMaxGridSide = 64;

// The wait for the desktop of the managers and runs made from now on.
volatile LONG s_desktopWait = static_cast<LONG>(stagehand::DesktopClearing::kDefaultDesktopWait);

const size_t kMessageSize = stagehand::ThreadMessage::kSize;

// A refused call: its status and why, thrown from inside an entry point to its guard.
struct Refusal {
    stagehand_status status;
    std::string message;
};

[[noreturn]] void refuse(stagehand_status status, const std::string& message)
{
    throw Refusal{status, message};
}

template <typename T> T* need(T* pointer, const char* what)
{
    if (!pointer)
        refuse(STAGEHAND_NULL_ARGUMENT, std::string(what) + " is null");
    return pointer;
}

// Copies the text into the thread's message from `at` on; what does not fit is cut where a
// character starts, so that the message stays valid UTF-8. Where the text ends.
size_t put(size_t at, const char* text) noexcept
{
    size_t n = std::strlen(text);
    if (n > kMessageSize - 1 - at) {
        n = kMessageSize - 1 - at;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(stagehand::ThreadMessage::text() + at, text, n);
    return at + n;
}

stagehand_status keep(const char* function, stagehand_status status, const char* message) noexcept
{
    stagehand::ThreadMessage::text()[put(put(put(0, function), ": "), message)] = '\0';
    return status;
}

// Runs the body of an entry point; no exception gets past it.
template <typename Body> stagehand_status guarded(const char* function, Body body) noexcept
{
    try {
        body();
        return STAGEHAND_OK;
    } catch (const Refusal& refusal) {
        return keep(function, refusal.status, refusal.message.c_str());
    } catch (const vela::NullPointer& e) {
        return keep(function, STAGEHAND_OUT_OF_MEMORY, e.what());
    } catch (const std::bad_alloc&) {
        return keep(function, STAGEHAND_OUT_OF_MEMORY, "out of memory");
    } catch (const vela::IndexOutOfBounds& e) {
        return keep(function, STAGEHAND_INDEX_OUT_OF_RANGE, e.what());
    } catch (const std::exception& e) {
        return keep(function, STAGEHAND_INTERNAL_ERROR, e.what());
    } catch (...) {
        return keep(function, STAGEHAND_INTERNAL_ERROR, "an unknown exception");
    }
}

// The buffer rule of every listing: the number always, the elements only when all fit.
template <typename T, typename Element>
void copyOut(T* buffer, uint32_t capacity, uint32_t* count, unsigned int size, Element element)
{
    need(count, "count");
    if (!buffer && capacity > 0)
        refuse(STAGEHAND_NULL_ARGUMENT, "the buffer is null but its capacity is not 0");
    *count = size;
    if (size > capacity)
        refuse(STAGEHAND_BUFFER_TOO_SMALL,
               "room for " + std::to_string(capacity) + " of " + std::to_string(size) + " elements");
    for (unsigned int i = 0; i < size; ++i)
        buffer[i] = element(i);
}

stagehand_window* handOut(stagehand_manager& manager, const SharedWindow& window)
{
    manager.windows.push_back(std::unique_ptr<stagehand_window>(new stagehand_window{&manager, window}));
    return manager.windows.back().get();
}

// The caller's UTF-8 text; refused when it is not valid UTF-8, which a String would turn
// into U+FFFD, so that two different texts would compare equal.
String text(const char* utf8, const char* what)
{
    String converted(need(utf8, what));
    if (converted.toUtf8() != utf8)
        refuse(STAGEHAND_BAD_TEXT, std::string(what) + " is not valid UTF-8");
    return converted;
}

// Refused here, to say why: a render window's name is also its class's, which Windows limits.
void needNameLength(size_t length, const char* what)
{
    if (length > stagehand::GenericWindows::kMaxNameLength)
        refuse(STAGEHAND_WINDOW_FAILED, std::string(what) + " makes a window name of " + std::to_string(length) +
                                            " UTF-16 units, longer than a window class name may be (" +
                                            std::to_string(stagehand::GenericWindows::kMaxNameLength) + ")");
}

[[noreturn]] void refuseAdapter(const String& adapterId)
{
    refuse(STAGEHAND_UNKNOWN_ADAPTER, "no monitor has the adapter id " + adapterId.toUtf8());
}

// A clearing call that found the desktop another program's.
void needDesktop(const stagehand::DesktopClearing::Outcome& outcome)
{
    if (!outcome.desktopHolder.empty())
        refuse(STAGEHAND_DESKTOP_BUSY, "the desktop is held by " + outcome.desktopHolder.toUtf8());
}

}  // namespace

const char* stagehand_version(void)
{
    return STAGEHAND_VERSION;
}

const char* stagehand_status_name(stagehand_status status)
{
    switch (status) {
    case STAGEHAND_OK: return "STAGEHAND_OK";
    case STAGEHAND_NULL_ARGUMENT: return "STAGEHAND_NULL_ARGUMENT";
    case STAGEHAND_BUFFER_TOO_SMALL: return "STAGEHAND_BUFFER_TOO_SMALL";
    case STAGEHAND_UNKNOWN_ADAPTER: return "STAGEHAND_UNKNOWN_ADAPTER";
    case STAGEHAND_BAD_GRID: return "STAGEHAND_BAD_GRID";
    case STAGEHAND_WINDOW_FAILED: return "STAGEHAND_WINDOW_FAILED";
    case STAGEHAND_SYSTEM_ERROR: return "STAGEHAND_SYSTEM_ERROR";
    case STAGEHAND_OUT_OF_MEMORY: return "STAGEHAND_OUT_OF_MEMORY";
    case STAGEHAND_INDEX_OUT_OF_RANGE: return "STAGEHAND_INDEX_OUT_OF_RANGE";
    case STAGEHAND_INTERNAL_ERROR: return "STAGEHAND_INTERNAL_ERROR";
    case STAGEHAND_BAD_TEXT: return "STAGEHAND_BAD_TEXT";
    case STAGEHAND_NO_SUCH_PROCESS: return "STAGEHAND_NO_SUCH_PROCESS";
    case STAGEHAND_PROGRAM_NOT_FOUND: return "STAGEHAND_PROGRAM_NOT_FOUND";
    case STAGEHAND_PROGRAM_NOT_STARTED: return "STAGEHAND_PROGRAM_NOT_STARTED";
    case STAGEHAND_DESKTOP_BUSY:
        return "STAGEHAND_DESKTOP_BUSY";
    case STAGEHAND_MODE_NOT_LISTED: return "STAGEHAND_MODE_NOT_LISTED";
    case STAGEHAND_MODE_REFUSED: return "STAGEHAND_MODE_REFUSED";
    }
    return "unknown status";
}

stagehand_status stagehand_last_error(char* buffer, uint32_t size, uint32_t* needed)
{
    // Not guarded: a failure here must not replace the message it is asked for.
    const char* message = stagehand::ThreadMessage::text();
    uint32_t length = static_cast<uint32_t>(std::strlen(message)) + 1;
    if (needed)
        *needed = length;
    if (!buffer && size > 0)
        return STAGEHAND_NULL_ARGUMENT;
    if (size < length)
        return STAGEHAND_BUFFER_TOO_SMALL;
    std::memcpy(buffer, message, length);
    return STAGEHAND_OK;
}

stagehand_status stagehand_set_desktop_wait(uint32_t milliseconds)
{
    InterlockedExchange(&s_desktopWait, static_cast<LONG>(milliseconds));
    return STAGEHAND_OK;
}

stagehand_status stagehand_monitors(stagehand_monitor* monitors, uint32_t capacity, uint32_t* count)
{
    return guarded(__func__, [&] {
        stagehand::MonitorInfoEnumerator enumerator;
        const vela::Array<stagehand::MonitorInfoEnumerator::Info>& all = enumerator.monitors();
        copyOut(monitors, capacity, count, all.size(), [&](unsigned int i) {
            const stagehand::MonitorInfoEnumerator::Info& info = all[i];
            stagehand_monitor monitor = {};
            std::string id = info.deviceName.toUtf8();
            if (id.size() >= sizeof monitor.adapter_id)
                refuse(STAGEHAND_INTERNAL_ERROR, "an adapter id longer than a device name: " + id);
            std::memcpy(monitor.adapter_id, id.c_str(), id.size() + 1);
            monitor.rect = info.monitorInfo.rcMonitor;
            monitor.work_area = info.monitorInfo.rcWork;
            monitor.primary = (info.monitorInfo.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0;
            return monitor;
        });
    });
}

stagehand_status stagehand_process_ids(uint32_t* pids, uint32_t capacity, uint32_t* count)
{
    return guarded(__func__, [&] {
        stagehand::ProcessEnumerator enumerator;
        if (!enumerator.enumerate())
            refuse(STAGEHAND_SYSTEM_ERROR, "the processes could not be listed");
        const vela::Array<DWORD>& ids = enumerator.processIds();
        copyOut(pids, capacity, count, enumerator.numPids(), [&](unsigned int i) { return static_cast<uint32_t>(ids[i]); });
    });
}

stagehand_status stagehand_process_windows(uint32_t pid, HWND* windows, uint32_t capacity, uint32_t* count)
{
    return guarded(__func__, [&] {
        if (!stagehand::processExists(pid))
            refuse(STAGEHAND_NO_SUCH_PROCESS, "no process has the pid " + std::to_string(pid));
        stagehand::WindowEnumerator enumerator;
        if (!enumerator.enumerate(pid))
            refuse(STAGEHAND_SYSTEM_ERROR, "the windows of process " + std::to_string(pid) + " could not be listed");
        const vela::Array<HWND>& handles = enumerator.windowHandles();
        copyOut(windows, capacity, count, handles.size(), [&](unsigned int i) { return handles[i]; });
    });
}

stagehand_status stagehand_manager_create(stagehand_manager** manager)
{
    return guarded(__func__, [&] {
        *need(manager, "manager") = nullptr;
        *manager = new stagehand_manager();
        (*manager)->manager.setDesktopWait(static_cast<DWORD>(s_desktopWait));
    });
}

stagehand_status stagehand_manager_destroy(stagehand_manager* manager)
{
    return guarded(__func__, [&] { delete need(manager, "manager"); });
}

stagehand_status stagehand_window_create(stagehand_manager* manager, const char* adapter_id, const char* name,
                                         const RECT* rect, uint32_t style, stagehand_window** window)
{
    return guarded(__func__, [&] {
        *need(window, "window") = nullptr;
        need(manager, "manager");
        String adapterId = text(adapter_id, "adapter_id");
        RenderWindowManager::WindowParam param;
        param.rect = *need(rect, "rect");
        param.style = style;
        param.windowName = text(name, "name");
        needNameLength(param.windowName.size(), "name");
        SharedWindow made = manager->manager.createRenderWindow(param, adapterId);
        if (!made.get())
            refuseAdapter(adapterId);
        if (!made->isInitialized())
            refuse(STAGEHAND_WINDOW_FAILED, std::string("the render window \"") + name + "\" could not be made");
        *window = handOut(*manager, made);
    });
}

stagehand_status stagehand_window_tile(stagehand_manager* manager, const char* adapter_id, const char* name_prefix,
                                       uint32_t rows, uint32_t columns, uint32_t style, stagehand_window** windows,
                                       uint32_t capacity)
{
    return guarded(__func__, [&] {
        need(manager, "manager");
        String adapterId = text(adapter_id, "adapter_id");
        String prefix = text(name_prefix, "name_prefix");
        if (rows == 0 || columns == 0 || rows > kMaxGridSide || columns > kMaxGridSide)
            refuse(STAGEHAND_BAD_GRID, "a grid of " + std::to_string(rows) + " x " + std::to_string(columns) +
                                           ": rows and columns must be 1 to " + std::to_string(kMaxGridSide));
        uint32_t size = rows * columns;
        needNameLength(prefix.size() + 1 + std::to_string(size).size(), "name_prefix");
        if (!windows && capacity > 0)
            refuse(STAGEHAND_NULL_ARGUMENT, "windows is null but its capacity is not 0");
        if (capacity < size)
            refuse(STAGEHAND_BUFFER_TOO_SMALL, "room for " + std::to_string(capacity) + " of " +
                                                   std::to_string(size) + " windows");
        std::fill(windows, windows + size, nullptr);

        vela::Array<RenderWindowManager::WindowParam> params;
        for (uint32_t i = 0; i < size; ++i) {
            RenderWindowManager::WindowParam param;
            param.style = style;
            param.windowName = String(prefix).append(" ").append(std::to_string(i + 1).c_str());
            params.append(param);
        }
        RenderWindowManager::TileParam grid = {rows, columns};
        if (!manager->manager.createTiledRenderWindow(params, adapterId, grid)) {
            if (manager->manager.lastCreation() == RenderWindowManager::NO_SUCH_ADAPTER)
                refuseAdapter(adapterId);
            refuse(STAGEHAND_WINDOW_FAILED, "not every window of the grid could be made");
        }
        const stagehand::WindowList& list = manager->manager.getWindowsByAdapterID(adapterId);
        // All handles first, so that running out of memory hands out none of them.
        std::vector<std::unique_ptr<stagehand_window>> handles;
        handles.reserve(size);
        for (uint32_t i = 0; i < size; ++i)
            handles.push_back(std::unique_ptr<stagehand_window>(new stagehand_window{manager, list[i]}));
        manager->windows.reserve(manager->windows.size() + size);
        for (uint32_t i = 0; i < size; ++i) {
            windows[i] = handles[i].get();
            manager->windows.push_back(std::move(handles[i]));
        }
    });
}

stagehand_status stagehand_window_release(stagehand_window* window)
{
    return guarded(__func__, [&] {
        std::vector<std::unique_ptr<stagehand_window>>& handles = need(window, "window")->manager->windows;
        auto held = std::find_if(handles.begin(), handles.end(),
                                 [&](const std::unique_ptr<stagehand_window>& handle) { return handle.get() == window; });
        if (held == handles.end())
            refuse(STAGEHAND_INTERNAL_ERROR, "the window is not one its manager handed out");
        handles.erase(held);
    });
}

HWND stagehand_window_hwnd(const stagehand_window* window)
{
    return window ? window->window->getHWND() : nullptr;
}

stagehand_status stagehand_window_pump(stagehand_window* window)
{
    return guarded(__func__, [&] { need(window, "window")->window->listenOnce(); });
}

stagehand_status stagehand_window_aborted(stagehand_window* window, int32_t* aborted)
{
    return guarded(__func__, [&] {
        need(window, "window");
        *need(aborted, "aborted") = window->window->isTestAborted() ? 1 : 0;
    });
}

stagehand_status stagehand_window_reset_abort(stagehand_window* window)
{
    return guarded(__func__, [&] { need(window, "window")->window->resetTestAborted(); });
}

stagehand_status stagehand_hide_all(stagehand_manager* manager)
{
    return guarded(__func__, [&] {
        RenderWindowManager& clearing = need(manager, "manager")->manager;
        clearing.hideAllTopLevelProcess();
        needDesktop(clearing.lastClearing());
    });
}

stagehand_status stagehand_hide_all_except(stagehand_manager* manager, const char* const* programs,
                                           uint32_t program_count, const HWND* windows, uint32_t window_count)
{
    return guarded(__func__, [&] {
        need(manager, "manager");
        if (program_count > 0)
            need(programs, "programs");
        if (window_count > 0)
            need(windows, "windows");
        vela::Array<String> names;
        for (uint32_t i = 0; i < program_count; ++i)
            names.append(text(programs[i], "a program name"));
        vela::Array<HWND> kept;
        for (uint32_t i = 0; i < window_count; ++i)
            kept.append(windows[i]);
        RenderWindowManager& clearing = manager->manager;
        if (program_count == 0)
            clearing.hideAllTopLevelProcessExcept(kept);
        else if (window_count == 0)
            clearing.hideAllTopLevelProcessExcept(names);
        else
            clearing.hideAllTopLevelProcessExcept(names, kept);
        needDesktop(clearing.lastClearing());
    });
}

stagehand_status stagehand_restore(stagehand_manager* manager)
{
    return guarded(__func__, [&] { need(manager, "manager")->manager.restoreAllTopLevelProcess(); });
}

stagehand_status stagehand_restore_abandoned(int32_t dry_run, int32_t force, stagehand_recovery* report)
{
    return guarded(__func__, [&] {
        stagehand::DesktopRecovery::Report done = stagehand::DesktopRecovery::restore(dry_run != 0, force != 0);
        if (report) {
            stagehand_recovery summary = {};
            summary.journals = done.journals.size();
            summary.journals_restored = done.restored;
            summary.journals_left_alone = done.leftAlone;
            summary.journals_refused = done.refused;
            summary.journals_kept = done.kept;
            summary.screen_saver_on = done.screenSaverOn ? 1 : 0;
            summary.windows_shown = done.windowsShown;
            summary.programs = done.programs;
            summary.windows_skipped = done.windowsSkipped;
            *report = summary;
        }
        if (done.folderError)
            refuse(STAGEHAND_SYSTEM_ERROR, "the journals in " + done.folder.toUtf8() + " could not be listed (error " +
                                               std::to_string(done.folderError) + ")");
    });
}

stagehand_status stagehand_run(const char* command_line, const char* const* spare, uint32_t spare_count,
                               uint32_t timeout_ms, stagehand_run_outcome* outcome)
{
    return guarded(__func__, [&] {
        String line = text(command_line, "command_line");
        if (spare_count > 0)
            need(spare, "spare");
        stagehand::TestRun::Options options;
        for (uint32_t i = 0; i < spare_count; ++i)
            options.spare.append(text(spare[i], "a spared program's name"));
        options.timeout = timeout_ms ? timeout_ms : INFINITE;
        options.desktopWait = static_cast<DWORD>(s_desktopWait);
        typedef stagehand::TestRun::Outcome Outcome;
        Outcome done = stagehand::TestRun::run(line, options);
        std::string why = std::to_string(done.error);
        switch (done.ending) {
            case Outcome::EXITED:
            case Outcome::TIMED_OUT:
                break;
            case Outcome::NOT_FOUND:
                refuse(STAGEHAND_PROGRAM_NOT_FOUND, "no program for " + line.toUtf8() + " (error " + why + ")");
            case Outcome::NOT_STARTED:
                refuse(STAGEHAND_PROGRAM_NOT_STARTED, line.toUtf8() + " could not be started (error " + why + ")");
            case Outcome::FAILED:
                refuse(STAGEHAND_SYSTEM_ERROR, "no job could be made for the program (error " + why + ")");
            case Outcome::MODE_REFUSED:  // no display mode is asked for here
                refuse(STAGEHAND_MODE_REFUSED, done.problem.toUtf8());
            case Outcome::DESKTOP_BUSY:
                needDesktop(done.hidden);
        }
        if (!outcome)
            return;
        stagehand_run_outcome summary = {};
        summary.ended_by_itself = done.ending == Outcome::EXITED ? 1 : 0;
        summary.exit_code = done.exitCode;
        summary.milliseconds = done.milliseconds;
        summary.windows_hidden = done.hidden.windows;
        summary.programs_hidden = done.hidden.programs;
        summary.windows_unresponsive = done.hidden.unresponsive.size() + done.shown.unresponsive.size();
        *outcome = summary;
    });
}

// ---- Display modes

namespace {

stagehand_status holdStatus(stagehand::DisplayModeHold::Status status)
{
    switch (status) {
    case stagehand::DisplayModeHold::UNKNOWN_ADAPTER: return STAGEHAND_UNKNOWN_ADAPTER;
    case stagehand::DisplayModeHold::NOT_LISTED: return STAGEHAND_MODE_NOT_LISTED;
    case stagehand::DisplayModeHold::REFUSED: return STAGEHAND_MODE_REFUSED;
    case stagehand::DisplayModeHold::UNREADABLE: return STAGEHAND_SYSTEM_ERROR;
    default: return STAGEHAND_INTERNAL_ERROR;
    }
}

}  // namespace

stagehand_status stagehand_display_modes(const char* adapter_id, stagehand_display_mode* modes, uint32_t capacity,
                                         uint32_t* count)
{
    return guarded(__func__, [&] {
        String adapterId = text(adapter_id, "adapter_id");
        need(count, "count");
        stagehand::DisplayModeEnumerator listed;
        stagehand::DisplayModeEnumerator::Result result = listed.enumerate(adapterId);
        if (result == stagehand::DisplayModeEnumerator::UNKNOWN_ADAPTER)
            refuseAdapter(adapterId);
        if (result == stagehand::DisplayModeEnumerator::UNREADABLE)
            refuse(STAGEHAND_SYSTEM_ERROR, "the display modes of " + adapterId.toUtf8() + " cannot be read");
        const vela::Array<stagehand::DisplayMode>& all = listed.modes();
        copyOut(modes, capacity, count, all.size(), [&](unsigned int i) {
            return stagehand_display_mode{all[i].width, all[i].height, all[i].refresh, all[i].bitsPerPixel};
        });
    });
}

stagehand_status stagehand_display_mode_hold(const char* adapter_id, const stagehand_display_mode* mode,
                                             stagehand_mode_hold** hold)
{
    return guarded(__func__, [&] {
        *need(hold, "hold") = nullptr;
        String adapterId = text(adapter_id, "adapter_id");
        need(mode, "mode");
        std::unique_ptr<stagehand_mode_hold> made(new stagehand_mode_hold());
        stagehand::DisplayMode asked = {mode->width, mode->height, mode->refresh, mode->bits_per_pixel};
        stagehand::DisplayModeHold::Status status = made->hold.take(adapterId, asked);
        if (status != stagehand::DisplayModeHold::HELD)
            refuse(holdStatus(status), made->hold.problem().toUtf8());
        *hold = made.release();
    });
}

stagehand_status stagehand_display_mode_release(stagehand_mode_hold* hold)
{
    return guarded(__func__, [&] {
        std::unique_ptr<stagehand_mode_hold> held(need(hold, "hold"));
        if (!held->hold.release())
            refuse(STAGEHAND_MODE_REFUSED, "the display mode of " + held->hold.adapterId().toUtf8() +
                                               " could not be given back: stagehand_restore_abandoned will, once "
                                               "this program has ended");
    });
}
