// Child processes on Windows: CreateProcessW with its output on two pipes,
// each read by a thread of its own, inside a job object that is terminated
// when the time is up, so that whatever the child started stops too.
#include "platform/Process.h"
#include "platform/win32/Utf16.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <thread>

namespace Platform {

namespace {

/// Closes a handle once, when it goes.
class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle; }
    HANDLE* Out() { return &handle; }
    void Close()
    {
        if (handle != nullptr)
            CloseHandle(handle);
        handle = nullptr;
    }

private:
    HANDLE handle;
};

/// `argument` quoted as a Windows program splits its command line.
std::wstring Quoted(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

/// Orders variable names as Windows does: without regard to case, so that
/// an added "Path" replaces the caller's "PATH" instead of standing beside it
/// (where the child would find the caller's first), and the block is sorted
/// as CreateProcessW expects.
struct NameOrder {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                    TRUE) == CSTR_LESS_THAN;
    }
};

/// The caller's environment with `added` set over it, as the block
/// CreateProcessW takes.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& added)
{
    std::map<std::wstring, std::wstring, NameOrder> variables;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            const std::wstring line = entry;
            const std::size_t equals = line.find(L'=', 1); // "=C:" lines start with '='
            if (equals != std::wstring::npos)
                variables[line.substr(0, equals)] = line.substr(equals + 1);
        }
        FreeEnvironmentStringsW(strings);
    }
    for (const auto& [name, value] : added)
        variables[Widen(name)] = Widen(value);
    std::wstring block;
    for (const auto& [name, value] : variables)
        block.append(name).append(L"=").append(value).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

ChildResult NotStarted(const std::string& what)
{
    ChildResult result;
    result.err = what + ": " + ErrorText(GetLastError());
    return result;
}

void ReadAll(HANDLE pipe, std::string& into)
{
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        into.append(buffer, got);
}

} // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     std::chrono::milliseconds limit, const std::string& folder,
                     const std::vector<std::pair<std::string, std::string>>& environment)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(outRead.Out(), outWrite.Out(), &inheritable, 0) ||
        !CreatePipe(errRead.Out(), errWrite.Out(), &inheritable, 0))
        return NotStarted("cannot make a pipe");
    SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.Get(), HANDLE_FLAG_INHERIT, 0);
    Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                             nullptr));

    std::wstring commandLine = Quoted(Widen(program));
    for (const std::string& argument : arguments)
        commandLine.append(L" ").append(Quoted(Widen(argument)));
    std::wstring block = EnvironmentBlock(environment);
    const std::wstring directory = Widen(folder);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = errWrite.Get();
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so nothing it starts escapes; without
    // a console, as its output goes to the pipes: a console of its own would
    // be one more process (a hidden console host) that may outlive it and
    // hold this process's inherited handles open.
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, block.data(),
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process))
        return NotStarted("cannot start " + program);
    Handle processHandle(process.hProcess), threadHandle(process.hThread);
    Handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job.Get() != nullptr) {
        SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(job.Get(), processHandle.Get());
    }
    ResumeThread(threadHandle.Get());
    outWrite.Close();
    errWrite.Close();

    ChildResult result;
    std::thread outReader(ReadAll, outRead.Get(), std::ref(result.out));
    std::thread errReader(ReadAll, errRead.Get(), std::ref(result.err));
    const DWORD waited = WaitForSingleObject(processHandle.Get(), static_cast<DWORD>(limit.count()));
    if (waited != WAIT_OBJECT_0) {
        if (job.Get() != nullptr)
            TerminateJobObject(job.Get(), 1);
        TerminateProcess(processHandle.Get(), 1);
        WaitForSingleObject(processHandle.Get(), INFINITE);
        result.end = ChildResult::End::TimedOut;
    }
    // What the child started goes with it, and its ends of the pipes too.
    if (job.Get() != nullptr)
        TerminateJobObject(job.Get(), 1);
    outReader.join();
    errReader.join();
    if (result.end == ChildResult::End::TimedOut)
        return result;
    DWORD code = 0;
    GetExitCodeProcess(processHandle.Get(), &code);
    // Exception codes are NTSTATUS errors, with both high bits set.
    result.end = (code & 0xC0000000u) == 0xC0000000u ? ChildResult::End::Crashed : ChildResult::End::Exited;
    result.code = static_cast<int>(code);
    return result;
}

std::string DescribeEnd(const ChildResult& result)
{
    switch (result.end) {
    case ChildResult::End::Exited:
        return "exit code " + std::to_string(result.code);
    case ChildResult::End::Crashed: {
        char text[64];
        const auto code = static_cast<unsigned long>(static_cast<DWORD>(result.code));
        const char* name = code == EXCEPTION_ACCESS_VIOLATION         ? " (access violation)"
                           : code == EXCEPTION_STACK_OVERFLOW         ? " (stack overflow)"
                           : code == EXCEPTION_INT_DIVIDE_BY_ZERO     ? " (integer division by zero)"
                           : code == EXCEPTION_ILLEGAL_INSTRUCTION    ? " (illegal instruction)"
                           : code == 0xC0000409ul                     ? " (fail fast)"
                                                                      : "";
        std::snprintf(text, sizeof text, "exception 0x%08lX%s", code, name);
        return text;
    }
    case ChildResult::End::TimedOut:
        return "stopped at its time limit";
    case ChildResult::End::NotStarted:
        break;
    }
    return result.err;
}

void EndQuietlyOnCrash()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
#if defined(_UCRT)
    // The Universal CRT's abort() reports a fault (and may call up a dialog)
    // unless told not to; msvcrt, which the mingw-w64 build links by default,
    // neither does that nor has the call.
    _set_abort_behavior(0, _WRITE_ABORT_MSG | _CALL_REPORTFAULT);
#endif
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* exception) -> LONG {
        TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
        return EXCEPTION_EXECUTE_HANDLER;
    });
}

} // namespace Platform
