// The host stubs: defaults without a host, forwarding with one, the fixed
// trailing argument, the callback block put back after the call, and the
// helpers over the memory and number entries.
#include "tests/framework/FrameworkTestSupport.h"

#include "framework/HostStubs.h"
#include "strings/TXString.h"

#include <cstdint>
#include <map>

namespace FrameworkTest {
namespace {

using namespace ZEDA::PluginSupport;

/// A host whose entries are the functions registered in `entries`.
struct FakeEntries {
    static inline std::map<std::int32_t, HostFunction> entries;
    static HostFunction Resolve(std::int32_t entry)
    {
        const auto found = entries.find(entry);
        return found == entries.end() ? nullptr : found->second;
    }
};

template <typename F>
HostFunction AsHost(F* function)
{
    return reinterpret_cast<HostFunction>(function);
}

HostCallbackBlock hostBlock{&FakeEntries::Resolve};
HostCallbackBlock otherBlock{&FakeEntries::Resolve};
HostCallbackBlock nothingBlock{[](std::int32_t) -> HostFunction { return nullptr; }};

class HostStubsTest : public FrameworkTestBase {
protected:
    void SetUp() override
    {
        FrameworkTestBase::SetUp();
        FakeEntries::entries.clear();
        Module().callbackBlock = &hostBlock;
    }
};

TEST_F(HostStubsTest, DefaultsWithoutTheHost)
{
    TXString path("a.csm");
    TXString target;
    EXPECT_FALSE(EncryptScriptFile::Call(nullptr, path, true, target));
    EXPECT_FALSE(EncryptScriptFile::Call(&nothingBlock, path, true, target));
    EXPECT_EQ(AllocateHostBlock::Call(nullptr, 16), nullptr);
    ReleaseHostBlock::Call(&nothingBlock, nullptr); // nothing to call, nothing happens
    std::int32_t version = 3100;
    HostServices* services = nullptr;
    EXPECT_FALSE(GetHostServices::Call(&nothingBlock, kHostServicesRequest, &version, &services));
    EXPECT_EQ(services, nullptr);
}

bool lastFlag = false;
HostServices servicesTable{};

bool HostGetServices(std::int16_t request, std::int32_t* version, HostServices** out, bool flag)
{
    lastFlag = flag;
    if (request == kHostServicesRequest && *version == 3100)
        *out = &servicesTable;
    return true;
}

bool HostEncrypt(const TXString& path, bool, TXString& target)
{
    // A host function may enter the module again with another block.
    Module().callbackBlock = &otherBlock;
    target = path;
    return path == "a.csm";
}

TEST_F(HostStubsTest, ForwardsAddsTheTrailingTrueAndPutsTheBlockBack)
{
    FakeEntries::entries = {{326, AsHost(&HostGetServices)}, {855, AsHost(&HostEncrypt)}};
    std::int32_t version = 3100;
    HostServices* services = nullptr;
    EXPECT_TRUE(GetHostServices::Call(&hostBlock, kHostServicesRequest, &version, &services));
    EXPECT_EQ(services, &servicesTable);
    EXPECT_TRUE(lastFlag);

    TXString path("a.csm");
    TXString target;
    EXPECT_TRUE(EncryptScriptFile::Call(&hostBlock, path, true, target));
    EXPECT_TRUE(target == "a.csm");
    EXPECT_EQ(Module().callbackBlock, &hostBlock);
}

std::map<void*, std::uint64_t> hostBlocks;
void* HostAllocate(std::uint64_t size)
{
    void* block = ::operator new(size);
    hostBlocks[block] = size;
    return block;
}
void HostRelease(void* block)
{
    hostBlocks.erase(block);
    ::operator delete(block);
}
void HostTriple(const double* in, double* out)
{
    *out = 3 * *in;
}

TEST_F(HostStubsTest, HelpersUseTheHostWhenThereIsOne)
{
    bool fromHost = true;
    void* heap = AllocateBlock(32, fromHost); // the host lacks the entry
    EXPECT_FALSE(fromHost);
    EXPECT_EQ(ConvertThroughEntry102(2.5), 2.5);

    FakeEntries::entries = {{503, AsHost(&HostAllocate)}, {504, AsHost(&HostRelease)},
                            {102, AsHost(&HostTriple)}, {82, AsHost(&HostTriple)}};
    void* hosted = AllocateBlock(48, fromHost);
    EXPECT_TRUE(fromHost);
    EXPECT_EQ(hostBlocks.at(hosted), 48u);
    ReleaseBlock(hosted, true);
    EXPECT_TRUE(hostBlocks.empty());
    ReleaseBlock(heap, false);
    EXPECT_EQ(ConvertThroughEntry102(2.5), 7.5);
    EXPECT_EQ(ConvertThroughEntry82(-1.0), -3.0);

    Module().callbackBlock = nullptr; // no block: the run-time heap
    void* plain = AllocateBlock(8, fromHost);
    EXPECT_FALSE(fromHost);
    ReleaseBlock(plain, fromHost);
}

} // namespace
} // namespace FrameworkTest
