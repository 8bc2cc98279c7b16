// The resource store: sources by owner name, location matching, the check
// that keeps a location inside its source, bounded reads of files and
// archive entries, and the parsed strings files kept.
#include "host/ResourceStore.h"

#include "host/Console.h"
#include "host/Host.h"
#include "platform/Files.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace KxHost {

namespace Files = Platform::Files;

namespace {

constexpr char kArchiveExtension[] = ".kxr";

std::string NameOf(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\'))
        trimmed.pop_back();
    const std::size_t slash = trimmed.find_last_of("/\\");
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

/// Why `inside`, the path a location names inside its source, could lead
/// out of the source on some system; null when it cannot.
const char* EscapeOf(std::string_view inside)
{
    if (inside.find('\0') != std::string_view::npos)
        return "it holds a NUL byte";
    if (inside.find_first_of("\\:") != std::string_view::npos)
        return "it holds a backslash or a colon";
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(inside.find('/', start), inside.size());
        const std::string_view element = inside.substr(start, end - start);
        if (element.empty())
            return "it is absolute or has an empty element";
        if (element.find_first_not_of(". ") == std::string_view::npos)
            return "it has an element of dots and spaces only, such as \"..\"";
        if (end == inside.size())
            return nullptr;
        start = end + 1;
    }
}

std::string Oversize(std::uint64_t size, std::uint64_t limit)
{
    return std::to_string(size) + " bytes, more than the limit of " + std::to_string(limit);
}

/// Reads the regular file at `path` whole into `bytes` when it holds at most
/// `limit` bytes; false, with why, otherwise.
bool ReadWhole(const std::string& path, Files::File::Links links, std::uint64_t limit, std::vector<char>& bytes,
               std::string& why)
{
    Files::File file = Files::File::OpenForReading(path, links);
    const std::optional<std::int64_t> size = file.IsOpen() ? file.Size() : std::nullopt;
    if (!size) {
        why = Files::LastError();
        return false;
    }
    if (static_cast<std::uint64_t>(*size) > limit) {
        why = "it holds " + Oversize(static_cast<std::uint64_t>(*size), limit);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(*size));
    const std::optional<std::size_t> got = file.Read(bytes.data(), bytes.size());
    if (!got)
        why = Files::LastError();
    else if (*got != bytes.size())
        why = "it got shorter while it was read";
    return got && *got == bytes.size();
}

} // namespace

/// A resource folder or archive. Archives are opened on first use.
struct ResourceStore::Source {
    std::string owner;
    std::string path;
    bool isArchive = false;

    bool opened = false;
    std::string openFailure;        // why the archive cannot be used, once tried
    std::vector<char> archiveBytes; // libzip reads from here
    zip_t* zip = nullptr;

    ~Source()
    {
        if (zip != nullptr)
            zip_discard(zip);
    }

    /// Opens an archive once; false, with why, when it cannot be read or is
    /// no ZIP archive. A folder needs no opening.
    bool Open(std::string& why)
    {
        if (isArchive && !opened) {
            opened = true;
            OpenArchive();
        }
        why = openFailure;
        return !isArchive || zip != nullptr;
    }

    void OpenArchive()
    {
        std::string why;
        if (!ReadWhole(path, Files::File::Links::Follow, kMaxArchiveBytes, archiveBytes, why)) {
            openFailure = "cannot read the archive: " + why;
            return;
        }
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(archiveBytes.data(), archiveBytes.size(), 0, &error);
        zip = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
        if (zip == nullptr) {
            openFailure = std::string("no ZIP archive: ") + zip_error_strerror(&error);
            if (source != nullptr)
                zip_source_free(source);
        }
        zip_error_fini(&error);
    }

    /// True, with why, when an element of `inside` (a checked path inside
    /// the folder) is a link: a folder serves its own files only, wherever
    /// a link in it points. The folder itself may be reached through a link.
    bool HasLinkBelow(const std::string& inside, std::string& why) const
    {
        std::string at = path;
        for (std::size_t start = 0; start < inside.size();) {
            const std::size_t end = std::min(inside.find('/', start), inside.size());
            at += '/';
            at.append(inside, start, end - start);
            const std::optional<Files::Status> status = Files::StatusOf(at);
            if (!status)
                return false; // missing: the read or listing that follows fails and says why
            if (status->kind == Files::Kind::Link) {
                why = at + " is a link inside the resource folder";
                return true;
            }
            start = end + 1;
        }
        return false;
    }

