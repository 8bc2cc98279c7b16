// Loadable modules on Linux: dlopen, dlsym and dlclose; the executable's own
// path from /proc/self/exe.
#include "platform/Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

namespace Platform {

ModuleHandle LoadModule(const std::string& path, std::string& error)
{
    // A path without a slash would make dlopen search the library path; the
    // caller names a file, so make it one.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    // RTLD_LOCAL keeps each module's symbols to itself, as separately loaded
    // modules are on Windows; RTLD_NOW reports a missing dependency here
    // rather than at the first call into the module.
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "the module could not be loaded";
        // dlerror names the file first; the caller already knows it.
        const std::string prefix = file + ": ";
        if (error.compare(0, prefix.size(), prefix) == 0)
            error.erase(0, prefix.size());
    }
    return module;
}

ModuleFunction FindModuleSymbol(ModuleHandle module, const char* name)
{
    if (module == nullptr || name == nullptr)
        return nullptr;
    // POSIX guarantees that a data pointer from dlsym converts to a function
    // pointer; the copy avoids the cast that C++ leaves conditionally
    // supported.
    void* symbol = dlsym(module, name);
    ModuleFunction function = nullptr;
    static_assert(sizeof function == sizeof symbol);
    std::memcpy(&function, &symbol, sizeof function);
    return function;
}

void UnloadModule(ModuleHandle module)
{
    if (module != nullptr)
        dlclose(module);
}

std::optional<std::string> ExecutableFolder()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            std::string path(buffer.data(), static_cast<std::size_t>(length));
            const std::size_t slash = path.rfind('/');
            if (slash == std::string::npos)
                return std::nullopt;
            path.resize(slash == 0 ? 1 : slash);
            return path;
        }
        buffer.resize(buffer.size() * 2); // truncated: try a larger buffer
    }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

} // namespace Platform
