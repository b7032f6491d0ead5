/* The road of a test in C through stagehand_c.h alone (c_road.h), a test program run, and
 * every bad input with its code. Prints "c road: ok". Built by a C compiler for mingw-w64 and
 * by clang in MSVC mode; the sweep walks the same road. */
#include "c_road.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static void see(c_road_report* r, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    if (r->count < sizeof r->seen / sizeof r->seen[0])
        vsprintf(r->seen[r->count++], format, arguments);
    va_end(arguments);
}

static int ok(c_road_report* r, stagehand_status status)
{
    r->reported += status == STAGEHAND_OK ? 0 : 1;
    return status == STAGEHAND_OK;
}

static const char* yes(int value)
{
    return value ? "yes" : "no";
}

/* The journal of a test program killed while it held the window hidden. */
static void abandon(HWND window, uint32_t pid)
{
    wchar_t path[MAX_PATH];
    char text[192];
    FILETIME created = {0, 0}, times[3];
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid), file;
    DWORD written = 0;
    GetProcessTimes(process, &created, times, times + 1, times + 2);
    CloseHandle(process);
    ShowWindow(window, SW_HIDE);
    sprintf(text, "stagehand desktop journal 1\nwriter 4294967280 1\nforeground 0 0 0\nwindow %llu %u %llu\nend 1\n",
            (unsigned long long)(ULONG_PTR)window, (unsigned)pid,
            ((unsigned long long)created.dwHighDateTime << 32) | created.dwLowDateTime);
    GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH - 64);
    lstrcatW(path, L"\\stagehand");
    CreateDirectoryW(path, NULL);
    file = CreateFileW(lstrcatW(path, L"\\stagehand-journal-4294967280-1-1.txt"), GENERIC_WRITE, 0, NULL,
                       CREATE_ALWAYS, 0, NULL);
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(file);
}

/* The adapter's current mode, as "1024x768". */
static const char* mode_of(const char* adapter, char* text)
{
    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    EnumDisplaySettingsA(adapter, ENUM_CURRENT_SETTINGS, &mode);
    sprintf(text, "%lux%lu", (unsigned long)mode.dmPelsWidth, (unsigned long)mode.dmPelsHeight);
    return text;
}

const char* const c_road_modes_expected[C_ROAD_MODES_SEEN] = {"modes sorted yes, 1024x768 yes", "held 1024x768",
                                                               "given back 1280x1024"};

void c_road_walk_modes(const char* adapter, c_road_report* r)
{
    stagehand_display_mode modes[64], wanted = {1024, 768, 0, 0};
    stagehand_mode_hold* hold = NULL;
    uint32_t count = 0, i, sorted = 1, listed = 0;
    char text[32];
    ok(r, stagehand_display_modes(adapter, modes, 64, &count));
    for (i = 0; i < count && i < 64; ++i) {
        listed |= modes[i].width == 1024 && modes[i].height == 768;
        sorted &= i == 0 || modes[i - 1].width < modes[i].width ||
                  (modes[i - 1].width == modes[i].width && modes[i - 1].height <= modes[i].height);
    }
    see(r, "modes sorted %s, 1024x768 %s", yes(sorted), yes(listed));
    ok(r, stagehand_display_mode_hold(adapter, &wanted, &hold));
    see(r, "held %s", mode_of(adapter, text));
    if (hold)
        ok(r, stagehand_display_mode_release(hold));
    see(r, "given back %s", mode_of(adapter, text));
}

const char* const c_road_expected[C_ROAD_SEEN] = {
    "monitors 2, the helper yes", "its windows 2", "window 10,10,330,250 shown", "window 1930,10,2250,250 shown",
    "window 0,0,960,1080 shown", "window 960,0,1920,1080 shown", "aborted yes", "cleared yes, spared yes",
    "restored yes", "released yes", "recovered yes"};