    /// The names of the files directly in `folder` (a checked path inside
    /// the source, empty for the top), sorted; false, with why, when it
    /// cannot be listed.
    bool List(const std::string& folder, std::vector<std::string>& names, std::string& why)
    {
        names.clear();
        if (!Open(why))
            return false;
        if (isArchive) {
            const std::string prefix = folder.empty() ? std::string() : folder + '/';
            const zip_int64_t count = zip_get_num_entries(zip, 0);
            for (zip_int64_t i = 0; i < count; ++i) {
                const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), 0);
                if (name == nullptr || std::strncmp(name, prefix.c_str(), prefix.size()) != 0)
                    continue;
                const std::string rest = name + prefix.size();
                if (!rest.empty() && rest.find('/') == std::string::npos)
                    names.push_back(rest);
            }
        } else {
            if (HasLinkBelow(folder, why))
                return false;
            std::vector<Files::Entry> entries;
            if (!Files::ListFolder(folder.empty() ? path : path + '/' + folder, entries)) {
                why = Files::LastError();
                return false;
            }
            for (const Files::Entry& entry : entries)
                if (entry.kind == Files::Kind::File) // links are no files of the folder's own
                    names.push_back(entry.name);
        }
        std::sort(names.begin(), names.end());
        return true;
    }

    /// Reads the file at `inside` (a checked path inside the source); false
    /// (and why, with --verbose) when it cannot.
    bool Read(const std::string& inside, std::vector<char>& bytes)
    {
        std::string why;
        bool read = Open(why);
        if (read)
            read = isArchive ? ReadEntry(inside, bytes, why) : ReadOwnFile(inside, bytes, why);
        if (!read)
            Console::Verbose("cannot read " + inside + " in " + path + ": " + why);
        return read;
    }

    /// Reads a file of the folder, refusing a link at any element.
    bool ReadOwnFile(const std::string& inside, std::vector<char>& bytes, std::string& why) const
    {
        return !HasLinkBelow(inside, why) &&
               ReadWhole(path + '/' + inside, Files::File::Links::Refuse, kMaxFileBytes, bytes, why);
    }

    /// Reads an archive entry. Its declared size is checked before anything
    /// is allocated, and the entry must yield exactly that many bytes: the
    /// read past them also has libzip check the entry's CRC.
    bool ReadEntry(const std::string& inside, std::vector<char>& bytes, std::string& why)
    {
        const zip_int64_t index = zip_name_locate(zip, inside.c_str(), 0);
        if (index < 0) {
            why = "no such file in the archive";
            return false;
        }
        zip_stat_t stat;
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &stat) != 0) {
            why = zip_strerror(zip);
            return false;
        }
        if ((stat.valid & ZIP_STAT_SIZE) == 0) {
            why = "the archive gives no size for it";
            return false;
        }
        if (stat.size > kMaxFileBytes) {
            why = "it declares " + Oversize(stat.size, kMaxFileBytes);
            return false;
        }
        zip_file_t* const file = zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0);
        if (file == nullptr) {
            why = zip_strerror(zip);
            return false;
        }
        bytes.resize(static_cast<std::size_t>(stat.size));
        const auto size = static_cast<zip_int64_t>(stat.size);
        const zip_int64_t got = zip_fread(file, bytes.data(), stat.size);
        char beyond;
        const zip_int64_t more = got == size ? zip_fread(file, &beyond, 1) : 0;
        const bool read = got == size && more == 0;
        if (got < 0 || more < 0)
            why = zip_file_strerror(file);
        else if (!read)
            why = got < size ? "it holds fewer bytes than it declares" : "it holds more bytes than it declares";
        zip_fclose(file);
        return read;
    }
};

ResourceStore::ResourceStore() = default;
ResourceStore::~ResourceStore() = default;

