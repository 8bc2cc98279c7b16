// kxhost's resource store on real folders and archives: the same resource
// folder served as a folder and as a ZIP archive (written here with libzip,
// compressed as 7-Zip compresses), location matching, misses that never
// crash, hostile locations, links and archives that stay misses, and the
// resource handles the application object hands out. Runs in every suite,
// Windows (under Wine) included; where links cannot be made, their rows are
// skipped.
//
// This program's allocation operators refuse any block larger than the
// largest resource file, so a lookup that allocates what an archive merely
// declares fails with std::bad_alloc instead of taking the memory.
#include "KXMM/KXMM.h"
#include "host/Host.h"
#include "host/HostApplication.h"
#include "host/ResourceStore.h"
#include "strings/MainPartition.h"
#include "strings/TXString.h"
#include "tests/e2e/StringsFiles.h"

#include <zip.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

void* BoundedNew(std::size_t size)
{
    void* block = size <= KxHost::ResourceStore::kMaxFileBytes ? std::malloc(size == 0 ? 1 : size) : nullptr;
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

} // namespace

// Every form is replaced, so each block comes from malloc and goes back to
// free (the sanitizers check the pairs).
void* operator new(std::size_t size)
{
    return BoundedNew(size);
}

void* operator new[](std::size_t size)
{
    return BoundedNew(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return BoundedNew(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace {

namespace fs = std::filesystem;

using namespace std::string_literals;
using E2E::Utf16File;

std::string Utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

/// The files of the test's resource folder, by path inside it.
const std::map<std::string, std::string>& Files()
{
    static const std::map<std::string, std::string> files = {
        {"Strings/120 Messages.kxstrings",
         Utf16File(u"// messages\r\n\"1\" = \"Item \" \"%d of %d\";\r\n\"2\" = \"line\\none\";\r\n"
                          u"\"3\" = \"R\u00E9sum\u00E9 \\x2013 \u00DCbersicht\";\r\n\"1\" = \"Item %d of %d\";\r\n")},
        {"Strings/12 Short.kxstrings", Utf16File(u"\"1\" = \"twelve\";")},
        {"Strings/HelpText.kxstrings", Utf16File(u"\"7\" = \"Help seven\";")},
        {"Strings/Help/100 Tooltips.kxstrings", Utf16File(u"\"tip\" = \"A tip\";")},
        {"Strings/130 Broken.kxstrings", Utf16File(u"\"1\" = \"no end")},
        {"DialogLayout/128 Choose.kxdialog", "<dialog id=\"128\"/>\n"},
        {"Empty.bin", ""},
    };
    return files;
}

/// A strings file outside the resource folder, beside it.
const std::string kOutsideFile = "Outside/12 Secret.kxstrings";
const std::string kSecret = Utf16File(u"\"1\" = \"outside\";");

/// Paths that could lead out of a source, or name a file by a second
/// spelling. The folder's own resolve to the secret or to a file inside; the
/// archive holds an entry of each name (a pattern's with the secret's name),
/// so only the check of the location refuses them there.
const std::vector<std::string>& Escapes()
{
    static const std::vector<std::string> paths = {
        "../" + kOutsideFile,
        "Strings/../../Outside/12 *",
        "..\\Outside\\12 Secret.kxstrings", // Windows' separator
        "/" + kOutsideFile,
        "Strings/./120 Messages.kxstrings",
        "Strings//120 Messages.kxstrings",
        "Strings/120 Messages.kxstrings\0/../x"s, // the system sees what comes before the NUL
        "Strings/120 Messages.kxstrings::$DATA",  // the file's stream on Windows
    };
    return paths;
}

void Put(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
}

/// A ZIP archive of one entry written byte by byte, so that it may lie: the
/// entry `name` holds `data` in one stored deflate block (deflate, so that
/// libzip learns its length only at its end) and declares `declared` bytes,
/// in a zip64 field with `zip64`.
std::string HandMadeArchive(const std::string& name, const std::string& data, std::uint64_t declared, bool zip64)
{
    std::string deflated = "\x01"; // the last block, stored
    Put(deflated, data.size(), 2);
    Put(deflated, ~data.size(), 2);
    deflated += data;
    std::string extra;
    if (zip64) {
        Put(extra, 1, 2);
        Put(extra, 16, 2);
        Put(extra, declared, 8);
        Put(extra, deflated.size(), 8);
    }
    const auto header = [&](std::uint32_t signature, bool central) {
        std::string h;
        Put(h, signature, 4);
        if (central)
            Put(h, 45, 2); // version made by
        Put(h, 45, 2); // version needed
        Put(h, 0, 2);  // flags
        Put(h, Z_DEFLATED, 2);
        Put(h, 0, 4); // time and date
        Put(h, crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())), 4);
        Put(h, zip64 ? 0xFFFFFFFF : deflated.size(), 4);
        Put(h, zip64 ? 0xFFFFFFFF : declared, 4);
        Put(h, name.size(), 2);
        Put(h, extra.size(), 2);
        if (central) {
            Put(h, 0, 2); // comment
            Put(h, 0, 2); // disk
            Put(h, 0, 2); // internal attributes
            Put(h, 0, 4); // external attributes
            Put(h, 0, 4); // the local header's offset
        }
        return h + name + extra;
    };
    const std::string local = header(0x04034B50, false) + deflated;
    const std::string central = header(0x02014B50, true);
    std::string end;
    Put(end, 0x06054B50, 4);
    Put(end, 0, 4); // disks
    Put(end, 1, 2); // entries here
    Put(end, 1, 2); // entries in all
    Put(end, central.size(), 4);
    Put(end, local.size(), 4);
    Put(end, 0, 2); // comment
    return local + central + end;
}

/// The hand-made archives by owner: the entry's data, and what it declares.
const std::string kHandMadeEntry = "Strings/1 Hand.kxstrings";
const std::string kHandMadeData = Utf16File(u"\"1\" = \"hand-made\";");
const struct {
    const char* owner;
    std::uint64_t declared;
    bool zip64;
} kHandMade[] = {
    {"Truthful", kHandMadeData.size(), false},
    {"Oversized", 0x60000000, false}, // 1.5 GiB
    {"Huge", std::uint64_t{1} << 44, true},
    {"Shorter", kHandMadeData.size() + 2, false},
    {"Longer", kHandMadeData.size() - 2, false},
};

class ResourceStoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
        std::random_device random;
        root = fs::temp_directory_path() / ("kx-resources-" + std::to_string(random()) + std::to_string(random()));
        for (const auto& [name, bytes] : Files()) {
            fs::create_directories((root / "Sample" / name).parent_path());
            std::ofstream(root / "Sample" / name, std::ios::binary) << bytes;
        }
        fs::create_directories((root / kOutsideFile).parent_path());
        std::ofstream(root / kOutsideFile, std::ios::binary) << kSecret;
        WriteArchive(root / "Packed.kxr");
        std::ofstream(root / "Damaged.kxr", std::ios::binary) << "PK\x03\x04 not really an archive";
        for (const auto& archive : kHandMade)
            std::ofstream(root / (archive.owner + std::string(".kxr")), std::ios::binary)
                << HandMadeArchive(kHandMadeEntry, kHandMadeData, archive.declared, archive.zip64);
        MakeLinks();
    }

    /// Links inside the folder, to a file inside it, to the secret and to
    /// the secret's folder, and one the user names for the folder itself;
    /// where they cannot be made (the Windows build's std::filesystem makes
    /// none), linkFailure says why.
    static void MakeLinks()
    {
        std::error_code error;
        fs::create_symlink("120 Messages.kxstrings", root / "Sample/Strings/14 Alias.kxstrings", error);
        if (!error)
            fs::create_symlink("../../" + kOutsideFile, root / "Sample/Strings/15 Out.kxstrings", error);
        if (!error)
            fs::create_directory_symlink("../Outside", root / "Sample/Linked", error);
        if (!error)
            fs::create_directory_symlink("Sample", root / "Alias", error);
        if (error)
            linkFailure = "cannot make links here: " + error.message();
    }

    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    static void WriteArchive(const fs::path& path)
    {
        int error = 0;
        zip_t* zip = zip_open(Utf8(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(zip, nullptr);
        for (const auto& [name, bytes] : Files()) {
            zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
            const zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
            ASSERT_GE(index, 0);
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
        }
        for (const std::string& escape : Escapes()) {
            if (escape.find('\0') != std::string::npos)
                continue; // the name would end there: the entry is the real one
            const std::string name = escape.ends_with(" *") ? escape.substr(0, escape.size() - 1) + "Secret.kxstrings"
                                                            : escape;
            zip_source_t* source = zip_source_buffer(zip, kSecret.data(), kSecret.size(), 0);
            ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0) << name;
        }
        ASSERT_EQ(zip_close(zip), 0);
    }

    static void AddSources(KxHost::ResourceStore& store)
    {
        for (const char* source : {"Sample", "Packed.kxr", "Damaged.kxr"})
            store.Add(Utf8(root / source));
    }

    struct Row {
        std::string location;
        const char16_t* value; // of key "1"; null: a miss
        bool read;             // ReadFile serves the file
    };

    /// Looks each row's location up with FindString and ReadFile.
    static void ExpectRows(KxHost::ResourceStore& store, const std::vector<Row>& rows)
    {
        const auto shown = [](const char16_t* value) { return std::u16string(value != nullptr ? value : u"(none)"); };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.location);
            try {
                EXPECT_EQ(shown(store.FindString(row.location, "1")), shown(row.value));
                std::vector<char> bytes;
                EXPECT_EQ(store.ReadFile(row.location, bytes), row.read);
            } catch (const std::bad_alloc&) {
                ADD_FAILURE() << "allocated more than the largest resource file";
            }
        }
    }

    static fs::path root;
    static std::string linkFailure;
};

