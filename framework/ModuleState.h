/// @file
/// The module-wide state every plug-in module keeps, and the wrappers through
/// which the rest of the module reaches the host's service table.
///
/// The state is plain and unlocked: the host calls a module on its own
/// thread. Each module entry overwrites the current callback block and the
/// service table, so they always reflect the host's latest call; the host
/// stubs put the callback block back after each host call (HostStubs.h).
#pragma once

#include "framework/HostServices.h"

#include <cstddef>
#include <cstdint>

namespace Calvera::Extension {
class IHostApplication;
}

namespace ZEDA::PluginSupport {

/// @name Results across the host boundary
/// @{

/// Success.
inline constexpr std::int32_t kResultOk = 0;
inline constexpr std::int32_t kResultNoServices = 4;     ///< the host's service table is not known
inline constexpr std::int32_t kResultNoServiceEntry = 15; ///< the table lacks the function asked for
/// Memory ran short (also what the module entry answers for any exception).
inline constexpr std::int32_t kResultOutOfMemory = 12;
/// What action -5 answers for the module's identifier, whether or not it
/// destroyed an object: hosts have always been given this value there.
inline constexpr std::int32_t kResultDestroyAnswer = 12;
/// @}

/// The state a module entry sets up on every call.
struct ModuleState {
    HostCallbackBlock* callbackBlock = nullptr; ///< the block host entries are resolved through
    HostServices* services = nullptr;           ///< null until the host fills it
    /// The host's application interface as the latest entry found it:
    /// borrowed, without a reference (the host keeps it alive for the
    /// module's life); null when the host has none.
    Calvera::Extension::IHostApplication* application = nullptr;
    /// Host interfaces fetched on first use and kept; released by
    /// ReleaseCachedInterfaces.
    IKXUnknown* cachedInterfaces[3] = {};
};

/// The module's one state, created on first use and kept until the module is
/// unloaded.
ModuleState& Module();

/// The host's object for `identifier` in `*out`, holding one reference for the
/// caller; `*out` is null on failure, and `out` must not be null. Returns
/// the host's result, kResultNoServices without a service table or
/// kResultNoServiceEntry when it lacks QueryInterface; callers treat any
/// non-zero result as failure.
std::int32_t QueryHostInterface(const InterfaceID& identifier, IKXUnknown** out);

/// Tells the host that `object`'s reference count fell to zero; nothing
/// without a table or entry.
void NotifyObjectReleased(IKXUnknown* object);

/// Registers `extension` under `category`; kResultNoServices when the table
/// or its entry is missing, else the host's result.
std::int32_t RegisterHostExtension(const InterfaceID& extension, const InterfaceID& category, void* moduleInfo,
                                   bool flag);

/// Releases and clears every cached host interface.
void ReleaseCachedInterfaces();

} // namespace ZEDA::PluginSupport
