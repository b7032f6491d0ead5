#include <stagehand/Genericwindows.h>

#include "support/ImportHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using stagehand::GenericWindows;

namespace {

bool screenSaverActive()
{
    BOOL active = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active != FALSE;
}

int screenSaverTimeout()
{
    int timeout = -1;
    SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &timeout, 0);
    return timeout;
}

void setScreenSaverActive(bool active)
{
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active, nullptr, SPIF_SENDWININICHANGE);
}

std::unique_ptr<GenericWindows> renderWindow(const char* name)
{
    auto window = std::make_unique<GenericWindows>(GetModuleHandleW(nullptr), nullptr, name, WS_POPUP);
    EXPECT_TRUE(window->isInitialized());
    return window;
}

// Records the library's SystemParametersInfoW calls; can make the timeout read fail.
struct SpiRecorder {
    static inline std::vector<UINT> actions;
    static inline bool failTimeoutRead;
    static inline decltype(&SystemParametersInfoW) real;

    static BOOL WINAPI call(UINT action, UINT uiParam, void* pvParam, UINT flags)
    {
        actions.push_back(action);
        if (failTimeoutRead && action == SPI_GETSCREENSAVETIMEOUT) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return real(action, uiParam, pvParam, flags);
    }
};

class ScreenSaver : public testing::Test {
protected:
    void SetUp() override
    {
        // Wine: the process's first window loads the display driver, which sets the flag
        // again from the registry. Load it before the flag is measured.
        DestroyWindow(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
        m_timeout = screenSaverTimeout();
        setScreenSaverActive(true);
    }
    void TearDown() override
    {
        setScreenSaverActive(true);
        SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, m_timeout, nullptr, SPIF_SENDWININICHANGE);
    }

private:
    int m_timeout = 0;
};

}  // namespace

TEST_F(ScreenSaver, IsOffWhileOneWindowLives)
{
    int timeout = screenSaverTimeout();
    auto window = renderWindow("saver1");
    EXPECT_FALSE(screenSaverActive());
    window.reset();
    EXPECT_TRUE(screenSaverActive());
    EXPECT_EQ(timeout, screenSaverTimeout());
}

TEST_F(ScreenSaver, StaysOffUntilTheLastWindowGoes)
{
    auto first = renderWindow("saverA");
    auto second = renderWindow("saverB");
    first.reset();
    EXPECT_FALSE(screenSaverActive()) << "the second window still renders";
    second.reset();
    EXPECT_TRUE(screenSaverActive());
}

TEST_F(ScreenSaver, StaysOffWhenItWasOffBefore)
{
    setScreenSaverActive(false);
    auto window = renderWindow("saverOff");
    window.reset();
    EXPECT_FALSE(screenSaverActive());
}

TEST_F(ScreenSaver, FailedTimeoutReadIsLoggedAndLeavesTheSettingsAlone)
{
    ImportHook hook(stagehandModule(), "user32.dll", "SystemParametersInfoW", &SpiRecorder::call, SpiRecorder::real);
    SpiRecorder::actions.clear();
    SpiRecorder::failTimeoutRead = true;
    LogCapture log(vela::LoggerPriority::FAILURE);

    auto window = renderWindow("saverFail");
    EXPECT_EQ((std::vector<std::string>{"4 stagehand.GenericWindows: 351 SystemParametersInfo failed 5"}),
              log.lines());
    EXPECT_FALSE(screenSaverActive()) << "switched off all the same";
    SpiRecorder::actions.clear();
    window.reset();
    EXPECT_TRUE(SpiRecorder::actions.empty()) << "a timeout never read is never written back";
    SpiRecorder::failTimeoutRead = false;
}

TEST_F(ScreenSaver, NeverInitializedObjectTouchesNothing)
{
    ImportHook hook(stagehandModule(), "user32.dll", "SystemParametersInfoW", &SpiRecorder::call, SpiRecorder::real);
    SpiRecorder::actions.clear();
    { GenericWindows window; }
    EXPECT_TRUE(SpiRecorder::actions.empty());
    EXPECT_TRUE(screenSaverActive());
}
