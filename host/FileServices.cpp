// The file services' objects, the walk and the encryption service.
#include "host/FileServices.h"

#include "host/Console.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "strings/TXString.h"

#include <algorithm>
#include <atomic>
#include <iostream>
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
    explicit HostFolderChooser(HostOptions& options) : options(options) {}

    void SetTitle(const TXString& text) noexcept override { title = text.ToStdString(); }

    std::int32_t GetChosenFolder(IHostFolder*& folder) noexcept override
    {
        folder = chosen.empty() ? nullptr : new (std::nothrow) HostFolder(chosen);
        return folder != nullptr ? 0 : kFailed;
    }

    std::int32_t Run() noexcept override
    {
        chosen.clear();
        switch (options.choice) {
        case HostOptions::Choice::Folder:
            chosen = options.chosenFolder;
            break;
        case HostOptions::Choice::Cancel:
            Console::Verbose("the folder chooser \"" + title + "\" was cancelled (--cancel)");
            break;
        case HostOptions::Choice::Ask:
            chosen = Ask();
            if (!chosen.empty()) {
                options.chosenFolder = chosen;
                options.choice = HostOptions::Choice::Folder;
            }
            break;
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
            std::cerr << title << "\nFolder (an empty line cancels): " << std::flush;
            std::string answer;
            if (!std::getline(std::cin, answer) || answer.empty())
                return {};
            if (Files::KindOf(answer) == Files::Kind::Folder)
                if (const std::optional<std::string> absolute = Files::AbsolutePath(answer))
                    return *absolute;
            std::cerr << "kxhost: not a folder: " << answer << '\n';
        }
    }

    HostOptions& options;
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
    std::int32_t Open(IHostFile* file, std::int32_t mode, std::int32_t options) noexcept override
    {
        const auto* const own = dynamic_cast<const HostFile*>(file);
        if (own == nullptr || own->Path().empty() || mode != kTextFileModeReadWrite ||
            options != kTextFileOptionsNone || text.IsOpen())
            return kFailed;
        text = Files::File::OpenForUpdate(own->Path());
        if (!text.IsOpen())
            Console::Note("cannot open " + own->Path() + ": " + Files::LastError());
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

    std::int32_t WriteLine(const TXString& line) noexcept override
    {
        try {
            const std::string bytes = line.ToStdString() + '\n';
            return text.IsOpen() && text.Write(bytes.data(), bytes.size()) ? 0 : kFailed;
        } catch (...) {
            return kFailed;
        }
    }

private:
    Files::File text;
};

/// A file the walk reports.
struct WalkedFile {
    std::string path;
    std::string name;
    std::string extension;
};

std::string ExtensionOf(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

/// Adds the files of `folder` and its subfolders to `files`, sorted.
bool Collect(const HostOptions& options, const std::string& folder, std::vector<WalkedFile>& files)
{
    std::vector<Files::Entry> entries;
    if (!Files::ListFolder(folder, entries)) {
        Console::Note("cannot list " + folder + ": " + Files::LastError());
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Files::Entry& a, const Files::Entry& b) { return a.name < b.name; });
    const std::string prefix = WithSeparator(folder);
    for (const Files::Entry& entry : entries) {
        const std::string path = prefix + entry.name;
        if (entry.kind == Files::Kind::Folder) {
            if (entry.isLink) {
                Console::Verbose("not entering the linked folder " + path);
            } else if (path == options.chosenFolder) {
                Console::Verbose("skipping the chosen folder " + path + ", which lies inside the plug-ins folder");
            } else if (!Collect(options, path, files)) {
                return false;
            }
        } else if (entry.kind == Files::Kind::File) {
            if (Files::IsLeftover(entry.name)) {
                // Only an interrupted encryption writes these; what it wrote
                // was never put in place.
                if (Files::RemoveFile(path))
                    Console::Verbose("removed the leftover " + path + " of an interrupted run");
                continue;
            }
            files.push_back({path, entry.name, ExtensionOf(entry.name)});
        }
    }
    return true;
}

} // namespace

