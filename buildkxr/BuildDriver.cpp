// The build driver: settings, the strings check with its folder walk, and the
// two modes. Every text the builder prints is a constant below.
#include "buildkxr/BuildDriver.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <set>

namespace BuildKxr {

namespace {

/// @name Settings
/// @{
constexpr const char* kInputVariable = "KXR_INPUT";
constexpr const char* kOutputVariable = "KXR_OUTPUT";
constexpr const char* kModeVariable = "KXR_MODE";
constexpr const char* kZipCommandVariable = "KXR_7ZCMD";
constexpr const char* kDefaultZipCommand = "7z";
constexpr std::string_view kLinkedModePrefix = "debug";
constexpr std::string_view kShortcutMode = "SHORTCUT";
/// @}

/// @name Console output
/// @{
constexpr const char* kStartBanner = "BuildKXR::main() - starting\n";
constexpr const char* kErrorLineFormat = "buildKXR: error: file %s: %s\n";
constexpr const char* kProgressLineFormat = "  buildKXR: %s\n";
constexpr const char* kInputProgressFormat = "Input: %s";
constexpr const char* kOutputProgressFormat = "Output: %s";
constexpr const char* kZipCommandProgressFormat = "ZipCmd: %s";
constexpr const char* kModeProgressFormat = "Mode: %s (%s)";
constexpr const char* kLinkedModeName = "Linked";
constexpr const char* kCopiedModeName = "Copied";
/// @}

/// @name Error messages
/// @{
constexpr const char* kInputUndefinedMessage = "environment variable KXR_INPUT undefined";
constexpr const char* kInputNotDirectoryFormat = "KXR_INPUT does not specify a directory (%s)";
constexpr const char* kOutputUndefinedMessage = "environment variable KXR_OUTPUT undefined";
constexpr const char* kModeUndefinedMessage = "environment variable KXR_MODE undefined";
constexpr const char* kPrefixUsedFormat = "numeric prefix for file '%s' already used\n";
constexpr const char* kCannotReadFormat = "could not open file %s for read";
constexpr const char* kParseFailureFormat = "in file '%s' at line %d: %s";
constexpr const char* kLinkFailedMessage = "Creating link failed.";
constexpr const char* kZipFailedMessage = "Zip failed.";
/// @}

/// @name Files and the archiver
/// @{
constexpr const char* kStringsFolderName = "Strings";
constexpr const char* kLinkSuffix = ".lnk";
constexpr char kHiddenPrefix = '.';
constexpr const char* kAllEntries = "*";
constexpr const char* kArchiverParametersFormat = "a -r -mx0 -tzip \"%s\" \"%s\"";
/// @}

/// printf-style formatting into a string of whatever length it needs.
[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

void Progress(const std::string& item)
{
    std::printf(kProgressLineFormat, item.c_str());
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string Join(const std::string& folder, const std::string& name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder).push_back(Platform::kPathSeparator);
    path.append(name);
    return path;
}

} // namespace

bool IsLinkedMode(std::string_view modeText)
{
    return (modeText.size() >= kLinkedModePrefix.size() &&
            EqualNoCase(modeText.substr(0, kLinkedModePrefix.size()), kLinkedModePrefix)) ||
           EqualNoCase(modeText, kShortcutMode);
}

long long NumericPrefix(std::string_view fileName)
{
    std::size_t i = 0;
    while (i < fileName.size() && std::isspace(static_cast<unsigned char>(fileName[i])))
        ++i;
    bool negative = false;
    if (i < fileName.size() && (fileName[i] == '+' || fileName[i] == '-')) {
        negative = fileName[i] == '-';
        ++i;
    }
    // Accumulate towards the sign's side so that both limits are reachable.
    constexpr long long kMax = std::numeric_limits<long long>::max();
    constexpr long long kMin = std::numeric_limits<long long>::min();
    long long value = 0;
    for (; i < fileName.size() && fileName[i] >= '0' && fileName[i] <= '9'; ++i) {
        const int digit = fileName[i] - '0';
        if (negative)
            value = value < (kMin + digit) / 10 ? kMin : value * 10 - digit;
        else
            value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return value;
}

std::string_view ReportedPath(std::string_view path)
{
    std::string marker(1, Platform::kPathSeparator);
    marker += kStringsFolderName;
    const std::size_t at = path.find(marker);
    return at == std::string_view::npos ? path : path.substr(at);
}

void BuildDriver::ReportError(const std::string& message) const
{
    std::printf(kErrorLineFormat, settings_.inputDir.c_str(), message.c_str());
}

int BuildDriver::Run()
{
    std::fputs(kStartBanner, stdout);

    const auto input = Platform::ReadEnvironment(kInputVariable);
    if (!input) {
        ReportError(kInputUndefinedMessage);
        return kExitFailure;
    }
    settings_.inputDir = *input;
    if (!Platform::IsDirectory(settings_.inputDir)) {
        ReportError(Format(kInputNotDirectoryFormat, settings_.inputDir.c_str()));
        return kExitFailure;
    }
    const auto output = Platform::ReadEnvironment(kOutputVariable);
    if (!output) {
        ReportError(kOutputUndefinedMessage);
        return kExitFailure;
    }
    settings_.outputPath = *output;
    const auto mode = Platform::ReadEnvironment(kModeVariable);
    if (!mode) {
        ReportError(kModeUndefinedMessage);
        return kExitFailure;
    }
    settings_.modeText = *mode;
    settings_.zipCommand = Platform::ReadEnvironment(kZipCommandVariable).value_or(kDefaultZipCommand);
    settings_.linked = IsLinkedMode(settings_.modeText);

    Progress(Format(kInputProgressFormat, settings_.inputDir.c_str()));
    Progress(Format(kOutputProgressFormat, settings_.outputPath.c_str()));
    Progress(Format(kZipCommandProgressFormat, settings_.zipCommand.c_str()));
    Progress(Format(kModeProgressFormat, settings_.modeText.c_str(),
                    settings_.linked ? kLinkedModeName : kCopiedModeName));

    return settings_.linked ? CreateFolderLink() : RunArchiver();
}

bool BuildDriver::CheckStringsFolder(std::optional<Platform::FileTime> since)
{
    std::vector<std::string> files;
    if (!CollectStringsFiles(Join(settings_.inputDir, kStringsFolderName), files, since))
        return false;
    for (const std::string& path : files) {
        std::size_t byteCount = 0;
        if (!Platform::ReadWholeFile(path, fileBuffer_, byteCount)) {
            ReportError(Format(kCannotReadFormat, path.c_str()));
            return false;
        }
        // The table would be thrown away: the check-only parse gives the
        // same verdict without building it.
        StringsParseError error;
        if (!CheckStringsBuffer(fileBuffer_.data(), byteCount, &error)) {
            const std::string shown(ReportedPath(path));
            ReportError(Format(kParseFailureFormat, shown.c_str(), error.line, error.message));
            return false;
        }
    }
    return true;
}

bool BuildDriver::CollectStringsFiles(const std::string& folder, std::vector<std::string>& files,
                                      std::optional<Platform::FileTime> since)
{
    std::vector<Platform::FolderEntry> entries;
    if (!Platform::ListFolder(folder, entries))
        return true;

    std::set<long long> prefixes;
    bool collided = false;
    for (const Platform::FolderEntry& entry : entries) {
        if (entry.isDirectory) {
            // Dot folders (".", "..", hidden ones) are not resources. A link
            // to a folder is not walked either: the archiver stores the link
            // itself, not what it points at, and a link can form a loop.
            if (entry.name.front() == kHiddenPrefix || entry.isLink)
                continue;
            if (!CollectStringsFiles(Join(folder, entry.name), files, since))
                return false;
            continue;
        }
        const std::string path = Join(folder, entry.name);
        const long long prefix = NumericPrefix(entry.name);
        if (prefix != 0 && !prefixes.insert(prefix).second) {
            ReportError(Format(kPrefixUsedFormat, entry.name.c_str()));
            collided = true;
            continue;
        }
        if (since) {
            // Unchanged since the last successful check: no need to parse it
            // again. A file whose time cannot be read is checked.
            const auto written = Platform::ReadFileWriteTime(path);
            if (written && *written < *since)
                continue;
        }
        files.push_back(path);
    }
    return !collided;
}

int BuildDriver::CreateFolderLink()
{
    const std::string linkPath = settings_.outputPath + kLinkSuffix;
    if (!CheckStringsFolder(Platform::ReadFolderLinkTime(linkPath)))
        return kExitFailure;
    Platform::RemoveFileIfPresent(settings_.outputPath);
    Platform::RemoveFileIfPresent(linkPath);
    const auto target = Platform::CanonicalPath(settings_.inputDir);
    if (!target || !Platform::WriteFolderLink(linkPath, *target)) {
        ReportError(kLinkFailedMessage);
        return kExitFailure;
    }
    return kExitSuccess;
}

int BuildDriver::RunArchiver()
{
    if (!CheckStringsFolder(std::nullopt))
        return kExitFailure;
    Platform::RemoveFileIfPresent(settings_.outputPath);
    Platform::RemoveFileIfPresent(settings_.outputPath + kLinkSuffix);
    // 7-Zip keeps a relative source folder's own name in the entry paths, but
    // not an absolute one's: hand it the absolute folder so the archive's root
    // holds the folder's contents however KXR_INPUT was written.
    const std::string source =
        Join(Platform::CanonicalPath(settings_.inputDir).value_or(settings_.inputDir), kAllEntries);
    const std::string parameters =
        Format(kArchiverParametersFormat, settings_.outputPath.c_str(), source.c_str());
    if (!Platform::RunProgram(settings_.zipCommand, parameters)) {
        ReportError(kZipFailedMessage);
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace BuildKxr
