#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

// What the commands' command lines share.

// Refuses an empty value: "needs WHAT".
CLI::Validator notEmpty(const std::string& what);

// The arguments as one command line that CreateProcessW, and a program's C runtime, split
// back into exactly these arguments.
std::wstring commandLine(const std::vector<std::wstring>& arguments);
