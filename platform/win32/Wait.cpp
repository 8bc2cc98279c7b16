// Windows: WaitOnAddress and WakeByAddressSingle on the word, and
// FlushProcessWriteBuffers for the process-wide fence.
#include "platform/Wait.h"

#include <windows.h>

namespace Platform {

void WaitWhileEqual(const std::atomic<std::uint32_t>& word, std::uint32_t value, unsigned timeoutMs) noexcept
{
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
    WaitOnAddress(const_cast<std::atomic<std::uint32_t>*>(&word), &value, sizeof value, timeoutMs);
}

void WakeOne(const std::atomic<std::uint32_t>& word) noexcept
{
    WakeByAddressSingle(const_cast<std::atomic<std::uint32_t>*>(&word));
}

void FenceAllThreads() noexcept
{
    FlushProcessWriteBuffers();
}

double ThreadCpuSeconds() noexcept
{
    FILETIME creation, exit, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user))
        return 0;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 1e-7; // 100 ns units
}

} // namespace Platform
