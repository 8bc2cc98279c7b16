// Files and folders named by UTF-8 paths, for the reference host's file
// services: walking a folder tree, reading and appending, creating a file
// only its owner may read, replacing a file durably, and claiming a folder
// for one writer at a time.
//
// Everything here treats a path as something another program may have
// prepared: files are created new (never opened through a link or reused),
// a link is reported as a link where it matters, and a replacement checks
// that its source did not change before it moves into place.
//
// Paths are UTF-8 on every platform; Windows converts them to UTF-16 and
// calls the wide functions, so any file name the file system allows works.
// A failing call leaves the system's explanation in LastError() for the
// calling thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Platform::Files {

/// What a path names.
enum class Kind {
    Missing,
    File,
    Folder,
    Link,  ///< a symbolic link or other reparse point, seen only where links are not followed
    Other, ///< a pipe, device or socket
};

/// The same file or folder, whatever path names it: device and inode on
/// Linux, volume serial number and file index on Windows.
struct Identity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    friend bool operator==(const Identity&, const Identity&) = default;
};

/// What the system tells of a file: enough to see that it changed, and the
/// attributes a replacement keeps.
struct Status {
    Kind kind = Kind::Missing;
    Identity identity;
    std::int64_t size = 0;
    /// The last write, in the system's finest unit.
    std::int64_t modified = 0;
    /// The number of names (hard links) the file has.
    std::uint32_t links = 0;
    /// The permission bits (Linux: the mode's low twelve bits; Windows: 0444
    /// for a read-only file, else 0666).
    std::uint32_t permissions = 0;
    /// The owner and group (Linux only; 0 on Windows).
    std::uint32_t owner = 0;
    std::uint32_t group = 0;

    /// True when `other` is the same file with the same content as far as
    /// the system can tell: identity, size, last write and names.
    bool Unchanged(const Status& other) const
    {
        return identity == other.identity && size == other.size && modified == other.modified &&
               links == other.links;
    }
};

/// One entry of a folder.
struct Entry {
    std::string name; ///< without its folder
    Kind kind;        ///< what the entry itself is: a link is Kind::Link
};

/// The system's explanation of the calling thread's last failure here,
/// without the path.
const std::string& LastError();

/// What `path` names, links followed: never Kind::Link.
Kind KindOf(const std::string& path);

/// The status of what `path` names itself: a link is reported as Kind::Link,
/// not followed. nullopt (with LastError set) when there is nothing there or
/// it cannot be examined.
std::optional<Status> StatusOf(const std::string& path);

/// Replaces `entries` with the entries of `folder`, "." and ".." left out, in
/// the file system's order. An entry that vanishes while the folder is read
/// is left out. Returns false, leaving `entries` empty, when the folder
/// cannot be listed.
bool ListFolder(const std::string& folder, std::vector<Entry>& entries);

/// The absolute form of the existing `path`, with "." and ".." resolved and,
/// on Linux, symbolic links too; nullopt on failure.
std::optional<std::string> AbsolutePath(const std::string& path);

/// Creates the folder `folder`, whose parent must exist. True when a folder
/// stands there afterwards; a link there is refused, never followed, and so
/// is a last element "." or "..".
bool CreateFolder(const std::string& folder);

/// Creates the missing folders of `relative` (a path inside `root`, its
/// elements separated by the system's separators) below the existing folder
/// `root`. Never leaves `root`: an element that is a link, or anything but a
/// folder, or "." or "..", is refused. True when `root`/`relative` is a
/// folder afterwards.
inline bool CreateFoldersInside(const std::string& root, const std::string& relative)
{
#if defined(_WIN32)
    constexpr std::string_view kSeparators = "\\/";
#else
    constexpr std::string_view kSeparators = "/";
#endif
    std::string path = root;
    for (std::size_t start = 0; start <= relative.size();) {
        const std::size_t end = std::min(relative.find_first_of(kSeparators, start), relative.size());
        const std::string element = relative.substr(start, end - start);
        start = end + 1;
        if (element.empty())
            continue;
        if (path.empty() || kSeparators.find(path.back()) == std::string_view::npos)
            path += kSeparators.front();
        if (!CreateFolder(path += element))
            return false;
    }
    return true;
}

