#include "LogCapture.h"

LogCapture::LogCapture(vela::LoggerPriority::LOGGER_PRIORITY priority)
    : m_previousSink(nullptr), m_previousContext(nullptr), m_previousPriority(vela::LogFactory::getPriority())
{
    m_previousSink = vela::LogFactory::setSink(&LogCapture::record, this, &m_previousContext);
    vela::LogFactory::setPriority(priority);
}

LogCapture::~LogCapture()
{
    vela::LogFactory::setPriority(m_previousPriority);
    vela::LogFactory::setSink(m_previousSink, m_previousContext);
}

size_t LogCapture::count(const std::string& fragment) const
{
    size_t n = 0;
    for (const std::string& line : m_lines)
        if (line.find(fragment) != std::string::npos)
            ++n;
    return n;
}

void LogCapture::record(void* context, vela::LoggerPriority::LOGGER_PRIORITY priority, const vela::String& logger,
                        const vela::String& message)
{
    auto* self = static_cast<LogCapture*>(context);
    self->m_lines.push_back(std::to_string(static_cast<int>(priority)) + " " + logger.toUtf8() + ": " +
                            message.toUtf8());
}
