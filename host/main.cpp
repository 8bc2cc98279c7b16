// kxhost: the reference host for Calvera plug-in modules, on the command
// line.
//
//   kxhost [--module PATH] routines [--json]
//   kxhost [--module PATH] call NAME [ARG...] [--json]
//          [--plugins DIR] [--choose DIR | --cancel] [--key FILE] [--quiet] [--verbose]
//   kxhost decrypt FILE [--out PATH] --key FILE
//   kxhost [--resources PATH]... strings LOCATION [KEY]
//
// Loads a .kxl module as the CAD application does (host/Host.h), lists the
// routines of its script-function extension or runs one with real value
// records and real file services behind it (host/FileServices.h), and checks
// afterwards that the module gave back every reference it took. decrypt
// checks and opens a file the encryption service sealed; strings shows what
// the resource store serves for a location. Messages go to
// standard error, results to standard output.
#include "KXMM/KXMM.h"
#include "host/Console.h"
#include "host/FileServices.h"
#include "host/Host.h"
#include "host/ResourceStore.h"
#include "host/Sealing.h"
#include "host/Values.h"
#include "platform/Files.h"
#include "platform/Module.h"
#include "platform/System.h"
#include "strings/MainPartition.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cctype>
#include <functional>
#include <iostream>
#include <optional>
#include <type_traits>
#include <variant>
#include <string>
#include <vector>

namespace {

using namespace KxHost;
using Json = nlohmann::ordered_json;

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
    "  1  the routine or the host failed, the module did not give back every reference it took, decrypt\n"
    "     refused the file, or strings found no such file or key\n"
    "  2  usage error: unknown option or routine, wrong argument count or type\n"
    "  3  the module cannot be loaded or is not a plug-in (missing exports, another version)";

/// A usage error found after the command line parsed: it names the problem.
struct UsageError {
    std::string message;
};

void Complain(const std::string& message)
{
    std::cerr << kProgram << ": " << message << '\n';
}

std::string DefaultModulePath()
{
    const std::optional<std::string> folder = Platform::ExecutableFolder();
    if (!folder)
        return kDefaultModuleName;
    return *folder + Platform::kPathSeparator + kDefaultModuleName;
}

/// "name: type" for each call argument, comma-separated.
std::string ArgumentList(const RoutineInfo& routine)
{
    std::string list;
    for (std::size_t i = 0; i < routine.CallArgumentCount(); ++i) {
        const ArgumentInfo& slot = routine.slots[i];
        list += (i == 0 ? "" : ", ") + slot.name + ": " + TagName(slot.tag);
    }
    return list;
}

/// "Name(arg: type, ...) -> result: type", or "-> nothing".
std::string Signature(const RoutineInfo& routine)
{
    std::string text = routine.name + "(" + ArgumentList(routine) + ") -> ";
    if (!routine.returnsValue)
        return text + "nothing";
    if (const ArgumentInfo* result = routine.ResultSlot())
        return text + result->name + ": " + TagName(result->tag);
    return text + "a value";
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const RoutineInfo& FindRoutine(const std::vector<RoutineInfo>& routines, const std::string& name)
{
    for (const RoutineInfo& routine : routines)
        if (routine.name == name)
            return routine;
    std::string message = "unknown routine '" + name + "'";
    for (const RoutineInfo& routine : routines)
        if (Lower(routine.name) == Lower(name))
            throw UsageError{message + "; did you mean '" + routine.name + "'? Routine names are case-sensitive"};
    if (routines.empty())
        throw UsageError{message + "; the module offers no routines"};
    message += "; the module offers ";
    for (std::size_t i = 0; i < routines.size(); ++i)
        message += (i == 0 ? "" : ", ") + routines[i].name;
    throw UsageError{message + " (see 'kxhost routines')"};
}

void PrintRoutines(const std::vector<RoutineInfo>& routines, bool json)
{
    if (json) {
        Json list = Json::array();
        for (const RoutineInfo& routine : routines) {
            Json arguments = Json::array();
            for (const ArgumentInfo& slot : routine.slots)
                arguments.push_back({{"name", slot.name}, {"tag", slot.tag}});
            list.push_back({{"name", routine.name},
                            {"category", routine.category},
                            {"description", routine.description},
                            {"version", routine.version},
                            {"returnsValue", routine.returnsValue},
                            {"extraFlag", routine.extraFlag},
                            {"arguments", arguments}});
        }
        std::cout << list.dump(2) << '\n';
        return;
    }
    std::size_t width = 0;
    for (const RoutineInfo& routine : routines)
        width = std::max(width, Signature(routine).size());
    for (const RoutineInfo& routine : routines) {
        std::string signature = Signature(routine);
        signature.resize(width, ' ');
        std::cout << signature << "  [" << routine.category << ", version " << routine.version
                  << (routine.extraFlag ? ", extra flag" : "") << "]  " << routine.description << '\n';
    }
}

Json ResultJson(const ResultValue& result)
{
    Json value = nullptr;
    std::visit(
        [&value](const auto& v) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(v)>, std::monostate>)
                value = v;
        },
        result.value);
    return Json{{"tag", result.tag}, {"value", value}};
}

