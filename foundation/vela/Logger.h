#pragma once

#include <vela/Export.h>
#include <vela/LoggerPriority.h>
#include <vela/LoggerStream.h>
#include <vela/String.h>

namespace vela {

// A named logger. Callers gate their messages on the global priority and on this
// logger's own threshold (see ClassLogger); log() writes what it is given.
class VELA_API Logger {
public:
    explicit Logger(const String& name);

    const String& name() const;

    // Messages at a priority not above the threshold are not built; 0 lets everything through.
    int threshold() const;
    void setThreshold(int threshold);

    // Hands the record to the installed sink; the thread's last-error code is left as it was.
    void log(LoggerPriority::LOGGER_PRIORITY priority, const LoggerStream& message);

private:
    String m_name;
    int m_threshold;
};

}  // namespace vela
