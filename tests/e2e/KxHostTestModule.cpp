// A plug-in module for kxhost's end-to-end tests: routines with every
// argument and result kind kxhost converts, one whose argument kind it
// cannot pass, one that keeps a reference to the host application so the
// balance check has something to find, and one that starts a walk of the
// plug-ins folder from inside another. Built with another module
// version (KX_TEST_MODULE_VERSION) it is a plug-in the host must refuse.
#include "framework/HostInterfaces.h"
#include "framework/HostStubs.h"
#include "framework/ModuleEntry.h"
#include "framework/ModuleState.h"
#include "framework/ScriptFunctions.h"

#include <cstdint>
#include <optional>

namespace {

using namespace ZEDA::PluginSupport;

/// {0B7E59A2-6C13-4D8F-9E21-5A4C3B2D1E0F}
constexpr InterfaceID kTestExtensionId{0x0B7E59A2, 0x6C13, 0x4D8F, {0x9E, 0x21, 0x5A, 0x4C, 0x3B, 0x2D, 0x1E, 0x0F}};

enum Routine : std::int32_t {
    kEcho,
    kNot,
    kAdd16,
    kTwice32,
    kNegate64,
    kHalf,
    kSilent,
    kPoint,
    kKeepApplication,
    kWalkTwice,
};

const RoutineDescription kTable[] = {
    {"Echo", "Test", "Returns its text.", 3100, true, false, {{"text", kTagString}, {"result", kTagString}}},
    {"Not", "Test", "Returns the opposite.", 3100, true, false, {{"flag", kTagBool}, {"result", kTagBool}}},
    {"Add16", "Test", "Adds two 16-bit integers.", 3100, true, false,
     {{"a", kTagInt16}, {"b", kTagInt16}, {"sum", kTagInt16}}},
    {"Twice32", "Test", "Doubles a 32-bit integer.", 3100, true, false, {{"n", kTagInt32}, {"result", kTagInt32}}},
    {"Negate64", "Test", "Negates a 64-bit integer.", 3100, true, false, {{"n", kTagInt64}, {"result", kTagInt64}}},
    {"Half", "Test", "Halves a real.", 3100, true, true, {{"x", kTagReal}, {"result", kTagReal}}},
    {"Silent", "Test", "Returns nothing.", 3100, false, false, {}},
    {"Point", "Test", "Takes a point.", 3100, false, false, {{"p", kTagPoint2D}}},
    {"KeepApplication", "Test", "Keeps a reference to the host application.", 3100, false, false, {}},
    {"WalkTwice", "Test", "Seals every file of the plug-ins folder in place, walking it again from its first file.",
     3100, true, false, {{"inner", kTagInt32}}},
    {nullptr, nullptr, nullptr, 0, false, false, {}},
};

/// Seals one file of a walk in place.
bool Seal(void* /*context*/, const char* fullPath, const char* /*name*/, const char* /*extension*/) noexcept
{
    TXString inPlace;
    EncryptScriptFile::Call(Module().callbackBlock, TXString(fullPath), true, inPlace);
    return true;
}

/// The outer walk's step: the first file starts an inner walk, whose answer
/// lands in the context.
bool SealAndWalkAgain(void* context, const char* fullPath, const char* name, const char* extension) noexcept
{
    auto& inner = *static_cast<std::optional<std::int32_t>*>(context);
    if (!inner)
        inner = Module().application->WalkFolder(Calvera::Extension::kFolderKindPlugins, &Seal, nullptr);
    return Seal(nullptr, fullPath, name, extension);
}

class TestRoutines : public KXPluginLibraryRoutine {
public:
    static constexpr const RoutineDescription* kRoutineTable = kTable;
    static constexpr char kExtensionName[] = "KxHostTest";

    void Execute(std::int32_t routine, KXPluginLibraryArgTable& table) override
    {
        if (table.GetValueBlock() == nullptr)
            return;
        KXPluginLibraryArgument& result = table.GetResult();
        switch (routine) {
        case kEcho:
            result.SetString(table.GetArgument(0).GetString());
            break;
        case kNot:
            result.SetBool(!table.GetArgument(0).GetBool());
            break;
        case kAdd16:
            result.SetInt16(static_cast<std::int16_t>(table.GetArgument(0).GetInt16() + table.GetArgument(1).GetInt16()));
            break;
        case kTwice32:
            result.SetInt32(table.GetArgument(0).GetInt32() * 2);
            break;
        case kNegate64:
            result.SetInt64(-table.GetArgument(0).GetInt64());
            break;
        case kHalf:
            result.SetReal(table.GetArgument(0).GetReal() / 2);
            break;
        case kWalkTwice: {
            std::optional<std::int32_t> inner;
            Module().application->WalkFolder(Calvera::Extension::kFolderKindPlugins, &SealAndWalkAgain, &inner);
            result.SetInt32(inner.value_or(0));
            break;
        }
        case kKeepApplication: {
            IKXUnknown* application = nullptr;
            QueryHostInterface(Calvera::Extension::IID_HostApplication, &application); // never released
            break;
        }
        default:
            break;
        }
    }
};

using TestExtension = KXStandardCSFunctions<TestRoutines>;

const ModuleDescription kModule{kTestExtensionId, Calvera::Extension::IID_ExtensionCSFunctions, &TestExtension::Create,
                                &TestExtension::IsExtension};

} // namespace

KX_PLUGIN_MODULE_EXPORTS(kModule, KX_TEST_MODULE_VERSION)
