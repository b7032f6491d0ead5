#include "Screenshot.h"

#include <vector>

namespace {

// A screen-compatible memory DC with a bitmap selected into it, released in reverse order.
class Capture {
public:
    Capture(int width, int height) : m_screen(GetDC(nullptr))
    {
        m_memory = m_screen ? CreateCompatibleDC(m_screen) : nullptr;
        m_bitmap = m_screen ? CreateCompatibleBitmap(m_screen, width, height) : nullptr;
        if (m_memory && m_bitmap)
            m_previous = SelectObject(m_memory, m_bitmap);
    }
    ~Capture()
    {
        deselect();
        if (m_bitmap)
            DeleteObject(m_bitmap);
        if (m_memory)
            DeleteDC(m_memory);
        if (m_screen)
            ReleaseDC(nullptr, m_screen);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool ready() const { return m_previous != nullptr; }
    // GetDIBits reads a bitmap only while no DC holds it.
    void deselect()
    {
        if (m_previous)
            SelectObject(m_memory, m_previous);
        m_previous = nullptr;
    }
    HDC screen() const { return m_screen; }
    HDC memory() const { return m_memory; }
    HBITMAP bitmap() const { return m_bitmap; }

private:
    HDC m_screen;
    HDC m_memory = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
};

}  // namespace

bool saveScreenshot(const RECT& area, const std::wstring& path)
{
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;
    Capture capture(width, height);
    if (!capture.ready() ||
        !BitBlt(capture.memory(), 0, 0, width, height, capture.screen(), area.left, area.top, SRCCOPY))
        return false;

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as BMP files store rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
    capture.deselect();
    if (!GetDIBits(capture.screen(), capture.bitmap(), 0, height, pixels.data(),
                   reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS))
        return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
              WriteFile(out, &header, sizeof header, &written, nullptr) &&
              WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
    CloseHandle(out);
    return ok;
}
