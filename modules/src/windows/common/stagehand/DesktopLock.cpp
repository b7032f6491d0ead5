#include "DesktopLock.h"

#include <stagehand/DesktopRecovery.h>

#include "ExclusiveLock.h"
#include "LogCodes.h"
#include "ProcessAccess.h"
#include "ProcessIdentity.h"
#include "UniqueHandle.h"

#include <vela/ClassLogger.h>

#include <cstdio>
#include <cwchar>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

const wchar_t DesktopLock::kHolderVariable[] = L"STAGEHAND_DESKTOP_HOLDER";

namespace {

vela::ClassLogger s_log("stagehand.DesktopLock");

// The holder, in a section of the session's namespace; pid 0 when no one holds the desktop.
struct Record {
    std::uint32_t pid;
    std::uint32_t takes;  // of the holder's clearings, over its copies of the library
    std::uint64_t created;
    FILETIME since;
    wchar_t executable[MAX_PATH];
};

const wchar_t kRecordName[] = L"Local\\stagehand-desktop-holder";
const wchar_t kGuardName[] = L"Local\\stagehand-desktop-guard";

// The guard is held for a few reads and writes of the record; a process that holds it longer
// is hung or debugged, and is waited for no longer than this.
const DWORD kGuardBound = 500;
// How often a waiting taker looks again.
const DWORD kPoll = 20;

// Said once while the lock stays unusable.
bool s_unusableTold = false;

// The kernel objects, opened by the first take and kept while the library is loaded: the
// record lives as long as a process has it open, so a holder keeps it.
SRWLOCK s_openLock = SRWLOCK_INIT;
KernelHandle s_guard;
KernelHandle s_section;

// Opens the kernel objects unless they are; the Windows error code.
DWORD openObjects()
{
    ExclusiveLock only(s_openLock);
    if (!s_guard.valid())
        s_guard.reset(CreateMutexW(nullptr, FALSE, kGuardName));
    if (s_guard.valid() && !s_section.valid())
        s_section.reset(
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Record), kRecordName));
    return s_guard.valid() && s_section.valid() ? ERROR_SUCCESS : GetLastError();
}

// The record, guarded while this object lives. Not usable, with the Windows error code, when
// the kernel objects cannot be had or the guard stays held.
class GuardedRecord {
public:
    GuardedRecord() : m_record(nullptr), m_error(openObjects()), m_locked(false)
    {
        if (m_error != ERROR_SUCCESS)
            return;
        DWORD waited = WaitForSingleObject(s_guard.get(), kGuardBound);
        // Abandoned, the guard passes on: a record half written names no running holder.
        m_locked = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        if (!m_locked) {
            m_error = waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError();
            return;
        }
        m_record = static_cast<Record*>(MapViewOfFile(s_section.get(), FILE_MAP_WRITE, 0, 0, sizeof(Record)));
        if (!m_record)
            m_error = GetLastError();
    }
    ~GuardedRecord()
    {
        if (m_record)
            UnmapViewOfFile(m_record);
        if (m_locked)
            ReleaseMutex(s_guard.get());
    }
    GuardedRecord(const GuardedRecord&) = delete;
    GuardedRecord& operator=(const GuardedRecord&) = delete;

    Record* get() const { return m_record; }
    DWORD error() const { return m_error; }

private:
    Record* m_record;
    DWORD m_error;
    bool m_locked;
};

bool isSame(const Record& record, const JournalProcess& process)
{
    return record.pid == process.pid && record.created == process.created;
}

JournalProcess holderOf(const Record& record)
{
    JournalProcess holder = {record.pid, record.created};
    return holder;
}

// The holder that a run named in this program's environment.
JournalProcess namedHolder()
{
    wchar_t value[64];
    DWORD n = GetEnvironmentVariableW(DesktopLock::kHolderVariable, value, 64);
    unsigned long pid = 0;
    unsigned long long created = 0;
    JournalProcess holder = {0, 0};
    if (n > 0 && n < 64 && std::swscanf(value, L"%lu-%llu", &pid, &created) == 2) {
        holder.pid = static_cast<std::uint32_t>(pid);
        holder.created = created;
    }
    return holder;
}

// "notepad.exe (pid 1234) since 2026-12-08T09:04:54Z"
String describe(const Record& record)
{
    SYSTEMTIME at = {};
    FileTimeToSystemTime(&record.since, &at);
    wchar_t text[MAX_PATH + 80];
    std::swprintf(text, sizeof text / sizeof text[0], L"%.*ls (pid %lu) since %04u-%02u-%02uT%02u:%02u:%02uZ",
                  static_cast<int>(MAX_PATH), record.executable, static_cast<unsigned long>(record.pid), at.wYear,
                  at.wMonth, at.wDay, at.wHour, at.wMinute, at.wSecond);
    return String(reinterpret_cast<const unsigned short*>(text));
}

