// Windows files: the wide CreateFileW family with UTF-8 paths converted to
// UTF-16, FindFirstFileW for folders, FlushFileBuffers; temporary files
// created new and held without sharing while their writer lives, renamed
// over their destinations through their own handle; a private file with an
// access list for the current user only; folder claims as named mutexes
// keyed by the folder's identity; console text as UTF-16.
#include "platform/Files.h"
#include "platform/win32/Utf16.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iostream>
#include <memory>
#include <random>

namespace Platform::Files {

namespace {

thread_local std::string lastError;

/// Records the system's last error; returns false for the caller to pass on.
bool Fail()
{
    lastError = ErrorText(GetLastError());
    return false;
}

bool FailWith(DWORD code)
{
    SetLastError(code);
    return Fail();
}

bool FailWith(const char* why)
{
    lastError = why;
    return false;
}

Kind KindOfAttributes(DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Kind::Missing;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return Kind::Link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Kind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return Kind::Other;
    return Kind::File;
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    return path.substr(0, slash == 0 || (slash == 2 && path[1] == ':') ? slash + 1 : slash);
}

/// A file name in UTF-8. A name that holds a lone surrogate, which UTF-8
/// cannot spell, keeps it in the generalised form (three bytes ED A0..BF ..),
/// so that it shows as invalid UTF-8 rather than silently as another name.
std::string NarrowName(const wchar_t* name)
{
    const int length = static_cast<int>(std::wcslen(name));
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, length, nullptr, 0, nullptr, nullptr) > 0)
        return Narrow(name, length);
    std::string bytes;
    for (int i = 0; i < length; ++i) {
        const unsigned unit = static_cast<unsigned short>(name[i]);
        const bool pair = unit >= 0xD800 && unit < 0xDC00 && i + 1 < length &&
                          static_cast<unsigned short>(name[i + 1]) >= 0xDC00 &&
                          static_cast<unsigned short>(name[i + 1]) < 0xE000;
        if (pair || unit < 0xD800 || unit >= 0xE000) {
            bytes += Narrow(name + i, pair ? 2 : 1);
            i += pair ? 1 : 0;
        } else {
            bytes += static_cast<char>(0xE0 | (unit >> 12));
            bytes += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return bytes;
}

/// `path` in UTF-16; INVALID_HANDLE_VALUE-style failure is the caller's when
/// it comes back empty.
std::wstring WidePath(const std::string& path)
{
    std::wstring wide = Widen(path);
    if (wide.empty())
        SetLastError(ERROR_INVALID_NAME);
    return wide;
}

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
            SECURITY_ATTRIBUTES* security = nullptr)
{
    const std::wstring wide = WidePath(path);
    if (wide.empty())
        return INVALID_HANDLE_VALUE;
    return CreateFileW(wide.c_str(), access, share, security, disposition, flags, nullptr);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::optional<Status> StatusOfHandle(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        Fail();
        return std::nullopt;
    }
    Status status;
    status.kind = GetFileType(handle) == FILE_TYPE_DISK ? KindOfAttributes(info.dwFileAttributes) : Kind::Other;
    status.identity = {info.dwVolumeSerialNumber,
                       (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    status.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    status.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
    status.links = info.nNumberOfLinks;
    status.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    return status;
}

/// Opens `path` with the given access, sharing and disposition, refusing
/// anything but a regular file (and, with `refuseLinks`, a reparse point).
HANDLE OpenRegular(const std::string& path, DWORD access, DWORD share, DWORD disposition, bool refuseLinks,
                   SECURITY_ATTRIBUTES* security = nullptr)
{
    const HANDLE file = Open(path, access, share, disposition,
                             FILE_ATTRIBUTE_NORMAL | (refuseLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0), security);
    if (file == INVALID_HANDLE_VALUE) {
        Fail();
        return file;
    }
    const std::optional<Status> status = StatusOfHandle(file);
    if (!status || status->kind != Kind::File) {
        CloseHandle(file);
        if (status && status->kind == Kind::Link)
            FailWith("a symbolic link stands there, and kxhost does not follow it");
        else if (status)
            FailWith(ERROR_INVALID_FUNCTION);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

/// Marks the open file `handle` for deletion when it is closed.
bool DeleteOnClose(HANDLE handle)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

/// Removes the name `path` when what stands there is a link or a temporary
/// file no live writer holds. False (and why) when a writer holds it.
bool RemoveStale(const std::string& path)
{
    const std::wstring wide = WidePath(path);
    const HANDLE file = Open(path, GENERIC_READ | DELETE, 0, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return true;
        return error == ERROR_SHARING_VIOLATION ? FailWith("another writer is replacing the same file now")
                                                : FailWith(error);
    }
    const bool removed = DeleteOnClose(file) || Fail();
    CloseHandle(file);
    return removed;
}

/// Creates the temporary file `path` for a new writer, shared with no one;
/// INVALID_HANDLE_VALUE (with the reason recorded) when that is impossible.
HANDLE CreateTemporary(const std::string& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            FailWith(error);
            return INVALID_HANDLE_VALUE;
        }
        if (!RemoveStale(path))
            return INVALID_HANDLE_VALUE;
    }
    FailWith("another writer is replacing the same file now");
    return INVALID_HANDLE_VALUE;
}

std::string NewUniqueTemporaryName()
{
    std::random_device random;
    return UniqueTemporaryName((static_cast<std::uint64_t>(random()) << 32) ^ random());
}

/// Renames the open file `handle` to `destination`, replacing what is there.
bool RenameHandle(HANDLE handle, const std::string& destination)
{
    const std::wstring wide = WidePath(destination);
    if (wide.empty())
        return Fail();
    const std::size_t bytes = sizeof(FILE_RENAME_INFO) + wide.size() * sizeof(wchar_t);
    std::vector<std::byte> buffer(bytes);
    auto* const rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    std::copy(wide.begin(), wide.end(), rename->FileName);
    // A read-only destination refuses to be replaced: its attribute goes
    // for the move and comes back should the move fail.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly)
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(bytes)))
        return true;
    Fail();
    if (readOnly)
        SetFileAttributesW(wide.c_str(), attributes);
    return false;
}

/// An access list that grants the current user everything and no one
/// else anything, inheriting nothing from the folder.
class OwnerOnlySecurity {
public:
    OwnerOnlySecurity()
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<std::byte> user(size);
        wchar_t* sid = nullptr;
        if (size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
            const std::wstring sddl = std::wstring(L"D:P(A;;FA;;;") + sid + L")";
            LocalFree(sid);
            ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr);
        }
        CloseHandle(token);
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = descriptor;
        attributes.bInheritHandle = FALSE;
    }
    ~OwnerOnlySecurity()
    {
        if (descriptor != nullptr)
            LocalFree(descriptor);
    }
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

    /// Null when the access list could not be made.
    SECURITY_ATTRIBUTES* Attributes() { return descriptor != nullptr ? &attributes : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{};
};

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

} // namespace

