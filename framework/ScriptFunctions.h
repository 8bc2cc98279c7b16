/// @file
/// The script-function extension framework: how a plug-in adds Calscript
/// routines.
///
/// A plug-in describes its routines in a static table of RoutineDescription
/// rows, derives its extension from KXExtensionCSFunctions and its handlers
/// from KXPluginLibraryRoutine. The host reads the table through the
/// extension's queries, asks for the event sink with IID_CSFunctionsEventSink
/// and runs routine i with ExecuteRoutine(i, block of twelve value records).
/// Every handler attached to the sink sees every call and decides from the
/// index whether the routine is its own.
///
/// Lifetimes: the extension is created and destroyed by the module (actions -4
/// and -5). It creates its event sink on the first request and holds one
/// reference to it; when the extension's own count falls to 0 it destroys its
/// sinks. The sink holds a reference to the extension from construction until
/// its own count first falls to 0, and destroys the handlers it owns.
#pragma once

#include "framework/ComponentObjects.h"
#include "framework/KXUnknown.h"
#include "framework/ValueRecord.h"
#include "strings/TXString.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <new>

struct HostCallbackBlock;

namespace ZEDA::PluginSupport {

/// @name The routine table
/// All strings are static UTF-8 text. A table ends with a row whose name is
/// null; a row's arguments end with the first slot whose name is null.
/// @{

/// The named slots of a row: up to 11 arguments, or up to 10 and the
/// result's slot.
inline constexpr std::size_t kArgumentSlots = 11;

/// One named slot of a routine: an argument, or the result.
struct RoutineArgument {
    const char* name;   ///< null ends the list
    std::uint16_t type; ///< the value-record tag of the argument (a ValueTag)
};

/// One row of the routine table: what the host learns about a routine before
/// it runs it. Routine i of the extension is row i.
struct RoutineDescription {
    const char* name;        ///< as the script calls it; null ends the table
    const char* category;    ///< the category the host lists it under
    const char* description; ///< one-line help
    std::int32_t version;    ///< on the scale of the module version (3100)
    bool returnsValue;       ///< the last named slot then describes the result
    bool extraFlag;          ///< handed to the host unchanged
    /// The named slots: arguments 0, 1, … in the records of the same number,
    /// then the result's slot when `returnsValue` (its value goes to record
    /// 11, whatever its position here). The list ends at the first slot whose
    /// name is null, or after all 11.
    RoutineArgument arguments[kArgumentSlots];
};
/// @}

/// The base of a plug-in's routine handlers. Only Execute is ever called;
/// the other virtual operations keep the slot order handlers are built
/// against.
class KXPluginLibraryRoutine {
public:
    /// Destroys the handler; an event sink does so for the handlers it owns.
    virtual ~KXPluginLibraryRoutine() = default;
    /// Reserved: never called; does nothing.
    virtual void ReservedHook0() {}
    /// Reserved: never called; returns 0.
    virtual std::int32_t ReservedHook1() { return 0; }
    /// Runs routine `routineIndex` when it is this handler's, on `arguments`
    /// (whose GetValueBlock() is null when the host passed no block). Every
    /// attached handler sees every call, so one that does not own the index
    /// does nothing. Whatever it throws is caught by the event sink and ends
    /// only this handler's run.
    virtual void Execute(std::int32_t routineIndex, KXPluginLibraryArgTable& arguments) = 0;
    /// Reserved: never called; returns 0.
    virtual std::int32_t ReservedHook3() { return 0; }
    /// Reserved: never called; writes 0 to `*out` unless `out` is null.
    virtual void ReservedHook4(std::int32_t /*value*/, std::int32_t* out)
    {
        if (out != nullptr)
            *out = 0;
    }
    /// Reserved: never called; does nothing.
    virtual void ReservedHook5() {}
};

/// The event sink: runs every attached handler on each routine call.
class KXCSFunctions_EventSink : public KCOMImpl<Calvera::Extension::ICSFunctionsEventSink> {
public:
    /// References `parent` (the extension) until its own count falls to 0.
    explicit KXCSFunctions_EventSink(IKXUnknown* parent);
    /// Destroys the handlers it owns.
    ~KXCSFunctions_EventSink() override;
    KXCSFunctions_EventSink(const KXCSFunctions_EventSink&) = delete;
    KXCSFunctions_EventSink& operator=(const KXCSFunctions_EventSink&) = delete;

    /// Attaches `handler` at the head of the list: the one attached last runs
    /// first. The sink destroys it unless `notOwned`. False, with nothing
    /// attached, when the entry cannot be allocated.
    bool AddRoutine(KXPluginLibraryRoutine* handler, bool notOwned);

    /// Runs every handler on the call, in list order, over one argument
    /// table built on `valueBlock` (null when the host passed none). An
    /// exception ends the run of the handler that threw it and goes no
    /// further. Always 0.
    std::int32_t ExecuteRoutine(std::uint32_t routineIndex, ValueRecord* valueBlock) override;

    TXString name; ///< the extension's name, set when the extension creates the sink

private:
    /// Tells the host, through ReportRoutineFault, that routine
    /// `routineIndex` ended with the exception `what`.
    void ReportFault(std::uint32_t routineIndex, const char* what) noexcept;

    struct Entry {
        KXPluginLibraryRoutine* handler;
        bool notOwned;
        Entry* next;
    };
    Entry* handlers = nullptr;
};

/// The base of a plug-in's script-function extension.
class KXExtensionCSFunctions : public KCOMImmediateImpl<Calvera::Extension::IExtensionCSFunctions> {
public:
    /// Describes the routines of `routineTable` (which must outlive the
    /// object; null means no routines).
    KXExtensionCSFunctions(HostCallbackBlock* callbackBlock, const RoutineDescription* routineTable);
    /// Frees the string cache; the sinks are gone by then (OnLastRelease).
    ~KXExtensionCSFunctions() override;
    KXExtensionCSFunctions(const KXExtensionCSFunctions&) = delete;
    KXExtensionCSFunctions& operator=(const KXExtensionCSFunctions&) = delete;

