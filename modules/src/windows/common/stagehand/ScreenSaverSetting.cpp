#include "ScreenSaverSetting.h"

namespace stagehand {

bool readScreenSaver(BOOL& active)
{
    active = FALSE;
    return SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) != FALSE;
}

bool switchScreenSaver(bool on)
{
    // Told to every top-level window, the change is also what other processes read under
    // Wine; the system bounds the telling of each window. The read after the set is what
    // sends it to Wine's X server, and says whether it took.
    BOOL active = FALSE;
    return readScreenSaver(active) && SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, on, nullptr,
                                                             SPIF_SENDWININICHANGE) &&
           readScreenSaver(active) && (active != FALSE) == on;
}

}  // namespace stagehand
