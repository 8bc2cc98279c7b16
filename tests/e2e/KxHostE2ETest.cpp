// End-to-end tests of kxhost: the built program loads the real BulkSeal.kxl
// (and a test module with typed routines) and the tests check what it
// prints, on which stream, and its exit code: the routine table as text and
// JSON, routine calls with converted arguments and printed results, every
// usage and loading error, and that each run ends with balanced reference
// counts (no warning on standard error).
//
// kxhost runs without a shell, the same way on every system. The cases that
// need a shell around it (redirections, pipes, ulimit, unshare, GNU time),
// symbolic links, FIFOs or names Windows cannot hold run on Linux only and
// say so on Windows.
#include "platform/Files.h"
#include "tests/e2e/ProgramRun.h"
#include "tests/e2e/ShellRun.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kHostVariable = "KX_KXHOST";
constexpr const char* kTestModuleVariable = "KX_TEST_MODULE";
constexpr const char* kOldModuleVariable = "KX_OLD_MODULE";
constexpr const char* kKxmmVariable = "KX_KXMM";
using E2E::Quote;
using E2E::ReadBytes;
using E2E::RunResult;
using E2E::Utf8;

#if !defined(_WIN32)
constexpr bool kLinux = true;
#else
constexpr bool kLinux = false;
#endif

// Exit codes and texts, spelled out independently of kxhost's sources.
constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;
constexpr int kNotAPlugin = 3;

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

/// Writes `bytes` to `path`, creating its folder.
void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

/// Writes a key file as its owner keeps one: readable by no one else (on
/// Windows an access list that grants its owner alone, which a file made
/// with std::ofstream does not have).
void WriteKey(const fs::path& path, char fill)
{
    const std::string key(32, fill);
    Platform::Files::File file = Platform::Files::File::CreatePrivate(Utf8(path));
    ASSERT_TRUE(file.IsOpen()) << path;
    ASSERT_TRUE(file.Write(key.data(), key.size())) << path;
}

/// Whether others than its owner may read or write the file at `path`.
std::optional<bool> OthersMayAccess(const fs::path& path)
{
    return Platform::Files::File::OpenForReading(Utf8(path)).OthersMayAccess();
}

class KxHostE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_ = Variable(kHostVariable);
        ASSERT_FALSE(host_.empty()) << kHostVariable << " is not set";
        std::random_device random;
        root_ = fs::temp_directory_path() / ("kxhost-e2e-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(root_);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    /// Runs kxhost with `arguments` in `root_`; a run that takes over a
    /// minute is stopped and fails the test. What it prints as text comes
    /// with Windows line breaks on Windows (std::cout in text mode); they are
    /// read as "\n" here. decrypt prints a file's own bytes, which are taken
    /// as they are.
    RunResult Run(const std::vector<std::string>& arguments) const
    {
        RunResult result = E2E::RunProgram(root_, host_, arguments);
        if (!kLinux && std::find(arguments.begin(), arguments.end(), "decrypt") == arguments.end()) {
            std::string text;
            for (std::size_t at = 0; at < result.out.size(); ++at) {
                if (result.out.compare(at, 2, "\r\n") != 0)
                    text += result.out[at];
            }
            result.out = std::move(text);
        }
        return result;
    }

    /// Runs the shell script `script` in `root_`, for redirections and
    /// limits of its own; `kxhost` in it stands for the program. Linux only.
    RunResult Sh(const std::string& script) const
    {
        constexpr std::string_view kName = "kxhost";
        std::string expanded;
        std::size_t from = 0;
        for (std::size_t at = script.find(kName); at != std::string::npos; at = script.find(kName, from)) {
            expanded.append(script, from, at - from).append(Quote(host_));
            from = at + kName.size();
        }
        expanded.append(script, from);
        return E2E::RunInShell(root_, "sh -c " + Quote(expanded));
    }

    /// The peak resident size, in KiB, of kxhost run with `arguments` in
    /// `root_`, its standard output discarded; it must succeed. GNU time
    /// measures it: a child forked from this (large) test process would
    /// count this process's memory as its own.
    long PeakKilobytes(const std::vector<std::string>& arguments) const
    {
        std::string command = "/usr/bin/time -f %M -o peak.txt kxhost";
        for (const std::string& argument : arguments)
            command.append(" ").append(Quote(argument));
        EXPECT_EQ(Sh(command + " >/dev/null").exitCode, kSuccess);
        const std::string peak = ReadBytes(root_ / "peak.txt");
        return peak.empty() ? 0 : std::stol(peak);
    }

    /// plugins/F<i>.csm in `root_`.
    fs::path Numbered(int i) const
    {
        return root_ / "plugins" / std::string("F").append(std::to_string(i)).append(".csm");
    }

    /// A run that must succeed with nothing on standard error: a warning
    /// there means a reference count did not balance.
    std::string RunClean(const std::vector<std::string>& arguments) const
    {
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, kSuccess) << result.err;
        EXPECT_EQ(result.err, "");
        return result.out;
    }

    std::string host_;
    fs::path root_;
};

// ---------------------------------------------------------------------------
// The routine table

TEST_F(KxHostE2E, RoutinesListsBulkSealsThreeRoutinesOnePerLine)
{
    const std::string expected =
        "EncryptAllPlugins() -> nothing                         [Utility, version 1900]  This will do batch "
        "encryption of all Calscript plug-ins in the Plug-ins folder.\n"
        "EncryptPlugin(fullPath: string) -> returnVal: boolean  [Utility, version 1900]  Encrypt one Calscript "
        "Plug-in file.\n"
        "TestEncryptPlugins() -> nothing                        [Utility, version 2300]  This will test do batch "
        "encryption of all Calscript plug-ins in the Plug-ins folder and put the reuslt in a test folder.\n";
    EXPECT_EQ(RunClean({"routines"}), expected);
    // The module option may come before or after the command.
    const std::string module = Utf8(fs::path(host_).parent_path() / "BulkSeal.kxl");
    EXPECT_EQ(RunClean({"--module", module, "routines"}), expected);
    EXPECT_EQ(RunClean({"routines", "--module", module}), expected);
}

