// Shared support of the framework tests: a fake host with a service table
// that records what the module tells it, and the module state set up for
// each test the way a module entry does.
#pragma once

#include "KXMM/KXMM.h"
#include "framework/HostInterfaces.h"
#include "framework/HostServices.h"
#include "framework/ModuleState.h"
#include "strings/MainPartition.h"

#include <gtest/gtest.h>

#include <vector>

namespace FrameworkTest {

/// Records the host's side of the calls; one at a time.
struct FakeHost {
    std::vector<IKXUnknown*> released;
    HostServices services{nullptr, nullptr, &ObjectReleased, nullptr};

    static inline FakeHost* current = nullptr;
    static void ObjectReleased(IKXUnknown* object) { current->released.push_back(object); }
};

/// An application interface with nothing configured: no plug-ins folder to
/// walk, no resources, no host values. Tests derive from it, count references
/// their own way and override what they need.
class InertApplication : public Calvera::Extension::IHostApplication {
public:
    std::int32_t WalkFolder(std::int32_t, Calvera::Extension::FolderVisitor, void*) override { return 1; }
    std::int32_t LoadResourceString(TXString&, const char*, const char*, std::int32_t) override { return 1; }
    char** OpenResourceFile(const char*) override { return nullptr; }
    std::int32_t GetResourceHandleSize(char**, std::uint64_t& size) override
    {
        size = 0;
        return 1;
    }
    void DisposeResourceHandle(char**) override {}
    void SetHostValue(std::int32_t, bool) override {}
    bool QueryHostValue(std::int32_t, const void*, void*) override { return false; }
};

/// A fresh module state with the fake host's table, and the main partition.
class FrameworkTestBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
        FakeHost::current = &host;
        ZEDA::PluginSupport::Module() = {};
        ZEDA::PluginSupport::Module().services = &host.services;
    }
    void TearDown() override
    {
        ZEDA::PluginSupport::Module() = {};
        FakeHost::current = nullptr;
    }

    FakeHost host;
};

} // namespace FrameworkTest
