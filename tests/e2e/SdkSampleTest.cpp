// The SDK's example plug-in in kxhost's session, in process, with its real
// resource folder, served both as the folder and zipped: strings read back
// exactly as written (escapes, segments, non-ASCII text), a template
// formatted, a dialog layout's data, a color named with the screen refresh
// held off once, and the host's dialog data value. Runs in every suite,
// Windows (under Wine) included, from the folder the modules are built into.
#include "KXMM/KXMM.h"
#include "framework/HostInterfaces.h"
#include "framework/ValueRecord.h"
#include "host/Host.h"
#include "strings/MainPartition.h"

#include <zip.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace ZEDA::PluginSupport;

constexpr char kModule[] = "./SdkSample.kxl";

std::string Utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class SdkSample : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
        const char* folder = std::getenv("KX_SAMPLE_RESOURCES");
        ASSERT_NE(folder, nullptr) << "KX_SAMPLE_RESOURCES is not set";
        resources = fs::path(folder);
        std::random_device random;
        archive = fs::temp_directory_path() / ("kx-sample-" + std::to_string(random())) / "SdkSample.kxr";
        fs::create_directories(archive.parent_path());
        int error = 0;
        zip_t* zip = zip_open(Utf8(archive).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(zip, nullptr);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(resources)) {
            if (!entry.is_regular_file())
                continue;
            const std::string name = entry.path().lexically_relative(resources).generic_string();
            zip_source_t* source = zip_source_file(zip, Utf8(entry.path()).c_str(), 0, -1);
            ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0) << name;
        }
        ASSERT_EQ(zip_close(zip), 0);
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(archive.parent_path(), ignored);
    }

    /// Runs routine `name` with `arguments` stored by `store`; returns the
    /// result record's text or integer through `block`.
    struct Run {
        KxHost::ValueBlock block;
        std::vector<std::pair<std::int32_t, bool>> hostValues;
    };
    template <typename Store>
    static Run Call(const fs::path& source, const char* routine, Store store, std::int16_t dialogData = 0)
    {
        KxHost::HostOptions options;
        options.resources = {Utf8(source)};
        options.dialogData = dialogData;
        KxHost::ModuleSession session(std::move(options));
        Run run;
        session.Open(kModule);
        for (const KxHost::RoutineInfo& info : session.Routines()) {
            if (info.name == routine) {
                store(run.block);
                session.Execute(info.index, &run.block);
            }
        }
        run.hostValues = session.Application().HostValuesSet();
        EXPECT_EQ(session.Close(), std::vector<std::string>{});
        return run;
    }
    static std::string Text(const Run& run)
    {
        return KXPluginLibraryArgument(const_cast<ValueRecord*>(&run.block[kResultRecord])).GetString().ToStdString();
    }

    static fs::path resources;
    static fs::path archive;
};

fs::path SdkSample::resources;
fs::path SdkSample::archive;

TEST_F(SdkSample, StringsComeBackExactlyAsWritten)
{
    const struct {
        std::int32_t index;
        const char* text;
    } cases[] = {
        {1, "Hello, %s! You have %d new messages."},
        {2, "Line one\nLine two\t(tabbed)"},
        {3, "Quotes: \"quoted\" and a backslash: \\"},
        {4, "R\u00E9sum\u00E9 \u2013 \u00DCbersicht \u2013 \u65E5\u672C\u8A9E"},
        {5, "Copyright \u00A9 2026, 45\u00B0"},
        {6, "50% off, %d items"},
        {99, ""}, // no such string: the host leaves the text empty
    };
    for (const fs::path& source : {resources, archive}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(Utf8(source) + " " + std::to_string(c.index));
            const Run run = Call(source, "Message",
                                 [&](KxHost::ValueBlock& block) { KXPluginLibraryArgument(&block[0]).SetInt32(c.index); });
            EXPECT_EQ(Text(run), c.text);
        }
    }
}

TEST_F(SdkSample, ATemplateIsFormattedAndALayoutRead)
{
    Run run = Call(archive, "Greeting", [](KxHost::ValueBlock& block) {
        KXPluginLibraryArgument(&block[0]).SetString(TXString("Ad\u00E4"));
        KXPluginLibraryArgument(&block[1]).SetInt32(3);
    });
    EXPECT_EQ(Text(run), "Hello, Ad\u00E4! You have 3 new messages.");

    run = Call(archive, "DialogLayout", [](KxHost::ValueBlock& block) { KXPluginLibraryArgument(&block[0]).SetInt32(128); });
    std::ifstream file(resources / "DialogLayout" / "128 Greeting.kxdialog", std::ios::binary);
    EXPECT_EQ(Text(run), std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
}

TEST_F(SdkSample, NamingAColorHoldsTheScreenRefreshOffOnce)
{
    const struct {
        std::int32_t red, green, blue;
        const char* name;
    } cases[] = {
        {255, 0, 0, "red"}, {0, 200, 0, "green"}, {0, 0, 255, "blue"}, {100, 100, 100, "grey"},
        {10, 10, 10, "black"}, {250, 250, 250, "white"}, {0, 255, 255, "blue"}, {300, -4, 0, "red"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Run run = Call(resources, "NameColor", [&](KxHost::ValueBlock& block) {
            KXPluginLibraryArgument(&block[0]).SetInt32(c.red);
            KXPluginLibraryArgument(&block[1]).SetInt32(c.green);
            KXPluginLibraryArgument(&block[2]).SetInt32(c.blue);
        });
        EXPECT_EQ(Text(run), c.name);
        const std::vector<std::pair<std::int32_t, bool>> once = {{Calvera::Extension::kHostValueScreenRefresh, false},
                                                                 {Calvera::Extension::kHostValueScreenRefresh, true}};
        EXPECT_EQ(run.hostValues, once);
    }
}

TEST_F(SdkSample, DialogValueClassesReadTheHostsValue)
{
    for (const std::int16_t value : {std::int16_t{0}, std::int16_t{42}, std::int16_t{-32768}}) {
        const Run run = Call(resources, "DialogData", [](KxHost::ValueBlock&) {}, value);
        EXPECT_EQ(KXPluginLibraryArgument(const_cast<ValueRecord*>(&run.block[kResultRecord])).GetInt32(), value);
    }
}

} // namespace
