#pragma once

#include <string>
#include <vector>

struct DemoOptions {
    std::string adapter;  // empty: the primary monitor
    unsigned int rows = 2;
    unsigned int columns = 3;
    std::vector<std::string> spare;
    unsigned int seconds = 10;
    std::wstring screenshot;  // empty: none
};

// Reads the demo's options; throws UsageError on bad input.
DemoOptions parseDemoOptions(const std::vector<std::string>& arguments);

// The typical road of a test: tiles render windows over the adapter's work area, paints
// them, hides the other programs' windows, pumps until Escape, Alt+F4 or the time is up,
// restores the desktop and reports. Returns the exit code.
int runDemo(const DemoOptions& options);
