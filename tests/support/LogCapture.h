#pragma once

#include <vela/LogFactory.h>

#include <string>
#include <vector>

// Captures the log records written during its lifetime, each formatted as the default
// sink would write it ("3 stagehand.ProcessEnumerator: 27 EnumProcesses fails 5"),
// with the global priority set as asked. Restores the previous sink and priority.
class LogCapture {
public:
    explicit LogCapture(vela::LoggerPriority::LOGGER_PRIORITY priority = vela::LoggerPriority::TRACE);
    ~LogCapture();

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<std::string>& lines() const { return m_lines; }
    // Records whose text contains the fragment.
    size_t count(const std::string& fragment) const;
    bool contains(const std::string& fragment) const { return count(fragment) != 0; }
    void clear() { m_lines.clear(); }

private:
    static void record(void* context, vela::LoggerPriority::LOGGER_PRIORITY priority, const vela::String& logger,
                       const vela::String& message);

    std::vector<std::string> m_lines;
    vela::LogSink m_previousSink;
    void* m_previousContext;
    vela::LoggerPriority::LOGGER_PRIORITY m_previousPriority;
};
