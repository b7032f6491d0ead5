/* The C interface of stagehand.dll, for any Windows compiler and any language with a C
 * foreign-function interface. It compiles as C99 and as C++; its functions are exported by
 * these names, undecorated, and listed in stagehand.def for making an import library.
 *
 * Conventions of every function:
 * - It returns a stagehand_status, or says which value stands for failure.
 * - No exception leaves it. On failure the calling thread keeps a message of at most 1023
 *   bytes, which stagehand_last_error copies out; a successful call leaves it as it was.
 * - Text is UTF-8 and zero-terminated; text that is not valid UTF-8 is refused with
 *   STAGEHAND_BAD_TEXT.
 * - A call that lists things takes a caller's buffer and its capacity in elements, always
 *   stores the number it has in *count, and fills the buffer only when all of them fit;
 *   otherwise it returns STAGEHAND_BUFFER_TOO_SMALL and leaves the buffer untouched. A
 *   null buffer goes with a capacity of 0, to ask for the number.
 * - Nothing is thread-safe. Windows belong to the thread that creates them, which must
 *   pump them with stagehand_window_pump (typically once per frame).
 * - Handles and pointers are valid only as each function states; passing a handle that
 *   was destroyed or released is undefined, as with free(). Null is always refused. */
#ifndef STAGEHAND_C_H
#define STAGEHAND_C_H

#include <stdint.h>
#include <windows.h>

#if defined(STAGEHAND_BUILDING_DLL)
#define STAGEHAND_C_API __declspec(dllexport)
#else
#define STAGEHAND_C_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum stagehand_status {
    STAGEHAND_OK = 0,
    STAGEHAND_NULL_ARGUMENT = 1,        /* a required pointer or handle is null */
    STAGEHAND_BUFFER_TOO_SMALL = 2,     /* *count or *needed tells the size needed */
    STAGEHAND_UNKNOWN_ADAPTER = 3,      /* no monitor has that adapter id */
    STAGEHAND_BAD_GRID = 4,             /* rows or columns outside 1..64 */
    STAGEHAND_WINDOW_FAILED = 5,        /* a render window could not be made (see the log) */
    STAGEHAND_SYSTEM_ERROR = 6,         /* a Windows call failed (the log has its error code) */
    STAGEHAND_OUT_OF_MEMORY = 7,        /* storage could not be had */
    STAGEHAND_INDEX_OUT_OF_RANGE = 8,   /* an index past the end of the library's storage */
    STAGEHAND_INTERNAL_ERROR = 9,       /* any other failure inside the library */
    STAGEHAND_BAD_TEXT = 10,            /* a text is not valid UTF-8 */
    STAGEHAND_NO_SUCH_PROCESS = 11,     /* no process has that id */
    STAGEHAND_PROGRAM_NOT_FOUND = 12,   /* stagehand_run: no such program */
    STAGEHAND_PROGRAM_NOT_STARTED = 13, /* stagehand_run: found, but it could not be started */
    STAGEHAND_DESKTOP_BUSY = 14,        /* another program held the desktop all the time it was
                                           waited for (the message names it): nothing changed */
    STAGEHAND_MODE_NOT_LISTED = 15,     /* the adapter does not list that display mode */
    STAGEHAND_MODE_REFUSED = 16         /* the system refused a display mode change */
} stagehand_status;

/* A RenderWindowManager: render windows grouped by adapter, and desktop clearing. */
typedef struct stagehand_manager stagehand_manager;
/* A render window handed out by a manager. */
typedef struct stagehand_window stagehand_window;

/* Room for any adapter id: a device name has at most 32 UTF-16 units. */
#define STAGEHAND_ADAPTER_ID_SIZE 128

typedef struct stagehand_monitor {
    char adapter_id[STAGEHAND_ADAPTER_ID_SIZE]; /* "\\.\DISPLAY1", zero-terminated */
    RECT rect;                                  /* virtual-screen coordinates */
    RECT work_area;                             /* the rectangle without the taskbar */
    int32_t primary;                            /* 1 for the primary monitor, else 0 */
} stagehand_monitor;

/* What stagehand_restore_abandoned did, or in a dry run would do. */
typedef struct stagehand_recovery {
    uint32_t journals;            /* journals found */
    uint32_t journals_restored;   /* their writers had ended (or force): shown again, removed */
    uint32_t journals_left_alone; /* their writers are running */
    uint32_t journals_refused;    /* damaged: kept as NAME.damaged */
    uint32_t windows_shown;
    uint32_t programs;            /* the programs whose windows were shown */
    uint32_t windows_skipped;     /* gone, or now another program's */
    uint32_t journals_kept;       /* given back in part and kept: some owners could not be examined */
    int32_t screen_saver_on;      /* 1 when the screen saver was switched back on */
} stagehand_recovery;

/* ---- The library */

/* The library's version, "MAJOR.MINOR.PATCH"; static text, never null, not to be freed. */
STAGEHAND_C_API const char* stagehand_version(void);
/* The name of a status ("STAGEHAND_OK", ...); static text, never null ("unknown status"). */
STAGEHAND_C_API const char* stagehand_status_name(stagehand_status status);
/* Copies the message of this thread's last failed call (empty before any) into buffer,
 * whose size is in bytes, and stores the size it needs, the terminating zero included, in
 * *needed (when needed is not null). Changes no message. */
