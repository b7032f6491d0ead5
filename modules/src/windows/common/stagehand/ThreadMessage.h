#pragma once

#include <cstddef>

namespace stagehand {

// Internal to the library: the C interface's message for each thread, in a block of the
// thread's own that the library frees when the thread ends, or when the library is unloaded.
// A thread whose block cannot be had shares one fixed block instead, so that a message always
// comes back. All but text() are for the library's entry point.
class ThreadMessage {
public:
    static const std::size_t kSize = 1024;

    // The calling thread's message, zero-terminated; never null.
    static char* text();

    static void attach();
    static void threadEnds();
    static void detach();
};

}  // namespace stagehand
