#pragma once

#include <vela/Export.h>

namespace vela {

// Puts the thread's last-error code back when the scope ends, so that building and
// writing a log line never changes the code a caller reads next.
class VELA_API LastErrorKeeper {
public:
    LastErrorKeeper();
    ~LastErrorKeeper();

    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    unsigned long m_code;
};

}  // namespace vela
