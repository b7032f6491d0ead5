#pragma once

#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

#include <string>

namespace stagehand {

// Internal to the library: where the journals lie and how their files are written, for the
// writer (ClearingJournal) and the reader (DesktopRecovery). Every file lies in a folder of
// the user's own, and nothing follows a link planted there.

// "stagehand" in %LOCALAPPDATA%, else in the local application-data known folder, else in
// %TEMP%: the first that is set and absolute, so that the folder never depends on the
// current directory. Empty when there is none. Read at each use.
vela::String journalFolder();

// Makes the folder when it is missing, with an access list for this user alone, and checks
// that it is this user's own: a folder, not a link, owned by this user. Null when it is;
// otherwise why not, and `error` holds the Windows error code where there is one (else 0).
const char* prepareJournalFolder(const vela::String& folder, DWORD& error);

// Writes a new file that must not exist yet (ERROR_FILE_EXISTS when it does), flushed:
// claiming a name this way makes it unique across processes and copies of the library.
DWORD writeNewFile(const vela::String& path, const std::string& text);

// Replaces the file by `text` whole: a temporary file beside it, flushed, then renamed over
// it, so that a crash leaves the old file or the new one. The rename is retried for a
// bounded time while a reader holds the file open. ERROR_SUCCESS, or why not.
DWORD replaceFile(const vela::String& path, const std::string& text);

// The names in the folder that match the pattern (as FindFirstFileW takes it) and end in
// ".txt". A folder that does not exist holds none; `error` is set when it cannot be listed.
vela::Array<vela::String> listJournalFiles(const vela::String& folder, const wchar_t* pattern, DWORD& error);

}  // namespace stagehand
