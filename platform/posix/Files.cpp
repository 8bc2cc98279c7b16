// Linux files: open/read/write/fsync, stat and readdir, mkdir, realpath, and
// a replacement that holds an flock on its temporary file and renames it over
// the destination, then syncs the folder so the rename itself is durable.
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace Platform::Files {

namespace {

thread_local std::string lastError;

/// Records errno's explanation; returns false for the caller to pass on.
bool Fail()
{
    lastError = std::strerror(errno);
    return false;
}

Kind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::File;
    if (S_ISDIR(mode))
        return Kind::Folder;
    return Kind::Other;
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

const std::string& LastError()
{
    return lastError;
}

Kind KindOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        Fail();
        return Kind::Missing;
    }
    return KindOfMode(status.st_mode);
}

bool ListFolder(const std::string& folder, std::vector<Entry>& entries)
{
    entries.clear();
    DIR* const directory = ::opendir(folder.c_str());
    if (directory == nullptr)
        return Fail();
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    errno = 0;
    while (const dirent* item = ::readdir(directory)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat own {};
        const std::string path = prefix + name;
        const bool isLink = ::lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
        entries.push_back({name, isLink ? KindOf(path) : KindOfMode(own.st_mode), isLink});
    }
    const bool ok = errno == 0;
    if (!ok)
        Fail();
    ::closedir(directory);
    if (!ok)
        entries.clear();
    return ok;
}

std::optional<std::string> AbsolutePath(const std::string& path)
{
    char* const resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        Fail();
        return std::nullopt;
    }
    std::string result = resolved;
    std::free(resolved);
    return result;
}

bool CreateFolders(const std::string& folder)
{
    if (folder.empty())
        return false;
    if (KindOf(folder) == Kind::Folder)
        return true;
    const std::string parent = ParentOf(folder);
    if (parent != folder && !CreateFolders(parent))
        return false;
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return Fail();
    if (KindOf(folder) == Kind::Folder)
        return true;
    lastError = std::strerror(ENOTDIR);
    return false;
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || Fail();
}

// ---------------------------------------------------------------------------
// File

