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
#include <optional>
#include <string>

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
    /// The chosen folder, absolute, once there is one. The walk skips it
    /// when it lies inside the plug-ins folder.
    std::string chosenFolder;
    /// The key of the encryption service; without one it refuses every file.
    std::optional<SealKey> key;
};

/// A new object for the interface `identifier` (folder chooser, file or text
/// file), holding one reference for the caller; null for any other
/// interface or when memory runs out.
IKXUnknown* CreateFileObject(const InterfaceID& identifier, HostOptions& options) noexcept;

/// The number of objects from CreateFileObject that are still alive.
std::int32_t LiveFileObjects() noexcept;

/// Calls `visit` for every file of the plug-ins folder and its subfolders,
/// in sorted order (by name, byte-wise, within each folder), with the full
/// path, the name and the extension (after the last dot; empty when there is
/// none) in UTF-8. Leftover temporary files of an interrupted encryption are
/// removed instead of reported; linked folders are not entered. Stops when
/// `visit` returns false. Returns 0 when the folder was walked (or none is
/// configured), non-zero when it cannot be listed.
std::int32_t WalkPluginsFolder(const HostOptions& options, Calvera::Extension::FolderVisitor visit,
                               void* context) noexcept;

/// The encryption service: seals `path` in place when `targetFolder` is
/// empty, otherwise into `targetFolder` at the file's path relative to the
/// plug-ins folder (just its name when it lies elsewhere), creating
/// subfolders. True when the destination holds the sealed file, also when
/// the file was sealed already.
bool EncryptScriptFile(const HostOptions& options, const std::string& path, const std::string& targetFolder) noexcept;

} // namespace KxHost