void c_road_walk(uint32_t cleared_pid, const HWND cleared[2], HWND spared, c_road_report* r)
{
    stagehand_monitor monitors[4];
    stagehand_manager* manager = NULL;
    stagehand_window* windows[4] = {NULL, NULL, NULL, NULL};
    stagehand_recovery recovered;
    const char* spare = "spare_helper.exe";
    HWND made[4], listed[4];
    wchar_t classes[4][64];
    WNDCLASSEXW info;
    uint32_t count = 0, found = 0, pids[256], i; /* a small frame: no stack probe, which needs a C runtime */
    int32_t aborted = 0;
    int gone = 1;
    char line[48];

    ok(r, stagehand_monitors(monitors, 4, &count));
    ok(r, stagehand_process_ids(pids, 256, &found));
    for (i = 0; i < found && pids[i] != cleared_pid; ++i) {
    }
    see(r, "monitors %u, the helper %s", (unsigned)count, yes(i < found));
    found = 0;
    ok(r, stagehand_process_windows(cleared_pid, listed, 4, &found));
    see(r, "its windows %u", (unsigned)found);

    ok(r, stagehand_manager_create(&manager));
    for (i = 0; i < 2; ++i) {
        RECT rect = {0, 0, 0, 0};
        if (i < count)
            rect = monitors[i].rect;
        rect.left += 10, rect.top += 10, rect.right = rect.left + 320, rect.bottom = rect.top + 240;
        sprintf(line, "road %u", (unsigned)i);
        ok(r, stagehand_window_create(manager, i < count ? monitors[i].adapter_id : "none", line, &rect,
                                      WS_POPUP | WS_VISIBLE, &windows[i]));
    }
    ok(r, stagehand_window_tile(manager, count ? monitors[0].adapter_id : "none", "road tile", 1, 2, WS_POPUP,
                                windows + 2, 2));
    for (i = 0; i < 4; ++i) { /* where each window is, and whether it is shown on top */
        RECT rect = {0, 0, 0, 0};
        made[i] = stagehand_window_hwnd(windows[i]);
        GetWindowRect(made[i], &rect);
        see(r, "window %ld,%ld,%ld,%ld %s", rect.left, rect.top, rect.right, rect.bottom,
            IsWindowVisible(made[i]) && (GetWindowLongW(made[i], GWL_EXSTYLE) & WS_EX_TOPMOST) ? "shown" : "not");
        classes[i][0] = 0;
        GetClassNameW(made[i], classes[i], 64);
    }

    PostMessageW(made[2], WM_KEYDOWN, VK_ESCAPE, 0);
    for (i = 0; i < 4; ++i)
        ok(r, stagehand_window_pump(windows[2]));
    ok(r, stagehand_window_aborted(windows[2], &aborted));
    see(r, "aborted %s", yes(aborted));

    ok(r, stagehand_hide_all_except(manager, &spare, 1, made, 4));
    see(r, "cleared %s, spared %s", yes(!IsWindowVisible(cleared[0]) && !IsWindowVisible(cleared[1])),
            yes(IsWindowVisible(spared)));
    ok(r, stagehand_restore(manager));
    see(r, "restored %s", yes(IsWindowVisible(cleared[0]) && IsWindowVisible(cleared[1])));
    ok(r, stagehand_manager_destroy(manager));
    info.cbSize = sizeof info;
    for (i = 0; i < 4; ++i)
        gone &= !IsWindow(made[i]) && !GetClassInfoExW(GetModuleHandleW(NULL), classes[i], &info);
    see(r, "released %s", yes(gone));

    abandon(cleared[0], cleared_pid);
    memset(&recovered, 0, sizeof recovered);
    if (ok(r, stagehand_restore_abandoned(0, 0, &recovered)) && recovered.windows_shown != 1)
        ++r->reported;
    see(r, "recovered %s", yes(IsWindowVisible(cleared[0])));
}

#ifndef C_ROAD_WALK_ONLY

#define CHECK(c) do { if (!(c)) return fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c), 1; } while (0)
#define CHECK_STATUS(expected, call) CHECK((call) == (expected))

typedef struct helper {
    PROCESS_INFORMATION process;
    HANDLE input; /* closing it ends the helper */
    HWND windows[2];
} helper;

