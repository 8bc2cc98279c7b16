// End-to-end tests of the buildkxr program: the built binary runs with real
// environment variables on real resource folders in a temporary directory,
// with the real 7-Zip; the tests check its console text and exit code, the
// archive it leaves (read back with libzip), the link it writes, and that a
// failed check leaves the previous output alone.
//
// Linux only: the tool is started through the shell, and the archives need
// the real 7z.
#include "platform/System.h"
#include "tests/e2e/ShellRun.h"
#include "tests/e2e/StringsFiles.h"

#include <zip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kBinaryVariable = "KX_BUILDKXR";
constexpr const char* kExamplesVariable = "KX_EXAMPLE_RESOURCES";
using E2E::kTimedOut;
using E2E::Quote;
using E2E::ReadBytes;
using E2E::RunResult;

// The texts the tool prints, spelled out independently of its sources.
constexpr const char* kBanner = "BuildKXR::main() - starting\n";
constexpr const char* kEverythingOk = "Everything is Ok";


void WriteBytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

using E2E::Utf16File;

const std::u16string kGoodStrings = u"// sample\r\n\"title\" = \"Title\";\r\n";
const std::u16string kBrokenStrings = u"\"title\" = \"Title\";\r\n\"hint\"\r\n\"Hint\";\r\n"; // line 3

struct ArchiveEntry {
    std::uint16_t method;
    std::string bytes;
};

/// Every entry of the ZIP archive at `path` by name; fails the test when the
/// archive cannot be read.
std::map<std::string, ArchiveEntry> ReadArchive(const fs::path& path)
{
    std::map<std::string, ArchiveEntry> entries;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    EXPECT_NE(archive, nullptr) << "cannot open " << path << ": " << error;
    if (archive == nullptr)
        return entries;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0)
            continue;
        ArchiveEntry entry{stat.comp_method, std::string(stat.size, '\0')};
        if (zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0)) {
            EXPECT_EQ(zip_fread(file, entry.bytes.data(), stat.size), static_cast<zip_int64_t>(stat.size));
            zip_fclose(file);
        }
        entries.emplace(stat.name, std::move(entry));
    }
    zip_close(archive);
    return entries;
}

class BuildKxrE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* binary = std::getenv(kBinaryVariable);
        const char* examples = std::getenv(kExamplesVariable);
        ASSERT_NE(binary, nullptr);
        ASSERT_NE(examples, nullptr);
        binary_ = binary;
        std::random_device random;
        root_ = fs::temp_directory_path() / ("kxr-e2e-" + std::to_string(random()) + std::to_string(random()));
        input_ = root_ / "res";
        fs::create_directories(root_);
        fs::copy(examples, input_, fs::copy_options::recursive);
        output_ = root_ / "out.zip";
        link_ = root_ / "out.zip.lnk";
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    /// Runs buildkxr in `root_` with the KXR_ variables set to exactly
    /// `settings` (all others undefined); a run that takes over a minute is
    /// stopped and shows as kTimedOut.
    RunResult Run(const std::map<std::string, std::string>& settings) const
    {
        std::string command = "env -u KXR_INPUT -u KXR_OUTPUT -u KXR_MODE -u KXR_7ZCMD";
        for (const auto& [name, value] : settings)
            command.append(" ").append(name).append("=").append(Quote(value));
        return E2E::RunInShell(root_, command.append(" ").append(Quote(binary_)));
    }

    RunResult Build(const std::string& mode) const
    {
        return Run({{"KXR_INPUT", input_.string()}, {"KXR_OUTPUT", output_.string()}, {"KXR_MODE", mode}});
    }

    /// The banner and the four progress lines of a run with these settings.
    static std::string Header(const std::string& input, const std::string& output, const std::string& mode,
                              bool linked, const std::string& zipCommand = "7z")
    {
        return std::string(kBanner) + "  buildKXR: Input: " + input + "\n  buildKXR: Output: " + output +
               "\n  buildKXR: ZipCmd: " + zipCommand + "\n  buildKXR: Mode: " + mode + " (" +
               (linked ? "Linked" : "Copied") + ")\n";
    }

    std::string Header(const std::string& mode, bool linked) const
    {
        return Header(input_.string(), output_.string(), mode, linked);
    }

    std::string ErrorLine(const std::string& message) const
    {
        return "buildKXR: error: file " + input_.string() + ": " + message + "\n";
    }

    /// Puts a recognisable previous archive and link in place.
    void PlacePreviousOutput() const
    {
        WriteBytes(output_, "previous archive");
        fs::create_directory_symlink(root_, link_);
    }

    void ExpectPreviousOutputUntouched() const
    {
        EXPECT_EQ(ReadBytes(output_), "previous archive");
        ASSERT_TRUE(fs::is_symlink(link_));
        EXPECT_EQ(fs::read_symlink(link_), root_);
    }

    /// Files and folders under `input_` as archive entry names.
    std::map<std::string, std::string> InputTree() const
    {
        std::map<std::string, std::string> tree;
        for (const auto& item : fs::recursive_directory_iterator(input_)) {
            const std::string name = fs::relative(item.path(), input_).generic_string();
            if (item.is_directory())
                tree[name + "/"] = "";
            else
                tree[name] = ReadBytes(item.path());
        }
        return tree;
    }

    std::string binary_;
    fs::path root_, input_, output_, link_;
};

