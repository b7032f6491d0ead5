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

// Empties and removes the journal's file, saying so when it can be neither.
void retire(FileHandle& file, const String& path)
{
    if (!retireJournalFile(file))
        s_log.log(LoggerPriority::FAILURE, logcode::kNotRetired, "The journal ", path,
                  " can be neither emptied nor removed (error ", static_cast<unsigned int>(GetLastError()),
                  "): 'stagehand restore' gives it back again once this program has ended");
}

// By kind: the name's prefix, the pattern that finds the names, and what the journal is of.
struct KindNames {
    const char* prefix;
    const wchar_t* pattern;
    const char* what;
};
const KindNames kKinds[] = {{"stagehand-journal-", L"stagehand-journal-*.txt", "desktop-clearing"},
                            {"stagehand-screensaver-", L"stagehand-screensaver-*.txt", "screen-saver"},
                            {"stagehand-displaymode-", L"stagehand-displaymode-*.txt", "display-mode"}};

}  // namespace

const char* ClearingJournal::prefix(Kind kind)
{
    return kKinds[kind].prefix;
}

const wchar_t* ClearingJournal::pattern(Kind kind)
{
    return kKinds[kind].pattern;
}

JournalProcess ClearingJournal::writerOfName(const String& name)
{
    JournalProcess writer = {0, 0};
    std::string text = name.toUtf8();
    for (Kind kind : {DESKTOP, SCREEN_SAVER, DISPLAY_MODE}) {
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

// A holder that never writes pays nothing: the journal is named at its first write.
ClearingJournal::ClearingJournal(Kind kind) : m_kind(kind), m_writer(), m_offLogged(false) {}

void ClearingJournal::write(const std::string& text)
{
    if (m_writer.created == 0)
        m_writer = currentProcess();
    String folder = journalFolder();
    DWORD error = 0;
    // A journal whose writer cannot be told from a later process of its pid would be taken
    // for an ended one's while the writer runs.
    const char* problem = m_writer.created == 0 ? "this program's start time cannot be read"
                          : folder.empty()      ? "no folder of this user's own is known"
                                                : prepareJournalFolder(folder, error);
    if (!problem) {
        error = claim(folder, text);
        if (error == ERROR_SUCCESS)
            return;
        problem = "it cannot be written";
    }
    if (!m_offLogged)
        s_log.log(LoggerPriority::FAILURE, logcode::kRecoveryOff, "Crash recovery is off: cannot write the ",
                  kKinds[m_kind].what, " journal in ", folder, ": ", problem,
                  " (error ", static_cast<unsigned int>(error), ")");
    m_offLogged = true;
}

DWORD ClearingJournal::claim(const String& folder, const std::string& text)
{
    for (unsigned int i = 0; i < kClaims; ++i) {
        std::string name = prefix(m_kind) + std::to_string(m_writer.pid) + "-" + std::to_string(m_writer.created) +
                           "-" + std::to_string(InterlockedIncrement(&s_names)) + ".txt";
        String path = String(folder).append("\\").append(name.c_str());
        FileHandle file;
        DWORD error = createJournalFile(path, text, file);
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            continue;
        if (error != ERROR_SUCCESS)
            return error;
        // The new file is whole: the one it replaces names nothing that this one does not.
        retire(m_file, m_path);
        m_file.reset(file.release());
        m_path = path;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_EXISTS;
}

bool ClearingJournal::isNamed(const String& name) const
{
    auto endsWith = [&](const String& path) {
        return path.size() > name.size() && String(path.getUCS2Buffer() + path.size() - name.size()) == name &&
               path.getUCS2Buffer()[path.size() - name.size() - 1] == '\\';
    };
    bool named = endsWith(m_path);
    for (unsigned int k = 0; k < m_abandoned.size() && !named; ++k)
        named = endsWith(m_abandoned[k]);
    return named;
}

// Allocates nothing but for its line: a holder's destructor calls it.
void ClearingJournal::clear()
{
    retire(m_file, m_path);
    if (!m_path.empty())
        m_path = String();
    // Said once for each spell of failures, since the holder lives on.
    m_offLogged = false;
}

void ClearingJournal::abandon()
{
    if (!m_path.empty())
        m_abandoned.append(m_path);
    m_file.reset();
    m_path = String();
}

}  // namespace stagehand
