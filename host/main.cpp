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
#include "host/Text.h"
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
#include <streambuf>
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
    "  1  the routine or the host failed, a file or folder was refused (each is named), the module did not\n"
    "     give back every reference it took, another kxhost works in the same folder, decrypt refused the\n"
    "     file, strings found no such file or key, or standard output could not be written\n"
    "  2  usage error: unknown option or routine, wrong argument count or type, a path that is not UTF-8\n"
    "  3  the module cannot be loaded or is not a plug-in (missing exports, another version)";

/// A usage error found after the command line parsed: it names the problem.
struct UsageError {
    std::string message;
};

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
        Console::Note("created a new key in " + keyFile +
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
        Console::Note(error.what());
        code = error.ExitCode();
    } catch (const UsageError& error) {
        Console::Note(error.message);
        code = kExitUsage;
    }
    if (!session)
        return code;
    // Whatever happened, the module is taken down the same way, and what
    // did not balance is reported.
    const std::vector<std::string> problems = session->Close();
    for (const std::string& problem : problems)
        Console::Note("warning: " + problem);
    if (!problems.empty() && code == kExitSuccess)
        code = kExitFailure;
    if (const std::size_t failed = session->FileFailures(); failed > 0) {
        Console::Note(std::to_string(failed) + (failed == 1 ? " item was" : " items were") +
                 " refused or failed; each is named above");
        if (code == kExitSuccess)
            code = kExitFailure;
    }
    return code;
}

/// Standard output when it was closed at start: every write fails, so that
/// output nobody can receive shows as a failure, and only then.
class ClosedOutput : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

/// `code`, or a failure when what went to standard output could not be
/// written (a full disk, a closed stream): a result nobody received is no
/// success.
int CheckOutput(int code)
{
    std::cout.flush();
    if (std::cout)
        return code;
    Console::Note("cannot write to standard output");
    return code == kExitSuccess ? kExitFailure : code;
}

/// Checks the whole of `input` first and only then hands its plain text to
/// `sink`: for an output that cannot be taken back, such as a pipe.
bool OpenChecked(const SealKey& key, Platform::Files::File& input, const PlaintextSink& sink, std::string& reason)
{
    const std::optional<Platform::Files::Status> before = input.Status();
    if (!OpenSealed(key, input, {}, reason))
        return false;
    const std::optional<Platform::Files::Status> after = input.Status();
    if (!before || !after || !after->Unchanged(*before) || !input.Seek(0)) {
        reason = "the file changed while it was checked";
        return false;
    }
    return OpenSealed(key, input, sink, reason);
}

