/* The short road of a test, built as a caller of Microsoft's toolchain builds it: compiled by
 * clang in MSVC mode, linked by lld-link against lib/stagehand.lib (the import library in
 * MSVC's own format) with no C runtime at all. A window on the second monitor, a clearing
 * that spares it by its handle, restore, destroy. The exit status is 0 when every step held,
 * else the number of the step that failed. */
#include <stagehand/stagehand_c.h>

static int road(void)
{
    stagehand_monitor monitors[4];
    stagehand_manager* manager = 0;
    stagehand_window* window = 0;
    uint32_t count = 0;
    wchar_t journals[MAX_PATH];
    HWND made;
    RECT rect;

    /* Journals of this run only. */
    if (!GetTempPathW(MAX_PATH - 32, journals) || !lstrcatW(journals, L"c_msvc_journals"))
        return 1;
    CreateDirectoryW(journals, 0);
    if (!SetEnvironmentVariableW(L"LOCALAPPDATA", journals))
        return 2;
    if (stagehand_monitors(monitors, 4, &count) != STAGEHAND_OK || count < 2)
        return 3;
    if (stagehand_manager_create(&manager) != STAGEHAND_OK)
        return 4;
    rect = monitors[1].rect;
    rect.right = rect.left + 320;
    rect.bottom = rect.top + 240;
    if (stagehand_window_create(manager, monitors[1].adapter_id, "msvc road", &rect, WS_POPUP | WS_VISIBLE,
                                &window) != STAGEHAND_OK)
        return 5;
    made = stagehand_window_hwnd(window);
    if (MonitorFromWindow(made, MONITOR_DEFAULTTONULL) != MonitorFromRect(&monitors[1].rect, MONITOR_DEFAULTTONULL))
        return 6;
    if (stagehand_hide_all_except(manager, 0, 0, &made, 1) != STAGEHAND_OK || !IsWindowVisible(made))
        return 7;
    if (stagehand_restore(manager) != STAGEHAND_OK || stagehand_manager_destroy(manager) != STAGEHAND_OK ||
        IsWindow(made))
        return 8;
    RemoveDirectoryW(lstrcatW(journals, L"\\stagehand"));
    return 0;
}

/* The entry point: there is no C runtime to call main. */
void start(void)
{
    ExitProcess((UINT)road());
}
