#include <stagehand/DisplayModeEnumerator.h>

#include <stagehand/MonitorInfoEnumerator.h>

#include "LogCodes.h"

#include <vela/ClassLogger.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.DisplayModeEnumerator");

// How many modes a refusal names.
const unsigned int kNearest = 3;

DisplayMode modeOf(const DEVMODEW& settings)
{
    return {settings.dmPelsWidth, settings.dmPelsHeight, settings.dmDisplayFrequency, settings.dmBitsPerPel};
}

bool sortsBefore(const DisplayMode& a, const DisplayMode& b)
{
    return std::tie(a.width, a.height, a.refresh, a.bitsPerPixel) < std::tie(b.width, b.height, b.refresh, b.bitsPerPixel);
}

unsigned int distance(unsigned int a, unsigned int b)
{
    return a > b ? a - b : b - a;
}

}  // namespace

String displayModeText(const DisplayMode& mode)
{
    std::string text = std::to_string(mode.width) + "x" + std::to_string(mode.height);
    if (mode.refresh)
        text += "@" + std::to_string(mode.refresh);
    if (mode.bitsPerPixel)
        text += " " + std::to_string(mode.bitsPerPixel) + "bpp";
    return String(text.c_str());
}

DisplayModeEnumerator::DisplayModeEnumerator() : m_current() {}

DisplayModeEnumerator::DisplayModeEnumerator(const DisplayModeEnumerator& other) = default;

DisplayModeEnumerator& DisplayModeEnumerator::operator=(const DisplayModeEnumerator& other) = default;

DisplayModeEnumerator::~DisplayModeEnumerator() = default;

DisplayModeEnumerator::Result DisplayModeEnumerator::enumerate(const String& adapterId)
{
    m_adapterId = String();
    m_current = DisplayMode();
    m_modes.clear();
    MonitorInfoEnumerator::Info monitor;
    if (!MonitorInfoEnumerator().getMonitorInfo(adapterId, monitor))
        return UNKNOWN_ADAPTER;
    DEVMODEW settings = {};
    settings.dmSize = sizeof settings;
    // The call promises no error code: one it does not set reads 0.
    SetLastError(ERROR_SUCCESS);
    if (!EnumDisplaySettingsExW(monitor.deviceName.wide(), ENUM_CURRENT_SETTINGS, &settings, 0)) {
        s_log.log(LoggerPriority::FAILURE, logcode::kCurrentModeUnreadable,
                  "EnumDisplaySettingsExW cannot read the current mode of ", monitor.deviceName, " (error ",
                  static_cast<unsigned int>(GetLastError()), ")");
        return UNREADABLE;
    }
    DisplayMode current = modeOf(settings);
    std::vector<DisplayMode> listed;
    SetLastError(ERROR_SUCCESS);
    for (DWORD i = 0; EnumDisplaySettingsExW(monitor.deviceName.wide(), i, &settings, 0); ++i)
        listed.push_back(modeOf(settings));
    if (listed.empty()) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNoModeListed, "EnumDisplaySettingsExW lists no mode of ",
                  monitor.deviceName, " (error ", static_cast<unsigned int>(GetLastError()), ")");
        return UNREADABLE;
    }
    std::sort(listed.begin(), listed.end(), sortsBefore);
    listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
    vela::Array<DisplayMode> modes;
    modes.reserve(static_cast<unsigned int>(listed.size()));
    for (const DisplayMode& mode : listed)
        modes.append(mode);
    m_adapterId = monitor.deviceName;
    m_current = current;
    m_modes = modes;
    return LISTED;
}

const String& DisplayModeEnumerator::adapterId() const
{
    return m_adapterId;
}

const DisplayMode& DisplayModeEnumerator::current() const
{
    return m_current;
}

const vela::Array<DisplayMode>& DisplayModeEnumerator::modes() const
{
    return m_modes;
}

bool DisplayModeEnumerator::choose(const DisplayMode& wanted, DisplayMode& chosen) const
{
    // Of the modes asked for, the one with the current depth and rate, else the highest.
    auto rank = [&](const DisplayMode& m) {
        return std::make_tuple(m.bitsPerPixel == m_current.bitsPerPixel, m.refresh == m_current.refresh, m.refresh,
                               m.bitsPerPixel);
    };
    bool found = false;
    for (unsigned int i = 0; i < m_modes.size(); ++i) {
        const DisplayMode& m = m_modes[i];
        bool asked = m.width == wanted.width && m.height == wanted.height &&
                     (wanted.refresh == 0 || m.refresh == wanted.refresh) &&
                     (wanted.bitsPerPixel == 0 || m.bitsPerPixel == wanted.bitsPerPixel);
        if (asked && (!found || rank(m) > rank(chosen))) {
            chosen = m;
            found = true;
        }
    }
    return found;
}

String DisplayModeEnumerator::whyNotListed(const DisplayMode& wanted) const
{
    unsigned int depth = wanted.bitsPerPixel ? wanted.bitsPerPixel : m_current.bitsPerPixel;
    std::vector<DisplayMode> candidates;
    for (unsigned int i = 0; i < m_modes.size(); ++i)
        if (m_modes[i].bitsPerPixel == depth)
            candidates.push_back(m_modes[i]);
    if (candidates.empty())
        candidates.assign(m_modes.data(), m_modes.data() + m_modes.size());
    auto away = [&](const DisplayMode& m) {
        return std::make_tuple(distance(m.width, wanted.width) + distance(m.height, wanted.height),
                               wanted.refresh ? distance(m.refresh, wanted.refresh) : 0u);
    };
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](const DisplayMode& a, const DisplayMode& b) { return away(a) < away(b); });
    String why = String(m_adapterId).append(" does not list ").append(displayModeText(wanted));
    for (size_t i = 0; i < candidates.size() && i < kNearest; ++i) {
        DisplayMode shown = candidates[i];
        if (!wanted.bitsPerPixel)
            shown.bitsPerPixel = 0;
        why.append(i == 0 ? "; the nearest listed modes are " : ", ").append(displayModeText(shown));
    }
    return why;
}

}  // namespace stagehand
