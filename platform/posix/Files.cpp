// Linux files: open/read/write/fsync, lstat and readdir, mkdir, realpath;
// temporary files created with O_EXCL|O_NOFOLLOW and held with flock while
// their writer lives; replacements renamed over their destinations after a
// check of the source, then the folder synced so the rename itself is
// durable; folder claims as flock on the folder.
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>

namespace Platform::Files {

namespace {

thread_local std::string lastError;

/// Records errno's explanation; returns false for the caller to pass on.
bool Fail()
{
    lastError = std::strerror(errno);
    return false;
}

bool FailWith(int code)
{
    errno = code;
    return Fail();
}

bool FailWith(const char* why)
{
    lastError = why;
    return false;
}

Kind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::File;
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISLNK(mode))
        return Kind::Link;
    return Kind::Other;
}

Status StatusFrom(const struct stat& status)
{
    Status result;
    result.kind = KindOfMode(status.st_mode);
    result.identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    result.size = status.st_size;
    result.modified = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    result.links = static_cast<std::uint32_t>(status.st_nlink);
    result.permissions = status.st_mode & 07777;
    result.owner = status.st_uid;
    result.group = status.st_gid;
    return result;
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

/// Opens `path` with `flags`, refusing anything but a regular file, and
/// returns the descriptor, or -1 with errno set. O_NONBLOCK keeps a pipe
/// from making the open wait for a writer.
int OpenRegular(const std::string& path, int flags, mode_t mode = 0)
{
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = status.st_mode == 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    // Regular files never block; plain blocking writes are simpler to drive.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

/// Records why opening `path` without following a link failed: a link
/// there is named as such rather than as a "loop".
void FailNoFollow(const std::string& path)
{
    struct stat own {};
    if (errno == ELOOP && ::lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode))
        FailWith("a symbolic link stands there, and kxhost does not follow it");
    else
        Fail();
}

/// Takes the lock a live writer holds on its temporary file; false when
/// someone holds it already.
bool LockExclusive(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

/// Removes the name `path` when what stands there is a link or a temporary
/// file no live writer holds. False (and why) when a writer holds it.
bool RemoveStale(const std::string& path)
{
    struct stat own {};
    if (::lstat(path.c_str(), &own) != 0)
        return errno == ENOENT || Fail();
    if (S_ISREG(own.st_mode)) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT || Fail();
        const bool dead = LockExclusive(fd);
        // Unlinked while the lock is held, so no writer starts on it between.
        const bool removed = dead && (::unlink(path.c_str()) == 0 || errno == ENOENT);
        const int error = errno;
        ::close(fd);
        if (!dead)
            return FailWith("another writer is replacing the same file now");
        errno = error;
        return removed || Fail();
    }
    return ::unlink(path.c_str()) == 0 || errno == ENOENT || Fail();
}

/// Creates the temporary file `path` for a new writer and locks it; -1
/// (with the reason recorded) when that is impossible.
int CreateTemporary(const std::string& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            if (LockExclusive(fd))
                return fd;
            ::unlink(path.c_str());
            ::close(fd);
            FailWith(EBUSY);
            return -1;
        }
        if (errno != EEXIST) {
            Fail();
            return -1;
        }
        if (!RemoveStale(path))
            return -1;
    }
    FailWith("another writer is replacing the same file now");
    return -1;
}

std::string NewUniqueTemporaryName()
{
    std::random_device random;
    return UniqueTemporaryName((static_cast<std::uint64_t>(random()) << 32) ^ random());
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

std::optional<Status> StatusOf(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        Fail();
        return std::nullopt;
    }
    return StatusFrom(status);
}

