#pragma once

#include "OwnedHandle.h"

#include <string>

// A file the tool writes once (a screenshot, a report). The data goes to a file of its own
// beside the target, which then takes the target's place: a failed write never destroys what
// the target held, and a target that is not written stays as it was. That file is made at
// once, so that a path that cannot be written is known before anything on the desktop changes.
class OutputFile {
public:
    // `what` names the file in messages: "report", "screenshot".
    OutputFile(const std::wstring& path, const char* what);
    // The file beside the target goes with its handle, unless it took the target's place.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Whether the target can be written; if not, problem() says why.
    bool ready() const { return static_cast<bool>(m_file) || m_written; }
    // "cannot write the report PATH: REASON".
    const std::string& problem() const { return m_problem; }
    // The target, as a full path.
    const std::wstring& path() const { return m_path; }

    // Writes the data and puts it in the target's place; false when either fails (problem()
    // says why), and the target is then as it was.
    bool write(const void* data, size_t size);

private:
    void fail(DWORD error);

    std::string m_what;
    std::wstring m_path;
    OwnedHandle m_file;  // beside the target, until it takes the target's place
    bool m_written = false;
    std::string m_problem;
};
