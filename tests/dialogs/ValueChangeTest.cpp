// The dialog value classes: the host's dialog-data value taken at every
// construction (copies included) and kept by assignment, for every class of
// the family; the pattern-with-colors holder carrying over its parts'
// values.
#include "DialogsTestSupport.h"

#include "dialogs/CDQMenuItemValue.h"
#include "dialogs/CDQPulldownCollections.h"
#include "dialogs/CDQValueChanges.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using DialogsTest::DialogsTestBase;

template <typename T>
class HostValueTest : public DialogsTestBase {};

using DefaultConstructible =
    ::testing::Types<CDQStringValueChange, CDQIntValueChange, CDQMultiStateValueChange, CDQRangedValueChange,
                     CDQColorValueChange, CDQPatternValueChange, CDQPatternWithColorValueChange,
                     CDQHatchStyleValueChange, CDQGradientValueChange, CDQImageResourceValueChange,
                     CDQTileResourceValueChange, CDQResourceValueChange, CDQLineTypeValueChange,
                     CDQLineWeightValueChange, CDQLineEndValueChange, CDQListItemValue,
                     CDQClassAndLayerPulldownItemValue, CDQSearchablePulldownItemValue, CDQMenuItemValue,
                     CDQMenuItemCollection>;
TYPED_TEST_SUITE(HostValueTest, DefaultConstructible);

// Value objects built as one: the holder and the value objects it holds by
// value. Each asks the host once, whatever chain of constructors builds it.
template <typename T>
constexpr int kValueObjectsPerInstance = 1;
template <>
constexpr int kValueObjectsPerInstance<CDQPatternWithColorValueChange> = 4;
template <>
constexpr int kValueObjectsPerInstance<CDQMenuItemValue> = 2; // the item and its submenu

TYPED_TEST(HostValueTest, EveryConstructionAsksTheHostAndAssignmentKeepsTheValue)
{
    this->application.answer = 1234;
    TypeParam original;
    EXPECT_EQ(original.hostValue, 1234);
    EXPECT_EQ(this->application.queries, kValueObjectsPerInstance<TypeParam>);

    this->application.answer = -77;
    TypeParam copy(original);
    EXPECT_EQ(copy.hostValue, -77);
    EXPECT_EQ(this->application.queries, 2 * kValueObjectsPerInstance<TypeParam>);

    copy = original;
    EXPECT_EQ(copy.hostValue, -77);
    original = copy;
    EXPECT_EQ(original.hostValue, 1234);

    // Dialog code keeps values through the base; destruction must reach the
    // whole object (the sanitizers see a partial one).
    std::unique_ptr<CDQBaseDataContainer> held = std::make_unique<TypeParam>(original);
    EXPECT_EQ(held->hostValue, -77);
}

TYPED_TEST(HostValueTest, NoAnswerOrNoApplicationLeavesZero)
{
    this->application.answer = 55;
    this->application.answers = false;
    const TypeParam declined;
    EXPECT_EQ(declined.hostValue, 0);

    ZEDA::PluginSupport::Module().application = nullptr;
    this->application.answers = true;
    const int queriesBefore = this->application.queries;
    const TypeParam withoutApplication;
    const TypeParam copyWithoutApplication(withoutApplication);
    EXPECT_EQ(withoutApplication.hostValue, 0);
    EXPECT_EQ(copyWithoutApplication.hostValue, 0);
    EXPECT_EQ(this->application.queries, queriesBefore);
}

class ValueChangeTest : public DialogsTestBase {};

TEST_F(ValueChangeTest, AClassAndLayerItemStartsUnchosen)
{
    EXPECT_EQ(CDQClassAndLayerPulldownItemValue().value, -999);
}

TEST_F(ValueChangeTest, PatternWithColorsTakesOverItsPartsHostValuesOnlyFromItsValueConstructor)
{
    application.answer = 11;
    const CDQColorValueChange first(1, 2, 3);
    application.answer = 22;
    const CDQColorValueChange second(4, 5, 6);
    application.answer = 33;
    const CDQPatternValueChange pattern(9, true);
    application.answer = 44;

    const CDQPatternWithColorValueChange combined(first, second, pattern);
    EXPECT_EQ(combined.hostValue, 44);
    EXPECT_EQ(combined.firstColor.hostValue, 11);
    EXPECT_EQ(combined.secondColor.hostValue, 22);
    EXPECT_EQ(combined.pattern.hostValue, 33);
    EXPECT_EQ(combined.secondColor.color, 4);
    EXPECT_EQ(combined.pattern.pattern, 9);

    application.answer = 55;
    const CDQPatternWithColorValueChange copy(combined);
    for (std::int16_t value :
         {copy.hostValue, copy.firstColor.hostValue, copy.secondColor.hostValue, copy.pattern.hostValue})
        EXPECT_EQ(value, 55);
    EXPECT_EQ(copy.firstColor.firstByte, 2);
    EXPECT_TRUE(copy.pattern.flag);
}

} // namespace
