// TDisableScreenRefreshState: a guard that keeps the host from refreshing the
// screen while dialog code changes many controls at once, so the user sees
// the end state instead of every step.
//
// Guards nest: all of them share one process-wide count. The first guard
// (count 0 to 1) switches the host's refresh off; the one that brings the
// count back to 0 switches it on again. Inner guards tell the host nothing.
//
// Contracts:
// - The count moves whether or not an application interface is known; the
//   host is told only when Module().application is set at that moment.
// - Guards are for the thread that runs dialogs; the count is not locked.
// - A guard cannot be copied: a copy would end once more than it began.
#pragma once

#include <cstdint>

class TDisableScreenRefreshState {
public:
    /// Switches the host's refresh off when no other guard lives.
    TDisableScreenRefreshState() noexcept;
    /// Switches the host's refresh on again when this is the last guard.
    virtual ~TDisableScreenRefreshState();

    TDisableScreenRefreshState(const TDisableScreenRefreshState&) = delete;
    TDisableScreenRefreshState& operator=(const TDisableScreenRefreshState&) = delete;

    /// The number of guards alive in the process.
    static std::uint64_t NestingDepth() noexcept;
};