/// Runs `name` with `texts`; returns the result when the routine returns a
/// value. Throws UsageError for a call the routine's table does not allow.
std::optional<ResultValue> CallRoutine(ModuleSession& session, const std::string& name,
                                       const std::vector<std::string>& texts)
{
    const RoutineInfo& routine = FindRoutine(session.Routines(), name);
    const std::size_t expected = routine.CallArgumentCount();
    if (texts.size() != expected) {
        std::string message = routine.name + " takes " + std::to_string(expected) +
                              (expected == 1 ? " argument" : " arguments");
        if (expected != 0)
            message += " (" + ArgumentList(routine) + ")";
        throw UsageError{message + ", but " + std::to_string(texts.size()) + (texts.size() == 1 ? " was" : " were") +
                         " given"};
    }

    // The block lives only for the call: its texts are copied out before
    // the module goes.
    ValueBlock block;
    for (std::size_t i = 0; i < expected; ++i) {
        const ArgumentInfo& slot = routine.slots[i];
        const std::string problem = StoreArgument(block[i], slot.tag, texts[i]);
        if (!problem.empty()) {
            const std::string where =
                "argument " + std::to_string(i + 1) + " (" + slot.name + ") of " + routine.name + " ";
            if (KindOfTag(slot.tag) == ValueKind::Other)
                throw HostError(kExitFailure, where + problem);
            throw UsageError{where + problem};
        }
    }
    session.Execute(routine.index, block);
    if (!routine.returnsValue)
        return std::nullopt;
    return ReadResult(block[ZEDA::PluginSupport::kResultRecord]);
}

/// The command line's settings for the file services, checked.
struct FileSettings {
    std::string plugins;
    std::string choose;
    bool cancel = false;
    std::string keyFile;
    std::vector<std::string> resources;
    std::vector<std::string> hostValues; // "SELECTOR=VALUE"
};

/// The absolute path of the folder an option names. Throws UsageError when
/// it is not a folder.
std::string FolderOption(const char* option, const std::string& folder)
{
    if (Platform::Files::KindOf(folder) != Platform::Files::Kind::Folder)
        throw UsageError{std::string(option) + ": not a folder: " + folder};
    const std::optional<std::string> absolute = Platform::Files::AbsolutePath(folder);
    if (!absolute)
        throw UsageError{std::string(option) + ": cannot resolve " + folder + ": " + Platform::Files::LastError()};
    return *absolute;
}

/// Reads the key, creating a new key file when there is none.
SealKey LoadKey(const std::string& keyFile, bool createIfMissing)
{
    bool created = false;
    SealKey key = SealKey::FromFile(keyFile, createIfMissing, created);
    if (created)
        Complain("created a new key in " + keyFile +
                 "; keep it: only this key decrypts the files encrypted with it");
    return key;
}

