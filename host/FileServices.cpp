// The file services' objects, the walk and the encryption service.
#include "host/FileServices.h"

#include "host/Console.h"
#include "host/Host.h"
#include "host/Text.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "strings/TXString.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>
#include <vector>

namespace KxHost {

using namespace Calvera::Extension;
namespace Files = Platform::Files;

namespace {

/// The result of an operation that failed.
constexpr std::int32_t kFailed = 1;

std::atomic<std::int32_t> liveObjects{0};

bool IsSeparator(char c)
{
    return c == '/' || c == Platform::kPathSeparator;
}

std::string WithSeparator(std::string folder)
{
    if (folder.empty() || !IsSeparator(folder.back()))
        folder += Platform::kPathSeparator;
    return folder;
}

std::string FolderOf(const std::string& path)
{
    const auto last = std::find_if(path.rbegin(), path.rend(), IsSeparator);
    return last == path.rend() ? std::string(".") : std::string(path.begin(), last.base() - 1);
}

std::string NameOf(const std::string& path)
{
    const auto last = std::find_if(path.rbegin(), path.rend(), IsSeparator);
    return std::string(last.base(), path.end());
}

/// An object handed to the module: one reference for the caller at first,
/// destroyed when the last is given back.
template <typename Interface>
class HostObject : public Interface {
public:
    HostObject() { liveObjects.fetch_add(1); }
    ~HostObject() override { liveObjects.fetch_sub(1); }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    std::uint32_t AddRef() noexcept override { return ++count; }
    std::uint32_t Release() noexcept override
    {
        if (count == 0)
            return 0; // a release without a reference
        const std::uint32_t now = --count;
        if (now == 0)
            delete this;
        return now;
    }

private:
    std::uint32_t count = 1;
};

class HostFolder final : public HostObject<IHostFolder> {
public:
    explicit HostFolder(std::string path) : path(WithSeparator(std::move(path))) {}
    // Ends with a separator, so a name appended to it lands inside.
    void GetFullPath(TXString& fullPath) noexcept override { fullPath = TXString(path); }

private:
    std::string path;
};

class HostFolderChooser final : public HostObject<IHostFolderChooser> {
public:
    explicit HostFolderChooser(FileServices& services) : services(services) {}

    void SetTitle(const TXString& text) noexcept override { title = text.ToStdString(); }

    std::int32_t GetChosenFolder(IHostFolder*& folder) noexcept override
    {
        folder = chosen.empty() ? nullptr : new (std::nothrow) HostFolder(chosen);
        return folder != nullptr ? 0 : kFailed;
    }

    std::int32_t Run() noexcept override
    {
        try {
            chosen.clear();
            HostOptions& options = services.Options();
            switch (options.choice) {
            case HostOptions::Choice::Folder:
                chosen = options.chosenFolder;
                break;
            case HostOptions::Choice::Cancel:
                Console::Verbose("the folder chooser \"" + title + "\" was cancelled (--cancel)");
                break;
            case HostOptions::Choice::Ask:
                chosen = Ask();
                break;
            }
        } catch (...) {
            chosen.clear(); // out of memory: as if cancelled
        }
        return chosen.empty() ? kFailed : 0;
    }

private:
    /// Asks on the terminal until the person names a folder or gives up
    /// (an empty line or the end of input); empty when they gave up.
    std::string Ask() const
    {
        if (!Files::IsTerminal(Files::Stream::Input)) {
            Console::Note("the folder chooser \"" + title +
                          "\" counts as cancelled: there is no terminal to ask, and no --choose DIR was given");
            return {};
        }
        Console::EndProgress();
        for (;;) {
            Files::WriteError(ForTerminal(title) + "\nFolder (an empty line cancels): ");
            const std::optional<std::string> answer = Files::ReadInputLine();
            if (!answer || answer->empty())
                return {};
            std::string why = "not a folder";
            if (!IsUtf8(*answer)) {
                why = "not valid UTF-8";
            } else if (Files::KindOf(*answer) == Files::Kind::Folder) {
                if (const std::optional<std::string> absolute = Files::AbsolutePath(*answer)) {
                    why = services.Choose(*absolute);
                    if (why.empty())
                        return *absolute;
                }
            }
            Console::Note(why + ": " + *answer);
        }
    }

