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

    /// Runs routine `index` on `block` in a session of its own, which must
    /// balance every reference; returns the number of items the host's
    /// services refused or failed on.
    static std::size_t Run(HostOptions options, std::uint32_t index, KxHost::ValueBlock& block)
    {
        KxHost::ModuleSession session(std::move(options));
        EXPECT_NO_THROW(session.Open(kModule));
        session.Execute(index, &block);
        EXPECT_EQ(session.Close(), std::vector<std::string>{});
        return session.FileFailures();
    }
    static std::size_t Run(HostOptions options, std::uint32_t index)
    {
        KxHost::ValueBlock block;
        return Run(std::move(options), index, block);
    }

    /// Opens the sealed file `path` with `with` into `plaintext`.
    static bool Open(const KxHost::SealKey& with, const fs::path& path, std::string& plaintext, std::string& reason)
    {
        Platform::Files::File input = Platform::Files::File::OpenForReading(Utf8(path));
        plaintext.clear();
        return KxHost::OpenSealed(
            with, input,
            [&](const unsigned char* bytes, std::size_t size) {
                plaintext.append(reinterpret_cast<const char*>(bytes), size);
                return true;
            },
            reason);
    }

    /// The plaintext of the sealed file `path`; fails the test when it does
    /// not open.
    std::string Unseal(const fs::path& path) const
    {
        std::string plaintext;
        std::string reason;
        EXPECT_TRUE(Open(key, path, plaintext, reason)) << Utf8(path) << ": " << reason;
        return plaintext;
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
    WriteBytes(plugins / "Tools" / ("Square.Cst" + std::string(Platform::Files::Replacement::kLeftoverSuffix)),
               "KXSEAL01, cut short");

    EXPECT_EQ(Run(Options(chosen), kEncryptAll), 0u);
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
        EXPECT_EQ(Run(Options({}), kEncryptOne, block), c.result ? 0u : 1u) << "a refusal counts as a failure";
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
    // Sealing a file with a second name would leave the plain text there.
    WriteBytes(plugins / "Linked.csm", "linked\n");
    fs::create_hard_link(plugins / "Linked.csm", plugins / "Linked.txt");
    // Not sealed, whatever its first bytes say.
    WriteBytes(plugins / "Fake.cso", "KXSEAL01 and then plain text\n");
    const auto before = Snapshot(plugins);

    EXPECT_EQ(Run(Options(chosen), kTestRun), 3u);
    EXPECT_EQ(ReadBytes(chosen / kLogName), "OK Big.cso\nOK COUNT.CSM\nOK Empty.csm\nFAIL Fake.cso\nFAIL Hello.csm\n"
                                            "FAIL Linked.csm\nOK Hello.csm\nOK Square.Cst\n");
    EXPECT_TRUE(fs::is_directory(chosen / "Hello.csm")) << "the folder in the way stays";
    EXPECT_EQ(Unseal(chosen / "Tools" / "Hello.csm"), originals["Tools/Hello.csm"]);

    EXPECT_EQ(Run(Options({}), kEncryptAll), 2u);
    const auto after = Snapshot(plugins);
    for (const char* name : {"Linked.csm", "Linked.txt", "Fake.cso"})
        EXPECT_EQ(after.at(name), before.at(name)) << name;
}

TEST_F(BatchEncryption, AChosenFolderInsideThePluginsFolderIsNotWalked)
{
    const fs::path inside = plugins / "Sealed";
    fs::create_directories(inside);
    EXPECT_EQ(Run(Options(inside), kTestRun), 0u);
    // The second run must not see the first one's output, whatever the
    // spelling of the folder.
    EXPECT_EQ(Run(Options(inside / ""), kTestRun), 0u);
    ExpectSealedScripts(inside, {{kLogName, kFullLog}});
}

