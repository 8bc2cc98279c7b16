// Loadable modules: opening a shared library by path, finding an exported
// symbol in it and closing it again, plus where the running program lives and
// what it was started with.
//
// The reference host loads plug-in modules (.kxl files) through these; the
// module's exports are plain C names. Paths are UTF-8 on every platform: on
// Windows they are converted to UTF-16 for LoadLibraryW, so a module in a
// folder with non-ASCII characters loads as it does on Linux.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Platform {

/// A loaded module; null is no module.
using ModuleHandle = void*;

/// Any exported function, as FindModuleSymbol hands it out; the caller casts
/// it to the function's own type.
using ModuleFunction = void (*)();

/// Loads the shared library at `path` (UTF-8) and runs its initialisation.
/// Returns null when it cannot be loaded, and then sets `error` to the
/// explanation without the path (for instance that the file is missing or is
/// not a library for this machine). A path that is not a regular file (a
/// folder, a FIFO, a device) and a file whose loadable parts reach beyond its
/// end (platform/ModuleImage.h) are refused before the system loader sees
/// them, without blocking. Each successful call must be matched by one
/// UnloadModule.
ModuleHandle LoadModule(const std::string& path, std::string& error);

/// The names the module file at `path` exports, read from the file without
/// loading it; nullopt with `error` set when it is no module file that can
/// be read.
std::optional<std::vector<std::string>> ModuleExports(const std::string& path, std::string& error);

/// The exported function `name` of `module`, or null when the module does not
/// export it (or `module` is null).
ModuleFunction FindModuleSymbol(ModuleHandle module, const char* name);

/// Gives back a handle from LoadModule; the module's static destruction runs
/// when this was the last handle to it. Null is ignored. Nothing from the
/// module (functions, objects, vtables) may be used afterwards.
void UnloadModule(ModuleHandle module);

/// The path of the running program's executable file, in UTF-8; nullopt
/// when the system cannot tell.
std::optional<std::string> ExecutablePath();

/// The folder of the running program's executable file, in UTF-8 and without
/// a trailing separator; nullopt when the system cannot tell.
inline std::optional<std::string> ExecutableFolder()
{
#if defined(_WIN32)
    constexpr const char* kSeparators = "\\/";
#else
    constexpr const char* kSeparators = "/";
#endif
    std::optional<std::string> path = ExecutablePath();
    const std::size_t separator = path ? path->find_last_of(kSeparators) : std::string::npos;
    if (separator == std::string::npos)
        return std::nullopt;
    path->resize(separator == 0 ? 1 : separator);
    return path;
}

/// The program's command-line arguments in UTF-8, its name first. `argc` and
/// `argv` are main's. Linux hands them on as they are; Windows reads the
/// command line again in UTF-16, because main's argv is in the ANSI code page,
/// which cannot spell every file name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

} // namespace Platform
