// The routine table, the extension and the routine handler of BulkSeal.
#include "bulkseal/BulkSealRoutines.h"

#include "framework/HostStubs.h"
#include "framework/ModuleState.h"

#include <cstring>
#include <new>

namespace BulkSeal {

using namespace ZEDA::PluginSupport;

namespace {

constexpr char kCategory[] = "Utility";
constexpr char kExtensionName[] = "BulkSealCSFuncs";
constexpr std::uint32_t kExtensionVersion = 1;

} // namespace

const RoutineDescription kRoutineTable[kRoutineCount + 1] = {
    {kEncryptAllPlugins, kCategory,
     "This will do batch encryption of all Calscript plug-ins in the Plug-ins folder.", 1900, false, false, {}},
    {kEncryptPlugin, kCategory, "Encrypt one Calscript Plug-in file.", 1900, true, false,
     {{"fullPath", kTagString}, {"returnVal", kTagBool}}},
    {kTestEncryptPlugins, kCategory,
     "This will test do batch encryption of all Calscript plug-ins in the Plug-ins folder and put the reuslt in a "
     "test folder.",
     2300, false, false, {}},
    {nullptr, nullptr, nullptr, 0, false, false, {}},
};

TXString& TargetFolder()
{
    static TXString folder; // empty: allocates nothing before the partition is known
    return folder;
}

// ---------------------------------------------------------------------------
// The extension

CBulkSealCSFuncs::CBulkSealCSFuncs(HostCallbackBlock* callbackBlock, const RoutineDescription* table)
    : KXExtensionCSFunctions(callbackBlock, table)
{
}

const TXString& CBulkSealCSFuncs::GetExtensionName()
{
    name = kExtensionName;
    return name;
}

std::uint32_t CBulkSealCSFuncs::GetExtensionVersion()
{
    return kExtensionVersion;
}

void CBulkSealCSFuncs::AttachRoutines()
{
    auto* sink = dynamic_cast<KXCSFunctions_EventSink*>(eventSink);
    if (sink == nullptr)
        return;
    auto* routines = new (std::nothrow) CBulkSealLibraryRoutines;
    if (routines != nullptr && !sink->AddRoutine(routines, false))
        delete routines;
}

Calvera::Extension::IEventSink* CBulkSealCSFuncs::CreateEventSink(IKXUnknown* parent)
{
    return new (std::nothrow) KXCSFunctions_EventSink(parent);
}

// ---------------------------------------------------------------------------
// The routines

void CBulkSealLibraryRoutines::Execute(std::int32_t routineIndex, KXPluginLibraryArgTable& arguments)
{
    // The host passes only indexes below the routine count; one beyond the
    // table would read past its end, so it is ignored like a negative one.
    if (routineIndex < 0 || routineIndex >= kRoutineCount)
        return;
    const char* const routine = kRoutineTable[routineIndex].name;
    if (std::strcmp(routine, kEncryptPlugin) == 0) {
        if (arguments.GetValueBlock() == nullptr)
            return;
        const TXString path = arguments.GetArgument(0).GetString();
        TXString noTarget;
        const bool ok = EncryptScriptFile::Call(Module().callbackBlock, path, true, noTarget);
        arguments.GetResult().SetBool(ok);
    }
    // EncryptAllPlugins and TestEncryptPlugins walk the plug-ins folder
    // through the host's application interface; they come with the host's
    // folder, file and text-file services.
}

} // namespace BulkSeal