void ResourceStore::Add(const std::string& path)
{
    auto source = std::make_unique<Source>();
    source->path = path;
    const Files::Kind kind = Files::KindOf(path);
    std::string name = NameOf(path);
    const std::size_t extension = sizeof kArchiveExtension - 1;
    if (kind == Files::Kind::File && name.size() > extension &&
        name.compare(name.size() - extension, extension, kArchiveExtension) == 0) {
        source->isArchive = true;
        name.resize(name.size() - extension);
    } else if (kind != Files::Kind::Folder) {
        throw HostError(kExitUsage, "--resources: neither a folder nor a .kxr archive: " + path);
    }
    source->owner = name;
    Console::Verbose("resources of \"" + name + "\": " + path);
    sources.push_back(std::move(source));
}

ResourceStore::Source* ResourceStore::Resolve(const std::string& location, std::string& path)
{
    const std::size_t slash = location.find('/');
    const std::string owner = location.substr(0, slash);
    const auto found = std::find_if(sources.begin(), sources.end(),
                                    [&](const std::unique_ptr<Source>& source) { return source->owner == owner; });
    if (slash == std::string::npos || found == sources.end()) {
        Console::Verbose("no resources of \"" + owner + "\" for " + location + " (add them with --resources)");
        return nullptr;
    }
    Source& source = **found;
    path = location.substr(slash + 1);
    if (const char* escape = EscapeOf(path)) {
        Console::Verbose("refused " + location + ": " + escape + ", so it could lead out of " + source.path);
        return nullptr;
    }
    if (!path.ends_with(" *"))
        return &source;

    // "120 *": the first file of the folder whose name starts with "120 ".
    const std::size_t last = path.rfind('/');
    const std::string folder = last == std::string::npos ? std::string() : path.substr(0, last);
    const std::string prefix = path.substr(last == std::string::npos ? 0 : last + 1, path.size() - 1 - (last + 1));
    std::vector<std::string> names;
    std::string why;
    if (source.List(folder, names, why)) {
        for (const std::string& name : names) {
            if (name.starts_with(prefix)) {
                path = folder.empty() ? name : folder + '/' + name;
                return &source;
            }
        }
        why = "no file there starts with \"" + prefix + "\"";
    }
    Console::Verbose("no file for " + location + " in " + source.path + (folder.empty() ? "" : "/" + folder) + ": " +
                     why);
    return nullptr;
}

const StringTable* ResourceStore::Strings(const std::string& location)
{
    std::unique_ptr<CachedTable>& cached = tables[location];
    if (cached != nullptr)
        return cached->parsed ? &cached->table : nullptr;
    cached = std::make_unique<CachedTable>();
    std::string path;
    Source* const source = Resolve(location, path);
    std::vector<char> bytes;
    if (source == nullptr || !source->Read(path, bytes))
        return nullptr;
    cached->buffer.resize((bytes.size() + 1) / 2);
    if (!bytes.empty()) // an empty file has no buffers, and memcpy takes no null pointer
        std::memcpy(cached->buffer.data(), bytes.data(), bytes.size());
    StringsParseError error;
    cached->parsed = ParseStringsBuffer(cached->buffer.data(), bytes.size(), cached->table, &error);
    if (!cached->parsed) {
        cached->table.clear();
        Console::Verbose("cannot parse " + path + " of \"" + source->owner + "\": line " + std::to_string(error.line) +
                         ": " + error.message);
        return nullptr;
    }
    Console::Verbose(location + " is " + source->path + "/" + path + " (" + std::to_string(cached->table.size()) +
                     " strings)");
    return &cached->table;
}

const char16_t* ResourceStore::FindString(const std::string& location, const std::string& key)
{
    const StringTable* table = Strings(location);
    if (table == nullptr)
        return nullptr;
    const char16_t* value = table->Find(key);
    if (value == nullptr)
        Console::Verbose("no key \"" + key + "\" in " + location);
    return value;
}

bool ResourceStore::ReadFile(const std::string& location, std::vector<char>& bytes)
{
    std::string path;
    Source* const source = Resolve(location, path);
    return source != nullptr && source->Read(path, bytes);
}

bool ResourceStore::ServesOwnerOf(const std::string& location) const
{
    const std::string owner = location.substr(0, location.find('/'));
    return std::any_of(sources.begin(), sources.end(),
                       [&](const std::unique_ptr<Source>& source) { return source->owner == owner; });
}

} // namespace KxHost
