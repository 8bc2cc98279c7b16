// Loadable modules on Windows: LoadLibraryW, GetProcAddress and FreeLibrary,
// with UTF-8 paths converted to UTF-16, a look at the file's PE headers first
// and the system's own error text.
#include "platform/Module.h"
#include "platform/ModuleImage.h"
#include "platform/win32/Utf16.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <functional>
#include <string>

namespace Platform {

namespace {

/// Reads `length` bytes at `offset` of `file`; false when the read fails or
/// the file ends first.
bool ReadAt(HANDLE file, std::uint64_t offset, unsigned char* out, std::size_t length)
{
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD wanted = length < MAXDWORD ? static_cast<DWORD>(length) : MAXDWORD;
        DWORD got = 0;
        if (!ReadFile(file, out, wanted, &got, &at) || got == 0)
            return false;
        out += got;
        offset += got;
        length -= got;
    }
    return true;
}

/// What `examine` says of the regular file `path` (its size and a reader of
/// its bytes), or why it is no regular file that can be read.
std::string ExamineModuleFile(const std::wstring& path,
                              const std::function<std::string(std::uint64_t, const ImageReader&)>& examine)
{
    // FILE_FLAG_BACKUP_SEMANTICS opens a folder too, so that it is refused
    // for what it is rather than as a file that cannot be opened.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ErrorText(GetLastError());
    std::string problem;
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file) != FILE_TYPE_DISK)
        problem = "it is not a regular file";
    else if (!GetFileInformationByHandle(file, &information))
        problem = ErrorText(GetLastError());
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        problem = "it is a folder, not a module file";
    else
        problem = examine(static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow,
                          std::bind_front(&ReadAt, file));
    CloseHandle(file);
    return problem;
}

} // namespace

ModuleHandle LoadModule(const std::string& path, std::string& error)
{
    // A bare file name would make LoadLibraryW search the system folders and
    // the search path; the caller names a file, so make it one.
    const bool bare = path.find_first_of("\\/") == std::string::npos;
    const std::wstring wide = Widen(bare ? ".\\" + path : path);
    if (wide.empty()) {
        error = path.empty() ? "no module path given" : "the module path is not valid UTF-8";
        return nullptr;
    }
    // No dialog box for a file that is missing or not a library: the caller
    // reports the error itself.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The loader maps sections that reach beyond the end of a truncated file
    // and faults when they are touched: refuse such a file here, with a
    // reason.
    error = ExamineModuleFile(wide, CheckPeImage);
    HMODULE module = nullptr;
    if (error.empty()) {
        module = LoadLibraryW(wide.c_str());
        if (module == nullptr)
            error = ErrorText(GetLastError());
    }
    SetErrorMode(previous);
    return module;
}

std::optional<std::vector<std::string>> ModuleExports(const std::string& path, std::string& error)
{
    std::optional<std::vector<std::string>> names;
    error = ExamineModuleFile(Widen(path), [&](std::uint64_t size, const ImageReader& read) {
        std::string problem = CheckPeImage(size, read);
        if (problem.empty() && !(names = PeExports(size, read)))
            problem = "cannot read its export directory";
        return problem;
    });
    return error.empty() ? names : std::nullopt;
}

ModuleFunction FindModuleSymbol(ModuleHandle module, const char* name)
{
    if (module == nullptr || name == nullptr)
        return nullptr;
    return reinterpret_cast<ModuleFunction>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(ModuleHandle module)
{
    if (module != nullptr)
        FreeLibrary(static_cast<HMODULE>(module));
}

std::optional<std::string> ExecutablePath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::nullopt;
        if (length < buffer.size())
            return Narrow(buffer.data(), static_cast<int>(length));
        buffer.resize(buffer.size() * 2); // truncated: try a larger buffer
    }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc); // the ANSI form is better than nothing
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        arguments.push_back(Narrow(wide[i], static_cast<int>(wcslen(wide[i]))));
    LocalFree(wide);
    return arguments;
}

} // namespace Platform
