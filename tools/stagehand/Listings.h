#pragma once

#include <string>

// The listing commands; each prints a table, or JSON with `json`, and returns the exit code.
int listMonitors(bool json);
int listProcesses(bool json);
// `who` is a pid or an executable name (the first process of that name).
int listWindows(const std::string& who, bool json);
