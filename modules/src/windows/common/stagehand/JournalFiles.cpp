#include "JournalFiles.h"

#include "UniqueHandle.h"

#include <aclapi.h>
#include <shlobj.h>

#include <cwchar>
#include <vector>

using vela::String;

namespace stagehand {

namespace {

// Room for "\stagehand\" and the longest journal name after the base.
const size_t kNameRoom = 80;

bool isAbsolute(const wchar_t* path)
{
    bool drive = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' && path[2] == '\\';
    bool share = path[0] == '\\' && path[1] == '\\';
    return drive || share;
}

// The base when it is usable: set, absolute, and short enough for the names that go in it.
String usableBase(const wchar_t* path, size_t length)
{
    if (length == 0 || length + kNameRoom >= MAX_PATH || !isAbsolute(path))
        return String();
    return String(reinterpret_cast<const unsigned short*>(path), static_cast<unsigned int>(length));
}

String environmentBase(const wchar_t* variable)
{
    wchar_t value[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(variable, value, MAX_PATH);
    return n < MAX_PATH ? usableBase(value, n) : String();
}

String knownFolderBase()
{
    wchar_t* path = nullptr;
    String base;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)))
        base = usableBase(path, std::wcslen(path));
    CoTaskMemFree(path);
    return base;
}

// The user this process runs as, as a security identifier; empty when it cannot be read.
std::vector<BYTE> tokenUser()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::vector<BYTE>();
    KernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size))
        return std::vector<BYTE>();
    return user;
}

PSID sidOf(std::vector<BYTE>& user)
{
    return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

// A folder that this user alone may use, inherited by what is made in it.
BOOL makeOwnFolder(const String& folder, PSID user)
{
    DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user);
    std::vector<BYTE> acl(size);
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeAcl(reinterpret_cast<ACL*>(acl.data()), size, ACL_REVISION) ||
        !AddAccessAllowedAceEx(reinterpret_cast<ACL*>(acl.data()), ACL_REVISION,
                               OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, user) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, user, FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(acl.data()), FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return FALSE;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return CreateDirectoryW(folder.wide(), &attributes);
}

bool isOwnedBy(const String& folder, PSID user, DWORD& error)
{
    FileHandle handle(CreateFileW(folder.wide(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!handle.valid()) {
        error = GetLastError();
        return false;
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &descriptor);
    bool own = error == ERROR_SUCCESS && owner && EqualSid(owner, user);
    LocalFree(descriptor);
    return own;
}

}  // namespace

String journalFolder()
{
    String base = environmentBase(L"LOCALAPPDATA");
    if (base.empty())
        base = knownFolderBase();
    if (base.empty())
        base = environmentBase(L"TEMP");
    return base.empty() ? base : base.append("\\stagehand");
}

const char* prepareJournalFolder(const String& folder, DWORD& error)
{
    error = 0;
    std::vector<BYTE> user = tokenUser();
    if (user.empty()) {
        error = GetLastError();
        return "this user cannot be told";
    }
    // Made by another process meanwhile, it is checked like any folder that was there.
    if (!makeOwnFolder(folder, sidOf(user)) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error = GetLastError();
        return "it cannot be made";
    }
    DWORD attributes = GetFileAttributesW(folder.wide());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = GetLastError();
        return "it cannot be read";
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return "it is a link or not a folder";
    if (!isOwnedBy(folder, sidOf(user), error))
        return error ? "its owner cannot be read" : "it belongs to another user";
    return nullptr;
}

DWORD createJournalFile(const String& path, const std::string& text, FileHandle& file)
{
    file.reset(CreateFileW(path.wide(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return GetLastError();
    DWORD n = 0;
    if (WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &n, nullptr) &&
        FlushFileBuffers(file.get()))
        return n == text.size() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
    // Nothing half written stays under a claimed name.
    DWORD error = GetLastError();
    retireJournalFile(file);
    return error;
}

bool retireJournalFile(FileHandle& file)
{
    if (!file.valid())
        return true;
    LARGE_INTEGER start = {};
    bool emptied = SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
    FILE_DISPOSITION_INFO remove = {TRUE};
    bool removed = SetFileInformationByHandle(file.get(), FileDispositionInfo, &remove, sizeof remove);
    file.reset();
    return emptied || removed;
}

vela::Array<String> listJournalFiles(const String& folder, const wchar_t* pattern, DWORD& error)
{
    error = ERROR_SUCCESS;
    vela::Array<String> names;
    WIN32_FIND_DATAW found;
    String query = String(folder).append("\\").append(String(reinterpret_cast<const unsigned short*>(pattern)));
    FindHandle search(FindFirstFileW(query.wide(), &found));
    if (!search.valid()) {
        DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
            error = code;
        return names;
    }
    do {
        // A pattern may also match by a short name.
        size_t n = std::wcslen(found.cFileName);
        bool regular = !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        if (regular && n > 4 && _wcsicmp(found.cFileName + n - 4, L".txt") == 0)
            names.append(String(reinterpret_cast<const unsigned short*>(found.cFileName)));
    } while (FindNextFileW(search.get(), &found));
    return names;
}

}  // namespace stagehand
