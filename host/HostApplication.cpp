// The application object's services and reference count.
#include "host/HostApplication.h"

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

std::int32_t HostApplication::LoadResourceString(TXString& /*target*/, const char* /*location*/,
                                                 const char* /*key*/, std::int32_t /*kind*/) noexcept
{
    return kFailed; // no resource store: no string is found
}

char** HostApplication::OpenResourceFile(const char* /*location*/) noexcept
{
    return nullptr;
}

std::int32_t HostApplication::GetResourceHandleSize(char** /*handle*/, std::uint64_t& size) noexcept
{
    // Only handles from OpenResourceFile are known, and it hands out none.
    size = 0;
    return kFailed;
}

void HostApplication::DisposeResourceHandle(char** /*handle*/) noexcept {}

void HostApplication::SetHostValue(std::int32_t /*selector*/, bool /*value*/) noexcept {}

bool HostApplication::QueryHostValue(std::int32_t /*selector*/, const void* /*input*/, void* /*output*/) noexcept
{
    return false;
}

} // namespace KxHost