    /// The sink for `identifier`: the event sink (created on the first
    /// request, referenced once in all), the plug-in's custom sink
    /// (referenced on every request), or null.
    Calvera::Extension::IEventSink* GetEventSink(const InterfaceID& identifier) override;

    /// @name The routine-table queries
    /// Answered from the routine table. The count is the number of rows before
    /// the row whose name is null (0 without a table); an argument count stops
    /// at the first slot whose name is null or after 11. Indexes are not
    /// checked. The string queries hand out references into a cache that
    /// lives as long as the object, so repeated queries allocate nothing; a
    /// text that cannot be allocated is handed out empty.
    /// @{
    std::uint32_t GetAuxiliaryData() override;
    std::uint64_t GetRoutineCount() override;
    const TXString& GetRoutineName(std::uint64_t routine) override;
    const TXString& GetRoutineCategory(std::uint64_t routine) override;
    const TXString& GetRoutineDescription(std::uint64_t routine) override;
    std::int32_t GetRoutineVersion(std::uint64_t routine) override;
    bool GetRoutineReturnsValue(std::uint64_t routine) override;
    bool GetRoutineExtraFlag(std::uint64_t routine) override;
    std::uint64_t GetArgumentCount(std::uint64_t routine) override;
    const TXString& GetArgumentName(std::uint64_t routine, std::uint64_t argument) override;
    std::uint16_t GetArgumentType(std::uint64_t routine, std::uint64_t argument) override;
    /// @}

protected:
    /// Destroys the sinks (not through Release: they are the extension's).
    void OnLastRelease() override;
    /// Attaches the plug-in's handlers to the new event sink.
    virtual void AttachRoutines() = 0;
    /// The event sink, created with `parent` as its parent; null on failure.
    virtual Calvera::Extension::IEventSink* CreateEventSink(IKXUnknown* parent) = 0;
    /// Whether the plug-in offers a custom sink, with its identifier in
    /// `out`; asked once, at the first GetEventSink. The default offers none
    /// (false).
    virtual bool GetCustomSinkIdentifier(InterfaceID& out);
    /// The custom sink, created with `parent` as its parent at the first
    /// request for its identifier; null on failure, after which the sink is
    /// no longer offered. The default creates none.
    virtual Calvera::Extension::IEventSink* CreateCustomSink(IKXUnknown* parent);

    /// The event sink once created (owned; destroyed by OnLastRelease).
    Calvera::Extension::IEventSink* eventSink = nullptr;
    /// Whether GetCustomSinkIdentifier has been asked.
    bool customSinkQueried = false;
    /// Whether a custom sink is offered (its creation has not failed).
    bool customSinkOffered = false;
    /// The custom sink's identifier, when offered.
    InterfaceID customSinkId{};
    /// The custom sink once created (owned; destroyed by OnLastRelease).
    Calvera::Extension::IEventSink* customSink = nullptr;
    /// The callback block of the module entry that created the extension.
    HostCallbackBlock* callbackBlock;
    /// The routine table, not owned; null for none.
    const RoutineDescription* routineTable;

private:
    const TXString& Cached(const char* text);
    std::map<const char*, TXString> stringCache;
};

/// The extension most plug-ins need: the routines of `Routines::kRoutineTable`,
/// all run by one `Routines` handler (a KXPluginLibraryRoutine, owned by the
/// standard event sink), named `Routines::kExtensionName`, version 1. Create
/// and IsExtension are what a ModuleDescription asks for.
template <typename Routines>
class KXStandardCSFunctions final : public KXExtensionCSFunctions {
public:
    /// Describes `Routines::kRoutineTable` for `callbackBlock`.
    explicit KXStandardCSFunctions(HostCallbackBlock* callbackBlock)
        : KXExtensionCSFunctions(callbackBlock, Routines::kRoutineTable)
    {
    }

    /// `Routines::kExtensionName` (UTF-8) as a TXString held by the object.
    /// Throws std::bad_alloc when the text cannot be allocated.
    const TXString& GetExtensionName() override
    {
        name = Routines::kExtensionName;
        return name;
    }
    /// Always 1.
    std::uint32_t GetExtensionVersion() override { return 1; }

    /// A new extension (count 0), or null when memory is short.
    static IKXUnknown* Create(HostCallbackBlock* callbackBlock)
    {
        return new (std::nothrow) KXStandardCSFunctions(callbackBlock);
    }
    /// Whether `object` is an extension of this very type; false for null.
    static bool IsExtension(IKXUnknown* object) { return dynamic_cast<KXStandardCSFunctions*>(object) != nullptr; }

protected:
    /// Attaches one new `Routines` handler, owned by the event sink; none
    /// when memory is short.
    void AttachRoutines() override
    {
        if (auto* sink = dynamic_cast<KXCSFunctions_EventSink*>(eventSink)) {
            auto* routines = new (std::nothrow) Routines;
            if (routines != nullptr && !sink->AddRoutine(routines, false))
                delete routines;
        }
    }
    /// A KXCSFunctions_EventSink; null when memory is short.
    Calvera::Extension::IEventSink* CreateEventSink(IKXUnknown* parent) override
    {
        return new (std::nothrow) KXCSFunctions_EventSink(parent);
    }

private:
    TXString name;
};

} // namespace ZEDA::PluginSupport
