#pragma once

#include <vela/Export.h>

namespace vela {

class Logger;

// A trace scope: "enter FUNCTION FILE:LINE" when made, "leave FUNCTION" when it ends,
// both at priority 1. A null logger makes a silent scope.
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
