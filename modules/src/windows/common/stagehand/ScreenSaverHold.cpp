#include <stagehand/ScreenSaverHold.h>

#include <vela/LastErrorKeeper.h>

#include <windows.h>

namespace stagehand {

namespace {

unsigned int s_holders = 0;
BOOL s_wasActive = TRUE;

}  // namespace

ScreenSaverHold::ScreenSaverHold() : m_timeout(-1) {}

ScreenSaverHold::~ScreenSaverHold()
{
    if (m_timeout < 0)
        return;
    vela::LastErrorKeeper keep;  // a destructor runs on failure paths too
    // Put back only a timeout that changed: the write updates the user profile and tells
    // every top-level window.
    int now = -1;
    if (!SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &now, 0) || now != m_timeout)
        SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, static_cast<UINT>(m_timeout), nullptr,
                              SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    if (--s_holders == 0 && s_wasActive)
        SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
}

bool ScreenSaverHold::take()
{
    // A retry after a failed initialize keeps the timeout, and the hold, of the first attempt.
    bool held = m_timeout >= 0;
    if (!held) {
        int timeout = -1;
        if (SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &timeout, 0)) {
            m_timeout = timeout;
            held = true;
            if (s_holders++ == 0 && !SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &s_wasActive, 0))
                s_wasActive = TRUE;
        }
    }
    vela::LastErrorKeeper keep;
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
    return held;
}

}  // namespace stagehand
