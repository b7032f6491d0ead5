#pragma once

#include <windows.h>

#include <string>

// A PNG file for a picture of the screen, opened when made, so that a path that cannot be
// written is known before anything on the desktop changes; removed again when no picture
// was saved in it.
class ScreenshotFile {
public:
    // Throws UsageError, naming the path and the reason, when it cannot be written.
    explicit ScreenshotFile(const std::wstring& path);
    ~ScreenshotFile();
    ScreenshotFile(const ScreenshotFile&) = delete;
    ScreenshotFile& operator=(const ScreenshotFile&) = delete;

    // Saves what the screen shows of the area (virtual-screen coordinates); false when it
    // cannot be captured or written.
    bool save(const RECT& area);

private:
    std::wstring m_path;
    HANDLE m_file;
    bool m_saved = false;
};
