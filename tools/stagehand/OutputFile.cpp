#include "OutputFile.h"

#include "Text.h"
#include "UsageError.h"

OutputFile::OutputFile(const std::wstring& path, const char* what)
    : m_file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr))
{
    if (m_file == INVALID_HANDLE_VALUE)
        throw UsageError(std::string("cannot write the ") + what + " " + utf8(path) + ": " +
                         systemMessage(GetLastError()));
}

OutputFile::~OutputFile()
{
    if (!m_written) {
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(m_file, FileDispositionInfo, &remove, sizeof remove);
    }
    CloseHandle(m_file);
}

bool OutputFile::write(const void* data, size_t size)
{
    DWORD written = 0;
    m_written = WriteFile(m_file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    return m_written;
}
