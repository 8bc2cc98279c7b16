/// @file
/// What the host hands a module: the callback block, through which numbered
/// host entries are resolved, and the HostServices table of service
/// functions. Both are the host's: a module only reads them.
#pragma once

#include "framework/InterfaceID.h"
#include "framework/KXUnknown.h"

#include <cstdint>

/// Any host function, as `resolve` hands it out; a stub casts it back to the
/// entry's own type before calling it.
using HostFunction = void (*)();

/// Passed to every plugin_module_main call and owned by the host. The module
/// keeps the latest one (ModuleState::callbackBlock) and reaches host entries
/// through it with the stubs of framework/HostStubs.h.
struct HostCallbackBlock {
    /// Turns an entry number into the host's function for it, or null when the
    /// host offers none. May itself be null (a stub then answers its default).
    HostFunction (*resolve)(std::int32_t entry);
};

/// The host's table of service functions, in this order. A module calls the
/// three named ones through the wrappers of framework/ModuleState.h.
/// Any entry may be null; the wrappers then fail as each of them says.
struct HostServices {
    /// Not used by modules; keeps the position of the entries after it.
    HostFunction reserved;
    /// The host's object for `identifier` in `*out`, holding one reference
    /// for the caller; 0 on success.
    std::int32_t (*QueryInterface)(const InterfaceID& identifier, IKXUnknown** out);
    /// Tells the host that `object`'s reference count fell to zero.
    void (*ObjectReleased)(IKXUnknown* object);
    /// Registers a module's extension under a category; 0 on success.
    std::int32_t (*RegisterExtension)(void* moduleInfo, const InterfaceID& extension, const InterfaceID& category,
                                      bool flag);
};
