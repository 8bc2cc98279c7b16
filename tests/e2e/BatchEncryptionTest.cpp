// BulkSeal's three routines on real files: the real BulkSeal.kxl runs in
// kxhost's session, in process, with the host's real file services and
// encryption service behind it. Each run opens its own session, as each
// kxhost command does. Runs in every suite, Windows (under Wine) included,
// from the folder the module is built into.
#include "KXMM/KXMM.h"
#include "framework/ValueRecord.h"
#include "host/FileServices.h"
#include "host/Host.h"
#include "host/Sealing.h"
#include "platform/Files.h"
#include "strings/MainPartition.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace ZEDA::PluginSupport;
using KxHost::HostOptions;

constexpr char kModule[] = "./BulkSeal.kxl";
constexpr char kLogName[] = "__EncryptionResults.txt";

/// @name Routine indexes in BulkSeal's table
/// @{
constexpr std::uint32_t kEncryptAll = 0;
constexpr std::uint32_t kEncryptOne = 1;
constexpr std::uint32_t kTestRun = 2;
/// @}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

/// Every file under `folder`, by path relative to it (with '/'), with its
/// bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().lexically_relative(folder).generic_string()] = ReadBytes(entry.path());
    return files;
}

std::string Flip(std::string bytes, std::size_t at)
{
    bytes.at(at) = static_cast<char>(bytes.at(at) ^ 0x20);
    return bytes;
}

class BatchEncryption : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
        std::random_device random;
        root = fs::absolute(fs::temp_directory_path() / ("kx-batch-" + std::to_string(random()) + std::to_string(random())));
        plugins = root / "Plug-ins";
        chosen = root / "Chosen";
        fs::create_directories(chosen);

        std::mt19937 bytes(7);
        std::string big(200 * 1024, '\0'); // four chunks, the last one short
        for (char& c : big)
            c = static_cast<char>(bytes());
        originals = {
            {"Hello.csm", "PROCEDURE Hello; BEGIN AlrtDialog('Hello'); END; RUN(Hello);\n"},
            {"COUNT.CSM", "PROCEDURE Count; BEGIN END; RUN(Count);\n"},
            {"Empty.csm", ""},
            {"Big.cso", big},
            {"Tools/Square.Cst", "PROCEDURE Square; BEGIN Rect(0, 0, 1, 1); END; RUN(Square);\n"},
            {"Tools/Hello.csm", "{ the same name as the one above, another file }\n"},
            {"Draft.csmx", "not a script\n"},
            {"ReadMe.txt", "not a script\n"},
            {"LICENSE", "no extension\n"},
        };
        for (const auto& [name, content] : originals)
            WriteBytes(plugins / name, content);

        bool created = false;
        key = KxHost::SealKey::FromFile(Utf8(root / "seal.key"), true, created);
        ASSERT_TRUE(created);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    /// The options of a kxhost run with --plugins, --key and, unless
    /// `choose` is empty, --choose `choose` (else --cancel).
    HostOptions Options(const fs::path& choose) const
    {
        HostOptions options;
        options.pluginsFolder = Utf8(plugins);
        options.key = key;
        options.choice = choose.empty() ? HostOptions::Choice::Cancel : HostOptions::Choice::Folder;
        options.chosenFolder = choose.empty() ? std::string() : Utf8(choose);
        return options;
    }

    /// Runs routine `index` on `block` in a session of its own; the session
    /// must balance every reference.
    static void Run(HostOptions options, std::uint32_t index, KxHost::ValueBlock& block)
    {
        KxHost::ModuleSession session(std::move(options));
        ASSERT_NO_THROW(session.Open(kModule));
        session.Execute(index, block);
        EXPECT_EQ(session.Close(), std::vector<std::string>{});
    }
    static void Run(HostOptions options, std::uint32_t index)
    {
        KxHost::ValueBlock block;
        Run(std::move(options), index, block);
    }

    /// The plaintext of the sealed file `path`; fails the test when it does
    /// not open.
    std::string Unseal(const fs::path& path) const
    {
        std::vector<unsigned char> plaintext;
        std::string reason;
        EXPECT_TRUE(KxHost::OpenSealedFile(key, Utf8(path), plaintext, reason)) << Utf8(path) << ": " << reason;
        return std::string(plaintext.begin(), plaintext.end());
    }

    static bool IsScript(const std::string& name)
    {
        std::string extension = fs::path(name).extension().string();
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return extension == ".csm" || extension == ".cst" || extension == ".cso";
    }

    /// Checks that `folder` holds a sealed copy of every script file, at its
    /// relative path, and besides them only `others`.
    void ExpectSealedScripts(const fs::path& folder, const std::map<std::string, std::string>& others = {}) const
    {
        std::map<std::string, std::string> found = Snapshot(folder);
        for (const auto& [name, content] : originals) {
            if (!IsScript(name))
                continue;
            SCOPED_TRACE(name);
            ASSERT_EQ(found.count(name), 1u);
            EXPECT_EQ(found[name].compare(0, 8, "KXSEAL01"), 0);
            EXPECT_EQ(Unseal(folder / name), content);
            found.erase(name);
        }
        EXPECT_EQ(found, others);
    }

    fs::path root, plugins, chosen;
    std::map<std::string, std::string> originals;
    KxHost::SealKey key;
};

