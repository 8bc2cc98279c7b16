// Reference counting of component objects: the counting rules, the parent
// reference, the host's notice, and a Release that outlives its object.
#include "tests/framework/FrameworkTestSupport.h"

#include "framework/ComponentObjects.h"

namespace FrameworkTest {
namespace {

using ZEDA::PluginSupport::KCOMImmediateImpl;
using ZEDA::PluginSupport::KCOMImpl;

class Counted : public KCOMImpl<IKXUnknown> {
public:
    using KCOMImpl::KCOMImpl;
    int lastReleases = 0;

protected:
    void OnLastRelease() override
    {
        ++lastReleases;
        KCOMImpl::OnLastRelease();
    }
};

class Immediate : public KCOMImmediateImpl<IKXUnknown> {};

using ComponentObjectsTest = FrameworkTestBase;

TEST_F(ComponentObjectsTest, CountingRules)
{
    Counted object;
    EXPECT_EQ(object.Release(), 0u); // nothing to give back: reset, nothing runs
    EXPECT_EQ(object.ReferenceCount(), 0);
    EXPECT_EQ(object.lastReleases, 0);
    EXPECT_EQ(object.AddRef(), 1u);
    EXPECT_EQ(object.AddRef(), 2u);
    EXPECT_EQ(object.Release(), 1u);
    EXPECT_EQ(object.lastReleases, 0);
    EXPECT_EQ(object.Release(), 0u);
    EXPECT_EQ(object.lastReleases, 1);
}

TEST_F(ComponentObjectsTest, AChildHoldsItsParentUntilItsCountFirstFalls)
{
    Counted parent;
    parent.AddRef();
    {
        Counted child(&parent);
        EXPECT_EQ(parent.ReferenceCount(), 2);
        child.AddRef();
        child.Release();
        EXPECT_EQ(parent.ReferenceCount(), 1);
        child.AddRef(); // a later step to 0 has no parent left to release
        child.Release();
        EXPECT_EQ(parent.ReferenceCount(), 1);
    }
    EXPECT_EQ(parent.ReferenceCount(), 1); // the destructor releases nothing
    parent.Release();
}

TEST_F(ComponentObjectsTest, TheHostHearsOfEachStepToZero)
{
    Immediate object;
    object.AddRef();
    object.Release();
    object.Release(); // no reference: no notice
    object.AddRef();
    object.Release();
    EXPECT_EQ(host.released, (std::vector<IKXUnknown*>{&object, &object}));
}

// An object whose last release ends with its own destruction, as an event
// sink's does when it ends its extension's count: Release must touch nothing
// of it afterwards (AddressSanitizer sees any access).
class SelfDestroying : public KCOMImpl<IKXUnknown> {
protected:
    void OnLastRelease() override { delete this; }
};

TEST_F(ComponentObjectsTest, ReleaseTouchesNothingAfterTheLastRelease)
{
    auto* object = new SelfDestroying;
    object->AddRef();
    EXPECT_EQ(object->Release(), 0u);
}

} // namespace
} // namespace FrameworkTest
