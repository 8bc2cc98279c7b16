// Child processes on Linux: posix_spawn into a process group of its own,
// both output pipes polled until the child ends, SIGKILL to the group when
// its time is up.
#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

extern char** environ;

namespace Platform {

namespace {

using Clock = std::chrono::steady_clock;

/// Closes a descriptor once, when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd; }
    void Close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

private:
    int fd;
};

/// The caller's environment with `added` set over it, as NAME=VALUE lines.
std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& added)
{
    std::map<std::string, std::string> variables;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string line = *entry;
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            variables[line.substr(0, equals)] = line.substr(equals + 1);
    }
    for (const auto& [name, value] : added)
        variables[name] = value;
    std::vector<std::string> lines;
    for (const auto& [name, value] : variables)
        lines.push_back(name + '=' + value);
    return lines;
}

ChildResult NotStarted(const char* what, int error)
{
    ChildResult result;
    result.err = std::string(what) + ": " + std::strerror(error);
    return result;
}

/// Reads what is there from `fd` into `into`; false at the end of the
/// stream.
bool Drain(int fd, std::string& into)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

} // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     std::chrono::milliseconds limit, const std::string& folder,
                     const std::vector<std::pair<std::string, std::string>>& environment)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return NotStarted("cannot make a pipe", errno);
    Descriptor outRead(out[0]), outWrite(out[1]);
    if (::pipe2(err, O_CLOEXEC) != 0)
        return NotStarted("cannot make a pipe", errno);
    Descriptor errRead(err[0]), errWrite(err[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), STDERR_FILENO);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    // A group of its own, so that whatever it starts is stopped with it; and
    // the signals the caller ignores or blocks are the child's defaults.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = Environment(environment);
    std::vector<char*> envp;
    for (std::string& line : variables)
        envp.push_back(line.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return NotStarted(("cannot start " + program).c_str(), spawned);
    outWrite.Close();
    errWrite.Close();
    ::fcntl(outRead.Get(), F_SETFL, O_NONBLOCK);
    ::fcntl(errRead.Get(), F_SETFL, O_NONBLOCK);

    ChildResult result;
    const Clock::time_point deadline = Clock::now() + limit;
    bool outOpen = true;
    bool errOpen = true;
    int status = 0;
    bool ended = false;
    int idle = 1;
    while (!ended) {
        // Rounded up: a child is never stopped before its limit has passed.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.end = ChildResult::End::TimedOut;
            Drain(outRead.Get(), result.out);
            Drain(errRead.Get(), result.err);
            return result;
        }
        pollfd fds[2] = {{outOpen ? outRead.Get() : -1, POLLIN, 0}, {errOpen ? errRead.Get() : -1, POLLIN, 0}};
        // Short waits: the child may end while something it started still
        // holds the pipes open. Both pipes at their end mostly means the
        // child is ending, though it may not be a zombie yet: look again at
        // once, then less and less often, not a whole step later.
        int step = 50;
        if (!outOpen && !errOpen) {
            step = idle;
            idle = idle < 25 ? idle * 2 : 50;
        }
        ::poll(fds, 2, static_cast<int>(left < step ? left : step));
        if (outOpen)
            outOpen = Drain(outRead.Get(), result.out);
        if (errOpen)
            errOpen = Drain(errRead.Get(), result.err);
        // Not reaped yet: until it is, its process group cannot be another's.
        siginfo_t info{};
        const int waited = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        ended = (waited == 0 && info.si_pid == pid) || (waited < 0 && errno != EINTR);
    }
    Drain(outRead.Get(), result.out);
    Drain(errRead.Get(), result.err);
    // What the child started goes with it.
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        result.end = ChildResult::End::Crashed;
        result.code = WTERMSIG(status);
    } else {
        result.end = ChildResult::End::Exited;
        result.code = WEXITSTATUS(status);
    }
    return result;
}

std::string DescribeEnd(const ChildResult& result)
{
    switch (result.end) {
    case ChildResult::End::Exited:
        return "exit code " + std::to_string(result.code);
    case ChildResult::End::Crashed: {
        const char* name = sigabbrev_np(result.code);
        return "signal " + std::to_string(result.code) + (name != nullptr ? std::string(" (SIG") + name + ")" : "");
    }
    case ChildResult::End::TimedOut:
        return "stopped at its time limit";
    case ChildResult::End::NotStarted:
        break;
    }
    return result.err;
}

void EndQuietlyOnCrash() {}

} // namespace Platform
