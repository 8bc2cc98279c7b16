// Child processes with captured output and a time limit: the reference
// host runs each scenario of its plug-in validator in one, so that a crash,
// a hang or an abort ends that scenario and not the validator; its
// end-to-end tests run the host through the same service on every system.
//
// Linux: posix_spawn with pipes, polled until the child ends or its time is
// up, then SIGKILL to its process group. Windows: CreateProcessW with pipes,
// in a job object that is terminated when the time is up; a crash ends the
// child with its exception code.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace Platform {

/// How a child run ended.
struct ChildResult {
    enum class End {
        Exited,   ///< it returned or called exit: `code` is its exit code
        Crashed,  ///< a signal (Linux) or an unhandled exception (Windows) ended it: `code` says which
        TimedOut, ///< its time was up and it was stopped
        NotStarted, ///< it could not be started: `out` is empty, `err` says why
    };
    End end = End::NotStarted;
    /// The exit code, the signal number or the exception code.
    int code = -1;
    /// What it wrote to standard output and to standard error.
    std::string out;
    std::string err;

    /// True when it exited with code 0.
    bool Succeeded() const { return end == End::Exited && code == 0; }
};

/// Runs `program` (a path, UTF-8) with `arguments`, standard input empty,
/// standard output and error captured, in `folder` (empty: the caller's),
/// with `environment` added to the caller's. A child still running after
/// `limit` is stopped, with whatever it started.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     std::chrono::milliseconds limit, const std::string& folder = {},
                     const std::vector<std::pair<std::string, std::string>>& environment = {});

/// How `result` ended, for a message: "exit code 3", "signal 11 (SIGSEGV)",
/// "exception 0xC0000005 (access violation)", "stopped at its time limit",
/// or why it did not start.
std::string DescribeEnd(const ChildResult& result);

/// Called by a program that runs as such a child: an unhandled exception
/// (Windows) ends it at once with the exception's code, instead of calling
/// up a crash dialog or debugger. Linux needs nothing: the signal ends it.
void EndQuietlyOnCrash();

} // namespace Platform
