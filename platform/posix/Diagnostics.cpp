// Linux diagnostics: reports to standard error, stacks from glibc's
// backtrace(), names from dladdr() with demangling.
#include "platform/Diagnostics.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Platform {

bool ShowAssertBox(const char* title, const char* text)
{
    std::fprintf(stderr, "[%s] %s", title, text);
    std::fflush(stderr);
    return true;
}

void DebugOutput(const char* text)
{
    std::fputs(text, stderr);
}

__attribute__((noinline)) std::size_t CaptureStack(void** frames, std::size_t maxFrames)
{
    // backtrace() reports its caller first, which is this function: capture
    // one more frame than asked and drop it.
    constexpr int kMaxCapture = 256;
    void* raw[kMaxCapture];
    const int want = static_cast<int>(maxFrames + 1 < kMaxCapture ? maxFrames + 1 : kMaxCapture);
    const int got = backtrace(raw, want);
    if (got <= 1)
        return 0;
    const std::size_t n = static_cast<std::size_t>(got - 1);
    std::memcpy(frames, raw + 1, n * sizeof(void*));
    return n;
}

bool SymbolName(const void* address, char* name, std::size_t nameSize)
{
    if (nameSize == 0)
        return false;
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_sname == nullptr)
        return false;
    int status = 0;
    char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
    const char* text = status == 0 && demangled ? demangled : info.dli_sname;
    std::snprintf(name, nameSize, "%s", text);
    std::free(demangled);
    return true;
}

} // namespace Platform
