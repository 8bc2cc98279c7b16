// Tests of child processes (platform/Process.h): what the caller hands a
// child (arguments, environment, folder) arrives unchanged, what the child
// writes comes back on its own stream, and each way a run can end is told
// apart: an exit code, a crash, a stop at the time limit (with what the
// child started), a program that cannot start.
//
// The child is this program itself, started again with --child=<role> as its
// first argument, so no shell or helper program is needed on either system;
// that is why it has a main of its own.
#include "platform/Files.h"
#include "platform/Module.h"
#include "platform/Process.h"
#include "platform/System.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Platform::ChildResult;
using End = Platform::ChildResult::End;

constexpr std::string_view kChildFlag = "--child=";
/// What the grandchild of a hanging child appends to while it lives.
constexpr const char* kBeatFile = "beat";
/// Set by CTest for this program, so a child sees the caller's environment.
constexpr const char* kInheritedVariable = "KX_PROCESS_TEST_INHERITED";
constexpr const char* kReplacedVariable = "KX_PROCESS_TEST_REPLACED";
/// Set by CTest as KX_PROCESS_TEST_RECASED: one variable on Windows, where
/// names differ in case only, two on Linux; the added one is read either way.
constexpr const char* kRecasedVariable = "Kx_Process_Test_Recased";
constexpr const char* kAddedVariable = "KX_PROCESS_TEST_ADDED";

/// This program's path, for starting it again.
std::string self;

/// `size` bytes cycling through the 26 letters from `first`: long enough to
/// fill any pipe, and a byte lost, doubled or taken from the other stream
/// shows.
std::string Pattern(char first, std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(first + static_cast<char>(i % 26));
    return bytes;
}

void Print(const std::string& bytes)
{
    Platform::Files::WriteStandardOutput(bytes.data(), bytes.size());
}

