// The dialog value classes: the host's dialog-data value taken at every
// construction (copies included) and kept by assignment, for every class of
// the family; defaults; value constructors storing each argument in its
// field; the pattern-with-colors holder carrying over its parts' values.
#include "DialogsTestSupport.h"

#include "dialogs/CDQMenuItemValue.h"
#include "dialogs/CDQPulldownCollections.h"
#include "dialogs/CDQValueChanges.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

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
    static_assert(std::is_base_of_v<CDQBaseDataContainer, TypeParam>);
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

TEST_F(ValueChangeTest, DefaultsAreZeroAndEmptyExceptTheUnchosenPulldownValue)
{
    const CDQClassAndLayerPulldownItemValue classAndLayer;
    EXPECT_EQ(classAndLayer.value, -999);
    EXPECT_TRUE(classAndLayer.name.IsEmpty() && classAndLayer.secondName.IsEmpty());
    EXPECT_FALSE(classAndLayer.firstFlag || classAndLayer.secondFlag);

    const CDQSearchablePulldownItemValue searchable;
    EXPECT_EQ(searchable.value, 0);
    const CDQRangedValueChange ranged;
    EXPECT_EQ(ranged.value | ranged.firstBound | ranged.secondBound, 0);
    const CDQListItemValue listItem;
    EXPECT_TRUE(listItem.text.IsEmpty() && listItem.secondText.IsEmpty());
    EXPECT_EQ(listItem.value, 0);
    const CDQLineEndValueChange lineEnd;
    EXPECT_EQ(lineEnd.record, LineEndRecord{});
    EXPECT_FALSE(lineEnd.flag);
}

TEST_F(ValueChangeTest, ValueConstructorsStoreEachArgumentInItsField)
{
    const CDQRangedValueChange ranged(5, -1, 9);
    EXPECT_EQ(ranged.value, 5);
    EXPECT_EQ(ranged.firstBound, -1);
    EXPECT_EQ(ranged.secondBound, 9);

    const CDQColorValueChange color(0xBEEF, 7, 8);
    EXPECT_EQ(color.color, 0xBEEF);
    EXPECT_EQ(color.firstByte, 7);
    EXPECT_EQ(color.secondByte, 8);

    const CDQLineWeightValueChange weight(-3, 1, 2);
    EXPECT_EQ(weight.weight, -3);
    EXPECT_EQ(weight.firstByte, 1);
    EXPECT_EQ(weight.secondByte, 2);

    const CDQHatchStyleValueChange hatch(4, 5);
    EXPECT_EQ(hatch.first, 4);
    EXPECT_EQ(hatch.second, 5);

    const CDQStringValueChange strings("first", "second");
    EXPECT_TRUE(strings.firstText.Equal("first") && strings.secondText.Equal("second"));

    const CDQClassAndLayerPulldownItemValue classAndLayer("Layer-1", true, "Class A", 42, false);
    EXPECT_TRUE(classAndLayer.name.Equal("Layer-1") && classAndLayer.secondName.Equal("Class A"));
    EXPECT_TRUE(classAndLayer.firstFlag);
    EXPECT_FALSE(classAndLayer.secondFlag);
    EXPECT_EQ(classAndLayer.value, 42);

    const CDQSearchablePulldownItemValue searchable("name", "second name", -4);
    EXPECT_TRUE(searchable.name.Equal("name") && searchable.secondName.Equal("second name"));
    EXPECT_EQ(searchable.value, -4);
}

TEST_F(ValueChangeTest, ListItemConstructorsFillTheirFieldsAndLeaveTheOthersZero)
{
    constexpr std::int64_t kBig = 0x123456789ABCDEF0;
    struct Case {
        CDQListItemValue item;
        const char* secondText;
        std::int64_t data;
        std::int64_t secondData;
    };
    const Case cases[] = {
        {CDQListItemValue("text", kBig, 7), "", kBig, 0},
        {CDQListItemValue("text", "second", 7), "second", 0, 0},
        {CDQListItemValue("text", kBig, "second", 7), "second", kBig, 0},
        {CDQListItemValue("text", kBig, "second", -kBig, 7), "second", kBig, -kBig},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(c.item.text.Equal("text"));
        EXPECT_TRUE(c.item.secondText.Equal(c.secondText));
        EXPECT_EQ(c.item.data, c.data);
        EXPECT_EQ(c.item.secondData, c.secondData);
        EXPECT_EQ(c.item.value, 7);
    }
}

TEST_F(ValueChangeTest, LineEndRecordIsCopiedWhole)
{
    LineEndRecord record{};
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<std::uint8_t>(0xA0 + i);
    const CDQLineEndValueChange original(record, true);
    const CDQLineEndValueChange copy(original);
    CDQLineEndValueChange assigned;
    assigned = original;
    for (const CDQLineEndValueChange* value : {&original, &copy, static_cast<const CDQLineEndValueChange*>(&assigned)}) {
        EXPECT_EQ(value->record, record);
        EXPECT_TRUE(value->flag);
    }
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
