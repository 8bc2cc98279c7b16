// Tests of the system services buildkxr stands on, run against the real file
// system and a real child program (SystemTestChild) on both platforms: Linux
// natively and Windows under Wine.
#include "platform/System.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kChildVariable = "KX_SYSTEM_TEST_CHILD";

class SystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("kxsystem-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(root_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    std::string PathOf(const std::string& name) const { return (root_ / name).string(); }

    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(root_ / name, std::ios::binary) << bytes;
        return PathOf(name);
    }

    static std::string ReadText(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path root_;
};

TEST_F(SystemTest, EnvironmentTreatsEmptyAsUndefined)
{
    EXPECT_EQ(Platform::ReadEnvironment("KX_SYSTEM_TEST_SET").value_or("<none>"), "value");
    EXPECT_FALSE(Platform::ReadEnvironment("KX_SYSTEM_TEST_EMPTY").has_value());
    EXPECT_FALSE(Platform::ReadEnvironment("KX_SYSTEM_TEST_NEVER_DEFINED").has_value());
}

TEST_F(SystemTest, DirectoryTest)
{
    fs::create_directory(root_ / "folder");
    EXPECT_TRUE(Platform::IsDirectory(PathOf("folder")));
    EXPECT_FALSE(Platform::IsDirectory(Write("file", "x")));
    EXPECT_FALSE(Platform::IsDirectory(PathOf("missing")));
}

TEST_F(SystemTest, ListFolderGivesNamesAndKinds)
{
    Write("a.kxstrings", "");
    Write("100 b", "");
    fs::create_directory(root_ / "sub");
    std::vector<Platform::FolderEntry> entries;
    ASSERT_TRUE(Platform::ListFolder(root_.string(), entries));
    std::vector<std::pair<std::string, bool>> seen;
    for (const auto& entry : entries) {
        if (entry.name != "." && entry.name != "..")
            seen.emplace_back(entry.name, entry.isDirectory);
        EXPECT_FALSE(entry.isLink) << entry.name;
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{{"100 b", false}, {"a.kxstrings", false}, {"sub", true}}));

    entries.push_back({"stale", false, false});
    EXPECT_FALSE(Platform::ListFolder(PathOf("missing"), entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(SystemTest, ReadWholeFileKeepsEveryByte)
{
    const std::string odd("\xFF\xFE\"\x00k\x00\x00", 7);
    std::vector<char16_t> units{u'x', u'y', u'z', u'w', u'v'};
    std::size_t byteCount = 0;
    ASSERT_TRUE(Platform::ReadWholeFile(Write("odd", odd), units, byteCount));
    EXPECT_EQ(byteCount, 7u);
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(units.data()), 7), odd);

    ASSERT_TRUE(Platform::ReadWholeFile(Write("empty", ""), units, byteCount));
    EXPECT_EQ(byteCount, 0u);
    EXPECT_TRUE(units.empty());

    fs::create_directory(root_ / "folder");
    EXPECT_FALSE(Platform::ReadWholeFile(PathOf("folder"), units, byteCount));
    EXPECT_FALSE(Platform::ReadWholeFile(PathOf("missing"), units, byteCount));
}

TEST_F(SystemTest, WriteTimesOrderLikeTheFiles)
{
    const std::string older = Write("older", "1");
    const std::string newer = Write("newer", "2");
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(older, now - std::chrono::hours(2));
    fs::last_write_time(newer, now - std::chrono::hours(1));
    const auto olderTime = Platform::ReadFileWriteTime(older);
    const auto newerTime = Platform::ReadFileWriteTime(newer);
    ASSERT_TRUE(olderTime && newerTime);
    EXPECT_LT(*olderTime, *newerTime);
    EXPECT_FALSE(Platform::ReadFileWriteTime(PathOf("missing")).has_value());
}

