// kxhost's host: loads a plug-in module and drives it the way the CAD
// application does, serving it the callback block, the service table and the
// application object.
//
// A session runs these steps:
//   Open:  load the module, find its three exports, check its version;
//          action -3 (the module registers its extension); action -4 (the
//          module creates it, the host takes one reference); read the
//          routine table; ask for the event sink.
//   Execute (any number of times): run a routine on a block of twelve
//          value records.
//   Close: give back the sink's and the extension's references; action -5
//          (the module destroys its extension); plugin_module_deinit;
//          unload; check that every reference count balanced.
//
// Every plugin_module_main call passes the host's callback block. Its
// resolve serves entries 326 (the service table) and 855 (the encryption
// service); every other entry answers null, so the module falls back to the
// entry's default. The service table's QueryInterface hands out the
// application object, and new folder chooser, file and text-file objects
// (host/FileServices.h); it fails for every other interface.
//
// The module calls back through plain C function pointers that carry no
// context, so one session at a time is active in a process; Open refuses a
// second. Failures inside the host throw HostError; nothing the module calls
// throws. Nothing may come back across the boundary either: an exception from
// the module at any step is the module's fault, reported as a HostError
// (kExitFailure) naming the step, or, while the module is taken down, as one
// of Close's messages.
#pragma once

#include "framework/HostServices.h"
#include "framework/InterfaceID.h"
#include "framework/KXUnknown.h"
#include "framework/ValueRecord.h"
#include "host/HostApplication.h"
#include "platform/Module.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace KxHost {

/// @name Exit codes of kxhost
/// @{
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;   ///< the routine or the host failed
inline constexpr int kExitUsage = 2;     ///< the command line asks for something impossible
inline constexpr int kExitNotAPlugin = 3; ///< the module cannot be loaded or is not a plug-in
/// @}

/// The module version this host drives.
inline constexpr std::int32_t kSupportedModuleVersion = 3100;

/// @name The exports every plug-in module has
/// @{
inline constexpr const char* kMainExport = "plugin_module_main";
inline constexpr const char* kVersionExport = "plugin_module_ver";
inline constexpr const char* kDeinitExport = "plugin_module_deinit";
/// @}

/// A failure of the host or the module, with the exit code it ends kxhost
/// with and a message for the user.
class HostError : public std::runtime_error {
public:
    HostError(int exitCode, const std::string& message) : std::runtime_error(message), exitCode(exitCode) {}
    int ExitCode() const noexcept { return exitCode; }

private:
    int exitCode;
};

/// One argument slot of a routine, as the extension describes it.
struct ArgumentInfo {
    std::string name;
    std::uint16_t tag = 0;
};

/// One routine of the extension's table.
struct RoutineInfo {
    std::uint32_t index = 0;
    std::string name;
    std::string category;
    std::string description;
    std::int32_t version = 0;
    bool returnsValue = false;
    bool extraFlag = false;
    /// Every named slot in table order. When the routine returns a value, the
    /// last one describes the result, not an argument.
    std::vector<ArgumentInfo> slots;

    /// The number of arguments a call passes.
    std::size_t CallArgumentCount() const { return returnsValue && !slots.empty() ? slots.size() - 1 : slots.size(); }
    /// The slot that describes the result; null when there is none.
    const ArgumentInfo* ResultSlot() const { return returnsValue && !slots.empty() ? &slots.back() : nullptr; }
};

/// Twelve value records: arguments in 0 to 10, the result in 11.
using ValueBlock = std::array<ZEDA::PluginSupport::ValueRecord, ZEDA::PluginSupport::kValueBlockRecords>;

/// What a routine told the host while it ran, besides its result.
struct CallReport {
    /// What each exception that ended a handler of the routine said.
    std::vector<std::string> exceptions;
    /// A record of the block read as another kind than it holds: its index
    /// (0 to 11) and the tag it was read as.
    struct Misread {
        std::size_t record;
        std::uint16_t readAs;
    };
    std::vector<Misread> misreads;
};

class ModuleSession {
public:
    /// A session whose file services and resource store follow `options`.
    /// Throws HostError (kExitUsage) for a resource path that is neither a
    /// folder nor a .kxr archive.
    explicit ModuleSession(HostOptions options = {});
    /// Closes the session when Close did not run (its findings are lost).
    ~ModuleSession();
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    /// Loads the module at `path` (UTF-8) and brings it up to the point where
    /// routines can run. Throws HostError: kExitNotAPlugin when the module
    /// cannot be loaded, lacks an export, has another version or registers
    /// no script-function extension; kExitFailure when it cannot create its
    /// extension or event sink, describes its routines wrongly or throws at
    /// any step. Close must run after a failed Open too; it undoes what was
    /// done.
    void Open(const std::string& path);

