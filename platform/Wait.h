// Blocking on a 32-bit word, and the one fence that lets a lock's release
// stay a plain store.
//
// The memory manager's lock spins briefly, then sleeps here instead of
// burning a processor for as long as another thread holds it. Linux uses a
// private futex and membarrier; Windows uses WaitOnAddress and
// FlushProcessWriteBuffers.
#pragma once

#include <atomic>
#include <cstdint>

namespace Platform {

/// Sleeps while `word` holds `value`, for at most `timeoutMs` milliseconds.
/// Returns at once when the word already differs; may also return early for
/// no reason (callers re-check in a loop). Allocates nothing.
void WaitWhileEqual(const std::atomic<std::uint32_t>& word, std::uint32_t value, unsigned timeoutMs) noexcept;

/// Wakes one thread sleeping in WaitWhileEqual on `word`, if any.
void WakeOne(const std::atomic<std::uint32_t>& word) noexcept;

/// Makes every thread of the process pass a full memory barrier before it
/// returns. It is the slow half of an asymmetric fence: a thread that calls
/// it after a store, then loads, is ordered against every other thread's
/// store-then-load even where that thread used only a compiler barrier.
/// Costs a system call and an interrupt per running thread: for slow paths
/// only.
void FenceAllThreads() noexcept;

/// Processor time the calling thread has used, in seconds: how a test tells
/// a sleeping waiter from a spinning one.
double ThreadCpuSeconds() noexcept;

} // namespace Platform
