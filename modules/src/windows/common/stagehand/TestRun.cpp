#include <stagehand/TestRun.h>

#include <stagehand/ScreenSaverHold.h>

#include "LogCodes.h"
#include "UniqueHandle.h"

#include <vela/ClassLogger.h>

#include <vector>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.TestRun");

// Crash dialogs, and the dialogs of a missing disk or file, would wait for a click.
const UINT kNoDialogs = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;

// How long an ended job's processes may take to go.
const DWORD kEndBound = 5000;

// A job that ends every process in it when its last handle closes: when this process ends,
// however it ends, the test goes with it.
HANDLE killingJob()
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        vela::LastErrorKeeper keep;
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

}  // namespace

TestRun::Options::Options() : timeout(INFINITE), stop(nullptr), timedOut(nullptr), context(nullptr) {}

TestRun::Options::Options(const Options& other) = default;

TestRun::Options& TestRun::Options::operator=(const Options& other) = default;

TestRun::Options::~Options() = default;

TestRun::Outcome::Outcome() : ending(FAILED), exitCode(0), error(0), milliseconds(0) {}

TestRun::Outcome::Outcome(const Outcome& other) = default;

TestRun::Outcome& TestRun::Outcome::operator=(const Outcome& other) = default;

TestRun::Outcome::~Outcome() = default;

TestRun::Outcome TestRun::run(const String& commandLine, const Options& options)
{
    Outcome outcome;
    KernelHandle job(killingJob());
    if (!job.valid()) {
        outcome.error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kJobNotMade, "CreateJobObject failed ",
                  static_cast<unsigned int>(outcome.error));
        return outcome;
    }
    // Started suspended, before anything changes: a program that cannot start changes
    // nothing, and one that can opens its windows after the table is built.
    std::vector<wchar_t> line(commandLine.wide(), commandLine.wide() + commandLine.size() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    UINT mode = GetErrorMode();
    SetErrorMode(mode | kNoDialogs);
    BOOL created = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                                  &startup, &started);
    outcome.error = created ? 0 : GetLastError();
    SetErrorMode(mode);
    if (!created) {
        bool missing = outcome.error == ERROR_FILE_NOT_FOUND || outcome.error == ERROR_PATH_NOT_FOUND;
        outcome.ending = missing ? Outcome::NOT_FOUND : Outcome::NOT_STARTED;
        return outcome;
    }
    KernelHandle process(started.hProcess), thread(started.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        outcome.error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kJobNotJoined, "AssignProcessToJobObject failed ",
                  static_cast<unsigned int>(outcome.error));
        TerminateProcess(process.get(), ERROR_CANCELLED);
        return outcome;
    }

    ScreenSaverHold hold;
    hold.take();
    DesktopClearing clearing;
    outcome.hidden = clearing.hideAllExcept(options.spare, options.spareWindows);
    ULONGLONG start = GetTickCount64();
    // A program that never runs, or a wait that fails, would be waited for without end.
    DWORD waited = WAIT_FAILED;
    if (ResumeThread(thread.get()) != static_cast<DWORD>(-1)) {
        HANDLE ends[] = {process.get(), options.stop};
        waited = WaitForMultipleObjects(options.stop ? 2 : 1, ends, FALSE, options.timeout);
    }
    outcome.ending = waited == WAIT_OBJECT_0 ? Outcome::EXITED : Outcome::TIMED_OUT;
    if (waited == WAIT_FAILED) {
        outcome.error = GetLastError();
        outcome.ending = Outcome::NOT_STARTED;
        s_log.log(LoggerPriority::FAILURE, logcode::kNotRunOrWaited,
                  "The program could not be run or waited for (error ", static_cast<unsigned int>(outcome.error),
                  "): it is ended");
    }
    if (outcome.ending != Outcome::EXITED) {
        if (waited == WAIT_TIMEOUT && options.timedOut)
            options.timedOut(options.context);
        TerminateJobObject(job.get(), ERROR_TIMEOUT);
        WaitForSingleObject(process.get(), kEndBound);
    }
    outcome.milliseconds = GetTickCount64() - start;
    GetExitCodeProcess(process.get(), &outcome.exitCode);
    outcome.shown = clearing.restore();
    return outcome;
}

}  // namespace stagehand
