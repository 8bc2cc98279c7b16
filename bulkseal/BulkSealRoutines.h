// The BulkSeal plug-in's script routines: the routine table, the extension
// that describes them to the host and the handler that runs them.
//
// Three Calscript routines in the category "Utility": EncryptAllPlugins,
// EncryptPlugin(fullPath) and TestEncryptPlugins. The host reads them through
// CBulkSealCSFuncs and runs them through its event sink, to which one
// CBulkSealLibraryRoutines is attached.
#pragma once

#include "framework/ScriptFunctions.h"
#include "strings/TXString.h"

#include <cstdint>

namespace BulkSeal {

/// The module's own identifier for its extension.
/// {C3A7E6B0-52D4-4F19-8B6E-0D2F7A91B5C4}
inline constexpr InterfaceID kExtensionId{0xC3A7E6B0, 0x52D4, 0x4F19, {0x8B, 0x6E, 0x0D, 0x2F, 0x7A, 0x91, 0xB5, 0xC4}};

/// @name Routine names, as the script calls them
/// @{
inline constexpr char kEncryptAllPlugins[] = "EncryptAllPlugins";
inline constexpr char kEncryptPlugin[] = "EncryptPlugin";
inline constexpr char kTestEncryptPlugins[] = "TestEncryptPlugins";
/// @}

inline constexpr std::int32_t kRoutineCount = 3;
/// The three routines and the row that ends the table.
extern const ZEDA::PluginSupport::RoutineDescription kRoutineTable[kRoutineCount + 1];

/// The target folder the current batch hands the encryption service: the
/// folder chosen for a test run, empty otherwise.
TXString& TargetFolder();

class CBulkSealCSFuncs : public ZEDA::PluginSupport::KXExtensionCSFunctions {
public:
    CBulkSealCSFuncs(HostCallbackBlock* callbackBlock, const ZEDA::PluginSupport::RoutineDescription* table);

    /// "BulkSealCSFuncs".
    const TXString& GetExtensionName() override;
    /// 1.
    std::uint32_t GetExtensionVersion() override;

protected:
    /// Attaches one CBulkSealLibraryRoutines, owned by the sink.
    void AttachRoutines() override;
    /// A KXCSFunctions_EventSink with `parent`, or null when memory is short.
    Calvera::Extension::IEventSink* CreateEventSink(IKXUnknown* parent) override;

private:
    TXString name;
};

class CBulkSealLibraryRoutines : public ZEDA::PluginSupport::KXPluginLibraryRoutine {
public:
    /// Runs the routine of row `routineIndex` when it is one of the three;
    /// a negative index and any other row are ignored.
    void Execute(std::int32_t routineIndex, ZEDA::PluginSupport::KXPluginLibraryArgTable& arguments) override;
};

} // namespace BulkSeal
