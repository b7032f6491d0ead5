#pragma once

#include <stagehand/DisplayModeEnumerator.h>

#include "JournalFormat.h"

#include <windows.h>

namespace stagehand {

// Internal to the library: what the holds and DesktopRecovery hand to ChangeDisplaySettingsExW
// with CDS_FULLSCREEN, each from a call of its own, and what they make of its answer.

// The settings that set exactly this mode: size, refresh rate and depth.
DEVMODEW displaySettings(const DisplayMode& mode);

// "DISP_CHANGE_BADMODE", or "DISP_CHANGE -7" for a code without a name.
vela::String changeResultName(LONG result);

// The mode as a journal records it, and back.
JournalMode journalMode(const DisplayMode& mode);
DisplayMode displayMode(const JournalMode& mode);

}  // namespace stagehand
