/// @file
/// The module entry protocol every plug-in module follows, written once: a
/// module describes the one extension it serves and forwards its three
/// exports here.
///
/// @code{.unparsed}
///   plugin_module_main(action, moduleInfo, iid, inOut, callbackBlock)
///       -> ModuleMain(description, ...)
///   plugin_module_ver()    -> kModuleVersion
///   plugin_module_deinit() -> ModuleDeinit()
/// @endcode
///
/// Every ModuleMain call first connects: it releases the cached host
/// interfaces, asks host entry 326 for the service table, sets the main
/// partition, stores the callback block and refreshes the borrowed
/// application interface. Then it acts: -3 registers the extension with the
/// host, -4 creates it when the identifier is the module's, -5 destroys it.
/// Nothing throws out of ModuleMain or ModuleDeinit.
#pragma once

#include "platform/Export.h"

#include "framework/HostServices.h"
#include "framework/InterfaceID.h"
#include "framework/KXUnknown.h"

#include <cstdint>

/// The plug-in framework: module entry and state, host stubs, component
/// objects, value records and the script-function extension classes.
namespace ZEDA::PluginSupport {

/// The version a module reports and hands the host; routine versions use
/// the same scale.
inline constexpr std::int32_t kModuleVersion = 3100;

/// @name Actions of plugin_module_main
/// @{

/// Register the module's extension with the host under its category.
inline constexpr std::int32_t kActionRegister = -3;
/// Create the extension whose identifier the host passes, into `*inOut`.
inline constexpr std::int32_t kActionCreate = -4;
/// Destroy the extension the host passes in `*inOut`, and null it.
inline constexpr std::int32_t kActionDestroy = -5;
/// @}

/// The one extension a module serves.
struct ModuleDescription {
    const InterfaceID& extensionId; ///< the module's own identifier for it
    const InterfaceID& categoryId;  ///< the kind of extension it registers as
    /// A new extension (count 0) for `callbackBlock`, or null when memory is
    /// short. Must not throw.
    IKXUnknown* (*createExtension)(HostCallbackBlock* callbackBlock);
    /// Whether `object` is this module's extension (by run-time type).
    bool (*isExtension)(IKXUnknown* object);
};

/// One plugin_module_main call: connects (see the top of this file), then
/// acts on `action`.
/// - kActionRegister registers `description.extensionId` under
///   `description.categoryId`, passing `moduleInfo` on; the host's answer is
///   not reported.
/// - kActionCreate, when `*iid` is the module's identifier and `inOut` is not
///   null, stores a new extension in `*inOut`: 12 (kResultOutOfMemory), with
///   `*inOut` null, when it cannot be had.
/// - kActionDestroy, when `*iid` is the module's identifier, deletes `*inOut`
///   if it is the module's extension and nulls it; answers 12
///   (kResultDestroyAnswer) whether or not it destroyed an object.
///
/// A null `iid`, another identifier or any other action does nothing and
/// answers 0. Nothing throws: an exception from any step answers 12.
std::int32_t ModuleMain(const ModuleDescription& description, std::int32_t action, void* moduleInfo,
                        const InterfaceID* iid, IKXUnknown** inOut, HostCallbackBlock* callbackBlock);

/// plugin_module_deinit: releases the cached host interfaces. Never throws.
void ModuleDeinit() noexcept;

} // namespace ZEDA::PluginSupport

/// Defines the three exports of a plug-in module: plugin_module_main for the
/// extension that `description` (a ModuleDescription) describes,
/// plugin_module_ver answering `version` (kModuleVersion for a module of this
/// framework) and plugin_module_deinit. Use it once, at global scope, in a
/// source file of the module itself: exports from a static library would not
/// reach the module.
#define KX_PLUGIN_MODULE_EXPORTS(description, version)                                                          \
    extern "C" {                                                                                               \
    KX_SYMBOL_EXPORT std::int32_t plugin_module_main(std::int32_t action, void* moduleInfo, const InterfaceID* iid, \
                                                     IKXUnknown** inOut, HostCallbackBlock* callbackBlock)     \
    {                                                                                                          \
        return ::ZEDA::PluginSupport::ModuleMain(description, action, moduleInfo, iid, inOut, callbackBlock);   \
    }                                                                                                          \
    KX_SYMBOL_EXPORT std::int32_t plugin_module_ver()                                                          \
    {                                                                                                          \
        return version;                                                                                        \
    }                                                                                                          \
    KX_SYMBOL_EXPORT void plugin_module_deinit()                                                               \
    {                                                                                                          \
        ::ZEDA::PluginSupport::ModuleDeinit();                                                                 \
    }                                                                                                          \
    }
