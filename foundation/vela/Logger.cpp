#include <vela/Logger.h>

#include <vela/LastErrorKeeper.h>
#include <vela/LogFactory.h>

namespace vela {

Logger::Logger(const String& name) : m_name(name), m_threshold(0) {}

void Logger::log(LoggerPriority::LOGGER_PRIORITY priority, const LoggerStream& message)
{
    // Building a message makes no system call; writing it may, and must not change the code.
    LastErrorKeeper keep;
    LogFactory::write(priority, m_name, message);
}

const String& Logger::name() const
{
    return m_name;
}

int Logger::threshold() const
{
    return m_threshold;
}

void Logger::setThreshold(int threshold)
{
    m_threshold = threshold;
}

}  // namespace vela