HostOptions MakeHostOptions(const FileSettings& settings)
{
    HostOptions options;
    if (!settings.plugins.empty())
        options.pluginsFolder = FolderOption("--plugins", settings.plugins);
    if (settings.cancel) {
        options.choice = HostOptions::Choice::Cancel;
    } else if (!settings.choose.empty()) {
        options.choice = HostOptions::Choice::Folder;
        options.chosenFolder = FolderOption("--choose", settings.choose);
    }
    if (!settings.keyFile.empty())
        options.key = LoadKey(settings.keyFile, true);
    options.resources = settings.resources;
    for (const std::string& setting : settings.hostValues) {
        const std::size_t equals = setting.find('=');
        const std::string selector = setting.substr(0, equals);
        if (selector != std::to_string(Calvera::Extension::kHostValueDialogData))
            throw UsageError{"--host-value: kxhost answers only host value " +
                             std::to_string(Calvera::Extension::kHostValueDialogData) + ", not \"" + selector + "\""};
        const std::string value = equals == std::string::npos ? std::string() : setting.substr(equals + 1);
        std::int16_t number = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (value.empty() || error != std::errc() || end != value.data() + value.size())
            throw UsageError{"--host-value " + selector + " takes a 16-bit integer (-32768 to 32767), not \"" + value +
                             "\""};
        options.dialogData = number;
    }
    return options;
}

/// Runs `command` on an open session of the module, then closes it and
/// reports what did not balance.
int Run(const std::string& modulePath, const FileSettings& settings,
        const std::function<void(ModuleSession&)>& command)
{
    std::optional<ModuleSession> session;
    int code = kExitSuccess;
    try {
        session.emplace(MakeHostOptions(settings));
        session->Open(modulePath);
        command(*session);
    } catch (const HostError& error) {
        Complain(error.what());
        code = error.ExitCode();
    } catch (const UsageError& error) {
        Complain(error.message);
        code = kExitUsage;
    }
    if (!session)
        return code;
    // Whatever happened, the module is taken down the same way, and what
    // did not balance is reported.
    const std::vector<std::string> problems = session->Close();
    for (const std::string& problem : problems)
        Complain("warning: " + problem);
    if (!problems.empty() && code == kExitSuccess)
        code = kExitFailure;
    return code;
}

/// kxhost decrypt: checks `file` and writes its plaintext to `out`, or to
/// standard output when `out` is empty. Nothing is written unless the whole
/// file checks out.
int Decrypt(const std::string& file, const std::string& out, const std::string& keyFile)
{
    try {
        const SealKey key = LoadKey(keyFile, false);
        std::vector<unsigned char> plaintext;
        std::string reason;
        if (!OpenSealedFile(key, file, plaintext, reason)) {
            Complain("cannot decrypt " + file + ": " + reason);
            return kExitFailure;
        }
        if (out.empty()) {
            if (!Platform::Files::WriteStandardOutput(plaintext.data(), plaintext.size())) {
                Complain("cannot write to standard output: " + Platform::Files::LastError());
                return kExitFailure;
            }
            return kExitSuccess;
        }
        Platform::Files::Replacement output;
        if (!output.Begin(out) || !output.Output().Write(plaintext.data(), plaintext.size()) || !output.Commit()) {
            Complain("cannot write " + out + ": " + Platform::Files::LastError());
            return kExitFailure;
        }
        Console::Verbose("decrypted " + file + " into " + out);
        return kExitSuccess;
    } catch (const HostError& error) {
        Complain(error.what());
        return error.ExitCode();
    }
}

/// `value` as a strings-file value: quoted, with the escapes the parser
/// reads back.
std::string QuotedValue(const char16_t* value)
{
    std::string quoted = "\"";
    for (const char c : TXString(value).ToStdString()) {
        switch (c) {
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        default: quoted += c;
        }
    }
    return quoted + "\"";
}