TEST_F(KxHostE2E, RoutinesJsonDescribesEveryField)
{
    const nlohmann::json routines = nlohmann::json::parse(RunClean({"routines", "--json"}));
    const struct {
        const char* name;
        const char* description;
        int version;
        bool returnsValue;
        std::vector<std::pair<std::string, int>> arguments;
    } expected[] = {
        {"EncryptAllPlugins", "This will do batch encryption of all Calscript plug-ins in the Plug-ins folder.",
         1900, false, {}},
        {"EncryptPlugin", "Encrypt one Calscript Plug-in file.", 1900, true, {{"fullPath", 18}, {"returnVal", 16}}},
        {"TestEncryptPlugins",
         "This will test do batch encryption of all Calscript plug-ins in the Plug-ins folder and put the reuslt in "
         "a test folder.",
         2300, false, {}},
    };
    ASSERT_TRUE(routines.is_array());
    ASSERT_EQ(routines.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        const nlohmann::json& routine = routines[i];
        ASSERT_TRUE(routine.is_object());
        EXPECT_EQ(routine.size(), 7u) << routine.dump();
        EXPECT_EQ(routine.at("name"), expected[i].name);
        EXPECT_EQ(routine.at("category"), "Utility");
        EXPECT_EQ(routine.at("description"), expected[i].description);
        EXPECT_EQ(routine.at("version"), expected[i].version);
        EXPECT_EQ(routine.at("returnsValue"), expected[i].returnsValue);
        EXPECT_EQ(routine.at("extraFlag"), false);
        const nlohmann::json& arguments = routine.at("arguments");
        ASSERT_TRUE(arguments.is_array());
        ASSERT_EQ(arguments.size(), expected[i].arguments.size());
        for (std::size_t k = 0; k < arguments.size(); ++k) {
            EXPECT_EQ(arguments[k].at("name"), expected[i].arguments[k].first);
            EXPECT_EQ(arguments[k].at("tag"), expected[i].arguments[k].second);
        }
    }
}

// ---------------------------------------------------------------------------
// Calls

TEST_F(KxHostE2E, EncryptPluginPrintsWhetherTheHostEncryptedTheFile)
{
    // The host never writes the result record: its boolean tag comes from the
    // plug-in's handler, which passes on the encryption service's answer.
    std::ofstream(root_ / "x.csm") << "PROCEDURE X; BEGIN END; RUN(X);\n";
    std::ofstream(root_ / "y.csm") << "PROCEDURE Y; BEGIN END; RUN(Y);\n";
    WriteKey(root_ / "seal.key", 's');
    EXPECT_EQ(RunClean({"call", "EncryptPlugin", "x.csm", "--key", "seal.key"}), "result: boolean true\n");
    EXPECT_EQ(nlohmann::json::parse(RunClean({"call", "EncryptPlugin", "y.csm", "--json", "--key", "seal.key"})),
              nlohmann::json({{"tag", 16}, {"value", true}}));

    // A refusal is the routine's result, and the host's failure: one line
    // naming it (the system's reason after the colon, in the system's
    // words), then the count.
    const struct {
        std::vector<std::string> arguments;
        std::string line;
    } refusals[] = {
        {{"call", "EncryptPlugin", "missing.csm", "--key", "seal.key"}, "kxhost: cannot encrypt missing.csm: "},
        {{"call", "EncryptPlugin", "x.csm"},
         "kxhost: no key was given (--key FILE): the encryption service refuses every file\n"},
    };
    const std::string count = "kxhost: 1 item was refused or failed; each is named above\n";
    for (const auto& refusal : refusals) {
        const RunResult result = Run(refusal.arguments);
        EXPECT_EQ(result.exitCode, kFailure);
        EXPECT_EQ(result.out, "result: boolean false\n");
        const std::string first = result.err.substr(0, result.err.find('\n') + 1);
        EXPECT_TRUE(first.starts_with(refusal.line)) << result.err;
        EXPECT_FALSE(first.ends_with(": \n")) << "a reason follows the colon";
        EXPECT_EQ(result.err.substr(first.size()), count);
    }
}

TEST_F(KxHostE2E, AModuleInAFolderOfAnyNameLoads)
{
    const fs::path folder = root_ / u8"Plug-ins \u00FC\u6F22";
    fs::create_directories(folder);
    fs::copy_file(fs::path(host_).parent_path() / "BulkSeal.kxl", folder / "BulkSeal.kxl");
    const std::string output = RunClean({"--module", Utf8(folder / "BulkSeal.kxl"), "routines"});
    EXPECT_EQ(output.rfind("EncryptAllPlugins(", 0), 0u) << output;
}

TEST_F(KxHostE2E, RoutinesWithoutAValuePrintNothing)
{
    for (const char* routine : {"EncryptAllPlugins", "TestEncryptPlugins"}) {
        SCOPED_TRACE(routine);
        EXPECT_EQ(RunClean({"call", routine, "--cancel"}), "");
        EXPECT_EQ(RunClean({"call", routine, "--json", "--cancel"}), "null\n");
    }
}