// --- Settings --------------------------------------------------------------

TEST_F(BuildKxrE2E, SettingsErrors)
{
    const std::string in = input_.string(), out = output_.string();
    const std::string file = (input_ / "README.txt").string();
    const std::string missing = (root_ / "missing").string();
    const struct {
        const char* name;
        std::map<std::string, std::string> settings;
        std::string printed;
    } cases[] = {
        {"NoInput", {{"KXR_OUTPUT", out}, {"KXR_MODE", "Release"}},
         "buildKXR: error: file : environment variable KXR_INPUT undefined\n"},
        {"EmptyInput", {{"KXR_INPUT", ""}, {"KXR_OUTPUT", out}, {"KXR_MODE", "Release"}},
         "buildKXR: error: file : environment variable KXR_INPUT undefined\n"},
        {"InputIsFile", {{"KXR_INPUT", file}, {"KXR_OUTPUT", out}, {"KXR_MODE", "Release"}},
         "buildKXR: error: file " + file + ": KXR_INPUT does not specify a directory (" + file + ")\n"},
        {"InputMissing", {{"KXR_INPUT", missing}, {"KXR_OUTPUT", out}, {"KXR_MODE", "Release"}},
         "buildKXR: error: file " + missing + ": KXR_INPUT does not specify a directory (" + missing + ")\n"},
        {"NoOutput", {{"KXR_INPUT", in}, {"KXR_MODE", "Release"}},
         "buildKXR: error: file " + in + ": environment variable KXR_OUTPUT undefined\n"},
        {"EmptyOutput", {{"KXR_INPUT", in}, {"KXR_OUTPUT", ""}, {"KXR_MODE", "Release"}},
         "buildKXR: error: file " + in + ": environment variable KXR_OUTPUT undefined\n"},
        {"NoMode", {{"KXR_INPUT", in}, {"KXR_OUTPUT", out}, {"KXR_7ZCMD", "7z"}},
         "buildKXR: error: file " + in + ": environment variable KXR_MODE undefined\n"},
    };
    for (const auto& c : cases) {
        const RunResult result = Run(c.settings);
        EXPECT_EQ(result.exitCode, 1) << c.name;
        EXPECT_EQ(result.out, kBanner + c.printed) << c.name;
        EXPECT_EQ(result.err, "") << c.name;
    }
    EXPECT_FALSE(fs::exists(output_));
}

// --- Copied mode -------------------------------------------------------------

TEST_F(BuildKxrE2E, CopiedModeStoresFolderContentsAtArchiveRoot)
{
    WriteBytes(output_, "stale archive that 7-Zip could not update");
    WriteBytes(link_, "stale link");
    // A relative input folder: its own name must not appear in the entries.
    const RunResult result = Run({{"KXR_INPUT", "res"}, {"KXR_OUTPUT", "out.zip"}, {"KXR_MODE", "Release"}});
    ASSERT_EQ(result.exitCode, 0) << result.out;
    const std::string header = Header("res", "out.zip", "Release", false);
    EXPECT_EQ(result.out.substr(0, header.size()), header);
    EXPECT_NE(result.out.find(kEverythingOk, header.size()), std::string::npos) << result.out;
    EXPECT_FALSE(fs::exists(fs::symlink_status(link_)));

    const auto archive = ReadArchive(output_);
    const auto tree = InputTree();
    std::set<std::string> archived, expected;
    for (const auto& [name, entry] : archive) {
        archived.insert(name);
        EXPECT_EQ(entry.method, ZIP_CM_STORE) << name;
        if (name.back() != '/') {
            ASSERT_TRUE(tree.count(name)) << name;
            EXPECT_EQ(entry.bytes, tree.at(name)) << name;
        }
    }
    for (const auto& item : tree)
        expected.insert(item.first);
    EXPECT_EQ(archived, expected);
    EXPECT_TRUE(archived.count("Strings/Help/100 Tooltips.kxstrings"));
}

TEST_F(BuildKxrE2E, CopiedModeWithoutStringsFolderChecksNothing)
{
    fs::remove_all(input_ / "Strings");
    WriteBytes(input_ / "Other" / "1 a.kxstrings", "not a strings file, but not under Strings");
    const RunResult result = Build("anything");
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(ReadArchive(output_).count("Other/1 a.kxstrings"), 1u);
}

