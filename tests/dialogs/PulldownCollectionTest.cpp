// The pull-down collections: the caller's reference moves into the
// collection (counted before the caller's is given back, so the count never
// drops to 0 on the way; the caller's pointer is cleared) and is released at
// destruction; null references count nothing.
#include "DialogsTestSupport.h"

#include "dialogs/CDQPulldownCollections.h"

#include <gtest/gtest.h>

#include <string>

namespace {

/// A host object that counts its references and logs each change.
class CountedObject : public IKXUnknown {
public:
    std::uint32_t AddRef() override
    {
        log += '+';
        return ++count;
    }
    std::uint32_t Release() override
    {
        log += '-';
        return count > 0 ? --count : 0;
    }

    std::uint32_t count = 0;
    std::string log;
};

template <typename Collection>
class PulldownCollectionTest : public DialogsTest::DialogsTestBase {};

using Collections = ::testing::Types<CDQClassAndLayerPulldownCollection, CDQSearchablePulldownCollection>;
TYPED_TEST_SUITE(PulldownCollectionTest, Collections);

TYPED_TEST(PulldownCollectionTest, TakesOverTheCallersReferenceAndReleasesItAtTheEnd)
{
    CountedObject object;
    object.AddRef(); // the caller's
    IKXUnknown* reference = &object;
    {
        const TypeParam collection(&reference);
        EXPECT_EQ(reference, nullptr);
        EXPECT_EQ(collection.GetHostObject(), &object);
        EXPECT_EQ(object.log, "++-") << "counted, then the caller's given back";
        EXPECT_EQ(object.count, 1u);
    }
    EXPECT_EQ(object.log, "++--");
    EXPECT_EQ(object.count, 0u);
}

TYPED_TEST(PulldownCollectionTest, NullReferencesCountNothing)
{
    IKXUnknown* none = nullptr;
    const TypeParam fromNullPointer(&none);
    const TypeParam fromNullAddress(nullptr);
    EXPECT_EQ(fromNullPointer.GetHostObject(), nullptr);
    EXPECT_EQ(fromNullAddress.GetHostObject(), nullptr);
}

} // namespace
