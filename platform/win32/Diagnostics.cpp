// Windows diagnostics: MessageBoxA, OutputDebugStringA, RtlCaptureStackBackTrace
// looked up in kernel32 once, and DbgHelp for symbol names.
#include "platform/Diagnostics.h"

#include <windows.h>
#include <dbghelp.h>

#include <cstdio>
#include <mutex>

namespace Platform {

bool ShowAssertBox(const char* title, const char* text)
{
    return MessageBoxA(nullptr, text, title, MB_YESNO | MB_ICONWARNING) != IDNO;
}

void DebugOutput(const char* text)
{
    OutputDebugStringA(text);
}

namespace {
using CaptureFn = USHORT(WINAPI*)(ULONG, ULONG, PVOID*, PULONG);

CaptureFn CaptureFunction()
{
    static CaptureFn fn = [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        return kernel ? reinterpret_cast<CaptureFn>(
                            reinterpret_cast<void*>(GetProcAddress(kernel, "RtlCaptureStackBackTrace")))
                      : nullptr;
    }();
    return fn;
}
} // namespace

__attribute__((noinline)) std::size_t CaptureStack(void** frames, std::size_t maxFrames)
{
    CaptureFn capture = CaptureFunction();
    if (capture == nullptr)
        return 0;
    // Skip this function's own frame so the caller comes first.
    return capture(1, static_cast<ULONG>(maxFrames), frames, nullptr);
}

bool SymbolName(const void* address, char* name, std::size_t nameSize)
{
    static const bool ready = [] {
        SymSetOptions(SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS);
        return SymInitialize(GetCurrentProcess(), nullptr, TRUE) != FALSE;
    }();
    if (!ready || nameSize == 0)
        return false;

    constexpr std::size_t kMaxName = 2000;
    alignas(SYMBOL_INFO) char storage[sizeof(SYMBOL_INFO) + kMaxName];
    auto* symbol = reinterpret_cast<SYMBOL_INFO*>(storage);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = kMaxName;
    DWORD64 displacement = 0;
    if (!SymFromAddr(GetCurrentProcess(), reinterpret_cast<DWORD64>(address), &displacement, symbol))
        return false;
    std::snprintf(name, nameSize, "%s", symbol->Name);
    return true;
}

} // namespace Platform
