// The module session: the host's entries, the service table, and the steps
// that bring a module up, run its routines and take it down again.
#include "host/Host.h"

#include "framework/HostStubs.h"
#include "framework/ModuleEntry.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <type_traits>

namespace KxHost {

using namespace Calvera::Extension;
using namespace ZEDA::PluginSupport;

namespace {

/// The session that receives the module's callbacks; null between sessions.
ModuleSession* activeSession = nullptr;

/// @name Results the host's entries give the module
/// @{
constexpr std::int32_t kNoSuchInterface = 1;
constexpr std::int32_t kUnknownCategory = 2;
constexpr std::int32_t kForeignModuleInfo = 3;
constexpr std::int32_t kNoSession = 4;
/// @}

/// Longer tables than this are taken for garbage rather than walked.
constexpr std::uint64_t kMaxRoutines = 4096;

/// What action -5 answers for the module's own identifier.
constexpr std::int32_t kDestroyAnswer = 12;

std::string Utf8(const TXString& text)
{
    return text.ToStdString();
}

std::string Count(std::uint64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

/// What the module threw at `step` ("in GetEventSink"), as a message. Call
/// it in a handler: it rethrows the exception being handled to see it.
std::string ModuleFault(const std::string& step)
{
    try {
        throw;
    } catch (const std::exception& error) {
        return "the module threw an exception " + step + ": " + error.what();
    } catch (...) {
        return "the module threw an unknown exception " + step;
    }
}

/// Runs `call`, a call into the module, and hands on its result. Nothing may
/// cross the module boundary, so whatever does is the module's fault: it
/// leaves as a HostError naming `step`, not as a failure of the host.
template <typename Call>
decltype(auto) ModuleCall(const std::string& step, Call&& call)
{
    try {
        return call();
    } catch (...) {
        throw HostError(kExitFailure, ModuleFault(step));
    }
}

/// Runs `call`, a call into the module while it is taken down. What the
/// module throws becomes one of `problems`, naming `step`, so that the steps
/// after it still run; false then.
template <typename Call>
bool ClosingCall(std::vector<std::string>& problems, const std::string& step, Call&& call)
{
    try {
        call();
        return true;
    } catch (...) {
        problems.push_back(ModuleFault(step));
        return false;
    }
}

} // namespace

ModuleSession::ModuleSession(HostOptions options)
    : callbackBlock{&ModuleSession::ResolveEntry}, otherCallbackBlock{&ModuleSession::ResolveEntry},
      services{nullptr, &ModuleSession::QueryInterfaceEntry, &ModuleSession::ObjectReleasedEntry,
               &ModuleSession::RegisterExtensionEntry},
      files(std::move(options))
{
    for (const std::string& path : files.Options().resources)
        resources.Add(path);
}

ModuleSession::~ModuleSession()
{
    Close();
}

// ---------------------------------------------------------------------------
// Entries the module calls

HostFunction ModuleSession::ResolveEntry(std::int32_t entry) noexcept
{
    // The host's functions must have exactly the types the module's stub
    // calls them through.
    static_assert(std::is_convertible_v<decltype(&GetHostServicesEntry), GetHostServices::Function>,
                  "entry 326 must match the module's stub");
    static_assert(std::is_convertible_v<decltype(&EncryptScriptFileEntry), EncryptScriptFile::Function>,
                  "entry 855 must match the module's stub");
    static_assert(std::is_convertible_v<decltype(&ReportRoutineFaultEntry), ReportRoutineFault::Function>,
                  "entry 1142 must match the module's stub");
    static_assert(std::is_convertible_v<decltype(&ReportValueMisreadEntry), ReportValueMisread::Function>,
                  "entry 1143 must match the module's stub");
    if (entry == GetHostServices::kEntry)
        return reinterpret_cast<HostFunction>(static_cast<GetHostServices::Function>(&GetHostServicesEntry));
    if (entry == EncryptScriptFile::kEntry)
        return reinterpret_cast<HostFunction>(static_cast<EncryptScriptFile::Function>(&EncryptScriptFileEntry));
    if (entry == ReportRoutineFault::kEntry)
        return reinterpret_cast<HostFunction>(static_cast<ReportRoutineFault::Function>(&ReportRoutineFaultEntry));
    if (entry == ReportValueMisread::kEntry)
        return reinterpret_cast<HostFunction>(static_cast<ReportValueMisread::Function>(&ReportValueMisreadEntry));
    // Every other entry is not offered: the module's stub falls back to the
    // entry's default.
    return nullptr;
}

bool ModuleSession::GetHostServicesEntry(std::int16_t /*request*/, std::int32_t* /*version*/, HostServices** table,
                                         bool /*flag*/) noexcept
{
    if (activeSession == nullptr || table == nullptr)
        return false;
    *table = &activeSession->services;
    return true;
}

bool ModuleSession::EncryptScriptFileEntry(const TXString& path, bool /*flag*/, TXString& targetFolder) noexcept
{
    if (activeSession == nullptr)
        return false;
    try {
        return activeSession->files.EncryptScriptFile(Utf8(path), Utf8(targetFolder));
    } catch (...) {
        return false; // out of memory
    }
}

std::int32_t ModuleSession::QueryInterfaceEntry(const InterfaceID& identifier, IKXUnknown** out) noexcept
{
    if (out == nullptr)
        return kNoSuchInterface;
    *out = nullptr;
    if (activeSession == nullptr)
        return kNoSession;
    if (identifier == IID_HostApplication) {
        activeSession->application.AddRef();
        *out = &activeSession->application;
        return 0;
    }
    *out = activeSession->files.CreateObject(identifier);
    return *out != nullptr ? 0 : kNoSuchInterface;
}

void ModuleSession::ObjectReleasedEntry(IKXUnknown* object) noexcept
{
    if (activeSession == nullptr)
        return;
    try {
        activeSession->releasedObjects.push_back(object);
    } catch (...) {
        // Out of memory: the balance check reports the extension as never
        // released, which is the safe side.
    }
}

std::int32_t ModuleSession::RegisterExtensionEntry(void* moduleInfo, const InterfaceID& extension,
                                                   const InterfaceID& category, bool /*flag*/) noexcept
{
    if (activeSession == nullptr)
        return kNoSession;
    if (moduleInfo != &activeSession->moduleInfo)
        return kForeignModuleInfo;
    if (!(category == IID_ExtensionCSFunctions))
        return kUnknownCategory;
    try {
        activeSession->registrations.push_back({extension, category});
    } catch (...) {
        return kNoSession;
    }
    return 0;
}

void ModuleSession::ReportRoutineFaultEntry(const char* routineName, const char* what) noexcept
{
    if (activeSession == nullptr || activeSession->runningReport == nullptr)
        return;
    // The host knows which routine it runs; the name the module gives is
    // for hosts that do not.
    static_cast<void>(routineName);
    try {
        activeSession->runningReport->exceptions.push_back(what != nullptr ? what : "");
    } catch (...) {
        // Out of memory: the exception goes untold.
    }
}

void ModuleSession::ReportValueMisreadEntry(const void* record, std::uint16_t readAs) noexcept
{
    if (activeSession == nullptr || activeSession->runningReport == nullptr || activeSession->runningBlock == nullptr)
        return;
    const auto* const first = activeSession->runningBlock;
    const auto* const read = static_cast<const ValueRecord*>(record);
    if (read < first || read >= first + kValueBlockRecords)
        return; // a record of the module's own
    try {
        activeSession->runningReport->misreads.push_back({static_cast<std::size_t>(read - first), readAs});
    } catch (...) {
        // Out of memory: the misread goes untold.
    }
}

// ---------------------------------------------------------------------------
// Driving the module

std::int32_t ModuleSession::CallMain(std::int32_t action, const InterfaceID* iid, IKXUnknown** inOut)
{
    return moduleMain(action, &moduleInfo, iid, inOut, &callbackBlock);
}

void ModuleSession::Open(const std::string& modulePath)
{
    if (activeSession != nullptr || module != nullptr)
        throw HostError(kExitFailure, "a module session is already open");
    path = modulePath;
    activeSession = this;
    active = true;
    fileObjectsBefore = FileServices::LiveObjects();

    std::string error;
    module = Platform::LoadModule(path, error);
    if (module == nullptr)
        throw HostError(kExitNotAPlugin, "cannot load the module " + path + ": " + error);

    // Close calls main and deinit only once they are known to belong to a
    // module of this host's version: without all three exports, or of
    // another version, the module cannot be driven or taken down cleanly.
    const auto mainExport = reinterpret_cast<MainFunction>(Platform::FindModuleSymbol(module, kMainExport));
    const auto versionExport = reinterpret_cast<VersionFunction>(Platform::FindModuleSymbol(module, kVersionExport));
    const auto deinitExport = reinterpret_cast<DeinitFunction>(Platform::FindModuleSymbol(module, kDeinitExport));
    std::vector<std::string> missing;
    if (mainExport == nullptr)
        missing.push_back(kMainExport);
    if (versionExport == nullptr)
        missing.push_back(kVersionExport);
    if (deinitExport == nullptr)
        missing.push_back(kDeinitExport);
    if (!missing.empty()) {
        std::string names;
        for (std::size_t i = 0; i < missing.size(); ++i)
            names += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
        throw HostError(kExitNotAPlugin, path + " is not a plug-in module: it lacks " + names);
    }

    const std::int32_t version = ModuleCall("in plugin_module_ver", versionExport);
    if (version != kSupportedModuleVersion)
        throw HostError(kExitNotAPlugin, path + " is a plug-in module of version " + std::to_string(version) +
                                             "; this host drives version " +
                                             std::to_string(kSupportedModuleVersion));
    moduleMain = mainExport;
    moduleDeinit = deinitExport;

    ModuleCall("at action -3 (register)", [&] { return CallMain(kActionRegister, nullptr, nullptr); });
    if (registrations.empty())
        throw HostError(kExitNotAPlugin, path + " registered no script-function extension");
    extensionId = registrations.front().extension;

    IKXUnknown* created = nullptr;
    const std::int32_t createResult =
        ModuleCall("at action -4 (create)", [&] { return CallMain(kActionCreate, &extensionId, &created); });
    if (created == nullptr)
        throw HostError(kExitFailure, "the module did not create the extension it registered (action -4 answered " +
                                          std::to_string(createResult) + ")");
    extension = created;
    // A new object counts 0 references, so the host's is the first.
    if (const std::uint32_t count = ModuleCall("in the extension's AddRef", [&] { return extension->AddRef(); });
        count != 1)
        problems.push_back("the new extension counted " + Count(count, "reference", "references") +
                           " after the host's AddRef; a new object starts at 0");
    // The module registered the object under the script-function category,
    // which promises this interface.
    functions = static_cast<IExtensionCSFunctions*>(extension);

    ReadRoutines();

    IEventSink* const eventSink =
        ModuleCall("in GetEventSink", [&] { return functions->GetEventSink(IID_CSFunctionsEventSink); });
    if (eventSink == nullptr)
        throw HostError(kExitFailure, "the extension has no event sink to run its routines through");
    sink = static_cast<ICSFunctionsEventSink*>(eventSink);
}

void ModuleSession::ReadRoutines()
{
    // Each query runs the module's code; what it throws names the query.
    const auto query = [this](const char* name, auto member, auto... arguments) -> decltype(auto) {
        return ModuleCall(std::string("in ") + name,
                          [&]() -> decltype(auto) { return (functions->*member)(arguments...); });
    };
    const std::uint64_t count = query("GetRoutineCount", &IExtensionCSFunctions::GetRoutineCount);
    if (count > kMaxRoutines)
        throw HostError(kExitFailure, "the extension describes " + std::to_string(count) +
                                          " routines; its routine table is probably not terminated");
    routines.reserve(static_cast<std::size_t>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        RoutineInfo routine;
        routine.index = i;
        routine.name = Utf8(query("GetRoutineName", &IExtensionCSFunctions::GetRoutineName, i));
        routine.category = Utf8(query("GetRoutineCategory", &IExtensionCSFunctions::GetRoutineCategory, i));
        routine.description = Utf8(query("GetRoutineDescription", &IExtensionCSFunctions::GetRoutineDescription, i));
        routine.version = query("GetRoutineVersion", &IExtensionCSFunctions::GetRoutineVersion, i);
        routine.returnsValue = query("GetRoutineReturnsValue", &IExtensionCSFunctions::GetRoutineReturnsValue, i);
        routine.extraFlag = query("GetRoutineExtraFlag", &IExtensionCSFunctions::GetRoutineExtraFlag, i);
        const std::uint64_t slots = query("GetArgumentCount", &IExtensionCSFunctions::GetArgumentCount, i);
        if (slots > kArgumentCount)
            throw HostError(kExitFailure, "routine " + routine.name + " describes " + std::to_string(slots) +
                                              " argument slots; a routine has at most " +
                                              std::to_string(kArgumentCount));
        for (std::uint64_t slot = 0; slot < slots; ++slot)
            routine.slots.push_back({Utf8(query("GetArgumentName", &IExtensionCSFunctions::GetArgumentName, i, slot)),
                                     query("GetArgumentType", &IExtensionCSFunctions::GetArgumentType, i, slot)});
        routines.push_back(std::move(routine));
    }
}

CallReport ModuleSession::Execute(std::uint32_t index, ValueBlock* block)
{
    if (sink == nullptr)
        throw HostError(kExitFailure, "no module is open");
    CallReport report;
    runningBlock = block != nullptr ? block->data() : nullptr;
    runningReport = &report;
    try {
        ModuleCall("in ExecuteRoutine", [&] { return sink->ExecuteRoutine(index, runningBlock); });
    } catch (...) {
        runningBlock = nullptr;
        runningReport = nullptr;
        throw;
    }
    runningBlock = nullptr;
    runningReport = nullptr;
    return report;
}

std::int32_t ModuleSession::CallModuleMain(std::int32_t action, const InterfaceID* iid, IKXUnknown** inOut,
                                           bool otherBlock)
{
    if (moduleMain == nullptr)
        throw HostError(kExitFailure, "no module is open");
    return ModuleCall("at action " + std::to_string(action), [&] {
        return moduleMain(action, &moduleInfo, iid, inOut, otherBlock ? &otherCallbackBlock : &callbackBlock);
    });
}

std::vector<InterfaceID> ModuleSession::Registered() const
{
    std::vector<InterfaceID> identifiers;
    for (const Registration& registration : registrations)
        identifiers.push_back(registration.extension);
    return identifiers;
}

std::vector<std::string> ModuleSession::Close()
{
    if (!active)
        return {};

    // Each step runs even when the module threw at an earlier one: the
    // module is taken down as far as it lets itself be.
    if (sink != nullptr) {
        std::uint32_t count = 0;
        if (ClosingCall(problems, "in the event sink's Release", [&] { count = sink->Release(); }) && count != 0)
            problems.push_back("the event sink still counts " + Count(count, "reference", "references") +
                               " after the host gave back its own");
        sink = nullptr;
    }
    if (extension != nullptr) {
        std::uint32_t count = 0;
        if (ClosingCall(problems, "in the extension's Release", [&] { count = extension->Release(); })) {
            if (count != 0)
                problems.push_back("the extension still counts " + Count(count, "reference", "references") +
                                   " after the host gave back its own");
            const auto reports = std::count(releasedObjects.begin(), releasedObjects.end(), extension);
            if (count == 0 && reports != 1)
                problems.push_back(reports == 0 ? std::string("the extension's count fell to 0 without ObjectReleased")
                                                : "the extension was reported through ObjectReleased " +
                                                      std::to_string(reports) + " times");
        }

        IKXUnknown* destroyed = extension;
        std::int32_t answer = 0;
        if (ClosingCall(problems, "at action -5 (destroy)",
                        [&] { answer = CallMain(kActionDestroy, &extensionId, &destroyed); })) {
            if (destroyed != nullptr)
                problems.push_back("the module did not destroy its extension at action -5 (it answered " +
                                   std::to_string(answer) + ")");
            else if (answer != kDestroyAnswer)
                problems.push_back("action -5 answered " + std::to_string(answer) + " instead of " +
                                   std::to_string(kDestroyAnswer));
        }
        extension = nullptr;
        functions = nullptr;
    }
    if (moduleDeinit != nullptr)
        ClosingCall(problems, "in plugin_module_deinit", moduleDeinit);

    if (const std::int32_t count = application.ReferenceCount(); count != HostApplication::kHostReference) {
        const std::int32_t held = count - HostApplication::kHostReference;
        problems.push_back(held > 0 ? "the module kept " + Count(static_cast<std::uint64_t>(held), "reference",
                                                                 "references") +
                                          " to the host application"
                                    : std::string("the module released the host application more often than it "
                                                  "obtained it"));
    }

    if (const std::size_t open = application.OpenResourceHandles(); open > 0)
        problems.push_back("the module kept " + Count(open, "resource handle", "resource handles") +
                           " it did not dispose of");
    if (const std::int32_t kept = FileServices::LiveObjects() - fileObjectsBefore; kept > 0)
        problems.push_back("the module kept " + Count(static_cast<std::uint64_t>(kept), "host object", "host objects") +
                           " (folder chooser, folder, file or text file) it obtained");

    moduleMain = nullptr;
    moduleDeinit = nullptr;
    Platform::UnloadModule(module);
    module = nullptr;
    routines.clear();
    registrations.clear();
    releasedObjects.clear();
    activeSession = nullptr;
    active = false;
    std::vector<std::string> found;
    found.swap(problems);
    return found;
}

} // namespace KxHost
