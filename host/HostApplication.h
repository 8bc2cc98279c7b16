// kxhost's application object: what a module reaches through the host's
// IHostApplication interface.
//
// The plug-ins folder walk goes through the folder the command line names
// (host/FileServices.h), and the resource operations through the resource
// store (host/ResourceStore.h), which tells the first lookup of an owner that
// no --resources serves. Host values are a table: the dialog data
// value (7319) answers what the command line set, and every value the module
// sets is kept, the screen-refresh flag (6799) told with --verbose. The object counts
// its references and the resource handles it hands out, so the host can
// check after a run that the module gave back every one.
#pragma once

#include "framework/HostInterfaces.h"
#include "host/FileServices.h"
#include "host/ResourceStore.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace KxHost {

class HostApplication final : public Calvera::Extension::IHostApplication {
public:
    /// The count a new object starts with: the host's own reference.
    static constexpr std::int32_t kHostReference = 1;

    /// The walk is `files`'s and the resources `resources`'s; both must
    /// outlive the object.
    HostApplication(FileServices& files, ResourceStore& resources) : files(files), resources(resources) {}
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    /// The count never falls below 0, and reaching 0 does not destroy the
    /// object: the host owns it and keeps it alive for the whole session.
    std::uint32_t AddRef() noexcept override;
    std::uint32_t Release() noexcept override;

    /// The current count; kHostReference when every reference handed out has
    /// been given back.
    std::int32_t ReferenceCount() const noexcept { return count.load(); }
    /// Every host value the module set, in order.
    const std::vector<std::pair<std::int32_t, bool>>& HostValuesSet() const noexcept { return valuesSet; }
    /// The resource handles handed out and not yet disposed of.
    std::size_t OpenResourceHandles() const noexcept { return handles.size(); }

    /// A resource the module asked for and was not served.
    struct ResourceMiss {
        std::string location;
        std::string key; ///< empty for a file
        bool ownerServed; ///< whether any --resources serves its owner
    };
    /// Every resource the module asked for in vain, in order.
    const std::vector<ResourceMiss>& ResourceMisses() const noexcept { return misses; }

    std::int32_t WalkFolder(std::int32_t folderKind, Calvera::Extension::FolderVisitor visit,
                            void* context) noexcept override;
    std::int32_t LoadResourceString(TXString& target, const char* location, const char* key,
                                    std::int32_t kind) noexcept override;
    char** OpenResourceFile(const char* location) noexcept override;
    std::int32_t GetResourceHandleSize(char** handle, std::uint64_t& size) noexcept override;
    void DisposeResourceHandle(char** handle) noexcept override;
    void SetHostValue(std::int32_t selector, bool value) noexcept override;
    bool QueryHostValue(std::int32_t selector, const void* input, void* output) noexcept override;

private:
    /// A host memory handle: the address of `block`, which points to the
    /// file's bytes.
    struct ResourceBlock {
        char* block = nullptr;
        std::vector<char> bytes;
    };

    /// Records a miss; the first of an owner that no --resources serves is
    /// told, since nothing the module asks of it can be found.
    void NoteMiss(const char* location, const char* key) noexcept;

    FileServices& files;
    ResourceStore& resources;
    std::vector<ResourceMiss> misses;
    std::set<std::string> toldOwners;
    std::map<char**, std::unique_ptr<ResourceBlock>> handles;
    std::vector<std::pair<std::int32_t, bool>> valuesSet;
    std::atomic<std::int32_t> count{kHostReference};
};

} // namespace KxHost
