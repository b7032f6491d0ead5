#include "OutputFile.h"

#include "Text.h"

#include <cstring>
#include <vector>

namespace {

// Whether the file goes when its last handle closes: until it is whole, so that not even a
// killed tool leaves it behind.
bool removeAtClose(HANDLE file, bool remove)
{
    FILE_DISPOSITION_INFO disposition = {remove};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

std::wstring fullPath(const std::wstring& path)
{
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    DWORD n = size ? GetFullPathNameW(path.c_str(), size, &full[0], nullptr) : 0;
    return n && n < size ? full.substr(0, n) : path;
}

}  // namespace

OutputFile::OutputFile(const std::wstring& path, const char* what) : m_what(what), m_path(fullPath(path))
{
    // A target that exists but cannot be replaced (a folder, a read-only file) is known now too.
    OwnedHandle target(CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target && GetLastError() != ERROR_FILE_NOT_FOUND) {
        fail(GetLastError());
        return;
    }
    std::wstring beside = m_path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    m_file.reset(CreateFileW(beside.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    if (!m_file) {
        fail(GetLastError());
    } else if (!removeAtClose(m_file.get(), true)) {
        fail(GetLastError());
        m_file.reset();
        DeleteFileW(beside.c_str());
    }
}

OutputFile::~OutputFile() = default;

bool OutputFile::write(const void* data, size_t size)
{
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + m_path.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(m_path.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, m_path.c_str(), rename->FileNameLength);
    DWORD written = 0;
    if (!m_file || !WriteFile(m_file.get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size ||
        !removeAtClose(m_file.get(), false) ||
        !SetFileInformationByHandle(m_file.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
        fail(GetLastError());
        if (m_file)
            removeAtClose(m_file.get(), true);
        return false;
    }
    m_file.reset();
    m_written = true;
    return true;
}

void OutputFile::fail(DWORD error)
{
    m_problem = "cannot write the " + m_what + " " + utf8(m_path) + ": " + systemMessage(error, utf8(m_path));
}
