#pragma once

#include <windows.h>

#include <string>

// Text the tool's commands share.

// "left,top,right,bottom".
std::string rectText(const RECT& r);

std::wstring wide(const std::string& utf8);

// The executable's name of a process, as desktop clearing matches it; empty when the
// process cannot be read.
std::string executableName(DWORD pid);