STAGEHAND_C_API stagehand_status stagehand_last_error(char* buffer, uint32_t size, uint32_t* needed);

/* How long desktop clearing (stagehand_hide_all, stagehand_hide_all_except, stagehand_run)
 * waits, in milliseconds, while another program holds the desktop: one test clears the
 * desktop at a time, and the clearings of one process share it. Applies to the managers made
 * after the call, and to later runs. 600000 (ten minutes) unless set; 0 does not wait. When
 * the time runs out, the call fails with STAGEHAND_DESKTOP_BUSY and changes nothing. */
STAGEHAND_C_API stagehand_status stagehand_set_desktop_wait(uint32_t milliseconds);

/* ---- Listings: snapshots taken by each call, copied into the caller's storage */

/* The monitors of the desktop. */
STAGEHAND_C_API stagehand_status stagehand_monitors(stagehand_monitor* monitors, uint32_t capacity,
                                                    uint32_t* count);
/* The ids of all processes; they come and go, so leave room for more between two calls. */
STAGEHAND_C_API stagehand_status stagehand_process_ids(uint32_t* pids, uint32_t capacity, uint32_t* count);
/* The visible top-level windows of a process, topmost first; STAGEHAND_NO_SUCH_PROCESS
 * when no process has that id. */
STAGEHAND_C_API stagehand_status stagehand_process_windows(uint32_t pid, HWND* windows, uint32_t capacity,
                                                           uint32_t* count);

/* ---- The manager */

/* Makes a manager, which enumerates the monitors once, into *manager (null on failure).
 * The caller destroys it with stagehand_manager_destroy. */
STAGEHAND_C_API stagehand_status stagehand_manager_create(stagehand_manager** manager);
/* Shows again every window the manager hid and gives the foreground back, releases every
 * window it handed out (their stagehand_window handles end here) and destroys the render
 * windows nobody else holds, then frees the manager. */
STAGEHAND_C_API stagehand_status stagehand_manager_destroy(stagehand_manager* manager);

/* ---- Render windows: always on top, each of a window class named after it. A name that
 * a live render window of this process has, or one longer than 255 UTF-16 units, fails
 * with STAGEHAND_WINDOW_FAILED. */

/* One window of that name and style (WS_POPUP | WS_VISIBLE, say), placed on rect (virtual-
 * screen coordinates) and kept in the list of adapter_id, into *window (null on failure).
 * The handle stays valid until stagehand_window_release or stagehand_manager_destroy. */
STAGEHAND_C_API stagehand_status stagehand_window_create(stagehand_manager* manager, const char* adapter_id,
                                                         const char* name, const RECT* rect, uint32_t style,
                                                         stagehand_window** window);
/* Replaces the adapter's list by rows x columns windows named "NAME_PREFIX 1", "NAME_PREFIX
 * 2", ... tiled over the monitor's work area column by column, top to bottom, and stores
 * their handles in that order in windows[0 .. rows x columns - 1]: nulls when the windows
 * could not be made, untouched when the grid or the buffer is refused. Each handle stays
 * valid until stagehand_window_release or stagehand_manager_destroy. When not every window
 * could be made, the function fails and the adapter's list keeps those that could, for the
 * manager alone. */
STAGEHAND_C_API stagehand_status stagehand_window_tile(stagehand_manager* manager, const char* adapter_id,
                                                       const char* name_prefix, uint32_t rows, uint32_t columns,
                                                       uint32_t style, stagehand_window** windows,
                                                       uint32_t capacity);
/* Gives the handle back; the window itself goes when neither the adapter's list nor
 * another handle holds it. */
STAGEHAND_C_API stagehand_status stagehand_window_release(stagehand_window* window);
/* The window's HWND, for rendering into; null for a null handle or a window that was closed. */
STAGEHAND_C_API HWND stagehand_window_hwnd(const stagehand_window* window);
/* Handles at most one pending message of the window; returns at once when there is none. */
STAGEHAND_C_API stagehand_status stagehand_window_pump(stagehand_window* window);
/* Whether Escape or Alt+F4 reached the window since it was made or last reset: 1 or 0. */
STAGEHAND_C_API stagehand_status stagehand_window_aborted(stagehand_window* window, int32_t* aborted);
STAGEHAND_C_API stagehand_status stagehand_window_reset_abort(stagehand_window* window);

/* ---- Desktop clearing. The first clearing call takes the desktop, waiting while another
 * program holds it (stagehand_set_desktop_wait), and stagehand_restore lets it go. The
 * manager's table of the desktop's programs (those showing a visible top-level window, this
 * one included) is taken by its first clearing call, and hiding acts on that table alone:
 * windows opened later are never touched. That first call also remembers the foreground
 * window and the stacking order. Spare this program by its executable's name, or its
 * render windows by their handles. No call waits on another program: one that has stopped
 * responding is logged ("413") and its windows hide, or show, once it responds again; a
 * call returns within about half a second whatever the other programs do. */