TEST_F(KxHostE2E, ArgumentsAreConvertedByTheirTypeAndResultsPrintedByTheirKind)
{
    const std::string module = Variable(kTestModuleVariable);
    ASSERT_FALSE(module.empty());
    const struct {
        std::vector<std::string> call;
        const char* text;
        const char* json;
    } cases[] = {
        {{"Echo", "héllo wörld"}, "result: string héllo wörld\n", R"({"tag":18,"value":"héllo wörld"})"},
        {{"Echo", ""}, "result: string \n", R"({"tag":18,"value":""})"},
        {{"Not", "true"}, "result: boolean false\n", R"({"tag":16,"value":false})"},
        {{"Not", "false"}, "result: boolean true\n", R"({"tag":16,"value":true})"},
        {{"Add16", "-32768", "32767"}, "result: integer -1\n", R"({"tag":1,"value":-1})"},
        {{"Add16", "+2", "3"}, "result: integer 5\n", R"({"tag":1,"value":5})"},
        {{"Twice32", "-1073741824"}, "result: integer -2147483648\n", R"({"tag":3,"value":-2147483648})"},
        {{"Negate64", "9223372036854775807"}, "result: integer -9223372036854775807\n",
         R"({"tag":25,"value":-9223372036854775807})"},
        {{"Half", "5"}, "result: real 2.5\n", R"({"tag":5,"value":2.5})"},
        {{"Half", "-1e-300"}, "result: real -5e-301\n", R"({"tag":5,"value":-5e-301})"},
        {{"Silent"}, "", "null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call.front());
        std::vector<std::string> arguments{"--module", module, "call"};
        arguments.insert(arguments.end(), c.call.begin(), c.call.end());
        EXPECT_EQ(RunClean(arguments), c.text);
        arguments.push_back("--json");
        EXPECT_EQ(nlohmann::json::parse(RunClean(arguments)), nlohmann::json::parse(c.json));
    }
}

// ---------------------------------------------------------------------------
// Errors: exit code and a message naming the problem, nothing on standard
// output

TEST_F(KxHostE2E, EveryErrorHasItsExitCodeAndNamesTheProblem)
{
    const std::string testModule = Variable(kTestModuleVariable);
    const std::string oldModule = Variable(kOldModuleVariable);
    const std::string kxmm = Variable(kKxmmVariable);
    ASSERT_FALSE(testModule.empty());
    ASSERT_FALSE(oldModule.empty());
    ASSERT_FALSE(kxmm.empty());
    const std::string textFile = Utf8(root_ / "notes.kxl");
    WriteFile(root_ / "notes.kxl", "not a module\n");
    const std::string missing = Utf8(root_ / "missing.kxl");
    WriteFile(root_ / "short.key", "12345");
    // A file made as any other counts as shared on Windows too: its access
    // list comes from the folder's.
    WriteFile(root_ / "shared.key", std::string(32, 's'));
    fs::permissions(root_ / "shared.key", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    WriteKey(root_ / "seal.key", 's');
#if !defined(_WIN32)
    fs::create_symlink("none.key", root_ / "dangling.key");
    fs::create_symlink("loop.key", root_ / "loop.key");
    const std::string notUtf8 = "caf\xE9";
#endif

    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::vector<std::string> messageParts;
    } cases[] = {
        {{"--frobnicate", "routines"}, kUsage, {"--frobnicate"}},
        {{"routines", "--frobnicate"}, kUsage, {"--frobnicate"}},
        {{}, kUsage, {"subcommand is required"}},
        {{"call"}, kUsage, {"NAME is required"}},
        {{"call", "Decrypt"}, kUsage, {"unknown routine 'Decrypt'", "EncryptAllPlugins, EncryptPlugin, TestEncryptPlugins"}},
        {{"call", "encryptplugin", "x"}, kUsage, {"unknown routine 'encryptplugin'", "did you mean 'EncryptPlugin'"}},
        {{"call", "EncryptPlugin"}, kUsage, {"EncryptPlugin takes 1 argument (fullPath: string), but 0 were given"}},
        {{"call", "EncryptPlugin", "a", "b"}, kUsage, {"EncryptPlugin takes 1 argument", "but 2 were given"}},
        {{"call", "EncryptAllPlugins", "a"}, kUsage, {"EncryptAllPlugins takes 0 arguments, but 1 was given"}},
        {{"--module", testModule, "call", "Not", "maybe"}, kUsage,
         {"argument 1 (flag) of Not must be true or false, not \"maybe\""}},
        {{"--module", testModule, "call", "Not", "True"}, kUsage, {"must be true or false, not \"True\""}},
        {{"--module", testModule, "call", "Add16", "1", "32768"}, kUsage,
         {"argument 2 (b) of Add16 is out of range for a 16-bit integer (-32768 to 32767): 32768"}},
        {{"--module", testModule, "call", "Twice32", "12abc"}, kUsage, {"argument 1 (n) of Twice32 must be an integer, not \"12abc\""}},
        {{"--module", testModule, "call", "Twice32", "1.5"}, kUsage, {"must be an integer, not \"1.5\""}},
        {{"--module", testModule, "call", "Negate64", "9223372036854775808"}, kUsage, {"out of range for a 64-bit integer"}},
        {{"--module", testModule, "call", "Half", "half"}, kUsage, {"argument 1 (x) of Half must be a real number, not \"half\""}},
        {{"--module", testModule, "call", "Half", "inf"}, kUsage, {"must be a finite real number"}},
        {{"--module", testModule, "call", "Point", "1,2"}, kFailure, {"argument 1 (p) of Point", "cannot pass"}},
        {{"--module", missing, "routines"}, kNotAPlugin, {"cannot load the module " + missing}},
        {{"--module", textFile, "call", "EncryptPlugin", "x"}, kNotAPlugin, {"cannot load the module " + textFile}},
        {{"--module", kxmm, "routines"}, kNotAPlugin,
         {kxmm + " is not a plug-in module", "plugin_module_main", "plugin_module_ver", "plugin_module_deinit"}},
        {{"--module", oldModule, "routines"}, kNotAPlugin, {"plug-in module of version 3000", "drives version 3100"}},
        {{"call", "EncryptAllPlugins", "--plugins", missing}, kUsage, {"--plugins: not a folder: " + missing}},
        {{"call", "TestEncryptPlugins", "--choose", textFile}, kUsage, {"--choose: not a folder: " + textFile}},
        {{"call", "TestEncryptPlugins", "--choose", ".", "--cancel"}, kUsage, {"--choose excludes --cancel"}},
        {{"call", "EncryptAllPlugins", "--key", "short.key"}, kFailure,
         {"the key file short.key holds 5 bytes; a key file holds exactly 32"}},
        {{"decrypt", textFile}, kUsage, {"decrypt needs the key the file was encrypted with: --key FILE"}},
        {{"decrypt", textFile, "--key", "none.key"}, kFailure, {"cannot read the key file none.key"}},
        // Paths are passed on unchanged, so they must not be empty.
        {{"call", "EncryptAllPlugins", "--key", ""}, kUsage, {"--key: the path is empty"}},
        {{"decrypt", textFile, "--key", "seal.key", "--out", "."}, kUsage, {"--out: a folder stands at ."}},
        {{"call", "TestEncryptPlugins", "--plugins", ".", "--choose", "./"}, kUsage,
         {"is the plug-ins folder; a test run needs another folder"}},
        {{"call", "EncryptAllPlugins", "--key", "shared.key"}, kFailure,
         {"the key file shared.key can be read by others than its owner", "chmod 600 shared.key"}},
#if !defined(_WIN32)
        // Nor may they be anything but UTF-8; a Windows command line, in
        // UTF-16, cannot carry such bytes at all.
        {{"call", "EncryptAllPlugins", "--plugins", notUtf8}, kUsage, {"--plugins: the path is not valid UTF-8"}},
        {{"call", "TestEncryptPlugins", "--choose", notUtf8}, kUsage, {"--choose: the path is not valid UTF-8"}},
        {{"call", "EncryptAllPlugins", "--key", notUtf8}, kUsage, {"--key: the path is not valid UTF-8"}},
        {{"--resources", notUtf8, "strings", "x/y"}, kUsage, {"--resources: the path is not valid UTF-8"}},
        {{"--module", notUtf8, "routines"}, kUsage, {"--module: the path is not valid UTF-8"}},
        {{"decrypt", textFile, "--key", "seal.key", "--out", notUtf8}, kUsage, {"--out: the path is not valid UTF-8"}},
        {{"--module", testModule, "call", "Echo", notUtf8}, kUsage, {"argument 1 (text) of Echo must be valid UTF-8"}},
        {{"call", "EncryptAllPlugins", "--key", "dangling.key"}, kFailure,
         {"the key file dangling.key is a symbolic link that leads to no file"}},
        {{"call", "EncryptAllPlugins", "--key", "loop.key"}, kFailure,
         {"the key file loop.key is a symbolic link that leads to no file"}},
#endif
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const std::string& argument : c.arguments)
            trace += argument + " ";
        SCOPED_TRACE(trace);
        const RunResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("kxhost: ", 0), 0u) << result.err;
        for (const std::string& part : c.messageParts)
            EXPECT_NE(result.err.find(part), std::string::npos) << "missing \"" << part << "\" in: " << result.err;
        // The module is taken down cleanly after a usage error too.
        EXPECT_EQ(result.err.find("warning"), std::string::npos) << result.err;
    }
}