bool ListFolder(const std::string& folder, std::vector<Entry>& entries)
{
    entries.clear();
    DIR* const directory = ::opendir(folder.c_str());
    if (directory == nullptr)
        return Fail();
    bool ok = true;
    for (;;) {
        // Cleared before each read: only readdir's own error ends the list
        // with a failure, never one left over from examining an entry.
        errno = 0;
        const dirent* item = ::readdir(directory);
        if (item == nullptr) {
            ok = errno == 0 || Fail();
            break;
        }
        const std::string_view name = item->d_name;
        if (name == "." || name == "..")
            continue;
        Kind kind = Kind::Other;
        switch (item->d_type) {
        case DT_REG: kind = Kind::File; break;
        case DT_DIR: kind = Kind::Folder; break;
        case DT_LNK: kind = Kind::Link; break;
        case DT_UNKNOWN: {
            struct stat own {};
            if (::fstatat(::dirfd(directory), item->d_name, &own, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone since it was listed
            kind = KindOfMode(own.st_mode);
            break;
        }
        default: break;
        }
        entries.push_back({std::string(name), kind});
    }
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

bool CreateFolder(const std::string& folder)
{
    const std::string_view name = std::string_view(folder).substr(folder.find_last_of('/') + 1);
    if (name == "." || name == "..")
        return FailWith("the path leaves its folder");
    if (::mkdir(folder.c_str(), 0777) == 0)
        return true;
    if (errno != EEXIST)
        return Fail();
    struct stat own {};
    if (::lstat(folder.c_str(), &own) != 0)
        return Fail();
    if (S_ISLNK(own.st_mode))
        return FailWith("a symbolic link stands where a folder would go, and kxhost does not follow it");
    return S_ISDIR(own.st_mode) || FailWith(ENOTDIR);
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || Fail();
}

std::size_t SpareHandles()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    std::size_t open = 0;
    if (DIR* const fds = ::opendir("/proc/self/fd")) {
        while (const dirent* item = ::readdir(fds))
            open += item->d_name[0] != '.';
        ::closedir(fds);
    }
    return limit.rlim_cur > open ? static_cast<std::size_t>(limit.rlim_cur - open) : 0;
}

// ---------------------------------------------------------------------------
// File

File File::OpenForReading(const std::string& path, Links links)
{
    const int fd = OpenRegular(path, O_RDONLY | (links == Links::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0)
        FailNoFollow(path);
    return File(fd);
}

File File::OpenForUpdate(const std::string& path)
{
    // Opened when it is there; otherwise created new, and should another
    // program create it in between, opened again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = OpenRegular(path, O_RDWR | O_NOFOLLOW);
        if (fd >= 0 || errno != ENOENT) {
            if (fd < 0)
                FailNoFollow(path);
            return File(fd);
        }
        fd = OpenRegular(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0)
                Fail();
            return File(fd);
        }
    }
    Fail();
    return File();
}

File File::CreatePrivate(const std::string& path)
{
    const int fd = OpenRegular(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0)
        Fail();
    return File(fd);
}

File File::OpenStream(const std::string& path)
{
    // Waits, as a writer of a pipe does, until someone reads.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail();
        return File();
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) {
        ::close(fd);
        FailWith("not a pipe, terminal or device");
        return File();
    }
    return File(fd);
}

std::optional<std::int64_t> File::Size() const
{
    const std::optional<Files::Status> status = Status();
    return status ? std::optional<std::int64_t>(status->size) : std::nullopt;
}

std::optional<Status> File::Status() const
{
    struct stat status {};
    if (::fstat(handle, &status) != 0) {
        Fail();
        return std::nullopt;
    }
    return StatusFrom(status);
}