void hold(Record& record, const JournalProcess& self)
{
    record.pid = self.pid;
    record.created = self.created;
    record.takes = 1;
    GetSystemTimeAsFileTime(&record.since);
    String name = executableName(GetCurrentProcess());
    size_t n = name.size() < MAX_PATH - 1 ? name.size() : MAX_PATH - 1;
    std::wmemcpy(record.executable, name.wide(), n);
    record.executable[n] = L'\0';
}

// What test programs that ended left changed, a holder of the desktop killed with it among
// them: given back before the desktop is taken, and told of in one line; what cannot be given
// back is told of as still hidden.
void giveBackWhatWasLeft()
{
    DesktopRecovery::Report left = DesktopRecovery::find();
    if (left.folderError != 0)
        s_log.log(LoggerPriority::FAILURE, logcode::kJournalsUnlisted, "The journals cannot be listed in ",
                  left.folder.empty() ? String("a folder of this user's own") : left.folder, " (error ",
                  static_cast<unsigned int>(left.folderError),
                  "): what test programs that ended left is not given back");
    if (left.windowsShown == 0 && !left.screenSaverOn && left.modesRestored == 0)
        return;
    s_log.log(
        LoggerPriority::FAILURE, logcode::kGivenBackFirst, "Test programs that ended left ", left.windowsShown,
        left.windowsShown == 1 ? " window of " : " windows of ", left.programs,
        left.programs == 1 ? " program hidden" : " programs hidden", left.screenSaverOn ? ", the screen saver off" : "",
        left.modesRestored != 0 ? ", display modes changed" : "", ": they are given back before the desktop is taken");
    DesktopRecovery::Report done = DesktopRecovery::restore();
    unsigned int still = left.windowsShown - done.windowsShown;
    if (still != 0)
        s_log.log(LoggerPriority::FAILURE, logcode::kLeftHidden, still, still == 1 ? " window of " : " windows of ",
                  left.programs, left.programs == 1 ? " program is" : " programs are",
                  " still hidden by test programs that ended: run 'stagehand restore' to show them again");
}

}  // namespace

DesktopLock::DesktopLock() : m_state(FREE), m_holder() {}

DesktopLock::~DesktopLock()
{
    release();
}

bool DesktopLock::take(DWORD wait, String& holder, bool look, HANDLE stop)
{
    if (m_state != FREE)
        return true;
    const JournalProcess self = currentProcess();
    const DWORD start = GetTickCount();
    bool told = false;
    String held;  // by whom, while another program holds the desktop
    for (;;) {
        {
            GuardedRecord guarded;
            Record* record = guarded.get();
            // Without its start time, this program could not be told from a later one of its pid.
            DWORD error = self.created == 0 ? GetLastError() : guarded.error();
            if (!record || self.created == 0) {
                if (!s_unusableTold)
                    s_log.log(LoggerPriority::FAILURE, logcode::kLockUnusable,
                              "The desktop lock cannot be used (error ", static_cast<unsigned int>(error),
                              "): the desktop is cleared without it");
                s_unusableTold = true;
                m_state = UNUSED;
                return true;
            }
            s_unusableTold = false;
            if (isSame(*record, self)) {
                ++record->takes;
                m_state = COUNTED;
                m_holder = self;
                return true;
            }
            JournalProcess current = holderOf(*record);
            // A holder that cannot be told ended is taken for running.
            if (current.pid != 0 && liveness(current) != Liveness::ENDED) {
                JournalProcess named = namedHolder();
                if (named.pid == current.pid && named.created == current.created) {
                    m_state = NESTED;
                    m_holder = current;
                    return true;
                }
                held = describe(*record);
            } else {
                hold(*record, self);
                m_state = COUNTED;
                m_holder = self;
            }
        }
        if (m_state == COUNTED) {
            if (look)
                giveBackWhatWasLeft();
            return true;
        }
        DWORD waited = GetTickCount() - start;
        if (waited >= wait || (stop && WaitForSingleObject(stop, 0) != WAIT_TIMEOUT)) {
            s_log.log(LoggerPriority::FAILURE, logcode::kDesktopBusy, "The desktop is held by ", held, " after ",
                      static_cast<unsigned int>(waited / 1000), " s of waiting: nothing was changed");
            holder = held;
            return false;
        }
        if (!told)
            s_log.log(LoggerPriority::FAILURE, logcode::kWaitingForDesktop, "Waiting for the desktop, held by ", held);
        told = true;
        DWORD pause = wait - waited < kPoll ? wait - waited : kPoll;
        if (stop)
            WaitForSingleObject(stop, pause);
        else
            Sleep(pause);
    }
}

void DesktopLock::release()
{
    if (m_state == COUNTED) {
        GuardedRecord guarded;
        Record* record = guarded.get();
        if (record && isSame(*record, m_holder) && record->takes > 0 && --record->takes == 0)
            record->pid = 0;
    }
    m_state = FREE;
}

String DesktopLock::holderValue() const
{
    if (m_state != COUNTED && m_state != NESTED)
        return String();
    char text[48];
    std::snprintf(text, sizeof text, "%lu-%llu", static_cast<unsigned long>(m_holder.pid),
                  static_cast<unsigned long long>(m_holder.created));
    return String(text);
}

}  // namespace stagehand
