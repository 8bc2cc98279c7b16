// Loadable modules on Windows: LoadLibraryW, GetProcAddress and FreeLibrary,
// with UTF-8 paths converted to UTF-16 and the system's own error text.
#include "platform/Module.h"
#include "platform/win32/Utf16.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace Platform {

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
    HMODULE module = LoadLibraryW(wide.c_str());
    const DWORD code = GetLastError();
    SetErrorMode(previous);
    if (module == nullptr)
        error = ErrorText(code);
    return module;
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

std::optional<std::string> ExecutableFolder()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::nullopt;
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2); // truncated: try a larger buffer
    }
    const std::size_t separator = buffer.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return std::nullopt;
    buffer.resize(separator);
    return Narrow(buffer.data(), static_cast<int>(buffer.size()));
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