/// kxhost strings: prints the value of `key` in the strings file at
/// `location`, or every key and value of the file when `key` is empty.
int PrintStrings(const std::vector<std::string>& resourcePaths, const std::string& location, const std::string& key,
                 bool hasKey)
{
    try {
        ResourceStore store;
        for (const std::string& path : resourcePaths)
            store.Add(path);
        const StringTable* table = store.Strings(location);
        if (table == nullptr) {
            Complain("no strings file at " + location + (Console::IsVerbose() ? "" : " (--verbose tells why)"));
            return kExitFailure;
        }
        if (hasKey) {
            const char16_t* value = table->Find(key);
            if (value == nullptr) {
                Complain("no key \"" + key + "\" in " + location);
                return kExitFailure;
            }
            std::cout << TXString(value).ToStdString() << '\n';
            return kExitSuccess;
        }
        for (const StringTable::Entry& entry : *table)
            std::cout << '"' << entry.key << "\" = " << QuotedValue(entry.value) << ";\n";
        return kExitSuccess;
    } catch (const HostError& error) {
        Complain(error.what());
        return error.ExitCode();
    }
}

int Main(int argc, char** argv)
{
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

    std::string modulePath = DefaultModulePath();
    app.add_option("--module", modulePath, "The plug-in module to load (default: " + std::string(kDefaultModuleName) +
                                               " beside kxhost)")
        ->type_name("PATH");

    FileSettings settings;
    bool verbose = false;
    bool quiet = false;
    app.add_option("--plugins", settings.plugins,
                   "The plug-ins folder that batches walk, with its subfolders (default: none, so a batch finds "
                   "no files)")
        ->type_name("DIR");
    CLI::Option* choose =
        app.add_option("--choose", settings.choose, "The folder the folder chooser answers (default: ask on the "
                                                    "terminal; with no terminal the choice is cancelled)")
            ->type_name("DIR");
    app.add_flag("--cancel", settings.cancel, "The folder chooser reports a cancelled dialog")->excludes(choose);
    app.add_option("--key", settings.keyFile,
                   "The key file of the encryption service (32 bytes). call creates it with a new random key when "
                   "it is missing; without --key every file is refused")
        ->type_name("FILE");
    app.add_option("--resources", settings.resources,
                   "A resource folder or .kxr archive of the resource store; its base name is the owner of its "
                   "locations (BulkSeal.kxr serves \"BulkSeal/...\"). May be given more than once")
        ->type_name("PATH")
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
    decrypt->add_option("FILE", sealedFile, "The sealed file")->required();
    decrypt->add_option("--out", outPath, "Where the original bytes go (default: standard output)")->type_name("PATH");

    std::string location;
    std::string stringKey;
    CLI::App* strings = app.add_subcommand("strings", "Print the string KEY of the strings file at LOCATION, or every "
                                                      "key and value of the file in strings-file syntax");
    strings->add_option("LOCATION", location, "OWNER/PATH, as a plug-in asks for it; a last element ending in \" *\" "
                                              "matches the file whose name starts with what comes before the asterisk")
        ->required();
    CLI::Option* keyOption = strings->add_option("KEY", stringKey, "The key whose value to print");

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
        Complain(error.what());
        std::cerr << "Run '" << kProgram << " --help' for usage.\n";
        return kExitUsage;
    }
    Console::Configure(verbose, quiet);

    if (decrypt->parsed()) {
        if (settings.keyFile.empty()) {
            Complain("decrypt needs the key the file was encrypted with: --key FILE");
            return kExitUsage;
        }
        return Decrypt(sealedFile, outPath, settings.keyFile);
    }
    if (strings->parsed())
        return PrintStrings(settings.resources, location, stringKey, keyOption->count() > 0);
    if (routines->parsed())
        return Run(modulePath, {}, [&](ModuleSession& session) { PrintRoutines(session.Routines(), json); });

    std::optional<ResultValue> result;
    const int code = Run(modulePath, settings,
                         [&](ModuleSession& session) { result = CallRoutine(session, routineName, arguments); });
    if (json && (code == kExitSuccess || (code == kExitFailure && result)))
        std::cout << (result ? ResultJson(*result) : Json(nullptr)).dump() << '\n';
    else if (result)
        std::cout << "result: " << FormatResult(*result) << '\n';
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Main(argc, argv);
    } catch (const std::exception& error) {
        Complain(std::string("internal error: ") + error.what());
    } catch (...) {
        Complain("internal error");
    }
    return kExitFailure;
}
