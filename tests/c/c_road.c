/* The road of a test, walked in C through stagehand_c.h alone: render windows on every
 * monitor and a grid, the desktop cleared of two helper programs (helper.exe and
 * spare_helper.exe beside this program) and restored, from the manager and from its
 * journal, with a third (hung_helper.exe) that has stopped responding, Escape pumped, and
 * every bad input answered with its code. Prints "c road: ok". */
#include <stagehand/stagehand_c.h>

#include <stdio.h>
#include <string.h>

#define CHECK(condition)                                                           \
    do {                                                                           \
        if (!(condition)) {                                                        \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
            return 1;                                                              \
        }                                                                          \
    } while (0)
#define CHECK_STATUS(expected, call) CHECK((call) == (expected))

typedef struct helper {
    PROCESS_INFORMATION process;
    HANDLE input; /* closing it ends the helper */
    HWND window;
} helper;

/* Starts "PROGRAM windows TITLE" and waits until stagehand lists its window. */
static int start_helper(helper* h, const wchar_t* command_line)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    STARTUPINFOW startup;
    HANDLE child_input;
    wchar_t command[64];
    uint32_t count = 0;
    int tries;
    memset(&startup, 0, sizeof startup);
    lstrcpynW(command, command_line, 64);
    CHECK(CreatePipe(&child_input, &h->input, &inheritable, 0));
    SetHandleInformation(h->input, HANDLE_FLAG_INHERIT, 0);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_input;
    CHECK(CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &h->process));
    CloseHandle(child_input);
    for (tries = 0; tries < 200 && count == 0; ++tries) {
        Sleep(50);
        CHECK(stagehand_process_windows(h->process.dwProcessId, &h->window, 1, &count) != STAGEHAND_NULL_ARGUMENT);
    }
    CHECK(count == 1);
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
    stagehand_window* window = (stagehand_window*)1;
    stagehand_window* grid[2];
    uint32_t count = 0, needed = 0;
    char message[256], long_message[1200], euros[1201];
    const char* overlong = "spare\xc0\xae" "exe"; /* '.' encoded in two bytes */
    RECT rect = {0, 0, 64, 64};
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_manager_create(NULL));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_manager_destroy(NULL));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_window_create(NULL, adapter, "n", &rect, 0, &window));
    CHECK(window == NULL);
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_window_create(manager, adapter, "n", NULL, 0, &window));
    CHECK_STATUS(STAGEHAND_UNKNOWN_ADAPTER, stagehand_window_create(manager, "\\\\.\\DISPLAY9", "n", &rect, 0, &window));
    CHECK_STATUS(STAGEHAND_UNKNOWN_ADAPTER, stagehand_window_tile(manager, "nothing", "n", 1, 1, 0, grid, 2));
    CHECK_STATUS(STAGEHAND_BAD_GRID, stagehand_window_tile(manager, adapter, "n", 0, 2, 0, grid, 2));
    CHECK_STATUS(STAGEHAND_BAD_GRID, stagehand_window_tile(manager, adapter, "n", 65, 1, 0, grid, 2));
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_window_tile(manager, adapter, "n", 1, 3, 0, grid, 2));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_window_pump(NULL));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_window_aborted(NULL, NULL));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_window_release(NULL));
    CHECK(stagehand_window_hwnd(NULL) == NULL);
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_hide_all(NULL));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_hide_all_except(manager, NULL, 1, NULL, 0));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_restore(NULL));
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_process_ids(NULL, 4, &count));
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_process_ids(NULL, 0, &count));
    CHECK(count > 0);
    CHECK_STATUS(STAGEHAND_NULL_ARGUMENT, stagehand_monitors(NULL, 0, NULL));

    /* The last message, asked for its size, then cut by nothing. */
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_last_error(NULL, 0, &needed));
    CHECK(needed > 1 && needed <= sizeof message);
    memset(message, 'x', sizeof message);
    CHECK_STATUS(STAGEHAND_BUFFER_TOO_SMALL, stagehand_last_error(message, needed - 1, NULL));
    CHECK(message[0] == 'x');
    CHECK_STATUS(STAGEHAND_OK, stagehand_last_error(message, sizeof message, NULL));
    CHECK(strcmp(message, "stagehand_monitors: count is null") == 0);
    CHECK(strcmp(stagehand_status_name(STAGEHAND_BAD_GRID), "STAGEHAND_BAD_GRID") == 0);
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
    CHECK(strcmp(stagehand_status_name((stagehand_status)99), "unknown status") == 0);
    return 0;
}

static int visible(HWND window)
{
    return IsWindowVisible(window) ? 1 : 0;
}

