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

// The variable's base; `unreadable` when the environment could not be read, which is no
// reason to go on to another folder.
String environmentBase(const wchar_t* variable, bool& unreadable)
{
    wchar_t value[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(variable, value, MAX_PATH);
    unreadable |= n == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND;
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

// What the token says of this process's user, or of its groups; empty when it cannot be read.
std::vector<BYTE> tokenInformation(TOKEN_INFORMATION_CLASS what)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::vector<BYTE>();
    KernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, what, nullptr, 0, &size);
    std::vector<BYTE> information(size);
    if (size == 0 || !GetTokenInformation(token, what, information.data(), size, &size))
        return std::vector<BYTE>();
    return information;
}

PSID sidOf(std::vector<BYTE>& user)
{
    return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

// Whether the token holds the group, enabled or for deny only: a member's elevated process
// makes folders owned by the group, and the same member's other processes hold the group
// for deny only.
bool holdsGroup(std::vector<BYTE>& groups, PSID group)
{
    if (groups.empty())
        return false;
    auto* list = reinterpret_cast<TOKEN_GROUPS*>(groups.data());
    for (DWORD i = 0; i < list->GroupCount; ++i)
        if (EqualSid(list->Groups[i].Sid, group))
            return true;
    return false;
}

// The access list of a folder for this user alone, inherited by what is made in it.
std::vector<BYTE> ownAccessList(PSID user)
{
    DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user);
    std::vector<BYTE> acl(size);
    if (!InitializeAcl(reinterpret_cast<ACL*>(acl.data()), size, ACL_REVISION) ||
        !AddAccessAllowedAceEx(reinterpret_cast<ACL*>(acl.data()), ACL_REVISION,
                               OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, user))
        return std::vector<BYTE>();
    return acl;
}

BOOL makeOwnFolder(const String& folder, PSID user)
{
    std::vector<BYTE> acl = ownAccessList(user);
    SECURITY_DESCRIPTOR descriptor;
    if (acl.empty() || !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, user, FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(acl.data()), FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return FALSE;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return CreateDirectoryW(folder.wide(), &attributes);
}

// Whether the access list lets anyone but the user in: a null list lets everyone in.
bool admitsOthers(const ACL* acl, PSID user)
{
    if (!acl)
        return true;
    const BYTE* entry = reinterpret_cast<const BYTE*>(acl + 1);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        auto* header = reinterpret_cast<const ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE &&
            !EqualSid(const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(entry)->SidStart), user))
            return true;
        entry += header->AceSize;
    }
    return false;
}

FileHandle openFolder(const String& folder, DWORD access)
{
    return FileHandle(CreateFileW(folder.wide(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
}

// Null when the folder is this user's own: owned by the user, or by Administrators when the
// user is one of them; and open to this user alone, made so when it was open to others.
const char* checkOwnership(const String& folder, PSID user, DWORD& error)
{
    FileHandle handle = openFolder(folder, READ_CONTROL);
    if (!handle.valid()) {
        error = GetLastError();
        return "its owner cannot be read";
    }
    PSID owner = nullptr;
    ACL* acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &acl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return "its owner cannot be read";
    error = 0;
    // S-1-5-32-544, laid out as a SID.
    struct {
        BYTE revision, count;
        SID_IDENTIFIER_AUTHORITY authority;
        DWORD subAuthority[2];
    } administrators = {SID_REVISION, 2, SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
    std::vector<BYTE> groups = tokenInformation(TokenGroups);
    bool own =
        owner && (EqualSid(owner, user) || (EqualSid(owner, &administrators) && holdsGroup(groups, &administrators)));
    bool open = admitsOthers(acl, user);
    LocalFree(descriptor);
    if (!own)
        return "it belongs to another user";
    if (!open)
        return nullptr;
    std::vector<BYTE> ownAcl = ownAccessList(user);
    FileHandle writable = openFolder(folder, READ_CONTROL | WRITE_DAC);
    error = ownAcl.empty() || !writable.valid()
                ? GetLastError()
                : SetSecurityInfo(writable.get(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  reinterpret_cast<ACL*>(ownAcl.data()), nullptr);
    return error == ERROR_SUCCESS ? nullptr : "other users may use it, and it cannot be made this user's alone";
}

}  // namespace

String journalFolder()
{
    bool unreadable = false;
    String base = environmentBase(L"LOCALAPPDATA", unreadable);
    if (base.empty() && !unreadable)
        base = knownFolderBase();
    if (base.empty() && !unreadable)
        base = environmentBase(L"TEMP", unreadable);
    return base.empty() || unreadable ? String() : base.append("\\stagehand");
}

const char* prepareJournalFolder(const String& folder, DWORD& error)
{
    error = 0;
    std::vector<BYTE> user = tokenInformation(TokenUser);
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
    return checkOwnership(folder, sidOf(user), error);
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
    if (GetLastError() != ERROR_NO_MORE_FILES)
        error = GetLastError();
    return names;
}

}  // namespace stagehand