const std::string& LastError()
{
    return lastError;
}

Kind KindOf(const std::string& path)
{
    // Opened, not asked for attributes, so that a link is followed.
    const HANDLE file = Open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (file == INVALID_HANDLE_VALUE) {
        Fail();
        return Kind::Missing;
    }
    const std::optional<Status> status = StatusOfHandle(file);
    CloseHandle(file);
    return status ? status->kind : Kind::Missing;
}

std::optional<Status> StatusOf(const std::string& path)
{
    const HANDLE file = Open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE) {
        Fail();
        return std::nullopt;
    }
    const std::optional<Status> status = StatusOfHandle(file);
    CloseHandle(file);
    return status;
}

bool ListFolder(const std::string& folder, std::vector<Entry>& entries)
{
    entries.clear();
    const std::string prefix = folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder : folder + '\\';
    const std::wstring pattern = Widen(prefix + '*');
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return Fail();
    do {
        if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)
            continue;
        entries.push_back({NarrowName(found.cFileName), KindOfAttributes(found.dwFileAttributes)});
    } while (FindNextFileW(search, &found));
    const DWORD end = GetLastError();
    FindClose(search);
    if (end != ERROR_NO_MORE_FILES) {
        entries.clear();
        return FailWith(end);
    }
    return true;
}

