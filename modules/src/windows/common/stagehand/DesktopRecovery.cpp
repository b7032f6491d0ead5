#include <stagehand/DesktopRecovery.h>

#include <stagehand/MonitorInfoEnumerator.h>

#include "ClearingJournal.h"
#include "DisplayModeSetting.h"
#include "JournalFiles.h"
#include "LogCodes.h"
#include "ProcessIdentity.h"
#include "ScreenSaverSetting.h"
#include "UniqueHandle.h"
#include "WindowShowing.h"

#include <vela/ClassLogger.h>

#include <memory>
#include <string>
#include <vector>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.DesktopRecovery");

typedef DesktopRecovery::JournalReport JournalReport;

// How many numbered names a damaged journal may try.
const unsigned int kDamagedNames = 100;

// The journal in the file, or why it is refused; `unreadable` when that is no damage of the
// file but a failure to read it, which may pass. An empty file is a journal whose writer gave
// back what it recorded, or was ended before it recorded anything: `empty`, and no journal.
template <class Kind> const char* readJournal(HANDLE file, Kind& journal, bool& unreadable, bool& empty)
{
    LARGE_INTEGER size;
    unreadable = true;
    empty = false;
    if (!GetFileSizeEx(file, &size))
        return "its size cannot be read";
    if (size.QuadPart == 0) {
        unreadable = false;
        empty = true;
        return nullptr;
    }
    if (size.QuadPart > static_cast<LONGLONG>(kMaxJournalBytes)) {
        unreadable = false;
        return "it is larger than 1 MiB";
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD n = 0;
    if (!text.empty() && !ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &n, nullptr))
        return "it cannot be read";
    unreadable = false;
    return parseJournal(text.data(), n, journal);
}

bool removeThrough(HANDLE file)
{
    FILE_DISPOSITION_INFO remove = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove) != FALSE;
}

// Renames the file, through its handle, to the first free name of NAME.damaged,
// NAME.damaged-2, ...; the name it got, or empty.
String renameDamaged(HANDLE file, const String& path)
{
    for (unsigned int n = 1; n <= kDamagedNames; ++n) {
        String to = String(path).append(".damaged");
        if (n > 1)
            to.append("-").append(std::to_string(n).c_str());
        size_t bytes = sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t);
        std::vector<BYTE> buffer(bytes);
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->ReplaceIfExists = FALSE;
        rename->FileNameLength = to.size() * sizeof(wchar_t);
        std::copy(to.wide(), to.wide() + to.size(), rename->FileName);
        if (SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(bytes)))
            return to;
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    return String();
}

void refuse(JournalReport& entry, HANDLE file, const char* problem, bool dryRun, bool quiet)
{
    entry.outcome = JournalReport::REFUSED;
    entry.problem = problem;
    if (quiet)
        return;
    if (dryRun) {
        s_log.log(LoggerPriority::FAILURE, logcode::kJournalRefused, "Refusing the desktop-clearing journal ",
                  entry.path, ": ", problem, "; it would be kept as ", String(entry.path).append(".damaged"));
        return;
    }
    String kept = renameDamaged(file, entry.path);
    if (!kept.empty())
        s_log.log(LoggerPriority::FAILURE, logcode::kJournalRefused, "Refused the desktop-clearing journal ",
                  entry.path, ": ", problem, "; kept as ", kept);
    else
        s_log.log(LoggerPriority::FAILURE, logcode::kJournalRefused, "Refused the desktop-clearing journal ",
                  entry.path, ": ", problem, "; left in place (error ", static_cast<unsigned int>(GetLastError()), ")");
}

// A journal given back that cannot be removed: kept, lest it be given back again as done.
void keep(JournalReport& entry, bool quiet)
{
    entry.outcome = JournalReport::KEPT;
    entry.problem = "it cannot be removed";
    if (!quiet)
        s_log.log(LoggerPriority::FAILURE, logcode::kNotRemoved, "The journal ", entry.path,
                  " was given back but cannot be removed (error ", static_cast<unsigned int>(GetLastError()), ")");
}