/* Starts "PROGRAM windows TITLE..." and waits until stagehand lists its windows. */
static int start_helper(helper* h, wchar_t* command, uint32_t windows)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    STARTUPINFOW startup;
    uint32_t count = 0;
    int tries;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    CHECK(CreatePipe(&startup.hStdInput, &h->input, &inheritable, 0));
    SetHandleInformation(h->input, HANDLE_FLAG_INHERIT, 0);
    CHECK(CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &h->process));
    CloseHandle(startup.hStdInput);
    for (tries = 0; tries < 200 && count < windows; ++tries) {
        Sleep(50);
        CHECK(stagehand_process_windows(h->process.dwProcessId, h->windows, 2, &count) != STAGEHAND_NULL_ARGUMENT);
    }
    CHECK(count == windows);
    return 0;
}

static void stop_helper(helper* h)
{
    CloseHandle(h->input);
    WaitForSingleObject(h->process.hProcess, 10000);
    CloseHandle(h->process.hThread);
    CloseHandle(h->process.hProcess);
}

static int bad_inputs(stagehand_manager* manager, const char* adapter)
{
    stagehand_display_mode odd = {1000, 700, 0, 0};
    stagehand_mode_hold* hold = (stagehand_mode_hold*)1;
    stagehand_window* window = (stagehand_window*)1;
    stagehand_window* grid[2];
    uint32_t count = 0, needed = 0;
    char message[256], long_message[1200], euros[1201];
    const char* overlong = "spare\xc0\xae" "exe"; /* '.' encoded in two bytes */
    RECT rect = {0, 0, 64, 64};
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_manager_create(NULL));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_window_create(NULL, adapter, "n", &rect, 0, &window));
    CHECK(window == NULL);
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_window_create(manager, adapter, "n", NULL, 0, &window));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_hide_all_except(manager, NULL, 1, NULL, 0));
    CHECK_STATUS(STAGEHAND_UNKNOWN_ADAPTER, stagehand_window_create(manager, "DISPLAY9", "n", &rect, 0, &window));
    CHECK_STATUS(STAGEHAND_BAD_GRID, stagehand_window_tile(manager, adapter, "n", 0, 2, 0, grid, 2));
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_window_tile(manager, adapter, "n", 1, 3, 0, grid, 2));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_display_mode_hold(adapter, NULL, &hold));
    CHECK(hold == NULL);
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_display_mode_release(NULL));
    CHECK_STATUS(STAGEHAND_UNKNOWN_ADAPTER, stagehand_display_modes("DISPLAY9", NULL, 0, &count));
    CHECK_STATUS(STAGEHAND_MODE_NOT_LISTED, stagehand_display_mode_hold(adapter, &odd, &hold));
    CHECK_STATUS(STAGEHAND_OK, stagehand_last_error(message, sizeof message, NULL));
    CHECK(strstr(message, "does not list 1000x700; the nearest listed modes are 1024x768@60") != NULL);
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_monitors(NULL, 0, NULL));

    /* The last message, asked for its size, then cut by nothing. */
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_last_error(NULL, 0, &needed));
    CHECK(needed > 1 && needed <= sizeof message);
    memset(message, 'x', sizeof message);
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_last_error(message, needed - 1, NULL));
    CHECK(message[0] == 'x');
    CHECK_STATUS(STAGEHAND_OK, stagehand_last_error(message, needed, NULL)); /* exactly the size needed */
    CHECK(strcmp(message, "stagehand_monitors: count is null") == 0);
    memset(long_message, 'x', sizeof(stagehand_monitor));
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_monitors((stagehand_monitor*)long_message, 1, &count));
    CHECK(count >= 2 && long_message[0] == 'x' && long_message[sizeof(stagehand_monitor) - 1] == 'x');
    CHECK_STATUS(STAGEHAND_BAD_TEXT, stagehand_window_create(manager, "\\\\.\\DISPLAY\xff", "n", &rect, 0, &window));
    CHECK_STATUS(STAGEHAND_BAD_TEXT, stagehand_hide_all_except(manager, &overlong, 1, NULL, 0));
    CHECK_STATUS(STAGEHAND_NO_SUCH_PROCESS, stagehand_process_windows(12345, NULL, 0, &count));
    memset(euros, 'n', 300);
    euros[300] = '\0';
    CHECK_STATUS(STAGEHAND_WINDOW_FAILED, stagehand_window_create(manager, adapter, euros, &rect, 0, &window));

    /* A message too long for the thread is cut where a character starts: 1023 bytes at most. */
    for (count = 0; count < 400; ++count)
        memcpy(euros + 3 * count, "\xe2\x82\xac", 3);
    euros[3 * count] = '\0';
    CHECK_STATUS(STAGEHAND_UNKNOWN_ADAPTER, stagehand_window_create(manager, euros, "n", &rect, 0, &window));
    CHECK_STATUS(STAGEHAND_OK, stagehand_last_error(long_message, sizeof long_message, &needed));
    CHECK(needed <= 1024 && needed > 1021);
    CHECK((needed - 1 - strlen("stagehand_window_create: no monitor has the adapter id ")) % 3 == 0);
    return 0;
}

