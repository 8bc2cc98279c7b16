// Localized strings, help texts and dialog layouts from the host's resource
// store.
//
// The plug-in never reads resource files itself: it composes a location
// ("OWNER/Strings/120 *", "OWNER/DialogLayout/128 *"), encodes it to UTF-8 and
// asks the host's application interface for a string (LoadResourceString)
// or for a block of file data (OpenResourceFile). OWNER is the host's folder
// "Calvera" for string lists numbered below 10000 and the module's own
// resource folder otherwise. List ids, indexes and other ids are 16-bit
// values: larger arguments are cut to their low 16 bits (40000 becomes
// -25536) before they are compared or written.
//
// Each module names its resource folder by defining GetModuleResourceName.
// Without an application interface (before the host's first call, or from a
// host that offers none) nothing is asked and every text stays empty.
#pragma once

#include "strings/TXString.h"

#include <cstdint>

/// The name of the module's folder in the host's resource store; each
/// module defines it ("BulkSeal" for BulkSeal).
const char* GetModuleResourceName();

/// The host's own folder, owner of the string lists below 10000.
inline constexpr char kHostResourceFolder[] = "Calvera";

/// A resource string, or a file's data held through a host handle until the
/// object goes (the handle is then given back to the host).
class ResourceText : public TXString {
public:
    /// The string `key` at `location`, both as given; `kind` passes to the
    /// host.
    ResourceText(const char* location, const char* key, std::int32_t kind);
    /// The data of the file at `location`; the text stays empty until
    /// LoadText or LoadTextUTF8.
    explicit ResourceText(const char* location);
    /// String `index` of list `listId`, in "Calvera" below 10000 and in the
    /// module's folder otherwise.
    ResourceText(std::int32_t listId, std::int32_t index, std::int32_t kind);
    /// String `index` of list `listId` in the folder `ownerFolder`.
    ResourceText(const char* ownerFolder, std::int32_t listId, std::int32_t index, std::int32_t kind);
    /// Help text `helpIndex` of the module (kind 1).
    explicit ResourceText(std::int32_t helpIndex);
    /// String `index` of list `listId` in the module's folder, whatever the
    /// id (kind 2). The tag only selects this form.
    struct ModuleFolder {};
    ResourceText(std::int32_t listId, std::int32_t index, ModuleFolder);
    /// The data of file `id` in the module's subfolder `subfolder`.
    ResourceText(const char* subfolder, std::int32_t id);

    ~ResourceText();
    ResourceText(const ResourceText&) = delete;
    ResourceText& operator=(const ResourceText&) = delete;

    /// Decodes the file data into the text, once: in the Macintosh code page
    /// (precomposed) for LoadText, as UTF-8 for LoadTextUTF8. Does nothing
    /// without data or when the text is already there.
    void LoadText();
    void LoadTextUTF8();
    /// The text after LoadText: a copy, and its UTF-8 form (valid until the
    /// text changes).
    TXString GetText();
    const char* GetTextNarrow();
    /// The UTF-8 form of the text after LoadTextUTF8.
    const char* GetTextUTF8Narrow();

    /// The host handle, its block (null without one) and its size in bytes
    /// (0 without one).
    char** GetHandle() const { return handle; }
    char* GetBlock() const { return handle != nullptr ? *handle : nullptr; }
    std::uint64_t GetDataSize() const;

private:
    void LoadString(const TXString& location, const TXString& key, std::int32_t kind);
    void OpenFile(const TXString& location);
    void Decode(TXEncoding encoding);

    char** handle = nullptr;
};

/// "MODULE/DialogLayout/ID *": where the layout of dialog `id` lives.
TXString GetDialogLayoutPath(std::int32_t id);

/// Moves string `index` of list `listId` (the 10000 rule) into `out`.
void GetResourceString(TXString& out, std::int32_t listId, std::int32_t index, std::int32_t kind);
