#pragma once

#include "UniqueHandle.h"

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
// current directory. Empty when there is none, or the environment cannot be read. Read at
// each use.
vela::String journalFolder();

// Makes the folder when it is missing, with an access list for this user alone, and checks
// that it is this user's own: a folder, not a link, owned by this user (or by Administrators,
// as an elevated process of a member makes it, when this user is a member), and open to this
// user alone, which a folder open to others is made. Null when it is; otherwise why not, and
// `error` holds the Windows error code where there is one (else 0).
const char* prepareJournalFolder(const vela::String& folder, DWORD& error);

// Creates the file, which must not exist yet (ERROR_FILE_EXISTS when it does), writes the
// text and flushes it: claiming a name this way makes it unique across processes and copies
// of the library. The file stays open in `file`, for writing and deleting, and shared only
// with readers that allow both. ERROR_SUCCESS, or why not; a file that could not be written
// whole is removed again.
DWORD createJournalFile(const vela::String& path, const std::string& text, FileHandle& file);

// Empties the file and marks it for deletion, through its handle, then closes it: a reader
// that holds it meanwhile finds it empty. False when neither could be done.
bool retireJournalFile(FileHandle& file);

// The regular files in the folder whose names match the pattern (as FindFirstFileW takes it)
// and end in ".txt"; folders and links are no journals. A folder that does not exist holds
// none; `error` is set when it cannot be listed, or not to its end.
vela::Array<vela::String> listJournalFiles(const vela::String& folder, const wchar_t* pattern, DWORD& error);

}  // namespace stagehand
