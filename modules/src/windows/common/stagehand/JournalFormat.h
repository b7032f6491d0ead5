#pragma once

#include <vela/Array.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace stagehand {

// Internal to the library, and free of the platform so that it also builds natively: what a
// desktop-clearing journal and a display-mode journal hold, and their texts. A window handle is a number; a process is
// its pid with its creation time (a FILETIME as 64 bits), so that a reused pid is told apart.
struct JournalProcess {
    std::uint32_t pid;
    std::uint64_t created;
};

struct JournalWindow {
    std::uint64_t handle;
    JournalProcess owner;
};

struct Journal {
    JournalProcess writer;
    // Handle 0 when there is no foreground window to give back.
    JournalWindow foreground;
    vela::Array<JournalWindow> windows;
};

// A journal larger than this is damaged; none of ours comes near it.
const std::size_t kMaxJournalBytes = 1 << 20;

// The text of a journal:
//   stagehand desktop journal 1
//   writer PID CREATED
//   foreground HANDLE PID CREATED
//   window HANDLE PID CREATED        (one line per hidden window)
//   end COUNT                        (the number of window lines)
// in decimal, each line ending in "\n". The end line tells a whole journal from a cut one.
std::string formatJournal(const Journal& journal);

// Null when `text` is a whole journal of this version, read into `journal`; otherwise why
// it is refused.
const char* parseJournal(const char* text, std::size_t size, Journal& journal);

// A display mode: pixels, refresh rate in Hz, bits per pixel.
struct JournalMode {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t refresh;
    std::uint32_t bitsPerPixel;
};

// What a display-mode journal holds: the mode its writer found on the adapter, which it
// gives back.
struct DisplayModeJournal {
    JournalProcess writer;
    std::string adapter;  // 1 to kMaxAdapterBytes printable ASCII characters, no space
    JournalMode mode;
};

// An adapter id is a device name: at most 32 characters.
const std::size_t kMaxAdapterBytes = 32;

// The text of a display-mode journal, each line ending in "\n":
//   stagehand display-mode journal 1
//   writer PID CREATED
//   adapter NAME
//   mode WIDTH HEIGHT REFRESH BITS
//   end
// Empty when the adapter's name cannot be written as one.
std::string formatJournal(const DisplayModeJournal& journal);
const char* parseJournal(const char* text, std::size_t size, DisplayModeJournal& journal);

}  // namespace stagehand
