// Linux: a private futex on the word, and membarrier for the process-wide
// fence (registered on first use; a kernel without the expedited command gets
// the global one, which is slower but has the same effect).
#include "platform/Wait.h"

#include <linux/futex.h>
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace Platform {

namespace {

long Futex(const std::atomic<std::uint32_t>& word, int op, std::uint32_t value, const timespec* timeout) noexcept
{
    // std::atomic<uint32_t> is a plain 32-bit word: what the kernel compares.
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
    return syscall(SYS_futex, reinterpret_cast<const std::uint32_t*>(&word), op | FUTEX_PRIVATE_FLAG, value, timeout,
                   nullptr, 0);
}

int ChooseMembarrierCommand() noexcept
{
    if (syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0)
        return MEMBARRIER_CMD_PRIVATE_EXPEDITED;
    return MEMBARRIER_CMD_GLOBAL;
}

} // namespace

void WaitWhileEqual(const std::atomic<std::uint32_t>& word, std::uint32_t value, unsigned timeoutMs) noexcept
{
    const timespec timeout{static_cast<time_t>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000000L};
    Futex(word, FUTEX_WAIT, value, &timeout);
}

void WakeOne(const std::atomic<std::uint32_t>& word) noexcept
{
    Futex(word, FUTEX_WAKE, 1, nullptr);
}

void FenceAllThreads() noexcept
{
    static const int command = ChooseMembarrierCommand();
    if (syscall(SYS_membarrier, command, 0, 0) != 0)
        std::atomic_thread_fence(std::memory_order_seq_cst); // no membarrier: the waiter's bounded sleep covers it
}

double ThreadCpuSeconds() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

} // namespace Platform
