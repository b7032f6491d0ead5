#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

struct DemoOptions {
    std::string adapter;  // empty: the primary monitor
    std::string grid = "2x3";
    std::vector<std::string> spare;
    unsigned int seconds = 10;
    std::string screenshot;  // empty: none
};

CLI::App* addDemoCommand(CLI::App& tool, DemoOptions& options);

// The typical road of a test: tiles render windows over the adapter's work area, paints
// them, hides the other programs' windows, pumps until Escape, Alt+F4 or the time is up,
// restores the desktop and reports. Checks everything before the desktop changes, and
// throws UsageError for bad options. Returns the exit code.
int runDemo(const DemoOptions& options);
