#pragma once

#include "OutputFile.h"

#include <windows.h>

// Saves what the screen shows of the area (virtual-screen coordinates) as a PNG picture in
// the file; false when it cannot be captured or written.
bool saveScreenshot(const RECT& area, OutputFile& file);
