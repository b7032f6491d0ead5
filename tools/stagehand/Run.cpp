#include "Run.h"

#include "CommandLine.h"
#include "Interruption.h"
#include "JUnitReport.h"
#include "OutputFile.h"
#include "RunRecord.h"
#include "RunReport.h"
#include "Screenshot.h"
#include "Text.h"
#include "UsageError.h"

#include <stagehand/TestRun.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <regex>

namespace {

const unsigned int kMaxTimeout = 7 * 24 * 3600;

// ADAPTER=WIDTHxHEIGHT[@HZ]
const std::regex kMode("(.+)=([1-9][0-9]{0,4})x([1-9][0-9]{0,4})(?:@([0-9]{1,4}))?");

stagehand::AdapterMode parseMode(const std::string& text)
{
    std::smatch parts;
    std::regex_match(text, parts, kMode);
    unsigned int refresh = parts[4].matched ? static_cast<unsigned int>(std::stoul(parts[4])) : 0;
    return {parts[1].str().c_str(),
            {static_cast<unsigned int>(std::stoul(parts[2])), static_cast<unsigned int>(std::stoul(parts[3])), refresh,
             0}};
}

struct Shot {
    OutputFile* file;
    bool saved;
};

// What the screen showed when the time was up, before the program is ended.
void takeScreenshot(void* context)
{
    auto* shot = static_cast<Shot*>(context);
    RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    shot->saved = saveScreenshot(screen, *shot->file);
}

std::string utcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

std::unique_ptr<OutputFile> outputFile(const std::string& path, const char* what)
{
    return path.empty() ? nullptr : std::make_unique<OutputFile>(wide(path), what);
}

// How TestRun's outcome reads in the record, and what `stagehand run` exits with.
void record(RunRecord& run, const stagehand::TestRun::Outcome& outcome, bool interrupted)
{
    typedef stagehand::TestRun::Outcome Outcome;
    const std::string& program = run.command[0];
    run.seconds = outcome.milliseconds / 1000.0;
    run.modes = outcome.modes;
    run.hidden = outcome.hidden;
    run.shown = outcome.shown;
    run.status = static_cast<DWORD>(outcome.exitStatus());
    if (outcome.ending == Outcome::EXITED) {
        run.exitCode = outcome.exitCode;
        run.outcome = RunRecord::EXITED;
        run.verdict = "exited with " + statusText(outcome.exitCode);
    }
    if (interrupted && (outcome.ending == Outcome::EXITED || outcome.ending == Outcome::TIMED_OUT ||
                        outcome.ending == Outcome::DESKTOP_BUSY)) {
        run.outcome = RunRecord::INTERRUPTED;
        run.status = kInterrupted;
        run.verdict = outcome.ending == Outcome::DESKTOP_BUSY
                          ? "was interrupted while it waited for the desktop, held by " +
                                outcome.hidden.desktopHolder.toUtf8() + ": it was not run"
                          : "was interrupted and " + (run.exitCode ? run.verdict : "ended");
        return;
    }
    switch (outcome.ending) {
    case Outcome::EXITED: break;
    case Outcome::TIMED_OUT:
        run.outcome = RunRecord::TIMED_OUT;
        run.verdict = "was ended at its timeout of " + std::to_string(run.timeout) + " s";
        break;
    case Outcome::NOT_FOUND:
        run.outcome = RunRecord::NOT_FOUND;
        run.verdict = "was not found: " + systemMessage(outcome.error, program);
        break;
    case Outcome::NOT_STARTED:
        run.outcome = RunRecord::NOT_STARTED;
        run.verdict = "could not be started: " + systemMessage(outcome.error, program);
        break;
    case Outcome::DESKTOP_BUSY:
        run.verdict = "was not run: the desktop is held by " + outcome.hidden.desktopHolder.toUtf8();
        break;
    case Outcome::MODE_REFUSED:
        run.verdict = "was not run: " + outcome.problem.toUtf8();
        break;
    case Outcome::FAILED:
        run.verdict = "could not be run in a job: " + systemMessage(outcome.error);
    }
}

// Runs the program of the record on a prepared desktop, and records what happened.
void runOnDesktop(RunRecord& run, const RunOptions& options, OutputFile* screenshot, Interruption& interruption)
{
    stagehand::TestRun::Options prepared;
    run.spared = matchSpareNames(options.spare);
    for (const SpareName& name : run.spared) {
        if (name.executables.empty())
            std::fprintf(stderr, "stagehand run: --spare %s matches no running program\n", name.given.c_str());
        for (const std::string& executable : name.executables)
            prepared.spare.append(executable.c_str());
    }
    if (HWND console = GetConsoleWindow())
        prepared.spareWindows.append(console);
    for (const std::string& mode : options.modes)
        prepared.modes.append(parseMode(mode));
    prepared.timeout = options.timeout ? options.timeout * 1000 : INFINITE;
    prepared.desktopWait = options.wait * 1000;
    Shot shot = {screenshot, false};
    if (screenshot) {
        prepared.timedOut = takeScreenshot;
        prepared.context = &shot;
    }
    prepared.stop = interruption.stop();
    stagehand::TestRun::Outcome outcome = stagehand::TestRun::run(vela::String(run.commandLine.c_str()), prepared);
    interruption.runEnded();
    record(run, outcome, interruption.happened());
    run.screenshotTaken = shot.saved;
    if (screenshot && outcome.ending == stagehand::TestRun::Outcome::TIMED_OUT && !shot.saved)
        std::fprintf(stderr, "stagehand run: the screenshot could not be saved%s%s\n",
                     screenshot->problem().empty() ? "" : ": ", screenshot->problem().c_str());
}

}  // namespace

