// Processor hints for code that waits on memory written by another core.
#pragma once

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#endif

namespace Platform {

/// Tells the processor that the caller is spinning: on x86 a pause, which
/// lets the other hardware thread run and stops the loop from flooding the
/// memory system; elsewhere nothing.
inline void CpuRelax() noexcept
{
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
    _mm_pause();
#endif
}

} // namespace Platform