TEST_F(KxHostE2E, HelpAndVersionGoToStandardOutput)
{
    const std::string help = RunClean({"--help"});
    for (const char* part : {"Usage: kxhost", "--module PATH", "routines", "call", "decrypt", "--plugins DIR",
                             "--choose DIR", "--key FILE", "Exit codes:"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
    EXPECT_NE(RunClean({"call", "--help"}).find("NAME"), std::string::npos);
    EXPECT_EQ(RunClean({"--version"}).rfind("kxhost ", 0), 0u);
}

// ---------------------------------------------------------------------------
// Reference-count balance

TEST_F(KxHostE2E, AReferenceTheModuleKeepsIsReportedAndFailsTheRun)
{
    const RunResult result = Run({"--module", Variable(kTestModuleVariable), "call", "KeepApplication"});
    EXPECT_EQ(result.exitCode, kFailure);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "kxhost: warning: the module kept 1 reference to the host application\n");
}

// ---------------------------------------------------------------------------
// Encryption from the command line

TEST_F(KxHostE2E, AMissingKeyFileIsCreatedOnceForItsOwnerOnly)
{
    WriteFile(root_ / "plugins" / "A.csm", "PROCEDURE A; BEGIN END; RUN(A);\n");
    const std::vector<std::string> call = {"call", "EncryptAllPlugins", "--plugins", "plugins", "--key", "new.key"};
    RunResult result = Run(call);
    EXPECT_EQ(result.exitCode, kSuccess);
    EXPECT_EQ(result.err, "kxhost: created a new key in new.key; keep it: only this key decrypts the files encrypted "
                          "with it\n");
    EXPECT_EQ(fs::file_size(root_ / "new.key"), 32u);
    EXPECT_EQ(OthersMayAccess(root_ / "new.key"), std::optional<bool>(false));
    if (kLinux) {
        EXPECT_EQ(fs::status(root_ / "new.key").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
    const std::string key = ReadBytes(root_ / "new.key");
    EXPECT_EQ(RunClean(call), "");
    EXPECT_EQ(ReadBytes(root_ / "new.key"), key) << "an existing key is used, never replaced";
    EXPECT_EQ(RunClean({"decrypt", "plugins/A.csm", "--key", "new.key"}), "PROCEDURE A; BEGIN END; RUN(A);\n");
}

TEST_F(KxHostE2E, DecryptWritesNothingUnlessTheWholeFileChecksOut)
{
    std::string original(150 * 1024, 'x'); // three chunks
    for (std::size_t i = 0; i < original.size(); i += 97)
        original[i] = static_cast<char>(i / 97);
    WriteFile(root_ / "plugins" / "Big.csm", original);
    WriteKey(root_ / "seal.key", 's');
    RunClean({"call", "EncryptAllPlugins", "--plugins", "plugins", "--key", "seal.key", "--quiet"});
    const std::string sealed = ReadBytes(root_ / "plugins" / "Big.csm");
    ASSERT_EQ(sealed.rfind("KXSEAL01", 0), 0u);
    WriteKey(root_ / "other.key", 'k');

    EXPECT_EQ(RunClean({"decrypt", "plugins/Big.csm", "--key", "seal.key"}), original);
    EXPECT_EQ(RunClean({"decrypt", "plugins/Big.csm", "--key", "seal.key", "--out", "Big.back"}), "");
    EXPECT_EQ(ReadBytes(root_ / "Big.back"), original);

    constexpr std::size_t kChunk = 8 + 24 + 64 * 1024 + 17; // magic, header, first chunk
    const struct {
        const char* what;
        std::string bytes;
        const char* key;
        const char* message;
    } cases[] = {
        {"a flipped byte", sealed.substr(0, 100) + static_cast<char>(sealed[100] ^ 1) + sealed.substr(101), "seal.key",
         "altered, cut short or reordered, or sealed with another key"},
        {"cut short", sealed.substr(0, kChunk), "seal.key", "cut short"},
        {"chunks swapped", sealed.substr(0, 32) + sealed.substr(kChunk, kChunk - 32) + sealed.substr(32, kChunk - 32) +
                               sealed.substr(2 * kChunk - 32), "seal.key", "reordered"},
        {"the wrong key", sealed, "other.key", "sealed with another key"},
        {"not sealed", original, "seal.key", "not a sealed file: it does not start with KXSEAL01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(root_ / "damaged.csm", c.bytes);
        for (const std::vector<std::string>& out : {std::vector<std::string>{}, {"--out", "damaged.back"}}) {
            std::vector<std::string> arguments = {"decrypt", "damaged.csm", "--key", c.key};
            arguments.insert(arguments.end(), out.begin(), out.end());
            const RunResult result = Run(arguments);
            EXPECT_EQ(result.exitCode, kFailure);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err.rfind("kxhost: cannot decrypt damaged.csm: ", 0), 0u) << result.err;
            EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
            EXPECT_FALSE(fs::exists(root_ / "damaged.back"));
        }
    }
}

// A batch killed at a random point, again and again: every script file is
// either as it was or sealed whole, and the next full run leaves no
// temporary file behind.
TEST_F(KxHostE2E, AKilledBatchLeavesEveryFileWholeAndNoLeftovers)
{
    constexpr int kFiles = 120;
    std::mt19937 random(2026);
    std::vector<std::string> originals;
    for (int i = 0; i < kFiles; ++i) {
        std::string content(64 * 1024, '\0');
        for (char& c : content)
            c = static_cast<char>('a' + random() % 26);
        originals.push_back(content);
    }
    const auto path = [&](int i) {
        return root_ / "plugins" / std::string("Sub").append(std::to_string(i % 3)) /
               std::string("F").append(std::to_string(i)).append(".csm");
    };
    for (int i = 0; i < kFiles; ++i)
        WriteFile(path(i), originals[i]);
    const std::vector<std::string> batch = {"call", "EncryptAllPlugins", "--plugins", "plugins", "--key", "seal.key",
                                            "--quiet"};
    WriteKey(root_ / "seal.key", 's');

    // A 64 KiB file seals into the magic, the stream header and one final
    // chunk with its tag; anything else would be a partial file.
    constexpr std::size_t kSealedSize = 8 + 24 + 64 * 1024 + 17;
    int interrupted = 0;
    for (int round = 0; round < 8; ++round) {
        // Each round starts a fresh batch; what a killed round left behind
        // besides the files stays for the next run to deal with.
        for (int i = 0; i < kFiles; ++i) {
            if (ReadBytes(path(i)) != originals[i])
                WriteFile(path(i), originals[i]);
        }
        // Kill points spread over the run, from before the first file to
        // after the last: the run's time limit kills it as SIGKILL or
        // TerminateJobObject would.
        const std::chrono::milliseconds limit(5 + random() % 150);
        const Platform::ChildResult run = Platform::RunChild(host_, batch, limit, Utf8(root_));
        EXPECT_TRUE(run.end == Platform::ChildResult::End::TimedOut || run.Succeeded())
            << Platform::DescribeEnd(run) << "\n" << run.err;
        interrupted += run.end == Platform::ChildResult::End::TimedOut ? 1 : 0;
        int sealed = -1;
        for (int i = 0; i < kFiles; ++i) {
            const std::string bytes = ReadBytes(path(i));
            if (bytes == originals[i])
                continue;
            SCOPED_TRACE("round " + std::to_string(round) + ", file " + std::to_string(i));
            ASSERT_EQ(bytes.rfind("KXSEAL01", 0), 0u);
            ASSERT_EQ(bytes.size(), kSealedSize);
            sealed = i;
        }
        // Sealed whole, too: the last one sealed opens to the original.
        if (sealed >= 0) {
            EXPECT_EQ(Run({"decrypt", Utf8(path(sealed)), "--key", "seal.key"}).out, originals[sealed]);
        }
    }
    RecordProperty("interrupted", interrupted);

    EXPECT_EQ(RunClean({"call", "EncryptAllPlugins", "--plugins", "plugins", "--key", "seal.key", "--quiet"}), "");
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root_ / "plugins"))
        EXPECT_EQ(entry.path().string().find(".~"), std::string::npos) << entry.path();
    for (int i = 0; i < kFiles; ++i)
        ASSERT_EQ(ReadBytes(path(i)).rfind("KXSEAL01", 0), 0u) << i;
}

// ---------------------------------------------------------------------------
// Hostile and careless input: what kxhost writes, where, and what it answers

TEST_F(KxHostE2E, OutputThatCannotBeWrittenFailsTheRun)
{
    if (!kLinux)
        GTEST_SKIP() << "needs a shell to point standard output at /dev/full or close it";
    WriteKey(root_ / "seal.key", 's');
    WriteFile(root_ / "x.csm", "x\n");
    RunClean({"call", "EncryptPlugin", "x.csm", "--key", "seal.key"});
    const std::string module = Quote(Variable(kTestModuleVariable));
    const std::string resources = Quote(Variable("KX_SAMPLE_RESOURCES"));
    for (const std::string& command : std::vector<std::string>{
             "kxhost routines", "kxhost --module " + module + " call Echo hello",
          "kxhost --resources " + resources + " strings 'SdkSample/Strings/12000 *' 5",
          "kxhost decrypt x.csm --key seal.key"}) {
        for (const char* redirect : {" >/dev/full", " >&-"}) {
            SCOPED_TRACE(command + redirect);
            const RunResult result = Sh(command + redirect);
            EXPECT_EQ(result.exitCode, kFailure);
            EXPECT_NE(result.err.find("cannot write"), std::string::npos) << result.err;
        }
    }
    // Nothing to write is no failure.
    EXPECT_EQ(Sh("kxhost --module " + module + " call Silent >&-").exitCode, kSuccess);
}

// Where decrypt --out writes: a regular file is replaced whole, a pipe or
// device written into, and a link is never replaced by a file nor written
// through to nowhere.
TEST_F(KxHostE2E, DecryptWritesWhereOutLeadsAndNeverReplacesALink)
{
    if (!kLinux)
        GTEST_SKIP() << "needs FIFOs, symbolic links, permission bits and a shell to pipe through";
    WriteKey(root_ / "seal.key", 's');
    WriteFile(root_ / "x.csm", "plain text\n");
    RunClean({"call", "EncryptPlugin", "x.csm", "--key", "seal.key"});
    WriteFile(root_ / "outside", "outside\n");
    const auto isLink = [&](const char* name) { return fs::is_symlink(root_ / name); };
    const struct {
        const char* what;
        std::function<void()> plant;
        std::string script;
        int exitCode;
        std::function<void(const RunResult&)> check;
    } rows[] = {
        {"a pipe is written into", [&] { ASSERT_EQ(E2E::RunInShell(root_, "mkfifo fifo").exitCode, 0); },
         "cat fifo >got & kxhost decrypt x.csm --key seal.key --out fifo; wait", kSuccess,
         [&](const RunResult&) {
             EXPECT_EQ(ReadBytes(root_ / "got"), "plain text\n");
             EXPECT_EQ(fs::status(root_ / "fifo").type(), fs::file_type::fifo);
         }},
        {"a link to standard output writes there", [&] { fs::create_symlink("/dev/stdout", root_ / "stdout"); },
         "kxhost decrypt x.csm --key seal.key --out stdout | cat", kSuccess,
         [&](const RunResult& result) {
             EXPECT_EQ(result.out, "plain text\n");
             EXPECT_TRUE(isLink("stdout"));
         }},
        {"a link to a file replaces the file and stays a link",
         [&] {
             WriteFile(root_ / "real", "old\n");
             fs::create_symlink("real", root_ / "link");
         },
         "kxhost decrypt x.csm --key seal.key --out link", kSuccess,
         [&](const RunResult&) {
             EXPECT_TRUE(isLink("link"));
             EXPECT_EQ(ReadBytes(root_ / "real"), "plain text\n");
         }},
        {"a link to nowhere is not written through", [&] { fs::create_symlink("nowhere", root_ / "dangling"); },
         "kxhost decrypt x.csm --key seal.key --out dangling", kFailure,
         [&](const RunResult& result) {
             EXPECT_TRUE(isLink("dangling"));
             EXPECT_FALSE(fs::exists(root_ / "nowhere"));
             EXPECT_NE(result.err.find("a symbolic link that leads to no file"), std::string::npos) << result.err;
         }},
        {"a link planted at the temporary name is not written through",
         [&] { fs::create_symlink("outside", root_ / "back.~kxpart"); },
         "kxhost decrypt x.csm --key seal.key --out back", kSuccess,
         [&](const RunResult&) {
             EXPECT_EQ(ReadBytes(root_ / "outside"), "outside\n");
             EXPECT_FALSE(isLink("back"));
             EXPECT_EQ(ReadBytes(root_ / "back"), "plain text\n");
         }},
        {"a replaced file keeps its permission bits",
         [&] {
             WriteFile(root_ / "kept", "old\n");
             fs::permissions(root_ / "kept", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         },
         "kxhost decrypt x.csm --key seal.key --out kept", kSuccess,
         [&](const RunResult&) {
             EXPECT_EQ(fs::status(root_ / "kept").permissions(),
                       fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        row.plant();
        const RunResult result = Sh(row.script);
        EXPECT_EQ(result.exitCode, row.exitCode) << result.err;
        row.check(result);
    }
}

TEST_F(KxHostE2E, DecryptRunsInConstantMemory)
{
    if (!kLinux)
        GTEST_SKIP() << "measures the peak memory with GNU time, through a shell";
    constexpr std::size_t kBytes = 256 << 20;
    WriteKey(root_ / "seal.key", 's');
    ASSERT_EQ(Sh("head -c " + std::to_string(kBytes) + " /dev/zero >big.csm").exitCode, 0);
    RunClean({"call", "EncryptPlugin", "big.csm", "--key", "seal.key", "--quiet"});
    EXPECT_EQ(Sh("kxhost decrypt big.csm --key seal.key | wc -c").out, std::to_string(kBytes) + "\n");
    // The plain text alone would be 256 MiB.
    for (const std::vector<std::string>& out : {std::vector<std::string>{}, {"--out", "big.back"}}) {
        std::vector<std::string> arguments = {"decrypt", "big.csm", "--key", "seal.key"};
        arguments.insert(arguments.end(), out.begin(), out.end());
        EXPECT_LT(PeakKilobytes(arguments), 64 * 1024) << (out.empty() ? "to standard output" : "to a file");
    }
    EXPECT_EQ(fs::file_size(root_ / "big.back"), kBytes);
}

// A second run on a folder a run is working in says so and touches nothing;
// the test holds the claim a run would hold.
TEST_F(KxHostE2E, ASecondRunOnTheSameFolderChangesNothing)
{
    WriteKey(root_ / "seal.key", 's');
    WriteFile(root_ / "plugins" / "A.csm", "a\n");
    WriteFile(root_ / "chosen" / "__EncryptionResults.txt", "OK earlier.csm\n");
    for (const char* held : {"plugins", "chosen"}) {
        SCOPED_TRACE(held);
        Platform::Files::FolderLock lock;
        ASSERT_EQ(lock.Acquire((root_ / held).string()), Platform::Files::FolderLock::Result::Held);
        const RunResult result =
            Run({"call", "TestEncryptPlugins", "--plugins", "plugins", "--choose", "chosen", "--key", "seal.key"});
        EXPECT_EQ(result.exitCode, kFailure);
        EXPECT_NE(result.err.find("another kxhost run is working in"), std::string::npos) << result.err;
        EXPECT_EQ(ReadBytes(root_ / "chosen" / "__EncryptionResults.txt"), "OK earlier.csm\n");
        EXPECT_EQ(ReadBytes(root_ / "plugins" / "A.csm"), "a\n");
    }
}

// Two runs on one folder, the second started and killed at random moments,
// round after round: every file is always its original or its whole sealed
// form.
TEST_F(KxHostE2E, TwoRunsKilledAtRandomLoseNothing)
{
    constexpr int kFiles = 60;
    constexpr int kRounds = 30;
    WriteKey(root_ / "seal.key", 's');
    std::mt19937 random(16);
    std::vector<std::string> originals;
    for (int i = 0; i < kFiles; ++i) {
        std::string content(64 * 1024 + i, '\0');
        for (char& c : content)
            c = static_cast<char>('a' + random() % 26);
        originals.push_back(content);
        WriteFile(Numbered(i), content);
    }
    const std::vector<std::string> batch = {"call", "EncryptAllPlugins", "--plugins", "plugins", "--key", "seal.key",
                                            "--quiet"};
    using End = Platform::ChildResult::End;
    // A run that finds the folder claimed by the other exits with 1.
    const auto exited = [](const Platform::ChildResult& run) {
        return run.end == End::Exited && (run.code == kSuccess || run.code == kFailure);
    };
    for (int round = 0; round < kRounds; ++round) {
        // The first run goes to its end; the second starts up to 60 ms later
        // and is killed within 120 ms of its start.
        const std::chrono::milliseconds delay(random() % 60);
        const std::chrono::milliseconds limit(random() % 120);
        Platform::ChildResult first;
        std::thread firstRun([&] { first = Platform::RunChild(host_, batch, E2E::kRunLimit, Utf8(root_)); });
        std::this_thread::sleep_for(delay);
        const Platform::ChildResult second = Platform::RunChild(host_, batch, limit, Utf8(root_));
        firstRun.join();
        EXPECT_TRUE(exited(first)) << Platform::DescribeEnd(first) << "\n" << first.err;
        EXPECT_TRUE(exited(second) || second.end == End::TimedOut) << Platform::DescribeEnd(second) << "\n"
                                                                   << second.err;
        // A partial file shows in its size; the content of one sealed file
        // a round is checked whole.
        bool opened = false;
        for (int i = 0; i < kFiles; ++i) {
            const fs::path path = Numbered(i);
            const std::string bytes = ReadBytes(path);
            if (bytes == originals[i])
                continue;
            SCOPED_TRACE("round " + std::to_string(round) + ", file " + std::to_string(i));
            const std::size_t chunks = (originals[i].size() + 65535) / 65536;
            ASSERT_EQ(bytes.size(), 8 + 24 + originals[i].size() + 17 * chunks);
            if (!std::exchange(opened, true)) {
                ASSERT_EQ(Run({"decrypt", Utf8(path), "--key", "seal.key"}).out, originals[i]);
            }
            WriteFile(path, originals[i]); // plain again for the next round
        }
    }
    RunClean({"call", "EncryptAllPlugins", "--plugins", "plugins", "--key", "seal.key", "--quiet"});
    for (const fs::directory_entry& entry : fs::directory_iterator(root_ / "plugins"))
        EXPECT_EQ(entry.path().string().find(".~"), std::string::npos) << entry.path();
}

TEST_F(KxHostE2E, ABatchDoesNotRunOutOfFileDescriptors)
{
    if (!kLinux)
        GTEST_SKIP() << "limits the open files with the shell's ulimit";
    constexpr int kFiles = 300;
    WriteKey(root_ / "seal.key", 's');
    for (int i = 0; i < kFiles; ++i)
        WriteFile(Numbered(i), std::to_string(i));
    const RunResult result = Sh("ulimit -n 64 && kxhost call EncryptAllPlugins --plugins plugins --key seal.key");
    EXPECT_EQ(result.exitCode, kSuccess) << result.err;
    for (int i = 0; i < kFiles; ++i)
        ASSERT_EQ(ReadBytes(Numbered(i)).rfind("KXSEAL01", 0), 0u) << i;
}

// What a walk refuses is told, escaped, and fails the run; the rest is
// sealed.
TEST_F(KxHostE2E, AWalkTellsEachRefusalAndFailsTheRun)
{
    if (!kLinux)
        GTEST_SKIP() << "needs symbolic links and file names with control characters";
    WriteKey(root_ / "seal.key", 's');
    WriteFile(root_ / "plugins" / "A.csm", "a\n");
    fs::create_symlink("A.csm", root_ / "plugins" / "\x1B]0;title\x07.csm");
    const RunResult result = Run({"call", "EncryptAllPlugins", "--plugins", "plugins", "--key", "seal.key"});
    EXPECT_EQ(result.exitCode, kFailure);
    EXPECT_EQ(result.err.find('\x1B'), std::string::npos) << "no control character reaches the terminal";
    EXPECT_NE(result.err.find("not following the symbolic link"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\\x1B]0;title\\x07.csm"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("1 item was refused or failed"), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(root_ / "plugins" / "A.csm").rfind("KXSEAL01", 0), 0u);

    // A test run's log has one line per file, whatever its name holds, and
    // is never written through a link.
    WriteFile(root_ / "lines" / "x\nOK forged.csm", "x\n");
    const std::vector<std::string> testRun = {"call", "TestEncryptPlugins", "--plugins", "lines", "--choose", "chosen",
                                              "--key", "seal.key"};
    fs::create_directories(root_ / "chosen");
    EXPECT_EQ(Run(testRun).exitCode, kSuccess);
    EXPECT_EQ(ReadBytes(root_ / "chosen" / "__EncryptionResults.txt"), "OK x\\x0AOK forged.csm\n");
    fs::remove(root_ / "chosen" / "__EncryptionResults.txt");
    fs::create_symlink("../outside.log", root_ / "chosen" / "__EncryptionResults.txt");
    EXPECT_EQ(Run(testRun).exitCode, kFailure);
    EXPECT_FALSE(fs::exists(root_ / "outside.log"));
}

// A module that starts a walk from inside a walk gets a refusal for the inner
// one; the outer one's files are all sealed.
TEST_F(KxHostE2E, AWalkStartedInsideAWalkIsRefused)
{
    WriteKey(root_ / "seal.key", 's');
    WriteFile(root_ / "plugins2" / "B.csm", "b\n");
    WriteFile(root_ / "plugins2" / "C.csm", "c\n");
    const RunResult nested = Run({"--module", Variable(kTestModuleVariable), "call", "WalkTwice", "--plugins",
                                  "plugins2", "--key", "seal.key"});
    EXPECT_EQ(nested.exitCode, kFailure);
    EXPECT_EQ(nested.out, "result: integer 1\n") << "the inner walk answers failure";
    EXPECT_NE(nested.err.find("the inner walk is refused"), std::string::npos) << nested.err;
    for (const char* name : {"B.csm", "C.csm"})
        EXPECT_EQ(Run({"decrypt", "plugins2/" + std::string(name), "--key", "seal.key"}).exitCode, kSuccess) << name;
}

// An unreadable subfolder is skipped and told, the rest sealed. Needs a
// user without the right to read it: the test makes one with a user
// namespace, or says why it cannot.
TEST_F(KxHostE2E, AnUnreadableFolderIsSkippedAndFailsTheRun)
{
    if (!kLinux)
        GTEST_SKIP() << "needs a user namespace (unshare) to run as a user who cannot read the folder";
    if (E2E::RunInShell(root_, "unshare -U true").exitCode != 0)
        GTEST_SKIP() << "no user namespace here to run as a user who cannot read the folder";
    WriteKey(root_ / "seal.key", 's');
    WriteFile(root_ / "plugins" / "A.csm", "a\n");
    WriteFile(root_ / "plugins" / "Locked" / "B.csm", "b\n");
    WriteFile(root_ / "plugins" / "Open" / "C.csm", "c\n");
    // Its owner runs kxhost, without the rights that let root read anything.
    fs::permissions(root_ / "plugins" / "Locked", fs::perms::none);
    const RunResult result = Sh("unshare -U kxhost call EncryptAllPlugins --plugins plugins --key seal.key");
    fs::permissions(root_ / "plugins" / "Locked", fs::perms::all);
    EXPECT_EQ(result.exitCode, kFailure);
    EXPECT_NE(result.err.find("cannot read the folder"), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(root_ / "plugins" / "Locked" / "B.csm"), "b\n");
    for (const char* name : {"A.csm", "Open/C.csm"})
        EXPECT_EQ(ReadBytes(root_ / "plugins" / name).rfind("KXSEAL01", 0), 0u) << name;
}

// ---------------------------------------------------------------------------
// The SDK sample: buildkxr packs its resources, kxhost serves them

TEST_F(KxHostE2E, TheSdkSampleReadsWhatBuildkxrPacked)
{
    const std::string module = Variable("KX_SAMPLE_MODULE");
    const std::string resources = Variable("KX_SAMPLE_RESOURCES");
    ASSERT_FALSE(module.empty());
    ASSERT_FALSE(resources.empty());
    if (kLinux) {
        const RunResult packed = E2E::RunProgram(
            root_, Variable("KX_BUILDKXR"), {},
            {{"KXR_INPUT", resources}, {"KXR_OUTPUT", "SdkSample.kxr"}, {"KXR_MODE", "Release"}});
        ASSERT_EQ(packed.exitCode, kSuccess) << packed.out;
    } else {
        // buildkxr packs with 7-Zip, which Wine has no Windows program of;
        // the build packed the same folder beside the module with the build
        // machine's buildkxr.
        fs::copy_file(fs::path(module).parent_path() / "SdkSample.kxr", root_ / "SdkSample.kxr");
    }

    const std::vector<std::string> sample = {"--module", module, "--resources", "SdkSample.kxr"};
    const auto call = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), sample.begin(), sample.end());
        return Run(arguments);
    };
    const struct {
        std::vector<std::string> arguments;
        const char* out;
    } cases[] = {
        {{"call", "Message", "2"}, "result: string Line one\nLine two\t(tabbed)\n"},
        {{"call", "Message", "3"}, "result: string Quotes: \"quoted\" and a backslash: \\\n"},
        {{"call", "Message", "4"}, "result: string R\u00E9sum\u00E9 \u2013 \u00DCbersicht \u2013 \u65E5\u672C\u8A9E\n"},
        {{"call", "Greeting", "Ada", "3"}, "result: string Hello, Ada! You have 3 new messages.\n"},
        {{"--host-value", "7319=42", "call", "DialogData"}, "result: integer 42\n"},
        {{"strings", "SdkSample/Strings/12000 *", "5"}, "Copyright \u00A9 2026, 45\u00B0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        const RunResult result = call(c.arguments);
        EXPECT_EQ(result.exitCode, kSuccess) << result.err;
        EXPECT_EQ(result.out, c.out);
    }

    // The screen refresh goes off once and on once, however deep the guards.
    const RunResult named = call({"call", "NameColor", "255", "0", "0", "--verbose"});
    EXPECT_EQ(named.out, "result: string red\n");
    const auto count = [&](const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = named.err.find(text); at != std::string::npos; at = named.err.find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("screen refresh off"), 1u) << named.err;
    EXPECT_EQ(count("screen refresh on"), 1u) << named.err;
    EXPECT_LT(named.err.find("screen refresh off"), named.err.find("screen refresh on"));

    // A missing string is empty, and --verbose says where the host looked.
    const RunResult missing = call({"call", "Message", "99", "--verbose"});
    EXPECT_EQ(missing.out, "result: string \n");
    EXPECT_NE(missing.err.find("no key \"99\" in SdkSample/Strings/12000 *"), std::string::npos) << missing.err;
}

} // namespace