// Sorts the journal's windows into those to show, to skip and that cannot be checked.
void examine(const Journal& journal, JournalReport& entry, vela::Array<DWORD>& programs)
{
    vela::Array<DWORD> owners;
    for (unsigned int w = 0; w < journal.windows.size(); ++w) {
        HWND window = journalHandle(journal.windows[w].handle);
        const JournalProcess& recorded = journal.windows[w].owner;
        JournalProcess owner = windowOwner(window);
        if (owner.pid == 0 || owner.pid != recorded.pid || (owner.created != 0 && owner.created != recorded.created)) {
            entry.skipped.append(window);
            continue;
        }
        if (owner.created == 0) {
            entry.unverified.append(window);
            continue;
        }
        entry.shown.append(window);
        if (!owners.contains(recorded.pid))
            owners.append(recorded.pid);
        if (!programs.contains(recorded.pid))
            programs.append(recorded.pid);
    }
    entry.programs = owners.size();
}

bool isOwnedBy(HWND window, const JournalProcess& recorded)
{
    JournalProcess owner = windowOwner(window);
    return window && owner.pid != 0 && owner.pid == recorded.pid && owner.created == recorded.created;
}

// ---- Display modes

void refuseModeJournal(JournalReport& entry, HANDLE file, const char* problem, bool dryRun, bool quiet)
{
    entry.outcome = JournalReport::REFUSED;
    entry.problem = problem;
    if (quiet)
        return;
    String kept = dryRun ? String() : renameDamaged(file, entry.path);
    String tail = dryRun         ? String("; it would be kept as ").append(entry.path).append(".damaged")
                  : kept.empty() ? String("; left in place (error ").append(std::to_string(GetLastError()).c_str())
                                       .append(")")
                                 : String("; kept as ").append(kept);
    s_log.log(LoggerPriority::FAILURE, logcode::kModeJournalRefused, "Refused the display-mode journal ", entry.path,
              ": ", problem, tail);
}

// Sets the recorded mode again, unless the adapter is gone; false when it cannot be set. Also
// when the adapter seems to show it: under Wine, a process reads the mode it last saw until
// it changes a mode itself.
bool giveModeBack(JournalReport& entry, HANDLE file, bool dryRun, bool quiet)
{
    MonitorInfoEnumerator::Info monitor;
    entry.outcome = JournalReport::RESTORED;
    if (!MonitorInfoEnumerator().getMonitorInfo(entry.adapter, monitor)) {
        entry.problem = "its adapter is gone";
    } else {
        entry.modeSet = true;
        DEVMODEW settings = displaySettings(entry.mode);
        LONG result = dryRun ? DISP_CHANGE_SUCCESSFUL
                             : ChangeDisplaySettingsExW(monitor.deviceName.wide(), &settings, nullptr,
                                                        CDS_FULLSCREEN, nullptr);
        if (result != DISP_CHANGE_SUCCESSFUL) {
            entry.modeSet = false;
            entry.outcome = JournalReport::REFUSED;
            entry.problem = changeResultName(result);
            if (!quiet)
                s_log.log(LoggerPriority::FAILURE, logcode::kModeNotRestored, "The display mode ",
                          displayModeText(entry.mode), " of ", entry.adapter, " cannot be given back: ",
                          entry.problem);
            return false;
        }
    }
    if (!dryRun && !removeThrough(file))
        keep(entry, quiet);
    return true;
}

