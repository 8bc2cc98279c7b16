// Running a built program from a shell in a test folder and capturing what
// it prints and its exit code: for the Linux cases that need what only a
// shell gives (redirections, pipes, limits, other tools around the program).
// ProgramRun.h starts a program without one, on every system.
#pragma once

#include "tests/e2e/ProgramRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace E2E {

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
