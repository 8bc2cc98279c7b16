// Files and folders named by UTF-8 paths, for the reference host's file
// services: walking a folder tree, reading and appending, creating a file
// only its owner may read, and replacing a file durably.
//
// Paths are UTF-8 on every platform; Windows converts them to UTF-16 and
// calls the wide functions, so any file name the file system allows works.
// A failing call leaves the system's explanation in LastError() for the
// calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Platform::Files {

/// What a path names, links followed.
enum class Kind { Missing, File, Folder, Other };

/// One entry of a folder.
struct Entry {
    std::string name; ///< without its folder
    Kind kind;        ///< what the entry names, links followed
    bool isLink;      ///< a symbolic link or other reparse point
};

/// The system's explanation of the calling thread's last failure here,
/// without the path.
const std::string& LastError();

Kind KindOf(const std::string& path);

/// Replaces `entries` with the entries of `folder`, "." and ".." left out, in
/// the file system's order. Returns false, leaving `entries` empty, when the
/// folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<Entry>& entries);

/// The absolute form of the existing `path`, with "." and ".." resolved and,
/// on Linux, symbolic links too; nullopt on failure.
std::optional<std::string> AbsolutePath(const std::string& path);

/// Creates `folder` and every missing folder above it. True when it exists
/// as a folder afterwards.
bool CreateFolders(const std::string& folder);

/// Deletes the file (not folder) at `path`. False when there is none or it
/// cannot be deleted.
bool RemoveFile(const std::string& path);

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

    /// Opens an existing regular file for reading. A folder, device or pipe
    /// is refused without waiting.
    static File OpenForReading(const std::string& path);
    /// Opens a regular file for reading and writing, creating it when it is
    /// missing.
    static File OpenForUpdate(const std::string& path);
    /// Creates a new file that only the owner may read or write (mode 0600 on
    /// Linux; Windows leaves the rights to the folder's inherited ones). Fails
    /// when something is already at `path`.
    static File CreatePrivate(const std::string& path);

    bool IsOpen() const { return handle != kNoHandle; }
    std::optional<std::int64_t> Size() const;
    bool Seek(std::int64_t position);
    /// Reads up to `size` bytes; fewer only at the end of the file. Returns
    /// the count read, or nullopt on a read error.
    std::optional<std::size_t> Read(void* buffer, std::size_t size);
    bool Write(const void* data, std::size_t size);
    /// Sets aside disk space for the file to grow to `bytes`, so a full disk
    /// shows now rather than when the system writes the file out later.
    bool Reserve(std::int64_t bytes);
    /// Has the system put what was written on the disk.
    bool Flush();
    void Close();

private:
    friend class Replacement;
    friend class ReplacementGroup;
    friend bool WriteStandardOutput(const void* data, std::size_t size);
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
/// or a full disk leaves either the old file or the whole new one. The
/// temporary name is the destination's name followed by kLeftoverSuffix; a
/// process killed part way leaves that file behind, and the next
/// replacement of the same destination reuses it. Two processes never write
/// the same temporary file at once: the second one's Begin fails.
class Replacement {
public:
    static constexpr const char* kLeftoverSuffix = ".~kxpart";

    Replacement() = default;
    /// Removes the temporary file unless Commit succeeded.
    ~Replacement() { Abandon(); }
    Replacement(Replacement&& other) noexcept
        : destination(std::move(other.destination)), temporary(std::exchange(other.temporary, {})),
          output(std::move(other.output))
    {
    }
    Replacement& operator=(Replacement&& other) noexcept
    {
        if (this != &other) {
            Abandon();
            destination = std::move(other.destination);
            temporary = std::exchange(other.temporary, {});
            output = std::move(other.output);
        }
        return *this;
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    /// Starts the replacement of `destination`, whose folder must exist.
    /// Fails when a folder stands at `destination`.
    bool Begin(const std::string& destination);
    /// Where the new content goes, from Begin to Commit.
    File& Output() { return output; }
    /// Flushes the new content to the disk and moves it over the
    /// destination (also on the disk). On failure the destination is as it
    /// was and the temporary file is gone.
    bool Commit();

    const std::string& Destination() const { return destination; }

private:
    friend class ReplacementGroup;
    void Abandon();
    std::string destination;
    std::string temporary;
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
    /// How many replacements may wait: the caller commits a full group
    /// before adding more, which bounds the open files.
    static constexpr std::size_t kCapacity = 256;

    struct Failure {
        std::string destination;
        std::string reason;
    };

    ReplacementGroup() = default;
    /// Abandons what was not committed.
    ~ReplacementGroup() = default;
    ReplacementGroup(const ReplacementGroup&) = delete;
    ReplacementGroup& operator=(const ReplacementGroup&) = delete;

    /// Takes over a replacement whose content is complete. The group must
    /// not be full.
    void Add(Replacement&& replacement) { pending.push_back(std::move(replacement)); }
    bool IsFull() const { return pending.size() >= kCapacity; }
    bool IsEmpty() const { return pending.empty(); }
    /// Puts every waiting replacement on the disk and in place; returns those
    /// that failed (their destinations are as they were). The group is empty
    /// afterwards.
    std::vector<Failure> Commit();

private:
    std::vector<Replacement> pending;
};

/// True when the file name `name` is that of a temporary file a Replacement
/// left behind.
inline bool IsLeftover(const std::string& name)
{
    const std::string_view suffix = Replacement::kLeftoverSuffix;
    return name.size() > suffix.size() && name.ends_with(suffix);
}

/// @name The process's standard streams
/// @{
enum class Stream { Input, Error };
/// True when the stream is a terminal (a console on Windows) where a person
/// may read and type.
bool IsTerminal(Stream stream);
/// Writes `size` bytes to standard output as they are (no line-ending
/// translation on Windows) and flushes them. False when that failed.
bool WriteStandardOutput(const void* data, std::size_t size);
/// @}

} // namespace Platform::Files
