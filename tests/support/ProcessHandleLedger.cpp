#include "ProcessHandleLedger.h"

namespace {

std::multiset<HANDLE> g_open;
int g_opened;
int g_closed;
int g_stray;
decltype(&OpenProcess) g_realOpen;
decltype(&CloseHandle) g_realClose;

HANDLE WINAPI recordOpen(DWORD access, BOOL inherit, DWORD pid)
{
    HANDLE process = g_realOpen(access, inherit, pid);
    if (process) {
        g_open.insert(process);
        ++g_opened;
    }
    return process;
}

BOOL WINAPI recordClose(HANDLE handle)
{
    auto at = g_open.find(handle);
    if (at == g_open.end())
        ++g_stray;
    else
        g_open.erase(at);
    ++g_closed;
    return g_realClose(handle);
}

}  // namespace

ProcessHandleLedger::ProcessHandleLedger()
    : m_open(stagehandModule(), "kernel32.dll", "OpenProcess", &recordOpen, g_realOpen),
      m_close(GetModuleHandleW(L"vela.dll"), "kernel32.dll", "CloseHandle", &recordClose, g_realClose)
{
    g_open.clear();
    g_opened = g_closed = g_stray = 0;
}

const std::multiset<HANDLE>& ProcessHandleLedger::open() const
{
    return g_open;
}

int ProcessHandleLedger::opened() const
{
    return g_opened;
}

int ProcessHandleLedger::closed() const
{
    return g_closed;
}

int ProcessHandleLedger::strayCloses() const
{
    return g_stray;
}