TEST_F(SystemTest, RemoveIgnoresMissingFiles)
{
    const std::string file = Write("file", "x");
    Platform::RemoveFileIfPresent(file);
    EXPECT_FALSE(fs::exists(file));
    Platform::RemoveFileIfPresent(file);
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(SystemTest, CanonicalPathResolvesDotElements)
{
    fs::create_directories(root_ / "a" / "b");
    const std::string sep(1, Platform::kPathSeparator);
    const auto direct = Platform::CanonicalPath(PathOf("a") + sep + "b");
    const auto dotted = Platform::CanonicalPath(PathOf("a") + sep + "." + sep + "b" + sep + ".." + sep + "b");
    ASSERT_TRUE(direct && dotted);
    EXPECT_EQ(*dotted, *direct);
    EXPECT_EQ(dotted->find(sep + ".."), std::string::npos);
    EXPECT_TRUE(Platform::IsDirectory(*dotted));
}

TEST_F(SystemTest, FolderLinkIsWrittenAndDated)
{
    const std::string before = Write("before", "x");
    fs::last_write_time(before, fs::file_time_type::clock::now() - std::chrono::minutes(1));
    fs::create_directory(root_ / "target");
    const auto target = Platform::CanonicalPath(PathOf("target"));
    ASSERT_TRUE(target);
    const std::string link = PathOf("out.zip.lnk");

    EXPECT_FALSE(Platform::ReadFolderLinkTime(link).has_value());
    ASSERT_TRUE(Platform::WriteFolderLink(link, *target));
    EXPECT_TRUE(fs::exists(fs::symlink_status(link)));
    const auto linkTime = Platform::ReadFolderLinkTime(link);
    const auto beforeTime = Platform::ReadFileWriteTime(before);
    ASSERT_TRUE(linkTime && beforeTime);
    EXPECT_GT(*linkTime, *beforeTime);

    // No folder to write into: the link cannot be written.
    EXPECT_FALSE(Platform::WriteFolderLink(PathOf("missing") + std::string(1, Platform::kPathSeparator) + "x.lnk",
                                           *target));
}

class RunProgramTest : public SystemTest {
protected:
    void SetUp() override
    {
        SystemTest::SetUp();
        // The child sits in the test's working folder; a path with a folder
        // part keeps the search path out of it.
        child_ = std::string(".") + Platform::kPathSeparator + Platform::ReadEnvironment(kChildVariable).value_or("");
        output_ = PathOf("arguments.txt");
    }

    /// Runs the child with `parameters` after its own two; returns whether
    /// RunProgram reported success, and the arguments the child received.
    bool Run(const std::string& exitCode, const std::string& parameters, std::vector<std::string>* received = nullptr)
    {
        const bool ok = Platform::RunProgram(child_, "\"" + output_ + "\" " + exitCode + " " + parameters);
        if (received != nullptr) {
            received->clear();
            std::istringstream lines(ReadText(output_));
            for (std::string line; std::getline(lines, line);)
                received->push_back(line);
        }
        return ok;
    }

    std::string child_;
    std::string output_;
};

TEST_F(RunProgramTest, ParameterLineIsSplitAsOnWindows)
{
    const struct {
        const char* line;
        std::vector<std::string> arguments;
    } cases[] = {
        {"a -r -mx0", {"a", "-r", "-mx0"}},
        {"  spaced \t  out  ", {"spaced", "out"}},
        {"\"with blank\" next", {"with blank", "next"}},
        {"ab\"c d\"e", {"abc de"}},
        {"\"\" x", {"", "x"}},
        {"a\\b\\\\c", {"a\\b\\\\c"}},
        {"\"a\\\"b\"", {"a\"b"}},
        {"a\\\\\"b c\"", {"a\\b c"}},
        {"\"C:\\dir\\*\" \"/home/dir/*\"", {"C:\\dir\\*", "/home/dir/*"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> received;
        EXPECT_TRUE(Run("0", c.line, &received)) << c.line;
        EXPECT_EQ(received, c.arguments) << c.line;
    }
}

TEST_F(RunProgramTest, FailsOnNonZeroExitOrMissingProgram)
{
    EXPECT_TRUE(Run("0", ""));
    EXPECT_FALSE(Run("3", ""));
    EXPECT_FALSE(Platform::RunProgram(PathOf("no-such-program"), "x"));
    EXPECT_FALSE(Platform::RunProgram("kx-no-such-program-on-the-search-path", "x"));
}

} // namespace
