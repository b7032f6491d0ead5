#include "Run.h"

#include "CommandLine.h"
#include "OutputFile.h"
#include "Screenshot.h"
#include "Text.h"
#include "UsageError.h"

#include <stagehand/TestRun.h>

#include <nlohmann/json.hpp>

#include <windows.h>

#include <cstdio>
#include <memory>

namespace {

const unsigned int kMaxTimeout = 7 * 24 * 3600;

// The console's closing ends this process a few seconds after its handler returns: the
// handler stops the run and waits for the desktop to be given back.
HANDLE s_stop = nullptr;
HANDLE s_restored = nullptr;
const DWORD kCloseBound = 4000;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    // Ctrl+C and Ctrl+Break reach the program too: the run ends when the program does.
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    SetEvent(s_stop);
    WaitForSingleObject(s_restored, kCloseBound);
    return TRUE;
}

// While it lives, the console's events reach onConsoleEvent.
class ConsoleEvents {
public:
    ConsoleEvents()
    {
        s_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        s_restored = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    }
    ~ConsoleEvents()
    {
        SetEvent(s_restored);
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        CloseHandle(s_stop);
        CloseHandle(s_restored);
    }
    ConsoleEvents(const ConsoleEvents&) = delete;
    ConsoleEvents& operator=(const ConsoleEvents&) = delete;
    HANDLE stop() const { return s_stop; }
};

struct Screenshot {
    OutputFile* file;
    bool saved;
};

// What the screen showed when the time was up, before the program is ended.
void takeScreenshot(void* context)
{
    auto* shot = static_cast<Screenshot*>(context);
    RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    shot->saved = saveScreenshot(screen, *shot->file);
}

nlohmann::ordered_json clearingJson(const stagehand::DesktopClearing::Outcome& outcome)
{
    nlohmann::ordered_json late = nlohmann::ordered_json::array();
    for (unsigned int i = 0; i < outcome.unresponsivePrograms.size(); ++i)
        late.push_back(outcome.unresponsivePrograms[i].toUtf8());
    return {{"windows", outcome.windows},
            {"programs", outcome.programs},
            {"unresponsive", outcome.unresponsive.size()},
            {"unresponsivePrograms", late}};
}

std::string statusText(DWORD code)
{
    char text[32];
    // A crash's NTSTATUS reads better in hexadecimal.
    std::snprintf(text, sizeof text, code >= 0xC0000000 ? "%lu (0x%08lX)" : "%lu", code, code);
    return text;
}

}  // namespace

CLI::App* addRunCommand(CLI::App& tool, RunOptions& options)
{
    CLI::App* run = tool.add_subcommand("run", "runs PROGRAM with its arguments on a prepared desktop: the other "
                                               "programs' windows hidden, the screen saver off, the display on; gives "
                                               "it all back however PROGRAM ends, and exits with its status (124: "
                                               "timed out, 125: stagehand failed, 126: cannot start, 127: not found)");
    run->add_option("--spare", options.spare, "an executable name whose windows stay visible; repeatable")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(1)
        ->allow_extra_args(false)
        ->check(notEmpty("an executable name, such as explorer.exe"));
    run->add_option("--timeout", options.timeout, "end PROGRAM, and its processes, after this many seconds")
        ->check(CLI::Range(1u, kMaxTimeout));
    run->add_option("--screenshot", options.screenshot, "with --timeout: save the screen as a PNG file when the time "
                                                        "is up, before PROGRAM is ended")
        ->check(notEmpty("a file name"));
    run->add_option("--report", options.report, "write what happened as JSON to this file")->check(notEmpty("a file name"));
    // PROGRAM and its arguments are passed through as they are; '--' is needed only before a
    // PROGRAM whose name starts with a dash.
    run->prefix_command();
    run->footer("usage: stagehand run [OPTIONS] [--] PROGRAM [ARGUMENTS...]");
    return run;
}

int runProgram(const CLI::App& command, const RunOptions& options)
{
    std::vector<std::wstring> arguments;
    for (const std::string& argument : options.command.empty() ? command.remaining() : options.command)
        arguments.push_back(wide(argument));
    if (arguments.empty() || arguments[0].empty())
        throw UsageError("run needs a program: stagehand run [OPTIONS] [--] PROGRAM [ARGUMENTS...]");
    std::unique_ptr<OutputFile> report, screenshot;
    if (!options.report.empty())
        report = std::make_unique<OutputFile>(wide(options.report), "report");
    if (!options.screenshot.empty())
        screenshot = std::make_unique<OutputFile>(wide(options.screenshot), "screenshot");

    stagehand::TestRun::Options run;
    for (const std::string& name : options.spare)
        run.spare.append(name.c_str());
    if (HWND console = GetConsoleWindow())
        run.spareWindows.append(console);
    run.timeout = options.timeout ? options.timeout * 1000 : INFINITE;
    Screenshot shot = {screenshot.get(), false};
    if (screenshot) {
        run.timedOut = takeScreenshot;
        run.context = &shot;
    }
    ConsoleEvents events;
    run.stop = events.stop();
    std::wstring line = commandLine(arguments);
    stagehand::TestRun::Outcome outcome = stagehand::TestRun::run(vela::String(utf8(line).c_str()), run);

    typedef stagehand::TestRun::Outcome Outcome;
    std::string program = utf8(arguments[0]);
    if (outcome.ending == Outcome::NOT_FOUND || outcome.ending == Outcome::NOT_STARTED ||
        outcome.ending == Outcome::FAILED) {
        std::fprintf(stderr, "stagehand run: %s %s: %s\n", program.c_str(),
                     outcome.ending == Outcome::NOT_FOUND     ? "was not found"
                     : outcome.ending == Outcome::NOT_STARTED ? "could not be started"
                                                              : "could not be run in a job",
                     systemMessage(outcome.error).c_str());
        return outcome.ending == Outcome::NOT_FOUND ? kNotFound : outcome.ending == Outcome::NOT_STARTED ? kCannotStart
                                                                                                          : kRunFailed;
    }
    bool exited = outcome.ending == Outcome::EXITED;
    int status = exited ? static_cast<int>(outcome.exitCode) : kTimedOut;
    std::string ended = exited ? "exited with " + statusText(outcome.exitCode)
                               : "was ended (status " + std::to_string(kTimedOut) + ")";
    std::fprintf(stderr, "stagehand run: %s %s after %.2f s; %u windows of %u programs hidden and shown again\n",
                 program.c_str(), ended.c_str(), outcome.milliseconds / 1000.0, outcome.hidden.windows,
                 outcome.hidden.programs);
    if (screenshot && !exited && !shot.saved)
        std::fprintf(stderr, "stagehand run: the screenshot could not be saved\n");
    if (report) {
        nlohmann::ordered_json json = {{"program", program},
                                       {"commandLine", utf8(line)},
                                       {"ending", exited ? "exited" : "ended"},
                                       {"status", status},
                                       {"exitCode", outcome.exitCode},
                                       {"seconds", outcome.milliseconds / 1000.0},
                                       {"hidden", clearingJson(outcome.hidden)},
                                       {"shown", clearingJson(outcome.shown)}};
        std::string text = json.dump(2) + "\n";
        if (!report->write(text.data(), text.size()))
            std::fprintf(stderr, "stagehand run: the report could not be written\n");
    }
    return status;
}
