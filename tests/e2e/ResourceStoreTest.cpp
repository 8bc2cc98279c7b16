// kxhost's resource store on real folders and archives: the same resource
// folder served as a folder and as a ZIP archive (written here with libzip,
// compressed as 7-Zip compresses), location matching, misses that never
// crash, and the resource handles the application object hands out. Runs in
// every suite, Windows (under Wine) included.
#include "KXMM/KXMM.h"
#include "host/Host.h"
#include "host/HostApplication.h"
#include "host/ResourceStore.h"
#include "strings/MainPartition.h"
#include "strings/TXString.h"
#include "tests/e2e/StringsFiles.h"

#include <zip.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

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
        WriteArchive(root / "Packed.kxr");
        std::ofstream(root / "Damaged.kxr", std::ios::binary) << "PK\x03\x04 not really an archive";
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
        ASSERT_EQ(zip_close(zip), 0);
    }

    static void AddSources(KxHost::ResourceStore& store)
    {
        for (const char* source : {"Sample", "Packed.kxr", "Damaged.kxr"})
            store.Add(Utf8(root / source));
    }

    static fs::path root;
};

fs::path ResourceStoreTest::root;

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
