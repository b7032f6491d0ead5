#include "DisplayModeSetting.h"

#include <string>

namespace stagehand {

DEVMODEW displaySettings(const DisplayMode& mode)
{
    DEVMODEW settings = {};
    settings.dmSize = sizeof settings;
    settings.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY | DM_BITSPERPEL;
    settings.dmPelsWidth = mode.width;
    settings.dmPelsHeight = mode.height;
    settings.dmDisplayFrequency = mode.refresh;
    settings.dmBitsPerPel = mode.bitsPerPixel;
    return settings;
}

vela::String changeResultName(LONG result)
{
    switch (result) {
    case DISP_CHANGE_SUCCESSFUL: return "DISP_CHANGE_SUCCESSFUL";
    case DISP_CHANGE_RESTART: return "DISP_CHANGE_RESTART";
    case DISP_CHANGE_FAILED: return "DISP_CHANGE_FAILED";
    case DISP_CHANGE_BADMODE: return "DISP_CHANGE_BADMODE";
    case DISP_CHANGE_NOTUPDATED: return "DISP_CHANGE_NOTUPDATED";
    case DISP_CHANGE_BADFLAGS: return "DISP_CHANGE_BADFLAGS";
    case DISP_CHANGE_BADPARAM: return "DISP_CHANGE_BADPARAM";
    case DISP_CHANGE_BADDUALVIEW: return "DISP_CHANGE_BADDUALVIEW";
    }
    return vela::String(("DISP_CHANGE " + std::to_string(result)).c_str());
}

JournalMode journalMode(const DisplayMode& mode)
{
    return {mode.width, mode.height, mode.refresh, mode.bitsPerPixel};
}

DisplayMode displayMode(const JournalMode& mode)
{
    return {mode.width, mode.height, mode.refresh, mode.bitsPerPixel};
}

}  // namespace stagehand
