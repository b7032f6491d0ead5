#pragma once

#include <vela/Export.h>
#include <vela/String.h>

namespace vela {

// The text of one log record, filled with append and with numbers through operator+.
class VELA_API LoggerStream : public String {
public:
    LoggerStream();

    LoggerStream& operator+(unsigned int value);
    LoggerStream& operator+(unsigned long long value);
};

}  // namespace vela
