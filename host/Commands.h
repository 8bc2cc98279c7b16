// kxhost's commands, one source file each: routines, call, strings,
// decrypt and validate. main.cpp wires the command line to them; what they
// share (running a module session from the command line's settings,
// checking what reached standard output) is in CommandSupport.cpp.
//
// Each command returns kxhost's exit code and writes its messages through
// the console (host/Console.h), results to standard output.
#pragma once

#include "host/Host.h"
#include "host/Sealing.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace KxHost {

/// A usage error found after the command line parsed: it names the problem,
/// and kxhost ends with kExitUsage.
struct UsageError {
    std::string message;
};

/// What the command line says of the module and of the services its host
/// serves it.
struct SessionSettings {
    std::string modulePath;
    std::string plugins;
    std::string choose;
    bool cancel = false;
    std::string keyFile;
    std::vector<std::string> resources;
    std::vector<std::string> hostValues; ///< "SELECTOR=VALUE"
};

/// Opens a session of the module with the services `settings` configure,
/// runs `command` on it, closes it and reports what did not balance and
/// what the file services refused. Returns the exit code.
int RunSession(const SessionSettings& settings, const std::function<void(ModuleSession&)>& command);

/// `code`, or a failure when what went to standard output could not be
/// written (a full disk, a closed stream): a result nobody received is no
/// success.
int CheckOutput(int code);

/// The key in `keyFile`; with `createIfMissing` a missing key file is
/// created with a new key, and the user told to keep it. Throws HostError.
SealKey LoadKey(const std::string& keyFile, bool createIfMissing);

/// "name: type" for each call argument of `routine`, comma-separated.
std::string ArgumentList(const RoutineInfo& routine);

/// @name The commands
/// @{
int RoutinesCommand(const SessionSettings& settings, bool json);
int CallCommand(const SessionSettings& settings, const std::string& name, const std::vector<std::string>& arguments,
                bool json);
int StringsCommand(const std::vector<std::string>& resources, const std::string& location,
                   const std::optional<std::string>& key);
int DecryptCommand(const std::string& file, const std::string& out, const std::string& keyFile);

/// What `kxhost validate` is asked.
struct ValidateSettings {
    std::string modulePath;
    std::vector<std::string> resources;
    bool json = false;
    /// The scenarios to run by name; all when empty.
    std::vector<std::string> scenarios;
    /// How long one scenario may take.
    std::chrono::milliseconds timeLimit{10000};
    /// Set in the child that runs one scenario: its name.
    std::string child;
};
int ValidateCommand(const ValidateSettings& settings);
/// @}

} // namespace KxHost