fs::path ResourceStoreTest::root;
std::string ResourceStoreTest::linkFailure;

TEST_F(ResourceStoreTest, FoldersAndArchivesServeTheSameStrings)
{
    const struct {
        const char* location;
        const char* key;
        const char16_t* value; // null: a miss
    } cases[] = {
        {"Strings/120 *", "1", u"Item %d of %d"}, // the last of a repeated key
        {"Strings/120 *", "2", u"line\none"},
        {"Strings/120 *", "3", u"R\u00E9sum\u00E9 \u2013 \u00DCbersicht"},
        {"Strings/120 Messages.kxstrings", "1", u"Item %d of %d"},
        {"Strings/12 *", "1", u"twelve"}, // "12 " is no prefix of "120 Messages"
        {"Strings/Help/100 *", "tip", u"A tip"},
        {"Strings/HelpText.kxstrings", "7", u"Help seven"},
        {"Strings/120 *", "9", nullptr},
        {"Strings/1 *", "1", nullptr},
        {"Strings/120", "1", nullptr},
        {"Strings/130 *", "1", nullptr}, // does not parse
        {"Strings/Missing.kxstrings", "1", nullptr},
    };
    KxHost::ResourceStore store;
    AddSources(store);
    for (const char* owner : {"Sample/", "Packed/"}) {
        for (const auto& c : cases) {
            const std::string location = owner + std::string(c.location);
            SCOPED_TRACE(location + " " + c.key);
            const char16_t* value = store.FindString(location, c.key);
            if (c.value == nullptr)
                EXPECT_EQ(value, nullptr);
            else
                EXPECT_EQ(value != nullptr ? std::u16string(value) : std::u16string(u"(none)"), c.value);
        }
    }
    // Neither a damaged archive nor an unknown owner is anything but a miss.
    EXPECT_EQ(store.FindString("Damaged/Strings/120 *", "1"), nullptr);
    EXPECT_EQ(store.FindString("Nobody/Strings/120 *", "1"), nullptr);
    EXPECT_EQ(store.FindString("Sample", "1"), nullptr);
    std::vector<char> bytes;
    EXPECT_FALSE(store.ReadFile("Damaged/Empty.bin", bytes));
}