// Gives each adapter of an ended writer's display-mode journal the mode it had before.
// A journal of the folder, opened to be read and removed through its handle; shared for
// delete too, since a running writer may replace it meanwhile.
FileHandle openJournal(const String& path)
{
    return FileHandle(CreateFileW(path.wide(), GENERIC_READ | DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// What a journal's writer, and whether the journal could be read, decide before its contents
// count: it is kept while its writer cannot be told running or ended, left alone while the
// writer runs (an unreadable journal of a running writer may be in the middle of a write),
// and kept when it could not be read (a failure to read is no damage). False when its
// contents decide.
bool decidedByWriter(JournalReport& entry, const JournalProcess& writer, const char* problem, bool unreadable,
                     bool force)
{
    Liveness state = writer.pid != 0 ? liveness(writer) : Liveness::ENDED;
    entry.writerPid = writer.pid;
    entry.writerRunning = state == Liveness::RUNNING;
    if (state == Liveness::UNKNOWN && !force) {
        entry.outcome = JournalReport::KEPT;
        entry.problem = "whether its writer still runs cannot be told";
    } else if (entry.writerRunning && (!force || problem)) {
        entry.outcome = JournalReport::LEFT_ALONE;
        entry.problem = problem ? problem : "";
    } else if (unreadable) {
        entry.outcome = JournalReport::KEPT;
        entry.problem = problem;
    } else {
        return false;
    }
    return true;
}

// The journal in the report, counted by its outcome.
void tally(DesktopRecovery::Report& report, const JournalReport& entry)
{
    report.restored += entry.outcome == JournalReport::RESTORED;
    report.leftAlone += entry.outcome == JournalReport::LEFT_ALONE;
    report.refused += entry.outcome == JournalReport::REFUSED;
    report.kept += entry.outcome == JournalReport::KEPT;
    report.journals.append(entry);
}

void restoreDisplayModes(DesktopRecovery::Report& report, bool dryRun, bool force, bool quiet)
{
    DWORD error = 0;
    vela::Array<String> names =
        listJournalFiles(report.folder, ClearingJournal::pattern(ClearingJournal::DISPLAY_MODE), error);
    if (error)
        report.folderError = error;
    for (unsigned int i = 0; i < names.size(); ++i) {
        JournalReport entry;
        entry.path = String(report.folder).append("\\").append(names[i]);
        entry.displayMode = true;
        FileHandle file = openJournal(entry.path);
        if (!file.valid() && GetLastError() == ERROR_FILE_NOT_FOUND)
            continue;
        DisplayModeJournal journal = {};
        bool unreadable = !file.valid(), empty = false;
        const char* problem = file.valid() ? readJournal(file.get(), journal, unreadable, empty) : "it cannot be opened";
        if (problem || empty)
            journal.writer = ClearingJournal::writerOfName(names[i]);
        entry.adapter = String(journal.adapter.c_str());
        entry.mode = displayMode(journal.mode);
        if (decidedByWriter(entry, journal.writer, problem, unreadable, force)) {
            // kept, or left alone
        } else if (problem) {
            refuseModeJournal(entry, file.get(), problem, dryRun, quiet);
        } else if (empty) {
            entry.outcome = JournalReport::RESTORED;  // its writer gave the mode back
            if (!dryRun && !removeThrough(file.get()))
                keep(entry, quiet);
        } else {
            report.modesRefused += !giveModeBack(entry, file.get(), dryRun, quiet);
        }
        report.modesRestored += entry.modeSet;
        tally(report, entry);
    }
}

}  // namespace

DesktopRecovery::JournalReport::JournalReport()
    : outcome(REFUSED), writerPid(0), writerRunning(false), programs(0), screenSaver(false), displayMode(false),
      mode(), modeSet(false)
{
}

DesktopRecovery::JournalReport::JournalReport(const JournalReport& other) = default;

DesktopRecovery::JournalReport& DesktopRecovery::JournalReport::operator=(const JournalReport& other) = default;

DesktopRecovery::JournalReport::~JournalReport() = default;

DesktopRecovery::Report::Report()
    : folderError(0), windowsShown(0), programs(0), windowsSkipped(0), restored(0), leftAlone(0), refused(0),
      kept(0), screenSaverOn(false), modesRestored(0), modesRefused(0)
{
}

DesktopRecovery::Report::Report(const Report& other) = default;

DesktopRecovery::Report& DesktopRecovery::Report::operator=(const Report& other) = default;

DesktopRecovery::Report::~Report() = default;

bool DesktopRecovery::Report::complete() const
{
    return folderError == 0 && refused == 0 && kept == 0;
}

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
    report.folder = journalFolder();
    if (report.folder.empty()) {
        report.folderError = GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
        return report;
    }
    restoreDisplayModes(report, dryRun, force, quiet);
    vela::Array<DWORD> programs;
    // Each journal's requests are made before its file goes, and waited for at the end.
    std::vector<std::unique_ptr<VisibilityRequest>> requests;
    bool saverHeld = false, saverToRestore = false;
    for (ClearingJournal::Kind kind : {ClearingJournal::SCREEN_SAVER, ClearingJournal::DESKTOP}) {
        DWORD error = 0;
        vela::Array<String> names = listJournalFiles(report.folder, ClearingJournal::pattern(kind), error);
        if (error)
            report.folderError = error;
        for (unsigned int i = 0; i < names.size(); ++i) {
            JournalReport entry;
            entry.path = String(report.folder).append("\\").append(names[i]);
            entry.screenSaver = kind == ClearingJournal::SCREEN_SAVER;
            FileHandle file = openJournal(entry.path);
            if (!file.valid() && GetLastError() == ERROR_FILE_NOT_FOUND)
                continue;  // removed since it was listed
            Journal journal;
            bool unreadable = !file.valid(), empty = false;
            const char* problem =
                file.valid() ? readJournal(file.get(), journal, unreadable, empty) : "it cannot be opened";
            if (problem || empty)
                journal.writer = ClearingJournal::writerOfName(names[i]);
            if (decidedByWriter(entry, journal.writer, problem, unreadable, force)) {
                saverHeld |= entry.screenSaver && entry.outcome == JournalReport::LEFT_ALONE;
            } else if (problem) {
                refuse(entry, file.get(), problem, dryRun, quiet);
            } else if (empty) {
                // Nothing to give back: it goes quietly.
                entry.outcome = JournalReport::RESTORED;
                if (!dryRun && !removeThrough(file.get()))
                    keep(entry, quiet);
            } else {
                examine(journal, entry, programs);
                HWND foreground = journalHandle(journal.foreground.handle);
                if (!dryRun && entry.shown.size() != 0)
                    requests.push_back(std::make_unique<VisibilityRequest>(
                        entry.shown, true, isOwnedBy(foreground, journal.foreground.owner) ? foreground : nullptr));
                bool refused = !dryRun && entry.shown.size() != 0 && requests.back()->refused().size() != 0;
                entry.outcome = entry.unverified.size() == 0 && !refused ? JournalReport::RESTORED : JournalReport::KEPT;
                if (refused)
                    entry.problem = "some windows could not be asked to show";
                else if (entry.outcome == JournalReport::KEPT)
                    entry.problem = "the owners of some windows cannot be examined";
                else if (!dryRun && !removeThrough(file.get()))
                    keep(entry, quiet);
                saverToRestore |= entry.screenSaver;
            }
            report.windowsShown += entry.shown.size();
            report.windowsSkipped += entry.skipped.size();
            tally(report, entry);
        }
        if (kind == ClearingJournal::SCREEN_SAVER) {
            // A writer that still runs holds the screen saver off, and switches it on when it ends.
            report.screenSaverOn = saverToRestore && !saverHeld;
            if (report.screenSaverOn && !dryRun && !switchScreenSaver(true)) {
                report.screenSaverOn = false;
                if (!quiet)
                    s_log.log(LoggerPriority::FAILURE, logcode::kSaverNotSwitchedOn,
                              "The screen saver cannot be switched back on (error ",
                              static_cast<unsigned int>(GetLastError()), ")");
            }
        }
    }
    report.programs = programs.size();
    for (const std::unique_ptr<VisibilityRequest>& request : requests)
        request->await();
    return report;
}

}  // namespace stagehand