// Entries another program may have planted, each beside the plug-ins
// folder's script files, all in one batch: the walk follows no link, leaves
// what is not its own, and seals every script file whole.
TEST_F(BatchEncryption, AWalkStaysInsideItsFolderAndLosesNothing)
{
    const fs::path outside = root / "outside.txt";
    WriteBytes(outside, "outside\n");
    const std::string longName = std::string(246, 'L') + ".csm"; // no room left for the temporary suffix
    const auto permissions = [](const fs::path& path) { return fs::status(path).permissions(); };
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::perms countPermissions{};
    const struct {
        const char* what;
        std::function<void()> plant;
        std::function<void()> check;
        bool refused;
    } rows[] = {
        {"a user's file that ends like a temporary one stays",
         [&] { WriteBytes(plugins / "design notes.~kxpart", "notes"); },
         [&] { EXPECT_EQ(ReadBytes(plugins / "design notes.~kxpart"), "notes"); }, false},
        {"a leftover of a killed run goes",
         [&] { WriteBytes(plugins / "Big.cso.~kxpart", "KXSEAL01, cut short"); },
         [&] { EXPECT_FALSE(fs::exists(plugins / "Big.cso.~kxpart")); }, false},
        {"a name too long for the temporary suffix seals",
         [&] { WriteBytes(plugins / longName, "long"); }, [&] { EXPECT_EQ(Unseal(plugins / longName), "long"); },
         false},
        {"a read-only file stays read-only",
         [&] {
             fs::permissions(plugins / "COUNT.CSM", readOnly);
             countPermissions = permissions(plugins / "COUNT.CSM");
         },
         [&] { EXPECT_EQ(permissions(plugins / "COUNT.CSM"), countPermissions); }, false},
#if !defined(_WIN32)
        {"a link planted at a temporary name is never written through",
         [&] { fs::create_symlink(outside, plugins / "Hello.csm.~kxpart"); },
         [&] {
             EXPECT_EQ(ReadBytes(outside), "outside\n");
             EXPECT_FALSE(fs::is_symlink(plugins / "Hello.csm"));
             EXPECT_FALSE(fs::exists(fs::symlink_status(plugins / "Hello.csm.~kxpart")));
         },
         true},
        {"a link to a file outside is not followed",
         [&] { fs::create_symlink(outside, plugins / "Link.csm"); },
         [&] { EXPECT_TRUE(fs::is_symlink(plugins / "Link.csm")); }, true},
        {"a broken link does not end the walk",
         [&] { fs::create_symlink(root / "none", plugins / "Broken.csm"); },
         [&] { EXPECT_TRUE(fs::is_symlink(plugins / "Broken.csm")); }, true},
        {"a link loop does not end the walk",
         [&] { fs::create_symlink(plugins / "Loop.csm", plugins / "Loop.csm"); },
         [&] { EXPECT_TRUE(fs::is_symlink(plugins / "Loop.csm")); }, true},
        {"a name that is not UTF-8 is not sealed under another", [&] { WriteBytes(plugins / "Bad\xFF.csm", "bad"); },
         [&] { EXPECT_EQ(ReadBytes(plugins / "Bad\xFF.csm"), "bad"); }, true},
        {"execute bits survive",
         [&] { fs::permissions(plugins / "Tools" / "Square.Cst", fs::perms::owner_all | fs::perms::group_read); },
         [&] {
             EXPECT_EQ(permissions(plugins / "Tools" / "Square.Cst"), fs::perms::owner_all | fs::perms::group_read);
         },
         false},
#endif
    };
    std::size_t refused = 0;
    for (const auto& row : rows) {
        row.plant();
        refused += row.refused ? 1 : 0;
    }
    EXPECT_EQ(Run(Options({}), kEncryptAll), refused);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        row.check();
    }
    for (const auto& [name, content] : originals) {
        if (IsScript(name)) {
            EXPECT_EQ(Unseal(plugins / name), content) << name;
        }
    }
    EXPECT_EQ(ReadBytes(outside), "outside\n");
}

// A file that changes after it was read and before its sealed form is put
// in place keeps the change: the sealed copy is dropped, and the file
// counts as failed.
TEST_F(BatchEncryption, AFileThatChangesWhileItIsSealedKeepsTheChange)
{
    struct Change {
        const char* name;
        std::function<void(const fs::path&)> make;
    };
    struct Walk {
        KxHost::FileServices* services;
        std::vector<Change> changes;
        fs::path plugins;
        std::map<std::string, std::string> changed;
    };
    KxHost::FileServices services(Options({}));
    Walk walk{&services,
              {
                  {"Hello.csm", [](const fs::path& p) { std::ofstream(p, std::ios::app | std::ios::binary) << "edit\n"; }},
                  {"COUNT.CSM", [](const fs::path& p) { fs::resize_file(p, 3); }},
                  {"Big.cso",
                   [](const fs::path& p) {
                       WriteBytes(fs::path(p) += ".new", "another file");
                       fs::rename(fs::path(p) += ".new", p);
                   }},
                  {"Empty.csm", [](const fs::path& p) { fs::create_hard_link(p, fs::path(p) += ".link"); }},
              },
              plugins,
              {}};
    const auto visit = [](void* context, const char* fullPath, const char*, const char*) noexcept {
        Walk& walk = *static_cast<Walk*>(context);
        const fs::path path = fs::u8path(fullPath);
        EXPECT_TRUE(walk.services->EncryptScriptFile(fullPath, ""));
        for (const Change& change : walk.changes) {
            if (path == walk.plugins / change.name) {
                change.make(path);
                walk.changed[change.name] = ReadBytes(path);
            }
        }
        return true;
    };
    EXPECT_EQ(services.WalkPluginsFolder(visit, &walk), 0);
    EXPECT_EQ(services.Failures(), walk.changes.size());
    ASSERT_EQ(walk.changed.size(), walk.changes.size());
    for (const auto& [name, content] : walk.changed)
        EXPECT_EQ(ReadBytes(plugins / name), content) << name;
    EXPECT_EQ(Unseal(plugins / "Tools" / "Square.Cst"), originals["Tools/Square.Cst"]);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(plugins))
        EXPECT_FALSE(Platform::Files::IsLeftover(Utf8(entry.path().filename()))) << entry.path();
}