TEST_F(ResourceStoreTest, HostileLocationsAndArchivesAreMisses)
{
    std::vector<Row> rows;
    for (const char* owner : {"Sample/", "Packed/"})
        for (const std::string& escape : Escapes())
            rows.push_back({owner + escape, nullptr, false});
    // An empty strings file is served and holds no key.
    rows.push_back({"Sample/Empty.bin", nullptr, true});
    rows.push_back({"Packed/Empty.bin", nullptr, true});
    rows.push_back({"Truthful/" + kHandMadeEntry, u"hand-made", true});
    for (const char* owner : {"Oversized/", "Huge/", "Shorter/", "Longer/"})
        rows.push_back({owner + kHandMadeEntry, nullptr, false});

    KxHost::ResourceStore store;
    AddSources(store);
    for (const auto& archive : kHandMade)
        store.Add(Utf8(root / (archive.owner + std::string(".kxr"))));
    ExpectRows(store, rows);
}

TEST_F(ResourceStoreTest, LinksBelowAFolderAreMisses)
{
    if (!linkFailure.empty())
        GTEST_SKIP() << linkFailure;
    KxHost::ResourceStore store;
    AddSources(store);
    store.Add(Utf8(root / "Alias"));
    // Every link below the folder is refused, wherever it points; the folder
    // itself may be reached through one.
    ExpectRows(store, {
        {"Sample/Strings/14 Alias.kxstrings", nullptr, false},
        {"Sample/Strings/15 Out.kxstrings", nullptr, false},
        {"Sample/Linked/12 Secret.kxstrings", nullptr, false},
        {"Sample/Linked/12 *", nullptr, false},
        {"Alias/Strings/12 *", u"twelve", true},
    });
}

