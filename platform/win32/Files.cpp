// Windows files: the wide CreateFileW family with UTF-8 paths converted to
// UTF-16, FindFirstFileW for folders, FlushFileBuffers, and a replacement
// whose temporary file is opened without sharing and moved over the
// destination with MoveFileExW, written through to the disk.
#include "platform/Files.h"
#include "platform/win32/Utf16.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

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

Kind KindOfAttributes(DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Kind::Missing;
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

/// Opens `path` with the given access, sharing and disposition, refusing
/// anything but a regular file.
HANDLE OpenRegular(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    const std::wstring wide = Widen(path);
    if (wide.empty()) {
        FailWith(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = CreateFileW(wide.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail();
        return file;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        FailWith(ERROR_INVALID_FUNCTION);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

const std::string& LastError()
{
    return lastError;
}

Kind KindOf(const std::string& path)
{
    const std::wstring wide = Widen(path);
    if (wide.empty())
        return Kind::Missing;
    const Kind kind = KindOfAttributes(GetFileAttributesW(wide.c_str()));
    if (kind == Kind::Missing)
        Fail();
    return kind;
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
        const std::string name = Narrow(found.cFileName, static_cast<int>(std::wcslen(found.cFileName)));
        const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back({name, isLink ? KindOf(prefix + name) : KindOfAttributes(found.dwFileAttributes), isLink});
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

bool CreateFolders(const std::string& folder)
{
    if (folder.empty())
        return false;
    if (KindOf(folder) == Kind::Folder)
        return true;
    const std::string parent = ParentOf(folder);
    if (parent != folder && !CreateFolders(parent))
        return false;
    if (!CreateDirectoryW(Widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Fail();
    return KindOf(folder) == Kind::Folder || FailWith(ERROR_DIRECTORY);
}

bool RemoveFile(const std::string& path)
{
    const std::wstring wide = Widen(path);
    return (!wide.empty() && DeleteFileW(wide.c_str())) || Fail();
}

// ---------------------------------------------------------------------------
// File

File File::OpenForReading(const std::string& path)
{
    return File(OpenRegular(path, GENERIC_READ, kShareAll, OPEN_EXISTING));
}

File File::OpenForUpdate(const std::string& path)
{
    return File(OpenRegular(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_ALWAYS));
}

File File::CreatePrivate(const std::string& path)
{
    return File(OpenRegular(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW));
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

bool File::Reserve(std::int64_t /*bytes*/)
{
    // Windows allocates a file's space as it is written, so a full disk
    // already shows in Write.
    return true;
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
    if (KindOf(target) == Kind::Folder) {
        lastError = "a folder stands where the file would go";
        return false;
    }
    destination = target;
    temporary = target + kLeftoverSuffix;
    // No sharing: a second writer's open fails while this one holds the file.
    output = File(OpenRegular(temporary, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS));
    if (!output.IsOpen()) {
        temporary.clear(); // perhaps another writer's: not ours to remove
        return false;
    }
    return true;
}

bool Replacement::Commit()
{
    if (!output.IsOpen())
        return false;
    if (!output.Flush()) {
        Abandon();
        return false;
    }
    output.Close();
    if (!MoveFileExW(Widen(temporary).c_str(), Widen(destination).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Fail();
        Abandon();
        return false;
    }
    temporary.clear();
    return true;
}

void Replacement::Abandon()
{
    output.Close();
    if (!temporary.empty()) {
        DeleteFileW(Widen(temporary).c_str());
        temporary.clear();
    }
}

bool IsTerminal(Stream stream)
{
    const HANDLE handle = GetStdHandle(stream == Stream::Input ? STD_INPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
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

bool WriteStandardOutput(const void* data, std::size_t size)
{
    std::fflush(stdout);
    File out(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool ok = out.Write(data, size);
    out.handle = File::kNoHandle; // not ours to close
    return ok;
}

} // namespace Platform::Files
