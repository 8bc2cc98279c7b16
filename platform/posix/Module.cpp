// Loadable modules on Linux: dlopen, dlsym and dlclose, after a look at the
// file's ELF headers; the executable's own path from /proc/self/exe.
#include "platform/Module.h"
#include "platform/ModuleImage.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace Platform {

namespace {

/// Reads `length` bytes at `offset` of `descriptor`; false when the read
/// fails or the file ends first.
bool ReadAt(int descriptor, std::uint64_t offset, unsigned char* out, std::size_t length)
{
    while (length > 0) {
        const ssize_t got = pread(descriptor, out, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

/// What `examine` says of the regular file `file` (its size and a reader of
/// its bytes), or why it is no regular file that can be read.
std::string ExamineModuleFile(const std::string& file,
                              const std::function<std::string(std::uint64_t, const ImageReader&)>& examine)
{
    // dlopen would open a FIFO without O_NONBLOCK and wait for a writer
    // forever; this open returns at once, and fstat then tells what it is.
    const int descriptor = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return std::strerror(errno);
    struct stat status {};
    std::string problem;
    if (fstat(descriptor, &status) != 0)
        problem = std::strerror(errno);
    else if (S_ISDIR(status.st_mode))
        problem = "it is a folder, not a module file";
    else if (!S_ISREG(status.st_mode))
        problem = "it is not a regular file";
    else
        problem = examine(static_cast<std::uint64_t>(status.st_size), std::bind_front(&ReadAt, descriptor));
    close(descriptor);
    return problem;
}

} // namespace

ModuleHandle LoadModule(const std::string& path, std::string& error)
{
    // A path without a slash would make dlopen search the library path; the
    // caller names a file, so make it one.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    // dlopen maps segments that reach beyond the end of a truncated file,
    // and the process dies of SIGBUS when it touches them: refuse such a
    // file here, with a reason.
    error = ExamineModuleFile(file, CheckElfImage);
    if (!error.empty())
        return nullptr;
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

std::optional<std::vector<std::string>> ModuleExports(const std::string& path, std::string& error)
{
    std::optional<std::vector<std::string>> names;
    error = ExamineModuleFile(path, [&](std::uint64_t size, const ImageReader& read) {
        std::string problem = CheckElfImage(size, read);
        if (problem.empty() && !(names = ElfExports(size, read)))
            problem = "cannot read its symbol table";
        return problem;
    });
    return error.empty() ? names : std::nullopt;
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

std::optional<std::string> ExecutablePath()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2); // truncated: try a larger buffer
    }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

} // namespace Platform
