#pragma once

#include <windows.h>

namespace stagehand {

// Internal to the library: the session's screen-saver setting, which render windows switch
// off and recovery switches on again.

// Whether the screen saver is on; false, with the last-error code, when it cannot be read.
bool readScreenSaver(BOOL& active);

// Switches the screen saver on or off for the session, without writing the user's profile,
// and tells the top-level windows. The setting is read before, since Wine takes a set only
// in a process that has read the setting, and after, since Wine sends the set to its X server
// only with the next request that waits for an answer. False, with the last-error code, when
// it could not be switched or did not take.
bool switchScreenSaver(bool on);

}  // namespace stagehand