/// Each of `values` followed by a NUL byte, as the child prints a list.
std::string Joined(const std::vector<std::string>& values)
{
    std::string joined;
    for (const std::string& value : values)
        joined.append(value).push_back('\0');
    return joined;
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// What the child does in `role`, given the arguments after the role;
/// returns its exit code.
int RunAsChild(const std::string& role, const std::vector<std::string>& arguments)
{
    if (role == "exit")
        return std::stoi(arguments.at(0));
    if (role == "echo") {
        Print(Joined(arguments));
        return 0;
    }
    if (role == "streams") {
        // Both streams in turns, a piece at a time: a caller that reads one
        // stream to its end before the other blocks the child for good.
        const std::size_t size = std::stoul(arguments.at(0));
        const std::string out = Pattern('a', size), err = Pattern('A', size);
        constexpr std::size_t kPiece = 4096;
        for (std::size_t at = 0; at < size; at += kPiece) {
            Print(out.substr(at, kPiece));
            Platform::Files::WriteError(err.substr(at, kPiece));
        }
        return 0;
    }
    if (role == "environment") {
        std::vector<std::string> values;
        for (const std::string& name : arguments)
            values.push_back(Platform::ReadEnvironment(name.c_str()).value_or("(unset)"));
        Print(Joined(values));
        return 0;
    }
    if (role == "folder") {
        Print(ReadBytes("marker"));
        return 0;
    }
    if (role == "crash") {
        Platform::EndQuietlyOnCrash();
        Print("before the crash");
        // An address no program maps; volatile, so that the compiler keeps
        // the store and knows nothing about the address.
        volatile std::uintptr_t address = 8;
        *reinterpret_cast<volatile int*>(address) = 1;
        return 0;
    }
    if (role == "hang") {
        // Waits for a grandchild that never ends.
        Print("started");
        Platform::RunProgram(self, std::string(kChildFlag) + "beat");
        return 0;
    }
    if (role == "beat") {
        // Ends on its own after a while, so that a failed test leaves no
        // process behind for long.
        for (int beat = 0; beat < 1000; ++beat) {
            std::ofstream(kBeatFile, std::ios::binary | std::ios::app) << '.';
            std::this_thread::sleep_for(20ms);
        }
        return 0;
    }
    return 125;
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(self.empty());
        std::random_device random;
        // A folder name with a blank and letters beyond ASCII, which the
        // child must still be started in.
        folder_ = fs::temp_directory_path() / (fs::path(u8"kx process \u00FC ") += std::to_string(random()));
        fs::create_directories(folder_);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::string Folder() const
    {
        const std::u8string utf8 = folder_.u8string();
        return std::string(utf8.begin(), utf8.end());
    }

    fs::path folder_;
};

TEST_F(ProcessTest, WhatTheCallerGivesArrivesAndWhatTheChildWritesComesBack)
{
    std::ofstream(folder_ / "marker", std::ios::binary) << "this folder";
    const std::vector<std::string> echoed = {
        "plain", "two words", "", " ", "tab\there", "\"quoted\"", "a \"quote\" inside", "back\\slash",
        "trailing backslash\\", "trailing\\\\", "\\\\server\\share\\", "backslash before a quote\\\"",
        "caf\u00E9 \u6F22\u5B57", "--child=exit",
    };
    constexpr std::size_t kLarge = 1 << 20;
    const std::string missing = Folder() + "/no such program";

    const struct {
        const char* what;
        std::string program;
        std::vector<std::string> arguments;
        std::string folder;
        std::vector<std::pair<std::string, std::string>> environment;
        End end;
        int code;
        std::string out;
        std::optional<std::string> err; // nullopt: any text, but some
    } rows[] = {
        {"exit code 0", self, {"--child=exit", "0"}, {}, {}, End::Exited, 0, "", ""},
        {"exit code 3", self, {"--child=exit", "3"}, {}, {}, End::Exited, 3, "", ""},
        {"exit code 255", self, {"--child=exit", "255"}, {}, {}, End::Exited, 255, "", ""},
        {"a MiB on each stream", self, {"--child=streams", std::to_string(kLarge)}, {}, {}, End::Exited, 0,
         Pattern('a', kLarge), Pattern('A', kLarge)},
        {"arguments", self, [&] {
             std::vector<std::string> arguments{"--child=echo"};
             arguments.insert(arguments.end(), echoed.begin(), echoed.end());
             return arguments;
         }(), {}, {}, End::Exited, 0, Joined(echoed), ""},
        {"environment", self,
         {"--child=environment", kInheritedVariable, kReplacedVariable, kRecasedVariable, kAddedVariable}, {},
         {{kReplacedVariable, "replaced"}, {kRecasedVariable, "recased"},
          {kAddedVariable, "a value = with \"quotes\" and blanks "}},
         End::Exited, 0, Joined({"from the caller", "replaced", "recased", "a value = with \"quotes\" and blanks "}),
         ""},
        {"working folder", self, {"--child=folder"}, Folder(), {}, End::Exited, 0, "this folder", ""},
        {"a missing program", missing, {}, {}, {}, End::NotStarted, -1, "", std::nullopt},
        {"a missing folder", self, {"--child=exit", "0"}, Folder() + "/no such folder", {}, End::NotStarted, -1, "",
         std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const ChildResult result = Platform::RunChild(row.program, row.arguments, 60s, row.folder, row.environment);
        EXPECT_EQ(result.end, row.end) << Platform::DescribeEnd(result);
        EXPECT_EQ(result.code, row.code);
        EXPECT_EQ(result.Succeeded(), row.end == End::Exited && row.code == 0);
        if (row.end == End::Exited) {
            EXPECT_EQ(Platform::DescribeEnd(result), "exit code " + std::to_string(row.code));
        }
        // Compared by size first: a MiB of difference helps no one.
        ASSERT_EQ(result.out.size(), row.out.size());
        EXPECT_TRUE(result.out == row.out) << result.out.substr(0, 200);
        if (row.err) {
            ASSERT_EQ(result.err.size(), row.err->size()) << result.err.substr(0, 200);
            EXPECT_TRUE(result.err == *row.err) << result.err.substr(0, 200);
        } else {
            EXPECT_NE(result.err, "");
            EXPECT_EQ(Platform::DescribeEnd(result), result.err);
        }
    }
}

TEST_F(ProcessTest, ACrashEndsWithItsSignalOrExceptionCode)
{
    // AddressSanitizer would catch the fault and exit with its own code.
    const std::optional<std::string> sanitizer = Platform::ReadEnvironment("ASAN_OPTIONS");
    const ChildResult result = Platform::RunChild(self, {"--child=crash"}, 60s, {},
                                                  {{"ASAN_OPTIONS", sanitizer.value_or("") + " handle_segv=0"}});
    EXPECT_EQ(result.end, End::Crashed) << Platform::DescribeEnd(result) << "\n" << result.err;
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.out, "before the crash");
    EXPECT_THAT(Platform::DescribeEnd(result),
                ::testing::AnyOf("signal 11 (SIGSEGV)", "exception 0xC0000005 (access violation)"));
}

TEST_F(ProcessTest, AChildPastItsLimitIsStoppedPromptlyWithWhatItStarted)
{
    constexpr auto kLimit = 3s;
    const auto start = std::chrono::steady_clock::now();
    const ChildResult result = Platform::RunChild(self, {"--child=hang"}, kLimit, Folder());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.end, End::TimedOut) << Platform::DescribeEnd(result) << "\n" << result.err;
    EXPECT_EQ(Platform::DescribeEnd(result), "stopped at its time limit");
    EXPECT_EQ(result.out, "started") << "what it wrote before it was stopped is kept";
    EXPECT_GE(took, kLimit);
    EXPECT_LT(took, kLimit + 2s);

    // The grandchild beat until then and beats no more.
    const fs::path beat = folder_ / kBeatFile;
    ASSERT_TRUE(fs::exists(beat)) << "the grandchild never started";
    std::this_thread::sleep_for(200ms);
    const std::uintmax_t beats = fs::file_size(beat);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(fs::file_size(beat), beats) << "the grandchild still runs";
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments = Platform::CommandLineArguments(argc, argv);
    // Started again from the folder the system says it runs from, under the
    // name it was started by.
    const std::optional<std::string> folder = Platform::ExecutableFolder();
    if (folder && !arguments.empty())
        self = *folder + '/' + arguments[0].substr(arguments[0].find_last_of("/\\") + 1);
    if (arguments.size() > 1 && arguments[1].starts_with(kChildFlag))
        return RunAsChild(arguments[1].substr(kChildFlag.size()), {arguments.begin() + 2, arguments.end()});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