std::optional<std::string> AbsolutePath(const std::string& path)
{
    const std::wstring wide = Widen(path);
    if (wide.empty() || KindOf(path) == Kind::Missing)
        return std::nullopt;
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        Fail();
        return std::nullopt;
    }
    return Narrow(full.c_str(), static_cast<int>(length));
}

bool CreateFolder(const std::string& folder)
{
    const std::string_view name = std::string_view(folder).substr(folder.find_last_of("\\/") + 1);
    if (name == "." || name == "..")
        return FailWith("the path leaves its folder");
    const std::wstring wide = WidePath(folder);
    if (wide.empty())
        return Fail();
    if (CreateDirectoryW(wide.c_str(), nullptr))
        return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return Fail();
    const std::optional<Status> status = StatusOf(folder);
    if (!status)
        return false;
    if (status->kind == Kind::Link)
        return FailWith("a link stands where a folder would go, and kxhost does not follow it");
    return status->kind == Kind::Folder || FailWith(ERROR_DIRECTORY);
}

bool RemoveFile(const std::string& path)
{
    const std::wstring wide = Widen(path);
    return (!wide.empty() && DeleteFileW(wide.c_str())) || Fail();
}

std::size_t SpareHandles()
{
    // A process's handles run to millions; files are not what runs out.
    return std::size_t{1} << 20;
}

// ---------------------------------------------------------------------------
// File

File File::OpenForReading(const std::string& path, Links links)
{
    return File(OpenRegular(path, GENERIC_READ, kShareAll, OPEN_EXISTING, links == Links::Refuse));
}

File File::OpenForUpdate(const std::string& path)
{
    // Opened when it is there; otherwise created new, and should another
    // program create it in between, opened again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        HANDLE file = OpenRegular(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  OPEN_EXISTING, true);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND)
            return File(file);
        file = OpenRegular(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW, true);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return File(file);
    }
    return File();
}

File File::CreatePrivate(const std::string& path)
{
    OwnerOnlySecurity security;
    if (security.Attributes() == nullptr) {
        Fail();
        return File();
    }
    return File(OpenRegular(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, true, security.Attributes()));
}

File File::OpenStream(const std::string& path)
{
    const HANDLE file = Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (file == INVALID_HANDLE_VALUE) {
        Fail();
        return File();
    }
    const DWORD type = GetFileType(file);
    if (type != FILE_TYPE_PIPE && type != FILE_TYPE_CHAR) {
        CloseHandle(file);
        FailWith("not a pipe, terminal or device");
        return File();
    }
    return File(file);
}

std::optional<std::int64_t> File::Size() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) {
        Fail();
        return std::nullopt;
    }
    return size.QuadPart;
}

std::optional<Status> File::Status() const
{
    return StatusOfHandle(handle);
}

std::optional<bool> File::OthersMayAccess() const
{
    PSID owner = nullptr;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
        Fail();
        return std::nullopt;
    }
    constexpr ACCESS_MASK kData = FILE_READ_DATA | FILE_WRITE_DATA | GENERIC_READ | GENERIC_WRITE | GENERIC_ALL;
    bool shared = acl == nullptr; // no list at all lets everyone in
    for (DWORD i = 0; !shared && i < acl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(acl, i, &entry))
            continue;
        const auto* const allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || (allowed->Mask & kData) == 0)
            continue;
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        shared = !EqualSid(sid, owner) && !IsWellKnownSid(sid, WinLocalSystemSid) &&
                 !IsWellKnownSid(sid, WinBuiltinAdministratorsSid) && !IsWellKnownSid(sid, WinCreatorOwnerSid);
    }
    LocalFree(descriptor);
    return shared;
}