TEST_F(BuildKxrE2E, ArchiverFailureIsReported)
{
    const struct {
        const char* zipCommand;
    } cases[] = {{"false"}, {"/nonexistent/7z"}, {"kx-no-such-archiver"}};
    for (const auto& c : cases) {
        const RunResult result = Run({{"KXR_INPUT", input_.string()},
                                      {"KXR_OUTPUT", output_.string()},
                                      {"KXR_MODE", "Release"},
                                      {"KXR_7ZCMD", c.zipCommand}});
        EXPECT_EQ(result.exitCode, 1) << c.zipCommand;
        EXPECT_EQ(result.out, Header(input_.string(), output_.string(), "Release", false, c.zipCommand) +
                                  ErrorLine("Zip failed."))
            << c.zipCommand;
    }
}

// --- The strings check, in both modes ------------------------------------------

class StringsCheck : public BuildKxrE2E, public ::testing::WithParamInterface<const char*> {
protected:
    bool Linked() const { return std::string(GetParam()) == "Debug"; }
};

TEST_P(StringsCheck, ParseFailureNamesFileAndLineAndKeepsPreviousOutput)
{
    PlacePreviousOutput();
    WriteBytes(input_ / "Strings" / "Help" / "110 Broken.kxstrings", Utf16File(kBrokenStrings));
    const RunResult result = Build(GetParam());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, Header(GetParam(), Linked()) +
                              ErrorLine("in file '/Strings/Help/110 Broken.kxstrings' at line 3: Found unexpected "
                                        "character when expecting equal sign"));
    EXPECT_EQ(result.err, "");
    ExpectPreviousOutputUntouched();
}

TEST_P(StringsCheck, PrefixCollisionsAreReportedPerFolderAndKeepPreviousOutput)
{
    PlacePreviousOutput();
    const fs::path strings = input_ / "Strings";
    for (const char* name : {"100 Title.kxstrings", "7b", "007a", "Title.kxstrings", "Other.kxstrings"})
        WriteBytes(strings / "Extra" / name, Utf16File(kGoodStrings));
    // 100 Dialogs.kxstrings in Strings does not collide with 100 Title in Extra.
    WriteBytes(strings / "Extra" / "100 Other.kxstrings", Utf16File(kGoodStrings));

    // The file of each colliding pair found second is named, in the order the
    // file system lists them.
    std::string collisions;
    std::set<std::string> seen;
    for (const auto& item : fs::directory_iterator(strings / "Extra")) {
        const std::string name = item.path().filename().string();
        const std::string number = name.substr(0, name.find_first_not_of("0123456789"));
        if (number.empty())
            continue;
        if (!seen.insert(std::to_string(std::stoi(number))).second)
            collisions += ErrorLine("numeric prefix for file '" + name + "' already used\n");
    }
    const RunResult result = Build(GetParam());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, Header(GetParam(), Linked()) + collisions);
    ExpectPreviousOutputUntouched();
}

TEST_P(StringsCheck, WhatUnderStringsIsParsed)
{
    const fs::path strings = input_ / "Strings";
    const struct {
        const char* name;
        fs::path file;
        std::string bytes;
        std::string reported; // empty: the build succeeds
    } cases[] = {
        {"EightBitText", strings / "notes.txt", "\"a\" = \"b\";\n",
         "in file '/Strings/notes.txt' at line 1: Found unexpected character when expecting open quote for string key"},
        {"HiddenFolderIsSkipped", strings / ".hidden" / "1 bad", "junk", ""},
        {"HiddenFileIsParsed", strings / ".hidden", "junk",
         "in file '/Strings/.hidden' at line 1: Found unexpected character when expecting open quote for string key"},
        {"PrefixZeroNeverCollides", strings / "Dialogs.kxstrings", Utf16File(kGoodStrings), ""},
        {"SamePrefixInSubfolder", strings / "Help" / "110 Routines.kxstrings", Utf16File(kGoodStrings), ""},
    };
    for (const auto& c : cases) {
        WriteBytes(c.file, c.bytes);
        fs::remove(link_);
        const RunResult result = Build(GetParam());
        const std::string expected = Header(GetParam(), Linked()) + (c.reported.empty() ? "" : ErrorLine(c.reported));
        if (c.reported.empty() && !Linked()) {
            EXPECT_EQ(result.exitCode, 0) << c.name << "\n" << result.out;
            EXPECT_EQ(result.out.substr(0, expected.size()), expected) << c.name;
        } else {
            EXPECT_EQ(result.exitCode, c.reported.empty() ? 0 : 1) << c.name;
            EXPECT_EQ(result.out, expected) << c.name;
        }
        fs::remove_all(strings / *fs::relative(c.file, strings).begin());
    }
}

