// Shared support of the framework tests: a fake host with a service table
// that records what the module tells it, and the module state set up for
// each test the way a module entry does.
#pragma once

#include "KXMM/KXMM.h"
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