CLI::App* addRunCommand(CLI::App& tool, RunOptions& options)
{
    CLI::App* run = tool.add_subcommand("run", "runs PROGRAM with its arguments on a prepared desktop: the other "
                                               "programs' windows hidden, the screen saver off, the display on; gives "
                                               "it all back however PROGRAM ends, and exits with its status (124: "
                                               "timed out, 125: stagehand failed or a bad command line, 126: cannot "
                                               "start, 127: not found, 130: interrupted)");
    run->add_option("--spare", options.spare, "a program whose windows stay visible: its executable's name, with or "
                                              "without .exe, or its path; repeatable")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(1)
        ->allow_extra_args(false)
        ->check(notEmpty("an executable name, such as explorer.exe"));
    run->add_option("--mode", options.modes, "hold a display mode while PROGRAM runs: ADAPTER=WIDTHxHEIGHT[@HZ], "
                                             "such as \\\\.\\DISPLAY2=1280x720@60 (any refresh rate without "
                                             "@HZ); repeatable, one per adapter")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(1)
        ->allow_extra_args(false)
        ->check(CLI::Validator(
            [](std::string& value) {
                return std::regex_match(value, kMode) ? std::string()
                                                      : "'" + value + "' is not ADAPTER=WIDTHxHEIGHT[@HZ]";
            },
            "", "a display mode"));
    run->add_option("--timeout", options.timeout, "end PROGRAM, and its processes, after this many seconds")
        ->check(CLI::Range(1u, kMaxTimeout));
    run->add_option("--screenshot", options.screenshot, "with --timeout: save the screen as a PNG file when the time "
                                                        "is up, before PROGRAM is ended")
        ->check(notEmpty("a file name"));
    run->add_option("--wait", options.wait,
                    "wait this many seconds at most while another test holds the desktop "
                    "(default 600; 0: do not wait), then exit with 125")
        ->check(CLI::Range(0u, kMaxTimeout));
    run->add_option("--report", options.report, "write what happened as JSON to this file, however the run ends")
        ->check(notEmpty("a file name"));
    run->add_option("--junit", options.junit, "write what happened as JUnit XML to this file, however the run ends")
        ->check(notEmpty("a file name"));
    run->add_option("--name", options.name, "the test's name in the reports (default: PROGRAM)")
        ->check(notEmpty("a name"));
    run->footer("usage: stagehand run [OPTIONS] [--] PROGRAM [ARGUMENTS...]\nThe options come before PROGRAM; every "
                "word after it is one of its arguments, '--' too.");
    return run;
}

int runProgram(const RunOptions& options)
{
    if (options.command.empty() || options.command[0].empty())
        throw UsageError("run needs a program: stagehand run [OPTIONS] [--] PROGRAM [ARGUMENTS...]");
    if (!options.screenshot.empty() && options.timeout == 0)
        throw UsageError("--screenshot needs --timeout: the screen is saved when the time is up");
    RunRecord run;
    run.name = options.name.empty() ? options.command[0] : options.name;
    run.command = options.command;
    std::vector<std::wstring> arguments;
    for (const std::string& argument : options.command)
        arguments.push_back(wide(argument));
    run.commandLine = utf8(commandLine(arguments));
    run.timeout = options.timeout;
    run.start = utcNow();

    // Until the reports are written and the files beside them gone: a closing console waits.
    Interruption interruption;
    // Every file is made before the desktop changes. One that cannot be fails the run, which
    // the others still report.
    std::unique_ptr<OutputFile> report = outputFile(options.report, "report");
    std::unique_ptr<OutputFile> junit = outputFile(options.junit, "JUnit report");
    std::unique_ptr<OutputFile> screenshot = outputFile(options.screenshot, "screenshot");
    if (screenshot)
        run.screenshot = utf8(screenshot->path());
    std::string problem;
    for (const OutputFile* file : {report.get(), junit.get(), screenshot.get()})
        if (file && !file->ready() && problem.empty())
            problem = file->problem();

    if (problem.empty())
        runOnDesktop(run, options, screenshot.get(), interruption);
    else
        run.verdict = "was not run: " + problem;
    std::fprintf(stderr, "stagehand run: %s\n", run.summary().c_str());
    for (const auto& [file, text] : {std::make_pair(report.get(), jsonReport(run)),
                                     std::make_pair(junit.get(), junitReport(run))})
        if (file && file->ready() && !file->write(text.data(), text.size()))
            std::fprintf(stderr, "stagehand run: %s\n", file->problem().c_str());
    return static_cast<int>(run.status);
}