    /// The number of items the file services refused or failed on; each
    /// was told as it happened.
    std::size_t FileFailures() const { return files.Failures(); }

    /// The application object the module is served.
    const HostApplication& Application() const { return application; }

    /// The routines, in table order; empty before Open.
    const std::vector<RoutineInfo>& Routines() const { return routines; }

    /// Runs routine `index` on `block` (or, with null, on no block at all)
    /// through the event sink, and returns what the routine reported on the
    /// way: exceptions the framework caught, records it misread. Open must
    /// have succeeded. Throws HostError (kExitFailure) when an exception
    /// crosses the boundary.
    CallReport Execute(std::uint32_t index, ValueBlock* block);

    /// @name The module's entry, called directly (for the validator)
    /// @{
    /// Calls plugin_module_main with `action`, `iid` and `inOut`, passing the
    /// session's callback block, or with `otherBlock` a second one that
    /// serves the same entries: a module must use the block of the current
    /// call, never one it kept. Throws HostError when the module throws.
    std::int32_t CallModuleMain(std::int32_t action, const InterfaceID* iid, IKXUnknown** inOut, bool otherBlock);
    /// The extension identifiers the module registered, in order.
    std::vector<InterfaceID> Registered() const;
    /// The identifier of the extension the session created.
    const InterfaceID& ExtensionId() const { return extensionId; }
    /// @}

    /// Ends the session: gives back the host's references, has the module
    /// destroy its extension, calls plugin_module_deinit and unloads the
    /// module. Returns what did not balance, one message each (for instance
    /// a reference the module kept), and what the module threw at any of
    /// these steps, which still run one after the other; empty when
    /// everything balanced. Never throws for the module. A second call does
    /// nothing and returns nothing.
    std::vector<std::string> Close();

private:
    using MainFunction = std::int32_t (*)(std::int32_t, void*, const InterfaceID*, IKXUnknown**,
                                          HostCallbackBlock*);
    using VersionFunction = std::int32_t (*)();
    using DeinitFunction = void (*)();

    // The host's side of the boundary: the entries the module calls.
    static HostFunction ResolveEntry(std::int32_t entry) noexcept;
    static bool GetHostServicesEntry(std::int16_t request, std::int32_t* version, HostServices** table,
                                     bool flag) noexcept;
    static bool EncryptScriptFileEntry(const TXString& path, bool flag, TXString& targetFolder) noexcept;
    static std::int32_t QueryInterfaceEntry(const InterfaceID& identifier, IKXUnknown** out) noexcept;
    static void ObjectReleasedEntry(IKXUnknown* object) noexcept;
    static std::int32_t RegisterExtensionEntry(void* moduleInfo, const InterfaceID& extension,
                                               const InterfaceID& category, bool flag) noexcept;
    static void ReportRoutineFaultEntry(const char* routineName, const char* what) noexcept;
    static void ReportValueMisreadEntry(const void* record, std::uint16_t readAs) noexcept;

    std::int32_t CallMain(std::int32_t action, const InterfaceID* iid, IKXUnknown** inOut);
    void ReadRoutines();

    struct Registration {
        InterfaceID extension;
        InterfaceID category;
    };

    std::string path;
    Platform::ModuleHandle module = nullptr;
    MainFunction moduleMain = nullptr;
    DeinitFunction moduleDeinit = nullptr;
    bool active = false; // this session receives the module's callbacks

    HostCallbackBlock callbackBlock;
    HostCallbackBlock otherCallbackBlock;
    /// While a routine runs: its block (null without one) and its report.
    ZEDA::PluginSupport::ValueRecord* runningBlock = nullptr;
    CallReport* runningReport = nullptr;
    HostServices services;
    FileServices files;
    ResourceStore resources;
    HostApplication application{files, resources};
    /// File objects alive when the module was loaded; more at the end are
    /// objects it kept.
    std::int32_t fileObjectsBefore = 0;
    /// The opaque pointer the module hands back when it registers; its
    /// address only identifies this session.
    char moduleInfo = 0;

    std::vector<Registration> registrations;
    std::vector<IKXUnknown*> releasedObjects;
    InterfaceID extensionId{};
    IKXUnknown* extension = nullptr; // holds the host's reference while set
    Calvera::Extension::IExtensionCSFunctions* functions = nullptr;
    Calvera::Extension::ICSFunctionsEventSink* sink = nullptr; // holds the host's reference while set
    std::vector<RoutineInfo> routines;
    std::vector<std::string> problems;
};

} // namespace KxHost