    FileServices& services;
    std::string title;
    std::string chosen;
};

class HostFile final : public HostObject<IHostFile> {
public:
    void SetFullPath(const TXString& fullPath) noexcept override { path = fullPath.ToStdString(); }
    void Exists(bool& exists) noexcept override { exists = !path.empty() && Files::KindOf(path) == Files::Kind::File; }
    std::int32_t Delete() noexcept override { return !path.empty() && Files::RemoveFile(path) ? 0 : kFailed; }
    const std::string& Path() const { return path; }

private:
    std::string path;
};

class HostTextFile final : public HostObject<IHostTextFile> {
public:
    explicit HostTextFile(FileServices& services) : services(services) {}

    std::int32_t Open(IHostFile* file, std::int32_t mode, std::int32_t options) noexcept override
    {
        const auto* const own = dynamic_cast<const HostFile*>(file);
        if (own == nullptr || own->Path().empty() || mode != kTextFileModeReadWrite ||
            options != kTextFileOptionsNone || text.IsOpen())
            return kFailed;
        text = Files::File::OpenForUpdate(own->Path());
        if (!text.IsOpen())
            services.Refuse("cannot open " + own->Path() + ": " + Files::LastError());
        return text.IsOpen() ? 0 : kFailed;
    }

    void Close() noexcept override { text.Close(); }

    std::int32_t GetLength(std::int64_t& length) noexcept override
    {
        const std::optional<std::int64_t> size = text.IsOpen() ? text.Size() : std::nullopt;
        length = size.value_or(0);
        return size ? 0 : kFailed;
    }

    std::int32_t SetPosition(std::int64_t position) noexcept override
    {
        std::int64_t length = 0;
        if (GetLength(length) != 0 || position < 0 || position > length)
            return kFailed;
        return text.Seek(position) ? 0 : kFailed;
    }

