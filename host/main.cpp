// kxhost: the reference host for Calvera plug-in modules, on the command
// line. This file wires the command line to the commands, one source file
// each (host/Commands.h):
//
//   kxhost [--module PATH] routines [--json]
//   kxhost [--module PATH] call NAME [ARG...] [--json]
//          [--plugins DIR] [--choose DIR | --cancel] [--key FILE] [--quiet] [--verbose]
//   kxhost decrypt FILE [--out PATH] --key FILE
//   kxhost [--resources PATH]... strings LOCATION [KEY]
//   kxhost [--module PATH] [--resources PATH]... validate [--json] [--scenario NAME]... [--time-limit SECONDS]
//
// Messages go to standard error, results to standard output.
#include "KXMM/KXMM.h"
#include "host/Commands.h"
#include "host/Console.h"
#include "host/Text.h"
#include "platform/Files.h"
#include "platform/Module.h"
#include "platform/System.h"
#include "strings/MainPartition.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

namespace {

using namespace KxHost;

constexpr const char* kProgram = "kxhost";
constexpr const char* kDefaultModuleName = "BulkSeal.kxl";

constexpr const char* kDescription =
    "kxhost: the reference host for Calvera plug-in modules. It loads a .kxl module the way the CAD "
    "application does, lists the Calscript routines of its script-function extension and runs them with real "
    "value records and real host services: the plug-ins folder, a folder chooser, files, the encryption "
    "service that seals script files, and the resource store that serves strings and files from resource "
    "folders and the .kxr archives buildkxr writes.";

constexpr const char* kFooter =
    "Arguments of call are converted by the type the routine's table gives them: strings as typed, booleans "
    "as true or false, integers and reals in decimal. Put -- before arguments that start with a dash.\n"
    "\n"
    "Example: encrypt a test copy of every script plug-in and read the results log:\n"
    "  kxhost call TestEncryptPlugins --plugins ./plugins --choose ./sealed --key ./seal.key\n"
    "  cat ./sealed/__EncryptionResults.txt\n"
    "  kxhost decrypt ./sealed/Hello.csm --key ./seal.key\n"
    "\n"
    "Example: a string of a strings file, from a resource archive:\n"
    "  kxhost --resources ./BulkSeal.kxr strings \"BulkSeal/Strings/120 *\" 3\n"
    "\n"
    "Exit codes:\n"
    "  0  success (a routine that ran, whatever its result)\n"
    "  1  the routine or the host failed, validate found a fault, a file or folder was refused (each is\n"
    "     named), the module did not give back every reference it took, another kxhost works in the same\n"
    "     folder, decrypt refused the file, strings found no such file or key, or standard output could not\n"
    "     be written\n"
    "  2  usage error: unknown command, option or routine, wrong argument count or type, a path that is not\n"
    "     UTF-8\n"
    "  3  the module cannot be loaded or is not a plug-in (missing exports, another version)";

/// What every path option must be: a path kxhost can pass on unchanged.
/// Linux paths are bytes; kxhost takes them as UTF-8 so that what it
/// writes lands under the very name it was given.
std::string CheckPath(std::string& path)
{
    if (path.empty())
        return "the path is empty";
    if (!IsUtf8(path))
        return "the path is not valid UTF-8";
    return {};
}

std::string DefaultModulePath()
{
    const std::optional<std::string> folder = Platform::ExecutableFolder();
    if (!folder)
        return kDefaultModuleName;
    return *folder + Platform::kPathSeparator + kDefaultModuleName;
}

/// "unknown command WORD" when the first word that is no option (nor an
/// option's value) is none of the commands; the parser itself would only say
/// that a command is required.
std::optional<std::string> UnknownCommand(const CLI::App& app, const std::vector<std::string>& words)
{
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.starts_with("-")) {
            const CLI::Option* option = app.get_option_no_throw(word.substr(0, word.find('=')));
            if (option != nullptr && option->get_type_size() != 0 && word.find('=') == std::string::npos)
                ++i; // its value
            continue;
        }
        for (const CLI::App* command : app.get_subcommands({}))
            if (command->get_name() == word)
                return std::nullopt;
        std::string names;
        for (const CLI::App* command : app.get_subcommands({}))
            names += (names.empty() ? "" : ", ") + command->get_name();
        return "unknown command " + word + "; the commands are " + names;
    }
    return std::nullopt;
}

/// Standard output when it was closed at start: every write fails, so that
/// output nobody can receive shows as a failure, and only then.
class ClosedOutput : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

