// The build driver of buildkxr: reads the settings from the environment,
// checks the strings files of a resource folder, then packs the folder with
// 7-Zip (copied mode) or writes a link to it (linked mode).
//
// The program's main() only runs BuildDriver::Run(). Everything is printed on
// standard output; the run's result is the process exit code. The small rules
// the driver applies (mode choice, numeric prefixes, the path shown in a
// parse report) are separate functions so they can be tested on their own.
#pragma once

#include "buildkxr/StringsFile.h"
#include "platform/System.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace BuildKxr {

/// @name Exit codes
/// @{
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
/// @}

/// The settings of one run, read once at start.
struct BuildSettings {
    std::string inputDir;   ///< KXR_INPUT: the resource folder; also named in every error line
    std::string outputPath; ///< KXR_OUTPUT: the archive to write (linked mode: plus ".lnk")
    std::string modeText;   ///< KXR_MODE, as given
    std::string zipCommand; ///< KXR_7ZCMD, or "7z"
    bool linked = false;    ///< derived from modeText
};

/// True when `modeText` selects linked mode: it begins with "debug" or is
/// "SHORTCUT", both compared without regard to ASCII case.
bool IsLinkedMode(std::string_view modeText);

/// The number at the start of a file name, read as a decimal integer: leading
/// white space skipped, an optional sign, then digits up to the first
/// non-digit; 0 when there are no digits. Saturates at the limits of the type
/// rather than overflowing.
long long NumericPrefix(std::string_view fileName);

/// The part of `path` shown in a parse report: from the first occurrence of
/// the separator followed by "Strings" on, or the whole path when it has none.
std::string_view ReportedPath(std::string_view path);

/// One run of the builder.
class BuildDriver {
public:
    /// Runs the whole build with the settings of the process environment and
    /// returns the exit code: kExitSuccess, or kExitFailure after the reason
    /// has been printed.
    int Run();

private:
    /// Prints the error line naming the input folder and `message`.
    void ReportError(const std::string& message) const;

    /// Parses every strings file found under the input folder's Strings
    /// folder (only those written at or after `since`, when given). Returns
    /// false after reporting the first failure.
    bool CheckStringsFolder(std::optional<Platform::FileTime> since);

    /// Walks `folder` depth-first in file-system order, appending to `files`
    /// the files to check and checking the numeric prefixes of each folder.
    /// Returns false once a folder's walk has ended with collisions (all of
    /// that folder's collisions have been reported).
    bool CollectStringsFiles(const std::string& folder, std::vector<std::string>& files,
                             std::optional<Platform::FileTime> since);

    /// Linked mode: check what changed since the last link, then replace the
    /// output with a link to the input folder. Returns the exit code.
    int CreateFolderLink();

    /// Copied mode: check everything, then have the archiver pack the input
    /// folder into a fresh archive. Returns the exit code.
    int RunArchiver();

    BuildSettings settings_;
    std::vector<char16_t> fileBuffer_; // reused for every strings file
};

} // namespace BuildKxr
