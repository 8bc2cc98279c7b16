// The module entry protocol: the connect steps and the three actions.
#include "framework/ModuleEntry.h"

#include "KXMM/KXMM.h"
#include "framework/HostInterfaces.h"
#include "framework/HostStubs.h"
#include "framework/ModuleState.h"
#include "strings/MainPartition.h"

namespace ZEDA::PluginSupport {

namespace {

void Connect(HostCallbackBlock* callbackBlock)
{
    ModuleDeinit();
    std::int32_t version = kModuleVersion;
    // Without a block or the entry the table stays as an earlier call left it.
    GetHostServices::Call(callbackBlock, kHostServicesRequest, &version, &Module().services);
    SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
    Module().callbackBlock = callbackBlock;

    // Borrowed: the host keeps the application alive for the module's life,
    // so the module holds no reference to it.
    IKXUnknown* object = nullptr;
    Module().application = nullptr;
    if (QueryHostInterface(Calvera::Extension::IID_HostApplication, &object) == kResultOk && object != nullptr) {
        Module().application = static_cast<Calvera::Extension::IHostApplication*>(object);
        object->Release();
    }
}

bool IsModules(const ModuleDescription& description, const InterfaceID* iid)
{
    return iid != nullptr && *iid == description.extensionId;
}

} // namespace

std::int32_t ModuleMain(const ModuleDescription& description, std::int32_t action, void* moduleInfo,
                        const InterfaceID* iid, IKXUnknown** inOut, HostCallbackBlock* callbackBlock)
{
    try {
        Connect(callbackBlock);
        switch (action) {
        case kActionRegister:
            RegisterHostExtension(description.extensionId, description.categoryId, moduleInfo, true);
            return kResultOk;
        case kActionCreate:
            if (!IsModules(description, iid) || inOut == nullptr)
                return kResultOk;
            *inOut = description.createExtension(callbackBlock);
            return *inOut != nullptr ? kResultOk : kResultOutOfMemory;
        case kActionDestroy:
            if (!IsModules(description, iid))
                return kResultOk;
            if (inOut != nullptr && *inOut != nullptr && description.isExtension(*inOut)) {
                delete *inOut;
                *inOut = nullptr;
            }
            return kResultDestroyAnswer;
        default:
            return kResultOk;
        }
    } catch (...) {
        // Nothing may leave a module's export; running out of memory is the
        // one failure a module reports.
        return kResultOutOfMemory;
    }
}

void ModuleDeinit() noexcept
{
    try {
        ReleaseCachedInterfaces();
    } catch (...) {
        // A host object's Release is the host's code; whatever it throws
        // stays on this side of the boundary.
    }
}

} // namespace ZEDA::PluginSupport