bool File::Seek(std::int64_t position)
{
    LARGE_INTEGER to{};
    to.QuadPart = position;
    return (position >= 0 && SetFilePointerEx(handle, to, nullptr, FILE_BEGIN)) || Fail();
}

std::optional<std::size_t> File::Read(void* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle, static_cast<char*>(buffer) + done, ask, &got, nullptr)) {
            Fail();
            return std::nullopt;
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool File::Write(const void* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(handle, static_cast<const char*>(data) + done, ask, &put, nullptr))
            return Fail();
        done += put;
    }
    return true;
}

bool File::WriteDirect(bool on)
{
    // Unbuffered writes are chosen when a file is opened and cannot be
    // switched on later: writes stay cached.
    return !on;
}

bool File::Flush()
{
    return FlushFileBuffers(handle) || Fail();
}

void File::Close()
{
    if (handle != kNoHandle)
        CloseHandle(handle);
    handle = kNoHandle;
}

// ---------------------------------------------------------------------------
// Replacement

bool Replacement::Begin(const std::string& target)
{
    Abandon();
    // Checked now, not only when the rename fails, so a caller that commits
    // later hears of it at once.
    const std::optional<Files::Status> there = StatusOf(target);
    if (there && there->kind == Kind::Folder)
        return FailWith("a folder stands where the file would go");
    if (there && there->kind == Kind::Link)
        return FailWith("a link stands where the file would go, and kxhost does not replace it");
    // A name holds at most 255 UTF-16 units on every Windows file system.
    constexpr std::size_t kLongestName = 255;
    const std::size_t slash = target.find_last_of("\\/");
    const std::string own = target.substr(slash == std::string::npos ? 0 : slash + 1) + kLeftoverSuffix;
    const std::string name = Widen(own).size() <= kLongestName
                                 ? target + kLeftoverSuffix
                                 : ParentOf(target) + '\\' + NewUniqueTemporaryName();
    const HANDLE file = CreateTemporary(name);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    output = File(file);
    destination = target;
    temporary = name;
    source.clear();
    return true;
}

bool Replacement::TakeAttributes(const Status& status)
{
    if ((status.permissions & 0222) != 0)
        return true;
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(output.handle, FileBasicInfo, &basic, sizeof basic))
        return Fail();
    basic.FileAttributes |= FILE_ATTRIBUTE_READONLY;
    return SetFileInformationByHandle(output.handle, FileBasicInfo, &basic, sizeof basic) || Fail();
}

bool Replacement::ReadyToMove()
{
    // The temporary file is open without sharing, so no one else can have
    // taken its name: only the source needs a look.
    if (!source.empty()) {
        const std::optional<Files::Status> now = StatusOf(source);
        if (!now || !now->Unchanged(sourceStatus))
            return FailWith(kSourceChanged);
    }
    return true;
}

bool Replacement::Commit()
{
    if (!output.IsOpen())
        return false;
    if (!output.Flush() || !ReadyToMove() || !RenameHandle(output.handle, destination)) {
        const std::string why = lastError;
        Abandon();
        lastError = why;
        return false;
    }
    temporary.clear();
    output.Close();
    return true;
}

void Replacement::Abandon()
{
    if (!temporary.empty() && output.IsOpen())
        DeleteOnClose(output.handle);
    temporary.clear();
    output.Close();
}

bool RemoveDeadTemporary(const std::string& path, std::string_view signature)
{
    // Without sharing: a live writer's file refuses to open.
    const HANDLE file = Open(path, GENERIC_READ | DELETE, 0, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE)
        return Fail();
    const std::optional<Status> status = StatusOfHandle(file);
    std::string start(signature.size(), '\0');
    DWORD got = 0;
    const bool recognised = status && status->kind == Kind::File && status->links == 1 &&
                            ReadFile(file, start.data(), static_cast<DWORD>(start.size()), &got, nullptr) &&
                            (got == 0 || (got == start.size() && start == signature));
    const bool removed = recognised && DeleteOnClose(file);
    CloseHandle(file);
    return removed;
}

