#pragma once

namespace stagehand {

// Keeps the screen saver off for one render window. The screen saver is a setting of the
// whole session while render windows come and go one by one: it is switched on again only
// when the last hold of the process goes, and only if it was on before the first one came.
// Each hold also puts back the timeout it read.
class ScreenSaverHold {
public:
    ScreenSaverHold();
    ~ScreenSaverHold();

    ScreenSaverHold(const ScreenSaverHold&) = delete;
    ScreenSaverHold& operator=(const ScreenSaverHold&) = delete;

    // Switches the screen saver off. The first take that can read the timeout holds: it
    // joins the process's count and will put that timeout back. False, with the last-error
    // code of the failed read, when the timeout cannot be read; nothing is put back then.
    bool take();

private:
    int m_timeout;  // -1: not held
};

}  // namespace stagehand
