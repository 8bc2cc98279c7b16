// System services: environment, files and folders, folder links and child
// processes.
//
// buildkxr is built on these: it reads its settings from the environment,
// walks and reads the strings files of a resource folder, compares their
// write times with the time of the last link it wrote, and either writes a
// link to the folder or starts the archiver and waits for it. Windows uses the
// Win32 calls (GetEnvironmentVariableA, FindFirstFileA, GetFileTime,
// DeleteFileA, GetFullPathNameA, IShellLinkA with IPersistFile,
// ShellExecuteExA); Linux uses the POSIX equivalents, with a symbolic link
// where Windows writes a shell link.
//
// Paths are 8-bit text in the platform's own form (the ANSI code page on
// Windows, bytes on Linux) of any length; nothing here truncates one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Platform {

/// The character between a folder and a name inside it.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

/// A file's last-write time as a count that orders like the times do (earlier
/// is smaller): 100 ns ticks since 1601 on Windows, nanoseconds since 1970 on
/// Linux. Only compare times from the same platform.
using FileTime = std::int64_t;

/// The value of environment variable `name`; nullopt when it is undefined or
/// defined with an empty value.
std::optional<std::string> ReadEnvironment(const char* name);

/// True when `path` names an existing directory (following symbolic links);
/// false when it names something else or its attributes cannot be read.
bool IsDirectory(const std::string& path);

/// One entry of a folder.
struct FolderEntry {
    std::string name;  ///< the entry's name, without its folder
    bool isDirectory;  ///< a directory, or a link whose target is one
    bool isLink;       ///< a symbolic link or other reparse point (to anything)
};

/// Replaces `entries` with the entries of `folder` in the order the file
/// system returns them ("." and ".." included where the file system lists
/// them). Returns false, leaving `entries` empty, when the enumeration cannot
/// start (no such folder, not a folder, no access).
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries);

/// Opens `path` for reading (other readers allowed, never waiting for a
/// writer of a pipe) and reads its last-write time; nullopt when it cannot be
/// opened or the time cannot be read.
std::optional<FileTime> ReadFileWriteTime(const std::string& path);

/// Reads the regular file `path` whole into `units` (resized to hold it; a
/// trailing odd byte sits in the low byte of the last unit) and stores its
/// size in `byteCount`. Returns false when the file cannot be opened, is not
/// a regular file (a directory, pipe or device: refused without blocking), or
/// cannot be read whole (read error, or fewer bytes than its size); `units`
/// and `byteCount` are then unspecified.
bool ReadWholeFile(const std::string& path, std::vector<char16_t>& units, std::size_t& byteCount);

/// Deletes the file (or link) `path`; a missing file and every other failure
/// are ignored.
void RemoveFileIfPresent(const std::string& path);

/// The absolute form of `path` with "." and ".." elements resolved (on Linux
/// also symbolic links, and the path must exist); nullopt on failure.
std::optional<std::string> CanonicalPath(const std::string& path);

/// Writes a link at `linkPath` that points at the folder `targetFolder`,
/// which should be absolute. Windows: a shell link file saved through
/// IShellLinkA and IPersistFile with an empty description. Linux: a symbolic
/// link. Returns false when the link could not be written (an existing file
/// at `linkPath` is such a failure on Linux; delete it first).
bool WriteFolderLink(const std::string& linkPath, const std::string& targetFolder);

/// The time the link at `linkPath` was last written (the link itself, not its
/// target); nullopt when there is none or its time cannot be read.
std::optional<FileTime> ReadFolderLinkTime(const std::string& linkPath);

/// Starts `program` (found through the search path when it has no folder)
/// with the parameter line `parameters` in the caller's console, waits for it
/// without a time limit, and returns true only when it started and exited
/// with code 0. The C standard output is flushed first so that what the
/// caller printed comes before the program's output.
///
/// The parameter line is split into arguments as a Windows program splits
/// its command line: blank space separates arguments outside double quotes,
/// quotes group and are removed, 2n backslashes before a quote give n
/// backslashes, 2n+1 give n and a literal quote, other backslashes are
/// literal. Windows starts the program through ShellExecuteExA (verb "open",
/// normal show state, the caller's console); Linux with posix_spawnp.
bool RunProgram(const std::string& program, const std::string& parameters);

} // namespace Platform
