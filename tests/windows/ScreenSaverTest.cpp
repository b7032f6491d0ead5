#include <stagehand/Genericwindows.h>

#include "support/CallHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using stagehand::GenericWindows;

namespace {

bool saverActive()
{
    BOOL active = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active != FALSE;
}

int saverTimeout()
{
    int timeout = -1;
    SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &timeout, 0);
    return timeout;
}

void setSaver(bool active, int timeout)
{
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active, nullptr, SPIF_SENDWININICHANGE);
    SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, timeout, nullptr, SPIF_SENDWININICHANGE);
}

std::unique_ptr<GenericWindows> renderWindow(const char* name)
{
    auto window = std::make_unique<GenericWindows>(GetModuleHandleW(nullptr), nullptr, name, WS_POPUP);
    EXPECT_TRUE(window->isInitialized());
    return window;
}

class ScreenSaver : public testing::Test {
protected:
    void SetUp() override
    {
        // Wine: the process's first window loads the display driver, which sets the flag
        // again from the registry. Load it before the flag is measured.
        DestroyWindow(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
        m_timeout = saverTimeout();
        setSaver(true, m_timeout);
    }
    void TearDown() override { setSaver(true, m_timeout); }

    int m_timeout = 0;
};

}  // namespace

TEST_F(ScreenSaver, IsOffWhileAnyWindowLivesThenComesBackAsItWas)
{
    auto first = renderWindow("saverA");
    EXPECT_FALSE(saverActive());
    SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, m_timeout + 60, nullptr, SPIF_SENDWININICHANGE);
    auto second = renderWindow("saverB");
    first.reset();
    EXPECT_FALSE(saverActive()) << "the second window still renders";
    EXPECT_EQ(m_timeout, saverTimeout()) << "the first window puts back the timeout it found";
    second.reset();
    EXPECT_TRUE(saverActive());

    setSaver(false, m_timeout);
    renderWindow("saverOff").reset();
    EXPECT_FALSE(saverActive()) << "off before, off after";
}

TEST_F(ScreenSaver, FailedTimeoutReadIsLoggedAndLeavesTheSettingsAlone)
{
    CallHook<decltype(&SystemParametersInfoW)> spi(stagehandModule(), "user32.dll", "SystemParametersInfoW");
    { GenericWindows never; }
    EXPECT_TRUE(spi.calls().empty()) << "an object never initialized touches nothing";

    spi.failCall(1, FALSE, ERROR_ACCESS_DENIED);
    LogCapture log(vela::LoggerPriority::FAILURE);
    auto window = renderWindow("saverFail");
    ASSERT_EQ(SPI_GETSCREENSAVETIMEOUT, std::get<0>(spi.calls()[0]));
    EXPECT_EQ((std::vector<std::string>{"4 stagehand.GenericWindows: 351 SystemParametersInfo failed 5"}),
              log.lines());
    EXPECT_FALSE(saverActive()) << "switched off all the same";
    size_t before = spi.calls().size();
    window.reset();
    EXPECT_EQ(before, spi.calls().size()) << "a timeout never read is never written back";
}