/// kxhost decrypt: checks `file` and writes its plaintext to `out`, or to
/// standard output when `out` is empty. Nothing unchecked is written: a
/// regular file at `out` (or none) is replaced only after the last chunk
/// checked out; a pipe, terminal or device gets the plain text after a
/// first pass checked the whole file. Memory stays the same whatever the
/// file's size.
int Decrypt(const std::string& file, const std::string& out, const std::string& keyFile)
{
    namespace Files = Platform::Files;
    try {
        const SealKey key = LoadKey(keyFile, false);
        Files::File input = Files::File::OpenForReading(file);
        if (!input.IsOpen()) {
            Console::Note("cannot decrypt " + file + ": cannot open it: " + Files::LastError());
            return kExitFailure;
        }
        std::string reason;
        bool opened = false;
        const Files::Kind kind = out.empty() ? Files::Kind::Other : Files::KindOf(out);
        if (out.empty()) {
            opened = OpenChecked(key, input, Files::WriteStandardOutput, reason);
        } else if (kind == Files::Kind::Folder) {
            Console::Note("--out: a folder stands at " + out);
            return kExitUsage;
        } else if (kind == Files::Kind::Other) {
            Files::File stream = Files::File::OpenStream(out);
            if (!stream.IsOpen()) {
                Console::Note("cannot write " + out + ": " + Files::LastError());
                return kExitFailure;
            }
            opened = OpenChecked(
                key, input, [&](const unsigned char* bytes, std::size_t size) { return stream.Write(bytes, size); },
                reason);
        } else {
            // A link is followed to the file it names, which is replaced; the
            // link itself stays. One that leads nowhere is not written
            // through.
            const std::optional<Files::Status> own = Files::StatusOf(out);
            if (own && own->kind == Files::Kind::Link && kind == Files::Kind::Missing) {
                Console::Note("cannot write " + out + ": a symbolic link that leads to no file, which kxhost does not "
                                                 "write through");
                return kExitFailure;
            }
            const std::string target = kind == Files::Kind::File ? Files::AbsolutePath(out).value_or(out) : out;
            const std::optional<Files::Status> existing =
                kind == Files::Kind::File ? Files::StatusOf(target) : std::nullopt;
            Files::Replacement output;
            if (!output.Begin(target) || (existing && !output.TakeAttributes(*existing))) {
                Console::Note("cannot write " + out + ": " + Files::LastError());
                return kExitFailure;
            }
            if (existing)
                output.RequireUnchanged(target, *existing);
            opened = OpenSealed(
                key, input,
                [&](const unsigned char* bytes, std::size_t size) { return output.Output().Write(bytes, size); },
                reason);
            if (opened && !output.Commit()) {
                Console::Note("cannot write " + out + ": " + Files::LastError());
                return kExitFailure;
            }
        }
        if (!opened) {
            Console::Note("cannot decrypt " + file + ": " + reason);
            return kExitFailure;
        }
        Console::Verbose("decrypted " + file + (out.empty() ? "" : " into " + out));
        return kExitSuccess;
    } catch (const HostError& error) {
        Console::Note(error.what());
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
            Console::Note("no strings file at " + location + (Console::IsVerbose() ? "" : " (--verbose tells why)"));
            return kExitFailure;
        }
        if (hasKey) {
            const char16_t* value = table->Find(key);
            if (value == nullptr) {
                Console::Note("no key \"" + key + "\" in " + location);
                return kExitFailure;
            }
            std::cout << TXString(value).ToStdString() << '\n';
            return kExitSuccess;
        }
        for (const StringTable::Entry& entry : *table)
            std::cout << '"' << entry.key << "\" = " << QuotedValue(entry.value) << ";\n";
        return kExitSuccess;
    } catch (const HostError& error) {
        Console::Note(error.what());
        return error.ExitCode();
    }
}

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
    std::string modulePath = DefaultModulePath();
    app.add_option("--module", modulePath, "The plug-in module to load (default: " + std::string(kDefaultModuleName) +
                                               " beside kxhost)")
        ->type_name("PATH")
        ->check(pathCheck);

    FileSettings settings;
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
        Console::Note(error.what());
        Platform::Files::WriteError(std::string("Run '") + kProgram + " --help' for usage.\n");
        return kExitUsage;
    }
    Console::Configure(verbose, quiet);

    if (decrypt->parsed()) {
        if (settings.keyFile.empty()) {
            Console::Note("decrypt needs the key the file was encrypted with: --key FILE");
            return kExitUsage;
        }
        return Decrypt(sealedFile, outPath, settings.keyFile);
    }
    if (strings->parsed())
        return CheckOutput(PrintStrings(settings.resources, location, stringKey, keyOption->count() > 0));
    if (routines->parsed())
        return CheckOutput(
            Run(modulePath, {}, [&](ModuleSession& session) { PrintRoutines(session.Routines(), json); }));

    std::optional<ResultValue> result;
    const int code = Run(modulePath, settings,
                         [&](ModuleSession& session) { result = CallRoutine(session, routineName, arguments); });
    if (json && (code == kExitSuccess || (code == kExitFailure && result)))
        std::cout << (result ? ResultJson(*result) : Json(nullptr)).dump() << '\n';
    else if (result)
        std::cout << "result: " << FormatResult(*result) << '\n';
    return CheckOutput(code);
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
