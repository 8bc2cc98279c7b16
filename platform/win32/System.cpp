// Windows system services: GetEnvironmentVariableA, GetFileAttributesA,
// FindFirstFileA, CreateFileA with GetFileTime and ReadFile, DeleteFileA,
// GetFullPathNameA, a shell link written through IShellLinkA and
// IPersistFile, and ShellExecuteExA for the child program.
//
// Every buffer is sized from what the call reports it needs, so settings and
// paths of any length the system accepts pass through whole.
#include "platform/System.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

namespace Platform {

namespace {

constexpr const char* kAllEntriesPattern = "\\*";
constexpr const char* kOpenVerb = "open";

/// Closes a kernel handle when it goes out of scope.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (valid())
            CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

HANDLE OpenForReading(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

std::optional<FileTime> WriteTimeOf(const std::string& path)
{
    const Handle file(OpenForReading(path));
    FILETIME written{};
    if (!file.valid() || !GetFileTime(file.get(), nullptr, nullptr, &written))
        return std::nullopt;
    return static_cast<FileTime>((static_cast<std::uint64_t>(written.dwHighDateTime) << 32) |
                                 written.dwLowDateTime);
}

/// Releases a COM interface when it goes out of scope.
template <typename Interface> class ComReference {
public:
    ComReference() = default;
    ~ComReference()
    {
        if (pointer_ != nullptr)
            pointer_->Release();
    }
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;
    Interface* operator->() const { return pointer_; }
    void** out() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

bool SaveShellLink(const std::string& linkPath, const std::string& targetFolder)
{
    ComReference<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out())))
        return false;
    link->SetPath(targetFolder.c_str());
    link->SetDescription("");
    ComReference<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out())))
        return false;
    const int units = MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, nullptr, 0);
    if (units <= 0)
        return false;
    std::wstring widePath(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, widePath.data(), units) <= 0)
        return false;
    return SUCCEEDED(file->Save(widePath.c_str(), TRUE));
}

} // namespace

std::optional<std::string> ReadEnvironment(const char* name)
{
    std::string value;
    DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
    // The variable may change between the calls; ask again until it fits.
    while (needed > 1) {
        value.resize(needed);
        const DWORD got = GetEnvironmentVariableA(name, value.data(), needed);
        if (got < needed) {
            value.resize(got);
            break;
        }
        needed = got;
    }
    if (needed <= 1 || value.empty())
        return std::nullopt;
    return value;
}

bool IsDirectory(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries)
{
    entries.clear();
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((folder + kAllEntriesPattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        entries.push_back({found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

std::optional<FileTime> ReadFileWriteTime(const std::string& path)
{
    return WriteTimeOf(path);
}

bool ReadWholeFile(const std::string& path, std::vector<char16_t>& units, std::size_t& byteCount)
{
    // A folder cannot be opened this way; a pipe or device is not a disk file.
    const Handle file(OpenForReading(path));
    LARGE_INTEGER size{};
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
        size.QuadPart < 0)
        return false;
    const auto total = static_cast<std::size_t>(size.QuadPart);
    units.resize((total + 1) / sizeof(char16_t));
    if (!units.empty())
        units.back() = 0;
    auto* bytes = reinterpret_cast<char*>(units.data());
    std::size_t done = 0;
    while (done < total) {
        constexpr std::size_t kMaxChunk = 1u << 30;
        const DWORD want = static_cast<DWORD>(total - done < kMaxChunk ? total - done : kMaxChunk);
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes + done, want, &got, nullptr) || got == 0)
            return false;
        done += got;
    }
    byteCount = total;
    return true;
}

void RemoveFileIfPresent(const std::string& path)
{
    DeleteFileA(path.c_str());
}

std::optional<std::string> CanonicalPath(const std::string& path)
{
    std::string result;
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    while (needed > 0) {
        result.resize(needed);
        const DWORD got = GetFullPathNameA(path.c_str(), needed, result.data(), nullptr);
        if (got == 0)
            return std::nullopt;
        if (got < needed) {
            result.resize(got);
            return result;
        }
        needed = got;
    }
    return std::nullopt;
}

bool WriteFolderLink(const std::string& linkPath, const std::string& targetFolder)
{
    // The apartment's result is not examined: an already initialised thread
    // can still create the link.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool saved = SaveShellLink(linkPath, targetFolder);
    if (SUCCEEDED(apartment))
        CoUninitialize();
    return saved;
}

std::optional<FileTime> ReadFolderLinkTime(const std::string& linkPath)
{
    return WriteTimeOf(linkPath);
}

bool RunProgram(const std::string& program, const std::string& parameters)
{
    std::fflush(stdout);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_NO_CONSOLE;
    info.lpVerb = kOpenVerb;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info) || info.hProcess == nullptr)
        return false;
    const Handle process(info.hProcess);
    DWORD exitCode = 1;
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), &exitCode))
        return false;
    return exitCode == 0;
}

} // namespace Platform
