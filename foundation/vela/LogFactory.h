#pragma once

#include <vela/Export.h>
#include <vela/LoggerPriority.h>
#include <vela/String.h>

namespace vela {

class Logger;

// Receives every record: priority, logger name, message.
typedef void (*LogSink)(void* context, LoggerPriority::LOGGER_PRIORITY priority, const String& logger,
                        const String& message);

// Creates the named loggers, holds the global priority and routes records to one sink.
//
// The global priority is read once, from the environment variable VELA_LOG_PRIORITY
// (1 to 4; 5 silences everything; unset or anything else means 3). Messages below it
// are not built.
//
// By default each record goes to standard error as one line:
//     3 stagehand.ProcessEnumerator: 27 EnumProcesses fails 5
// that is the priority, a blank, the logger name, a colon and a blank, the message.
// setSink() replaces that destination, for instance to capture records in a test.
class VELA_API LogFactory {
public:
    // Stores the logger of that name in out, creating it on first use; loggers live
    // until the foundation library is unloaded.
    static void createLogger(const char* name, Logger*& out);

    static LoggerPriority::LOGGER_PRIORITY getPriority();
    // Overrides the priority read from the environment.
    static void setPriority(LoggerPriority::LOGGER_PRIORITY priority);

    // Installs a sink (null restores standard error) and returns the one it replaces.
    static LogSink setSink(LogSink sink, void* context, void** previousContext = nullptr);

    // Hands one record to the sink; Logger::log calls it.
    static void write(LoggerPriority::LOGGER_PRIORITY priority, const String& logger, const String& message);
};

}  // namespace vela
