// Running a built program in a test folder without a shell, and capturing
// what it prints and its exit code: how the command-line e2e tests start the
// tools on every system (platform/Process.h). ShellRun.h adds a shell for
// the Linux cases that need redirections, pipes or limits of their own.
#pragma once

#include "platform/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace E2E {

/// What one run printed and how it ended.
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// How long a run may take before it is stopped and fails the test.
inline constexpr std::chrono::milliseconds kRunLimit = std::chrono::minutes(1);

inline std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// `path` in UTF-8, as the programs take paths on every system.
inline std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

/// Runs `program` with `arguments` in `folder`, with `environment` added to
/// this process's; stops it after `limit`. A run that does not exit by
/// itself (a crash, the limit, no start) fails the test and shows exit code
/// -1.
inline RunResult RunProgram(const std::filesystem::path& folder, const std::string& program,
                            const std::vector<std::string>& arguments,
                            const std::vector<std::pair<std::string, std::string>>& environment = {},
                            std::chrono::milliseconds limit = kRunLimit)
{
    const Platform::ChildResult child = Platform::RunChild(program, arguments, limit, Utf8(folder), environment);
    const bool exited = child.end == Platform::ChildResult::End::Exited;
    EXPECT_TRUE(exited) << program << ": " << Platform::DescribeEnd(child) << "\n" << child.err;
    return {exited ? child.code : -1, child.out, child.err};
}

} // namespace E2E
