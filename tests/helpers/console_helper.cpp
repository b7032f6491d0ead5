// A program of the test suite that tries AllocateConsole in a process of its own, since
// a process has one console. It writes "name=value" lines, and the library's log lines,
// to the standard output it was started with (a console allocated here takes over the
// standard handles).
//
//   console_helper single   one AllocateConsole, destroyed
//   console_helper shared   an owner and a mere user, the user assigned from the owner
#include <stagehand/AllocateConsole.h>
#include <vela/LogFactory.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HANDLE g_out;

void say(const std::string& line)
{
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(g_out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void report(const char* name, bool value)
{
    say(std::string(name) + "=" + (value ? "1" : "0"));
}

void logToOutput(void*, vela::LoggerPriority::LOGGER_PRIORITY priority, const vela::String& logger,
                 const vela::String& message)
{
    say("log " + std::to_string(static_cast<int>(priority)) + " " + logger.toUtf8() + ": " + message.toUtf8());
}

}  // namespace

int main(int argc, char** argv)
{
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    vela::LogFactory::setSink(logToOutput, nullptr);
    report("console_before", GetConsoleWindow() != nullptr);

    if (argc == 2 && std::strcmp(argv[1], "single") == 0) {
        {
            stagehand::AllocateConsole console;
            HWND window = console.consoleHandle();
            report("owns", console.ownsConsole());
            report("handle_is_console", window != nullptr && window == GetConsoleWindow());
            report("visible", window != nullptr && IsWindowVisible(window));
        }
        report("console_after", GetConsoleWindow() != nullptr);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "shared") == 0) {
        {
            stagehand::AllocateConsole owner;
            {
                stagehand::AllocateConsole user;
                user = owner;
                report("user_owns", user.ownsConsole());
                report("same_window", user.consoleHandle() == owner.consoleHandle());
                stagehand::AllocateConsole copy(owner);
                report("copy_owns", copy.ownsConsole());
            }
            report("console_after_users", GetConsoleWindow() != nullptr);
            report("owner_owns", owner.ownsConsole());
        }
        report("console_after_owner", GetConsoleWindow() != nullptr);
        return 0;
    }
    say("usage: console_helper single|shared");
    return 2;
}
