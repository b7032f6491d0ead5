#include "Screenshot.h"

#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <utility>
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

void appendBytes(void* context, void* data, int size)
{
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    bytes->insert(bytes->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

}  // namespace

bool saveScreenshot(const RECT& area, OutputFile& file)
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
    header.biHeight = -height;  // top-down, as PNG stores rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<size_t>(stride) * height);
    capture.deselect();
    if (!GetDIBits(capture.screen(), capture.bitmap(), 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
                   DIB_RGB_COLORS))
        return false;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = &pixels[static_cast<size_t>(y) * stride];
        for (int x = 0; x < width; ++x)
            std::swap(row[3 * x], row[3 * x + 2]);  // BGR to RGB
    }

    std::vector<unsigned char> png;
    return stbi_write_png_to_func(appendBytes, &png, width, height, 3, pixels.data(), stride) &&
           file.write(png.data(), png.size());
}
