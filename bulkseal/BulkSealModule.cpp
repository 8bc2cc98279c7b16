// BulkSeal.kxl's exports: the module entry protocol for its one extension,
// CBulkSealCSFuncs. Nothing else is exported, and nothing throws out.
#include "bulkseal/BulkSealRoutines.h"
#include "framework/ModuleEntry.h"
#include "framework/ResourceText.h"
#include "math/Numerics.h"

#include <cstdint>
#include <new>

const char* GetModuleResourceName()
{
    return "BulkSeal"; // its folder in the host's resource store
}

namespace {

using namespace ZEDA::PluginSupport;

IKXUnknown* CreateExtension(HostCallbackBlock* callbackBlock)
{
    return new (std::nothrow) BulkSeal::CBulkSealCSFuncs(callbackBlock, BulkSeal::kRoutineTable);
}

bool IsExtension(IKXUnknown* object)
{
    return dynamic_cast<BulkSeal::CBulkSealCSFuncs*>(object) != nullptr;
}

const ModuleDescription kModule{BulkSeal::kExtensionId, Calvera::Extension::IID_ExtensionCSFunctions, &CreateExtension,
                                &IsExtension};

/// Sets the math library's shared tolerance as the module loads, before the
/// host makes its first call.
struct LoadTolerance {
    LoadTolerance() noexcept { KXMath::SetProcessTolerance(KXMath::kTolerance); }
} loadTolerance;

/// Releases the cached host interfaces once more when the module unloads.
struct UnloadRelease {
    ~UnloadRelease() { ModuleDeinit(); }
} unloadRelease;

} // namespace

KX_PLUGIN_MODULE_EXPORTS(kModule, ZEDA::PluginSupport::kModuleVersion)