/* Hides every window of the table. */
STAGEHAND_C_API stagehand_status stagehand_hide_all(stagehand_manager* manager);
/* Hides every window of the table but those of the named programs (executable names such
 * as "my_test.exe", compared without regard to case) and the given windows. programs may
 * be null when program_count is 0, windows when window_count is 0. */
STAGEHAND_C_API stagehand_status stagehand_hide_all_except(stagehand_manager* manager, const char* const* programs,
                                                           uint32_t program_count, const HWND* windows,
                                                           uint32_t window_count);
/* Shows every window of the table again, without activating it and in its place in the Z
 * order, gives the foreground back and lets the desktop go. */
STAGEHAND_C_API stagehand_status stagehand_restore(stagehand_manager* manager);

/* Gives back what test programs that died left changed: shows the windows recorded in the
 * journals of managers whose processes have ended (force: also of running ones) that still
 * belong to their recorded programs, and switches the screen saver back on that a render
 * window of theirs switched off, unless a running program still holds it; then removes
 * those journals. dry_run changes nothing and reports what would be done. report may be
 * null; it is filled in also when the journals' folder cannot be listed, which returns
 * STAGEHAND_SYSTEM_ERROR. */
STAGEHAND_C_API stagehand_status stagehand_restore_abandoned(int32_t dry_run, int32_t force,
                                                             stagehand_recovery* report);

/* ---- Running a test program on a prepared desktop */

/* What stagehand_run did. */
typedef struct stagehand_run_outcome {
    int32_t ended_by_itself;       /* 1: the program ended; 0: the time was up, and it was ended */
    uint32_t exit_code;            /* its exit code (a crash's NTSTATUS too) */
    uint64_t milliseconds;         /* from its start to its end */
    uint32_t windows_hidden;       /* the other programs' windows it asked to hide meanwhile */
    uint32_t programs_hidden;      /* the programs they belong to */
    uint32_t windows_unresponsive; /* of those, the ones whose programs did not respond in time */
} stagehand_run_outcome;

/* Runs command_line (a program and its arguments, quoted as CreateProcessW takes them) on a
 * prepared desktop and waits for it: the other programs' windows hidden, but for the spared
 * programs (executable names; may be null when spare_count is 0), the screen saver off and
 * the display on. The program runs in a job that ends its whole process tree when this
 * process ends, with no crash dialog. timeout_ms ends it after that many milliseconds (0: no
 * limit). It inherits its standard handles and no other handle of this process. Whatever
 * happens to it, the desktop is given back before the call returns.
 * STAGEHAND_PROGRAM_NOT_FOUND or STAGEHAND_PROGRAM_NOT_STARTED when it could not run, and
 * STAGEHAND_DESKTOP_BUSY when another program held the desktop; then nothing changed.
 * outcome may be null. */
STAGEHAND_C_API stagehand_status stagehand_run(const char* command_line, const char* const* spare,
                                               uint32_t spare_count, uint32_t timeout_ms,
                                               stagehand_run_outcome* outcome);

/* ---- Display modes */

/* A display mode. Asking for one, a refresh rate or a depth of 0 asks for any: the current
 * mode's when the adapter lists it at that size, else the highest. */
typedef struct stagehand_display_mode {
    uint32_t width;          /* pixels */
    uint32_t height;         /* pixels */
    uint32_t refresh;        /* Hz */
    uint32_t bits_per_pixel; /* colour depth */
} stagehand_display_mode;

/* A display mode held on one adapter until it is released. */
typedef struct stagehand_mode_hold stagehand_mode_hold;

/* The display modes that the adapter lists, each once, sorted by width, height, refresh rate
 * and depth. STAGEHAND_UNKNOWN_ADAPTER when no monitor has that adapter id. */
STAGEHAND_C_API stagehand_status stagehand_display_modes(const char* adapter_id, stagehand_display_mode* modes,
                                                         uint32_t capacity, uint32_t* count);
/* Sets the listed mode that *mode asks for on the adapter, temporarily (never written to the
 * registry), until stagehand_display_mode_release; the other adapters keep their modes. The
 * holds of one adapter nest: it shows the mode of the latest hold alive, and the last one
 * released gives back the mode the first one found. *hold is null on failure, and then
 * nothing changed: STAGEHAND_UNKNOWN_ADAPTER; STAGEHAND_MODE_NOT_LISTED, whose message names
 * the nearest listed modes; STAGEHAND_MODE_REFUSED, whose message names the system's
 * DISP_CHANGE_ code. Should this process die while it holds the mode,
 * stagehand_restore_abandoned gives the mode back. */
STAGEHAND_C_API stagehand_status stagehand_display_mode_hold(const char* adapter_id,
                                                             const stagehand_display_mode* mode,
                                                             stagehand_mode_hold** hold);
/* Ends the hold and frees it. STAGEHAND_MODE_REFUSED when the mode could not be set back:
 * stagehand_restore_abandoned sets it once this process has ended. */
STAGEHAND_C_API stagehand_status stagehand_display_mode_release(stagehand_mode_hold* hold);

#ifdef __cplusplus
}
#endif

#endif
