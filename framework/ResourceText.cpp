// Resource locations, the host requests behind them, and file data as text.
#include "framework/ResourceText.h"

#include "framework/HostInterfaces.h"
#include "framework/ModuleState.h"
#include "strings/CFormatString.h"

#include <cstring>

namespace {

using Calvera::Extension::IHostApplication;

constexpr char kStringsListLocation[] = "%s/Strings/%d *";
constexpr char kSubfolderLocation[] = "%s/%s/%d *";
constexpr char kHelpLocation[] = "%s/Strings/HelpText.kxstrings";
constexpr char kDialogLayoutLocation[] = "%s/DialogLayout/%d *";
constexpr char kIndexKey[] = "%d";
/// Lists from this id on are the module's; below it, the host's.
constexpr std::int16_t kFirstModuleList = 10000;
constexpr std::int32_t kHelpKind = 1;
constexpr std::int32_t kModuleFolderKind = 2;

IHostApplication* Application()
{
    return ZEDA::PluginSupport::Module().application;
}

/// The low 16 bits of an id or index, as the host's lists number them.
std::int16_t Cut(std::int32_t value)
{
    return static_cast<std::int16_t>(value);
}

TXString Location(const char* templ, const char* folder, std::int16_t id)
{
    return CFormatString(TXString(templ)).Add(folder).Add(id).Format();
}

TXString IndexKey(std::int32_t index)
{
    return CFormatString(TXString(kIndexKey)).Add(Cut(index)).Format();
}

const char* OwnerOfList(std::int32_t listId)
{
    return Cut(listId) < kFirstModuleList ? kHostResourceFolder : GetModuleResourceName();
}

} // namespace

// ---------------------------------------------------------------------------
// Requests

void ResourceText::LoadString(const TXString& location, const TXString& key, std::int32_t kind)
{
    if (IHostApplication* application = Application())
        application->LoadResourceString(*this, location.ToNarrow(kUTF8), key.ToNarrow(kUTF8), kind);
}

void ResourceText::OpenFile(const TXString& location)
{
    if (IHostApplication* application = Application())
        handle = application->OpenResourceFile(location.ToNarrow(kUTF8));
}

ResourceText::ResourceText(const char* location, const char* key, std::int32_t kind)
{
    LoadString(TXString(location), TXString(key), kind);
}

ResourceText::ResourceText(const char* location)
{
    OpenFile(TXString(location));
}

ResourceText::ResourceText(std::int32_t listId, std::int32_t index, std::int32_t kind)
{
    LoadString(Location(kStringsListLocation, OwnerOfList(listId), Cut(listId)), IndexKey(index), kind);
}

ResourceText::ResourceText(const char* ownerFolder, std::int32_t listId, std::int32_t index, std::int32_t kind)
{
    LoadString(Location(kStringsListLocation, ownerFolder, Cut(listId)), IndexKey(index), kind);
}

ResourceText::ResourceText(std::int32_t helpIndex)
{
    LoadString(CFormatString(TXString(kHelpLocation)).Add(GetModuleResourceName()).Format(), IndexKey(helpIndex),
               kHelpKind);
}

ResourceText::ResourceText(std::int32_t listId, std::int32_t index, ModuleFolder)
{
    LoadString(Location(kStringsListLocation, GetModuleResourceName(), Cut(listId)), IndexKey(index),
               kModuleFolderKind);
}

ResourceText::ResourceText(const char* subfolder, std::int32_t id)
{
    OpenFile(CFormatString(TXString(kSubfolderLocation)).Add(GetModuleResourceName()).Add(subfolder).Add(Cut(id)).Format());
}

ResourceText::~ResourceText()
{
    if (handle != nullptr) {
        if (IHostApplication* application = Application())
            application->DisposeResourceHandle(handle);
        handle = nullptr;
    }
}

// ---------------------------------------------------------------------------
// File data as text

std::uint64_t ResourceText::GetDataSize() const
{
    std::uint64_t size = 0;
    IHostApplication* application = Application();
    if (handle != nullptr && application != nullptr && application->GetResourceHandleSize(handle, size) != 0)
        size = 0;
    return size;
}

void ResourceText::Decode(TXEncoding encoding)
{
    if (handle == nullptr || !IsEmpty() || *handle == nullptr)
        return;
    const std::uint64_t size = GetDataSize();
    // A size of all ones is the host's "unknown": no text.
    if (size == 0 || size == ~std::uint64_t{0})
        return;
    SetNarrow(*handle, static_cast<std::size_t>(size), encoding);
}

void ResourceText::LoadText()
{
    Decode(kMacEncoded);
}

void ResourceText::LoadTextUTF8()
{
    Decode(kUTF8);
}

TXString ResourceText::GetText()
{
    LoadText();
    return *this;
}

const char* ResourceText::GetTextNarrow()
{
    LoadText();
    return ToNarrow(kUTF8);
}

const char* ResourceText::GetTextUTF8Narrow()
{
    LoadTextUTF8();
    return ToNarrow(kUTF8);
}

// ---------------------------------------------------------------------------
// Free functions and the file-name form

TXString GetDialogLayoutPath(std::int32_t id)
{
    return Location(kDialogLayoutLocation, GetModuleResourceName(), Cut(id));
}

void GetResourceString(TXString& out, std::int32_t listId, std::int32_t index, std::int32_t kind)
{
    ResourceText text(listId, index, kind);
    text.LoadText(); // file data, should the host have handed any
    out = std::move(static_cast<TXString&>(text));
}

namespace {

constexpr char kStringsSuffix[] = ".kxstrings";
constexpr char kStringsFileLocation[] = "%s/Strings/%s";
constexpr char kStringsFileWithSuffix[] = "%s/Strings/%s.kxstrings";

/// The suffix's length, measured once for the life of the module.
std::size_t SuffixLength()
{
    static const std::size_t length = std::strlen(kStringsSuffix);
    return length;
}

} // namespace

TXString::TXString(const char* fileName, const char* key, std::int32_t kind)
{
    if (fileName == nullptr || *fileName == '\0')
        return;
    const std::size_t length = std::strlen(fileName);
    TXString location;
    if (fileName[length - 1] == '*')
        location = CFormatString(TXString(kStringsFileLocation)).Add(GetModuleResourceName()).Add(fileName).Format();
    else if (length >= SuffixLength() && std::memcmp(fileName + length - SuffixLength(), kStringsSuffix, SuffixLength()) == 0)
        location = TXString(fileName);
    else
        location = CFormatString(TXString(kStringsFileWithSuffix)).Add(GetModuleResourceName()).Add(fileName).Format();
    if (IHostApplication* application = Application())
        application->LoadResourceString(*this, location.ToNarrow(kUTF8), key != nullptr ? key : "", kind);
}
