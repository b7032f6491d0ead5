#include <vela/LogFactory.h>

#include <vela/Logger.h>

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace vela {

namespace {

const int kUnread = 0;
const LoggerPriority::LOGGER_PRIORITY kDefaultPriority = LoggerPriority::FAILURE;

int g_priority = kUnread;

std::vector<std::unique_ptr<Logger>>& loggers()
{
    static std::vector<std::unique_ptr<Logger>> all;
    return all;
}

void writeToStandardError(void*, LoggerPriority::LOGGER_PRIORITY priority, const String& logger, const String& message)
{
    std::string line = std::to_string(static_cast<int>(priority));
    line += ' ';
    line += logger.toUtf8();
    line += ": ";
    line += message.toUtf8();
    line += '\n';
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LogSink g_sink = writeToStandardError;
void* g_sinkContext = nullptr;

LoggerPriority::LOGGER_PRIORITY priorityFromEnvironment()
{
    char value[16];
    DWORD n = GetEnvironmentVariableA("VELA_LOG_PRIORITY", value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return kDefaultPriority;
    char* end = nullptr;
    long p = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || p < LoggerPriority::TRACE || p > LoggerPriority::SILENT)
        return kDefaultPriority;
    return static_cast<LoggerPriority::LOGGER_PRIORITY>(p);
}

}  // namespace

void LogFactory::createLogger(const char* name, Logger*& out)
{
    String wanted(name);
    for (const std::unique_ptr<Logger>& logger : loggers()) {
        if (logger->name() == wanted) {
            out = logger.get();
            return;
        }
    }
    loggers().push_back(std::make_unique<Logger>(wanted));
    out = loggers().back().get();
}

LoggerPriority::LOGGER_PRIORITY LogFactory::getPriority()
{
    if (g_priority == kUnread)
        g_priority = priorityFromEnvironment();
    return static_cast<LoggerPriority::LOGGER_PRIORITY>(g_priority);
}

void LogFactory::setPriority(LoggerPriority::LOGGER_PRIORITY priority)
{
    g_priority = priority;
}

LogSink LogFactory::setSink(LogSink sink, void* context, void** previousContext)
{
    LogSink previous = g_sink;
    if (previousContext)
        *previousContext = g_sinkContext;
    g_sink = sink ? sink : writeToStandardError;
    g_sinkContext = sink ? context : nullptr;
    return previous;
}

void LogFactory::write(LoggerPriority::LOGGER_PRIORITY priority, const String& logger, const String& message)
{
    g_sink(g_sinkContext, priority, logger, message);
}

}  // namespace vela
