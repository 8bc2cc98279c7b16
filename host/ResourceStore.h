// kxhost's resource store: the resource folders, and the .kxr archives that
// buildkxr writes, that --resources names, served the way the CAD
// application serves its own.
//
// A location is "OWNER/PATH": OWNER is the base name of a folder or archive
// (an archive without its ".kxr"), PATH a file inside it. A last path element
// ending in " *" ("Strings/120 *") names the first file, in name order, of
// its folder whose name starts with what comes before the asterisk
// ("120 Messages.kxstrings"); any other element is matched exactly.
//
// A location never leads out of its source. PATH is refused when it holds a
// NUL byte, a backslash or a colon (a separator and a drive or stream on
// Windows), or an element that is empty (an absolute path, "a//b") or made of
// dots and spaces only (".", ".."; Windows drops trailing dots and spaces).
// In a folder, no element below the folder may be a link, wherever it points;
// the folder itself may be reached through a link the user named. Archives
// get the same check of PATH, so a location means the same in both.
//
// Sizes are bounded before anything is allocated: a file, or an archive entry
// declaring more, above kMaxFileBytes is refused, and so is an archive above
// kMaxArchiveBytes, as an archive is read whole into memory. An archive entry
// that yields more or fewer bytes than it declares is damaged.
//
// Strings files are parsed with buildkxr's parser once, on first use, and
// kept; archives are read once with libzip and kept. Nothing here throws to
// the module: a refused location, a missing folder, archive, file or key, or
// a damaged archive or strings file, is a miss, and with --verbose the host
// says what it looked for and why it failed.
#pragma once

#include "buildkxr/StringsFile.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace KxHost {

class ResourceStore {
public:
    /// The largest resource file served: 64 MiB.
    static constexpr std::uint64_t kMaxFileBytes = std::uint64_t{64} << 20;
    /// The largest archive read: 1 GiB.
    static constexpr std::uint64_t kMaxArchiveBytes = std::uint64_t{1} << 30;

    ResourceStore();
    ~ResourceStore();
    ResourceStore(const ResourceStore&) = delete;
    ResourceStore& operator=(const ResourceStore&) = delete;

    /// Adds the folder or .kxr archive at `path` (UTF-8). Throws HostError
    /// with kExitUsage when it is neither; a damaged archive shows on first
    /// use. An owner name given twice is served by the first.
    void Add(const std::string& path);

    /// The strings file at `location`, parsed; null when it cannot be found,
    /// read or parsed.
    const StringTable* Strings(const std::string& location);

    /// The value of `key` in the strings file at `location`; null when there
    /// is none.
    const char16_t* FindString(const std::string& location, const std::string& key);

    /// Reads the file at `location` into `bytes`; false when it cannot be
    /// found or read.
    bool ReadFile(const std::string& location, std::vector<char>& bytes);

    /// Whether a folder or archive serves the owner of `location` (what
    /// comes before its first '/').
    bool ServesOwnerOf(const std::string& location) const;

private:
    struct Source;
    struct CachedTable {
        std::vector<char16_t> buffer; // the parsed file; the table points into it
        StringTable table;
        bool parsed = false;
    };

    /// The source and the path inside it that `location` names; null when
    /// there is none or the location would leave its source (and why, with
    /// --verbose).
    Source* Resolve(const std::string& location, std::string& path);

    std::vector<std::unique_ptr<Source>> sources;
    /// Every location asked for, hit or miss, so each is looked up once.
    std::unordered_map<std::string, std::unique_ptr<CachedTable>> tables;
};

} // namespace KxHost
