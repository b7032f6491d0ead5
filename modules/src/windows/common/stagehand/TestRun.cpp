#include <stagehand/TestRun.h>

#include <stagehand/ScreenSaverHold.h>

#include "DesktopLock.h"
#include "LogCodes.h"
#include "UniqueHandle.h"

#include <vela/ClassLogger.h>

#include <cwchar>
#include <memory>
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

// The error mode that a program started meanwhile inherits; the caller's comes back after.
class ErrorMode {
public:
    explicit ErrorMode(UINT added) : m_mode(GetErrorMode()) { SetErrorMode(m_mode | added); }
    ~ErrorMode() { SetErrorMode(m_mode); }
    ErrorMode(const ErrorMode&) = delete;
    ErrorMode& operator=(const ErrorMode&) = delete;

private:
    UINT m_mode;
};

// The standard handles of this process as inheritable copies, the only handles a program
// started with them inherits: whatever else the harness holds inheritable stays its own.
class StandardHandles {
public:
    StandardHandles()
    {
        const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (int i = 0; i < 3; ++i) {
            HANDLE handle = GetStdHandle(kinds[i]);
            m_given[i] = nullptr;
            for (int k = 0; k < i && !m_given[i]; ++k)
                if (m_original[k] == handle)
                    m_given[i] = m_given[k];
            m_original[i] = handle;
            HANDLE copy = nullptr;
            if (!m_given[i] && handle && handle != INVALID_HANDLE_VALUE &&
                DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                                DUPLICATE_SAME_ACCESS)) {
                m_copies[i].reset(copy);
                m_given[i] = copy;
                m_list.push_back(copy);
            }
        }
    }
    StandardHandles(const StandardHandles&) = delete;
    StandardHandles& operator=(const StandardHandles&) = delete;

    // Sets the startup information to pass them, and nothing else; false when there is none.
    bool passIn(STARTUPINFOEXW& startup, LPPROC_THREAD_ATTRIBUTE_LIST attributes)
    {
        if (m_list.empty() || !attributes ||
            !UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_list.data(),
                                       m_list.size() * sizeof(HANDLE), nullptr, nullptr))
            return false;
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = m_given[0];
        startup.StartupInfo.hStdOutput = m_given[1];
        startup.StartupInfo.hStdError = m_given[2];
        startup.lpAttributeList = attributes;
        return true;
    }

private:
    HANDLE m_original[3];
    HANDLE m_given[3];
    KernelHandle m_copies[3];
    std::vector<HANDLE> m_list;
};

// A list of one process-and-thread attribute, deleted with the object.
class AttributeList {
public:
    AttributeList()
    {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        m_list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (size == 0 || !InitializeProcThreadAttributeList(m_list, 1, 0, &size))
            m_list = nullptr;
    }
    ~AttributeList()
    {
        if (m_list)
            DeleteProcThreadAttributeList(m_list);
    }
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return m_list; }

private:
    std::vector<BYTE> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list;
};

// This process's environment, with the desktop's holder named (or no holder, for an empty value).
std::vector<wchar_t> environmentWith(const String& holder)
{
    std::wstring name = std::wstring(DesktopLock::kHolderVariable) + L"=";
    std::vector<wchar_t> block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry && *entry; entry += std::wcslen(entry) + 1)
        if (_wcsnicmp(entry, name.c_str(), name.size()) != 0)
            block.insert(block.end(), entry, entry + std::wcslen(entry) + 1);
    if (strings)
        FreeEnvironmentStringsW(strings);
    if (!holder.empty()) {
        block.insert(block.end(), name.begin(), name.end());
        block.insert(block.end(), holder.wide(), holder.wide() + holder.size() + 1);
    }
    block.push_back(L'\0');
    return block;
}

// Why the modes cannot be held: an adapter asked twice, or a mode that check() refuses.
// Empty when they can.
String refusedModes(const vela::Array<AdapterMode>& modes)
{
    for (unsigned int i = 0; i < modes.size(); ++i) {
        for (unsigned int k = 0; k < i; ++k)
            if (String::compareNoCase(modes[k].adapterId, modes[i].adapterId) == 0)
                return String("two display modes for ").append(modes[i].adapterId);
        String problem;
        if (DisplayModeHold::check(modes[i].adapterId, modes[i].mode, problem) != DisplayModeHold::HELD)
            return problem;
    }
    return String();
}

