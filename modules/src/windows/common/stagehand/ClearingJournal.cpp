#include "ClearingJournal.h"

#include "ProcessIdentity.h"

#include <vela/ClassLogger.h>

#include <string>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.ClearingJournal");

LONG s_journals = 0;

String environmentFolder(const wchar_t* variable)
{
    wchar_t value[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(variable, value, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return String();
    return String(reinterpret_cast<const unsigned short*>(value), n);
}

// A new name for each journal: the writer, and which of its journals.
String newName(const JournalProcess& self)
{
    std::string name = "stagehand-journal-" + std::to_string(self.pid) + "-" + std::to_string(self.created) + "-" +
                       std::to_string(InterlockedIncrement(&s_journals)) + ".txt";
    return String(name.c_str());
}

// Replaces the file by `text` whole: a temporary file, flushed, then renamed over it, so
// that a crash leaves the old file or the new one. ERROR_SUCCESS, or why not.
DWORD replaceFile(const String& path, const std::string& text)
{
    String temporary = String(path).append(".tmp");
    HANDLE file = CreateFileW(temporary.wide(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    DWORD n = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) || !FlushFileBuffers(file))
        error = GetLastError();
    else if (n != text.size())
        error = ERROR_WRITE_FAULT;
    CloseHandle(file);
    if (error == ERROR_SUCCESS && !MoveFileExW(temporary.wide(), path.wide(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        DeleteFileW(temporary.wide());
    return error;
}

}  // namespace

String journalFolder()
{
    String folder = environmentFolder(L"LOCALAPPDATA");
    if (folder.empty())
        folder = environmentFolder(L"TEMP");
    return folder.append("\\stagehand");
}

// A manager that never hides pays nothing: the journal is named at its first record.
ClearingJournal::ClearingJournal() : m_offLogged(false)
{
    m_journal.writer = JournalProcess();
    m_journal.foreground = JournalWindow();
}

void ClearingJournal::record(const vela::Array<JournalWindow>& windows, HWND foreground)
{
    if (m_name.empty()) {
        m_journal.writer = currentProcess();
        m_name = newName(m_journal.writer);
    }
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
    String path = String(folder).append("\\").append(m_name);
    std::string text = formatJournal(m_journal);
    DWORD error = replaceFile(path, text);
    // The folder is made when it is first needed.
    if (error == ERROR_PATH_NOT_FOUND)
        error = CreateDirectoryW(folder.wide(), nullptr) ? replaceFile(path, text) : GetLastError();
    if (error != ERROR_SUCCESS) {
        if (!m_offLogged)
            s_log.log(LoggerPriority::FAILURE, "411 ", "Crash recovery is off: cannot write the desktop-clearing "
                      "journal in ", folder, " (error ", static_cast<unsigned int>(error), ")");
        m_offLogged = true;
        return;
    }
    // Written elsewhere than before (the folder's variable changed): the old file is stale.
    if (!m_written.empty() && m_written != path)
        DeleteFileW(m_written.wide());
    m_written = path;
}

void ClearingJournal::clear()
{
    if (!m_written.empty())
        DeleteFileW(m_written.wide());
    m_written = String();
    m_journal.windows.clear();
}

void ClearingJournal::abandon()
{
    m_written = String();
    m_journal.windows.clear();
    m_name = String();
}

}  // namespace stagehand