/// Deletes the file (not folder) at `path`; a link is deleted itself, never
/// what it points at. False when there is none or it cannot be deleted.
bool RemoveFile(const std::string& path);

/// How many more files this process can open before the system refuses:
/// the rest of the descriptor limit on Linux, a large number on Windows.
std::size_t SpareHandles();

/// An open file; closed when the object goes. Reads and writes go on until
/// everything is done or an error stops them.
class File {
public:
    File() = default;
    ~File() { Close(); }
    File(File&& other) noexcept : handle(std::exchange(other.handle, kNoHandle)) {}
    File& operator=(File&& other) noexcept
    {
        if (this != &other) {
            Close();
            handle = std::exchange(other.handle, kNoHandle);
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    /// Whether opening a path may follow a link at its last element.
    enum class Links { Follow, Refuse };

    /// Opens an existing regular file for reading. A folder, device or pipe
    /// is refused without waiting; with Links::Refuse so is a link.
    static File OpenForReading(const std::string& path, Links links = Links::Follow);
    /// Opens a regular file for reading and writing, creating it (as nothing
    /// else can be there at that moment) when it is missing. A link is
    /// refused, never followed.
    static File OpenForUpdate(const std::string& path);
    /// Creates a new file that only its owner may read or write: mode 0600 on
    /// Linux, a protected access list that grants only the current user on
    /// Windows. Fails when anything, a link included, is already at `path`.
    static File CreatePrivate(const std::string& path);
    /// Opens the pipe, terminal or device that `path` names (links followed)
    /// for writing. A regular file or folder is refused.
    static File OpenStream(const std::string& path);

    bool IsOpen() const { return handle != kNoHandle; }
    std::optional<std::int64_t> Size() const;
    /// The status of the open file.
    std::optional<Files::Status> Status() const;
    /// Whether users other than the owner may read or write the file: group
    /// or other permission bits on Linux; on Windows an access-list entry
    /// that lets anyone but the owner, the system and the administrators at
    /// the data. nullopt when the system cannot tell.
    std::optional<bool> OthersMayAccess() const;
    bool Seek(std::int64_t position);
    /// Reads up to `size` bytes; fewer only at the end of the file. Returns
    /// the count read, or nullopt on a read error.
    std::optional<std::size_t> Read(void* buffer, std::size_t size);
    bool Write(const void* data, std::size_t size);
    /// The alignment of direct writes: each one's address, length and file
    /// offset are multiples of it.
    static constexpr std::size_t kDirectAlignment = 4096;
    /// Has writes bypass the system's cache (`on`), or go through it again:
    /// for large sequential output, which the cache would only copy before
    /// it goes to the disk. False where the system or the file system
    /// cannot; writes then stay cached.
    bool WriteDirect(bool on);
    /// Has the system put what was written on the disk.
    bool Flush();
    void Close();

private:
    friend class Replacement;
    friend class ReplacementGroup;
    friend bool WriteStandardOutput(const void* data, std::size_t size);
    friend void WriteError(std::string_view text);
#if defined(_WIN32)
    using Handle = void*;
    static inline Handle const kNoHandle = reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));
#else
    using Handle = int;
    static constexpr Handle kNoHandle = -1;
#endif
    explicit File(Handle handle) : handle(handle) {}
    Handle handle = kNoHandle;
};

