#pragma once

#include <vela/LogFactory.h>

#include <algorithm>
#include <string>
#include <vector>

// The log records written in its lifetime, as the default sink writes them ("3 logger: 27
// text"), at the priority asked for.
class LogCapture {
public:
    explicit LogCapture(vela::LoggerPriority::LOGGER_PRIORITY priority) : m_priority(vela::LogFactory::getPriority())
    {
        m_sink = vela::LogFactory::setSink(&LogCapture::record, this, &m_context);
        vela::LogFactory::setPriority(priority);
    }
    ~LogCapture()
    {
        vela::LogFactory::setPriority(m_priority);
        vela::LogFactory::setSink(m_sink, m_context);
    }

    size_t count(const std::string& fragment) const
    {
        return std::count_if(lines.begin(), lines.end(), [&](auto& line) { return line.find(fragment) != line.npos; });
    }

    std::vector<std::string> lines;

private:
    static void record(void* self, vela::LoggerPriority::LOGGER_PRIORITY priority, const vela::String& logger,
                       const vela::String& message)
    {
        static_cast<LogCapture*>(self)->lines.push_back(std::to_string(priority) + " " + logger.toUtf8() + ": " +
                                                        message.toUtf8());
    }

    vela::LoggerPriority::LOGGER_PRIORITY m_priority;
    vela::LogSink m_sink;
    void* m_context = nullptr;
};