// The log lists the script files by name in the walk's order: sorted
// byte-wise, each folder's entries before the next, subfolders where their
// names fall.
constexpr char kFullLog[] = "OK Big.cso\nOK COUNT.CSM\nOK Empty.csm\nOK Hello.csm\n"
                            "OK Hello.csm\nOK Square.Cst\n";

TEST_F(BatchEncryption, ATestRunSealsExactlyTheScriptFilesIntoTheChosenFolder)
{
    WriteBytes(chosen / kLogName, "OK Stale.csm\n");
    Run(Options(chosen), kTestRun);

    EXPECT_EQ(Snapshot(plugins), originals) << "a test run leaves the plug-ins folder as it was";
    ExpectSealedScripts(chosen, {{kLogName, kFullLog}});
}

TEST_F(BatchEncryption, ACancelledChoiceChangesNothing)
{
    WriteBytes(chosen / kLogName, "OK Stale.csm\n");
    Run(Options({}), kTestRun);

    EXPECT_EQ(Snapshot(plugins), originals);
    EXPECT_EQ(Snapshot(chosen), (std::map<std::string, std::string>{{kLogName, "OK Stale.csm\n"}}));
}

TEST_F(BatchEncryption, EncryptAllPluginsSealsInPlaceAfterATestRunAndWritesNoLog)
{
    Run(Options(chosen), kTestRun);
    const auto afterTestRun = Snapshot(chosen);
    // A leftover of an interrupted run is cleared away, never reported.
    WriteBytes(plugins / "Tools" / ("Square.Cst" + std::string(Platform::Files::Replacement::kLeftoverSuffix)), "x");

    Run(Options(chosen), kEncryptAll);
    EXPECT_EQ(Snapshot(chosen), afterTestRun) << "EncryptAllPlugins writes into the plug-ins folder only";
    std::map<std::string, std::string> others;
    for (const auto& [name, content] : originals)
        if (!IsScript(name))
            others[name] = content;
    ExpectSealedScripts(plugins, others);

    // A second run finds every file sealed already and leaves it as it is.
    const auto sealed = Snapshot(plugins);
    Run(Options(chosen), kEncryptAll);
    EXPECT_EQ(Snapshot(plugins), sealed);
}