int Main(int argc, char** argv)
{
    static ClosedOutput closedOutput;
    if (Platform::Files::ProtectStandardStreams())
        std::cout.rdbuf(&closedOutput);
    // Host and module share TXString buffers, so both draw them from the
    // memory manager's main partition; set it before any string exists.
    SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));

    CLI::App app{kDescription, kProgram};
    app.footer(kFooter);
    app.set_version_flag("--version", std::string(kProgram) + " " + KXHOST_VERSION + " (drives plug-in modules of version " +
                                          std::to_string(kSupportedModuleVersion) + ")");
    app.require_subcommand(1);
    // Options may come after the command too.
    app.fallthrough();

    const CLI::Validator pathCheck(CheckPath, "", "PATH");
    SessionSettings settings;
    settings.modulePath = DefaultModulePath();
    app.add_option("--module", settings.modulePath,
                   "The plug-in module to load (default: " + std::string(kDefaultModuleName) + " beside kxhost)")
        ->type_name("PATH")
        ->check(pathCheck);

    bool verbose = false;
    bool quiet = false;
    app.add_option("--plugins", settings.plugins,
                   "The plug-ins folder that batches walk, with its subfolders (default: none, so a batch finds "
                   "no files)")
        ->type_name("DIR")
        ->check(pathCheck);
    CLI::Option* choose =
        app.add_option("--choose", settings.choose, "The folder the folder chooser answers (default: ask on the "
                                                    "terminal; with no terminal the choice is cancelled)")
            ->type_name("DIR")
            ->check(pathCheck);
    app.add_flag("--cancel", settings.cancel, "The folder chooser reports a cancelled dialog")->excludes(choose);
    app.add_option("--key", settings.keyFile,
                   "The key file of the encryption service (32 bytes). call creates it with a new random key when "
                   "it is missing; without --key every file is refused")
        ->type_name("FILE")
        ->check(pathCheck);
    app.add_option("--resources", settings.resources,
                   "A resource folder or .kxr archive of the resource store; its base name is the owner of its "
                   "locations (BulkSeal.kxr serves \"BulkSeal/...\"). May be given more than once")
        ->type_name("PATH")
        ->check(pathCheck)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--host-value", settings.hostValues,
                   "What the host answers for a host value: 7319=N, the 16-bit value dialog value classes read "
                   "(default 0)")
        ->type_name("SELECTOR=N")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--quiet", quiet, "No progress line during a batch");
    app.add_flag("--verbose", verbose, "Tell what the host's services do: files walked, encrypted and refused, "
                                       "resources looked up, host values set");

    bool json = false;
    CLI::App* routines = app.add_subcommand("routines", "List the module's routines, one per line: the signature, "
                                                        "category, version and description");
    routines->add_flag("--json", json,
                       "Print a JSON array of {name, category, description, version, returnsValue, extraFlag, "
                       "arguments: [{name, tag}]}; a routine that returns a value describes it in its last argument");

    std::string routineName;
    std::vector<std::string> arguments;
    CLI::App* call = app.add_subcommand("call", "Run a routine and print its result as 'result: <kind> <value>' "
                                                "when it returns a value");
    call->add_option("NAME", routineName, "The routine to run, as 'kxhost routines' lists it")->required();
    call->add_option("ARG", arguments, "The routine's arguments, in order");
    call->add_flag("--json", json, "Print the result as {\"tag\": N, \"value\": ...}, or null when the routine returns "
                                   "nothing");

    std::string sealedFile;
    std::string outPath;
    CLI::App* decrypt = app.add_subcommand("decrypt", "Check a file the encryption service sealed and write its "
                                                      "original bytes; a damaged file or the wrong key writes nothing");
    decrypt->add_option("FILE", sealedFile, "The sealed file")->required()->check(pathCheck);
    decrypt->add_option("--out", outPath,
                        "Where the original bytes go (default: standard output): a regular file is replaced whole, "
                        "a pipe or device written into")
        ->type_name("PATH")
        ->check(pathCheck);

    std::string location;
    std::optional<std::string> stringKey;
    CLI::App* strings = app.add_subcommand("strings", "Print the string KEY of the strings file at LOCATION, or every "
                                                      "key and value of the file in strings-file syntax");
    strings->add_option("LOCATION", location, "OWNER/PATH, as a plug-in asks for it; a last element ending in \" *\" "
                                              "matches the file whose name starts with what comes before the asterisk")
        ->required();
    strings->add_option("KEY", stringKey, "The key whose value to print");

    ValidateSettings validation;
    CLI::App* validate = app.add_subcommand(
        "validate", "Check the module as a plug-in: its exports, registration, routine table, every routine with "
                    "typical, edge and wrong values, its resources and its shutdown, each scenario in a child "
                    "process of its own; prints PASS, FAIL or WARN and a line per scenario");
    validate->add_flag("--json", validation.json, "Print the scenarios as a JSON array of {scenario, status, why}");
    validate->add_option("--scenario", validation.scenarios,
                         "Run only this scenario (exports, registration, table, routine:NAME, resources, shutdown); "
                         "may be given more than once")
        ->type_name("NAME")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    double seconds = 10;
    validate->add_option("--time-limit", seconds, "Seconds one scenario may take (default 10)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.1, 3600.0));
    // The scenario a child process runs; not for people.
    validate->add_option("--child", validation.child)->group("");

    // Parsed in UTF-8 on every platform, so that a path may hold any
    // character the file system allows.
    const std::vector<std::string> words = Platform::CommandLineArguments(argc, argv);
    std::vector<const char*> wordPointers;
    for (const std::string& word : words)
        wordPointers.push_back(word.c_str());
    try {
        app.parse(static_cast<int>(wordPointers.size()), wordPointers.data());
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0)
            return app.exit(error); // --help, --version
        Console::Note(UnknownCommand(app, words).value_or(error.what()));
        Platform::Files::WriteError(std::string("Run '") + kProgram + " --help' for usage.\n");
        return kExitUsage;
    }
    Console::Configure(verbose, quiet);

    if (decrypt->parsed()) {
        if (settings.keyFile.empty()) {
            Console::Note("decrypt needs the key the file was encrypted with: --key FILE");
            return kExitUsage;
        }
        return DecryptCommand(sealedFile, outPath, settings.keyFile);
    }
    if (strings->parsed())
        return StringsCommand(settings.resources, location, stringKey);
    if (routines->parsed())
        return RoutinesCommand(settings, json);
    if (validate->parsed()) {
        validation.modulePath = settings.modulePath;
        validation.resources = settings.resources;
        validation.timeLimit = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        return ValidateCommand(validation);
    }
    return CallCommand(settings, routineName, arguments, json);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Main(argc, argv);
    } catch (const std::exception& error) {
        Console::Note(std::string("internal error: ") + error.what());
    } catch (...) {
        Console::Note("internal error");
    }
    return kExitFailure;
}
