// The resource store: sources by owner name, location matching, and the
// parsed strings files kept.
#include "host/ResourceStore.h"

#include "host/Console.h"
#include "host/Host.h"
#include "platform/Files.h"

#include <zip.h>

#include <algorithm>
#include <cstring>

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

bool ReadWhole(const std::string& path, std::vector<char>& bytes)
{
    Files::File file = Files::File::OpenForReading(path);
    const std::optional<std::int64_t> size = file.IsOpen() ? file.Size() : std::nullopt;
    if (!size)
        return false;
    bytes.resize(static_cast<std::size_t>(*size));
    const std::optional<std::size_t> got = file.Read(bytes.data(), bytes.size());
    return got && *got == bytes.size();
}

} // namespace

/// A resource folder or archive. Archives are opened on first use.
struct ResourceStore::Source {
    std::string owner;
    std::string path;
    bool isArchive = false;

    bool opened = false;
    std::vector<char> archiveBytes; // libzip reads from here
    zip_t* zip = nullptr;

    ~Source()
    {
        if (zip != nullptr)
            zip_discard(zip);
    }

    /// Opens the archive once; false (and why, with --verbose) when it
    /// cannot be read or is no ZIP archive.
    bool Open()
    {
        if (!isArchive || opened)
            return !isArchive || zip != nullptr;
        opened = true;
        if (!ReadWhole(path, archiveBytes)) {
            Console::Verbose("cannot read the archive " + path + ": " + Files::LastError());
            return false;
        }
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(archiveBytes.data(), archiveBytes.size(), 0, &error);
        zip = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
        if (zip == nullptr) {
            Console::Verbose("cannot open the archive " + path + ": " + zip_error_strerror(&error));
            if (source != nullptr)
                zip_source_free(source);
        }
        zip_error_fini(&error);
        return zip != nullptr;
    }

    /// The names of the files directly in `folder` (a path inside the
    /// source, '/'-separated, empty for the top), sorted.
    bool List(const std::string& folder, std::vector<std::string>& names)
    {
        names.clear();
        if (!Open())
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
            std::vector<Files::Entry> entries;
            if (!Files::ListFolder(folder.empty() ? path : path + '/' + folder, entries))
                return false;
            for (const Files::Entry& entry : entries)
                if (entry.kind == Files::Kind::File)
                    names.push_back(entry.name);
        }
        std::sort(names.begin(), names.end());
        return true;
    }

    /// Reads the file at `inside` (a path inside the source).
    bool Read(const std::string& inside, std::vector<char>& bytes)
    {
        if (!Open())
            return false;
        if (!isArchive) {
            if (ReadWhole(path + '/' + inside, bytes))
                return true;
            Console::Verbose("cannot read " + path + '/' + inside + ": " + Files::LastError());
            return false;
        }
        const zip_int64_t index = zip_name_locate(zip, inside.c_str(), 0);
        zip_stat_t stat;
        zip_file_t* file = nullptr;
        if (index < 0 || zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
            (stat.valid & ZIP_STAT_SIZE) == 0 ||
            (file = zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0)) == nullptr) {
            Console::Verbose("cannot read " + inside + " in the archive " + path + ": " + zip_strerror(zip));
            return false;
        }
        bytes.resize(static_cast<std::size_t>(stat.size));
        const zip_int64_t got = zip_fread(file, bytes.data(), bytes.size());
        const bool ok = got == static_cast<zip_int64_t>(bytes.size());
        if (!ok)
            Console::Verbose("cannot read " + inside + " in the archive " + path + ": " + zip_file_strerror(file));
        zip_fclose(file);
        return ok;
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
    if (!path.ends_with(" *"))
        return &source;

    // "120 *": the first file of the folder whose name starts with "120 ".
    const std::size_t last = path.rfind('/');
    const std::string folder = last == std::string::npos ? std::string() : path.substr(0, last);
    const std::string prefix = path.substr(last == std::string::npos ? 0 : last + 1, path.size() - 1 - (last + 1));
    std::vector<std::string> names;
    if (source.List(folder, names)) {
        for (const std::string& name : names) {
            if (name.starts_with(prefix)) {
                path = folder.empty() ? name : folder + '/' + name;
                return &source;
            }
        }
    }
    Console::Verbose("no file in " + source.path + (folder.empty() ? "" : "/" + folder) + " starts with \"" + prefix +
                     "\" (for " + location + ")");
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

} // namespace KxHost