/// A file written beside its destination under a temporary name and moved
/// over the destination only when it is complete and on the disk, so a crash
/// or a full disk leaves either the old file or the whole new one.
///
/// The temporary file is created new (never opened through a link, never
/// an existing file) and named after the destination with kLeftoverSuffix
/// appended; where that name would be too long for the file system, it gets
/// a short unique name in the same folder instead (IsUniqueTemporary). A
/// writer holds a lock on its temporary file while it lives, so a process
/// killed part way leaves a file that no one holds: the next replacement of
/// the same destination removes that name (the name only, also when it is
/// a link) before it creates its own, and fails while a live writer holds it.
class Replacement {
public:
    static constexpr const char* kLeftoverSuffix = ".~kxpart";

    Replacement() = default;
    /// Removes the temporary file unless Commit succeeded.
    ~Replacement() { Abandon(); }
    Replacement(Replacement&& other) noexcept { *this = std::move(other); }
    Replacement& operator=(Replacement&& other) noexcept
    {
        if (this != &other) {
            Abandon();
            destination = std::move(other.destination);
            temporary = std::exchange(other.temporary, {});
            temporaryIdentity = other.temporaryIdentity;
            source = std::move(other.source);
            sourceStatus = other.sourceStatus;
            output = std::move(other.output);
        }
        return *this;
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    /// Starts the replacement of `destination`, whose folder must exist.
    /// Fails when a folder stands at `destination`, or another writer is
    /// replacing it now. The new file starts with mode 0600 (Linux).
    bool Begin(const std::string& destination);
    /// Where the new content goes, from Begin to Commit.
    File& Output() { return output; }
    /// Gives the new file the permission bits and, where the system allows,
    /// the owner and group of `status`. False when the owner cannot be kept.
    bool TakeAttributes(const Status& status);
    /// Commit then moves the new file into place only when `path` is still
    /// the file that `status` describes (Status::Unchanged); otherwise it
    /// fails, leaving the destination as it is, and LastError() says
    /// kSourceChanged.
    void RequireUnchanged(const std::string& path, const Status& status)
    {
        source = path;
        sourceStatus = status;
    }
    /// Flushes the new content to the disk and moves it over the
    /// destination (also on the disk). On failure the destination is as it
    /// was and the temporary file is gone.
    bool Commit();

    const std::string& Destination() const { return destination; }

    /// What LastError() says when a commit found its source changed.
    static constexpr const char* kSourceChanged = "it changed after it was read";

private:
    friend class ReplacementGroup;
    void Abandon();
    /// The last checks before the rename: the source is unchanged and the
    /// temporary name still names this writer's file.
    bool ReadyToMove();
    std::string destination;
    std::string temporary;
    Identity temporaryIdentity;
    std::string source;
    Status sourceStatus;
    File output;
};

/// Replacements whose content is complete, put in place together: what one
/// flush of each would cost becomes one flush of the file system (Linux) and
/// one of each folder. Each file still moves over its destination only once
/// it is on the disk, so a crash leaves every destination either as it was or
/// replaced whole. Until Commit the temporary files stay open, and the
/// destinations untouched.
class ReplacementGroup {
public:
    /// The most replacements a group holds: each keeps a file open.
    static constexpr std::size_t kCapacity = 256;

    struct Failure {
        std::string destination;
        std::string reason;
    };

    /// A group of at most `capacity` (1 to kCapacity) replacements.
    explicit ReplacementGroup(std::size_t capacity = kCapacity)
        : capacity(capacity < 1 ? 1 : capacity > kCapacity ? kCapacity : capacity)
    {
    }
    /// Abandons what was not committed.
    ~ReplacementGroup() = default;
    ReplacementGroup(const ReplacementGroup&) = delete;
    ReplacementGroup& operator=(const ReplacementGroup&) = delete;

