#include "Interruption.h"

namespace {

Interruption* s_current = nullptr;

// How long a program may take to end by itself after the event, as shells give it.
const DWORD kGrace = 2000;
// A closing console ends this process about five seconds after the event, handler or not.
const DWORD kCloseBound = 4500;

}  // namespace

Interruption::Interruption()
    : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    s_current = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

Interruption::~Interruption()
{
    // A handler that is waiting returns before this goes: the system holds its lock until then.
    SetEvent(m_ended.get());
    SetEvent(m_done.get());
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    s_current = nullptr;
}

void Interruption::runEnded()
{
    SetEvent(m_ended.get());
}

bool Interruption::happened() const
{
    return m_happened != 0;
}

BOOL WINAPI Interruption::onConsoleEvent(DWORD event)
{
    Interruption* run = s_current;
    if (!run)
        return FALSE;
    InterlockedExchange(&run->m_happened, 1);
    if (WaitForSingleObject(run->m_ended.get(), kGrace) == WAIT_TIMEOUT)
        SetEvent(run->m_stop.get());
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        WaitForSingleObject(run->m_done.get(), kCloseBound - kGrace);
    return TRUE;
}
