#include <stagehand/ProcessEnumerator.h>

#include <stagehand/ProcessModuleEnumerator.h>

#include "LogCodes.h"

#include <vela/ClassLogger.h>
#include <vela/TraceLogger.h>

#include <psapi.h>

namespace stagehand {

namespace {
vela::ClassLogger s_log("stagehand.ProcessEnumerator");
}

ProcessEnumerator::ProcessEnumerator() : m_numPids(0) {}

ProcessEnumerator::ProcessEnumerator(const ProcessEnumerator& other) = default;

ProcessEnumerator& ProcessEnumerator::operator=(const ProcessEnumerator& other) = default;

ProcessEnumerator::~ProcessEnumerator() = default;

bool ProcessEnumerator::enumerate()
{
    vela::TraceLogger trace(s_log.traceLogger(), "enumerate", __FILE__, 13);
    m_numPids = 0;
    unsigned int length = 512;
    do {
        length *= 2;
        m_processIds.clear();
        m_processIds.appendDefault(length);
        if (!EnumProcesses(m_processIds.data(), length * sizeof(DWORD), &m_numPids)) {
            DWORD error = GetLastError();
            // A failed call leaves no count worth reading.
            m_numPids = 0;
            s_log.log(vela::LoggerPriority::FAILURE, logcode::kEnumProcessesFails, "EnumProcesses fails ", error);
            return false;
        }
        m_numPids >>= 2;
    } while (m_numPids == length);
    return true;
}

unsigned int ProcessEnumerator::numPids() const
{
    return m_numPids;
}

const vela::Array<DWORD>& ProcessEnumerator::processIds() const
{
    return m_processIds;
}

bool processExists(DWORD pid)
{
    ProcessHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    return process.get() || GetLastError() == ERROR_ACCESS_DENIED;  // denied: there, but another user's
}

}  // namespace stagehand
