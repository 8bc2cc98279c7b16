// The module-wide state, the service-table wrappers and the helpers over the
// host's memory and number entries.
#include "framework/ModuleState.h"

#include "framework/HostStubs.h"

#include <new>

namespace ZEDA::PluginSupport {

ModuleState& Module()
{
    static ModuleState state;
    return state;
}

std::int32_t QueryHostInterface(const InterfaceID& identifier, IKXUnknown** out)
{
    *out = nullptr;
    const HostServices* services = Module().services;
    if (services == nullptr)
        return kResultNoServices;
    if (services->QueryInterface == nullptr)
        return kResultNoServiceEntry;
    const std::int32_t result = services->QueryInterface(identifier, out);
    if (result != kResultOk)
        *out = nullptr; // a failed query hands out nothing, whatever the host left there
    return result;
}

void NotifyObjectReleased(IKXUnknown* object)
{
    const HostServices* services = Module().services;
    if (services != nullptr && services->ObjectReleased != nullptr)
        services->ObjectReleased(object);
}

std::int32_t RegisterHostExtension(const InterfaceID& extension, const InterfaceID& category, void* moduleInfo,
                                   bool flag)
{
    const HostServices* services = Module().services;
    if (services == nullptr || services->RegisterExtension == nullptr)
        return kResultNoServices;
    return services->RegisterExtension(moduleInfo, extension, category, flag);
}

void ReleaseCachedInterfaces()
{
    for (IKXUnknown*& cached : Module().cachedInterfaces) {
        if (cached != nullptr) {
            IKXUnknown* const object = cached;
            cached = nullptr;
            object->Release();
        }
    }
}

void* AllocateBlock(std::size_t size, bool& fromHost)
{
    HostCallbackBlock* const block = Module().callbackBlock;
    if (block != nullptr) {
        if (void* memory = AllocateHostBlock::Call(block, size)) {
            fromHost = true;
            return memory;
        }
    }
    fromHost = false;
    return ::operator new(size, std::nothrow);
}

void ReleaseBlock(void* memory, bool fromHost)
{
    if (memory == nullptr)
        return;
    if (fromHost)
        ReleaseHostBlock::Call(Module().callbackBlock, memory);
    else
        ::operator delete(memory);
}

double ConvertThroughEntry102(double value)
{
    double out = value;
    ConvertNumber102::Call(Module().callbackBlock, &value, &out);
    return out;
}

double ConvertThroughEntry82(double value)
{
    double out = value;
    ConvertNumber82::Call(Module().callbackBlock, &value, &out);
    return out;
}

} // namespace ZEDA::PluginSupport
