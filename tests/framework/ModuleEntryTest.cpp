// The module entry protocol against a fake host: the connect steps on every
// call, the three actions with the module's and with foreign identifiers,
// and a second call switching the callback block.
#include "tests/framework/FrameworkTestSupport.h"

#include "framework/HostInterfaces.h"
#include "framework/ModuleEntry.h"
#include "strings/MainPartition.h"

#include <new>

namespace FrameworkTest {
namespace {

using namespace ZEDA::PluginSupport;

constexpr InterfaceID kOwnId{0xA1A1A1A1, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr InterfaceID kForeignId{0xB2B2B2B2, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

class CountedApplication final : public InertApplication {
public:
    int count = 1; // the host's own reference
    std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++count); }
    std::uint32_t Release() override { return static_cast<std::uint32_t>(--count); }
};

class Extension final : public IKXUnknown {
public:
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 0; }
    static inline int alive = 0;
    Extension() { ++alive; }
    ~Extension() override { --alive; }
};

class Other final : public IKXUnknown {
public:
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 0; }
};

IKXUnknown* Create(HostCallbackBlock*)
{
    return new (std::nothrow) Extension;
}
bool IsExtension(IKXUnknown* object)
{
    return dynamic_cast<Extension*>(object) != nullptr;
}
const ModuleDescription kDescription{kOwnId, Calvera::Extension::IID_ExtensionCSFunctions, &Create, &IsExtension};

/// The host: entry 326 hands out its table, whose QueryInterface answers
/// the application, and RegisterExtension records what it is given.
struct Host {
    static inline CountedApplication application;
    static inline HostServices table{};
    static inline void* registeredInfo = nullptr;
    static inline const InterfaceID* registeredId = nullptr;
    static inline bool registeredFlag = false;

    static bool GetServices(std::int16_t, std::int32_t* version, HostServices** out, bool)
    {
        if (*version == kModuleVersion)
            *out = &table;
        return true;
    }
    static std::int32_t Query(const InterfaceID& id, IKXUnknown** out)
    {
        if (!(id == Calvera::Extension::IID_HostApplication))
            return 1;
        application.AddRef();
        *out = &application;
        return 0;
    }
    static std::int32_t Register(void* info, const InterfaceID& extension, const InterfaceID& category, bool flag)
    {
        registeredInfo = info;
        registeredId = &extension;
        registeredFlag = flag && category == Calvera::Extension::IID_ExtensionCSFunctions;
        return 0;
    }
    static HostFunction Resolve(std::int32_t entry)
    {
        return entry == 326 ? reinterpret_cast<HostFunction>(&GetServices) : nullptr;
    }
};
HostCallbackBlock firstBlock{&Host::Resolve};
HostCallbackBlock secondBlock{&Host::Resolve};

class ModuleEntryTest : public FrameworkTestBase {
protected:
    void SetUp() override
    {
        FrameworkTestBase::SetUp();
        Module().services = nullptr;
        Host::table = HostServices{nullptr, &Host::Query, nullptr, &Host::Register};
        SetMainPartition(nullptr);
    }
    std::int32_t Main(std::int32_t action, const InterfaceID& id, IKXUnknown** inOut,
                      HostCallbackBlock* block = &firstBlock)
    {
        return ModuleMain(kDescription, action, &moduleInfo, &id, inOut, block);
    }
    int moduleInfo = 0;
};

TEST_F(ModuleEntryTest, EveryCallConnects)
{
    IKXUnknown* unused = nullptr;
    EXPECT_EQ(Main(0, kOwnId, &unused), 0); // an action without meaning still connects
    EXPECT_EQ(Module().services, &Host::table);
    EXPECT_EQ(Module().callbackBlock, &firstBlock);
    EXPECT_NE(GetMainPartition(), nullptr);
    EXPECT_EQ(Module().application, &Host::application);
    EXPECT_EQ(Host::application.count, 1); // borrowed: the reference went straight back

    EXPECT_EQ(Main(-1, kOwnId, &unused, &secondBlock), 0);
    EXPECT_EQ(Module().callbackBlock, &secondBlock);

    // A host without the table: queries fail and the application is unknown.
    Module().services = nullptr;
    EXPECT_EQ(Main(-2, kOwnId, &unused, nullptr), 0);
    EXPECT_EQ(Module().application, nullptr);
    EXPECT_EQ(Module().callbackBlock, nullptr);
}

TEST_F(ModuleEntryTest, RegisterCreateDestroy)
{
    IKXUnknown* object = nullptr;
    EXPECT_EQ(Main(kActionRegister, kForeignId, &object), 0);
    EXPECT_EQ(Host::registeredInfo, &moduleInfo);
    EXPECT_TRUE(*Host::registeredId == kOwnId);
    EXPECT_TRUE(Host::registeredFlag);

    IKXUnknown* untouched = reinterpret_cast<IKXUnknown*>(&moduleInfo);
    EXPECT_EQ(Main(kActionCreate, kForeignId, &untouched), 0);
    EXPECT_EQ(untouched, reinterpret_cast<IKXUnknown*>(&moduleInfo));

    EXPECT_EQ(Main(kActionCreate, kOwnId, &object), 0);
    IKXUnknown* second = nullptr;
    EXPECT_EQ(Main(kActionCreate, kOwnId, &second), 0);
    EXPECT_NE(object, second);
    EXPECT_EQ(Extension::alive, 2);

    Other other;
    IKXUnknown* notOurs = &other;
    EXPECT_EQ(Main(kActionDestroy, kOwnId, &notOurs), kResultDestroyAnswer);
    EXPECT_EQ(notOurs, &other);
    EXPECT_EQ(Main(kActionDestroy, kForeignId, &object), 0);
    EXPECT_EQ(Extension::alive, 2);
    EXPECT_EQ(Main(kActionDestroy, kOwnId, &object), kResultDestroyAnswer);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(Main(kActionDestroy, kOwnId, &second), kResultDestroyAnswer);
    EXPECT_EQ(Extension::alive, 0);
}

} // namespace
} // namespace FrameworkTest
