// The road of a typical test: a render window on the first adapter, the other programs'
// windows hidden while it draws, Escape or Alt+F4 to stop early, the desktop restored.
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/RenderWindowManager.h>

#include <windows.h>

#include <cstdio>

int main()
{
    stagehand::RenderWindowManager manager;  // enumerates the monitors once

    stagehand::MonitorInfoEnumerator monitors;
    vela::Array<vela::String> adapters;  // "\\.\DISPLAY1", ...
    if (monitors.getAdapterId(adapters) == 0)
        return 1;

    stagehand::RenderWindowManager::WindowParam param;
    param.rect = RECT{100, 100, 740, 580};  // virtual-screen coordinates
    param.style = WS_POPUP | WS_VISIBLE;
    param.windowName = "typical test";  // also its window class: one name per window
    stagehand::SharedWindow window = manager.createRenderWindow(param, adapters[0]);
    if (!window.get() || !window->isInitialized())
        return 1;

    // Every program that shows a window is cleared, this one too: spare it by its own name.
    vela::Array<vela::String> spare;  // programs whose windows stay visible
    spare.append("typical_test.exe");
    manager.hideAllTopLevelProcessExcept(spare);

    int frames = 0;
    for (; frames < 100 && !window->isTestAborted(); ++frames) {
        if (!IsWindowVisible(window->getHWND())) {
            std::printf("the render window is hidden\n");
            return 1;
        }
        HDC dc = GetDC(window->getHWND());  // draw the frame
        RECT area;
        GetClientRect(window->getHWND(), &area);
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(frames % 2 ? WHITE_BRUSH : GRAY_BRUSH)));
        ReleaseDC(window->getHWND(), dc);

        window->listenOnce();  // one message, never blocks
        Sleep(10);
    }
    std::printf("%d frames\n", frames);
    return 0;  // the window goes, then the manager shows the hidden windows again
}
