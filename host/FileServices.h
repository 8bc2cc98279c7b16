// kxhost's file services: the plug-ins folder walk, the folder chooser, file
// and text-file objects on real files, and the encryption service (entry
// 855).
//
// The plug-ins folder, the chooser's answer and the key come from the
// command line (HostOptions). Objects handed out through QueryInterface hold
// one reference for the module and destroy themselves when it is given
// back; the host counts the living ones so a session can tell whether the
// module released all it obtained.
#pragma once

#include "framework/HostInterfaces.h"
#include "framework/InterfaceID.h"
#include "host/Sealing.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace KxHost {

/// What the command line configures for the module's file services.
struct HostOptions {
    /// How the folder chooser answers.
    enum class Choice {
        Ask,    ///< ask on the terminal; cancelled when there is none
        Folder, ///< choose `chosenFolder`
        Cancel, ///< report a cancelled dialog
    };

    /// The plug-ins folder the walk goes through, absolute; empty when none
    /// is configured, and the walk then finds no files.
    std::string pluginsFolder;
    Choice choice = Choice::Ask;
    /// The chosen folder, absolute, once there is one. It is never the
    /// plug-ins folder; the walk skips it when it lies inside.
    std::string chosenFolder;
    /// The key of the encryption service; without one it refuses every file.
    std::optional<SealKey> key;
    /// The resource folders and .kxr archives of the resource store.
    std::vector<std::string> resources;
    /// What QueryHostValue answers for kHostValueDialogData.
    std::int16_t dialogData = 0;
};

/// The file services of one session.
///
/// Every item the services refuse or fail on (a file the encryption service
/// cannot seal, a link or an unreadable folder the walk meets, a name that
/// is not UTF-8, a log line that cannot be written) is told as a note and
/// counted, so that the run can end with a failure.
class FileServices {
public:
    /// Claims the plug-ins folder and the chosen folder of `options`, so
    /// that no other kxhost works in them while this session lives. Throws
    /// HostError: kExitUsage when the two are one folder, kExitFailure when
    /// another run holds one of them.
    explicit FileServices(HostOptions options);
    ~FileServices();
    FileServices(const FileServices&) = delete;
    FileServices& operator=(const FileServices&) = delete;

    HostOptions& Options() { return options; }

    /// A new object for the interface `identifier` (folder chooser, file or
    /// text file), holding one reference for the caller; null for any other
    /// interface or when memory runs out.
    IKXUnknown* CreateObject(const InterfaceID& identifier) noexcept;

    /// The number of objects from CreateObject, of every session, that are
    /// still alive.
    static std::int32_t LiveObjects() noexcept;

    /// Calls `visit` for every file of the plug-ins folder and its
    /// subfolders, in sorted order (by name, byte-wise, within each folder),
    /// with the full path, the name and the extension (after the last dot;
    /// empty when there is none) in UTF-8. Links are not followed and names
    /// that are not UTF-8 not reported: both count as refused. Temporary
    /// files that an interrupted encryption left are removed instead of
    /// reported, and the chosen folder is not entered. Stops when `visit`
    /// returns false. Returns 0 when the folder was walked (or none is
    /// configured), non-zero when it cannot be listed or a walk is already
    /// running (a walk started from inside a visitor is refused).
    ///
    /// Files sealed during the walk are put in place together, in groups and
    /// at its end, which costs one flush of the disk per group instead of one
    /// per file. A full group is put in place on a thread of its own while
    /// the next one is sealed.
    std::int32_t WalkPluginsFolder(Calvera::Extension::FolderVisitor visit, void* context) noexcept;

    /// The encryption service: seals `path` in place when `targetFolder` is
    /// empty, otherwise into `targetFolder` at the file's path relative to the
    /// plug-ins folder (just its name when it lies elsewhere), creating
    /// subfolders. True when the sealed file is written whole, its room on
    /// the disk taken, also when the file was sealed already. Outside a walk
    /// it is in place when the call returns; during one, when the walk's
    /// group is committed, and only while the file is unchanged since it
    /// was read.
    bool EncryptScriptFile(const std::string& path, const std::string& targetFolder) noexcept;

    /// The number of items refused or failed so far.
    std::size_t Failures() const { return failures; }
    /// Tells `message` as a note and counts one refused item.
    void Refuse(const std::string& message) noexcept;

    /// Makes the absolute `folder`, chosen at the folder chooser's prompt,
    /// the chosen folder. Returns an empty string on success, otherwise why
    /// it cannot be chosen (it is the plug-ins folder, or another run works
    /// in it).
    std::string Choose(const std::string& folder);

private:
    struct WalkedFile;
    bool Claim(Platform::Files::FolderLock& lock, const std::string& folder, std::string& why);
    void Collect(const std::string& folder, std::vector<WalkedFile>& files);
    void StartCommit() noexcept;
    void FinishCommit() noexcept;

    HostOptions options;
    Platform::Files::FolderLock pluginsLock;
    Platform::Files::FolderLock chosenLock;
    /// The chosen folder's identity, once there is one.
    std::optional<Platform::Files::Identity> chosenIdentity;
    /// Sealed files waiting to be put in place; only while a walk runs.
    std::unique_ptr<Platform::Files::ReplacementGroup> group;
    /// The group before, being put in place by `committer`, and what failed
    /// there (an empty destination: the failures could not all be listed).
    std::unique_ptr<Platform::Files::ReplacementGroup> committing;
    std::thread committer;
    std::vector<Platform::Files::ReplacementGroup::Failure> committed;
    std::size_t failures = 0;
    /// Whether the refusal for want of a key was told; once a session.
    bool toldNoKey = false;
};

} // namespace KxHost
