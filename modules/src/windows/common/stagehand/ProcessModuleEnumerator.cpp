#include <stagehand/ProcessModuleEnumerator.h>

#include "LogCodes.h"
#include "ProcessAccess.h"

#include <vela/ClassLogger.h>

#include <psapi.h>

using vela::LoggerPriority;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.ProcessModuleEnumerator");

}  // namespace

ProcessModuleEnumerator::ProcessModuleEnumerator() : m_processHandle(static_cast<HANDLE>(nullptr)) {}

ProcessModuleEnumerator::ProcessModuleEnumerator(const ProcessModuleEnumerator& other) = default;

ProcessModuleEnumerator& ProcessModuleEnumerator::operator=(const ProcessModuleEnumerator& other) = default;

ProcessModuleEnumerator::~ProcessModuleEnumerator() = default;

vela::String executableName(DWORD pid)
{
    return executableName(ProcessHandle(openProcessForModules(pid)).get());
}

bool ProcessModuleEnumerator::enumerate(DWORD pid)
{
    m_processHandle.reset();
    m_processHandle = ProcessHandle(openProcessForModules(pid));
    HANDLE process = m_processHandle.get();
    if (!process)
        return false;

    // The system may list more modules than the buffer holds: double it until they fit.
    vela::Array<HINSTANCE> buffer;
    unsigned int count = 0;
    unsigned int length = 512;
    bool listed;
    do {
        length *= 2;
        buffer.clear();
        buffer.appendDefault(length);
        DWORD bytes = 0;
        listed = EnumProcessModules(process, buffer.data(), length * sizeof(HINSTANCE), &bytes) != 0;
        count = listed ? bytes / sizeof(HINSTANCE) : 0;
    } while (listed && count >= length);

    m_modules.clear();
    m_moduleNames.clear();
    if (!listed) {
        s_log.log(LoggerPriority::FAILURE, logcode::kEnumProcessModulesFails, "EnumProcessModules failed");
        return true;
    }
    for (unsigned int i = 0; i < count; ++i) {
        HINSTANCE module = buffer[i];
        if (!module)
            continue;
        m_modules.append(module);
        wchar_t name[MAX_PATH];
        DWORD nameLength = GetModuleBaseNameW(process, module, name, MAX_PATH);
        if (nameLength == 0) {
            DWORD nameError = GetLastError();
            s_log.log(LoggerPriority::FAILURE, logcode::kModuleBaseNameFails, "GetModuleBaseName failed ", nameError);
            continue;
        }
        m_moduleNames.append(vela::String(reinterpret_cast<const unsigned short*>(name), nameLength));
        s_log.log(LoggerPriority::DETAIL, logcode::kModuleName, "Module name ",
                  m_moduleNames[m_moduleNames.size() - 1]);
    }
    return true;
}

const vela::Array<HINSTANCE>& ProcessModuleEnumerator::modules() const
{
    return m_modules;
}

const vela::Array<vela::String>& ProcessModuleEnumerator::moduleNames() const
{
    return m_moduleNames;
}

unsigned int ProcessModuleEnumerator::numModules() const
{
    return m_modules.size();
}

ProcessHandle ProcessModuleEnumerator::processHandle() const
{
    return m_processHandle;
}

}  // namespace stagehand
