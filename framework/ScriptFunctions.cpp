// The event sink, the extension base and its routine-table queries.
#include "framework/ScriptFunctions.h"

#include "framework/HostStubs.h"
#include "framework/InterfaceID.h"

#include <exception>
#include <new>
#include <string>

namespace ZEDA::PluginSupport {

// ---------------------------------------------------------------------------
// Event sink

KXCSFunctions_EventSink::KXCSFunctions_EventSink(IKXUnknown* parent) : KCOMImpl(parent) {}

KXCSFunctions_EventSink::~KXCSFunctions_EventSink()
{
    for (Entry* entry = handlers; entry != nullptr;) {
        Entry* const next = entry->next;
        if (!entry->notOwned)
            delete entry->handler;
        delete entry;
        entry = next;
    }
}

bool KXCSFunctions_EventSink::AddRoutine(KXPluginLibraryRoutine* handler, bool notOwned)
{
    Entry* const entry = new (std::nothrow) Entry{handler, notOwned, handlers};
    if (entry == nullptr)
        return false;
    handlers = entry;
    return true;
}

std::int32_t KXCSFunctions_EventSink::ExecuteRoutine(std::uint32_t routineIndex, ValueRecord* valueBlock)
{
    KXPluginLibraryArgTable arguments(valueBlock);
    for (Entry* entry = handlers; entry != nullptr; entry = entry->next) {
        if (entry->handler == nullptr)
            continue;
        // The host called in: nothing may leave towards it. A handler that
        // fails (out of memory, say) ends its own routine, not the others',
        // and the host is told which routine failed and how.
        try {
            entry->handler->Execute(static_cast<std::int32_t>(routineIndex), arguments);
        } catch (const std::exception& error) {
            ReportFault(routineIndex, error.what());
        } catch (...) {
            ReportFault(routineIndex, "an exception that is no std::exception");
        }
    }
    return 0;
}

void KXCSFunctions_EventSink::ReportFault(std::uint32_t routineIndex, const char* what) noexcept
{
    try {
        // The parent is the extension whose routines the sink runs.
        auto* const extension = dynamic_cast<Calvera::Extension::IExtensionCSFunctions*>(parent);
        const std::string name =
            extension != nullptr ? extension->GetRoutineName(routineIndex).ToStdString() : std::string();
        ReportRoutineFault::Call(Module().callbackBlock, name.c_str(), what);
    } catch (...) {
        // Nothing more can be told.
    }
}

// ---------------------------------------------------------------------------
// Extension

KXExtensionCSFunctions::KXExtensionCSFunctions(HostCallbackBlock* callbackBlock,
                                               const RoutineDescription* routineTable)
    : callbackBlock(callbackBlock), routineTable(routineTable)
{
}

KXExtensionCSFunctions::~KXExtensionCSFunctions() = default;

Calvera::Extension::IEventSink* KXExtensionCSFunctions::GetEventSink(const InterfaceID& identifier)
{
    if (!customSinkQueried) {
        customSinkOffered = GetCustomSinkIdentifier(customSinkId);
        customSinkQueried = true;
    }
    if (identifier == Calvera::Extension::IID_CSFunctionsEventSink) {
        if (eventSink == nullptr) {
            eventSink = CreateEventSink(this);
            if (eventSink != nullptr) {
                AttachRoutines();
                eventSink->AddRef();
                if (auto* sink = dynamic_cast<KXCSFunctions_EventSink*>(eventSink))
                    sink->name = GetExtensionName();
            }
        }
        return eventSink;
    }
    if (customSinkOffered && identifier == customSinkId) {
        if (customSink == nullptr) {
            customSink = CreateCustomSink(this);
            if (customSink == nullptr) {
                customSinkOffered = false;
                return nullptr;
            }
        }
        customSink->AddRef();
        return customSink;
    }
    return nullptr;
}

void KXExtensionCSFunctions::OnLastRelease()
{
    // Taken out of the fields first: destroying a sink gives back its
    // reference to this extension, which must not find it again.
    if (Calvera::Extension::IEventSink* const sink = eventSink) {
        eventSink = nullptr;
        delete sink;
    }
    if (Calvera::Extension::IEventSink* const sink = customSink) {
        customSink = nullptr;
        delete sink;
    }
    KCOMImmediateImpl::OnLastRelease();
}

bool KXExtensionCSFunctions::GetCustomSinkIdentifier(InterfaceID& /*out*/)
{
    return false;
}

Calvera::Extension::IEventSink* KXExtensionCSFunctions::CreateCustomSink(IKXUnknown* /*parent*/)
{
    return nullptr;
}

const TXString& KXExtensionCSFunctions::Cached(const char* text)
{
    // Keyed by the table string's address: each string is converted once per
    // extension, and the reference handed out stays valid as long as it.
    auto found = stringCache.find(text);
    if (found != stringCache.end())
        return found->second;
    try {
        return stringCache.emplace(text, TXString(text, kUTF8)).first->second;
    } catch (...) {
        // The host asked through an interface that cannot report a failure;
        // without memory for the text it gets an empty one.
        static const TXString empty;
        return empty;
    }
}

std::uint32_t KXExtensionCSFunctions::GetAuxiliaryData()
{
    return 0;
}

std::uint64_t KXExtensionCSFunctions::GetRoutineCount()
{
    std::uint64_t count = 0;
    if (routineTable != nullptr) {
        while (routineTable[count].name != nullptr)
            ++count;
    }
    return count;
}

const TXString& KXExtensionCSFunctions::GetRoutineName(std::uint64_t routine)
{
    return Cached(routineTable[routine].name);
}

const TXString& KXExtensionCSFunctions::GetRoutineCategory(std::uint64_t routine)
{
    return Cached(routineTable[routine].category);
}

const TXString& KXExtensionCSFunctions::GetRoutineDescription(std::uint64_t routine)
{
    return Cached(routineTable[routine].description);
}

std::int32_t KXExtensionCSFunctions::GetRoutineVersion(std::uint64_t routine)
{
    return routineTable[routine].version;
}

bool KXExtensionCSFunctions::GetRoutineReturnsValue(std::uint64_t routine)
{
    return routineTable[routine].returnsValue;
}

bool KXExtensionCSFunctions::GetRoutineExtraFlag(std::uint64_t routine)
{
    return routineTable[routine].extraFlag;
}

std::uint64_t KXExtensionCSFunctions::GetArgumentCount(std::uint64_t routine)
{
    std::uint64_t count = 0;
    while (count < kArgumentSlots && routineTable[routine].arguments[count].name != nullptr)
        ++count;
    return count;
}

const TXString& KXExtensionCSFunctions::GetArgumentName(std::uint64_t routine, std::uint64_t argument)
{
    return Cached(routineTable[routine].arguments[argument].name);
}

std::uint16_t KXExtensionCSFunctions::GetArgumentType(std::uint64_t routine, std::uint64_t argument)
{
    return routineTable[routine].arguments[argument].type;
}

} // namespace ZEDA::PluginSupport