std::optional<bool> File::OthersMayAccess() const
{
    const std::optional<Files::Status> status = Status();
    return status ? std::optional<bool>((status->permissions & 077) != 0) : std::nullopt;
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

bool File::WriteDirect(bool on)
{
    const int flags = ::fcntl(handle, F_GETFL);
    return flags != -1 && ::fcntl(handle, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
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
    const std::optional<Files::Status> there = StatusOf(target);
    if (there && there->kind == Kind::Folder)
        return FailWith("a folder stands where the file would go");
    if (there && there->kind == Kind::Link)
        return FailWith("a symbolic link stands where the file would go, and kxhost does not replace it");
    std::string name = target + kLeftoverSuffix;
    int fd = CreateTemporary(name);
    if (fd < 0 && errno == ENAMETOOLONG) {
        name = ParentOf(target) + '/' + NewUniqueTemporaryName();
        fd = CreateTemporary(name);
    }
    if (fd < 0)
        return false;
    output = File(fd);
    const std::optional<Files::Status> created = output.Status();
    if (!created) {
        ::unlink(name.c_str());
        output.Close();
        return false;
    }
    destination = target;
    temporary = name;
    temporaryIdentity = created->identity;
    source.clear();
    return true;
}

bool Replacement::TakeAttributes(const Status& status)
{
    const std::optional<Files::Status> own = output.Status();
    if (!own)
        return false;
    if ((own->owner != status.owner || own->group != status.group) &&
        ::fchown(output.handle, status.owner, status.group) != 0)
        return FailWith("the file's owner or group cannot be kept");
    // After the owner: a change of owner clears the set-user bits.
    return ::fchmod(output.handle, status.permissions & 07777) == 0 || Fail();
}

bool Replacement::ReadyToMove()
{
    if (!source.empty()) {
        const std::optional<Files::Status> now = StatusOf(source);
        if (!now || !now->Unchanged(sourceStatus))
            return FailWith(kSourceChanged);
    }
    const std::optional<Files::Status> named = StatusOf(temporary);
    if (!named || named->identity != temporaryIdentity)
        return FailWith("its temporary file was taken away by another program");
    return true;
}

bool Replacement::Commit()
{
    if (!output.IsOpen())
        return false;
    if (!output.Flush() || !ReadyToMove() ||
        (::rename(temporary.c_str(), destination.c_str()) != 0 && !Fail())) {
        const std::string why = lastError;
        Abandon();
        lastError = why;
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
        // Only while the name is still this writer's file: another writer
        // may have taken the name over.
        const std::optional<Files::Status> named = StatusOf(temporary);
        if (named && named->identity == temporaryIdentity)
            ::unlink(temporary.c_str());
        temporary.clear();
    }
    output.Close();
}

bool RemoveDeadTemporary(const std::string& path, std::string_view signature)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Fail();
    struct stat status {};
    std::string start(signature.size(), '\0');
    const bool ours = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
                      status.st_uid == ::geteuid() && LockExclusive(fd);
    ssize_t got = 0;
    if (ours)
        got = ::read(fd, start.data(), start.size());
    const bool recognised = ours && (got == 0 || (got == static_cast<ssize_t>(start.size()) && start == signature));
    // Unlinked while the lock is held, and only while the name is still the
    // file examined.
    struct stat named {};
    const bool removed = recognised && ::lstat(path.c_str(), &named) == 0 && named.st_ino == status.st_ino &&
                         named.st_dev == status.st_dev && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
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
        if (!flushed || !replacement.ReadyToMove() ||
            (::rename(replacement.temporary.c_str(), replacement.destination.c_str()) != 0 && !Fail())) {
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

// ---------------------------------------------------------------------------
// FolderLock

FolderLock::Result FolderLock::Acquire(const std::string& folder)
{
    Release();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        Fail();
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        Fail();
        ::close(fd);
        return busy ? Result::Busy : Result::Failed;
    }
    handle = fd;
    return Result::Held;
}

void FolderLock::Release()
{
    if (handle != kNoHandle)
        ::close(handle);
    handle = kNoHandle;
}

// ---------------------------------------------------------------------------
// Standard streams

bool IsTerminal(Stream stream)
{
    return ::isatty(stream == Stream::Input ? STDIN_FILENO : STDERR_FILENO) == 1;
}

void WriteError(std::string_view text)
{
    std::cerr.flush();
    File error(STDERR_FILENO);
    error.Write(text.data(), text.size());
    error.handle = File::kNoHandle; // not ours to close
}

std::optional<std::string> ReadInputLine()
{
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    if (line.ends_with('\r'))
        line.pop_back();
    return line;
}

namespace {

/// Set when standard output was closed at start and the null device put in
/// its place: nothing written there reaches anyone.
bool standardOutputClosed = false;

} // namespace

bool WriteStandardOutput(const void* data, std::size_t size)
{
    if (standardOutputClosed)
        return FailWith(EBADF);
    std::fflush(stdout);
    std::cout.flush();
    File out(STDOUT_FILENO);
    const bool ok = out.Write(data, size);
    out.handle = File::kNoHandle; // not ours to close
    return ok;
}

bool ProtectStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        standardOutputClosed = standardOutputClosed || fd == STDOUT_FILENO;
        // The lowest free descriptor is this one.
        ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    return standardOutputClosed;
}

} // namespace Platform::Files
