// Linux system services: getenv, stat and readdir, open/fstat/read, unlink,
// realpath, symbolic links for folder links, posix_spawnp and waitpid.
//
// Every open that may meet a pipe or device uses O_NONBLOCK, so a FIFO among
// the files never makes the caller wait for a writer.
#include "platform/System.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace Platform {

namespace {

constexpr int kReadOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr long long kNanosecondsPerSecond = 1000000000LL;

/// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

FileTime ToFileTime(const struct timespec& time)
{
    return static_cast<FileTime>(time.tv_sec) * kNanosecondsPerSecond + time.tv_nsec;
}

/// Splits a parameter line into arguments the way the Windows C runtime
/// splits a command line, so the same line means the same on both systems.
std::vector<std::string> SplitParameterLine(const std::string& line)
{
    std::vector<std::string> arguments;
    std::size_t i = 0;
    const std::size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == n)
            return arguments;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            if (line[i] == '\\') {
                std::size_t backslashes = 0;
                while (i < n && line[i] == '\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < n && line[i] == '"') {
                    argument.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(backslashes, '\\');
                }
            } else if (line[i] == '"') {
                // Inside quotes, "" stands for one literal quote.
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += line[i++];
            }
        }
        arguments.push_back(std::move(argument));
    }
}

} // namespace

std::optional<std::string> ReadEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries)
{
    entries.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return false;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        FolderEntry item{entry->d_name, entry->d_type == DT_DIR, entry->d_type == DT_LNK};
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // The type of a link's target, or of an entry the file system did
            // not type, takes a stat; a dangling link is no directory.
            struct stat info {};
            if (::fstatat(dirFd, entry->d_name, &info, 0) == 0)
                item.isDirectory = S_ISDIR(info.st_mode);
            if (entry->d_type == DT_UNKNOWN && ::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
                item.isLink = S_ISLNK(info.st_mode);
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    return true;
}

std::optional<FileTime> ReadFileWriteTime(const std::string& path)
{
    const Descriptor fd(::open(path.c_str(), kReadOpenFlags));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0)
        return std::nullopt;
    return ToFileTime(info.st_mtim);
}

bool ReadWholeFile(const std::string& path, std::vector<char16_t>& units, std::size_t& byteCount)
{
    const Descriptor fd(::open(path.c_str(), kReadOpenFlags));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return false;
    const auto size = static_cast<std::size_t>(info.st_size);
    units.resize((size + 1) / sizeof(char16_t));
    if (!units.empty())
        units.back() = 0;
    auto* bytes = reinterpret_cast<char*>(units.data());
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd.get(), bytes + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) // an error, or the file ended before its size
            return false;
        done += static_cast<std::size_t>(got);
    }
    byteCount = size;
    return true;
}

void RemoveFileIfPresent(const std::string& path)
{
    ::unlink(path.c_str());
}

std::optional<std::string> CanonicalPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool WriteFolderLink(const std::string& linkPath, const std::string& targetFolder)
{
    return ::symlink(targetFolder.c_str(), linkPath.c_str()) == 0;
}

std::optional<FileTime> ReadFolderLinkTime(const std::string& linkPath)
{
    struct stat info {};
    if (::lstat(linkPath.c_str(), &info) != 0)
        return std::nullopt;
    return ToFileTime(info.st_mtim);
}

bool RunProgram(const std::string& program, const std::string& parameters)
{
    std::vector<std::string> arguments = SplitParameterLine(parameters);
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::fflush(stdout);
    pid_t child = 0;
    if (::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace Platform