int main(void)
{
    stagehand_monitor monitors[8];
    stagehand_manager* manager = NULL;
    stagehand_window* windows[8];
    stagehand_window* grid[6];
    HWND made[8 + 6];
    stagehand_recovery report;
    helper cleared, spared, hung;
    stagehand_run_outcome ran;
    char command[64];
    DWORD start;
    const char* own[2] = {"c_road.exe", "spare_helper.exe"};
    uint32_t count = 0, i;
    int32_t aborted = 0;
    wchar_t journals[MAX_PATH], folder[MAX_PATH];

    /* Journals of this run only. */
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

    /* One window on each monitor, 100 pixels in from its corner. */
    for (i = 0; i < count; ++i) {
        RECT rect = monitors[i].rect;
        POINT corner;
        char name[32];
        rect.left += 100, rect.top += 100, rect.right = rect.left + 320, rect.bottom = rect.top + 240;
        corner.x = monitors[i].rect.left, corner.y = monitors[i].rect.top;
        sprintf(name, "c road %u", (unsigned)i);
        CHECK_STATUS(STAGEHAND_OK, stagehand_window_create(manager, monitors[i].adapter_id, name, &rect,
                                                           WS_POPUP | WS_VISIBLE, &windows[i]));
        made[i] = stagehand_window_hwnd(windows[i]);
        CHECK(visible(made[i]));
        CHECK(MonitorFromWindow(made[i], MONITOR_DEFAULTTONULL) == MonitorFromPoint(corner, MONITOR_DEFAULTTONULL));
    }
    CHECK_STATUS(STAGEHAND_WINDOW_FAILED, stagehand_window_create(manager, monitors[0].adapter_id, "c road 0",
                                                                  &monitors[0].rect, WS_POPUP, &grid[0]));

    /* A 2 x 3 grid over the second monitor's work area, column by column. */
    CHECK_STATUS(STAGEHAND_OK, stagehand_window_tile(manager, monitors[1].adapter_id, "c grid", 2, 3,
                                                     WS_POPUP | WS_VISIBLE, grid, 6));
    for (i = 0; i < 6; ++i) {
        RECT placed;
        const RECT* work = &monitors[1].work_area;
        made[count + i] = stagehand_window_hwnd(grid[i]);
        CHECK(GetWindowRect(made[count + i], &placed));
        CHECK(placed.left == work->left + (LONG)(i / 2) * ((work->right - work->left) / 3));
        CHECK(placed.top == work->top + (LONG)(i % 2) * ((work->bottom - work->top) / 2));
    }

    /* Clearing: the helper goes, the spared one and this program's windows stay. */
    CHECK(start_helper(&cleared, L"helper.exe windows c_road_cleared") == 0);
    CHECK(start_helper(&spared, L"spare_helper.exe windows c_road_spared") == 0);
    CHECK(start_helper(&hung, L"hung_helper.exe hung c_road_hung") == 0);
    start = GetTickCount();
    CHECK_STATUS(STAGEHAND_OK, stagehand_hide_all_except(manager, own, 2, NULL, 0));
    CHECK(!visible(cleared.window) && visible(spared.window) && visible(made[0]) && visible(made[count]));
    CHECK_STATUS(STAGEHAND_OK, stagehand_restore(manager));
    CHECK(visible(cleared.window) && GetTickCount() - start < 2000);

    /* A test program run on a prepared desktop sees the helper hidden; its status comes back. */
    sprintf(command, "helper.exe verify %llu", (unsigned long long)(ULONG_PTR)cleared.window);
    CHECK_STATUS(STAGEHAND_OK, stagehand_run(command, own, 2, 10000, &ran));
    CHECK(ran.ended_by_itself == 1 && ran.exit_code == 7 && ran.windows_hidden >= 1 && visible(cleared.window));
    CHECK_STATUS(STAGEHAND_PROGRAM_NOT_FOUND, stagehand_run("no_such_program.exe", NULL, 0, 0, NULL));

    /* Everything hidden, then shown again from the journal, as after a crash. */
    CHECK_STATUS(STAGEHAND_OK, stagehand_hide_all(manager));
    CHECK(!visible(cleared.window) && !visible(spared.window) && !visible(made[0]));
    CHECK_STATUS(STAGEHAND_OK, stagehand_restore_abandoned(1, 0, &report));
    CHECK(report.journals == 1 && report.journals_left_alone == 1 && report.windows_shown == 0);
    CHECK_STATUS(STAGEHAND_OK, stagehand_restore_abandoned(0, 1, &report));
    CHECK(report.journals_restored == 1 && report.windows_shown >= count + 6 + 2 && report.programs >= 3);
    CHECK(visible(cleared.window) && visible(spared.window) && visible(made[0]));
    CHECK_STATUS(STAGEHAND_OK, stagehand_restore_abandoned(1, 1, NULL));

    /* Escape ends the test; the flag is reset on demand. */
    PostMessageW(made[0], WM_KEYDOWN, VK_ESCAPE, 0);
    for (i = 0; i < 100 && !aborted; ++i) {
        CHECK_STATUS(STAGEHAND_OK, stagehand_window_pump(windows[0]));
        CHECK_STATUS(STAGEHAND_OK, stagehand_window_aborted(windows[0], &aborted));
    }
    CHECK(aborted == 1);
    CHECK_STATUS(STAGEHAND_OK, stagehand_window_reset_abort(windows[0]));
    CHECK_STATUS(STAGEHAND_OK, stagehand_window_aborted(windows[0], &aborted));
    CHECK(aborted == 0);

    /* A released handle leaves its window to the adapter's list; destroying the manager
     * ends every window and leaves the desktop as it was. */
    CHECK_STATUS(STAGEHAND_OK, stagehand_window_release(windows[0]));
    CHECK(IsWindow(made[0]));
    CHECK_STATUS(STAGEHAND_OK, stagehand_hide_all(manager));
    CHECK_STATUS(STAGEHAND_OK, stagehand_manager_destroy(manager));
    for (i = 0; i < count + 6; ++i)
        CHECK(!IsWindow(made[i]));
    CHECK(visible(cleared.window) && visible(spared.window));
    stop_helper(&cleared);
    stop_helper(&spared);
    stop_helper(&hung);
    lstrcpyW(folder, journals);
    CHECK(RemoveDirectoryW(lstrcatW(folder, L"\\stagehand")) && RemoveDirectoryW(journals));
    printf("c road: ok\n");
    return 0;
}