TEST_F(BatchEncryption, EncryptPluginSealsOneFileInPlace)
{
    const struct {
        const char* what;
        std::function<void(ValueRecord&)> argument;
        bool result;
        const char* sealedFile; // null: nothing changes
    } cases[] = {
        {"a script file", [&](ValueRecord& r) { KXPluginLibraryArgument(&r).SetString(TXString(Utf8(plugins / "Hello.csm"))); },
         true, "Hello.csm"},
        {"any other file", [&](ValueRecord& r) { KXPluginLibraryArgument(&r).SetString(TXString(Utf8(plugins / "ReadMe.txt"))); },
         true, "ReadMe.txt"},
        {"a boolean: an empty path", [](ValueRecord& r) { KXPluginLibraryArgument(&r).SetBool(true); }, false, nullptr},
        {"a missing file", [&](ValueRecord& r) { KXPluginLibraryArgument(&r).SetString(TXString(Utf8(plugins / "None.csm"))); },
         false, nullptr},
        {"a folder", [&](ValueRecord& r) { KXPluginLibraryArgument(&r).SetString(TXString(Utf8(plugins / "Tools"))); },
         false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto before = Snapshot(plugins);
        KxHost::ValueBlock block;
        c.argument(block[0]);
        Run(Options({}), kEncryptOne, block);
        EXPECT_EQ(block[kResultRecord].tag, kTagBool);
        EXPECT_EQ(KXPluginLibraryArgument(&block[kResultRecord]).GetBool(), c.result);
        auto expected = before;
        if (c.sealedFile != nullptr) {
            EXPECT_EQ(Unseal(plugins / c.sealedFile), before.at(c.sealedFile));
            expected[c.sealedFile] = ReadBytes(plugins / c.sealedFile);
        }
        EXPECT_EQ(Snapshot(plugins), expected);
    }
    // A routine index of -1, as an unsigned index, runs nothing.
    const auto before = Snapshot(plugins);
    Run(Options(chosen), static_cast<std::uint32_t>(-1));
    EXPECT_EQ(Snapshot(plugins), before);
    EXPECT_TRUE(fs::is_empty(chosen));
}

TEST_F(BatchEncryption, RefusedFilesAreLoggedAsFailuresAndTheBatchGoesOn)
{
    // A folder stands where the sealed copy of Hello.csm would go.
    fs::create_directories(chosen / "Hello.csm");
    std::string expectedLog = kFullLog;
    expectedLog.replace(expectedLog.find("OK Hello.csm"), 2, "FAIL");
#if !defined(_WIN32)
    // A script file that opens but cannot be read: reading this process
    // file at its start fails with an I/O error, for root too.
    fs::create_symlink("/proc/self/mem", plugins / "Unreadable.csm");
    expectedLog += "FAIL Unreadable.csm\n"; // after Tools: 'T' sorts before 'U'
#endif
    Run(Options(chosen), kTestRun);
    EXPECT_EQ(ReadBytes(chosen / kLogName), expectedLog);
    EXPECT_TRUE(fs::is_directory(chosen / "Hello.csm")) << "the folder in the way stays";
    EXPECT_EQ(Unseal(chosen / "Tools" / "Hello.csm"), originals["Tools/Hello.csm"]);
}

TEST_F(BatchEncryption, AChosenFolderInsideThePluginsFolderIsNotWalked)
{
    const fs::path inside = plugins / "Sealed";
    fs::create_directories(inside);
    Run(Options(inside), kTestRun);
    Run(Options(inside), kTestRun); // the second run must not see the first one's output
    ExpectSealedScripts(inside, {{kLogName, kFullLog}});
}

TEST_F(BatchEncryption, DamagedSealedFilesAndTheWrongKeyAreRefused)
{
    Run(Options(chosen), kTestRun);
    const fs::path sealedPath = chosen / "Big.cso";
    const std::string sealed = ReadBytes(sealedPath);
    constexpr std::size_t kHeader = 8 + 24;
    constexpr std::size_t kChunk = 64 * 1024 + 17;
    ASSERT_EQ(sealed.size(), kHeader + 3 * kChunk + (200 * 1024 - 3 * 64 * 1024) + 17);

    const struct {
        const char* what;
        std::function<std::string(std::string)> damage;
    } cases[] = {
        {"a flipped magic byte", [](std::string s) { return Flip(s, 0); }},
        {"a flipped header byte", [](std::string s) { return Flip(s, 10); }},
        {"a flipped byte in the first chunk", [](std::string s) { return Flip(s, kHeader + 5); }},
        {"a flipped tag byte of the last chunk", [](std::string s) { return Flip(s, s.size() - 1); }},
        {"cut inside a chunk", [](std::string s) { return s.substr(0, kHeader + kChunk + 100); }},
        {"cut after a whole chunk", [](std::string s) { return s.substr(0, kHeader + 2 * kChunk); }},
        {"cut inside the header", [](std::string s) { return s.substr(0, 20); }},
        {"two chunks swapped",
         [](std::string s) {
             return s.substr(0, kHeader) + s.substr(kHeader + kChunk, kChunk) + s.substr(kHeader, kChunk) +
                    s.substr(kHeader + 2 * kChunk);
         }},
        {"a chunk dropped", [](std::string s) { return s.erase(kHeader + kChunk, kChunk); }},
        {"a byte appended", [](std::string s) { return s + '\0'; }},
    };
    std::vector<unsigned char> plaintext;
    std::string reason;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(sealedPath, c.damage(sealed));
        EXPECT_FALSE(KxHost::OpenSealedFile(key, Utf8(sealedPath), plaintext, reason));
        EXPECT_TRUE(plaintext.empty());
        EXPECT_FALSE(reason.empty());
    }

    WriteBytes(sealedPath, sealed);
    EXPECT_EQ(Unseal(sealedPath), originals["Big.cso"]);
    bool created = false;
    const KxHost::SealKey other = KxHost::SealKey::FromFile(Utf8(root / "other.key"), true, created);
    EXPECT_FALSE(KxHost::OpenSealedFile(other, Utf8(sealedPath), plaintext, reason));
    EXPECT_TRUE(plaintext.empty());
}

} // namespace
