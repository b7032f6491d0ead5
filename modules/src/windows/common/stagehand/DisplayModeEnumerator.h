#pragma once

#include <stagehand/Export.h>
#include <vela/Array.h>
#include <vela/String.h>

namespace stagehand {

// A display mode of an adapter. In a mode asked for, a refresh rate or a depth of 0 asks
// for any.
struct DisplayMode {
    unsigned int width;         // pixels
    unsigned int height;        // pixels
    unsigned int refresh;       // Hz
    unsigned int bitsPerPixel;  // colour depth
};

inline bool operator==(const DisplayMode& a, const DisplayMode& b)
{
    return a.width == b.width && a.height == b.height && a.refresh == b.refresh && a.bitsPerPixel == b.bitsPerPixel;
}

inline bool operator!=(const DisplayMode& a, const DisplayMode& b)
{
    return !(a == b);
}

// "1024x768@60 32bpp"; a refresh rate or depth of 0 is left out ("1024x768").
STAGEHAND_API vela::String displayModeText(const DisplayMode& mode);

// The display modes of one adapter (a monitor's device name, "\\.\DISPLAY1"): the one it
// shows now and the ones it lists, each once, sorted by width, height, refresh rate and
// depth. The lists are a snapshot taken by enumerate(); copies are independent.
class STAGEHAND_API DisplayModeEnumerator {
public:
    enum Result {
        LISTED,
        UNKNOWN_ADAPTER,  // no monitor has that adapter id
        UNREADABLE        // the current mode cannot be read, or no mode is listed (logged)
    };

    DisplayModeEnumerator();
    DisplayModeEnumerator(const DisplayModeEnumerator& other);
    DisplayModeEnumerator& operator=(const DisplayModeEnumerator& other);
    ~DisplayModeEnumerator();

    // Lists the adapter's modes, the letter case of its id aside; anything but LISTED
    // leaves the lists empty.
    Result enumerate(const vela::String& adapterId);

    // The adapter id as its monitor spells it; empty until a listing succeeds.
    const vela::String& adapterId() const;
    const DisplayMode& current() const;
    const vela::Array<DisplayMode>& modes() const;

    // The listed mode that `wanted` asks for: of its width and height, and of its refresh
    // rate and depth unless those are 0. For a 0, the current mode's rate (or depth) when the
    // adapter lists it at that size, else the highest. False when the adapter lists none.
    bool choose(const DisplayMode& wanted, DisplayMode& chosen) const;
    // Why `wanted` cannot be held: "\\.\DISPLAY2 does not list 1000x700; the nearest listed
    // modes are 1024x768@60, 1024x576@60, 960x540@60": three of the depth asked for (else of
    // the current one's), nearest in width plus height, then in refresh rate.
    vela::String whyNotListed(const DisplayMode& wanted) const;

private:
    vela::String m_adapterId;
    DisplayMode m_current;
    vela::Array<DisplayMode> m_modes;
};

}  // namespace stagehand
