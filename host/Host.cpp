// The module session: the host's entries, the service table, and the steps
// that bring a module up, run its routines and take it down again.
#include "host/Host.h"

#include "framework/HostStubs.h"
#include "framework/ModuleEntry.h"

#include <algorithm>
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

} // namespace

ModuleSession::ModuleSession(HostOptions options)
    : callbackBlock{&ModuleSession::ResolveEntry},
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
    if (entry == GetHostServices::kEntry)
        return reinterpret_cast<HostFunction>(static_cast<GetHostServices::Function>(&GetHostServicesEntry));
    if (entry == EncryptScriptFile::kEntry)
        return reinterpret_cast<HostFunction>(static_cast<EncryptScriptFile::Function>(&EncryptScriptFileEntry));
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

    moduleMain = reinterpret_cast<MainFunction>(Platform::FindModuleSymbol(module, kMainExport));
    const auto moduleVersion = reinterpret_cast<VersionFunction>(Platform::FindModuleSymbol(module, kVersionExport));
    moduleDeinit = reinterpret_cast<DeinitFunction>(Platform::FindModuleSymbol(module, kDeinitExport));
    std::vector<std::string> missing;
    if (moduleMain == nullptr)
        missing.push_back(kMainExport);
    if (moduleVersion == nullptr)
        missing.push_back(kVersionExport);
    if (moduleDeinit == nullptr)
        missing.push_back(kDeinitExport);
    if (!missing.empty()) {
        std::string names;
        for (std::size_t i = 0; i < missing.size(); ++i)
            names += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
        // Without all three the module cannot be driven or taken down
        // cleanly: call none of them.
        moduleMain = nullptr;
        moduleDeinit = nullptr;
        throw HostError(kExitNotAPlugin, path + " is not a plug-in module: it lacks " + names);
    }

    const std::int32_t version = moduleVersion();
    if (version != kSupportedModuleVersion) {
        moduleMain = nullptr;
        moduleDeinit = nullptr;
        throw HostError(kExitNotAPlugin, path + " is a plug-in module of version " + std::to_string(version) +
                                             "; this host drives version " +
                                             std::to_string(kSupportedModuleVersion));
    }

    CallMain(kActionRegister, nullptr, nullptr);
    if (registrations.empty())
        throw HostError(kExitNotAPlugin, path + " registered no script-function extension");
    extensionId = registrations.front().extension;

    IKXUnknown* created = nullptr;
    const std::int32_t createResult = CallMain(kActionCreate, &extensionId, &created);
    if (created == nullptr)
        throw HostError(kExitFailure, "the module did not create the extension it registered (action -4 answered " +
                                          std::to_string(createResult) + ")");
    extension = created;
    // A new object counts 0 references, so the host's is the first.
    if (const std::uint32_t count = extension->AddRef(); count != 1)
        problems.push_back("the new extension counted " + Count(count, "reference", "references") +
                           " after the host's AddRef; a new object starts at 0");
    // The module registered the object under the script-function category,
    // which promises this interface.
    functions = static_cast<IExtensionCSFunctions*>(extension);

    ReadRoutines();

    IEventSink* const eventSink = functions->GetEventSink(IID_CSFunctionsEventSink);
    if (eventSink == nullptr)
        throw HostError(kExitFailure, "the extension has no event sink to run its routines through");
    sink = static_cast<ICSFunctionsEventSink*>(eventSink);
}

void ModuleSession::ReadRoutines()
{
    const std::uint64_t count = functions->GetRoutineCount();
    if (count > kMaxRoutines)
        throw HostError(kExitFailure, "the extension describes " + std::to_string(count) +
                                          " routines; its routine table is probably not terminated");
    routines.reserve(static_cast<std::size_t>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        RoutineInfo routine;
        routine.index = i;
        routine.name = Utf8(functions->GetRoutineName(i));
        routine.category = Utf8(functions->GetRoutineCategory(i));
        routine.description = Utf8(functions->GetRoutineDescription(i));
        routine.version = functions->GetRoutineVersion(i);
        routine.returnsValue = functions->GetRoutineReturnsValue(i);
        routine.extraFlag = functions->GetRoutineExtraFlag(i);
        const std::uint64_t slots = functions->GetArgumentCount(i);
        if (slots > kArgumentCount)
            throw HostError(kExitFailure, "routine " + routine.name + " describes " + std::to_string(slots) +
                                              " argument slots; a routine has at most " +
                                              std::to_string(kArgumentCount));
        for (std::uint64_t slot = 0; slot < slots; ++slot)
            routine.slots.push_back({Utf8(functions->GetArgumentName(i, slot)), functions->GetArgumentType(i, slot)});
        routines.push_back(std::move(routine));
    }
}

void ModuleSession::Execute(std::uint32_t index, ValueBlock& block)
{
    if (sink == nullptr)
        throw HostError(kExitFailure, "no module is open");
    sink->ExecuteRoutine(index, block.data());
}

std::vector<std::string> ModuleSession::Close()
{
    if (!active)
        return {};

    if (sink != nullptr) {
        const std::uint32_t count = sink->Release();
        sink = nullptr;
        if (count != 0)
            problems.push_back("the event sink still counts " + Count(count, "reference", "references") +
                               " after the host gave back its own");
    }
    if (extension != nullptr) {
        const std::uint32_t count = extension->Release();
        if (count != 0)
            problems.push_back("the extension still counts " + Count(count, "reference", "references") +
                               " after the host gave back its own");
        const auto reports = std::count(releasedObjects.begin(), releasedObjects.end(), extension);
        if (count == 0 && reports != 1)
            problems.push_back(reports == 0 ? std::string("the extension's count fell to 0 without ObjectReleased")
                                            : "the extension was reported through ObjectReleased " +
                                                  std::to_string(reports) + " times");

        IKXUnknown* destroyed = extension;
        const std::int32_t answer = CallMain(kActionDestroy, &extensionId, &destroyed);
        if (destroyed != nullptr)
            problems.push_back("the module did not destroy its extension at action -5 (it answered " +
                               std::to_string(answer) + ")");
        else if (answer != kDestroyAnswer)
            problems.push_back("action -5 answered " + std::to_string(answer) + " instead of " +
                               std::to_string(kDestroyAnswer));
        extension = nullptr;
        functions = nullptr;
    }
    if (moduleDeinit != nullptr)
        moduleDeinit();

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
    for (std::string& failure : files.TakeLateFailures())
        problems.push_back(std::move(failure));
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