// Sets the modes in order; false, with the outcome saying why, at the first that is refused.
bool holdModes(const vela::Array<AdapterMode>& modes, std::vector<std::unique_ptr<DisplayModeHold>>& holds,
               TestRun::Outcome& outcome)
{
    for (unsigned int i = 0; i < modes.size(); ++i) {
        holds.push_back(std::make_unique<DisplayModeHold>());
        if (holds.back()->take(modes[i].adapterId, modes[i].mode) != DisplayModeHold::HELD) {
            outcome.ending = TestRun::Outcome::MODE_REFUSED;
            outcome.problem = holds.back()->problem();
            return false;
        }
        outcome.modes.append(AdapterMode{holds.back()->adapterId(), holds.back()->mode()});
    }
    return true;
}

}  // namespace

TestRun::Options::Options()
    : desktopWait(DesktopClearing::kDefaultDesktopWait), timeout(INFINITE), stop(nullptr), timedOut(nullptr),
      context(nullptr)
{
}

TestRun::Options::Options(const Options& other) = default;

TestRun::Options& TestRun::Options::operator=(const Options& other) = default;

TestRun::Options::~Options() = default;

TestRun::Outcome::Outcome() : ending(FAILED), exitCode(0), error(0), milliseconds(0) {}

TestRun::Outcome::Outcome(const Outcome& other) = default;

TestRun::Outcome& TestRun::Outcome::operator=(const Outcome& other) = default;

TestRun::Outcome::~Outcome() = default;

int TestRun::Outcome::exitStatus() const
{
    switch (ending) {
    case EXITED: return static_cast<int>(exitCode);
    case TIMED_OUT: return kTimedOut;
    case NOT_FOUND: return kNotFound;
    case NOT_STARTED: return kNotStarted;
    case FAILED:
    case DESKTOP_BUSY:
    case MODE_REFUSED: break;
    }
    return kFailed;
}

TestRun::Outcome TestRun::run(const String& commandLine, const Options& options)
{
    Outcome outcome;
    outcome.problem = refusedModes(options.modes);
    if (!outcome.problem.empty()) {
        outcome.ending = Outcome::MODE_REFUSED;
        return outcome;
    }
    KernelHandle job(killingJob());
    if (!job.valid()) {
        outcome.error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kJobNotMade, "CreateJobObject failed ",
                  static_cast<unsigned int>(outcome.error));
        return outcome;
    }
    // The desktop first, then the program started suspended, before anything changes: a
    // program that cannot start changes nothing, and one that can opens its windows after
    // the table is built.
    DesktopClearing clearing;
    clearing.setDesktopWait(options.desktopWait);
    clearing.setDesktopStop(options.stop);
    outcome.hidden = clearing.prepare();
    if (!outcome.hidden.desktopHolder.empty()) {
        outcome.ending = Outcome::DESKTOP_BUSY;
        return outcome;
    }
    std::vector<wchar_t> line(commandLine.wide(), commandLine.wide() + commandLine.size() + 1);
    std::vector<wchar_t> environment = environmentWith(clearing.desktopHoldValue());
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    StandardHandles handles;
    AttributeList attributes;
    bool inherit = handles.passIn(startup, attributes.get());
    PROCESS_INFORMATION started = {};
    BOOL created;
    {
        ErrorMode noDialogs(kNoDialogs);
        created = CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit,
                                 CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
                                 environment.data(), nullptr, &startup.StartupInfo, &started);
        outcome.error = created ? 0 : GetLastError();
    }
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

    outcome.hidden = clearing.hideAllExcept(options.spare, options.spareWindows);
    // Given back before the windows are shown again.
    std::vector<std::unique_ptr<DisplayModeHold>> modes;
    if (!holdModes(options.modes, modes, outcome)) {
        TerminateProcess(process.get(), ERROR_CANCELLED);
        modes.clear();
        outcome.shown = clearing.restore();
        return outcome;
    }
    ScreenSaverHold hold;
    hold.take();
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
        s_log.log(LoggerPriority::FAILURE, logcode::kNotRunOrWaited, "The program could not be run or waited for (error ",
                  static_cast<unsigned int>(outcome.error), "): it is ended");
    }
    if (outcome.ending != Outcome::EXITED) {
        if (waited == WAIT_TIMEOUT && options.timedOut)
            options.timedOut(options.context);
        TerminateJobObject(job.get(), ERROR_TIMEOUT);
        WaitForSingleObject(process.get(), kEndBound);
    }
    outcome.milliseconds = GetTickCount64() - start;
    GetExitCodeProcess(process.get(), &outcome.exitCode);
    modes.clear();
    outcome.shown = clearing.restore();
    return outcome;
}

}  // namespace stagehand
