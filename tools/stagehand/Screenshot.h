#pragma once

#include <windows.h>

#include <string>

// Saves what the screen shows inside `area` as a 24-bit BMP file; false if anything fails.
bool saveScreenshot(const RECT& area, const std::wstring& path);
