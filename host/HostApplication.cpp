// The application object's services and reference count.
#include "host/HostApplication.h"

#include "host/Console.h"
#include "strings/TXString.h"

#include <string>

namespace KxHost {

namespace {

/// The result of an operation that failed.
constexpr std::int32_t kFailed = 1;

} // namespace

std::uint32_t HostApplication::AddRef() noexcept
{
    return static_cast<std::uint32_t>(count.fetch_add(1) + 1);
}

std::uint32_t HostApplication::Release() noexcept
{
    std::int32_t now = count.fetch_sub(1) - 1;
    if (now < 0) {
        // A release without a reference: keep the count at 0, where the
        // balance check after the run sees it.
        count.store(0);
        now = 0;
    }
    return static_cast<std::uint32_t>(now);
}

std::int32_t HostApplication::WalkFolder(std::int32_t folderKind, Calvera::Extension::FolderVisitor visit,
                                         void* context) noexcept
{
    if (visit == nullptr || folderKind != Calvera::Extension::kFolderKindPlugins)
        return kFailed;
    return files.WalkPluginsFolder(visit, context);
}

std::int32_t HostApplication::LoadResourceString(TXString& target, const char* location, const char* key,
                                                 std::int32_t /*kind*/) noexcept
{
    try {
        target.Clear();
        if (location == nullptr || key == nullptr)
            return kFailed;
        const char16_t* value = resources.FindString(location, key);
        if (value == nullptr) {
            NoteMiss(location, key);
            return kFailed;
        }
        target = value;
        return 0;
    } catch (...) {
        return kFailed; // out of memory
    }
}

char** HostApplication::OpenResourceFile(const char* location) noexcept
{
    try {
        auto resource = std::make_unique<ResourceBlock>();
        if (location == nullptr)
            return nullptr;
        if (!resources.ReadFile(location, resource->bytes)) {
            NoteMiss(location, "");
            return nullptr;
        }
        resource->block = resource->bytes.data();
        char** const handle = &resource->block;
        handles.emplace(handle, std::move(resource));
        return handle;
    } catch (...) {
        return nullptr; // out of memory
    }
}

void HostApplication::NoteMiss(const char* location, const char* key) noexcept
{
    try {
        const bool served = resources.ServesOwnerOf(location);
        misses.push_back({location, key, served});
        const std::string owner = misses.back().location.substr(0, misses.back().location.find('/'));
        if (!served && toldOwners.insert(owner).second)
            Console::Note("the module asked for " + misses.back().location + ", but no --resources serves \"" + owner +
                          "\"");
    } catch (...) {
        // Out of memory: the miss goes unrecorded.
    }
}

std::int32_t HostApplication::GetResourceHandleSize(char** handle, std::uint64_t& size) noexcept
{
    const auto found = handles.find(handle);
    size = found != handles.end() ? found->second->bytes.size() : 0;
    return found != handles.end() ? 0 : kFailed;
}

void HostApplication::DisposeResourceHandle(char** handle) noexcept
{
    handles.erase(handle);
}

void HostApplication::SetHostValue(std::int32_t selector, bool value) noexcept
{
    try {
        valuesSet.emplace_back(selector, value);
        if (selector == Calvera::Extension::kHostValueScreenRefresh)
            Console::Verbose(std::string("screen refresh ") + (value ? "on" : "off") + " (host value 6799 set to " +
                             (value ? "true" : "false") + ")");
        else
            Console::Verbose("host value " + std::to_string(selector) + " set to " + (value ? "true" : "false"));
    } catch (...) {
        // Out of memory: the value is not kept.
    }
}

bool HostApplication::QueryHostValue(std::int32_t selector, const void* /*input*/, void* output) noexcept
{
    if (output == nullptr || selector != Calvera::Extension::kHostValueDialogData)
        return false;
    *static_cast<std::int16_t*>(output) = files.Options().dialogData;
    return true;
}

} // namespace KxHost
