#include "HelperWindows.h"

namespace {

std::wstring arguments(const std::vector<std::string>& titles)
{
    std::wstring all;
    for (const std::string& title : titles)
        all += L" " + std::wstring(title.begin(), title.end());
    return all;
}

}  // namespace

HWND parseHandleLine(const std::string& line)
{
    if (line.compare(0, 5, "hwnd ") != 0)
        return nullptr;
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::stoull(line.substr(5))));
}

HWND probeWindow(DWORD style, HWND owner)
{
    return CreateWindowExW(0, L"STATIC", L"probe", style, 10, 10, 200, 100, owner, nullptr, nullptr, nullptr);
}

HelperWindows::HelperWindows(const std::wstring& program, const std::vector<std::string>& titles)
    : m_child(program, arguments(titles)), m_ready(false)
{
    for (std::string line = m_child.readLine(); !line.empty(); line = m_child.readLine()) {
        if ((m_ready = line == "ready"))
            break;
        if (HWND window = parseHandleLine(line))
            m_windows.push_back(window);
    }
}

HWND HelperWindows::open(const std::string& title)
{
    m_child.writeLine("open " + title);
    HWND window = parseHandleLine(m_child.readLine());
    if (window)
        m_windows.push_back(window);
    return window;
}

bool HelperWindows::allVisible() const
{
    for (HWND window : m_windows)
        if (!IsWindowVisible(window))
            return false;
    return !m_windows.empty();
}

bool HelperWindows::noneVisible() const
{
    for (HWND window : m_windows)
        if (IsWindowVisible(window))
            return false;
    return true;
}