int main(void)
{
    stagehand_monitor monitors[8];
    stagehand_manager* manager = NULL;
    helper cleared, spared;
    c_road_report report;
    stagehand_run_outcome ran;
    char command[64];
    const char* own[2] = {"c_road.exe", "spare_helper.exe"};
    uint32_t count = 0, i;
    wchar_t journals[MAX_PATH], folder[MAX_PATH];
    wchar_t cleared_command[] = L"helper.exe windows c_road_cleared1 c_road_cleared2";
    wchar_t spared_command[] = L"spare_helper.exe windows c_road_spared";

    GetTempPathW(MAX_PATH - 32, journals);
    lstrcatW(journals, L"c_road_journals");
    CreateDirectoryW(journals, NULL);
    CHECK(SetEnvironmentVariableW(L"LOCALAPPDATA", journals));

    CHECK(stagehand_version()[0] >= '0' && stagehand_version()[0] <= '9');
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_monitors(NULL, 0, &count));
    CHECK(count >= 2);
    CHECK_STATUS(STAGEHAND_OK, stagehand_monitors(monitors, 8, &count));
    CHECK_STATUS(STAGEHAND_OK, stagehand_manager_create(&manager));
    CHECK(bad_inputs(manager, monitors[0].adapter_id) == 0);
    CHECK_STATUS(STAGEHAND_OK, stagehand_manager_destroy(manager));

    CHECK(start_helper(&cleared, cleared_command, 2) == 0 && start_helper(&spared, spared_command, 1) == 0);
    memset(&report, 0, sizeof report);
    c_road_walk(cleared.process.dwProcessId, cleared.windows, spared.windows[0], &report);
    c_road_walk_modes(monitors[1].adapter_id, &report);
    for (i = 0; i < C_ROAD_SEEN + C_ROAD_MODES_SEEN; ++i) {
        const char* expected = i < C_ROAD_SEEN ? c_road_expected[i] : c_road_modes_expected[i - C_ROAD_SEEN];
        if (i >= report.count || strcmp(report.seen[i], expected) != 0) {
            fprintf(stderr, "c road: saw '%s', not '%s'\n", i < report.count ? report.seen[i] : "", expected);
            return 1;
        }
    }
    CHECK(report.count == C_ROAD_SEEN + C_ROAD_MODES_SEEN && report.reported == 0);

    /* A test program run on a prepared desktop sees the helper hidden; its status comes back. */
    sprintf(command, "helper.exe verify %llu", (unsigned long long)(ULONG_PTR)cleared.windows[0]);
    CHECK_STATUS(STAGEHAND_OK, stagehand_run(command, own, 2, 10000, &ran));
    CHECK(ran.ended_by_itself == 1 && ran.exit_code == 7 && ran.windows_hidden >= 1);
    CHECK(IsWindowVisible(cleared.windows[0]));
    CHECK_STATUS(STAGEHAND_PROGRAM_NOT_FOUND, stagehand_run("no_such_program.exe", NULL, 0, 0, NULL));

    stop_helper(&cleared);
    stop_helper(&spared);
    lstrcpyW(folder, journals);
    CHECK(RemoveDirectoryW(lstrcatW(folder, L"\\stagehand")) && RemoveDirectoryW(journals));
    printf("c road: ok\n");
    return 0;
}

#ifdef _MSC_VER
/* The entry point of the build without a C runtime's startup code. */
void start(void)
{
    ExitProcess((UINT)main());
}
#endif

#endif