TEST_P(StringsCheck, PipesAndFolderLinksDoNotHangOrLoop)
{
    const fs::path strings = input_ / "Strings";
    // A link back to an ancestor would loop a naive walk; a link to a folder
    // with a broken file shows that linked folders are not walked at all (the
    // archive stores the link, not its target's files).
    fs::create_directory_symlink("..", strings / "Help" / "loop");
    WriteBytes(root_ / "elsewhere" / "1 bad", "junk");
    fs::create_directory_symlink(root_ / "elsewhere", strings / "linked");
    RunResult result = Build(GetParam());
    EXPECT_EQ(result.exitCode, 0) << result.out;

    const fs::path pipe = strings / "200 pipe";
    ASSERT_EQ(std::system(("mkfifo " + Quote(pipe.string())).c_str()), 0);
    fs::remove(link_);
    result = Build(GetParam());
    EXPECT_NE(result.exitCode, kTimedOut);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, Header(GetParam(), Linked()) +
                              ErrorLine("could not open file " + pipe.string() + " for read"));
}

INSTANTIATE_TEST_SUITE_P(Modes, StringsCheck, ::testing::Values("Release", "Debug"));

// --- Linked mode -------------------------------------------------------------

TEST_F(BuildKxrE2E, LinkedModePointsAtCanonicalInputAndReplacesArchive)
{
    WriteBytes(output_, "previous archive");
    const RunResult result = Run({{"KXR_INPUT", "res/../res/./Strings/.."}, {"KXR_OUTPUT", "out.zip"}, {"KXR_MODE", "SHORTCUT"}});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Header("res/../res/./Strings/..", "out.zip", "SHORTCUT", true));
    EXPECT_EQ(result.err, "");
    ASSERT_TRUE(fs::is_symlink(link_));
    EXPECT_EQ(fs::read_symlink(link_), fs::canonical(input_));
    EXPECT_FALSE(fs::exists(output_));
}

TEST_F(BuildKxrE2E, LinkedModeParsesOnlyFilesChangedSinceTheLink)
{
    ASSERT_EQ(Build("debug").exitCode, 0);
    const auto firstLink = Platform::ReadFolderLinkTime(link_.string());
    ASSERT_TRUE(firstLink);

    // Broken, but older than the link: not parsed again.
    const fs::path broken = input_ / "Strings" / "130 Broken.kxstrings";
    WriteBytes(broken, Utf16File(kBrokenStrings));
    fs::last_write_time(broken, fs::file_time_type::clock::now() - std::chrono::hours(1));
    RunResult result = Build("debug");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Header("debug", true));
    const auto secondLink = Platform::ReadFolderLinkTime(link_.string());
    ASSERT_TRUE(secondLink);
    EXPECT_GE(*secondLink, *firstLink);

    // Touched after the link: parsed, reported, and the link stays as it was.
    fs::last_write_time(broken, fs::file_time_type::clock::now());
    const std::string report = ErrorLine(
        "in file '/Strings/130 Broken.kxstrings' at line 3: Found unexpected character when expecting equal sign");
    result = Build("debug");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, Header("debug", true) + report);
    EXPECT_EQ(Platform::ReadFolderLinkTime(link_.string()), secondLink);

    // Without a link every file is checked, however old.
    fs::last_write_time(broken, fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::remove(link_);
    result = Build("debug");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, Header("debug", true) + report);
}

TEST_F(BuildKxrE2E, LinkedModeChecksPrefixesOfUnchangedFilesToo)
{
    ASSERT_EQ(Build("Debug").exitCode, 0);
    const fs::path old = input_ / "Strings" / "100 Old.kxstrings";
    WriteBytes(old, Utf16File(kGoodStrings));
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(1));
    const RunResult result = Build("Debug");
    EXPECT_EQ(result.exitCode, 1);
    std::string second = "100 Old.kxstrings";
    for (const auto& item : fs::directory_iterator(input_ / "Strings")) {
        const std::string name = item.path().filename().string();
        if (name == "100 Old.kxstrings" || name == "100 Dialogs.kxstrings") {
            second = name == "100 Old.kxstrings" ? "100 Dialogs.kxstrings" : "100 Old.kxstrings";
            break;
        }
    }
    EXPECT_EQ(result.out, Header("Debug", true) + ErrorLine("numeric prefix for file '" + second + "' already used\n"));
}

TEST_F(BuildKxrE2E, LinkThatCannotBeWrittenIsReported)
{
    const std::string output = (root_ / "no-such-folder" / "out.zip").string();
    const RunResult result = Run({{"KXR_INPUT", input_.string()}, {"KXR_OUTPUT", output}, {"KXR_MODE", "Debug"}});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, Header(input_.string(), output, "Debug", true) + ErrorLine("Creating link failed."));
}

} // namespace