// ---------------------------------------------------------------------------
// ReplacementGroup

std::vector<ReplacementGroup::Failure> ReplacementGroup::Commit()
{
    // Windows has no flush of a whole volume for ordinary users: each file
    // is flushed and moved in turn.
    std::vector<Failure> failures;
    for (Replacement& replacement : pending) {
        if (!replacement.Commit())
            failures.push_back({replacement.destination, lastError});
    }
    pending.clear();
    return failures;
}

// ---------------------------------------------------------------------------
// FolderLock

FolderLock::Result FolderLock::Acquire(const std::string& folder)
{
    Release();
    const std::optional<Status> status = StatusOf(folder);
    if (!status)
        return Result::Failed;
    if (status->kind != Kind::Folder) {
        FailWith(ERROR_DIRECTORY);
        return Result::Failed;
    }
    const auto open = [&](const wchar_t* space) {
        wchar_t name[96];
        std::swprintf(name, std::size(name), L"%ls\\kxhost-folder-%016llx-%016llx", space,
                      static_cast<unsigned long long>(status->identity.device),
                      static_cast<unsigned long long>(status->identity.index));
        return CreateMutexW(nullptr, FALSE, name);
    };
    HANDLE mutex = open(L"Global");
    // The global namespace may be closed to this user: the session's own
    // still keeps two runs of one user apart.
    if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED)
        mutex = open(L"Local");
    if (mutex == nullptr) {
        Fail();
        return Result::Failed;
    }
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        FailWith(ERROR_BUSY);
        return Result::Busy;
    }
    handle = mutex;
    return Result::Held;
}

void FolderLock::Release()
{
    if (handle != kNoHandle) {
        ReleaseMutex(handle);
        CloseHandle(handle);
    }
    handle = kNoHandle;
}

// ---------------------------------------------------------------------------
// Standard streams

bool IsTerminal(Stream stream)
{
    return IsConsole(GetStdHandle(stream == Stream::Input ? STD_INPUT_HANDLE : STD_ERROR_HANDLE));
}

void WriteError(std::string_view text)
{
    std::cerr.flush();
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (IsConsole(error)) {
        const std::wstring wide = Widen(std::string(text));
        DWORD written = 0;
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    File out(error);
    out.Write(text.data(), text.size());
    out.handle = File::kNoHandle; // not ours to close
}

std::optional<std::string> ReadInputLine()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!IsConsole(input)) {
        std::string line;
        if (!std::getline(std::cin, line))
            return std::nullopt;
        if (line.ends_with('\r'))
            line.pop_back();
        return line;
    }
    std::wstring line;
    for (;;) {
        wchar_t unit = 0;
        DWORD got = 0;
        if (!ReadConsoleW(input, &unit, 1, &got, nullptr) || got == 0)
            return line.empty() ? std::nullopt : std::optional<std::string>(Narrow(line.data(), static_cast<int>(line.size())));
        if (unit == L'\n')
            break;
        if (unit != L'\r')
            line += unit;
    }
    return Narrow(line.data(), static_cast<int>(line.size()));
}

bool WriteStandardOutput(const void* data, std::size_t size)
{
    std::fflush(stdout);
    std::cout.flush();
    File out(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool ok = out.Write(data, size);
    out.handle = File::kNoHandle; // not ours to close
    return ok;
}

bool ProtectStandardStreams()
{
    // Files are opened as handles, never as the C runtime's descriptors, so
    // none can take a stream's place.
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    return output == nullptr || output == INVALID_HANDLE_VALUE;
}

} // namespace Platform::Files