// A key file the host creates is its owner's alone, on every system; one
// that others may read is refused.
TEST_F(BatchEncryption, AKeyFileIsItsOwnersAlone)
{
    const auto othersMayAccess = [](const fs::path& path) {
        return Platform::Files::File::OpenForReading(Utf8(path)).OthersMayAccess();
    };
    EXPECT_EQ(othersMayAccess(root / "seal.key"), false);
    WriteBytes(root / "shared.key", std::string(32, 'k'));
    ASSERT_EQ(othersMayAccess(root / "shared.key"), true);
    bool created = false;
    EXPECT_THROW(KxHost::SealKey::FromFile(Utf8(root / "shared.key"), false, created), KxHost::HostError);
}

TEST_F(BatchEncryption, FilesOfEverySizeRoundTripThroughSealingAndCopying)
{
    // Sizes at the edges of a chunk, of what is read at once (16 chunks) and
    // of what is written on a thread of its own and past the cache (4 MiB).
    constexpr std::size_t kChunk = 64 * 1024;
    constexpr std::size_t kSealedChunk = kChunk + 17;
    const std::size_t sizes[] = {0, 1, kChunk - 1, kChunk, kChunk + 1, 16 * kChunk, 16 * kChunk + 1,
                                 4 << 20, (4 << 20) + 16 * kChunk, (5 << 20) + 12345};
    std::mt19937 random(7);
    for (const std::size_t size : sizes) {
        SCOPED_TRACE(size);
        std::string plain(size, '\0');
        for (char& c : plain)
            c = static_cast<char>(random());
        const fs::path path = root / "sized.csm";
        WriteBytes(path, plain);
        Platform::Files::Replacement output;
        std::string reason;
        ASSERT_EQ(KxHost::SealFile(key, Utf8(path), Utf8(path), output, reason), KxHost::SealResult::Sealed) << reason;
        ASSERT_TRUE(output.Commit());
        const std::string sealed = ReadBytes(path);
        const std::size_t chunks = size == 0 ? 1 : (size + kChunk - 1) / kChunk;
        EXPECT_EQ(sealed.size(), 8 + 24 + size + 17 * chunks);
        EXPECT_EQ(Unseal(path), plain);

        // Into a file, as decrypt --out writes.
        {
            Platform::Files::File input = Platform::Files::File::OpenForReading(Utf8(path));
            Platform::Files::Replacement opened;
            ASSERT_TRUE(opened.Begin(Utf8(root / "opened.bin")));
            ASSERT_TRUE(KxHost::OpenSealed(key, input, opened.Output(), reason)) << reason;
            ASSERT_TRUE(opened.Commit());
            EXPECT_EQ(ReadBytes(root / "opened.bin"), plain);
        }
        // A sealed file is copied as it is.
        Platform::Files::Replacement copy;
        ASSERT_EQ(KxHost::SealFile(key, Utf8(path), Utf8(root / "copy.csm"), copy, reason),
                  KxHost::SealResult::AlreadySealed)
            << reason;
        ASSERT_TRUE(copy.Commit());
        EXPECT_EQ(ReadBytes(root / "copy.csm"), sealed);

        // Whatever follows the last chunk, and a late flipped byte, are
        // refused, also where the last chunk ends what is read at once.
        if (size == 16 * kChunk || size == (4 << 20) + 16 * kChunk) {
            std::string plaintext;
            WriteBytes(path, sealed + 'x');
            EXPECT_FALSE(Open(key, path, plaintext, reason));
            EXPECT_EQ(reason, "the file goes on after its last chunk");
            WriteBytes(path, Flip(sealed, sealed.size() - kSealedChunk - 5));
            EXPECT_FALSE(Open(key, path, plaintext, reason));
        }
    }
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
    std::string plaintext;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(sealedPath, c.damage(sealed));
        std::string reason;
        EXPECT_FALSE(Open(key, sealedPath, plaintext, reason));
        EXPECT_FALSE(reason.empty());
    }

    WriteBytes(sealedPath, sealed);
    EXPECT_EQ(Unseal(sealedPath), originals["Big.cso"]);
    bool created = false;
    const KxHost::SealKey other = KxHost::SealKey::FromFile(Utf8(root / "other.key"), true, created);
    std::string reason;
    EXPECT_FALSE(Open(other, sealedPath, plaintext, reason));
    EXPECT_TRUE(plaintext.empty());
}

} // namespace
