#pragma once

#include "JournalFormat.h"

#include <windows.h>

#include <cstdint>

namespace stagehand {

// Internal to the library: a process told apart from a later one with the same pid by its
// creation time (a FILETIME as 64 bits), as the desktop-clearing journals record it.

// The creation time of an open process; 0 when it cannot be read.
std::uint64_t creationTime(HANDLE process);
// This process; its creation time, read once, is 0 while it cannot be read.
JournalProcess currentProcess();
// The process that owns the window now: pid 0 when the handle names no window, creation
// time 0 when that process cannot be opened.
JournalProcess windowOwner(HWND window);
// Whether the process is still running, and is the one that had that pid. A process that
// cannot be opened is another user's now, so not the one; one that can be opened but whose
// times or state cannot be read cannot be told.
enum class Liveness { RUNNING, ENDED, UNKNOWN };
Liveness liveness(const JournalProcess& process);

}  // namespace stagehand
