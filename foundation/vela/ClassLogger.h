#pragma once

#include <vela/LogFactory.h>
#include <vela/Logger.h>
#include <vela/LoggerStream.h>

namespace vela {

// The logger of one class: a name and a pointer that stays null until a message first
// passes the global priority. Declare one per class at namespace scope:
//     vela::ClassLogger s_log("stagehand.ProcessEnumerator");
//     s_log.log(LoggerPriority::FAILURE, "27 ", "EnumProcesses fails ", error);
// The message is built only when the gate is open.
class ClassLogger {
public:
    constexpr explicit ClassLogger(const char* name) : m_name(name), m_logger(nullptr) {}

    // Open when the global priority is at most p and the logger's threshold below p;
    // the logger is created only once the first test has passed.
    bool isEnabled(LoggerPriority::LOGGER_PRIORITY p)
    {
        if (LogFactory::getPriority() > p)
            return false;
        if (!m_logger)
            LogFactory::createLogger(m_name, m_logger);
        return m_logger->threshold() < p;
    }

    // Null until a message first passed the global priority.
    Logger* logger() const { return m_logger; }

    // The logger for a trace scope, or null for a silent one.
    Logger* traceLogger() { return isEnabled(LoggerPriority::TRACE) ? m_logger : nullptr; }

    // Never throws: logging runs in destructors and on failure paths, and without memory
    // for the line, the line is lost rather than the caller's work.
    template <class... Parts>
    void log(LoggerPriority::LOGGER_PRIORITY p, const Parts&... parts) noexcept
    {
        try {
            if (!isEnabled(p))
                return;
            LoggerStream message;
            (appendPart(message, parts), ...);
            m_logger->log(p, message);
        } catch (...) {
        }
    }

private:
    static void appendPart(LoggerStream& s, const char* text) { s.append(text); }
    static void appendPart(LoggerStream& s, const String& text) { s.append(text); }
    static void appendPart(LoggerStream& s, unsigned int n) { s + n; }
    static void appendPart(LoggerStream& s, unsigned long n) { s + static_cast<unsigned long long>(n); }
    static void appendPart(LoggerStream& s, unsigned long long n) { s + n; }

    const char* m_name;
    Logger* m_logger;
};

}  // namespace vela
