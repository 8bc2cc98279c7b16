/// @file
/// Localized strings, help texts and dialog layouts from the host's resource
/// store.
///
/// The plug-in never reads resource files itself: it composes a location
/// ("OWNER/Strings/120 *", "OWNER/DialogLayout/128 *"), encodes it to UTF-8 and
/// asks the host's application interface for a string (LoadResourceString)
/// or for a block of file data (OpenResourceFile). OWNER is the host's folder
/// "Calvera" for string lists numbered below 10000 and the module's own
/// resource folder otherwise. List ids, indexes and other ids are 16-bit
/// values: larger arguments are cut to their low 16 bits (40000 becomes
/// -25536) before they are compared or written.
///
/// Each module names its resource folder by defining GetModuleResourceName.
/// Without an application interface (before the host's first call, or from a
/// host that offers none) nothing is asked and every text stays empty.
#pragma once

#include "strings/TXString.h"

#include <cstdint>

/// The name of the module's folder in the host's resource store, the OWNER of
/// its own locations; each module defines it ("BulkSeal" for BulkSeal;
/// KX_PLUGIN defines it as the plug-in's name). Must return the same static,
/// NUL-terminated text on every call.
const char* GetModuleResourceName();

/// The host's own folder, owner of the string lists below 10000.
inline constexpr char kHostResourceFolder[] = "Calvera";

/// A resource string, or a file's data held through a host handle until the
/// object goes (the handle is then given back to the host).
///
/// The string constructors ask the host once, while constructing: the object
/// is then the string (a TXString), empty when there is no application
/// interface; what it holds when the host finds no such string is the host's
/// (kxhost leaves it empty). The file constructors hold the host's handle
/// (null when the host has no such file) and leave the text empty until
/// LoadText or LoadTextUTF8. Nothing is reported: an empty text is the only
/// sign of a failed request. Not copyable, since the handle has one owner.
class ResourceText : public TXString {
public:
    /// The string `key` at `location`, both as given (UTF-8; null is the
    /// empty text); `kind` passes to the host.
    ResourceText(const char* location, const char* key, std::int32_t kind);
    /// The data of the file at `location` (UTF-8; null is the empty text).
    explicit ResourceText(const char* location);
    /// String `index` of list `listId`: the key is the index in decimal, at
    /// "OWNER/Strings/LIST *", where OWNER is "Calvera" for a list below 10000
    /// and the module's folder otherwise.
    ResourceText(std::int32_t listId, std::int32_t index, std::int32_t kind);
    /// String `index` of list `listId` in the folder `ownerFolder`, whatever
    /// the id.
    ResourceText(const char* ownerFolder, std::int32_t listId, std::int32_t index, std::int32_t kind);
    /// Help text `helpIndex` of the module: key `helpIndex` of
    /// "MODULE/Strings/HelpText.kxstrings", kind 1.
    explicit ResourceText(std::int32_t helpIndex);
    /// The tag that selects the module-folder form of the list constructor;
    /// it carries nothing.
    struct ModuleFolder {};
    /// String `index` of list `listId` in the module's folder, whatever the
    /// id, kind 2.
    ResourceText(std::int32_t listId, std::int32_t index, ModuleFolder);
    /// The data of file `id` in the module's subfolder `subfolder`:
    /// "MODULE/SUBFOLDER/ID *".
    ResourceText(const char* subfolder, std::int32_t id);

    /// Gives the handle back to the host (DisposeResourceHandle), when there
    /// is one and the host's application interface is still known.
    ~ResourceText();
    ResourceText(const ResourceText&) = delete;
    ResourceText& operator=(const ResourceText&) = delete;

    /// Decodes the file data into the text, once, in the Macintosh code page
    /// (precomposed). Does nothing without data (no handle, no block, a size
    /// of 0 or unknown) or when the text is not empty: a string resource is
    /// left as it is.
    void LoadText();
    /// As LoadText, decoding the data as UTF-8.
    void LoadTextUTF8();
    /// Runs LoadText, then returns a copy of the text.
    TXString GetText();
    /// Runs LoadText, then returns the text's UTF-8 form, which stays valid
    /// until the next encoding request on the object or its destruction.
    const char* GetTextNarrow();
    /// As GetTextNarrow, after LoadTextUTF8 instead of LoadText.
    const char* GetTextUTF8Narrow();

    /// The host handle; null for a string resource or when the host had no
    /// such file. Still owned by the object.
    char** GetHandle() const { return handle; }
    /// The handle's block (the file's bytes); null without a handle.
    char* GetBlock() const { return handle != nullptr ? *handle : nullptr; }
    /// The block's size in bytes, as the host tells it; 0 without a handle,
    /// without the host's application interface or when the host fails.
    std::uint64_t GetDataSize() const;

private:
    void LoadString(const TXString& location, const TXString& key, std::int32_t kind);
    void OpenFile(const TXString& location);
    void Decode(TXEncoding encoding);

    char** handle = nullptr;
};

/// "MODULE/DialogLayout/ID *": where the layout of dialog `id` lives (a
/// location for ResourceText's file constructor).
TXString GetDialogLayoutPath(std::int32_t id);

/// Replaces `out` with string `index` of list `listId`, found as the list
/// constructor of ResourceText finds it (the 10000 rule), with the same
/// outcome when there is no such string.
void GetResourceString(TXString& out, std::int32_t listId, std::int32_t index, std::int32_t kind);
