// Running a built program from a shell in a test folder and capturing what
// it prints and its exit code: the one way the command-line e2e tests start
// the tools.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace E2E {

/// What one run printed and how it ended.
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// timeout(1)'s exit code for a run it had to stop.
inline constexpr int kTimedOut = 124;

/// `text` as one shell word.
inline std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

inline std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Runs `command` (a shell command without redirections) in `folder`,
/// stopping it after a minute; standard output, standard error and the exit
/// code pass through files in `folder`.
inline RunResult RunInShell(const std::filesystem::path& folder, const std::string& command)
{
    const std::filesystem::path out = folder / "stdout.txt", err = folder / "stderr.txt",
                                code = folder / "exitcode.txt";
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
    // "literal" + std::string temporaries.
    std::string line = "cd ";
    line.append(Quote(folder.string())).append(" && timeout 60 ").append(command);
    line.append(" >").append(Quote(out.string()));
    line.append(" 2>").append(Quote(err.string()));
    line.append("; echo $? >").append(Quote(code.string()));
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
    RunResult result;
    result.exitCode = std::stoi(ReadBytes(code));
    result.out = ReadBytes(out);
    result.err = ReadBytes(err);
    EXPECT_NE(result.exitCode, kTimedOut) << line;
    return result;
}

} // namespace E2E
