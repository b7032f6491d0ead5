#pragma once

#include <vela/Export.h>

namespace vela {

class Logger;

// A trace scope: "enter FUNCTION FILE:LINE" when made, "leave FUNCTION" when it ends,
// both at priority 1. A null logger makes a silent scope.
//
// NOTE: LINE is a fixed record number of the operation, not __LINE__, as are the digits that
// begin every log message ("116 "): readers of the logs match on them, so they stay put when
// the code around them moves.
class VELA_API TraceLogger {
public:
    TraceLogger(Logger* logger, const char* function, const char* file, int line);
    ~TraceLogger();

    TraceLogger(const TraceLogger&) = delete;
    TraceLogger& operator=(const TraceLogger&) = delete;

private:
    Logger* m_logger;
    const char* m_function;
};

}  // namespace vela