TEST_F(ResourceStoreTest, TheApplicationHandsOutResourcesAndTheirHandles)
{
    KxHost::ResourceStore store;
    AddSources(store);
    KxHost::FileServices files{KxHost::HostOptions{}};
    KxHost::HostApplication application(files, store);

    TXString target("stale");
    EXPECT_EQ(application.LoadResourceString(target, "Packed/Strings/120 *", "2", 0), 0);
    EXPECT_EQ(target, TXString(u"line\none"));
    EXPECT_NE(application.LoadResourceString(target, "Packed/Strings/120 *", "none", 0), 0);
    EXPECT_TRUE(target.IsEmpty()) << "a miss leaves the target empty";
    EXPECT_NE(application.LoadResourceString(target, nullptr, "1", 0), 0);

    for (const char* owner : {"Sample", "Packed"}) {
        SCOPED_TRACE(owner);
        char** handle = application.OpenResourceFile((std::string(owner) + "/DialogLayout/128 *").c_str());
        ASSERT_NE(handle, nullptr);
        std::uint64_t size = 0;
        EXPECT_EQ(application.GetResourceHandleSize(handle, size), 0);
        const std::string& expected = Files().at("DialogLayout/128 Choose.kxdialog");
        EXPECT_EQ(std::string(*handle, size), expected);
        char** empty = application.OpenResourceFile((std::string(owner) + "/Empty.bin").c_str());
        ASSERT_NE(empty, nullptr);
        EXPECT_EQ(application.GetResourceHandleSize(empty, size), 0);
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(application.OpenResourceHandles(), 2u);
        application.DisposeResourceHandle(handle);
        application.DisposeResourceHandle(empty);
        EXPECT_NE(application.GetResourceHandleSize(handle, size), 0) << "a disposed handle is unknown";
    }
    EXPECT_EQ(application.OpenResourceFile("Packed/DialogLayout/999 *"), nullptr);
    EXPECT_EQ(application.OpenResourceHandles(), 0u);
}

TEST_F(ResourceStoreTest, APathThatIsNeitherFolderNorArchiveIsAUsageError)
{
    KxHost::ResourceStore store;
    for (const fs::path& path : {root / "None", root / "Sample" / "Empty.bin"}) {
        try {
            store.Add(Utf8(path));
            ADD_FAILURE() << Utf8(path) << " was accepted";
        } catch (const KxHost::HostError& error) {
            EXPECT_EQ(error.ExitCode(), KxHost::kExitUsage);
        }
    }
}

} // namespace
