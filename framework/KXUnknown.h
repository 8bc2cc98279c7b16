/// @file
/// The root interface of every object that crosses the host boundary, and the
/// interfaces of the extension model, each with its operations in the slot
/// order both sides of the boundary compile against. Never reorder, insert or
/// remove an operation: a host built against the old order would call the
/// wrong one.
///
/// Objects are destroyed through IKXUnknown's virtual destructor, so a pointer
/// to any of these interfaces suffices to destroy the whole object. Reference
/// counts start at 0; whoever first keeps a pointer calls AddRef.
#pragma once

#include "framework/InterfaceID.h"

#include <cstdint>

class TXString;

namespace ZEDA::PluginSupport {
struct ValueRecord;
}

/// The root interface: reference counting and destruction. Every interface of
/// the boundary derives from it, and the first three operations of every
/// interface are these.
class IKXUnknown {
public:
    /// Destroys the whole object through whichever of its interfaces is at
    /// hand. Only the object's owner destroys it (the module its extension at
    /// action -5, an extension its event sinks); holders of references give
    /// them back with Release instead.
    virtual ~IKXUnknown() = default;
    /// Adds a reference; returns the count after the change.
    virtual std::uint32_t AddRef() = 0;
    /// Gives a reference back; returns the count after the change (0 once
    /// the last is gone, and for a release without a reference).
    virtual std::uint32_t Release() = 0;
};

/// The interfaces and identifiers of the host's extension model, shared by the
/// host and every plug-in.
namespace Calvera::Extension {

/// What an extension hands the host to receive its calls.
class IEventSink : public IKXUnknown {};

/// An extension: what a module creates for the host (module entry, action
/// -4) and the host then asks for event sinks.
class IExtension : public IKXUnknown {
public:
    /// The extension's name; the reference stays valid as long as the
    /// extension lives.
    virtual const TXString& GetExtensionName() = 0;
    /// The extension's own version number (not the module version).
    virtual std::uint32_t GetExtensionVersion() = 0;
    /// The extension's sink for `identifier`, or null when it has none. The
    /// result's references are the extension's business: the caller gives
    /// back the reference of a sink it asked for with Release.
    virtual IEventSink* GetEventSink(const InterfaceID& identifier) = 0;
};

/// Runs the routines of a script-function extension.
class ICSFunctionsEventSink : public IEventSink {
public:
    /// Runs routine `routineIndex` of the extension's table on `valueBlock`:
    /// twelve value records, arguments in 0 to 10 and the result in 11. Null
    /// when the host has no block. Always returns 0: a routine's outcome
    /// reaches the script only through the result record.
    virtual std::int32_t ExecuteRoutine(std::uint32_t routineIndex, ZEDA::PluginSupport::ValueRecord* valueBlock) = 0;
};

/// A script-function extension: the description of its routines. Routine and
/// argument indexes are not validated: the host asks only for indexes below
/// GetRoutineCount and GetArgumentCount. The references to strings stay valid
/// as long as the extension lives.
class IExtensionCSFunctions : public IExtension {
public:
    /// A value the host reads with the routine table; its meaning is the
    /// host's (the framework's extensions answer 0).
    virtual std::uint32_t GetAuxiliaryData() = 0;
    /// The number of routines; routine indexes run from 0 to one less.
    virtual std::uint64_t GetRoutineCount() = 0;
    /// The name a script calls routine `routine` by.
    virtual const TXString& GetRoutineName(std::uint64_t routine) = 0;
    /// The category the host lists the routine under.
    virtual const TXString& GetRoutineCategory(std::uint64_t routine) = 0;
    /// The routine's one-line help.
    virtual const TXString& GetRoutineDescription(std::uint64_t routine) = 0;
    /// The routine's version, on the scale of the module version (3100).
    virtual std::int32_t GetRoutineVersion(std::uint64_t routine) = 0;
    /// Whether the routine returns a value; its last named slot then
    /// describes the result instead of an argument.
    virtual bool GetRoutineReturnsValue(std::uint64_t routine) = 0;
    /// A flag the host interprets; the plug-in only declares it.
    virtual bool GetRoutineExtraFlag(std::uint64_t routine) = 0;
    /// The number of named slots of the routine (at most 11): its arguments,
    /// then the result's slot when it returns a value.
    virtual std::uint64_t GetArgumentCount(std::uint64_t routine) = 0;
    /// The name of slot `argument` of the routine.
    virtual const TXString& GetArgumentName(std::uint64_t routine, std::uint64_t argument) = 0;
    /// The value-record tag of slot `argument` (a ZEDA::PluginSupport::ValueTag):
    /// the kind of value the host passes in that record, or expects back.
    virtual std::uint16_t GetArgumentType(std::uint64_t routine, std::uint64_t argument) = 0;
};

} // namespace Calvera::Extension