IKXUnknown* FileServices::CreateObject(const InterfaceID& identifier) noexcept
{
    if (identifier == IID_HostFolderChooser)
        return new (std::nothrow) HostFolderChooser(options);
    if (identifier == IID_HostFile)
        return new (std::nothrow) HostFile;
    if (identifier == IID_HostTextFile)
        return new (std::nothrow) HostTextFile;
    return nullptr;
}

std::int32_t FileServices::LiveObjects() noexcept
{
    return liveObjects.load();
}

std::int32_t FileServices::WalkPluginsFolder(FolderVisitor visit, void* context) noexcept
{
    if (options.pluginsFolder.empty()) {
        Console::Verbose("no plug-ins folder is set (--plugins DIR): the walk finds no files");
        return 0;
    }
    std::int32_t result = kFailed;
    group.emplace();
    try {
        std::vector<WalkedFile> files;
        if (Collect(options, options.pluginsFolder, files)) {
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
        // Out of memory: what was sealed so far is still put in place.
    }
    if (!group->IsEmpty())
        Console::Progress(0, 0, "putting the encrypted files in place");
    CommitGroup();
    group.reset();
    Console::EndProgress();
    return result;
}

bool FileServices::EncryptScriptFile(const std::string& path, const std::string& targetFolder) noexcept
{
    try {
        if (!options.key) {
            if (!std::exchange(toldNoKey, true))
                Console::Note("no key was given (--key FILE): the encryption service refuses every file");
            return false;
        }
        if (path.empty()) {
            Console::Note("cannot encrypt: no file path was given");
            return false;
        }
        if (Files::KindOf(path) != Files::Kind::File) {
            Console::Note("cannot encrypt " + path + ": not a file");
            return false;
        }
        std::string destination = path;
        if (!targetFolder.empty()) {
            const std::string root = WithSeparator(options.pluginsFolder);
            const bool inside = !options.pluginsFolder.empty() && path.starts_with(root);
            destination = WithSeparator(targetFolder) + (inside ? path.substr(root.size()) : NameOf(path));
            if (!Files::CreateFolders(FolderOf(destination))) {
                Console::Note("cannot create the folder " + FolderOf(destination) + ": " + Files::LastError());
                return false;
            }
        }
        const std::string where = path + (destination == path ? "" : " into " + destination);
        std::string reason;
        Files::Replacement output;
        const SealResult result = SealFile(*options.key, path, destination, output, reason);
        if (result == SealResult::Failed) {
            Console::Note("cannot encrypt " + where + ": " + reason);
            return false;
        }
        Console::Verbose(result == SealResult::Sealed ? "encrypted " + where
                                                      : path + " is encrypted already" +
                                                            (destination == path ? "" : "; copied to " + destination));
        if (output.Destination().empty())
            return true; // sealed already, in place: nothing to write
        if (group) {
            if (group->IsFull())
                CommitGroup();
            group->Add(std::move(output));
            return true;
        }
        if (!output.Commit()) {
            Console::Note("cannot encrypt " + where + ": cannot replace the output: " + Files::LastError());
            return false;
        }
        return true;
    } catch (...) {
        return false; // out of memory
    }
}

void FileServices::CommitGroup() noexcept
{
    if (!group || group->IsEmpty())
        return;
    try {
        for (const Files::ReplacementGroup::Failure& failure : group->Commit()) {
            lateFailures.push_back("the encrypted " + failure.destination +
                                   " could not be put in place, so it is as it was: " + failure.reason);
            Console::Note(lateFailures.back());
        }
    } catch (...) {
        // Out of memory while reporting: the group abandoned what it could
        // not commit, and the destinations are as they were.
    }
}

std::vector<std::string> FileServices::TakeLateFailures()
{
    return std::exchange(lateFailures, {});
}

} // namespace KxHost
