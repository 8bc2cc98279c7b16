/// @file
/// The host's interfaces: the application, the folder chooser, the folder, the
/// file and the text file, asked for by their identifiers (InterfaceID.h)
/// through HostServices::QueryInterface. The host implements them; a module
/// only calls them.
///
/// Each interface lists its operations in the slot order both sides of the
/// boundary compile against. That order must never change: no operation may
/// be reordered, inserted or removed, since a host and a module built apart
/// would otherwise call each other's wrong operations. Operation numbers below
/// count from 0 with IKXUnknown's three operations (destructor, AddRef,
/// Release) first.
///
/// Contracts common to every interface here:
/// - Results: std::int32_t codes where an operation can fail, 0 for success
///   and any other value for failure; a failed operation leaves its out
///   arguments as the operation says. Operations that cannot fail return
///   void.
/// - 8-bit texts in either direction are NUL-terminated UTF-8. A text a host
///   hands to a callback is valid only during that call.
/// - Nothing throws across these operations, in either direction.
/// - Objects handed out through an out argument hold one reference for the
///   caller, who gives it back with Release.
#pragma once

#include "framework/KXUnknown.h"

#include <cstdint>

class TXString;

// Reserved slots of IHostApplication. Each expands to one non-pure virtual
// with an empty body, named after its operation number, so a gap is filled by
// naming the digits around it and a slot's name tells its position. Digit
// blocks take a prefix `p` (possibly empty) that is pasted in front of each
// digit: KX_RESERVED_SLOTS_0_TO_3(99) gives slots 990 to 993. The macros are
// undefined at the end of this header.
#define KX_RESERVED_SLOT(n) virtual void ReservedSlot##n() {}
#define KX_RESERVED_SLOTS_8_TO_9(p) KX_RESERVED_SLOT(p##8) KX_RESERVED_SLOT(p##9)
#define KX_RESERVED_SLOTS_6_TO_9(p) KX_RESERVED_SLOT(p##6) KX_RESERVED_SLOT(p##7) KX_RESERVED_SLOTS_8_TO_9(p)
#define KX_RESERVED_SLOTS_5_TO_9(p) KX_RESERVED_SLOT(p##5) KX_RESERVED_SLOTS_6_TO_9(p)
#define KX_RESERVED_SLOTS_0_TO_3(p) \
    KX_RESERVED_SLOT(p##0) KX_RESERVED_SLOT(p##1) KX_RESERVED_SLOT(p##2) KX_RESERVED_SLOT(p##3)
#define KX_RESERVED_SLOTS_0_TO_4(p) KX_RESERVED_SLOTS_0_TO_3(p) KX_RESERVED_SLOT(p##4)
#define KX_RESERVED_SLOTS_0_TO_9(p) KX_RESERVED_SLOTS_0_TO_4(p) KX_RESERVED_SLOTS_5_TO_9(p)
// Ten slots p0 to p9.
#define KX_RESERVED_DECADE(p) KX_RESERVED_SLOTS_0_TO_9(p)
#define KX_RESERVED_DECADES_1_TO_7(p)                                                                          \
    KX_RESERVED_DECADE(p##1) KX_RESERVED_DECADE(p##2) KX_RESERVED_DECADE(p##3) KX_RESERVED_DECADE(p##4)        \
        KX_RESERVED_DECADE(p##5) KX_RESERVED_DECADE(p##6) KX_RESERVED_DECADE(p##7)
#define KX_RESERVED_DECADES_0_TO_8(p) KX_RESERVED_DECADE(p##0) KX_RESERVED_DECADES_1_TO_7(p) KX_RESERVED_DECADE(p##8)
// A hundred slots p00 to p99.
#define KX_RESERVED_CENTURY(p) KX_RESERVED_DECADES_0_TO_8(p) KX_RESERVED_DECADE(p##9)
#define KX_RESERVED_CENTURIES_1_TO_8(p)                                                                        \
    KX_RESERVED_CENTURY(p##1) KX_RESERVED_CENTURY(p##2) KX_RESERVED_CENTURY(p##3) KX_RESERVED_CENTURY(p##4)    \
        KX_RESERVED_CENTURY(p##5) KX_RESERVED_CENTURY(p##6) KX_RESERVED_CENTURY(p##7)                          \
            KX_RESERVED_CENTURY(p##8)

namespace Calvera::Extension {

class IHostFolder;
class IHostFile;

/// Called by IHostApplication::WalkFolder once per file with the caller's
/// `context`, the file's full path, its name and its extension without the
/// dot (empty when it has none). The texts are never null and live only
/// during the call. Returns true to go on with the walk, false to stop it.
/// Must not throw, which the type enforces.
using FolderVisitor = bool (*)(void* context, const char* fullPath, const char* name,
                               const char* extension) noexcept;

/// @name Folder kinds for IHostApplication::WalkFolder
/// @{

/// The host's plug-ins folder.
inline constexpr std::int32_t kFolderKindPlugins = 2;
/// @}

/// @name Host value selectors
/// @{

/// QueryHostValue: a 16-bit signed value that dialog value classes keep;
/// no input, the output is a std::int16_t.
inline constexpr std::int32_t kHostValueDialogData = 7319;
/// SetHostValue: whether the host refreshes the screen.
inline constexpr std::int32_t kHostValueScreenRefresh = 6799;
/// @}

/// @name Open modes and options of IHostTextFile::Open
/// @{

/// Read and write, the file created empty when missing, positioned at 0.
inline constexpr std::int32_t kTextFileModeReadWrite = 0;
/// No options.
inline constexpr std::int32_t kTextFileOptionsNone = 0;
/// @}

/// The host application. A module obtains it anew at every module entry and
/// holds it without a reference: it stays valid until the entry returns.
///
/// Only the operations named here are served; every other slot up to the
/// last is reserved, non-pure and does nothing, so a host implements the
/// pure operations only. A caller never calls a reserved slot.
class IHostApplication : public IKXUnknown {
public:
    /// Operation 3: calls `visit(context, …)` once per file of the folder of
    /// kind `folderKind` (kFolderKindPlugins), in the host's order, until the
    /// visitor returns false. Returns 0 when the folder was walked (a walk
    /// stopped by the visitor included); non-zero, without any call, for a
    /// null `visit`, an unknown kind or a folder that cannot be read.
    virtual std::int32_t WalkFolder(std::int32_t folderKind, FolderVisitor visit, void* context) = 0;

    /// Operation 4: sets `target` to the string stored under `key` in the
    /// strings file at `location` (both 8-bit, never null). `kind` is passed
    /// through unchanged; its meaning is the host's. Returns 0 when the
    /// string was found; otherwise non-zero, and what `target` holds is the
    /// host's.
    virtual std::int32_t LoadResourceString(TXString& target, const char* location, const char* key,
                                            std::int32_t kind) = 0;

    /// Operation 5: the bytes of the resource file at `location` (8-bit,
    /// never null) as a handle: the address of a pointer to the block. Null
    /// when there is no such file. The caller owns the handle and gives it
    /// back with DisposeResourceHandle; the block may hold no bytes.
    virtual char** OpenResourceFile(const char* location) = 0;

    /// Operation 6: sets `size` to the byte count of the block of `handle`,
    /// a handle from OpenResourceFile. Returns 0 on success; non-zero for a
    /// null or unknown handle, with `size` then 0.
    virtual std::int32_t GetResourceHandleSize(char** handle, std::uint64_t& size) = 0;

    /// Operation 7: releases `handle`, a handle from OpenResourceFile, and
    /// its block; afterwards neither may be used. A null handle is ignored.
    virtual void DisposeResourceHandle(char** handle) = 0;

    // Operations 8 to 84.
    KX_RESERVED_SLOTS_8_TO_9()
    KX_RESERVED_DECADES_1_TO_7()
    KX_RESERVED_SLOTS_0_TO_4(8)

    /// Operation 85: sets the host's value `selector` (for instance
    /// kHostValueScreenRefresh) to `value`. A selector the host does not
    /// know is ignored.
    virtual void SetHostValue(std::int32_t selector, bool value) = 0;

    // Operations 86 to 993.
    KX_RESERVED_SLOTS_6_TO_9(8)
    KX_RESERVED_DECADE(9)
    KX_RESERVED_CENTURIES_1_TO_8()
    KX_RESERVED_DECADES_0_TO_8(9)
    KX_RESERVED_SLOTS_0_TO_3(99)

    /// Operation 994: asks for the host's value `selector`. `input` is the
    /// selector's argument, null when it takes none; `output` points to a
    /// variable of the selector's result type (a std::int16_t for
    /// kHostValueDialogData). Returns true when the host answered and wrote
    /// `*output`; false, leaving `*output` untouched, for a selector it does
    /// not know or a null `output`.
    virtual bool QueryHostValue(std::int32_t selector, const void* input, void* output) = 0;
};

/// Lets the user choose a folder.
class IHostFolderChooser : public IKXUnknown {
public:
    /// Operation 3: the title the chooser shows; copied.
    virtual void SetTitle(const TXString& title) = 0;

    /// Operation 4: sets `folder` to the chosen folder, holding one
    /// reference for the caller. Returns 0 on success; non-zero when Run has
    /// not yet returned a choice, with `folder` then null.
    virtual std::int32_t GetChosenFolder(IHostFolder*& folder) = 0;

    /// Operation 5: shows the chooser and waits for the user. Returns 0 when
    /// the user chose a folder; non-zero when they cancelled or the chooser
    /// could not be shown.
    virtual std::int32_t Run() = 0;
};

/// A folder of the file system.
class IHostFolder : public IKXUnknown {
public:
    /// Operation 3: sets `path` to the folder's full path.
    virtual void GetFullPath(TXString& path) = 0;
};

/// A file of the file system, named by its full path. A new object has an
/// empty path, which names no file.
class IHostFile : public IKXUnknown {
public:
    /// Operation 3: names the file; the text is copied.
    virtual void SetFullPath(const TXString& fullPath) = 0;

    /// Operation 4: sets `exists` to whether a file is at the path; false for
    /// an empty path or a folder.
    virtual void Exists(bool& exists) = 0;

    /// Operation 5: deletes the file at the path. Returns 0 when it was
    /// deleted; non-zero when there was none or it could not be deleted.
    virtual std::int32_t Delete() = 0;
};

/// A text file opened through an IHostFile.
class IHostTextFile : public IKXUnknown {
public:
    /// Operation 3: opens the file that `file` names, with `mode`
    /// (kTextFileModeReadWrite) and `options` (kTextFileOptionsNone). The
    /// object keeps no reference to `file`. Returns 0 when the file is open;
    /// non-zero for a null `file`, an unknown mode or option, an object
    /// already open or a file that cannot be opened.
    virtual std::int32_t Open(IHostFile* file, std::int32_t mode, std::int32_t options) = 0;

    /// Operation 4: closes the file, writing what is pending; does nothing
    /// when it is not open. Releasing the object closes it too.
    virtual void Close() = 0;

    /// Operation 5: sets `length` to the file's size in bytes. Returns 0 on
    /// success; non-zero when the file is not open, with `length` then 0.
    virtual std::int32_t GetLength(std::int64_t& length) = 0;

    /// Operation 6: moves to byte `position` from the start; GetLength's
    /// result moves to the end. Returns 0 on success; non-zero when the file
    /// is not open or `position` is negative or beyond the end.
    virtual std::int32_t SetPosition(std::int64_t position) = 0;

    /// Operation 7: writes `line` at the position, as UTF-8, followed by the
    /// host's line ending, and moves past it. Returns 0 on success; non-zero
    /// when the file is not open or the write failed.
    virtual std::int32_t WriteLine(const TXString& line) = 0;
};

} // namespace Calvera::Extension

#undef KX_RESERVED_CENTURIES_1_TO_8
#undef KX_RESERVED_CENTURY
#undef KX_RESERVED_DECADES_0_TO_8
#undef KX_RESERVED_DECADES_1_TO_7
#undef KX_RESERVED_DECADE
#undef KX_RESERVED_SLOTS_0_TO_9
#undef KX_RESERVED_SLOTS_0_TO_4
#undef KX_RESERVED_SLOTS_0_TO_3
#undef KX_RESERVED_SLOTS_5_TO_9
#undef KX_RESERVED_SLOTS_6_TO_9
#undef KX_RESERVED_SLOTS_8_TO_9
#undef KX_RESERVED_SLOT