namespace {

/// Opens `path` with `flags`, refusing anything but a regular file. O_NONBLOCK
/// keeps a pipe from making the open wait for a writer.
int OpenRegular(const std::string& path, int flags, mode_t mode = 0)
{
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) {
        Fail();
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (status.st_mode != 0)
            errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        Fail();
        ::close(fd);
        return -1;
    }
    // Regular files never block; plain blocking writes are simpler to drive.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

File File::OpenForReading(const std::string& path)
{
    return File(OpenRegular(path, O_RDONLY));
}

File File::OpenForUpdate(const std::string& path)
{
    return File(OpenRegular(path, O_RDWR | O_CREAT, 0666));
}

File File::CreatePrivate(const std::string& path)
{
    return File(OpenRegular(path, O_RDWR | O_CREAT | O_EXCL, 0600));
}

std::optional<std::int64_t> File::Size() const
{
    struct stat status {};
    if (::fstat(handle, &status) != 0) {
        Fail();
        return std::nullopt;
    }
    return status.st_size;
}

bool File::Seek(std::int64_t position)
{
    return ::lseek(handle, position, SEEK_SET) == position || Fail();
}

std::optional<std::size_t> File::Read(void* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(handle, static_cast<char*>(buffer) + done, size - done);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Fail();
            return std::nullopt;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool File::Write(const void* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(handle, static_cast<const char*>(data) + done, size - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return Fail();
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool File::Reserve(std::int64_t bytes)
{
    const int error = ::posix_fallocate(handle, 0, bytes);
    if (error == 0)
        return true;
    errno = error;
    return Fail();
}

bool File::Flush()
{
    return ::fsync(handle) == 0 || Fail();
}

void File::Close()
{
    if (handle != kNoHandle)
        ::close(handle);
    handle = kNoHandle;
}

// ---------------------------------------------------------------------------
// Replacement

bool Replacement::Begin(const std::string& target)
{
    Abandon();
    // Checked now, not only when the rename fails, so a caller that commits
    // later hears of it at once.
    if (KindOf(target) == Kind::Folder) {
        lastError = "a folder stands where the file would go";
        return false;
    }
    destination = target;
    temporary = target + kLeftoverSuffix;
    const int fd = OpenRegular(temporary, O_RDWR | O_CREAT, 0666);
    if (fd < 0)
        return false;
    output = File(fd);
    // The lock keeps a second writer out. It must be on the file that still
    // bears the temporary name: a writer that opened the name just before
    // another one renamed it away would otherwise lock the destination.
    struct stat opened {};
    struct stat named {};
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!locked || ::fstat(fd, &opened) != 0 || ::stat(temporary.c_str(), &named) != 0 ||
        opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
        lastError = std::strerror(EBUSY);
        output.Close();
        temporary.clear(); // another writer's: not ours to remove
        return false;
    }
    // A leftover of a killed run may hold old bytes.
    if (::ftruncate(fd, 0) != 0) {
        Fail();
        Abandon();
        return false;
    }
    return true;
}

bool Replacement::Commit()
{
    if (!output.IsOpen())
        return false;
    if (!output.Flush() || ::rename(temporary.c_str(), destination.c_str()) != 0) {
        Fail();
        Abandon();
        return false;
    }
    temporary.clear();
    output.Close();
    // The rename is an entry of the folder: sync it too, so the new file is
    // still there after a power loss. The destination is replaced either
    // way, so a folder that cannot be synced does not undo the success.
    const int folder = ::open(ParentOf(destination).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void Replacement::Abandon()
{
    if (!temporary.empty()) {
        ::unlink(temporary.c_str());
        temporary.clear();
    }
    output.Close();
}

bool IsTerminal(Stream stream)
{
    return ::isatty(stream == Stream::Input ? STDIN_FILENO : STDERR_FILENO) == 1;
}

// ---------------------------------------------------------------------------
// ReplacementGroup

namespace {

/// Syncs each file system that holds one of the files `handles`, once;
/// false when a sync failed or a file could not be examined.
bool SyncFileSystems(const std::vector<int>& handles)
{
    std::vector<dev_t> devices;
    bool synced = true;
    for (const int handle : handles) {
        struct stat status {};
        if (::fstat(handle, &status) != 0) {
            synced = false;
            continue;
        }
        if (std::find(devices.begin(), devices.end(), status.st_dev) == devices.end()) {
            devices.push_back(status.st_dev);
            synced = ::syncfs(handle) == 0 && synced;
        }
    }
    return synced;
}

} // namespace

std::vector<ReplacementGroup::Failure> ReplacementGroup::Commit()
{
    const auto openFiles = [this] {
        std::vector<int> handles;
        for (const Replacement& replacement : pending)
            if (replacement.output.IsOpen())
                handles.push_back(replacement.output.handle);
        return handles;
    };
    // One sync per file system puts every waiting file on the disk; should
    // it fail, each file is flushed on its own to find the ones at fault.
    const bool synced = SyncFileSystems(openFiles());
    std::vector<Failure> failures;
    for (Replacement& replacement : pending) {
        const bool flushed = synced || replacement.output.Flush();
        if (!flushed || ::rename(replacement.temporary.c_str(), replacement.destination.c_str()) != 0) {
            Fail();
            failures.push_back({replacement.destination, lastError});
            replacement.Abandon();
            continue;
        }
        replacement.temporary.clear(); // renamed; the file stays open for the second sync
    }
    // The renames are entries of their folders: a second sync of each file
    // system makes them last too (one sync, where syncing each folder would
    // cost one per folder). Abandoned files are closed and left out.
    SyncFileSystems(openFiles());
    pending.clear();
    return failures;
}

bool WriteStandardOutput(const void* data, std::size_t size)
{
    std::fflush(stdout);
    File out(STDOUT_FILENO);
    const bool ok = out.Write(data, size);
    out.handle = File::kNoHandle; // not ours to close
    return ok;
}

} // namespace Platform::Files
