#include <stagehand/DesktopRecovery.h>

#include "ClearingJournal.h"
#include "ProcessIdentity.h"
#include "WindowShowing.h"

#include <vela/ClassLogger.h>

#include <cwchar>
#include <string>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.DesktopRecovery");

// The journal in the file, or why it is refused.
const char* readJournal(HANDLE file, Journal& journal)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return "its size cannot be read";
    if (size.QuadPart > static_cast<LONGLONG>(kMaxJournalBytes))
        return "it is larger than 1 MiB";
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD n = 0;
    if (!text.empty() && (!ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &n, nullptr) || n != text.size()))
        return "it cannot be read";
    return parseJournal(text.data(), text.size(), journal);
}

bool isJournalName(const wchar_t* name)
{
    // The pattern "*.txt" of FindFirstFileW may also match by a short name.
    size_t n = std::wcslen(name);
    return n > 4 && _wcsicmp(name + n - 4, L".txt") == 0;
}

bool isOwnedBy(HWND window, const JournalProcess& recorded)
{
    JournalProcess owner = windowOwner(window);
    return owner.pid != 0 && owner.pid == recorded.pid && owner.created == recorded.created;
}

void refuse(DesktopRecovery::JournalReport& entry, const char* problem, bool dryRun, bool quiet)
{
    entry.outcome = DesktopRecovery::JournalReport::REFUSED;
    entry.problem = problem;
    if (quiet)
        return;
    String kept = String(entry.path).append(".damaged");
    if (dryRun)
        s_log.log(LoggerPriority::FAILURE, "421 ", "Refusing the desktop-clearing journal ", entry.path, ": ",
                  problem, "; it would be kept as ", kept);
    else if (MoveFileExW(entry.path.wide(), kept.wide(), MOVEFILE_REPLACE_EXISTING))
        s_log.log(LoggerPriority::FAILURE, "421 ", "Refused the desktop-clearing journal ", entry.path, ": ", problem,
                  "; kept as ", kept);
    else
        s_log.log(LoggerPriority::FAILURE, "421 ", "Refused the desktop-clearing journal ", entry.path, ": ", problem,
                  "; left in place (error ", static_cast<unsigned int>(GetLastError()), ")");
}

}  // namespace

DesktopRecovery::JournalReport::JournalReport()
    : outcome(REFUSED), writerPid(0), writerRunning(false), programs(0)
{
}

DesktopRecovery::JournalReport::JournalReport(const JournalReport& other) = default;

DesktopRecovery::JournalReport& DesktopRecovery::JournalReport::operator=(const JournalReport& other) = default;

DesktopRecovery::JournalReport::~JournalReport() = default;

DesktopRecovery::Report::Report() : windowsShown(0), programs(0), windowsSkipped(0) {}

DesktopRecovery::Report::Report(const Report& other) = default;

DesktopRecovery::Report& DesktopRecovery::Report::operator=(const Report& other) = default;

DesktopRecovery::Report::~Report() = default;

DesktopRecovery::Report DesktopRecovery::restore(bool dryRun, bool force)
{
    return run(dryRun, force, false);
}

DesktopRecovery::Report DesktopRecovery::find()
{
    return run(true, false, true);
}

DesktopRecovery::Report DesktopRecovery::run(bool dryRun, bool force, bool quiet)
{
    Report report;
    String folder = journalFolder();
    report.folder = folder;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(String(folder).append("\\stagehand-journal-*.txt").wide(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return report;
    // The names first: restoring removes and renames files of the folder.
    vela::Array<String> names;
    do {
        if (isJournalName(found.cFileName))
            names.append(String(reinterpret_cast<const unsigned short*>(found.cFileName)));
    } while (FindNextFileW(search, &found));
    FindClose(search);

    vela::Array<DWORD> programs;
    for (unsigned int i = 0; i < names.size(); ++i) {
        JournalReport entry;
        entry.path = String(folder).append("\\").append(names[i]);
        // Shared for delete too: a running writer may replace it meanwhile.
        HANDLE file = CreateFileW(entry.path.wide(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;  // removed since it was listed
        Journal journal;
        const char* problem = readJournal(file, journal);
        CloseHandle(file);
        if (problem) {
            refuse(entry, problem, dryRun, quiet);
            report.journals.append(entry);
            continue;
        }
        entry.writerPid = journal.writer.pid;
        entry.writerRunning = isRunning(journal.writer);
        if (entry.writerRunning && !force) {
            entry.outcome = JournalReport::LEFT_ALONE;
            report.journals.append(entry);
            continue;
        }
        vela::Array<DWORD> owners;
        for (unsigned int w = 0; w < journal.windows.size(); ++w) {
            HWND window = journalHandle(journal.windows[w].handle);
            if (!isOwnedBy(window, journal.windows[w].owner)) {
                entry.skipped.append(window);
                continue;
            }
            entry.shown.append(window);
            DWORD pid = journal.windows[w].owner.pid;
            if (!owners.contains(pid))
                owners.append(pid);
            if (!programs.contains(pid))
                programs.append(pid);
        }
        HWND foreground = journalHandle(journal.foreground.handle);
        if (!dryRun)
            requestVisibility(entry.shown, true, isOwnedBy(foreground, journal.foreground.owner) ? foreground : nullptr);
        if (!dryRun)
            DeleteFileW(entry.path.wide());
        entry.outcome = JournalReport::RESTORED;
        entry.programs = owners.size();
        report.windowsShown += entry.shown.size();
        report.windowsSkipped += entry.skipped.size();
        report.journals.append(entry);
    }
    report.programs = programs.size();
    return report;
}

}  // namespace stagehand
