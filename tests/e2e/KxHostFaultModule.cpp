// A plug-in module that throws at one step of the host's protocol, for
// kxhost's end-to-end tests. The environment chooses the step when the host
// runs: KX_FAULT_STEP is one of version, register, create, routines, sink,
// execute, release, destroy or deinit, and with KX_FAULT_UNKNOWN set the
// module throws something that is no std::exception. Its one routine, Fault,
// takes no arguments and does nothing.
//
// The framework's exports catch whatever the module throws, so this module
// defines its own three, which hand every call on to the framework's entry
// except at the chosen step. A step that brings the module up throws before
// doing anything; a step that takes it down (release, destroy, deinit)
// throws after its work is done. Either way the module leaks nothing and
// keeps no reference, so the exception is the only thing the host has to
// report.
#include "framework/ModuleEntry.h"
#include "framework/ScriptFunctions.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

namespace {

using namespace ZEDA::PluginSupport;
using Calvera::Extension::IEventSink;

/// {5E0C8B31-2A7D-4F96-B3E4-71D2C9A08F65}
constexpr InterfaceID kFaultExtensionId{0x5E0C8B31, 0x2A7D, 0x4F96, {0xB3, 0xE4, 0x71, 0xD2, 0xC9, 0xA0, 0x8F, 0x65}};

const RoutineDescription kTable[] = {
    {"Fault", "Test", "Does nothing; the module throws at the step KX_FAULT_STEP names.", kModuleVersion, false,
     false, {}},
    {nullptr, nullptr, nullptr, 0, false, false, {}},
};

/// Throws when `step` is the one KX_FAULT_STEP names.
void FaultAt(const char* step)
{
    const char* chosen = std::getenv("KX_FAULT_STEP");
    if (chosen == nullptr || std::string(chosen) != step)
        return;
    if (std::getenv("KX_FAULT_UNKNOWN") != nullptr)
        throw 42;
    throw std::runtime_error(std::string("fault at ") + step);
}

class FaultSink final : public KXCSFunctions_EventSink {
public:
    using KXCSFunctions_EventSink::KXCSFunctions_EventSink;

    std::int32_t ExecuteRoutine(std::uint32_t routineIndex, ValueRecord* valueBlock) override
    {
        FaultAt("execute");
        return KXCSFunctions_EventSink::ExecuteRoutine(routineIndex, valueBlock);
    }

    std::uint32_t Release() override
    {
        // The release may end with this sink destroyed; FaultAt touches
        // nothing of it.
        const std::uint32_t count = KXCSFunctions_EventSink::Release();
        FaultAt("release");
        return count;
    }
};

class FaultExtension final : public KXExtensionCSFunctions {
public:
    explicit FaultExtension(HostCallbackBlock* callbackBlock) : KXExtensionCSFunctions(callbackBlock, kTable) {}

    const TXString& GetExtensionName() override
    {
        name = "KxHostFault";
        return name;
    }
    std::uint32_t GetExtensionVersion() override { return 1; }

    std::uint64_t GetRoutineCount() override
    {
        FaultAt("routines");
        return KXExtensionCSFunctions::GetRoutineCount();
    }

    IEventSink* GetEventSink(const InterfaceID& identifier) override
    {
        FaultAt("sink");
        return KXExtensionCSFunctions::GetEventSink(identifier);
    }

    static IKXUnknown* Create(HostCallbackBlock* callbackBlock)
    {
        return new (std::nothrow) FaultExtension(callbackBlock);
    }
    static bool IsExtension(IKXUnknown* object) { return dynamic_cast<FaultExtension*>(object) != nullptr; }

protected:
    void AttachRoutines() override {}
    IEventSink* CreateEventSink(IKXUnknown* parent) override { return new (std::nothrow) FaultSink(parent); }

private:
    TXString name;
};

const ModuleDescription kModule{kFaultExtensionId, Calvera::Extension::IID_ExtensionCSFunctions,
                                &FaultExtension::Create, &FaultExtension::IsExtension};

} // namespace

extern "C" {

KX_SYMBOL_EXPORT std::int32_t plugin_module_main(std::int32_t action, void* moduleInfo, const InterfaceID* iid,
                                                 IKXUnknown** inOut, HostCallbackBlock* callbackBlock)
{
    if (action == kActionRegister)
        FaultAt("register");
    if (action == kActionCreate)
        FaultAt("create");
    const std::int32_t result = ModuleMain(kModule, action, moduleInfo, iid, inOut, callbackBlock);
    if (action == kActionDestroy)
        FaultAt("destroy");
    return result;
}

KX_SYMBOL_EXPORT std::int32_t plugin_module_ver()
{
    FaultAt("version");
    return kModuleVersion;
}

KX_SYMBOL_EXPORT void plugin_module_deinit()
{
    ModuleDeinit();
    FaultAt("deinit");
}

} // extern "C"
