#include "ClearingJournal.h"

#include "JournalFiles.h"
#include "LogCodes.h"
#include "ProcessIdentity.h"

#include <vela/ClassLogger.h>

#include <cstdio>
#include <string>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.ClearingJournal");

// This copy of the library's last N. Names are claimed by creating the file, so two copies
// that count alike still end up with names of their own.
LONG s_names = 0;
const unsigned int kClaims = 1000;

bool isHeld(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

bool startsWith(const String& text, const String& start)
{
    return text.size() > start.size() && String(text.getUCS2Buffer(), start.size()) == start;
}

}  // namespace

const char* ClearingJournal::prefix(Kind kind)
{
    return kind == DESKTOP ? "stagehand-journal-" : "stagehand-screensaver-";
}

const wchar_t* ClearingJournal::pattern(Kind kind)
{
    return kind == DESKTOP ? L"stagehand-journal-*.txt" : L"stagehand-screensaver-*.txt";
}

JournalProcess ClearingJournal::writerOfName(const String& name)
{
    JournalProcess writer = {0, 0};
    std::string text = name.toUtf8();
    for (Kind kind : {DESKTOP, SCREEN_SAVER}) {
        std::string start = prefix(kind);
        unsigned long pid = 0;
        unsigned long long created = 0, n = 0;
        int end = 0;
        if (text.compare(0, start.size(), start) == 0 &&
            std::sscanf(text.c_str() + start.size(), "%lu-%llu-%llu.txt%n", &pid, &created, &n, &end) == 3 &&
            start.size() + static_cast<size_t>(end) == text.size()) {
            writer.pid = static_cast<std::uint32_t>(pid);
            writer.created = created;
        }
    }
    return writer;
}

// A holder that never records pays nothing: the journal is named at its first record.
ClearingJournal::ClearingJournal(Kind kind) : m_kind(kind), m_offLogged(false)
{
    m_journal.writer = JournalProcess();
    m_journal.foreground = JournalWindow();
}

void ClearingJournal::record(const vela::Array<JournalWindow>& windows, HWND foreground)
{
    if (m_journal.writer.pid == 0)
        m_journal.writer = currentProcess();
    for (unsigned int i = 0; i < windows.size(); ++i) {
        bool known = false;
        for (unsigned int k = 0; k < m_journal.windows.size() && !known; ++k)
            known = m_journal.windows[k].handle == windows[i].handle;
        if (!known)
            m_journal.windows.append(windows[i]);
    }
    m_journal.foreground.handle = reinterpret_cast<ULONG_PTR>(foreground);
    m_journal.foreground.owner = windowOwner(foreground);
    write();
}

void ClearingJournal::write()
{
    String folder = journalFolder();
    DWORD error = 0;
    const char* problem = folder.empty() ? "no folder of this user's own is known" : prepareJournalFolder(folder, error);
    if (!problem) {
        std::string text = formatJournal(m_journal);
        // Written elsewhere before (the folder's variable changed), the old file is stale.
        if (!startsWith(m_current, String(folder).append("\\")))
            error = claim(folder, text);
        else if (isHeld(error = replaceFile(m_current, text)))
            error = claim(folder, text);
        if (error == ERROR_SUCCESS)
            return;
        problem = "it cannot be written";
    }
    if (!m_offLogged)
        s_log.log(LoggerPriority::FAILURE, logcode::kRecoveryOff, "Crash recovery is off: cannot write the ",
                  m_kind == DESKTOP ? "desktop-clearing" : "screen-saver", " journal in ", folder, ": ", problem,
                  " (error ", static_cast<unsigned int>(error), ")");
    m_offLogged = true;
}

DWORD ClearingJournal::claim(const String& folder, const std::string& text)
{
    for (unsigned int i = 0; i < kClaims; ++i) {
        std::string name = prefix(m_kind) + std::to_string(m_journal.writer.pid) + "-" +
                           std::to_string(m_journal.writer.created) + "-" +
                           std::to_string(InterlockedIncrement(&s_names)) + ".txt";
        String path = String(folder).append("\\").append(name.c_str());
        DWORD error = writeNewFile(path, text);
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            continue;
        if (error != ERROR_SUCCESS)
            return error;
        // The older files name no window that the new one does not: they go when they can.
        if (!m_current.empty())
            m_stale.append(m_current);
        m_current = path;
        vela::Array<String> kept;
        for (unsigned int k = 0; k < m_stale.size(); ++k)
            if (!DeleteFileW(m_stale[k].wide()) && GetLastError() != ERROR_FILE_NOT_FOUND)
                kept.append(m_stale[k]);
        m_stale = kept;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_EXISTS;
}

bool ClearingJournal::isNamed(const String& name) const
{
    auto endsWith = [&](const String& path) {
        return path.size() > name.size() &&
               String(path.getUCS2Buffer() + path.size() - name.size()) == name &&
               path.getUCS2Buffer()[path.size() - name.size() - 1] == '\\';
    };
    bool named = endsWith(m_current);
    for (unsigned int k = 0; k < m_stale.size(); ++k)
        named |= endsWith(m_stale[k]);
    return named;
}

// Allocates nothing unless there is something to forget: a holder's destructor calls it.
void ClearingJournal::clear()
{
    if (!m_current.empty())
        DeleteFileW(m_current.wide());
    for (unsigned int k = 0; k < m_stale.size(); ++k)
        DeleteFileW(m_stale[k].wide());
    m_current = String();
    if (m_stale.size() != 0)
        m_stale.clear();
    if (m_journal.windows.size() != 0)
        m_journal.windows.clear();
}

void ClearingJournal::abandon()
{
    m_current = String();
    m_stale.clear();
    m_journal.windows.clear();
}

}  // namespace stagehand
