#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// LOCALAPPDATA pointed at a new folder of the test's own (inherited by the programs it
// starts; each test is a process of its own), removed with its journals when it goes.
class JournalFolder {
public:
    JournalFolder()
    {
        wchar_t temp[MAX_PATH];
        m_root = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"stagehand-test-" +
                 std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_root.c_str(), nullptr);
        SetEnvironmentVariableW(L"LOCALAPPDATA", m_root.c_str());
    }
    ~JournalFolder()
    {
        for (const std::wstring& folder : {path(), m_root}) {
            for (const std::string& name : names(folder))
                DeleteFileW((folder + L"\\" + std::wstring(name.begin(), name.end())).c_str());
            RemoveDirectoryW(folder.c_str());
        }
    }

    std::wstring path() const { return m_root + L"\\stagehand"; }
    std::wstring file(const std::string& name) const { return path() + L"\\" + std::wstring(name.begin(), name.end()); }

    // The names of the files in the journals' folder (or another), sorted.
    std::vector<std::string> names() const { return names(path()); }
    static std::vector<std::string> names(const std::wstring& folder)
    {
        std::vector<std::string> all;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                all.emplace_back(found.cFileName, found.cFileName + lstrlenW(found.cFileName));
        FindClose(search);
        std::sort(all.begin(), all.end());
        return all;
    }

    std::string read(const std::string& name) const
    {
        std::string text(4096, '\0');
        DWORD n = 0;
        HANDLE f = CreateFileW(file(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);  // its writer keeps it open
        ReadFile(f, &text[0], static_cast<DWORD>(text.size()), &n, nullptr);
        CloseHandle(f);
        return text.substr(0, n);
    }

    void write(const std::string& name, const std::string& text) const
    {
        CreateDirectoryW(path().c_str(), nullptr);
        DWORD n = 0;
        HANDLE f = CreateFileW(file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
        CloseHandle(f);
    }

private:
    std::wstring m_root;
};
