// Resource texts against a recording application: every location rule (the
// 10000 rule, the 16-bit cut, the file-name rule, help texts, the module
// folder form, subfolders and dialog layouts), file data decoded in the
// Macintosh code page and in UTF-8, and every handle given back.
#include "tests/framework/FrameworkTestSupport.h"

#include "framework/ResourceText.h"

#include <functional>
#include <string>
#include <vector>

const char* GetModuleResourceName()
{
    return "BulkSeal";
}

namespace FrameworkTest {
namespace {

/// Records every request and answers from a fixed block of file data.
class RecordingApplication : public InertApplication {
public:
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; }
    struct Request {
        std::string location;
        std::string key;
        std::int32_t kind;
    };
    std::vector<Request> requests;
    std::string fileData = "data";
    std::vector<char**> disposed;

    std::int32_t LoadResourceString(TXString& target, const char* location, const char* key,
                                    std::int32_t kind) override
    {
        requests.push_back({location, key, kind});
        target = "value";
        return 0;
    }
    char** OpenResourceFile(const char* location) override
    {
        requests.push_back({location, "", -1});
        block = fileData.data();
        return &block;
    }
    std::int32_t GetResourceHandleSize(char** handle, std::uint64_t& size) override
    {
        size = handle == &block ? fileData.size() : 0;
        return handle == &block ? 0 : 1;
    }
    void DisposeResourceHandle(char** handle) override { disposed.push_back(handle); }

    char* block = nullptr;
};

class ResourceTextTest : public FrameworkTestBase {
protected:
    void SetUp() override
    {
        FrameworkTestBase::SetUp();
        ZEDA::PluginSupport::Module().application = &application;
    }
    RecordingApplication application;
};

TEST_F(ResourceTextTest, LocationsKeysAndKinds)
{
    const struct {
        const char* what;
        std::function<void()> make;
        const char* location;
        const char* key;
        std::int32_t kind; // -1: a file request
    } cases[] = {
        {"a module list", [] { ResourceText(12000, 3, 0); }, "BulkSeal/Strings/12000 *", "3", 0},
        {"a host list", [] { ResourceText(150, 1, 5); }, "Calvera/Strings/150 *", "1", 5},
        {"the last host list", [] { ResourceText(9999, 1, 0); }, "Calvera/Strings/9999 *", "1", 0},
        {"an id cut to 16 bits", [] { ResourceText(40000, 70000, 0); }, "Calvera/Strings/-25536 *", "4464", 0},
        {"an owner folder", [] { ResourceText("Other", 12, 2, 9); }, "Other/Strings/12 *", "2", 9},
        {"a help text", [] { ResourceText(7); }, "BulkSeal/Strings/HelpText.kxstrings", "7", 1},
        {"the module folder form", [] { ResourceText(150, 4, ResourceText::ModuleFolder{}); },
         "BulkSeal/Strings/150 *", "4", 2},
        {"a location and key", [] { ResourceText("Any/where", "k", 3); }, "Any/where", "k", 3},
        {"a file", [] { ResourceText("Calvera/Images/x.png"); }, "Calvera/Images/x.png", "", -1},
        {"a subfolder file", [] { ResourceText("DialogLayout", 128); }, "BulkSeal/DialogLayout/128 *", "", -1},
        {"a file name", [] { TXString("Messages", "k", 4); }, "BulkSeal/Strings/Messages.kxstrings", "k", 4},
        {"a file name with a star", [] { TXString("Messages*", "k", 4); }, "BulkSeal/Strings/Messages*", "k", 4},
        {"a full file name", [] { TXString("Messages.kxstrings", "k", 4); }, "Messages.kxstrings", "k", 4},
        {"a suffix in another case", [] { TXString("Messages.Kxstrings", "k", 4); },
         "BulkSeal/Strings/Messages.Kxstrings.kxstrings", "k", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        application.requests.clear();
        c.make();
        ASSERT_EQ(application.requests.size(), 1u);
        EXPECT_EQ(application.requests[0].location, c.location);
        EXPECT_EQ(application.requests[0].key, c.key);
        EXPECT_EQ(application.requests[0].kind, c.kind);
    }
    EXPECT_EQ(GetDialogLayoutPath(128), TXString("BulkSeal/DialogLayout/128 *"));
    EXPECT_EQ(GetDialogLayoutPath(65536 + 128), TXString("BulkSeal/DialogLayout/128 *"));

    application.requests.clear();
    EXPECT_TRUE(TXString("", "k", 0).IsEmpty());
    EXPECT_TRUE(application.requests.empty()) << "an empty file name asks nothing";
}

TEST_F(ResourceTextTest, FileDataBecomesTextAndTheHandleGoesBack)
{
    const struct {
        std::string data;
        bool utf8;
        std::u16string text;
    } cases[] = {
        {"caf\x8E", false, u"caf\u00E9"}, // Mac Roman 0x8E
        {"caf\xC3\xA9", true, u"caf\u00E9"},
        {"", false, u""},
    };
    for (const auto& c : cases) {
        application.fileData = c.data;
        {
            ResourceText file("DialogLayout", 1);
            ASSERT_NE(file.GetHandle(), nullptr);
            EXPECT_EQ(file.GetDataSize(), c.data.size());
            EXPECT_TRUE(file.IsEmpty()) << "file data waits for LoadText";
            if (c.utf8)
                file.LoadTextUTF8();
            else
                file.LoadText();
            EXPECT_EQ(file, TXString(c.text.c_str()));
        }
        ASSERT_EQ(application.disposed.size(), 1u);
        EXPECT_EQ(application.disposed.back(), &application.block);
        application.disposed.clear();
    }

    TXString out("old");
    GetResourceString(out, 12000, 1, 0);
    EXPECT_EQ(out, TXString("value"));
}

TEST_F(ResourceTextTest, WithoutAnApplicationNothingIsAsked)
{
    ZEDA::PluginSupport::Module().application = nullptr;
    ResourceText text(12000, 1, 0);
    ResourceText file("DialogLayout", 1);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(file.GetHandle(), nullptr);
    EXPECT_EQ(file.GetDataSize(), 0u);
    EXPECT_TRUE(application.requests.empty());
}

} // namespace
} // namespace FrameworkTest
