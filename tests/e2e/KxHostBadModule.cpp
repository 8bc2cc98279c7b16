// Plug-in modules with one fault each, for kxhost validate's tests: the
// suite builds this file once per fault, with KX_BAD naming it.
//
//   Throws        a routine throws
//   NoResult      a routine declares a result and sets none
//   NoEndRow      the routine table has no end row where it should
//   WrongRead     a routine declares a string argument and reads an integer
//   NoResultSlot  a routine returns a value, but its table forgot the slot
//   UnknownTag    a slot has a tag no host knows
//   Crash         a routine dereferences a null pointer
//   Hang          a routine never returns
//   LeakHandle    a routine keeps a memory-manager handle
//   KeptObject    a routine keeps a host object
#include "KXMM/KXMM.h"
#include "framework/HostInterfaces.h"
#include "framework/ModuleState.h"
#include "framework/Plugin.h"
#include "strings/MainPartition.h"

#include <atomic>
#include <stdexcept>

#define KX_FAULT(name) (KX_BAD == KX_BAD_##name)
#define KX_BAD_Throws 1
#define KX_BAD_NoResult 2
#define KX_BAD_NoEndRow 3
#define KX_BAD_WrongRead 4
#define KX_BAD_NoResultSlot 5
#define KX_BAD_UnknownTag 6
#define KX_BAD_Crash 7
#define KX_BAD_Hang 8
#define KX_BAD_LeakHandle 9
#define KX_BAD_KeptObject 10

namespace {

using namespace ZEDA::PluginSupport;

/// A routine that does its job: the module's other routines must pass.
void Twice(KXPluginLibraryArgTable& call)
{
    call.GetResult().SetInt64(2 * std::int64_t{call.GetArgument(0).GetInt32()});
}

void Bad(KXPluginLibraryArgTable& call)
{
#if KX_FAULT(Throws)
    static_cast<void>(call);
    throw std::runtime_error("the bad routine failed");
#elif KX_FAULT(NoResult)
    static_cast<void>(call);
#elif KX_FAULT(WrongRead) || KX_FAULT(NoResultSlot)
    call.GetResult().SetInt32(call.GetArgument(0).GetInt32() + call.GetArgument(1).GetInt32());
#elif KX_FAULT(Crash)
    static_cast<void>(call);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
#elif KX_FAULT(Hang)
    static std::atomic<bool> forever{true};
    while (forever.load())
        ;
    call.GetResult().SetInt32(0);
#elif KX_FAULT(LeakHandle)
    KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, false)->NewHandle(16);
    call.GetResult().SetInt32(0);
#elif KX_FAULT(KeptObject)
    IKXUnknown* file = nullptr;
    QueryHostInterface(Calvera::Extension::IID_HostFile, &file);
    call.GetResult().SetInt32(0);
#else
    call.GetResult().SetInt32(0);
#endif
}

#if KX_FAULT(WrongRead)
constexpr RoutineArgument kBadSlots[] = {{"text", kTagString}, {"more", kTagInt32}, {"result", kTagInt32}};
#elif KX_FAULT(NoResultSlot)
constexpr RoutineArgument kBadSlots[] = {{"a", kTagInt32}, {"b", kTagInt32}};
#elif KX_FAULT(UnknownTag)
constexpr RoutineArgument kBadSlots[] = {{"odd", 99}, {"result", kTagInt32}};
#else
constexpr RoutineArgument kBadSlots[] = {{"n", kTagInt32}, {"result", kTagInt32}};
#endif

constexpr RoutineDescription BadRow()
{
    RoutineDescription row{"Bad", "Test", "A routine with the module's fault.", kModuleVersion, true, false, {}};
    for (std::size_t i = 0; i < std::size(kBadSlots); ++i)
        row.arguments[i] = kBadSlots[i];
    return row;
}

} // namespace

#if KX_FAULT(NoEndRow)
// The rows of the table, and where its end row should be, rows the framework
// takes for more of it; a far-off end row stops the count, so that it is
// the host's bound that finds the fault, not a crash.
namespace {

constexpr std::size_t kStrayRows = 5000;

struct Unterminated {
    RoutineDescription rows[kStrayRows + 1];
};

constexpr Unterminated MakeTable()
{
    Unterminated table{};
    for (std::size_t i = 0; i < kStrayRows; ++i)
        table.rows[i] = {"Stray", "Test", "", kModuleVersion, false, false, {}};
    return table;
}

constexpr Unterminated kUnterminated = MakeTable();

class StrayRoutines : public KXPluginLibraryRoutine {
public:
    static constexpr const RoutineDescription* kRoutineTable = kUnterminated.rows;
    static constexpr char kExtensionName[] = "Bad";
    void Execute(std::int32_t, KXPluginLibraryArgTable&) override {}
};

using StrayExtension = KXStandardCSFunctions<StrayRoutines>;
constexpr InterfaceID kId = ParseGUID("{2B9C4E61-7D30-4A85-9F12-C6E8B0A4D735}");
const ModuleDescription kModule{kId, Calvera::Extension::IID_ExtensionCSFunctions, &StrayExtension::Create,
                                &StrayExtension::IsExtension};

} // namespace

const char* GetModuleResourceName()
{
    return "Bad";
}
KX_PLUGIN_MODULE_EXPORTS(kModule, kModuleVersion)
#else
namespace {
constexpr KXRoutine kRoutines[] = {
    {{"Twice", "Test", "Doubles N.", kModuleVersion, true, false, {{"n", kTagInt32}, {"result", kTagInt64}}}, &Twice},
    {BadRow(), &Bad},
};
} // namespace
KX_PLUGIN("Bad", "{2B9C4E61-7D30-4A85-9F12-C6E8B0A4D735}", kRoutines)
#endif
