#include <vela/TraceLogger.h>

#include <vela/Logger.h>

namespace vela {

TraceLogger::TraceLogger(Logger* logger, const char* function, const char* file, int line)
    : m_logger(logger), m_function(function)
{
    if (!m_logger)
        return;
    LoggerStream message;
    message.append("enter ").append(function).append(" ").append(file).append(":");
    message + static_cast<unsigned int>(line);
    m_logger->log(LoggerPriority::TRACE, message);
}

TraceLogger::~TraceLogger()
{
    if (!m_logger)
        return;
    // A destructor must not throw: without memory for it, the line is lost.
    try {
        LoggerStream message;
        message.append("leave ").append(m_function);
        m_logger->log(LoggerPriority::TRACE, message);
    } catch (...) {
    }
}

}  // namespace vela