    /// Takes over a replacement whose content is complete. The group must
    /// not be full.
    void Add(Replacement&& replacement) { pending.push_back(std::move(replacement)); }
    bool IsFull() const { return pending.size() >= capacity; }
    std::size_t Capacity() const { return capacity; }
    bool IsEmpty() const { return pending.empty(); }
    /// Puts every waiting replacement on the disk and in place; returns those
    /// that failed (their destinations are as they were). The group is empty
    /// afterwards.
    std::vector<Failure> Commit();

private:
    std::size_t capacity;
    std::vector<Replacement> pending;
};

/// True when the file name `name` is that of a temporary file a Replacement
/// makes: the destination's name with kLeftoverSuffix, or a unique name.
inline bool IsLeftover(const std::string& name)
{
    const std::string_view suffix = Replacement::kLeftoverSuffix;
    return name.size() > suffix.size() && name.ends_with(suffix);
}

/// @name Unique temporary names
/// Where the destination's name is too long for the suffix, Replacement
/// names its temporary file kUniquePrefix, kUniqueDigits hexadecimal digits
/// and kLeftoverSuffix.
/// @{
inline constexpr std::string_view kUniquePrefix = ".~kx";
inline constexpr std::size_t kUniqueDigits = 16;

/// True when `name` is such a unique temporary name.
inline bool IsUniqueTemporary(std::string_view name)
{
    const std::string_view suffix = Replacement::kLeftoverSuffix;
    if (name.size() != kUniquePrefix.size() + kUniqueDigits + suffix.size() || !name.starts_with(kUniquePrefix) ||
        !name.ends_with(suffix))
        return false;
    for (const char c : name.substr(kUniquePrefix.size(), kUniqueDigits))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

/// A new unique temporary name, from `random` bits.
inline std::string UniqueTemporaryName(std::uint64_t random)
{
    std::string name(kUniquePrefix);
    for (std::size_t i = 0; i < kUniqueDigits; ++i, random >>= 4)
        name += "0123456789abcdef"[random & 15];
    return name + Replacement::kLeftoverSuffix;
}
/// @}

/// Removes the file at `path` when it is a temporary file that a killed
/// writer left: a regular file (not a link) with one name, owned by this
/// user, held by no live writer, and either empty or starting with
/// `signature`. False when anything else is there, and then nothing changes.
bool RemoveDeadTemporary(const std::string& path, std::string_view signature);

/// An exclusive claim on a folder, by its identity (whatever path names
/// it), held until the object goes. A claim is seen by every process of the
/// machine, this one included; it guards no file, only tells cooperating
/// writers that one of them is at work there.
class FolderLock {
public:
    enum class Result { Held, Busy, Failed };

    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(FolderLock&& other) noexcept : handle(std::exchange(other.handle, kNoHandle)) {}
    FolderLock& operator=(FolderLock&& other) noexcept
    {
        if (this != &other) {
            Release();
            handle = std::exchange(other.handle, kNoHandle);
        }
        return *this;
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    /// Claims `folder` without waiting: Held on success, Busy when another
    /// claim holds it, Failed (LastError set) when it cannot be opened.
    Result Acquire(const std::string& folder);
    void Release();

private:
#if defined(_WIN32)
    using Handle = void*;
    static inline Handle const kNoHandle = nullptr;
#else
    using Handle = int;
    static constexpr Handle kNoHandle = -1;
#endif
    Handle handle = kNoHandle;
};

/// @name The process's standard streams
/// @{
enum class Stream { Input, Error };
/// True when the stream is a terminal (a console on Windows) where a person
/// may read and type.
bool IsTerminal(Stream stream);
/// Writes the UTF-8 `text` to standard error: to a Windows console as
/// UTF-16, so that every character shows as itself; elsewhere as it is.
void WriteError(std::string_view text);
/// Reads one line from standard input, without its line break, in UTF-8
/// (typed into a Windows console, read as UTF-16). nullopt at the end of the
/// input.
std::optional<std::string> ReadInputLine();
/// Writes `size` bytes to standard output as they are (no line-ending
/// translation on Windows) and flushes them. False when that failed.
bool WriteStandardOutput(const void* data, std::size_t size);
/// Called first thing: puts the null device where a standard stream is
/// closed, so that no file the program opens takes its place (and gets its
/// output). Returns true when standard output was closed: what the program
/// writes there then reaches no one.
bool ProtectStandardStreams();
/// @}

} // namespace Platform::Files
