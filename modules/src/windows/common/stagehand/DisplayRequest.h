#pragma once

namespace stagehand {

// Internal to the library: keeps the display on while it is held. The system's request lasts
// only as long as the thread that made it, and only that thread can end it, so a thread of
// the library's own makes and ends it: any thread may take or let go. The caller serialises
// take() and release().
class DisplayRequest {
public:
    // False, with the last-error code, when the request could not be made.
    static bool take();
    // Ends the request, once the thread has: the screen saver may be switched after.
    static void release();
};

}  // namespace stagehand
