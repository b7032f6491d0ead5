#pragma once

#include <windows.h>

#include <string>

// A file the tool writes later (a screenshot, a report), opened when made, so that a path that
// cannot be written is known before anything on the desktop changes; removed again when
// nothing was written to it.
class OutputFile {
public:
    // Throws UsageError, naming the path and the reason, when it cannot be written.
    OutputFile(const std::wstring& path, const char* what);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool write(const void* data, size_t size);

private:
    HANDLE m_file;
    bool m_written = false;
};