    /// One line, whatever the text holds: its control characters escaped.
    std::int32_t WriteLine(const TXString& line) noexcept override
    {
        try {
            const std::string bytes = ForLogLine(line.ToStdString()) + '\n';
            if (text.IsOpen() && text.Write(bytes.data(), bytes.size()))
                return 0;
            services.Refuse("cannot write the line \"" + line.ToStdString() + "\": " +
                            (text.IsOpen() ? Files::LastError() : std::string("the file is not open")));
        } catch (...) {
            services.Refuse("cannot write a line: out of memory");
        }
        return kFailed;
    }

private:
    FileServices& services;
    Files::File text;
};

std::string ExtensionOf(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

/// File descriptors a walk keeps free for everything else it opens besides
/// the sealed files waiting in its group: the source being read, the log,
/// the module's own.
constexpr std::size_t kSpareHandles = 16;

} // namespace

/// A file the walk reports.
struct FileServices::WalkedFile {
    std::string path;
    std::string name;
    std::string extension;
};

namespace {

bool SameFolder(const std::string& a, const std::string& b)
{
    const std::optional<Files::Status> first = Files::StatusOf(a);
    const std::optional<Files::Status> second = Files::StatusOf(b);
    return first && second && first->identity == second->identity;
}

constexpr char kChosenIsPlugins[] = "is the plug-ins folder; a test run needs another folder for its copies";

} // namespace

FileServices::FileServices(HostOptions options) : options(std::move(options))
{
    const std::string& plugins = this->options.pluginsFolder;
    const std::string& chosen = this->options.chosenFolder;
    if (!plugins.empty() && !chosen.empty() && SameFolder(plugins, chosen))
        throw HostError(kExitUsage, "--choose: " + chosen + " " + kChosenIsPlugins);
    std::string why;
    if (!this->options.pluginsFolder.empty() && !Claim(pluginsLock, this->options.pluginsFolder, why))
        throw HostError(kExitFailure, why);
    if (!this->options.chosenFolder.empty()) {
        if (!Claim(chosenLock, this->options.chosenFolder, why))
            throw HostError(kExitFailure, why);
        if (const std::optional<Files::Status> chosen = Files::StatusOf(this->options.chosenFolder))
            chosenIdentity = chosen->identity;
    }
}

bool FileServices::Claim(Files::FolderLock& lock, const std::string& folder, std::string& why)
{
    switch (lock.Acquire(folder)) {
    case Files::FolderLock::Result::Held:
        return true;
    case Files::FolderLock::Result::Busy:
        why = "another kxhost run is working in " + folder + "; try again when it has finished";
        return false;
    case Files::FolderLock::Result::Failed:
        break;
    }
    why = "cannot claim the folder " + folder + ": " + Files::LastError();
    return false;
}

std::string FileServices::Choose(const std::string& folder)
{
    if (!options.pluginsFolder.empty() && SameFolder(options.pluginsFolder, folder))
        return std::string("that ") + kChosenIsPlugins;
    const std::optional<Files::Status> chosen = Files::StatusOf(folder);
    std::string why;
    if (!Claim(chosenLock, folder, why))
        return why;
    options.chosenFolder = folder;
    options.choice = HostOptions::Choice::Folder;
    if (chosen)
        chosenIdentity = chosen->identity;
    return {};
}

void FileServices::Refuse(const std::string& message) noexcept
{
    ++failures;
    try {
        Console::Note(message);
    } catch (...) {
        // Out of memory while telling: the count still fails the run.
    }
}

IKXUnknown* FileServices::CreateObject(const InterfaceID& identifier) noexcept
{
    if (identifier == IID_HostFolderChooser)
        return new (std::nothrow) HostFolderChooser(*this);
    if (identifier == IID_HostFile)
        return new (std::nothrow) HostFile;
    if (identifier == IID_HostTextFile)
        return new (std::nothrow) HostTextFile(*this);
    return nullptr;
}

std::int32_t FileServices::LiveObjects() noexcept
{
    return liveObjects.load();
}

void FileServices::Collect(const std::string& folder, std::vector<WalkedFile>& files)
{
    std::vector<Files::Entry> entries;
    if (!Files::ListFolder(folder, entries)) {
        Refuse("cannot read the folder " + folder + ": " + Files::LastError() + "; its files are skipped");
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Files::Entry& a, const Files::Entry& b) { return a.name < b.name; });
    const auto has = [&](const std::string& name) {
        const auto found = std::lower_bound(entries.begin(), entries.end(), name,
                                            [](const Files::Entry& entry, const std::string& n) { return entry.name < n; });
        return found != entries.end() && found->name == name;
    };
    const std::string prefix = WithSeparator(folder);
    for (const Files::Entry& entry : entries) {
        const std::string path = prefix + entry.name;
        if (!IsUtf8(entry.name)) {
            Refuse("skipping " + path + ": its name is not valid UTF-8, so a plug-in cannot name it");
            continue;
        }
        switch (entry.kind) {
        case Files::Kind::Link:
            Refuse("not following the symbolic link " + path);
            break;
        case Files::Kind::Folder: {
            const std::optional<Files::Status> status = Files::StatusOf(path);
            if (status && chosenIdentity && status->identity == *chosenIdentity)
                Console::Verbose("skipping the chosen folder " + path + ", which lies inside the plug-ins folder");
            else
                Collect(path, files);
            break;
        }
        case Files::Kind::File: {
            // A temporary file of the host's own that an interrupted run
            // left: beside the file it was to replace (or under a unique
            // name), held by no one, and starting as the host starts them.
            const std::string& name = entry.name;
            const std::size_t suffix = std::string_view(Files::Replacement::kLeftoverSuffix).size();
            if (Files::IsLeftover(name) &&
                (Files::IsUniqueTemporary(name) || has(name.substr(0, name.size() - suffix))) &&
                Files::RemoveDeadTemporary(path, std::string_view(kSealMagic, kSealMagicBytes))) {
                Console::Verbose("removed the leftover " + path + " of an interrupted run");
                break;
            }
            files.push_back({path, name, ExtensionOf(name)});
            break;
        }
        case Files::Kind::Missing:
            break; // gone since the folder was read
        case Files::Kind::Other:
            Refuse("skipping " + path + ": not a regular file");
            break;
        }
    }
}

std::int32_t FileServices::WalkPluginsFolder(FolderVisitor visit, void* context) noexcept
{
    if (group) {
        Refuse("the module started a walk of the plug-ins folder from inside another; the inner walk is refused");
        return kFailed;
    }
    if (options.pluginsFolder.empty()) {
        Console::Verbose("no plug-ins folder is set (--plugins DIR): the walk finds no files");
        return 0;
    }
    std::int32_t result = kFailed;
    // Two groups may be open at once: one being sealed, one put in place.
    const std::size_t spare = Files::SpareHandles();
    group = std::make_unique<Files::ReplacementGroup>(spare > kSpareHandles + 2 ? (spare - kSpareHandles) / 2 : 1);
    try {
        if (Files::KindOf(options.pluginsFolder) != Files::Kind::Folder) {
            Refuse("cannot read the plug-ins folder " + options.pluginsFolder + ": " + Files::LastError());
        } else {
            std::vector<WalkedFile> files;
            Collect(options.pluginsFolder, files);
            Console::Verbose("walking " + std::to_string(files.size()) + " files of " + options.pluginsFolder);
            for (std::size_t i = 0; i < files.size(); ++i) {
                const WalkedFile& file = files[i];
                Console::Progress(i, files.size(), file.path);
                if (!visit(context, file.path.c_str(), file.name.c_str(), file.extension.c_str()))
                    break;
            }
            result = 0;
        }
    } catch (...) {
        Refuse("the walk of " + options.pluginsFolder + " ran out of memory");
    }
    if (!group->IsEmpty())
        Console::Progress(0, 0, "putting the encrypted files in place");
    StartCommit();
    FinishCommit();
    group.reset();
    Console::EndProgress();
    return result;
}

bool FileServices::EncryptScriptFile(const std::string& path, const std::string& targetFolder) noexcept
{
    try {
        if (!options.key) {
            ++failures;
            if (!std::exchange(toldNoKey, true))
                Console::Note("no key was given (--key FILE): the encryption service refuses every file");
            return false;
        }
        if (path.empty()) {
            Refuse("cannot encrypt: no file path was given");
            return false;
        }
        const std::optional<Files::Status> status = Files::StatusOf(path);
        if (!status || status->kind != Files::Kind::File) {
            Refuse("cannot encrypt " + path + ": " +
                   (!status                                 ? Files::LastError()
                    : status->kind == Files::Kind::Link     ? "a symbolic link, which kxhost does not follow"
                    : status->kind == Files::Kind::Folder   ? "a folder"
                                                            : "not a regular file"));
            return false;
        }
        std::string destination = path;
        if (!targetFolder.empty()) {
            const std::string root = WithSeparator(options.pluginsFolder);
            const bool inside = !options.pluginsFolder.empty() && path.starts_with(root);
            const std::string relative = inside ? path.substr(root.size()) : NameOf(path);
            const std::string folder = FolderOf(relative);
            if (!Files::CreateFoldersInside(targetFolder, folder == "." ? std::string() : folder)) {
                Refuse("cannot create the folder for " + relative + " in " + targetFolder + ": " + Files::LastError());
                return false;
            }
            destination = WithSeparator(targetFolder) + relative;
        }
        const std::string where = path + (destination == path ? "" : " into " + destination);
        std::string reason;
        Files::Replacement output;
        const SealResult result = SealFile(*options.key, path, destination, output, reason);
        if (result == SealResult::Failed) {
            Refuse("cannot encrypt " + where + ": " + reason);
            return false;
        }
        Console::Verbose(result == SealResult::Sealed ? "encrypted " + where
                                                      : path + " is encrypted already" +
                                                            (destination == path ? "" : "; copied to " + destination));
        if (output.Destination().empty())
            return true; // sealed already, in place: nothing to write
        if (group) {
            if (group->IsFull())
                StartCommit();
            group->Add(std::move(output));
            return true;
        }
        if (!output.Commit()) {
            Refuse("cannot encrypt " + where + ": " + Files::LastError());
            return false;
        }
        return true;
    } catch (...) {
        Refuse("cannot encrypt " + path + ": out of memory");
        return false;
    }
}

void FileServices::StartCommit() noexcept
{
    FinishCommit();
    if (!group || group->IsEmpty())
        return;
    const std::size_t capacity = group->Capacity();
    committing = std::move(group);
    const auto commit = [this] {
        try {
            committed = committing->Commit();
        } catch (...) {
            // Out of memory while listing: the group abandoned what it
            // could not commit, and those destinations are as they were.
            committed.assign(1, {});
        }
    };
    try {
        group = std::make_unique<Files::ReplacementGroup>(capacity);
        committer = std::thread(commit);
    } catch (...) {
        // No thread (or no memory for the next group): in place now.
        commit();
        if (!group)
            group = std::move(committing);
    }
}

void FileServices::FinishCommit() noexcept
{
    if (committer.joinable())
        committer.join();
    for (const Files::ReplacementGroup::Failure& failure : committed) {
        if (failure.destination.empty())
            ++failures;
        else
            Refuse("the encrypted " + failure.destination + " was not put in place, so it is as it was: " +
                   failure.reason);
    }
    committed.clear();
    committing.reset();
}

FileServices::~FileServices()
{
    if (committer.joinable())
        committer.join();
}

} // namespace KxHost
